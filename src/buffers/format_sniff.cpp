#include "buffers/format_sniff.h"

#include "buffers/codec_io.h"

namespace ostrel {

bool RecordTextScan::feed(const char* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        if (!step(static_cast<unsigned char>(bytes[i]))) return false;
    return true;
}

FileFormat RecordTextScan::result() const {
    if (state_ == State::AfterS || state_ == State::AfterCr) return FileFormat::Raw;
    return kind_;
}

bool RecordTextScan::startRecord(FileFormat kind) {
    if (kind_ != FileFormat::Raw && kind_ != kind) return false;
    kind_ = kind;
    return true;
}

bool RecordTextScan::step(unsigned char c) {
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

FileFormat recordTextFormat(const char* bytes, std::size_t size) {
    RecordTextScan scan;
    return scan.feed(bytes, size) ? scan.result() : FileFormat::Raw;
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
