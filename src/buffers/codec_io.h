#pragma once
// The plumbing under the Intel HEX and S-record codecs: a line source that
// reads the file in large chunks but cuts lines exactly as a reader taking a
// fixed number of bytes per line would, a buffered sink that writes in large
// chunks, and the hexadecimal digit tables.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/safe_file.h"

namespace ostrel {

// Lines as the record readers see them. Every line is taken by looking at most
// `maxLength` bytes ahead of the current position: the line ends at the first
// line feed among them and the next line starts right after it; with no line
// feed, all `maxLength` bytes form the line. The line feed is not part of the
// line; a carriage return before it is. Whole chunks of the file are read at
// once, so the line cuts do not depend on how the file arrives.
class LineReader {
  public:
    // Reads from an open descriptor, which the reader does not close; the
    // `prefix` bytes, already taken from it, come first.
    explicit LineReader(int fd, const std::string& prefix = {});
    // Reads from memory (tests, benchmarks).
    LineReader(const char* text, std::size_t size);
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // False when no byte is left (end of file or a read error).
    bool next(std::size_t maxLength, const char*& line, std::size_t& length);
    // How many lines next() has handed out: the number of the last one, from 1.
    std::size_t lineNumber() const { return lines_; }

  private:
    void refill();

    int fd_ = -1;
    std::unique_ptr<char[]> storage_;
    const char* data_ = nullptr;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool exhausted_ = false;
    std::size_t lines_ = 0;
};

// Collects output text and writes it in large chunks. A failed write is
// remembered; later writes are dropped and finish() reports the failure.
class BufferedWriter {
  public:
    explicit BufferedWriter(int fd);
    BufferedWriter(const BufferedWriter&) = delete;
    BufferedWriter& operator=(const BufferedWriter&) = delete;

    // Room for at least `bytes` more characters; returns where to put them.
    char* reserve(std::size_t bytes) {
        if (capacity_ - used_ < bytes) flush();
        return buffer_.get() + used_;
    }
    void commit(std::size_t bytes) { used_ += bytes; }
    void append(const char* text, std::size_t length);
    // Writes what is left; true when every write succeeded.
    bool finish();

    static constexpr std::size_t kCapacity = 1u << 20;

  private:
    void flush();

