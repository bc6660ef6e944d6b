#pragma once
// The command line's words for a chip command's report: the plain line of a
// command that did what it should, or the error of one that did not, the
// exit status, the message and the extra fields of the JSON result object.
// Everything comes from the report; nothing is read back out of the window's
// texts.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "operations/command_report.h"

namespace ostrel::cli {

enum ExitStatus {
    ExitDone = 0,
    ExitNo = 1,  // different, not blank, unknown or no chip
    ExitUsage = 2,
    ExitNoProgrammer = 3,
    ExitTransfer = 4,
    ExitInterrupted = 130,
};

// What the report is worded with besides itself.
struct CliContext {
    int language = 2;
    std::string chip;        // the chosen chip's name (UTF-8)
    std::string typeText;    // its type (UTF-8)
    std::string file;        // the file the command read or wrote
    std::string formatName;  // the file's format as the lines name it
    // Why no programmer could be used, as the transport found it: not
    // found, or the chosen one gone or busy.
    std::string noProgrammer;
    // Why the production record refused the chip or could not keep it.
    std::string recordProblem;
    // Why the file could not be read or written.
    std::string fileProblem;
    // The serial number the production run wrote into the chip, if any.
    std::optional<uint64_t> serial;
};

struct CliOutcome {
    int exit = ExitDone;
    std::string line;        // the closing line of a command that did what it should
    std::string error;       // the error to show, or empty (already shown)
    std::string jsonFields;  // more fields of the error's JSON object (",\"address\":...")
    std::string cause;       // a second error: the likely cause of a write's difference
    std::string message;     // the result object's message
    // A read: what the bytes look like, a line each, and the result
    // object's fields for them and for a read done twice.
    std::vector<std::string> warnings;
    std::string resultFields;  // ",\"reads_matched\":...,\"warnings\":[...]"
};

CliOutcome cliOutcome(const CommandReport& report, const CliContext& context);

}  // namespace ostrel::cli
