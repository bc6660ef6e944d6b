#pragma once
// The words every front end shares for a failed command: the window's box,
// the command line's error line and the production record's message say the
// same thing in the same words. Each front end adds its own around them.

#include <string>

#include "operations/command_report.h"

namespace ostrel {

// What went wrong, in `language`; empty for a failure whose words are the
// front end's own (a stop the user asked for, a chip the production record
// refused or could not keep, a file that could not be read or written: each
// has said why in its own place). `typeText` names the chip's type (UTF-8) for
// a command that would move nothing.
std::string failureText(const Failure& failure, int language, const std::string& typeText);

// What the window and the command line say when two reads differ: how many
// bytes in how many blocks, the first address with both bytes, and the
// likely cause.
std::string readsDifferText(const ReadsCompared& reads, int language);

}  // namespace ostrel
