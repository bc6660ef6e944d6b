#include "catalogue/chip_selector.h"

#include <utility>

namespace ostrel {

ChipSelector::ChipSelector(const Catalogue& catalogue, ChipChanged chipChanged)
    : catalogue_(catalogue), chipChanged_(std::move(chipChanged)) {}

int32_t ChipSelector::shownPosition(const std::vector<std::string>& list, int32_t position) {
    return position >= 0 && position < static_cast<int32_t>(list.size()) ? position : -1;
}

bool ChipSelector::select(int32_t type, int32_t manufacturer, int32_t name) {
    const bool chose = selectChip(catalogue_, lists_, type, manufacturer, name, selected_);
    shown_ = {shownPosition(lists_.types, type), shownPosition(lists_.manufacturers, manufacturer),
              shownPosition(lists_.names, name)};
    // The position the Type list now shows decides the FLASH page's caption and
    // what the streaming operations skip.
    if (chipChanged_) chipChanged_(selected_, shown_.type);
    if (onSelected) onSelected(chose);
    return chose;
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
