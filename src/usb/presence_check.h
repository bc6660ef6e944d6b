#pragma once
// The connection monitor's presence check: is the programmer there and
// usable? It finds, opens, claims, releases and closes the programmer and
// sends it no packet. The window runs it at every activation and change of
// USB devices; the command line can ask the same question.

#include "base/ui_port.h"
#include "usb/usb_bulk.h"

namespace ostrel {

enum class Presence {
    Connected,
    NotConnected,         // nothing with the programmer's IDs and strings on the bus
    AttachedButUnusable,  // attached, but it could not be opened or claimed
};

// The check as the window shows it: found, the "programmer found" line with
// the time of day goes on top of the log unless the top line already says
// exactly that (a second check within the same second adds nothing), and the
// state panel says "Connected"; otherwise the panel says "Not connected".
// Never a message box.
Presence checkProgrammer(TUsbBulk& usb, UiPort& ui, int language);

}  // namespace ostrel
