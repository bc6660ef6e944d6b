#include "operations/programmer_list.h"

#include <algorithm>
#include <cctype>

#include "operations/packets.h"
#include "usb/programmer_identity.h"

namespace ostrel {
namespace {

std::vector<AttachedDevice> attached(TUsbBulk& usb) {
    return usb.listDevices(kProgrammerVendorId, kProgrammerVendorText, kProgrammerProductId,
                           kProgrammerProductText);
}

// Claims the programmer at `path` for one hardware-information exchange.
ProgrammerEntry ask(TUsbBulk& usb, const std::string& path) {
    ProgrammerEntry entry;
    entry.busPath = path;
    usb.setDevicePath(path);
    if (usb.prog_open(kProgrammerVendorId, kProgrammerVendorText, kProgrammerProductId,
                      kProgrammerProductText) == 0) {
        entry.failure = usb.lastOpenFailure();
        return entry;
    }
    Packet packet = hardwareInfoPacket();
    const bool answered = usb.USB_bulk_cmd(packet.data(), kPacketSize, 1) == kPacketSize;
    usb.USB_bulk_close();
    if (answered) {
        const HardwareInfo info = parseHardwareInfo(packet);
        entry.serialNumber = info.serialNumber;
        entry.firmwareVersion = info.firmwareVersion;
    } else {
        // Opened but silent: it is there, yet nobody can use it now.
        entry.failure = OpenFailure::Busy;
    }
    return entry;
}

}  // namespace

bool isBusPath(const std::string& text) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == text.size()) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (i != slash && std::isdigit(static_cast<unsigned char>(text[i])) == 0) return false;
    return true;
}

std::vector<ProgrammerEntry> listProgrammers(TUsbBulk& usb,
                                             const std::vector<ProgrammerEntry>& known) {
    const std::string keep = usb.devicePath();
    usb.setDevicePath({});
    std::vector<ProgrammerEntry> found;
    for (const AttachedDevice& device : attached(usb)) {
        const auto before = std::find_if(known.begin(), known.end(), [&](const ProgrammerEntry& e) {
            return e.busPath == device.busPath && e.failure == OpenFailure::None;
        });
        if (before != known.end()) {
            found.push_back(*before);
        } else if (device.failure != OpenFailure::None) {
            found.push_back({device.busPath, {}, {}, device.failure});
        } else {
            found.push_back(ask(usb, device.busPath));
            usb.setDevicePath({});
        }
    }
    usb.setDevicePath(keep);
    return found;
}

ProgrammerChoice chooseProgrammer(TUsbBulk& usb, const std::string& pathOrSerial) {
    ProgrammerChoice choice;
    if (isBusPath(pathOrSerial)) {
        const std::vector<AttachedDevice> devices = attached(usb);
        const bool there =
            std::any_of(devices.begin(), devices.end(),
                        [&](const AttachedDevice& d) { return d.busPath == pathOrSerial; });
        choice.outcome = there ? ProgrammerChoice::Chosen : ProgrammerChoice::PathGone;
        choice.busPath = pathOrSerial;
        return choice;
    }
    for (const ProgrammerEntry& entry : listProgrammers(usb)) {
        if (entry.failure == OpenFailure::None && entry.serialNumber == pathOrSerial) {
            choice.outcome = ProgrammerChoice::Chosen;
            choice.busPath = entry.busPath;
            return choice;
        }
        if (entry.failure != OpenFailure::None) ++choice.busy;
    }
    choice.outcome =
        choice.busy > 0 ? ProgrammerChoice::SerialBusy : ProgrammerChoice::SerialAbsent;
    return choice;
}

OpenFailure chosenProgrammerFailure(const std::vector<ProgrammerEntry>& entries,
                                    const std::string& key, const std::string& lastPath) {
    const std::string path = isBusPath(key) ? key : lastPath;
    if (!path.empty()) {
        for (const ProgrammerEntry& e : entries) {
            if (e.busPath != path) continue;
            // Asked, it answered with another serial number: not the chosen one.
            return e.failure == OpenFailure::None ? OpenFailure::NotFound : e.failure;
        }
        return OpenFailure::NotFound;
    }
    OpenFailure why = OpenFailure::NotFound;
    for (const ProgrammerEntry& e : entries) {
        if (e.failure == OpenFailure::Busy) why = OpenFailure::Busy;
        if (e.failure == OpenFailure::NotAccessible && why == OpenFailure::NotFound)
            why = OpenFailure::NotAccessible;
    }
    return why;
}

}  // namespace ostrel
