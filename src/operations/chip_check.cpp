#include "operations/chip_check.h"

#include "base/texts.h"
#include "catalogue/chip_identification.h"
#include "catalogue/chip_lookup.h"
#include "catalogue/gbk_text.h"
#include "catalogue/id_read.h"
#include "operations/main_state.h"
#include "operations/programmer_ops.h"

namespace ostrel {

ChipFit checkChip(const IdReply& reply, int32_t chosenTypeIndex, uint32_t chosenId) {
    // Kinds 2 and 3 name the Type list positions 1 and 2, whose chips have no
    // ID; a chip that answered with an ID is of none of those types.
    if (reply.hasId()) {
        // 00 00 00 and FF FF FF are what the lines read when nothing drives
        // them. A chosen chip without an ID (a 95-series EEPROM) cannot tell
        // that from itself; for any other, no chip answered.
        if (reply.silentId())
            return chosenId == 0 && chosenTypeIndex != 1 && chosenTypeIndex != 2
                       ? ChipFit::Fits
                       : ChipFit::NoChipAnswer;
        if (chosenTypeIndex == 1 || chosenTypeIndex == 2) return ChipFit::WrongType;
        if (chosenId != 0 && (reply.id & 0xFFFFFF) != (chosenId & 0xFFFFFF))
            return ChipFit::WrongId;
        return ChipFit::Fits;
    }
    if (reply.typePosition() > 0)
        return chosenTypeIndex == reply.typePosition() ? ChipFit::Fits : ChipFit::WrongType;
    return ChipFit::NoChip;
}

SocketCheck checkSocket(ProgrammerOps& ops, const MainState& state,
                        const std::vector<std::string>& types, int language) {
    SocketCheck check;
    const ChipRecord& chosen = state.selectedRecord();
    const std::string name = gbkToUtf8(chipNamesOf(chosen, state.selected).name);
    check.chosen = chosen.chipId != 0 ? fillIn(programText(Txt::CliFoundChipId, language),
                                               {name, spacedChipId(chosen.chipId)})
                                      : name;
    const IdReply reply = ops.readChipId();
    if (reply.outcome == IdReply::Outcome::NoProgrammer) {
        check.read = SocketCheck::Read::NoProgrammer;
        return check;
    }
    if (!reply.answered()) {
        check.read = SocketCheck::Read::NoAnswer;
        return check;
    }
    const uint32_t id = reply.id;
    check.fit = checkChip(reply, state.typeIndex, chosen.chipId);
    if (check.fit == ChipFit::Fits || check.fit == ChipFit::NoChip) return check;
    if (check.fit == ChipFit::NoChipAnswer) {
        check.found = spacedChipId(id);
        return check;
    }
    if (reply.hasId()) {
        const int at = findChipById(state.catalogue, id);
        check.found =
            at >= 0 ? fillIn(programText(Txt::CliFoundChipId, language),
                             {gbkToUtf8(chipNamesOf(state.catalogue.at(at), at).name),
                              spacedChipId(id)})
                    : fillIn(programText(Txt::CliFoundUnknownId, language), {spacedChipId(id)});
    } else {
        const std::size_t position = static_cast<std::size_t>(reply.typePosition());
        check.found = fillIn(
            programText(Txt::CliFoundType, language),
            {position < types.size() ? gbkToUtf8(types[position]) : std::to_string(reply.kind)});
    }
    return check;
}

std::string chipCheckQuestion(const SocketCheck& check, int language) {
    if (check.fit == ChipFit::NoChip)
        return fillIn(programText(Txt::ChipCheckAskNoChip, language), {check.chosen});
    if (check.fit == ChipFit::NoChipAnswer)
        return fillIn(programText(Txt::ChipCheckAskNoAnswer, language),
                      {check.found, check.chosen});
    return fillIn(programText(Txt::ChipCheckAskWrong, language), {check.found, check.chosen});
}

}  // namespace ostrel
