#pragma once
// Choosing a chip through the three dependent lists Type, Manufacturer and
// Name. The lists hold the GBK texts of the catalogue in order of first
// appearance; the Type list is never emptied, only grown, because positions in
// it carry meaning (0 and 4 caption the first page "FLASH", 2 is the 93-series).

#include <string>
#include <vector>

#include "catalogue/catalogue.h"

namespace ostrel {

struct ChipLists {
    std::vector<std::string> types;
    std::vector<std::string> manufacturers;
    std::vector<std::string> names;
};

// Refills the Manufacturer and Name lists for type position t and manufacturer
// position m, grows the Type list, and makes the n-th name of that type and
// manufacturer the selected record. Returns true when a record was chosen;
// otherwise `selected` keeps the previous record.
bool selectChip(const Catalogue& catalogue, ChipLists& lists, int t, int m, int n,
                int32_t& selected);

// The entry at a position, or the empty text for a position the list lacks.
std::string entryAt(const std::vector<std::string>& list, int position);

// Membership: the position of the first entry equal to `text` when letter case
// is ignored (ASCII letters only, so double-byte characters compare whole), or -1.
int positionOf(const std::vector<std::string>& list, const std::string& text);

}  // namespace ostrel
