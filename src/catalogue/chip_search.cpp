#include "catalogue/chip_search.h"

#include "catalogue/chip_lookup.h"
#include "catalogue/name_text.h"

namespace ostrel {

namespace {

// Byte-for-byte, but only from the start of a character: the trail byte of a
// double-byte character can be an ASCII letter, and a key must not match half
// of a character.
bool holdsKey(const std::string& text, const std::string& key) {
    for (std::size_t pos = 0; pos + key.size() <= text.size(); pos += gbkCharLength(text, pos))
        if (text.compare(pos, key.size(), key) == 0) return true;
    return false;
}

}  // namespace

std::vector<SearchRow> searchCatalogue(const Catalogue& catalogue, const std::string& keyGbk) {
    std::vector<SearchRow> rows;
    const std::string key = trimControls(keyGbk);
    if (key.empty()) return rows;
    const int count = catalogue.count();
    for (int i = 0; i < count; ++i) {
        const std::string text = nameTextOf(catalogue.at(i));
        if (!holdsKey(text, key)) continue;
        const auto items = splitListRule(text);
        auto item = [&](std::size_t k) { return k < items.size() ? items[k] : std::string(); };
        rows.push_back({item(0), item(1), item(2), i});
    }
    return rows;
}

void chooseSearchRow(ChipSelector& selector, const Catalogue& catalogue, const SearchRow& row) {
    // One run, not three: each run would reset the buffers, and ask first.
    ListPositions at;
    if (listPositionsOf(selector.lists(), catalogue,
                        ChipNames{row.type, row.manufacturer, row.name, row.position}, at))
        selector.select(at.type, at.manufacturer, at.name);
}

}  // namespace ostrel
