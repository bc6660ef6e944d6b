#pragma once
// What the Detect button does with the programmer's answer to the ID read.
// The programmer answers with a detection kind and, for chips that have one, a
// three-byte ID: an ID is looked up in the catalogue and the chip chosen
// through chip selection; a chip the programmer can only classify chooses a
// type; an empty socket is reported. Identification decides and chooses; it
// returns the outcome, and each front end presents it: the window shows the
// socket picture and the box, the command line prints a line.

#include <cstdint>
#include <functional>
#include <string>

#include "base/ui_port.h"
#include "catalogue/chip_selector.h"
#include "catalogue/id_read.h"

namespace ostrel {

// The socket picture the chip panel shows after a detection.
enum class SocketPicture {
    Unchanged,
    EmptySocket,   // "J0": the lever up, no chip
    ChipInSocket,  // "J1": an 8-pin chip in the upper position
};

// What one ID read came to.
enum class Detection {
    NoProgrammer,  // the programmer could not be opened
    NoAnswer,      // opened, but its reply did not arrive whole
    Known,         // an ID the catalogue holds: that chip is now chosen
    UnknownId,     // an ID the catalogue does not hold
    TypeOnly,      // a chip the programmer can only classify: its type is chosen
    NoChip,        // an empty socket (or a kind the programmer does not name)
    NoChipAnswer,  // an ID of 00 00 00 or FF FF FF: no chip answered the ID read
};

struct Identification {
    Detection kind = Detection::NoChip;
    uint32_t id = 0;       // the detected ID (Known, UnknownId, NoChipAnswer)
    std::string idText;    // its three bytes as "XX XX XX" (Known, UnknownId, NoChipAnswer)
    ListPositions shown;   // the positions the lists show afterwards
    std::string typeText;  // the Type list's shown text afterwards (GBK)
    std::string nameText;  // the Name list's shown text afterwards (GBK)
    SocketPicture picture = SocketPicture::Unchanged;
    // The box the outcome ends in: its text, in the language asked for, and
    // whether it is an error box (else an information box).
    std::string message;
    BoxIcon icon = BoxIcon::Error;
};

// The first catalogue position (before the terminator) whose chipId is `id`,
// or -1; always -1 for 00 00 00 and FF FF FF, which are no ID (a record
// without an ID holds 0 there).
int findChipById(const Catalogue& catalogue, uint32_t id);

// Decides the outcome of one ID read. Chooses chips through `selector`
// and, on an ID match (only then), updates the saved selection; the chip
// already chosen, found again, keeps the buffers. The outcome's message is in
// `language`.
Identification identifyChip(const IdReply& reply, const Catalogue& catalogue,
                            ChipSelector& selector, int language);

}  // namespace ostrel
