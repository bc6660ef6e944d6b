#pragma once
// Choosing a chip by its names instead of list positions, for the command
// line and scripts: "W25Q128JV", or "SPI_FLASH,Winbond,W25Q128JV" when a name
// alone is not enough. The chip is then chosen through chip selection, the way
// the window's lists would choose it, so the Type list position that decides
// what is streamed is set the same way.

#include <string>
#include <vector>

#include "catalogue/catalogue.h"

namespace ostrel {

class ChipSelector;
struct ChipLists;
struct ListPositions;

// A record's first three list-rule items (GBK, trimmed) and its position.
struct ChipNames {
    std::string type;
    std::string manufacturer;
    std::string name;
    int position = 0;

    std::string joined() const { return type + "," + manufacturer + "," + name; }
};

ChipNames chipNamesOf(const ChipRecord& record, int position);

// The chips (before the terminator) that `wanted` names: a text with a comma
// is "TYPE,MAKER,NAME" and must match all three, any other text the name.
// A non-empty `maker` must match the manufacturer too. Letters compare without
// regard to case unless some chip matches exactly, and then only the exact
// ones count. Records that repeat an earlier record's three names are left
// out: the lists can only ever choose the first of them.
std::vector<ChipNames> findChipsNamed(const Catalogue& catalogue, const std::string& wanted,
                                      const std::string& maker);

// Chooses the chip through chip selection with the positions its type,
// manufacturer and name take in the lists as three runs (first type, then its
// manufacturer, then its name) would leave them; the lists and the selection
// end as after those three runs. False, with nothing chosen, when one of them
// is not in the lists.
bool chooseChipByNames(ChipSelector& selector, const Catalogue& catalogue, const ChipNames& chip);

// The positions chooseChipByNames would choose with, worked out on a copy of
// `lists`; false when the type, manufacturer or name is not in them.
bool listPositionsOf(const ChipLists& lists, const Catalogue& catalogue, const ChipNames& chip,
                     ListPositions& positions);

}  // namespace ostrel
