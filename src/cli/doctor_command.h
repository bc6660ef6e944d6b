#pragma once
// ostrel-cli doctor: why the programmer does not work, one line a check (a
// JSON object a check with --json), and with --report a text file that a
// maintainer can act on.

#include <functional>
#include <string>

#include "catalogue/chip_selector.h"
#include "cli/cli_options.h"
#include "cli/terminal_ui.h"
#include "operations/main_state.h"
#include "operations/programmer_ops.h"
#include "usb/usb_bulk.h"

namespace ostrel::cli {

struct DoctorContext {
    const Options& options;
    int language;
    TerminalUi& ui;
    MainState& state;
    TUsbBulk& usb;
    ProgrammerOps& ops;
    ChipSelector& selector;
    // The chip named with -c, chosen; false when it could not be (told).
    std::function<bool()> chooseNamedChip;
    // Set by runDoctor: the error that ended it, if one did.
    std::string message = {};
};

// Runs the checks and returns the exit status: 0 every check passed, 1 a chip
// problem or two different reads, 3 the programmer cannot be used, 2 a report
// that could not be written.
int runDoctor(DoctorContext& context);

}  // namespace ostrel::cli
