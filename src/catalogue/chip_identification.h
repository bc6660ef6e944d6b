#pragma once
// What the Detect button does with the programmer's answer to the ID read.
// The programmer answers with a detection kind and, for chips that have one, a
// three-byte ID: an ID is looked up in the catalogue and the chip chosen
// through chip selection; a chip the programmer can only classify chooses a
// type; an empty socket is reported. The caller runs the ID read and shows the
// socket picture this returns.

#include <cstdint>
#include <functional>

#include "catalogue/chip_selector.h"
#include "catalogue/id_read.h"

namespace ostrel {

class UiPort;

// The socket picture the chip panel shows after a detection.
enum class SocketPicture {
    Unchanged,
    EmptySocket,   // "J0": the lever up, no chip
    ChipInSocket,  // "J1": an 8-pin chip in the upper position
};

// The detected ID of a kind-1 reply: byte 1 in bits 16-23, byte 3 in bits 0-7.
uint32_t detectedId(const uint8_t reply[4]);

// The first catalogue position (before the terminator) whose chipId is `id`, or -1.
int findChipById(const Catalogue& catalogue, uint32_t id);

// Runs the outcome of one ID read: `readResult` is what the ID read returned
// and `reply` its first four bytes. Chooses chips through `selector`, on an ID
// match (only then) updates the saved selection, hands a changed socket
// picture to `showPicture` before the box, so that the user sees the socket
// while reading it, and shows the outcome's box in `language`. Returns the
// picture shown, or Unchanged.
SocketPicture identifyChip(int readResult, const uint8_t reply[4], const Catalogue& catalogue,
                           ChipSelector& selector, UiPort& ui, int language,
                           const std::function<void(SocketPicture)>& showPicture = {});

}  // namespace ostrel
