#include "catalogue/chip_identification.h"

#include "base/messages.h"
#include "base/texts.h"
#include "catalogue/chip_lookup.h"
#include "catalogue/gbk_text.h"
#include "catalogue/name_text.h"

namespace ostrel {

namespace {

std::string item(const std::vector<std::string>& items, std::size_t index) {
    return index < items.size() ? trimControls(items[index]) : std::string();
}

}  // namespace

int findChipById(const Catalogue& catalogue, uint32_t id) {
    const IdReply blank{IdReply::Outcome::Answered, 1, id};
    if (blank.silentId()) return -1;
    const int count = catalogue.count();
    for (int i = 0; i < count; ++i)
        if (catalogue.at(i).chipId == id) return i;
    return -1;
}

Identification identifyChip(const IdReply& reply, const Catalogue& catalogue,
                            ChipSelector& selector, int language) {
    Identification found;
    // Whatever the outcome, it says what the lists show once it is decided.
    auto decided = [&](Detection kind, SocketPicture picture, std::string message, BoxIcon icon) {
        found.kind = kind;
        found.picture = picture;
        found.message = std::move(message);
        found.icon = icon;
        found.shown = selector.shown();
        found.typeText = selector.typeText();
        found.nameText = selector.nameText();
        return found;
    };
    if (reply.outcome == IdReply::Outcome::NoProgrammer)
        return decided(Detection::NoProgrammer, SocketPicture::Unchanged,
                       messageText(Msg::MsgNotConnected, language), BoxIcon::Error);
    // A reply that did not arrive whole says nothing about the socket: taking
    // its bytes for a kind would report an empty socket or a wrong chip.
    if (!reply.answered())
        return decided(Detection::NoAnswer, SocketPicture::Unchanged,
                       programText(Txt::ChipIdNoAnswer, language), BoxIcon::Error);

    if (reply.silentId()) {
        found.id = reply.id;
        found.idText = spacedChipId(found.id);
        return decided(Detection::NoChipAnswer, SocketPicture::Unchanged,
                       fillIn(programText(Txt::NoChipAnswered, language), {found.idText}),
                       BoxIcon::Error);
    }
    if (reply.hasId()) {
        found.id = reply.id;
        found.idText = spacedChipId(found.id);
        const int match = findChipById(catalogue, found.id);
        if (match < 0) {
            if (selector.shown().type != 0) selector.select(0, 0, 0);
            return decided(Detection::UnknownId, SocketPicture::Unchanged,
                           messageText(Msg::MsgUnknownChipId, language) + found.idText +
                               messageText(Msg::MsgChooseCompatible, language),
                           BoxIcon::Error);
        }
        const auto items = splitListRule(nameTextOf(catalogue.at(match)));
        const ChipNames names{item(items, 0), item(items, 1), item(items, 2), match};
        // One run with the positions three runs would leave: each run resets
        // the buffers, and the chip already chosen keeps them.
        ListPositions at;
        if (listPositionsOf(selector.lists(), catalogue, names, at)) selector.choose(at);
        return decided(Detection::Known, SocketPicture::ChipInSocket,
                       messageText(Msg::MsgChipDetected, language) + gbkToUtf8(names.name) +
                           messageText(Msg::MsgChipTypeLine, language) + gbkToUtf8(names.type),
                       BoxIcon::Information);
    }
    if (reply.typePosition() > 0) {
        const int32_t type = reply.typePosition();
        if (selector.shown().type != type) selector.select(type, 0, 0);
        return decided(Detection::TypeOnly, SocketPicture::ChipInSocket,
                       messageText(Msg::MsgChipTypeDetected, language) +
                           gbkToUtf8(selector.typeText()) +
                           messageText(Msg::MsgSelectTypeManually, language),
                       BoxIcon::Information);
    }
    return decided(Detection::NoChip, SocketPicture::EmptySocket,
                   messageText(Msg::MsgNoChip, language), BoxIcon::Error);
}

}  // namespace ostrel
