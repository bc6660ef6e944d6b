#pragma once
// The readable chip table (resources/chips.txt) and the catalogue file made
// from it. The table is checked line by line, so that a slip in the table
// stops the build instead of shipping a catalogue the program trusts blindly.

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "catalogue/chip_record.h"

namespace ostrel {

struct ChipTableError {
    int line = 0;  // 1-based line of the table; 0 for a fault of the whole table
    std::string message;
};

// Reads the table into records in table order. Stops at the first bad line and
// returns false with that line's number and the reason.
bool parseChipTable(std::istream& in, std::vector<ChipRecord>& records, ChipTableError& error);

// The catalogue file's bytes: the records followed by one all-zero terminator.
std::vector<uint8_t> catalogueImage(const std::vector<ChipRecord>& records);

}  // namespace ostrel
