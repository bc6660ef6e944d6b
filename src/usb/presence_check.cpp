#include "usb/presence_check.h"

#include "usb/programmer_identity.h"

namespace ostrel {

Presence probeProgrammer(TUsbBulk& usb) {
    if (!usb.prog_open(kProgrammerVendorId, kProgrammerVendorText, kProgrammerProductId,
                       kProgrammerProductText))
        return attachedButUnusable(usb.lastOpenFailure()) ? Presence::AttachedButUnusable
                                                          : Presence::NotConnected;
    usb.USB_bulk_close();
    return Presence::Connected;
}

}  // namespace ostrel