    int fd_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = kCapacity;
    std::size_t used_ = 0;
    bool failed_ = false;
};

namespace hexdigits {

struct Tables {
    uint8_t value[256];  // digit value of an ASCII hexadecimal digit (either case), else 0xFF
    char pair[256][2];   // the two upper-case digits of each byte value, high digit first
};

constexpr Tables makeTables() {
    Tables t{};
    const char digits[] = "0123456789ABCDEF";
    for (int c = 0; c < 256; ++c) {
        t.value[c] = 0xFF;
        t.pair[c][0] = digits[c >> 4];
        t.pair[c][1] = digits[c & 15];
    }
    for (int d = 0; d < 10; ++d) t.value['0' + d] = static_cast<uint8_t>(d);
    for (int d = 0; d < 6; ++d) {
        t.value['A' + d] = static_cast<uint8_t>(10 + d);
        t.value['a' + d] = static_cast<uint8_t>(10 + d);
    }
    return t;
}

inline constexpr Tables kTables = makeTables();

inline char* putByte(char* out, uint8_t value) {
    out[0] = kTables.pair[value][0];
    out[1] = kTables.pair[value][1];
    return out + 2;
}

}  // namespace hexdigits

// The byte written as two hexadecimal digits at character `position` of a line;
// false when a digit lies past the end of the line or is not hexadecimal.
inline bool hexByteAt(const char* line, std::size_t length, std::size_t position, uint8_t& value) {
    if (position + 2 > length) return false;
    uint8_t high = hexdigits::kTables.value[static_cast<uint8_t>(line[position])];
    uint8_t low = hexdigits::kTables.value[static_cast<uint8_t>(line[position + 1])];
    if ((high | low) & 0xF0) return false;
    value = static_cast<uint8_t>(high << 4 | low);
    return true;
}

// Converts `count` bytes written as hexadecimal digits from character `position`
// on, storing each at `out` right after converting it and adding it to `sum`.
// False at the first digit that is missing or not hexadecimal; the bytes before
// it stay stored.
inline bool storeHexBytes(const char* line, std::size_t length, std::size_t position,
                          std::size_t count, uint8_t* out, unsigned& sum) {
    const auto& value = hexdigits::kTables.value;
    const std::size_t complete = length > position ? std::min(count, (length - position) / 2) : 0;
    const char* p = line + position;
    for (std::size_t i = 0; i < complete; ++i, p += 2) {
        uint8_t high = value[static_cast<uint8_t>(p[0])];
        uint8_t low = value[static_cast<uint8_t>(p[1])];
        if ((high | low) & 0xF0) return false;
        uint8_t byte = static_cast<uint8_t>(high << 4 | low);
        out[i] = byte;
        sum += byte;
    }
    return complete == count;
}

// True when every byte is 0xFF (an erased chip): such records are not written.
inline bool allErased(const uint8_t* bytes, std::size_t count) {
    uint8_t all = 0xFF;
    for (std::size_t i = 0; i < count; ++i) all &= bytes[i];
    return all == 0xFF;
}

// open(2) that retries on EINTR; -1 on failure.
int openForReading(const std::string& path);
void closeFile(int fd);

// The texts "Cannot open file <path>" and "Cannot create file <path>".
std::string cannotOpenText(const std::string& path);
std::string cannotCreateText(const std::string& path);

// What stopped a record reader before its end record.
enum class RecordFault {
    None,
    FileEnded,        // the lines ran out (end of file or a read error)
    IllegalLine,      // a line that does not start with the record mark
    IllegalChar,      // a field that is not hexadecimal or reaches past its line
    Checksum,         // S-record: a wrong checksum, or a count too small for the record
    DataChecksum,     // Intel HEX type 0
    SegmentChecksum,  // Intel HEX type 2
    LinearChecksum,   // Intel HEX type 4
    SegmentLength,    // Intel HEX type 2 with a count other than 2
    LinearLength,     // Intel HEX type 4 with a count other than 2
    BadEndRecord,     // Intel HEX type 1 that is not ":00000001FF"
    BadRecordType,    // Intel HEX type 6 and above
    TooLarge,         // data past the limit
};

// A reader's result: the highest address written plus 1 (0 after a fault and
// for a file without data records), and the fault with the number of the line
// it was found on (from 1; for FileEnded the last line read).
struct RecordRead {
    int32_t extent = 0;
    RecordFault fault = RecordFault::None;
    std::size_t line = 0;
    bool failed() const { return fault != RecordFault::None; }

    // A read that stopped at `line` with `kind`.
    static RecordRead stoppedAt(RecordFault kind, std::size_t line) {
        RecordRead read;
        read.fault = kind;
        read.line = line;
        return read;
    }
    // A whole read whose data reached `extent`.
    static RecordRead reaching(uint64_t extent) {
        RecordRead read;
        read.extent = static_cast<int32_t>(extent);
        return read;
    }
};

// The English text a fault has always been told with ("Checksum Error type 0").
std::string recordFaultText(RecordFault fault);

// A record reader. Target bytes at and past `prepared` hold nothing yet: the
// reader sets every one of them below the extent it reaches to 0xFF before it
// stores a record there, so that the gaps between records read as erased.
inline constexpr uint32_t kAllPrepared = UINT32_MAX;  // nothing to erase
using RecordReader = RecordRead (*)(LineReader& lines, uint8_t* target, uint32_t limit,
                                    uint32_t prepared);
using RecordWriter = bool (*)(int fd, const uint8_t* source, uint32_t count);
// Replaces the file (a FileReplacement) with what `write` writes; false when
// the file cannot be created, written or committed.
bool writeRecordFile(const std::string& path, RecordWriter write, const uint8_t* source,
                     uint32_t count);

}  // namespace ostrel
