#include "line/line_tokens.h"

#include <openssl/rand.h>

#include <array>
#include <cstdint>

#include "buffers/checksums.h"

namespace ostrel::line {
namespace {

std::string hexText(const uint8_t* data, std::size_t length) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 15];
    }
    return text;
}

}  // namespace

std::string newToken() {
    std::array<uint8_t, 32> bytes{};
    if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) return {};
    return hexText(bytes.data(), bytes.size());
}

std::string tokenHash(const std::string& token) {
    const auto sum = sha256Of(reinterpret_cast<const uint8_t*>(token.data()), token.size());
    return hexText(sum.data(), sum.size());
}

bool tokenShaped(const std::string& text) {
    return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

}  // namespace ostrel::line
