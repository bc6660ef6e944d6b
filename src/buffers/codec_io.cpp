#include "buffers/codec_io.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/platform.h"
#include "base/safe_file.h"
#include "base/texts.h"

namespace ostrel {

namespace {
constexpr std::size_t kReadChunk = 1u << 20;
}  // namespace

LineReader::LineReader(int fd, const std::string& prefix)
    : fd_(fd), storage_(new char[std::max(kReadChunk, prefix.size())]) {
    data_ = storage_.get();
    std::memcpy(storage_.get(), prefix.data(), prefix.size());
    end_ = prefix.size();
}

LineReader::LineReader(const char* text, std::size_t size)
    : data_(text), end_(size), exhausted_(true) {}

void LineReader::refill() {
    char* buffer = storage_.get();
    std::size_t left = end_ - begin_;
    if (begin_ != 0 && left != 0) std::memmove(buffer, buffer + begin_, left);
    begin_ = 0;
    end_ = left;
    while (end_ < kReadChunk && !exhausted_) {
        long got = platform::readSome(fd_, buffer + end_, kReadChunk - end_);
        if (got > 0) {
            end_ += static_cast<std::size_t>(got);
        } else {
            // End of file and a read error look the same to the readers.
            exhausted_ = true;
            break;
        }
    }
}

bool LineReader::next(std::size_t maxLength, const char*& line, std::size_t& length) {
    if (end_ - begin_ < maxLength && !exhausted_) refill();
    std::size_t available = std::min(maxLength, end_ - begin_);
    if (available == 0) return false;
    ++lines_;
    line = data_ + begin_;
    const void* feed = std::memchr(line, '\n', available);
    if (feed != nullptr) {
        length = static_cast<std::size_t>(static_cast<const char*>(feed) - line);
        begin_ += length + 1;
    } else {
        length = available;
        begin_ += available;
    }
    return true;
}

BufferedWriter::BufferedWriter(int fd) : fd_(fd), buffer_(new char[kCapacity]) {}

void BufferedWriter::flush() {
    if (used_ != 0 && !failed_) failed_ = !writeAll(fd_, buffer_.get(), used_);
    used_ = 0;
}

void BufferedWriter::append(const char* text, std::size_t length) {
    std::memcpy(reserve(length), text, length);
    commit(length);
}

bool BufferedWriter::finish() {
    flush();
    return !failed_;
}

int openForReading(const std::string& path) {
    return platform::openFile(path, O_RDONLY);
}

void closeFile(int fd) {
    if (fd >= 0) platform::closeFile(fd);
}

std::string cannotOpenText(const std::string& path) {
    return fillIn(programText(Txt::CannotOpenFile, 0), {path});
}
std::string cannotCreateText(const std::string& path) {
    return fillIn(programText(Txt::CannotCreateFile, 0), {path});
}

std::string recordFaultText(RecordFault fault) {
    Txt text = Txt::ErrorReadingFile;
    switch (fault) {
        case RecordFault::None:
            return {};
        case RecordFault::FileEnded:
            text = Txt::FileReadOperationFailed;
            break;
        case RecordFault::IllegalLine:
            text = Txt::IllegalLineFound;
            break;
        case RecordFault::IllegalChar:
            text = Txt::IllegalCharInFile;
            break;
        case RecordFault::Checksum:
            text = Txt::ChecksumError;
            break;
        case RecordFault::DataChecksum:
            text = Txt::ChecksumErrorType0;
            break;
        case RecordFault::SegmentChecksum:
            text = Txt::ChecksumErrorType2;
            break;
        case RecordFault::LinearChecksum:
            text = Txt::ChecksumErrorType4;
            break;
        case RecordFault::SegmentLength:
            text = Txt::InvalidRecordLengthType2;
            break;
        case RecordFault::LinearLength:
            text = Txt::InvalidRecordLengthType4;
            break;
        case RecordFault::BadEndRecord:
            text = Txt::InvalidEofRecord;
            break;
        case RecordFault::BadRecordType:
            text = Txt::InvalidRecordType;
            break;
        case RecordFault::TooLarge:
            text = Txt::FileExceedsMaximumSize;
            break;
    }
    return programText(text, 0);
}

bool writeRecordFile(const std::string& path, RecordWriter write, const uint8_t* source,
                     uint32_t count) {
    FileReplacement file(path);
    return file.ready() && write(file.fd(), source, count) && file.commit();
}

}  // namespace ostrel
