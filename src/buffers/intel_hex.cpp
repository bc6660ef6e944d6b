#include "buffers/intel_hex.h"

#include <algorithm>
#include <cstring>

namespace ostrel {

namespace {

constexpr std::size_t kChunk = 32;

// Sets the target bytes a growing extent newly covers to 0xFF where they were
// not prepared.
void eraseUnprepared(uint8_t* target, uint32_t prepared, uint64_t from, uint64_t to) {
    from = std::max<uint64_t>(from, prepared);
    if (to > from) std::memset(target + from, 0xFF, static_cast<std::size_t>(to - from));
}

}  // namespace

RecordRead ReadIntelHex(LineReader& lines, uint8_t* target, uint32_t limit, uint32_t prepared) {
    const auto fault = [&lines](RecordFault kind) {
        return RecordRead::stoppedAt(kind, lines.lineNumber());
    };
    const auto done = RecordRead::reaching;
    // Wide enough for the largest linear base + segment base + address + count.
    uint64_t segmentBase = 0;
    uint64_t linearBase = 0;
    uint64_t extent = 0;
    for (;;) {
        const char* line;
        std::size_t length;
        if (!lines.next(kIntelHexLineRead, line, length)) {
            return fault(RecordFault::FileEnded);
        }
        if (length == 0 || line[0] != ':') {
            return fault(RecordFault::IllegalLine);
        }
        uint8_t count, addressHigh, addressLow, type;
        if (!hexByteAt(line, length, 1, count) || !hexByteAt(line, length, 3, addressHigh) ||
            !hexByteAt(line, length, 5, addressLow) || !hexByteAt(line, length, 7, type)) {
            return fault(RecordFault::IllegalChar);
        }
        unsigned sum = count + addressHigh + addressLow + type;
        const uint32_t address = static_cast<uint32_t>(addressHigh) << 8 | addressLow;
        const std::size_t checksumAt = 9 + 2 * std::size_t{count};
        uint8_t checksum = 0;
        switch (type) {
            case 0: {
                const uint64_t offset = linearBase + segmentBase + address;
                // The extent is checked before anything is stored, so that a
                // record reaching past the limit writes nothing.
                if (offset + count > extent) {
                    if (offset + count > limit) return fault(RecordFault::TooLarge);
                    eraseUnprepared(target, prepared, extent, offset + count);
                    extent = offset + count;
                }
                if (!storeHexBytes(line, length, 9, count, target + offset, sum) ||
                    !hexByteAt(line, length, checksumAt, checksum)) {
                    return fault(RecordFault::IllegalChar);
                }
                sum += checksum;
                if ((sum & 0xFF) != 0) {
                    return fault(RecordFault::DataChecksum);
                }
                break;
            }
            case 1:
                if (!hexByteAt(line, length, checksumAt, checksum)) {
                    return fault(RecordFault::IllegalChar);
                }
                if (count == 0 && address == 0 && checksum == 0xFF) {
                    return done(extent);
                }
                return fault(RecordFault::BadEndRecord);
            case 2:
            case 4: {
                const bool linear = type == 4;
                if (count != 2) {
                    return fault(linear ? RecordFault::LinearLength : RecordFault::SegmentLength);
                }
                uint8_t valueHigh, valueLow;
                if (!hexByteAt(line, length, 9, valueHigh) ||
                    !hexByteAt(line, length, 11, valueLow) ||
                    !hexByteAt(line, length, 13, checksum)) {
                    return fault(RecordFault::IllegalChar);
                }
                sum += valueHigh + valueLow + checksum;
                if ((sum & 0xFF) != 0) {
                    return fault(linear ? RecordFault::LinearChecksum
                                        : RecordFault::SegmentChecksum);
                }
                const uint64_t value = static_cast<uint64_t>(valueHigh) << 8 | valueLow;
                if (linear)
                    linearBase = value << 16;
                else
                    segmentBase = value << 4;
                break;
            }
            case 3:
            case 5:
                break;
            default:
                return fault(RecordFault::BadRecordType);
        }
    }
}

bool WriteIntelHex(int fd, const uint8_t* source, uint32_t count) {
    BufferedWriter out(fd);
    uint64_t offset = 0;
    uint64_t base = 0;
    uint64_t remaining = count;
    while (remaining > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(kChunk, remaining));
        if (offset - base > 0xFFFF) {
            base = offset & ~uint64_t{0xFFFF};
            const uint8_t high = static_cast<uint8_t>(base >> 24);
            const uint8_t low = static_cast<uint8_t>(base >> 16);
            char* p = out.reserve(17);
            std::memcpy(p, ":02000004", 9);
            p = hexdigits::putByte(p + 9, high);
            p = hexdigits::putByte(p, low);
            p = hexdigits::putByte(p, static_cast<uint8_t>(-(2 + 4 + high + low)));
            p[0] = '\r';
            p[1] = '\n';
            out.commit(17);
        }
        const uint8_t* chunk = source + offset;
        if (!allErased(chunk, n)) {
            const uint32_t address = static_cast<uint32_t>(offset - base);
            char* const start = out.reserve(13 + 2 * kChunk);
            char* p = start;
            *p++ = ':';
            p = hexdigits::putByte(p, static_cast<uint8_t>(n));
            p = hexdigits::putByte(p, static_cast<uint8_t>(address >> 8));
            p = hexdigits::putByte(p, static_cast<uint8_t>(address));
            *p++ = '0';
            *p++ = '0';
            unsigned sum = static_cast<unsigned>(n) + (address >> 8) + (address & 0xFF);
            for (std::size_t i = 0; i < n; ++i) {
                p = hexdigits::putByte(p, chunk[i]);
                sum += chunk[i];
            }
            p = hexdigits::putByte(p, static_cast<uint8_t>(0u - sum));
            *p++ = '\r';
            *p++ = '\n';
            out.commit(static_cast<std::size_t>(p - start));
        }
        offset += kChunk;
        remaining -= n;
    }
    out.append(":00000001FF\r\n", 13);
    return out.finish();
}

bool WriteIntelHex(const std::string& path, const uint8_t* source, uint32_t count) {
    return writeRecordFile(path, WriteIntelHex, source, count);
}

}  // namespace ostrel
