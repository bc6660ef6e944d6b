#include "usb/string_descriptor.h"

namespace ostrel {

namespace {
constexpr uint8_t kStringDescriptorType = 3;
}  // namespace

int decodeStringDescriptor(const uint8_t* descriptor, std::size_t size, int received, char* text,
                           int textLength) {
    if (received > 0 && static_cast<std::size_t>(received) > size)
        received = static_cast<int>(size);
    // Fewer than two bytes carry no type: that is no string descriptor either.
    if (received < 2 || descriptor[1] != kStringDescriptorType) return 0;
    if (text == nullptr || textLength <= 0) return 0;
    if (descriptor[0] < received) received = descriptor[0];
    const int units = received / 2;  // the first unit is the descriptor header
    // The zero must fit into textLength bytes as well, so one character fewer.
    int count = 0;
    for (int i = 1; i < units && count < textLength - 1; ++i) {
        const uint8_t low = descriptor[2 * i];
        const uint8_t high = descriptor[2 * i + 1];
        text[count++] = high != 0 ? '?' : static_cast<char>(low);
    }
    text[count] = '\0';
    return count;
}

}  // namespace ostrel
