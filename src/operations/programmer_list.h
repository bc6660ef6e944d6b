#pragma once
// Several programmers on one computer: every attached programmer with its bus
// path, serial number and firmware version, and the choice of one of them by
// its bus path or serial number. The transport then opens only the chosen one
// (TUsbBulk::setDevicePath), for every job alike.
//
// The serial number comes from the hardware-information reply, so asking for
// it claims the programmer for a moment; a programmer that another program
// holds cannot be asked and is listed as busy.

#include <string>
#include <vector>

#include "usb/usb_bulk.h"

namespace ostrel {

struct ProgrammerEntry {
    std::string busPath;  // "001/004"
    std::string serialNumber;
    std::string firmwareVersion;
    // None: asked; Busy: another program holds it; NotAccessible: no access;
    // NotFound: gone while it was being asked.
    OpenFailure failure = OpenFailure::None;
};

// True for "BBB/DDD": digits, a slash, digits.
bool isBusPath(const std::string& text);

// Every attached programmer in bus order. `known` entries that were asked
// already are taken over for their bus path instead of claiming the
// programmer again. The transport's device path is left as it was.
std::vector<ProgrammerEntry> listProgrammers(TUsbBulk& usb,
                                             const std::vector<ProgrammerEntry>& known = {});

// What choosing a programmer by the text of --device (or a remembered one) found.
struct ProgrammerChoice {
    enum Outcome {
        Chosen,        // busPath names it
        PathGone,      // no programmer at that bus path
        SerialAbsent,  // no attached programmer answered with that serial number
        SerialBusy,    // not among those asked, and `busy` others could not be asked
    } outcome = Chosen;
    std::string busPath;
    int busy = 0;
};

// A bus path is checked against the bus without claiming anything; a serial
// number asks every attached programmer for its own.
ProgrammerChoice chooseProgrammer(TUsbBulk& usb, const std::string& pathOrSerial);

// Why the programmer chosen by `key` (a bus path or a serial number) is none
// of the usable `entries`: its own entry's failure (Busy, NotAccessible), or
// NotFound when it is not attached. A serial number is found through
// `lastPath`, the bus path it was last used at ("" for none); a programmer
// plugged in again comes at another path. Only a serial number never seen
// here may belong to any entry that could not be asked: then a held one makes
// it Busy, one without access NotAccessible.
OpenFailure chosenProgrammerFailure(const std::vector<ProgrammerEntry>& entries,
                                    const std::string& key, const std::string& lastPath);

}  // namespace ostrel
