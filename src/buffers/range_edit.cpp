#include "buffers/range_edit.h"

#include "base/text_format.h"
#include "base/texts.h"

namespace ostrel {

int hexDigitValue(char32_t c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A') + 10;
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a') + 10;
    return -1;
}

bool isHexEditKey(char32_t key) {
    return key == 8 || hexDigitValue(key) >= 0;
}

std::optional<int32_t> hexTextToInt(const std::string& text) {
    if (text.empty()) return std::nullopt;
    uint32_t value = 0;
    int significant = 0;
    for (char c : text) {
        const int digit = hexDigitValue(static_cast<unsigned char>(c));
        if (digit < 0) return std::nullopt;
        if (significant == 0 && digit == 0) continue;
        if (++significant > 8) return std::nullopt;
        value = (value << 4) | static_cast<uint32_t>(digit);
    }
    // Eight digits fill all 32 bits; the upper half of the range reads as negative.
    return static_cast<int32_t>(value);
}

std::string conversionErrorText(const std::string& text) {
    return fillIn(programText(Txt::NotValidInteger, 0), {"0x" + text});
}

std::string hexText(uint32_t value) {
    return hexDigits(value, 1);
}

}  // namespace ostrel
