#pragma once
// The command line of ostrel-cli: options anywhere, one command, at most one
// argument.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "operations/command_report.h"

namespace ostrel::cli {

struct Options {
    std::string command;
    std::vector<std::string> arguments;
    std::string chip;    // -c/--chip
    std::string maker;   // -m/--maker
    std::string lang;    // --lang; empty: from the environment
    std::string format;  // --format bin|hex|srec: how FILE is read; empty: by its extension
    // Several programmers, a part of a chip, the wire trace.
    std::string device;      // --device PATH|SERIAL
    std::string trace;       // --trace FILE
    bool verbose = false;    // -v: the wire trace on standard error
    std::string start, end;  // --start/--end ADDR (hexadecimal), as given
    std::string log;         // --log: the production log to append to
    std::string serial;      // --serial ADDR:BYTES:START[:STEP][:le|be]; records: a number
    // The production database of a line.
    std::string db;        // --db URL
    std::string product;   // --product NAME
    std::string image;     // --image FILE (product add)
    std::string lease;     // --lease N (product add and set): numbers a station leases at once
    std::string since;     // --since TIME (records)
    std::string result;    // --result R (records)
    bool csv = false;      // --csv (records)
    bool summary = false;  // --summary (records)
    bool gaps = false;     // --gaps (records): the pool's numbers on no passed chip
    std::string station;   // --station S (product reclaim)
    // The line server in front of the database, instead of --db, and the
    // file that holds the station's token for it.
    std::string line;           // --line URL
    std::string lineTokenFile;  // --line-token-file FILE
    bool detect = false;
    bool force = false;    // --force: replace an existing output file
    bool anyChip = false;  // --any-chip: go on whatever chip the socket holds
    bool cutFile = false;  // --cut-file: take the chip's size of a longer file
    bool json = false;
    bool quiet = false;
    bool help = false;
    bool version = false;

    // --id: chips lists only the chips with this ID.
    std::optional<uint32_t> id;
    bool readTest = false;  // doctor --read-test
    std::string report;     // doctor --report FILE
    bool all = false;       // --all: verify reads on and lists every difference
    bool noVerify = false;  // --no-verify: neither write nor erase checks the chip after it
    bool twice = false;     // --twice: read reads the chip twice and compares the reads

    // Where the station's chips are recorded: --line, else --db (empty: nowhere).
    const std::string& stationUrl() const { return line.empty() ? db : line; }
};

// A serial number as records --serial takes it: decimal, or hexadecimal after 0x.
std::optional<uint64_t> recordSerial(const std::string& text);

// What follows an option, and so what the shell completion offers for it.
enum class OptionValue {
    None,     // a switch
    Chip,     // a chip name of the catalogue
    Maker,    // a maker of the catalogue
    Id,       // six hex digits
    File,     // a file
    Choice,   // one of the option's `choices`
    Anything  // a number, an address, a programmer: nothing to offer
};

// One option as the parser takes it; the shell completion is made from the
// same table when the program is built, so that the two cannot differ.
struct OptionSpec {
    const char* longName;   // "--chip"
    const char* shortName;  // "-c", or null
    OptionValue value;
    const char* choices;         // OptionValue::Choice: the values, separated by spaces
    bool Options::*flag;         // a switch: set to true
    std::string Options::*text;  // a value: kept as given (null for --id, parsed)
};
const std::vector<OptionSpec>& optionTable();

// What a command takes after its name.
enum class CommandArgument { None, File, ChipKey, Words };

// One command as the parser takes it. A chip command's name is the one the
// production log and the JSON give it (commandName), so that the three cannot
// differ.
struct CommandSpec {
    const char* name;
    std::size_t least;  // arguments
    std::size_t most;
    CommandArgument argument;
    const char* words = nullptr;        // Words: what the first argument can be
    std::optional<ChipCommand> chip{};  // a chip command: the one it runs
};
const std::vector<CommandSpec>& commandTable();

// The chip command `name` runs; none for another command or an unknown one.
std::optional<ChipCommand> chipCommandNamed(const std::string& name);

// Parses argv; false with `error` set on a usage error.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);

// The language index of --lang (en, zh_CN, zh_TW) or, without it, of the
// locale variables LC_ALL, LC_MESSAGES and LANG, as the window's first start
// takes them (languageForLocale). -1 for a --lang value that is none of the three.
int languageFor(const std::string& lang, const char* lcAll, const char* lcMessages,
                const char* langVariable);

extern const char kUsage[];

}  // namespace ostrel::cli
