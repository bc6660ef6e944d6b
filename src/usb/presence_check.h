#pragma once
// The connection monitor's presence check: is the programmer there and
// usable? It finds, opens, claims, releases and closes the programmer and
// sends it no packet. The window runs it at every activation and change of
// USB devices; the command line can ask the same question.

#include "usb/usb_bulk.h"

namespace ostrel {

enum class Presence {
    Connected,
    NotConnected,         // nothing with the programmer's IDs and strings on the bus
    AttachedButUnusable,  // attached, but it could not be opened or claimed
};

// Finds, opens and claims the programmer, then lets it go.
Presence probeProgrammer(TUsbBulk& usb);

}  // namespace ostrel
