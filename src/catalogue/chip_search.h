#pragma once
// The search window's logic: the rows a search key finds, and choosing a row's
// chip on the main window through chip selection.

#include <string>
#include <vector>

#include "catalogue/chip_selector.h"

namespace ostrel {

// One result row: the record's first three list-rule items (GBK) and its position.
struct SearchRow {
    std::string type;
    std::string manufacturer;
    std::string name;
    int position = 0;
};

// Every record before the terminator whose whole name text holds `keyGbk`
// (with its leading and trailing bytes of code 32 or less removed) as a
// substring, byte for byte and letter case significant, in catalogue order.
// An empty key finds nothing.
std::vector<SearchRow> searchCatalogue(const Catalogue& catalogue, const std::string& keyGbk);

// Chooses the row's chip: one run of chip selection with the positions of its
// type, manufacturer and name in the lists as three runs would leave them.
// The saved selection is not changed.
void chooseSearchRow(ChipSelector& selector, const Catalogue& catalogue, const SearchRow& row);

}  // namespace ostrel
