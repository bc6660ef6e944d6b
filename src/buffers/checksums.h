#pragma once
// The figures people compare an image by: CRC-32 (zlib's polynomial), SHA-256
// and the byte sum that programmers print on their labels, as a 32-bit number
// and its low 16 bits. The CRC and the hash come from zlib and libcrypto.

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace ostrel {

struct Checksums {
    std::size_t length = 0;
    uint32_t crc32 = 0;
    std::array<uint8_t, 32> sha256{};
    uint32_t sum32 = 0;  // every byte added, modulo 2^32
    uint16_t sum16() const { return static_cast<uint16_t>(sum32 & 0xFFFF); }
    // "cbf43926", 64 lower-case hex digits, "000001DD", "01DD".
    std::string crc32Text() const;
    std::string sha256Text() const;
    std::string sum32Text() const;
    std::string sum16Text() const;
};

Checksums checksumsOf(const uint8_t* data, std::size_t length);
// One figure alone.
uint32_t crc32Of(const uint8_t* data, std::size_t length);
// A CRC-32 as every output of the program writes it: eight lower-case
// hexadecimal digits, as zlib's users and sha256sum write their figures.
std::string crc32Text(uint32_t crc);
std::array<uint8_t, 32> sha256Of(const uint8_t* data, std::size_t length);

// Bytes that lie in pieces, one after the other.
struct BytePiece {
    const uint8_t* data;
    std::size_t length;
};
Checksums checksumsOf(std::initializer_list<BytePiece> pieces);

// The two ranges of the FLASH buffer the checksum dialog and ostrel-cli
// checksum show: what Write sends (the data length) and what Read gives (the
// chip's size), both from address 0 and cut to the buffer.
struct BufferChecksums {
    Checksums data;
    Checksums chip;
};
BufferChecksums flashChecksums(const uint8_t* flash, int64_t dataLength, uint32_t flashSize);

class DataBuffers;
// The same as Write would see them: with the FLASH view's edits taken over
// when it has any (the data length then the view's size, cut to the chip),
// and the buffer left as it is.
BufferChecksums flashChecksumsAsWritten(DataBuffers& buffers, uint32_t flashSize);

}  // namespace ostrel
