#pragma once
// The command line of ostrel-cli: options anywhere, one command, at most one
// argument.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
    std::string since;     // --since TIME (records)
    std::string result;    // --result R (records)
    bool csv = false;      // --csv (records)
    bool summary = false;  // --summary (records)
    bool detect = false;
    bool force = false;
    bool json = false;
    bool quiet = false;
    bool help = false;
    bool version = false;

    // --id: chips lists only the chips with this ID.
    std::optional<uint32_t> id;
    bool readTest = false;  // doctor --read-test
    std::string report;     // doctor --report FILE
    bool all = false;       // --all: verify reads on and lists every difference
    bool noVerify = false;  // --no-verify: write does not check what it wrote
};

// A serial number as records --serial takes it: decimal, or hexadecimal after 0x.
std::optional<uint64_t> recordSerial(const std::string& text);

// Parses argv; false with `error` set on a usage error.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);

// The language index of --lang (en, zh_CN, zh_TW) or, without it, of the
// locale variables LC_ALL, LC_MESSAGES and LANG, as the window's first start
// takes them (languageForLocale). -1 for a --lang value that is none of the three.
int languageFor(const std::string& lang, const char* lcAll, const char* lcMessages,
                const char* langVariable);

extern const char kUsage[];

}  // namespace ostrel::cli
