#include "buffers/file_io.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "base/platform.h"
#include "base/safe_file.h"
#include "base/text_format.h"
#include "base/texts.h"
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

constexpr std::size_t kScanChunk = 1u << 16;
constexpr std::size_t kReadPiece = 1u << 20;
constexpr int kStandardInput = 0;
constexpr int kStandardOutput = 1;

// Reads up to `count` bytes into `target`, fewer only at the end of the input;
// false on a read error (errno tells which).
bool readUpTo(int fd, uint8_t* target, std::size_t count, std::size_t& done) {
    done = 0;
    while (done < count) {
        // At most 1 MiB a call: some systems make the whole target range
        // resident before they read, and the target may be the 64 MiB buffer.
        long got = platform::readSome(fd, target + done, std::min(count - done, kReadPiece));
        if (got < 0) return false;
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

LoadResult loadFault(FileFault fault, int error = 0) {
    LoadResult result;
    result.fault = fault;
    result.error = error;
    return result;
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

LoadResult readRecords(LineReader& lines, FileFormat format, uint8_t* target, uint32_t limit,
                       uint32_t prepared) {
    const RecordRead read = format == FileFormat::IntelHex
                                ? ReadIntelHex(lines, target, limit, prepared)
                                : ReadSRecord(lines, target, limit, prepared);
    LoadResult result;
    result.format = format;
    if (read.failed()) {
        result.fault = FileFault::Record;
        result.record = read.fault;
        result.line = read.line;
        return result;
    }
    result.count = read.extent;
    return result;
}

// A raw or capsule input, of which `head` has already been taken. `expected`
// is what a regular file still holds by its size (head included), -1 when
// unknown; the input must give all of it. `skip` header bytes are dropped.
// With `sniff`, the content is held aside while it may be record text; if it
// all is, the options decide how it is read.
class RawLoad {
  public:
    RawLoad(int fd, int64_t expected, uint8_t* target, uint32_t limit)
        : fd_(fd), expected_(expected), target_(target), limit_(limit) {}

    LoadResult run(const std::string& head, uint32_t skip, bool sniff, const LoadOptions& options) {
        if (skip != 0) {
            const uint32_t whole = limit_;
            if (!dropHeader(skip)) return loadFault(FileFault::ReadFailed, errno);
            // The whole file, header included, must fit: a header alone
            // longer than the limit is a file too big, not an empty one.
            if (skipped_ > whole) return loadFault(FileFault::TooBig);
        }
        if (ended_) return finish();
        if (sniff) {
            std::string text = head;
            RecordTextScan scan;
            bool maybeText = scan.feed(text.data(), text.size());
            taken_ += text.size();
            std::unique_ptr<char[]> chunk(new char[kScanChunk]);
            // Record text may be longer than the bytes it stands for.
            const uint64_t textLimit = uint64_t{limit_} * 4 + (1u << 20);
            while (maybeText && !ended_) {
                std::size_t got = 0;
                if (!readUpTo(fd_, reinterpret_cast<uint8_t*>(chunk.get()), kScanChunk, got))
                    return loadFault(FileFault::ReadFailed, errno);
                if (got == 0) {
                    ended_ = true;
                    break;
                }
                taken_ += got;
                maybeText = scan.feed(chunk.get(), got);
                text.append(chunk.get(), got);
                if (text.size() > textLimit) return loadFault(FileFault::TooBig);
            }
            if (maybeText && scan.result() != FileFormat::Raw) {
                const FileFormat looks = scan.result();
                if (!options.readRecordTextAs) {
                    LoadResult refused = loadFault(FileFault::RecordText);
                    refused.format = looks;
                    return refused;
                }
                if (options.readRecordTextAs(looks)) {
                    if (shortRead()) return loadFault(FileFault::ReadFailed);
                    LineReader lines(text.data(), text.size());
                    return readRecords(lines, looks, target_, limit_, options.prepared);
                }
            }
            if (!store(text.data(), text.size())) return loadFault(FileFault::TooBig);
        } else {
            taken_ += head.size();
            if (!store(head.data(), head.size())) return loadFault(FileFault::TooBig);
        }
        if (ended_) return finish();
        // What is left goes straight into the target; a regular file that cannot
        // fit is refused before it is read.
        if (expected_ >= 0 && static_cast<uint64_t>(expected_) - skipped_ > limit_)
            return loadFault(FileFault::TooBig);
        std::size_t got = 0;
        if (!readUpTo(fd_, target_ + count_, limit_ - count_, got))
            return loadFault(FileFault::ReadFailed, errno);
        count_ += static_cast<uint32_t>(got);
        taken_ += got;
        uint8_t more;
        std::size_t extra = 0;
        if (!readUpTo(fd_, &more, 1, extra)) return loadFault(FileFault::ReadFailed, errno);
        if (extra != 0) return loadFault(FileFault::TooBig);
        return finish();
    }

  private:
    bool dropHeader(uint32_t skip) {
        uint8_t header[kCapsuleHeaderSize];
        std::size_t got = 0;
        if (skip > sizeof header || !readUpTo(fd_, header, skip, got)) return false;
        taken_ += got;
        skipped_ = got;
        if (got < skip) ended_ = true;
        // The whole file, header included, must fit.
        limit_ = limit_ > got ? limit_ - static_cast<uint32_t>(got) : 0;
        return true;
    }
    bool store(const char* bytes, std::size_t size) {
        if (size > limit_ - count_) return false;
        std::memcpy(target_ + count_, bytes, size);
        count_ += static_cast<uint32_t>(size);
        return true;
    }
    // A regular file that gave fewer bytes than its size said was cut while
    // it was read, or cannot be read whole: what came is not the file.
    bool shortRead() const { return expected_ >= 0 && taken_ < static_cast<uint64_t>(expected_); }
    LoadResult finish() const {
        if (shortRead()) return loadFault(FileFault::ReadFailed);
        LoadResult result;
        result.count = static_cast<int32_t>(count_);
        return result;
    }

    int fd_;
    int64_t expected_;
    uint8_t* target_;
    uint32_t limit_;
    uint32_t count_ = 0;
    uint64_t taken_ = 0;
    uint64_t skipped_ = 0;
    bool ended_ = false;
};

// Closes an input the load opened itself.
struct InputCloser {
    int fd;
    bool own;
    ~InputCloser() {
        if (own) closeFile(fd);
    }
};

bool writeFormatted(int fd, FileFormat format, const uint8_t* source, uint32_t count) {
    if (format == FileFormat::SRecord) return WriteSRecord(fd, source, count);
    if (format == FileFormat::IntelHex) return WriteIntelHex(fd, source, count);
    return writeAll(fd, source, count);
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
    return FileFormat::Raw;
}

FileFormat saveFormatOf(const std::string& path) {
    const std::string extension = fileExtension(path);
    if (extension == ".src" || isSRecordName(extension)) return FileFormat::SRecord;
    if (extension == ".hex" || isIntelHexName(extension)) return FileFormat::IntelHex;
    return FileFormat::Raw;
}

LoadResult loadFile(const std::string& path, uint8_t* target, uint32_t limit,
                    const LoadOptions& options) {
    const bool standard = path == kStandardStream;
    const int fd = standard ? kStandardInput : openForReading(path);
    if (fd < 0) return loadFault(FileFault::CannotOpen, errno);
    const InputCloser closer{fd, !standard};

    const std::optional<platform::PathInfo> info = platform::fileInfo(fd);
    if (info && info->folder) return loadFault(FileFault::CannotOpen, EISDIR);
    // Files of /proc report a size of 0 and still have content: they are read
    // like a pipe, to their end.
    int64_t expected = -1;
    if (info && info->regular && info->size > 0) {
        const int64_t at = platform::filePosition(fd);
        expected = info->size - (at > 0 ? at : 0);
    }

    const std::string extension = standard ? std::string() : fileExtension(path);
    FileFormat format = options.chosen ? options.format : loadFormatOf(path);
    std::string head;
    if (!options.chosen && (extension == ".eep" || extension == ".src")) {
        // Saved as S-record, a ".src" file opens as one again; one that holds
        // raw bytes still loads raw, as a ".eep" does.
        uint8_t first = 0;
        std::size_t got = 0;
        if (!readUpTo(fd, &first, 1, got)) return loadFault(FileFault::ReadFailed, errno);
        if (got == 1) head.assign(1, static_cast<char>(first));
        if (got == 1 && first == ':') format = FileFormat::IntelHex;
        if (got == 1 && first == 'S') format = FileFormat::SRecord;
    }

    LoadResult result;
    switch (format) {
        case FileFormat::Raw:
        case FileFormat::Capsule: {
            RawLoad raw(fd, expected, target, limit);
            // Text programmed as raw bytes puts the text on the chip.
            result = raw.run(head, format == FileFormat::Capsule ? kCapsuleHeaderSize : 0,
                             format == FileFormat::Raw && !options.chosen, options);
            if (result.fault != FileFault::RecordText && result.format == FileFormat::Raw)
                result.format = format;
            break;
        }
        case FileFormat::IntelHex:
        case FileFormat::SRecord: {
            LineReader lines(fd, head);
            result = readRecords(lines, format, target, limit, options.prepared);
            break;
        }
    }
    return result;
}

SaveResult saveFile(const std::string& path, const uint8_t* source, uint32_t count) {
    SaveResult result;
    if (path == kStandardStream) {
        if (!writeFormatted(kStandardOutput, FileFormat::Raw, source, count)) {
            result.fault = FileFault::WriteFailed;
            result.error = errno;
        }
        return result;
    }
    FileReplacement file(path);
    if (!file.ready()) {
        result.fault = file.error() == EISDIR ? FileFault::IsFolder : FileFault::CannotCreate;
        result.error = file.error();
        return result;
    }
    if (!writeFormatted(file.fd(), saveFormatOf(path), source, count)) {
        result.fault = FileFault::WriteFailed;
        result.error = errno;
        return result;
    }
    if (!file.commit()) {
        result.fault = FileFault::WriteFailed;
        result.error = file.error();
    }
    return result;
}

std::vector<std::string> loadFailureTexts(const LoadResult& result, const std::string& path) {
    switch (result.fault) {
        case FileFault::None:
            return {};
        case FileFault::CannotOpen: {
            // ".eep" and ".src" files are probed first, with a message of their own.
            const std::string extension = fileExtension(path);
            if (result.error != EISDIR && (extension == ".eep" || extension == ".src"))
                return {programText(Txt::CantOpenFile, 0)};
            return {cannotOpenText(path)};
        }
        case FileFault::ReadFailed:
            return {programText(Txt::ErrorReadingFile, 0)};
        case FileFault::TooBig:
            return {programText(Txt::FileTooBigForBuffer, 0)};
        case FileFault::Record:
            if (result.record == RecordFault::FileEnded && result.format == FileFormat::IntelHex)
                return {recordFaultText(result.record), programText(Txt::ErrorReadingFile, 0)};
            return {recordFaultText(result.record)};
        case FileFault::RecordText:
            return {fillIn(programText(Txt::RecordTextUnderRawName, 0),
                           {path, formatName(result.format)})};
        case FileFault::IsFolder:
        case FileFault::CannotCreate:
        case FileFault::WriteFailed:
            break;
    }
    return {programText(Txt::ErrorReadingFile, 0)};
}

FileOpen::FileOpen(const ChipRecord& chip, DataBuffers& buffers, ActivePage page)
    : chip_(chip), buffers_(buffers), page_(page) {}

LoadResult FileOpen::load(const std::string& path, LoadOptions options) {
    count_ = 0;
    LoadResult loaded;
    if (page_ == ActivePage::Flash) {
        uint32_t start = 0;
        uint32_t limit = kFlashBufferSize;
        if (buffers_.rangeEnabled) {
            // A start outside the buffer leaves no room: nothing can be loaded there.
            const int64_t rangeStart = buffers_.rangeStart;
            start = static_cast<uint32_t>(std::clamp<int64_t>(rangeStart, 0, kFlashBufferSize));
            limit = rangeStart >= 0 && rangeStart <= int64_t{kFlashBufferSize}
                        ? kFlashBufferSize - start
                        : 0;
        }
        // Bytes no record of the file names keep what the FLASH buffer held, so
        // the staging copy reads as the buffer as far as the buffer has been
        // filled; past that the load erases what a record file's gaps reach,
        // rather than preparing 64 MiB for every load.
        uint8_t* staging = buffers_.flashStaging();
        const uint32_t prepared = std::clamp(buffers_.flashFilled(), start, start + limit);
        std::memcpy(staging + start, buffers_.flashUpTo(prepared) + start, prepared - start);
        options.prepared = prepared - start;
        start_ = start;
        loaded = loadFile(path, staging + start, limit, options);
    } else if (page_ == ActivePage::Eeprom) {
        // The file over an erased DATA area.
        eeprom_.assign(kEepromBufferSize, 0xFF);
        options.prepared = kAllPrepared;
        loaded = loadFile(path, eeprom_.data(), kEepromBufferSize, options);
    }
    if (!loaded.failed()) count_ = static_cast<uint32_t>(loaded.count);
    return loaded;
}

bool FileOpen::longerThanChip() const {
    switch (page_) {
        case ActivePage::Flash:
            return count_ > chip_.flashSize;
        case ActivePage::Eeprom:
            return count_ > chip_.eepromSize;
        case ActivePage::Config:
            break;
    }
    return false;
}

void FileOpen::commit() {
    if (page_ == ActivePage::Flash) {
        buffers_.commitFlashStaging(start_, count_);
        buffers_.flashEditsSettled();
        buffers_.flashDataLength = static_cast<int32_t>(std::min(count_, chip_.flashSize));
        if (buffers_.rangeEnabled) buffers_.flashDataLength += static_cast<int32_t>(start_);
        buffers_.ShowFlash(chip_.flashSize);
    } else if (page_ == ActivePage::Eeprom && !eeprom_.empty()) {
        std::memcpy(buffers_.eeprom(), eeprom_.data(), kEepromBufferSize);
        buffers_.eepromEditsSettled();
        buffers_.ShowEeprom(chip_.eepromSize);
    }
}

}  // namespace ostrel
