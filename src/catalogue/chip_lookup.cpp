#include "catalogue/chip_lookup.h"

#include <algorithm>
#include <cctype>

#include "catalogue/chip_selection.h"
#include "catalogue/chip_selector.h"
#include "catalogue/name_text.h"

namespace ostrel {
namespace {

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

using Compare = bool (*)(const std::string&, const std::string&);

bool sameExactly(const std::string& a, const std::string& b) {
    return a == b;
}

std::vector<ChipNames> matching(const Catalogue& catalogue, const std::string& wanted,
                                const std::string& maker, Compare same) {
    const bool whole = wanted.find(',') != std::string::npos;
    const NameParts parts = splitCommaRule(wanted);
    std::vector<ChipNames> found;
    const int count = catalogue.count();
    for (int i = 0; i < count; ++i) {
        const ChipNames chip = chipNamesOf(catalogue.at(i), i);
        if (chip.name.empty()) continue;
        if (whole) {
            if (!same(chip.type, trimControls(parts.type)) ||
                !same(chip.manufacturer, trimControls(parts.manufacturer)) ||
                !same(chip.name, trimControls(parts.name)))
                continue;
        } else if (!same(chip.name, wanted)) {
            continue;
        }
        if (!maker.empty() && !same(chip.manufacturer, maker)) continue;
        const bool repeat = std::any_of(found.begin(), found.end(), [&](const ChipNames& f) {
            return f.type == chip.type && f.manufacturer == chip.manufacturer &&
                   f.name == chip.name;
        });
        if (!repeat) found.push_back(chip);
    }
    return found;
}

}  // namespace

ChipNames chipNamesOf(const ChipRecord& record, int position) {
    const std::vector<std::string> items = splitListRule(nameTextOf(record));
    ChipNames names;
    names.position = position;
    if (items.size() > 0) names.type = trimControls(items[0]);
    if (items.size() > 1) names.manufacturer = trimControls(items[1]);
    if (items.size() > 2) names.name = trimControls(items[2]);
    return names;
}

std::vector<ChipNames> findChipsNamed(const Catalogue& catalogue, const std::string& wanted,
                                      const std::string& maker) {
    const std::string key = trimControls(wanted);
    const std::string makerKey = trimControls(maker);
    if (key.empty()) return {};
    std::vector<ChipNames> exact = matching(catalogue, key, makerKey, sameExactly);
    if (!exact.empty()) return exact;
    return matching(catalogue, key, makerKey, sameIgnoringCase);
}

bool listPositionsOf(const ChipLists& shown, const Catalogue& catalogue, const ChipNames& chip,
                     ListPositions& positions) {
    // The positions are worked out on lists of our own, as three runs of
    // chip selection would leave them; only the last run is made for real,
    // since every run resets the whole FLASH buffer.
    ChipLists lists = shown;
    int32_t scratch = 0;
    selectChip(catalogue, lists, 0, 0, 0, scratch);
    const int32_t type = positionOf(lists.types, chip.type);
    if (type < 0) return false;
    selectChip(catalogue, lists, type, 0, 0, scratch);
    const int32_t manufacturer = positionOf(lists.manufacturers, chip.manufacturer);
    if (manufacturer < 0) return false;
    selectChip(catalogue, lists, type, manufacturer, 0, scratch);
    const int32_t name = positionOf(lists.names, chip.name);
    if (name < 0) return false;
    positions = {type, manufacturer, name};
    return true;
}

bool chooseChipByNames(ChipSelector& selector, const Catalogue& catalogue, const ChipNames& chip) {
    ListPositions at;
    if (!listPositionsOf(selector.lists(), catalogue, chip, at)) return false;
    return selector.select(at.type, at.manufacturer, at.name);
}

}  // namespace ostrel
