#pragma once
// The command line of ostrel-cli: options anywhere, one command, at most one
// argument.

#include <string>
#include <vector>

namespace ostrel::cli {

struct Options {
    std::string command;
    std::vector<std::string> arguments;
    std::string chip;   // -c/--chip
    std::string maker;  // -m/--maker
    std::string lang;   // --lang; empty: from the environment
    bool detect = false;
    bool force = false;
    bool json = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    bool all = false;       // --all: verify reads on and lists every difference
    bool noVerify = false;  // --no-verify: write does not check what it wrote
};

// Parses argv; false with `error` set on a usage error.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);

// The language index of --lang (en, zh_CN, zh_TW) or, without it, of the
// locale variables LC_ALL, LC_MESSAGES and LANG: Simplified Chinese for zh_CN
// and zh_SG, Traditional for the other zh locales, English for everything
// else. -1 for a --lang value that is none of the three.
int languageFor(const std::string& lang, const char* lcAll, const char* lcMessages,
                const char* langVariable);

extern const char kUsage[];

}  // namespace ostrel::cli
