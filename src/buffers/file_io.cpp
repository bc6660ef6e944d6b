#include "buffers/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "buffers/codec_io.h"
#include "buffers/intel_hex.h"
#include "buffers/srecord.h"

namespace ostrel {

const char* const kOpenFilter =
    "Binary (*.bin)|*.bin|Intel Hex(*.hex)|*.hex|Bios Rom (*.rom)|*.rom|Asus Rom "
    "(*.cap)|*.cap|All files (*.*)|*.*";
const char* const kSaveFilter =
    "Binary (*.bin)|*.bin|Intel Hex(*.hex)|*.hex|Bios Rom (*.rom)|*.rom|All files (*.*)|*.*";
const char* const kSaveDefaultExtension = "hex";

namespace {

enum class Format { Raw, Capsule, IntelHex, SRecord };

// Reads up to `count` bytes; fewer only at the end of the file or on an error.
std::size_t readUpTo(int fd, uint8_t* target, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        ssize_t got = ::read(fd, target + done, count - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

// Raw binary and capsule files: `skip` header bytes are dropped.
int32_t loadRaw(int fd, uint8_t* target, uint32_t limit, uint32_t skip, UiPort& ui) {
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        if (static_cast<uint64_t>(info.st_size) > limit) {
            showFileError(ui, programText(Txt::FileTooBigForBuffer, 0));
            return 0;
        }
        if (static_cast<uint64_t>(info.st_size) <= skip) return 0;
        if (skip != 0 && ::lseek(fd, skip, SEEK_SET) != static_cast<off_t>(skip)) return 0;
        return static_cast<int32_t>(
            readUpTo(fd, target, static_cast<std::size_t>(info.st_size) - skip));
    }
    // A pipe or device has no size to check first: the header is read and
    // dropped, and the content may fill the target but not overflow it.
    uint8_t header[kCapsuleHeaderSize];
    if (skip > sizeof header || readUpTo(fd, header, skip) < skip) return 0;
    std::size_t got = readUpTo(fd, target, limit > skip ? limit - skip : 0);
    uint8_t more;
    if (readUpTo(fd, &more, 1) != 0) {
        showFileError(ui, programText(Txt::FileTooBigForBuffer, 0));
        return 0;
    }
    return static_cast<int32_t>(got);
}

bool isDirectory(int fd) {
    struct stat info;
    return ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::string fileExtension(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string extension = path.substr(dot);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

int32_t LoadFile(const std::string& path, uint8_t* target, uint32_t limit, UiPort& ui,
                 bool* cannotOpen) {
    if (cannotOpen != nullptr) *cannotOpen = false;
    const std::string extension = fileExtension(path);
    Format format = Format::Raw;
    if (extension == ".hex") {
        format = Format::IntelHex;
    } else if (extension == ".cap") {
        format = Format::Capsule;
    } else if (extension == ".eep") {
        int probe = openForReading(path);
        if (probe < 0) {
            showFileError(ui, programText(Txt::CantOpenFile, 0));
            return 0;
        }
        char first = 0;
        if (!isDirectory(probe) && ::read(probe, &first, 1) == 1) {
            if (first == ':') format = Format::IntelHex;
            if (first == 'S') format = Format::SRecord;
        }
        closeFile(probe);
    }

    int fd = openForReading(path);
    if (fd >= 0 && isDirectory(fd)) {
        closeFile(fd);
        fd = -1;
    }
    if (fd < 0) {
        showFileError(ui, cannotOpenText(path));
        if (cannotOpen != nullptr) *cannotOpen = true;
        return 0;
    }
    int32_t loaded = 0;
    switch (format) {
        case Format::Raw:
            loaded = loadRaw(fd, target, limit, 0, ui);
            break;
        case Format::Capsule:
            loaded = loadRaw(fd, target, limit, kCapsuleHeaderSize, ui);
            break;
        case Format::IntelHex: {
            LineReader lines(fd);
            loaded = ReadIntelHex(lines, target, limit, ui);
            break;
        }
        case Format::SRecord: {
            LineReader lines(fd);
            loaded = ReadSRecord(lines, target, limit, ui);
            break;
        }
    }
    closeFile(fd);
    return loaded;
}

bool SaveFile(const std::string& path, const uint8_t* source, uint32_t count, UiPort& ui,
              int language) {
    struct stat old;
    const bool exists = ::stat(path.c_str(), &old) == 0;
    if (exists && !ui.askInfo(messageText(Msg::MsgFileExists, language))) return false;

    // A read-only file stays as it is: the rename would replace it regardless.
    if (exists && (S_ISDIR(old.st_mode) || ::access(path.c_str(), W_OK) != 0)) {
        showFileError(ui, cannotCreateText(path));
        return false;
    }
    FileReplacement file(path);
    if (!file.ready()) {
        showFileError(ui, cannotCreateText(path));
        return false;
    }
    const int fd = file.fd();

    const std::string extension = fileExtension(path);
    bool written;
    if (extension == ".src")
        written = WriteSRecord(fd, source, count);
    else if (extension == ".hex")
        written = WriteIntelHex(fd, source, count);
    else
        written = writeAll(fd, source, count);
    if (!written || !file.commit(false)) {
        ui.errorBox(messageText(Msg::MsgWriteFileError, language));
        return false;
    }
    return true;
}

void OpenFileCommand(MainState& state, ActivePage page, UiPort& ui) {
    const std::string path = ui.openFileName(kOpenFilter, 0);
    if (path.empty()) return;
    const ChipRecord& chip = state.selectedRecord();
    DataBuffers& buffers = state.buffers;
    bool cannotOpen = false;

    if (page == ActivePage::Flash) {
        uint32_t start = 0;
        uint32_t limit = kFlashBufferSize;
        if (buffers.rangeEnabled) {
            // A start outside the buffer leaves no room: nothing can be loaded there.
            int64_t rangeStart = buffers.rangeStart;
            start = static_cast<uint32_t>(std::clamp<int64_t>(rangeStart, 0, kFlashBufferSize));
            limit = rangeStart >= 0 && rangeStart <= int64_t{kFlashBufferSize}
                        ? kFlashBufferSize - start
                        : 0;
        }
        const int32_t loaded = LoadFile(path, buffers.flash() + start, limit, ui, &cannotOpen);
        if (cannotOpen) return;
        if (static_cast<uint32_t>(loaded) > chip.flashSize) {
            if (!ui.askInfo(messageText(Msg::MsgFileTooLong, state.language))) return;
            buffers.flashDataLength = static_cast<int32_t>(chip.flashSize);
        } else {
            buffers.flashDataLength = loaded;
        }
        if (buffers.rangeEnabled) buffers.flashDataLength += static_cast<int32_t>(start);
        buffers.ShowFlash(chip.flashSize);
    } else if (page == ActivePage::Eeprom) {
        std::memset(buffers.eeprom(), 0xFF, kEepromBufferSize);
        const int32_t loaded = LoadFile(path, buffers.eeprom(), kEepromBufferSize, ui, &cannotOpen);
        if (cannotOpen) return;
        if (static_cast<uint32_t>(loaded) > chip.eepromSize &&
            !ui.askInfo(messageText(Msg::MsgFileTooLong, state.language)))
            return;
        buffers.ShowEeprom(chip.eepromSize);
    }
    ui.insertLogLine(messageText(Msg::MsgOpenTitle, state.language) + path + " (" + ui.timeOfDay() +
                     ")");
}

void SaveFileCommand(MainState& state, UiPort& ui) {
    const std::string path = ui.saveFileName(kSaveFilter, kSaveDefaultExtension);
    if (path.empty()) return;
    // A record larger than the buffer must not make Save read past its end.
    const uint32_t count = DataBuffers::flashCountFor(state.selectedRecord().flashSize);
    SaveFile(path, state.buffers.flash(), count, ui, state.language);
}

}  // namespace ostrel
