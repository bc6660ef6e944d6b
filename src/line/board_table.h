#pragma once
// A board table as the routes send it: JSON for the page, CSV for a
// spreadsheet.

#include <string>

#include "line/board_data.h"

namespace ostrel::line {

// {"columns":[...],"rows":[{column: cell, ...}, ...], fact: cell, ...}. A
// text that is not UTF-8 has its bad bytes replaced, never refused.
std::string boardJson(const BoardTable& table);

// The columns' names, then one line per row, lines ending in CRLF. A text
// with a comma, a quote or a line break is quoted; one that a spreadsheet
// would take for a formula (=, +, -, @, a tab or a carriage return first)
// gets an apostrophe before it.
std::string boardCsv(const BoardTable& table);

}  // namespace ostrel::line
