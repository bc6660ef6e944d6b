#include "catalogue/chip_identification.h"

#include <cstdio>

#include "base/messages.h"
#include "base/ui_port.h"
#include "catalogue/gbk_text.h"
#include "catalogue/name_text.h"

namespace ostrel {

namespace {

void informationBox(UiPort& ui, const std::string& text) {
    ui.messageBox(text, programText(Txt::CaptionInformation, 0), BoxIcon::Information);
}

std::string item(const std::vector<std::string>& items, std::size_t index) {
    return index < items.size() ? trimControls(items[index]) : std::string();
}

}  // namespace

uint32_t detectedId(const uint8_t reply[4]) {
    return (uint32_t(reply[1]) << 16) | (uint32_t(reply[2]) << 8) | uint32_t(reply[3]);
}

int findChipById(const Catalogue& catalogue, uint32_t id) {
    const int count = catalogue.count();
    for (int i = 0; i < count; ++i)
        if (catalogue.at(i).chipId == id) return i;
    return -1;
}

SocketPicture identifyChip(int readResult, const uint8_t reply[4], const Catalogue& catalogue,
                           ChipSelector& selector, UiPort& ui, int language,
                           const std::function<void(SocketPicture)>& showPicture) {
    auto show = [&](SocketPicture picture) {
        if (showPicture) showPicture(picture);
        return picture;
    };
    if (readResult == kChipIdNoProgrammer) {
        ui.errorBox(messageText(Msg::MsgNotConnected, language));
        return SocketPicture::Unchanged;
    }
    // A reply that did not arrive whole says nothing about the socket: taking
    // its bytes for a kind would report an empty socket or a wrong chip.
    if (readResult != kChipIdAnswered) {
        ui.errorBox(programText(Txt::ChipIdNoAnswer, language));
        return SocketPicture::Unchanged;
    }

    switch (reply[0]) {
        case 1: {
            const int match = findChipById(catalogue, detectedId(reply));
            if (match < 0) {
                if (selector.shown().type != 0) selector.select(0, 0, 0);
                char id[16];
                std::snprintf(id, sizeof id, "%2.2X %2.2X %2.2X", reply[1], reply[2], reply[3]);
                ui.errorBox(messageText(Msg::MsgUnknownChipId, language) + id +
                            messageText(Msg::MsgChooseCompatible, language));
                return SocketPicture::Unchanged;
            }
            const auto items = splitListRule(nameTextOf(catalogue.at(match)));
            // Each run refills the lists below, so each position is looked up
            // in the lists the run before left.
            selector.saved.type = selector.findType(item(items, 0));
            selector.select(selector.saved.type, selector.saved.manufacturer, selector.saved.name);
            selector.saved.manufacturer = selector.findManufacturer(item(items, 1));
            selector.select(selector.saved.type, selector.saved.manufacturer, selector.saved.name);
            selector.saved.name = selector.findName(item(items, 2));
            selector.select(selector.saved.type, selector.saved.manufacturer, selector.saved.name);
            show(SocketPicture::ChipInSocket);
            informationBox(ui, messageText(Msg::MsgChipDetected, language) +
                                   gbkToUtf8(selector.nameText()) +
                                   messageText(Msg::MsgChipTypeLine, language) +
                                   gbkToUtf8(selector.typeText()));
            return SocketPicture::ChipInSocket;
        }
        case 2:
        case 3: {
            const int32_t type = reply[0] == 2 ? 1 : 2;
            if (selector.shown().type != type) selector.select(type, 0, 0);
            show(SocketPicture::ChipInSocket);
            informationBox(ui, messageText(Msg::MsgChipTypeDetected, language) +
                                   gbkToUtf8(selector.typeText()) +
                                   messageText(Msg::MsgSelectTypeManually, language));
            return SocketPicture::ChipInSocket;
        }
        default:
            show(SocketPicture::EmptySocket);
            ui.errorBox(messageText(Msg::MsgNoChip, language));
            return SocketPicture::EmptySocket;
    }
}

}  // namespace ostrel
