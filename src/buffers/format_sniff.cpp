#include "buffers/format_sniff.h"

#include <unistd.h>

#include <cerrno>
#include <memory>

#include "buffers/codec_io.h"

namespace ostrel {

namespace {

// Walks the content byte by byte; it gives up at the first byte that record
// text cannot hold, so a binary image costs a few bytes, not a whole read.
class RecordTextScan {
  public:
    bool feed(const char* bytes, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i)
            if (!step(static_cast<unsigned char>(bytes[i]))) return false;
        return true;
    }
    FileFormat result() const {
        if (state_ == State::AfterS || state_ == State::AfterCr) return FileFormat::Raw;
        return kind_;
    }

  private:
    enum class State { LineStart, AfterS, Digits, AfterCr };

    bool startRecord(FileFormat kind) {
        if (kind_ != FileFormat::Raw && kind_ != kind) return false;
        kind_ = kind;
        return true;
    }
    bool step(unsigned char c) {
        switch (state_) {
            case State::LineStart:
                if (c == '\n') return true;
                if (c == '\r') {
                    state_ = State::AfterCr;
                    return true;
                }
                if (c == ':' && startRecord(FileFormat::IntelHex)) {
                    state_ = State::Digits;
                    return true;
                }
                if (c == 'S' && startRecord(FileFormat::SRecord)) {
                    state_ = State::AfterS;
                    return true;
                }
                return false;
            case State::AfterS:
                if (c < '0' || c > '9') return false;
                state_ = State::Digits;
                return true;
            case State::Digits:
                if (c == '\n') {
                    state_ = State::LineStart;
                    return true;
                }
                if (c == '\r') {
                    state_ = State::AfterCr;
                    return true;
                }
                return hexdigits::kTables.value[c] != 0xFF;
            case State::AfterCr:
                if (c != '\n') return false;
                state_ = State::LineStart;
                return true;
        }
        return false;
    }

    State state_ = State::LineStart;
    FileFormat kind_ = FileFormat::Raw;
};

}  // namespace

FileFormat recordTextFormat(const char* bytes, std::size_t size) {
    RecordTextScan scan;
    return scan.feed(bytes, size) ? scan.result() : FileFormat::Raw;
}

FileFormat recordTextFormat(const std::string& path) {
    const int fd = openForReading(path);
    if (fd < 0) return FileFormat::Raw;
    constexpr std::size_t kChunk = 1u << 16;
    std::unique_ptr<char[]> chunk(new char[kChunk]);
    RecordTextScan scan;
    bool text = true;
    for (;;) {
        const ssize_t got = ::read(fd, chunk.get(), kChunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            text = got == 0;
            break;
        }
        if (!scan.feed(chunk.get(), static_cast<std::size_t>(got))) {
            text = false;
            break;
        }
    }
    closeFile(fd);
    return text ? scan.result() : FileFormat::Raw;
}

const char* formatName(FileFormat format) {
    switch (format) {
        case FileFormat::IntelHex:
            return "Intel HEX";
        case FileFormat::SRecord:
            return "S-record";
        case FileFormat::Raw:
        case FileFormat::Capsule:
            break;
    }
    return "raw binary";
}

}  // namespace ostrel
