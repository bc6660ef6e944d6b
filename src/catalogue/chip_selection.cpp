#include "catalogue/chip_selection.h"

#include <cstring>

#include "catalogue/name_text.h"

namespace ostrel {
namespace {

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

bool isMember(const std::vector<std::string>& list, const std::string& text) {
    return positionOf(list, text) >= 0;
}

}  // namespace

int positionOf(const std::vector<std::string>& list, const std::string& text) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (sameIgnoringCase(list[i], text)) return static_cast<int>(i);
    return -1;
}

std::string entryAt(const std::vector<std::string>& list, int position) {
    if (position < 0 || position >= static_cast<int>(list.size())) return {};
    return list[static_cast<std::size_t>(position)];
}

bool selectChip(const Catalogue& catalogue, ChipLists& lists, int t, int m, int n,
                int32_t& selected) {
    lists.manufacturers.clear();
    lists.names.clear();
    bool chose = false;
    int added = 0;
    const int count = catalogue.count();
    for (int i = 0; i < count; ++i) {
        const std::vector<std::string> items = splitListRule(nameTextOf(catalogue.at(i)));
        const std::string type = trimControls(items.size() > 0 ? items[0] : std::string());
        const std::string maker = trimControls(items.size() > 1 ? items[1] : std::string());
        const std::string name = trimControls(items.size() > 2 ? items[2] : std::string());
        if (!isMember(lists.types, type)) lists.types.push_back(type);
        if (type != entryAt(lists.types, t)) continue;
        if (!maker.empty() && !isMember(lists.manufacturers, maker))
            lists.manufacturers.push_back(maker);
        if (maker != entryAt(lists.manufacturers, m)) continue;
        if (name.empty() || isMember(lists.names, name)) continue;
        lists.names.push_back(name);
        if (added == n) {
            selected = i;
            chose = true;
        }
        ++added;
    }
    return chose;
}

}  // namespace ostrel
