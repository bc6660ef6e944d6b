#pragma once
// How a round-trip input becomes a buffer image, shared by the round-trip fuzz
// program and the test that hands a sample of its corpus to objcopy. Byte 0
// picks how far the data lies from address 0, bytes 1 and 2 give the distance
// in units of that scale, the rest is the data; everything before it is 0xFF,
// as an erased chip is. Data past the first 64 KiB makes the Intel HEX writer
// use an extended linear address record and the S-record writer 3-byte
// addresses. The writers go through every byte of the image, so images stay
// below 128 KiB; the ordinary codec tests write the far addresses.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace ostrel::fuzzing {

// The image may not exceed the FLASH buffer.
inline constexpr std::size_t kRoundTripLimit = 64u << 20;

struct RoundTripImage {
    std::size_t gap = 0;  // 0xFF bytes before the data
    const uint8_t* data = nullptr;
    std::size_t length = 0;  // data bytes
    std::size_t count() const { return gap + length; }
};

inline RoundTripImage roundTripImage(const uint8_t* input, std::size_t size) {
    RoundTripImage image;
    if (size < 3) return image;
    const std::size_t units = static_cast<std::size_t>(input[1] | input[2] << 8);
    if (input[0] & 1)  // across the first 64 KiB boundary, into the next block
        image.gap = 0xF000 + units;
    else  // within the first 4 KiB
        image.gap = units & 0xFFF;
    image.data = input + 3;
    image.length = std::min(size - 3, kRoundTripLimit - std::min(image.gap, kRoundTripLimit));
    image.gap = std::min(image.gap, kRoundTripLimit - image.length);
    return image;
}

// The whole image, for callers that need it in one piece.
inline std::vector<uint8_t> imageBytes(const RoundTripImage& image) {
    std::vector<uint8_t> bytes(image.count(), 0xFF);
    std::copy(image.data, image.data + image.length, bytes.begin() + static_cast<long>(image.gap));
    return bytes;
}

}  // namespace ostrel::fuzzing
