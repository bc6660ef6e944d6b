#include "usb/presence_check.h"

#include "base/messages.h"
#include "usb/programmer_identity.h"

namespace ostrel {

Presence checkProgrammer(TUsbBulk& usb, UiPort& ui, int language) {
    if (!usb.prog_open(kProgrammerVendorId, kProgrammerVendorText, kProgrammerProductId,
                       kProgrammerProductText)) {
        ui.setStatusText(PanelState, messageText(Msg::MsgNotConnected, language));
        return attachedButUnusable(usb.lastOpenFailure()) ? Presence::AttachedButUnusable
                                                          : Presence::NotConnected;
    }
    const std::string line =
        messageText(Msg::MsgProgrammerFound, language) + " (" + ui.timeOfDay() + ")";
    if (ui.firstLogLine() != line) ui.insertLogLine(line);
    usb.USB_bulk_close();
    ui.setStatusText(PanelState, messageText(Msg::MsgConnected, language));
    return Presence::Connected;
}

}  // namespace ostrel
