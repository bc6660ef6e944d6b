#include "catalogue/chip_selector.h"

#include <utility>

#include "catalogue/chip_lookup.h"

namespace ostrel {

ChipSelector::ChipSelector(const Catalogue& catalogue, ChipChanged chipChanged)
    : catalogue_(catalogue), chipChanged_(std::move(chipChanged)) {}

int32_t ChipSelector::shownPosition(const std::vector<std::string>& list, int32_t position) {
    return position >= 0 && position < static_cast<int32_t>(list.size()) ? position : -1;
}

bool ChipSelector::select(int32_t type, int32_t manufacturer, int32_t name) {
    return run(type, manufacturer, name, true);
}

bool ChipSelector::run(int32_t type, int32_t manufacturer, int32_t name, bool resetBuffers,
                       bool catalogueMoved) {
    declined_ = false;
    // Worked out on copies first: declined, nothing changes.
    ChipLists lists = lists_;
    int32_t selected = selected_;
    const bool chose = selectChip(catalogue_, lists, type, manufacturer, name, selected);
    const ListPositions shown{shownPosition(lists.types, type),
                              shownPosition(lists.manufacturers, manufacturer),
                              shownPosition(lists.names, name)};
    // The chip already chosen, chosen again (Detect, the search window), is no change.
    if (ranBefore_ && !catalogueMoved && selected == selected_ && shown == shown_)
        resetBuffers = false;
    if (resetBuffers && mayResetBuffers && !mayResetBuffers()) {
        declined_ = true;
        if (!catalogueMoved) {
            if (onSelected) onSelected(false);
            return false;
        }
        resetBuffers = false;
    }
    ranBefore_ = true;
    lists_ = std::move(lists);
    selected_ = selected;
    shown_ = shown;
    // The position the Type list now shows decides the FLASH page's caption and
    // what the streaming operations skip.
    selectedBefore_ = catalogue_.at(selected_);
    if (chipChanged_) chipChanged_(selected_, shown_.type, resetBuffers);
    if (onSelected) onSelected(chose);
    return chose;
}

void ChipSelector::catalogueChanged() {
    const ChipNames shownChip{typeText(), manufacturerText(), nameText(), 0};
    const ChipRecord before = selectedBefore_;
    const int count = catalogue_.count();
    for (int i = 0; !shownChip.name.empty() && i < count; ++i) {
        const ChipNames chip = chipNamesOf(catalogue_.at(i), i);
        if (chip.type != shownChip.type || chip.manufacturer != shownChip.manufacturer ||
            chip.name != shownChip.name)
            continue;
        ListPositions at;
        if (!listPositionsOf(lists_, catalogue_, chip, at)) break;
        const ChipRecord& now = catalogue_.at(i);
        const bool sameSizes =
            now.flashSize == before.flashSize && now.eepromSize == before.eepromSize;
        run(at.type, at.manufacturer, at.name, !sameSizes, true);
        return;
    }
    run(saved.type, saved.manufacturer, saved.name, true, true);
}

bool ChipSelector::choose(const ListPositions& positions) {
    select(positions.type, positions.manufacturer, positions.name);
    if (declined_) return false;
    saved = positions;
    return true;
}

bool ChipSelector::typeChanged(int32_t index) {
    if (index == shown_.type) return false;
    return choose({index, lists_.manufacturers.empty() ? -1 : 0, lists_.names.empty() ? -1 : 0});
}

bool ChipSelector::manufacturerChanged(int32_t index) {
    if (index == shown_.manufacturer) return false;
    return choose({shown_.type, index, lists_.names.empty() ? -1 : 0});
}

bool ChipSelector::nameChanged(int32_t index) {
    if (index == shown_.name) return false;
    return choose({shown_.type, shown_.manufacturer, index});
}

}  // namespace ostrel
