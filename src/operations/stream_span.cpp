#include "operations/stream_span.h"

#include <algorithm>

namespace ostrel {
namespace {

int64_t roundDownToMultiple(int64_t value, int64_t step) {
    int64_t q = value / step;
    if (value % step != 0 && value < 0) --q;
    return q * step;
}

int64_t clampToBuffer(int64_t value) {
    return std::clamp<int64_t>(value, 0, static_cast<int64_t>(kFlashBufferSize));
}

}  // namespace

int64_t roundUpToMultiple(int64_t value, int64_t step) {
    int64_t q = value / step;
    if (value % step != 0 && value > 0) ++q;
    return q * step;
}

AddressSpan pageAlignedRange(int32_t rangeStart, int32_t rangeEnd, uint16_t flashPage) {
    const int64_t page = effectivePage(flashPage);
    return {clampToBuffer(roundDownToMultiple(rangeStart, page)),
            clampToBuffer(roundUpToMultiple(int64_t{rangeEnd} + 1, page))};
}

AddressSpan dataLengthSpan(uint32_t flashSize, int32_t dataLength) {
    const uint32_t length = static_cast<uint32_t>(dataLength);
    return {0, clampToBuffer(length <= flashSize ? length : flashSize)};
}

int32_t trimmedLength(const uint8_t* data, uint32_t size) {
    uint32_t n = std::min(size, kFlashBufferSize);
    while (n > 0 && data[n - 1] == 0xFF) --n;
    if (n % 2 != 0) ++n;
    return static_cast<int32_t>(n);
}

}  // namespace ostrel
