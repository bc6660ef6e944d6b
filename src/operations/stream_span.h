#pragma once
// The arithmetic that decides which addresses a data stream covers and how
// much of a read is kept. All of it keeps streams inside the FLASH buffer,
// whatever the chip record, the data length or the address range say.

#include <cstdint>

#include "buffers/data_buffers.h"
#include "operations/packets.h"

namespace ostrel {

// A stretch of chip addresses [start, end) that a stream covers.
struct AddressSpan {
    int64_t start = 0;
    int64_t end = 0;
};

// The page size that range rounding uses: a page of 0 counts as one stream
// block (64 bytes), the unit the stream then moves, so nothing divides by 0.
inline uint32_t effectivePage(uint16_t flashPage) {
    return flashPage == 0 ? kMinimumBlockSize : flashPage;
}

// `value` rounded up to a multiple of `step` (step above 0); a value on a
// multiple stays.
int64_t roundUpToMultiple(int64_t value, int64_t step);

// The address range from `rangeStart` to its last address `rangeEnd` widened
// to whole pages: the start rounded down to a multiple of the page, and the
// end to the end of the page that holds the last address, then held inside
// the FLASH buffer (negative values become 0, values past the buffer its size).
AddressSpan pageAlignedRange(int32_t rangeStart, int32_t rangeEnd, uint16_t flashPage);

// Without a range a stream covers the data length from 0, but never more than
// the chip or the buffer. A negative data length compares as a huge unsigned
// count and so gives the chip size.
AddressSpan dataLengthSpan(uint32_t flashSize, int32_t dataLength);

// Chip read trim: the index of the last byte that is not 0xFF plus one,
// rounded up to an even count; 0 when all `size` bytes are 0xFF.
int32_t trimmedLength(const uint8_t* data, uint32_t size);

}  // namespace ostrel
