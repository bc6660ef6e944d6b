// ostrel-convert: converts a data file from one format to another exactly as
// the program's Open and Save would, formats chosen by the extensions.

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/platform.h"
#include "base/texts.h"
#include "buffers/data_buffers.h"
#include "buffers/file_io.h"

namespace {

const char kUsage[] =
    "Usage: ostrel-convert [--force] [--format bin|hex|srec] IN OUT\n"
    "\n"
    "Loads IN into a 64 MiB buffer and saves it as OUT; each file's format follows\n"
    "its extension, as in the program's Open and Save:\n"
    "  .hex .ihx .ihex           Intel HEX\n"
    "  .s19 .s28 .s37 .srec .mot S-record\n"
    "  .src          S-record (written); read as .eep is\n"
    "  .eep          read as Intel HEX, S-record or raw binary by its first character\n"
    "  .cap          raw binary after a 2048-byte header (read)\n"
    "  anything else raw binary\n"
    "Bytes no record names stay 0xFF. The count saved is what the load returned:\n"
    "the file's size for raw binary, the highest address written plus 1 for records.\n"
    "\n"
    "Options:\n"
    "  --force       replace OUT if it exists (otherwise an existing OUT is an error)\n"
    "  --format F    read IN as bin, hex (Intel HEX) or srec (S-record) whatever its\n"
    "                extension; OUT still follows its own. An IN that its extension\n"
    "                reads as raw binary but that holds Intel HEX or S-record text\n"
    "                is refused without it.\n"
    "  -h, --help    show this text\n"
    "\n"
    "Exit status: 0 on success, 1 when loading or saving failed, 2 on a usage error.\n";

// The command-line tools' words for a failed load: the record reader's
// message with its line, or that the file may be cut off.
std::string loadFailureText(const ostrel::LoadResult& result, const std::string& path) {
    using ostrel::FileFault;
    if (result.fault == FileFault::Record) {
        if (result.record == ostrel::RecordFault::FileEnded)
            return ostrel::programText(ostrel::Txt::FileMayBeCutOff, ostrel::LangEnglish);
        return ostrel::fillIn(
            ostrel::programText(ostrel::Txt::RecordErrorAtLine, ostrel::LangEnglish),
            {std::to_string(result.line), ostrel::recordFaultText(result.record)});
    }
    const std::vector<std::string> texts = ostrel::loadFailureTexts(result, path);
    return texts.empty() ? std::string() : texts.front();
}

}  // namespace

int main(int argc, char** argv) {
    ostrel::platform::prepareConsole(argc, argv);
    bool force = false;
    ostrel::LoadOptions load;
    std::string paths[2];
    int pathCount = 0;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && (arg == "-h" || arg == "--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (!optionsEnded && arg == "--force") {
            force = true;
        } else if (!optionsEnded && (arg == "--format" || arg.rfind("--format=", 0) == 0)) {
            std::string value = arg.size() > 8 ? arg.substr(9) : (i + 1 < argc ? argv[++i] : "");
            load.chosen = true;
            if (value == "bin") {
                load.format = ostrel::FileFormat::Raw;
            } else if (value == "hex") {
                load.format = ostrel::FileFormat::IntelHex;
            } else if (value == "srec") {
                load.format = ostrel::FileFormat::SRecord;
            } else {
                std::fprintf(stderr, "ostrel-convert: --format takes bin, hex or srec\n\n%s",
                             kUsage);
                return 2;
            }
        } else if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "ostrel-convert: unknown option %s\n\n%s", arg.c_str(), kUsage);
            return 2;
        } else if (pathCount < 2) {
            paths[pathCount++] = arg;
        } else {
            std::fprintf(stderr, "ostrel-convert: too many arguments\n\n%s", kUsage);
            return 2;
        }
    }
    if (pathCount != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    if (!force && ostrel::platform::pathExists(paths[1])) {
        std::fprintf(stderr, "ostrel-convert: %s exists; use --force to replace it\n",
                     paths[1].c_str());
        return 1;
    }

    // Like the program's FLASH buffer: what no record names reads as erased.
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[ostrel::kFlashBufferSize]);
    std::memset(buffer.get(), 0xFF, ostrel::kFlashBufferSize);
    const ostrel::LoadResult loaded =
        ostrel::loadFile(paths[0], buffer.get(), ostrel::kFlashBufferSize, load);
    if (loaded.failed()) {
        std::fprintf(stderr, "ostrel-convert: Error: %s\n",
                     loadFailureText(loaded, paths[0]).c_str());
        return 1;
    }
    const ostrel::SaveResult saved =
        ostrel::saveFile(paths[1], buffer.get(), static_cast<uint32_t>(loaded.count));
    if (saved.failed()) {
        const std::string text =
            saved.fault == ostrel::FileFault::WriteFailed
                ? ostrel::messageText(ostrel::Msg::MsgWriteFileError, ostrel::LangEnglish)
                : ostrel::cannotCreateText(paths[1]);
        std::fprintf(stderr, "ostrel-convert: Error: %s: %s\n", text.c_str(),
                     std::strerror(saved.error));
        return 1;
    }
    return 0;
}
