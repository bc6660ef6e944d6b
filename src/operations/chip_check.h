#pragma once
// Whether the chip in the socket is the one the user chose, from the
// programmer's answer to the ID read: its detection kind (1 a chip with an ID,
// 2 and 3 a chip of the type at Type list position 1 or 2 without an ID, any
// other value an empty socket) and, for kind 1, the ID. A chip command on the
// wrong chip would read the wrong size or write the wrong way; on an empty
// socket it would "complete" with nothing done. The window asks whether to go
// on, the command line refuses; both decide here.

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/id_read.h"

namespace ostrel {

class ProgrammerOps;
struct MainState;

enum class ChipFit {
    Fits,
    NoChip,        // the programmer found no chip
    WrongType,     // the kind does not fit the chosen chip's type
    WrongId,       // the chosen chip has an ID and the chip in the socket another one
    NoChipAnswer,  // the ID read gave 00 00 00 or FF FF FF: no chip answered
};

// `reply` is an answered ID read; `chosenTypeIndex` is the Type list position
// of the chosen chip, `chosenId` its catalogue ID (0 for chips that have none).
ChipFit checkChip(const IdReply& reply, int32_t chosenTypeIndex, uint32_t chosenId);

// The ID read before a chip command, decided and put into words (UTF-8).
struct SocketCheck {
    enum class Read {
        Answered,
        NoProgrammer,  // none attached: the command's own job says so
        NoAnswer,      // the programmer did not answer the ID read
    };
    Read read = Read::Answered;
    ChipFit fit = ChipFit::Fits;
    // What the socket holds ("W25Q128JV (ID EF 40 18)", "a chip that is not in
    // the catalogue (ID ...)", "a chip of the type ..."), empty for no chip;
    // for NoChipAnswer the ID read ("FF FF FF").
    std::string found;
    // The chosen chip, with its ID where it has one.
    std::string chosen;

    bool fits() const { return read != Read::Answered || fit == ChipFit::Fits; }
};

// Reads the chip's ID (one short job) and compares it with the chosen chip.
// `types` is the Type list, whose entries name a chip found without an ID.
SocketCheck checkSocket(ProgrammerOps& ops, const MainState& state,
                        const std::vector<std::string>& types, int language);

// The window's question for a chip that does not fit: what was found, what was
// chosen, go on?
std::string chipCheckQuestion(const SocketCheck& check, int language);

}  // namespace ostrel
