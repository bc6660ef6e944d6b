#pragma once
// What the ID read hands to identification and to batch mode: a result and
// the first bytes of the programmer's reply, a detection kind and a three-byte ID.

#include <cstdint>
#include <string>

#include "base/text_format.h"

namespace ostrel {

// The ID read's results: the programmer answered (whatever it found), no
// programmer is attached, or it was opened but its reply did not arrive whole:
// neither an ID nor an empty socket.
inline constexpr int kChipIdAnswered = 7;
inline constexpr int kChipIdNoProgrammer = 0;
inline constexpr int kChipIdNoAnswer = 2;

// The reply's kind byte and three ID bytes.
inline constexpr int kChipIdReplyBytes = 4;

// The detected ID of a kind-1 reply: byte 1 in bits 16-23, byte 3 in bits 0-7.
inline uint32_t detectedId(const uint8_t reply[kChipIdReplyBytes]) {
    return (uint32_t{reply[1]} << 16) | (uint32_t{reply[2]} << 8) | uint32_t{reply[3]};
}

// A three-byte ID as the catalogue listing and the production log write it: "EF4017".
inline std::string chipIdText(uint32_t id) {
    return hexDigits(id & 0xFFFFFF, 6);
}

// A three-byte ID as identification shows it: "EF 40 17".
inline std::string spacedChipId(uint32_t id) {
    return hexDigits((id >> 16) & 0xFF, 2) + " " + hexDigits((id >> 8) & 0xFF, 2) + " " +
           hexDigits(id & 0xFF, 2);
}

}  // namespace ostrel
