#include "catalogue/chip_selector.h"

#include "base/ui_port.h"
#include "catalogue/chip_lookup.h"

namespace ostrel {

ChipSelector::ChipSelector(MainState& state, UiPort& ui) : state_(state), ui_(ui) {}

int32_t ChipSelector::shownPosition(const std::vector<std::string>& list, int32_t position) {
    return position >= 0 && position < static_cast<int32_t>(list.size()) ? position : -1;
}

bool ChipSelector::select(int32_t type, int32_t manufacturer, int32_t name) {
    return run(type, manufacturer, name, true);
}

bool ChipSelector::run(int32_t type, int32_t manufacturer, int32_t name, bool resetBuffers) {
    const bool chose =
        selectChip(state_.catalogue, lists_, type, manufacturer, name, state_.selected);
    shown_ = {shownPosition(lists_.types, type), shownPosition(lists_.manufacturers, manufacturer),
              shownPosition(lists_.names, name)};
    // The position the Type list now shows decides the FLASH page's caption and
    // what the streaming operations skip.
    state_.typeIndex = shown_.type;
    selectedBefore_ = state_.selectedRecord();
    if (resetBuffers)
        state_.buffers.ResetBuffersForChip(state_.selectedRecord(), state_.typeIndex, ui_);
    if (onSelected) onSelected(chose);
    return chose;
}

void ChipSelector::catalogueChanged() {
    const ChipNames shownChip{typeText(), manufacturerText(), nameText(), 0};
    const ChipRecord before = selectedBefore_;
    const Catalogue& catalogue = state_.catalogue;
    const int count = catalogue.count();
    for (int i = 0; !shownChip.name.empty() && i < count; ++i) {
        const ChipNames chip = chipNamesOf(catalogue.at(i), i);
        if (chip.type != shownChip.type || chip.manufacturer != shownChip.manufacturer ||
            chip.name != shownChip.name)
            continue;
        ListPositions at;
        if (!listPositionsOf(lists_, catalogue, chip, at)) break;
        const ChipRecord& now = catalogue.at(i);
        const bool sameSizes =
            now.flashSize == before.flashSize && now.eepromSize == before.eepromSize;
        run(at.type, at.manufacturer, at.name, !sameSizes);
        return;
    }
    select(saved.type, saved.manufacturer, saved.name);
}

bool ChipSelector::typeChanged(int32_t index) {
    if (index == shown_.type) return false;
    saved = {index, lists_.manufacturers.empty() ? -1 : 0, lists_.names.empty() ? -1 : 0};
    select(saved.type, saved.manufacturer, saved.name);
    return true;
}

bool ChipSelector::manufacturerChanged(int32_t index) {
    if (index == shown_.manufacturer) return false;
    saved = {shown_.type, index, lists_.names.empty() ? -1 : 0};
    select(saved.type, saved.manufacturer, saved.name);
    return true;
}

bool ChipSelector::nameChanged(int32_t index) {
    if (index == shown_.name) return false;
    saved = {shown_.type, shown_.manufacturer, index};
    select(saved.type, saved.manufacturer, saved.name);
    return true;
}

}  // namespace ostrel
