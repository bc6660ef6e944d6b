#include "buffers/checksums.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "base/platform.h"
#include "base/text_format.h"
#include "buffers/data_buffers.h"

namespace ostrel {
namespace {

// Eight bytes at a time in four 16-bit lanes (a lane takes 128 words of two
// bytes before it could overflow); the label figure is the low 32 bits.
uint64_t byteSum(const uint8_t* data, std::size_t length) {
    constexpr uint64_t kLowBytes = 0x00FF00FF00FF00FFull;
    uint64_t sum = 0;
    std::size_t i = 0;
    while (length - i >= 8) {
        const std::size_t words = std::min<std::size_t>((length - i) / 8, 128);
        uint64_t lanes = 0;
        for (std::size_t w = 0; w < words; ++w, i += 8) {
            uint64_t v;
            std::memcpy(&v, data + i, 8);
            lanes += (v & kLowBytes) + ((v >> 8) & kLowBytes);
        }
        sum +=
            (lanes & 0xFFFF) + ((lanes >> 16) & 0xFFFF) + ((lanes >> 32) & 0xFFFF) + (lanes >> 48);
    }
    for (; i < length; ++i) sum += data[i];
    return sum;
}

}  // namespace

std::string crc32Text(uint32_t crc) {
    return asciiLower(hexDigits(crc, 8));
}

std::string Checksums::crc32Text() const {
    return ostrel::crc32Text(crc32);
}

std::string Checksums::sha256Text() const {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(64);
    for (const uint8_t b : sha256) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

std::string Checksums::sum32Text() const {
    return hexDigits(sum32, 8);
}

std::string Checksums::sum16Text() const {
    return hexDigits(sum16(), 4);
}

Checksums checksumsOf(const uint8_t* data, std::size_t length) {
    return checksumsOf({{data, length}});
}

uint32_t crc32Of(const uint8_t* data, std::size_t length) {
    static const uint8_t kNothing = 0;
    return static_cast<uint32_t>(
        crc32_z(crc32_z(0, nullptr, 0), length ? data : &kNothing, length));
}

std::array<uint8_t, 32> sha256Of(const uint8_t* data, std::size_t length) {
    static const uint8_t kNothing = 0;
    std::array<uint8_t, 32> digest{};
    platform::Sha256 hash;
    if (!hash.update(length ? data : &kNothing, length) || !hash.finish(digest))
        throw std::runtime_error("SHA-256 is not available from the system");
    return digest;
}

Checksums checksumsOf(std::initializer_list<BytePiece> pieces) {
    Checksums out;
    uLong crc = crc32_z(0, nullptr, 0);
    uint64_t sum = 0;
    platform::Sha256 hash;
    bool hashed = true;
    for (const BytePiece& piece : pieces) {
        if (piece.length == 0) continue;
        out.length += piece.length;
        crc = crc32_z(crc, piece.data, piece.length);
        hashed = hashed && hash.update(piece.data, piece.length);
        sum += byteSum(piece.data, piece.length);
    }
    hashed = hashed && hash.finish(out.sha256);
    // Only a broken system hash fails here; a hash of zeros must not pass for a figure.
    if (!hashed) throw std::runtime_error("SHA-256 is not available from the system");
    out.crc32 = static_cast<uint32_t>(crc);
    out.sum32 = static_cast<uint32_t>(sum);
    return out;
}

BufferChecksums flashChecksums(const uint8_t* flash, int64_t dataLength, uint32_t flashSize) {
    const auto cut = [](int64_t n) {
        return static_cast<std::size_t>(std::clamp<int64_t>(n, 0, kFlashBufferSize));
    };
    return {checksumsOf(flash, cut(dataLength)), checksumsOf(flash, cut(flashSize))};
}

BufferChecksums flashChecksumsAsWritten(DataBuffers& buffers, uint32_t flashSize) {
    const HexDocument& view = buffers.flashView();
    if (!view.Modified())
        return flashChecksums(buffers.flash(), buffers.flashDataLength, flashSize);
    const std::size_t chip = DataBuffers::flashCountFor(flashSize);
    const std::size_t data = std::min<std::size_t>(flashSize, view.DataSize());
    const std::size_t fromView = std::min(data, chip);
    return {checksumsOf({{view.data(), data}}),
            checksumsOf({{view.data(), fromView}, {buffers.flash() + fromView, chip - fromView}})};
}

}  // namespace ostrel
