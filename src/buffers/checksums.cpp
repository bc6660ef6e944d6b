#include "buffers/checksums.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "buffers/data_buffers.h"

namespace ostrel {
namespace {

std::string hexWord(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, static_cast<unsigned>(value));
    return text;
}

uint32_t byteSum(const uint8_t* data, std::size_t length) {
    // Summed in 64 bits so that the loop vectorises; the label figure is the
    // low 32 bits of it.
    uint64_t sum = 0;
    for (std::size_t i = 0; i < length; ++i) sum += data[i];
    return static_cast<uint32_t>(sum);
}

}  // namespace

std::string Checksums::crc32Text() const {
    return hexWord(crc32, 8);
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
    return hexWord(sum32, 8);
}

std::string Checksums::sum16Text() const {
    return hexWord(sum16(), 4);
}

Checksums checksumsOf(const uint8_t* data, std::size_t length) {
    Checksums out;
    out.length = length;
    static const uint8_t kNothing = 0;
    if (length == 0) data = &kNothing;
    out.crc32 = static_cast<uint32_t>(crc32_z(crc32_z(0, nullptr, 0), data, length));
    unsigned int digestLength = 0;
    // Only a broken libcrypto fails here; a hash of zeros must not pass for a figure.
    if (EVP_Digest(data, length, out.sha256.data(), &digestLength, EVP_sha256(), nullptr) != 1 ||
        digestLength != out.sha256.size())
        throw std::runtime_error("SHA-256 is not available from libcrypto");
    out.sum32 = byteSum(data, length);
    return out;
}

BufferChecksums flashChecksums(const uint8_t* flash, int64_t dataLength, uint32_t flashSize) {
    const auto cut = [](int64_t n) {
        return static_cast<std::size_t>(std::clamp<int64_t>(n, 0, kFlashBufferSize));
    };
    return {checksumsOf(flash, cut(dataLength)), checksumsOf(flash, cut(flashSize))};
}

}  // namespace ostrel
