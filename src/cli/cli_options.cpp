#include "cli/cli_options.h"

#include "base/messages.h"

namespace ostrel::cli {

const char kUsage[] =
    "Usage: ostrel-cli [OPTIONS] COMMAND [ARG]\n"
    "\n"
    "Drives the Ostrel I programmer from a terminal or a script, with the same chip\n"
    "catalogue, transport and operations as the window (ostrel). It reads the\n"
    "window's chip catalogue ostrel.Dat and the SPEED value of its settings file\n"
    "ostrel.ini, and writes neither.\n"
    "\n"
    "Commands:\n"
    "  chips [KEY]      list the catalogue, one chip a line:\n"
    "                   TYPE,MAKER,NAME<TAB>size<TAB>page<TAB>ID (6 hex digits);\n"
    "                   KEY keeps the chips whose name text holds it (letter case\n"
    "                   counts), as the chip search window does\n"
    "  detect           read the chip's ID and print the chip as TYPE,MAKER,NAME,\n"
    "                   or \"unknown ID XX XX XX\", \"type TYPE\" (a chip without an\n"
    "                   ID) or \"no chip\"\n"
    "  read FILE        read the whole chip and save it to FILE\n"
    "  write FILE       load FILE, write it to the chip and verify it (a chip that\n"
    "                   did not take it, a write-protected one, gives exit 1)\n"
    "  verify FILE      load FILE and compare the chip with it; a difference\n"
    "                   prints the first differing address (--all: every\n"
    "                   differing range START-END COUNT, then the bytes that differ)\n"
    "  checksum FILE    load FILE as write would and print CRC-32, SHA-256 and the\n"
    "                   byte sum (32 and 16 bits) over its data and over the chip\n"
    "  erase            erase the chip\n"
    "  blank            check that the chip is blank (all bytes 0xFF)\n"
    "  auto FILE        load FILE, then erase, write and verify\n"
    "  info             print the programmer's hardware version, firmware version\n"
    "                   and serial number\n"
    "  upgrade FIRMWARE upgrade the programmer's firmware from a .xpro file, as the\n"
    "                   hardware-information window does: the programmer restarts\n"
    "                   as its boot loader, which is awaited for up to 50 seconds\n"
    "\n"
    "FILE formats follow the extension, as the window's Open and Save do:\n"
    "  .hex Intel HEX; .src written as S-record; .src and .eep read by their first\n"
    "  character (':' Intel HEX, 'S' S-record, else raw); .cap raw after a\n"
    "  2048-byte header;\n"
    "  anything else raw binary. A file longer than the chip is refused (with\n"
    "  --force only the chip's size of it is taken).\n"
    "\n"
    "Options:\n"
    "  -c, --chip NAME    the chip: its name (W25Q128JV) or TYPE,MAKER,NAME; a name\n"
    "                     that several makers share needs --maker. Letter case\n"
    "                     counts only when it tells chips apart.\n"
    "  -m, --maker MAKER  the chip's manufacturer, with --chip\n"
    "      --detect       choose the chip by the ID the programmer reads first\n"
    "                     (refused when the ID is not in the catalogue)\n"
    "  -f, --force        replace an existing output file\n"
    "      --all          verify: read the whole range and list every difference\n"
    "      --no-verify    write: do not verify what was written\n"
    "      --lang LANG    language of the messages: en, zh_CN or zh_TW (default:\n"
    "                     from LC_ALL, LC_MESSAGES or LANG; English otherwise)\n"
    "      --json         print one JSON object a line on standard output:\n"
    "                     {\"type\":\"progress\",\"operation\",\"done\",\"total\"}, the\n"
    "                     results of chips, detect and info, errors, and last\n"
    "                     {\"type\":\"result\",\"command\",\"status\",\"exit\",\n"
    "                     \"message\",\"elapsed\"} (seconds)\n"
    "  -q, --quiet        print only errors (and the results of chips, detect, info)\n"
    "  -h, --help         show this text\n"
    "  -V, --version      show the version\n"
    "\n"
    "Without --chip or --detect the chip commands are refused; detect and info use\n"
    "the catalogue's first chip for the programmer's set-up.\n"
    "\n"
    "Messages go to standard error; chips, detect and info print their results on\n"
    "standard output. On a terminal a progress line shows the operation, the\n"
    "percentage, the bytes, the rate and the time left. Ctrl+C stops after the\n"
    "current block and ends the job properly (a second Ctrl+C quits at once).\n"
    "\n"
    "Exit status:\n"
    "  0    done (detect: chip found; verify: equal; blank: blank)\n"
    "  1    detect: unknown ID or no chip; verify: different; blank: not blank;\n"
    "       write: the chip does not hold what was written; --detect could not\n"
    "       choose a chip\n"
    "  2    usage error, unknown chip, or a file that cannot be read or written\n"
    "  3    no programmer found (upgrade: nor its boot loader)\n"
    "  4    a transfer failed during the command (the message names the operation\n"
    "       and the address); nothing after it was done\n"
    "  130  stopped by Ctrl+C\n"
    "\n"
    "Examples:\n"
    "  ostrel-cli chips W25Q\n"
    "  ostrel-cli --detect read backup.bin\n"
    "  ostrel-cli -c W25Q128JV auto firmware.hex\n"
    "  ostrel-cli -c AT24C02 -m Atmel verify eeprom.bin\n";

namespace {

// Commands and how many arguments each takes (minimum, maximum).
struct CommandShape {
    const char* name;
    size_t least;
    size_t most;
};
constexpr CommandShape kCommands[] = {
    {"chips", 0, 1},  {"detect", 0, 0},  {"read", 1, 1},     {"write", 1, 1},
    {"verify", 1, 1}, {"erase", 0, 0},   {"blank", 0, 0},    {"auto", 1, 1},
    {"info", 0, 0},   {"upgrade", 1, 1}, {"checksum", 1, 1},
};

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

}  // namespace

bool parseOptions(int argc, char** argv, Options& options, std::string& error) {
    std::vector<std::string> words;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            words.push_back(arg);
            continue;
        }
        // An option's value: "--chip=X", "--chip X", "-cX" or "-c X".
        auto value = [&](const char* longName, const char* shortName, std::string& into) {
            const std::string withEquals = std::string(longName) + "=";
            if (startsWith(arg, withEquals.c_str())) {
                into = arg.substr(withEquals.size());
                return true;
            }
            if (arg == longName || (shortName != nullptr && arg == shortName)) {
                if (i + 1 >= argc) {
                    error = arg + " needs a value";
                    return true;
                }
                into = argv[++i];
                return true;
            }
            if (shortName != nullptr && arg.size() > 2 && startsWith(arg, shortName)) {
                into = arg.substr(2);
                return true;
            }
            return false;
        };
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "-V" || arg == "--version") {
            options.version = true;
        } else if (arg == "-f" || arg == "--force") {
            options.force = true;
        } else if (arg == "-q" || arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--all") {
            options.all = true;
        } else if (arg == "--no-verify") {
            options.noVerify = true;
        } else if (arg == "--detect") {
            options.detect = true;
        } else if (value("--chip", "-c", options.chip) || value("--maker", "-m", options.maker) ||
                   value("--lang", nullptr, options.lang)) {
            if (!error.empty()) return false;
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    if (options.help || options.version) return true;
    if (words.empty()) {
        error = "no command given";
        return false;
    }
    options.command = words.front();
    options.arguments.assign(words.begin() + 1, words.end());
    for (const CommandShape& shape : kCommands) {
        if (options.command != shape.name) continue;
        if (options.arguments.size() < shape.least) {
            error = options.command + " needs a file";
            return false;
        }
        if (options.arguments.size() > shape.most) {
            error = "too many arguments for " + options.command;
            return false;
        }
        if (options.detect && !options.chip.empty()) {
            error = "--chip and --detect exclude each other";
            return false;
        }
        if (!options.maker.empty() && options.chip.empty()) {
            error = "--maker needs --chip";
            return false;
        }
        if (!options.lang.empty() && languageFor(options.lang, nullptr, nullptr, nullptr) < 0) {
            error = "--lang takes en, zh_CN or zh_TW";
            return false;
        }
        return true;
    }
    error = "unknown command " + options.command;
    return false;
}

int languageFor(const std::string& lang, const char* lcAll, const char* lcMessages,
                const char* langVariable) {
    if (!lang.empty()) {
        if (lang == "en") return LangEnglish;
        if (lang == "zh_CN") return LangSimplified;
        if (lang == "zh_TW") return LangTraditional;
        return -1;
    }
    const char* locale = nullptr;
    for (const char* candidate : {lcAll, lcMessages, langVariable}) {
        if (candidate != nullptr && *candidate != '\0') {
            locale = candidate;
            break;
        }
    }
    if (locale == nullptr) return LangEnglish;
    const std::string name = locale;
    if (startsWith(name, "zh_CN") || startsWith(name, "zh_SG")) return LangSimplified;
    if (startsWith(name, "zh")) return LangTraditional;
    return LangEnglish;
}

}  // namespace ostrel::cli
