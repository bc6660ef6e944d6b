#include "buffers/srecord.h"

#include <algorithm>
#include <cstring>

namespace ostrel {

namespace {

constexpr std::size_t kChunk = 16;

// The number a count record (S5: 2 bytes, S6: 3 bytes) holds, or -1 when the
// record is malformed: a wrong count, a character that is not a digit, or a
// bad checksum.
int64_t countRecordValue(const char* line, std::size_t length, std::size_t bytes) {
    uint8_t count;
    if (!hexByteAt(line, length, 2, count) || count != bytes + 1) return -1;
    unsigned sum = count;
    int64_t value = 0;
    for (std::size_t i = 0; i <= bytes; ++i) {
        uint8_t byte;
        if (!hexByteAt(line, length, 4 + 2 * i, byte)) return -1;
        sum += byte;
        if (i < bytes) value = value << 8 | byte;
    }
    return (sum & 0xFF) == 0xFF ? value : -1;
}

}  // namespace

RecordRead ReadSRecord(LineReader& lines, uint8_t* target, uint32_t limit, uint32_t prepared) {
    const auto fault = [&lines](RecordFault kind) {
        return RecordRead::stoppedAt(kind, lines.lineNumber());
    };
    const auto done = RecordRead::reaching;
    uint64_t extent = 0;
    // A file may end with a count record (S5, S6) instead of a terminator, as
    // srec_cat writes them: it is whole when the count matches the data records
    // read. Without either, the file may have been cut off at a line boundary.
    uint64_t dataRecords = 0;
    int64_t countRecord = -1;
    for (;;) {
        const char* line;
        std::size_t length;
        if (!lines.next(kSRecordLineRead, line, length)) {
            if (countRecord >= 0 && static_cast<uint64_t>(countRecord) == dataRecords) {
                return done(extent);
            }
            return fault(RecordFault::FileEnded);
        }
        if (length == 0 || line[0] != 'S') {
            return fault(RecordFault::IllegalLine);
        }
        const char kind = length >= 2 ? line[1] : '\0';
        if (kind == '7' || kind == '8' || kind == '9') {
            return done(extent);
        }
        if (kind == '5' || kind == '6') {
            // Other records of these kinds are skipped unchecked, as before; only
            // an intact one can vouch for the file.
            const int64_t value = countRecordValue(line, length, kind == '5' ? 2 : 3);
            if (value >= 0) countRecord = value;
            continue;
        }
        if (kind != '1' && kind != '2' && kind != '3') continue;
        ++dataRecords;

        const std::size_t addressBytes = static_cast<std::size_t>(kind - '0') + 1;
        uint8_t count;
        if (!hexByteAt(line, length, 2, count)) {
            return fault(RecordFault::IllegalChar);
        }
        unsigned sum = count;
        uint64_t address = 0;
        for (std::size_t i = 0; i < addressBytes; ++i) {
            uint8_t byte;
            if (!hexByteAt(line, length, 4 + 2 * i, byte)) {
                return fault(RecordFault::IllegalChar);
            }
            address = address << 8 | byte;
            sum += byte;
        }
        // The count covers the address, the data and the checksum; one too small
        // for its own address and checksum belongs to a damaged record.
        if (count < addressBytes + 1) {
            return fault(RecordFault::Checksum);
        }
        const std::size_t dataLength = count - addressBytes - 1;
        if (address + dataLength > extent) {
            if (address + dataLength > limit) return fault(RecordFault::TooLarge);
            const uint64_t from = std::max<uint64_t>(extent, prepared);
            if (address + dataLength > from)
                std::memset(target + from, 0xFF,
                            static_cast<std::size_t>(address + dataLength - from));
            extent = address + dataLength;
        }
        const std::size_t dataAt = 4 + 2 * addressBytes;
        uint8_t checksum;
        if (!storeHexBytes(line, length, dataAt, dataLength, target + address, sum) ||
            !hexByteAt(line, length, dataAt + 2 * dataLength, checksum)) {
            return fault(RecordFault::IllegalChar);
        }
        sum += checksum;
        if ((sum & 0xFF) != 0xFF) {
            return fault(RecordFault::Checksum);
        }
    }
}

bool WriteSRecord(int fd, const uint8_t* source, uint32_t count) {
    const int type = count <= 0xFFFF ? 1 : count <= 0xFFFFFF ? 2 : 3;
    const std::size_t addressBytes = static_cast<std::size_t>(type) + 1;
    BufferedWriter out(fd);
    out.append("S00600004844521B\r\n", 18);
    uint64_t address = 0;
    uint64_t remaining = count;
    while (remaining > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(kChunk, remaining));
        const uint8_t* chunk = source + address;
        if (!allErased(chunk, n)) {
            char* const start = out.reserve(4 + 2 * (4 + kChunk + 1) + 2);
            char* p = start;
            *p++ = 'S';
            *p++ = static_cast<char>('0' + type);
            const uint8_t recordCount = static_cast<uint8_t>(addressBytes + n + 1);
            p = hexdigits::putByte(p, recordCount);
            unsigned sum = recordCount;
            for (std::size_t i = addressBytes; i-- > 0;) {
                const uint8_t byte = static_cast<uint8_t>(address >> (8 * i));
                p = hexdigits::putByte(p, byte);
                sum += byte;
            }
            for (std::size_t i = 0; i < n; ++i) {
                p = hexdigits::putByte(p, chunk[i]);
                sum += chunk[i];
            }
            p = hexdigits::putByte(p, static_cast<uint8_t>(~sum));
            *p++ = '\r';
            *p++ = '\n';
            out.commit(static_cast<std::size_t>(p - start));
        }
        address += kChunk;
        remaining -= n;
    }
    if (type == 1)
        out.append("S9030000FC\r\n", 12);
    else if (type == 2)
        out.append("S804000000FB\r\n", 14);
    else
        out.append("S70500000000FA\r\n", 16);
    return out.finish();
}

bool WriteSRecord(const std::string& path, const uint8_t* source, uint32_t count) {
    return writeRecordFile(path, WriteSRecord, source, count);
}

}  // namespace ostrel
