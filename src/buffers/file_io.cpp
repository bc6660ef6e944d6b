#include "buffers/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/quiet_ui.h"
#include "base/text_format.h"
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

// Reads up to `count` bytes into `target`, fewer only at the end of the file;
// false on a read error.
bool readUpTo(int fd, uint8_t* target, std::size_t count, std::size_t& done) {
    done = 0;
    while (done < count) {
        ssize_t got = ::read(fd, target + done, count - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

LoadResult failedLoad(UiPort& ui, Txt text) {
    showFileError(ui, programText(text, 0));
    LoadResult result;
    result.failed = true;
    return result;
}

LoadResult loadedBytes(std::size_t count) {
    LoadResult result;
    result.count = static_cast<int32_t>(count);
    return result;
}

// Raw binary and capsule files: `skip` header bytes are dropped. A file that
// ends early or cannot be read is an error, never a shorter image.
LoadResult loadRaw(int fd, uint8_t* target, uint32_t limit, uint32_t skip, UiPort& ui) {
    struct stat info;
    // Files of /proc and /sys report a size of 0 and still have content: they
    // are read like a pipe below.
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        const uint64_t size = static_cast<uint64_t>(info.st_size);
        if (size > limit) return failedLoad(ui, Txt::FileTooBigForBuffer);
        if (size <= skip) return loadedBytes(0);
        if (skip != 0 && ::lseek(fd, skip, SEEK_SET) != static_cast<off_t>(skip))
            return failedLoad(ui, Txt::ErrorReadingFile);
        const std::size_t expected = static_cast<std::size_t>(size - skip);
        std::size_t got = 0;
        if (!readUpTo(fd, target, expected, got) || got != expected)
            return failedLoad(ui, Txt::ErrorReadingFile);
        return loadedBytes(got);
    }
    // A pipe or device has no size to check first: the header is read and
    // dropped, and the content may fill the target but not overflow it.
    uint8_t header[kCapsuleHeaderSize];
    std::size_t got = 0;
    if (skip > sizeof header || !readUpTo(fd, header, skip, got))
        return failedLoad(ui, Txt::ErrorReadingFile);
    if (got < skip) return loadedBytes(0);
    if (!readUpTo(fd, target, limit > skip ? limit - skip : 0, got))
        return failedLoad(ui, Txt::ErrorReadingFile);
    uint8_t more;
    std::size_t extra = 0;
    if (!readUpTo(fd, &more, 1, extra)) return failedLoad(ui, Txt::ErrorReadingFile);
    if (extra != 0) return failedLoad(ui, Txt::FileTooBigForBuffer);
    return loadedBytes(got);
}

bool isDirectory(int fd) {
    struct stat info;
    return ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
}

// The extensions that other tools give the two record formats; ".hex" and
// ".src" are handled by themselves.
bool isIntelHexName(const std::string& extension) {
    return extension == ".ihx" || extension == ".ihex";
}
bool isSRecordName(const std::string& extension) {
    return extension == ".s19" || extension == ".s28" || extension == ".s37" ||
           extension == ".srec" || extension == ".mot";
}

// Keeps the record readers' messages, for the command line's plainer words.
class HeldErrors : public QuietUi {
  public:
    void messageBox(const std::string& text, const std::string&, BoxIcon) override {
        if (first.empty()) first = text;
    }
    std::string first;
};

// Runs a record reader; with plain errors the reader's first message becomes
// "line N: <message>", or says that the file may be cut off.
LoadResult readRecords(int fd, RecordReader read, uint8_t* target, uint32_t limit, UiPort& ui,
                       const LoadOptions& options) {
    LoadResult result;
    LineReader lines(fd);
    if (!options.plainErrors) {
        result.count = read(lines, target, limit, ui, &result.failed);
        return result;
    }
    HeldErrors held;
    result.count = read(lines, target, limit, held, &result.failed);
    if (!result.failed) return result;
    if (held.first == programText(Txt::FileReadOperationFailed, 0))
        showFileError(ui, programText(Txt::FileMayBeCutOff, options.language));
    else
        showFileError(ui, fillIn(programText(Txt::RecordErrorAtLine, options.language),
                                 {std::to_string(lines.lineNumber()), held.first}));
    return result;
}

}  // namespace

std::string fileExtension(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return asciiLower(path.substr(dot));
}

FileFormat loadFormatOf(const std::string& path) {
    const std::string extension = fileExtension(path);
    if (extension == ".hex" || isIntelHexName(extension)) return FileFormat::IntelHex;
    if (isSRecordName(extension)) return FileFormat::SRecord;
    if (extension == ".cap") return FileFormat::Capsule;
    if (extension != ".eep" && extension != ".src") return FileFormat::Raw;
    // Saved as S-record, a ".src" file opens as one again; one that holds
    // raw bytes still loads raw, as a ".eep" does. A file that cannot be
    // probed is left to the load, which says why.
    int probe = openForReading(path);
    if (probe < 0) return FileFormat::Raw;
    char first = 0;
    ssize_t got = 0;
    if (!isDirectory(probe)) {
        do got = ::read(probe, &first, 1);
        while (got < 0 && errno == EINTR);
    }
    closeFile(probe);
    if (got == 1 && first == ':') return FileFormat::IntelHex;
    if (got == 1 && first == 'S') return FileFormat::SRecord;
    return FileFormat::Raw;
}

FileFormat saveFormatOf(const std::string& path) {
    const std::string extension = fileExtension(path);
    if (extension == ".src" || isSRecordName(extension)) return FileFormat::SRecord;
    if (extension == ".hex" || isIntelHexName(extension)) return FileFormat::IntelHex;
    return FileFormat::Raw;
}

LoadResult LoadFileChecked(const std::string& path, uint8_t* target, uint32_t limit, UiPort& ui,
                           const LoadOptions& options) {
    const std::string extension = fileExtension(path);
    FileFormat format = options.format;
    if (!options.chosen) {
        if (extension == ".eep" || extension == ".src") {
            // The probe's own failure, told as such.
            int probe = openForReading(path);
            if (probe < 0) return failedLoad(ui, Txt::CantOpenFile);
            closeFile(probe);
        }
        format = loadFormatOf(path);
        if (format == FileFormat::Raw) {
            // Text programmed as raw bytes puts the text on the chip.
            const FileFormat looks = recordTextFormat(path);
            if (looks != FileFormat::Raw) {
                const std::string name = formatName(looks);
                if (options.refuseRecordText) {
                    showFileError(ui,
                                  fillIn(programText(Txt::RecordTextUnderRawName, options.language),
                                         {path, name}));
                    LoadResult result;
                    result.failed = true;
                    return result;
                }
                if (ui.askInfo(fillIn(programText(Txt::ReadRecordTextAs, options.language),
                                      {path, name, name})))
                    format = looks;
            }
        }
    }

    int fd = openForReading(path);
    if (fd >= 0 && isDirectory(fd)) {
        closeFile(fd);
        fd = -1;
    }
    if (fd < 0) {
        showFileError(ui, cannotOpenText(path));
        LoadResult result;
        result.failed = true;
        result.cannotOpen = true;
        return result;
    }
    LoadResult result;
    switch (format) {
        case FileFormat::Raw:
            result = loadRaw(fd, target, limit, 0, ui);
            break;
        case FileFormat::Capsule:
            result = loadRaw(fd, target, limit, kCapsuleHeaderSize, ui);
            break;
        case FileFormat::IntelHex:
            result = readRecords(fd, ReadIntelHex, target, limit, ui, options);
            break;
        case FileFormat::SRecord:
            result = readRecords(fd, ReadSRecord, target, limit, ui, options);
            break;
    }
    result.format = format;
    closeFile(fd);
    return result;
}

int32_t LoadFile(const std::string& path, uint8_t* target, uint32_t limit, UiPort& ui,
                 bool* cannotOpen) {
    const LoadResult result = LoadFileChecked(path, target, limit, ui);
    if (cannotOpen != nullptr) *cannotOpen = result.cannotOpen;
    return result.count;
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

    const FileFormat format = saveFormatOf(path);
    bool written;
    if (format == FileFormat::SRecord)
        written = WriteSRecord(fd, source, count);
    else if (format == FileFormat::IntelHex)
        written = WriteIntelHex(fd, source, count);
    else
        written = writeAll(fd, source, count);
    if (!written || !file.commit(false)) {
        ui.errorBox(messageText(Msg::MsgWriteFileError, language));
        return false;
    }
    return true;
}

void OpenFileCommand(const ChipRecord& chip, DataBuffers& buffers, ActivePage page, UiPort& ui,
                     int language, const LoadOptions& options) {
    const std::string path = ui.openFileName(kOpenFilter, 0);
    if (path.empty()) return;
    LoadOptions load = options;
    load.language = language;

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
        // Bytes no record of the file names keep what the FLASH buffer held, so
        // the staging copy must read as the buffer over all the loader touches.
        // It is prepared only as far as the buffer has been filled; a file that
        // reaches further is loaded once more over that much more 0xFF, rather
        // than preparing 64 MiB for every load.
        uint8_t* staging = buffers.flashStaging();
        const uint32_t end = start + limit;
        uint32_t prepared = std::clamp(buffers.flashFilled(), start, end);
        std::memcpy(staging + start, buffers.flashUpTo(prepared) + start, prepared - start);
        LoadResult loaded = LoadFileChecked(path, staging + start, limit, ui, load);
        while (!loaded.failed && start + static_cast<uint32_t>(loaded.count) > prepared) {
            const uint32_t reached = start + static_cast<uint32_t>(loaded.count);
            std::memset(staging + prepared, 0xFF, reached - prepared);
            prepared = reached;
            loaded = LoadFileChecked(path, staging + start, limit, ui, load);
        }
        if (loaded.failed) return;
        const uint32_t count = static_cast<uint32_t>(loaded.count);
        int32_t dataLength = loaded.count;
        if (count > chip.flashSize) {
            if (!ui.askInfo(messageText(Msg::MsgFileTooLong, language))) return;
            dataLength = static_cast<int32_t>(chip.flashSize);
        }
        buffers.commitFlashStaging(start, count);
        buffers.flashEditsSettled();
        buffers.flashDataLength = dataLength;
        if (buffers.rangeEnabled) buffers.flashDataLength += static_cast<int32_t>(start);
        buffers.ShowFlash(chip.flashSize);
    } else if (page == ActivePage::Eeprom) {
        // The file over an erased DATA area, taken over only when it loaded
        // and the user kept it.
        std::vector<uint8_t> staging(kEepromBufferSize, 0xFF);
        const LoadResult loaded =
            LoadFileChecked(path, staging.data(), kEepromBufferSize, ui, load);
        if (loaded.failed) return;
        if (static_cast<uint32_t>(loaded.count) > chip.eepromSize &&
            !ui.askInfo(messageText(Msg::MsgFileTooLong, language)))
            return;
        std::memcpy(buffers.eeprom(), staging.data(), kEepromBufferSize);
        buffers.ShowEeprom(chip.eepromSize);
    }
    ui.insertLogLine(messageText(Msg::MsgOpenTitle, language) + path + " (" + ui.timeOfDay() + ")");
}

void SaveFileCommand(const ChipRecord& chip, DataBuffers& buffers, UiPort& ui, int language) {
    const std::string path = ui.saveFileName(kSaveFilter, kSaveDefaultExtension);
    if (path.empty()) return;
    // The file gets what Write would send: the bytes typed into the views are
    // taken over first.
    buffers.TakeFlashEdits(chip.flashSize);
    buffers.TakeEepromEdits(chip.eepromSize);
    // A record larger than the buffer must not make Save read past its end.
    const uint32_t count = DataBuffers::flashCountFor(chip.flashSize);
    if (SaveFile(path, buffers.flashUpTo(count), count, ui, language)) buffers.flashEditsSettled();
}

}  // namespace ostrel
