#pragma once
// What the ID read hands to identification and to batch mode: a result and
// the first bytes of the programmer's reply, a detection kind and a three-byte ID.

#include <cstdint>
#include <string>

#include "base/text_format.h"

namespace ostrel {

// The programmer's answer to the ID read, decoded once where the reply
// packet is parsed: whether it answered at all, and if so the detection kind
// (1 a chip that sent an ID, 2 and 3 the two families without one, anything
// else an empty socket) and the three ID bytes.
struct IdReply {
    enum class Outcome {
        NoProgrammer,  // no programmer could be opened
        NoAnswer,      // opened, but its reply did not arrive whole
        Answered,
    };
    Outcome outcome = Outcome::NoProgrammer;
    uint8_t kind = 0;
    uint32_t id = 0;  // bytes 1 to 3 of the reply, byte 1 highest; meaningful with kind 1

    bool answered() const { return outcome == Outcome::Answered; }
    bool hasId() const { return answered() && kind == 1; }
    // Kind 1 with an ID of 00 00 00 or FF FF FF: what the lines read when no
    // chip drives them (no power, no contact). It is no ID.
    bool silentId() const {
        return hasId() && ((id & 0xFFFFFF) == 0 || (id & 0xFFFFFF) == 0xFFFFFF);
    }
    // The Type list position kinds 2 and 3 name (1 and 2), or -1.
    int typePosition() const { return answered() && (kind == 2 || kind == 3) ? kind - 1 : -1; }
    // Batch mode counts kinds 1 to 127 as a chip, takes 0 for an empty socket
    // and lets 128 to 255 neither count nor reset.
    bool countsAsChip() const { return answered() && kind >= 1 && kind <= 127; }
    bool emptySocket() const { return answered() && kind == 0; }
};

// The reply's kind byte and three ID bytes.
inline constexpr int kChipIdReplyBytes = 4;

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
