#pragma once
// Where the command line meets the core's identification, search and
// firmware upgrade: the window shows their outcomes in boxes, the command
// line prints them and turns them into exit statuses.

#include <string>
#include <vector>

#include "catalogue/chip_identification.h"
#include "catalogue/chip_selector.h"
#include "cli/terminal_ui.h"
#include "operations/main_state.h"
#include "operations/programmer_ops.h"

namespace ostrel::cli {

// Catalogue positions to list: all chips, or with `filtered` those the chip
// search window finds for `keyGbk`.
std::vector<int> chipsMatching(const Catalogue& catalogue, const std::string& keyGbk,
                               bool filtered);

// The ID read and identification, as the Detect button runs them; a known
// chip is then the selected one.
Identification detectChip(MainState& state, ProgrammerOps& ops, ChipSelector& selector);
// The line `detect` prints for an outcome that found something (or nothing):
// TYPE,MAKER,NAME (`chosenName`, GBK), "unknown ID XX XX XX", "type TYPE" or
// "no chip", in UTF-8.
std::string detectionLine(const Identification& found, const std::string& chosenName);

enum class UpgradeOutcome {
    Done,
    NoFile,        // the file is not there; nothing has been said yet
    FileRefused,   // the file holds no firmware image (the user has been told)
    NoProgrammer,  // neither the programmer nor its boot loader answered (told)
    Failed,        // the upgrade broke off (the user has been told where)
};

// The hardware-information window's upgrade with the firmware file at `path`.
// `result` receives what it came to in words, without a clock time.
UpgradeOutcome upgradeFirmware(MainState& state, ProgrammerOps& ops, TerminalUi& ui,
                               const std::string& path, std::string& result);

}  // namespace ostrel::cli
