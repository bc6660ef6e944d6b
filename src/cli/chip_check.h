#pragma once
// Whether the chip in the socket is the one the user chose, from the
// programmer's answer to the ID read: its detection kind (1 a chip with an ID,
// 2 and 3 a chip of the type at Type list position 1 or 2 without an ID, any
// other value an empty socket) and, for kind 1, the ID. A chip command on the
// wrong chip would read the wrong size or write the wrong way; on an empty
// socket it would "complete" with nothing done.

#include <cstdint>

namespace ostrel::cli {

enum class ChipFit {
    Fits,
    NoChip,     // the programmer found no chip
    WrongType,  // the kind does not fit the chosen chip's type
    WrongId,    // the chosen chip has an ID and the chip in the socket another one
};

// `chosenTypeIndex` is the Type list position of the chosen chip, `chosenId`
// its catalogue ID (0 for chips that have none).
ChipFit checkChip(int kind, uint32_t id, int32_t chosenTypeIndex, uint32_t chosenId);

}  // namespace ostrel::cli
