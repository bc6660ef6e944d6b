// The host's reading of what the programmer sends back: the chip-ID reply,
// the hardware-information reply and string descriptors. The input's first
// bytes give the transfer's byte count and the text buffer's length, the rest
// is what arrived (the packet, and the descriptor in a zeroed 256-byte buffer
// as the transport reads it).

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "fuzz/fuzz_support.h"
#include "operations/packets.h"
#include "usb/string_descriptor.h"

namespace ostrel::fuzzing {
namespace {

constexpr std::size_t kDescriptorBuffer = 256;
constexpr char kUntouched = '\xA5';

// A text of the reply: no zero byte, at most `width` bytes, and the bytes the
// reply holds from `first` on.
void requireField(const std::string& text, const Packet& reply, std::size_t first,
                  std::size_t width) {
    require(text.size() <= width, "a hardware text runs into the next field");
    require(text.find('\0') == std::string::npos, "a hardware text holds a zero");
    require(std::memcmp(text.data(), reply.data() + first, text.size()) == 0,
            "a hardware text is not the reply's bytes");
    require(first + text.size() == reply.size() || text.size() == width ||
                reply[first + text.size()] == 0,
            "a hardware text ends before its field's end or zero");
}

void checkPackets(const uint8_t* data, std::size_t size) {
    Packet reply{};
    std::memcpy(reply.data(), data, std::min(size, reply.size()));

    const IdReply id = parseIdReply(reply);
    require(id.kind == reply[0], "the detection kind is not the reply's first byte");
    require(id.id == (uint32_t{reply[1]} << 16 | uint32_t{reply[2]} << 8 | reply[3]),
            "the chip ID is not the reply's next three bytes, first byte highest");

    const HardwareInfo info = parseHardwareInfo(reply);
    requireField(info.hardwareVersion, reply, 42, 4);
    requireField(info.firmwareVersion, reply, 46, 5);
    requireField(info.serialNumber, reply, 51, reply.size() - 51);
}

void checkDescriptor(const uint8_t* data, std::size_t size) {
    if (size < 3) return;
    const int received = static_cast<int16_t>(data[0] | data[1] << 8);
    const int textLength = data[2] - 1;  // -1 to 254, as callers may pass
    std::array<uint8_t, kDescriptorBuffer> descriptor{};
    std::memcpy(descriptor.data(), data + 3, std::min(size - 3, descriptor.size()));

    // Exactly the caller's buffer, so that a byte past it is an ASan report.
    const std::size_t room = static_cast<std::size_t>(std::max(textLength, 0));
    std::unique_ptr<char[]> text(new char[room]);
    std::memset(text.get(), kUntouched, room);
    char* const buffer = textLength >= 0 ? text.get() : nullptr;
    const int count =
        decodeStringDescriptor(descriptor.data(), descriptor.size(), received, buffer, textLength);

    const int arrived = std::min<int>(received, kDescriptorBuffer);
    if (arrived < 2 || descriptor[1] != 3 || textLength <= 0) {
        require(count == 0, "no string descriptor, yet characters");
        for (std::size_t i = 0; i < room; ++i)
            require(text[i] == kUntouched, "the text buffer changed without a string");
        return;
    }
    const int units = std::min<int>(arrived, descriptor[0]) / 2;
    require(count == std::max(0, std::min(units - 1, textLength - 1)),
            "the character count is not the units after the header, bounded by the buffer");
    require(text[static_cast<std::size_t>(count)] == '\0', "the text is not terminated");
    for (int i = 0; i < count; ++i) {
        const uint8_t low = descriptor[2 + 2 * static_cast<std::size_t>(i)];
        const uint8_t high = descriptor[3 + 2 * static_cast<std::size_t>(i)];
        require(text[static_cast<std::size_t>(i)] == (high != 0 ? '?' : static_cast<char>(low)),
                "a character is not its unit's low byte or ?");
    }
    for (std::size_t i = static_cast<std::size_t>(count) + 1; i < room; ++i)
        require(text[i] == kUntouched, "a byte behind the text's zero changed");
}

}  // namespace
}  // namespace ostrel::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    ostrel::fuzzing::checkPackets(data, size);
    ostrel::fuzzing::checkDescriptor(data, size);
    return 0;
}
