// Makes ostrel-cli's bash completion from the option and command tables its
// parser reads, at build time:
//   ostrel-cli-completion TEMPLATE OUTPUT   the script, with the template's places filled in
//   ostrel-cli-completion --table           the tables, one option or command a line:
//                                           "option LONG [SHORT] KIND", "command NAME KIND"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli/cli_options.h"

namespace ostrel::cli {
namespace {

const char* kindName(OptionValue value) {
    switch (value) {
        case OptionValue::None:
            return "switch";
        case OptionValue::Chip:
            return "chip";
        case OptionValue::Maker:
            return "maker";
        case OptionValue::Id:
            return "id";
        case OptionValue::File:
            return "file";
        case OptionValue::Choice:
            return "choice";
        case OptionValue::Anything:
            return "value";
    }
    return "value";
}

const char* kindName(CommandArgument argument) {
    switch (argument) {
        case CommandArgument::None:
            return "none";
        case CommandArgument::File:
            return "file";
        case CommandArgument::ChipKey:
            return "chip";
        case CommandArgument::Words:
            return "words";
    }
    return "none";
}

// "-c | --chip" for the options of one kind of value; all kinds but switches
// with `kind` null.
std::string pattern(const OptionValue* kind, const char* choices = nullptr) {
    std::string out;
    for (const OptionSpec& o : optionTable()) {
        if (kind ? o.value != *kind : o.value == OptionValue::None) continue;
        if (choices != nullptr && std::string(o.choices ? o.choices : "") != choices) continue;
        if (o.shortName != nullptr) out += std::string(out.empty() ? "" : " | ") + o.shortName;
        out += std::string(out.empty() ? "" : " | ") + o.longName;
    }
    return out;
}

std::string arm(const std::string& options, const std::string& body) {
    if (options.empty()) return {};
    return "        " + options + ")\n" + body + "            return\n            ;;\n";
}

std::string valueArms() {
    const auto words = [](const std::string& list) {
        return "            mapfile -t COMPREPLY < <(compgen -W \"" + list + "\" -- \"$cur\")\n";
    };
    const auto column = [](const char* part) {
        return std::string(
                   "            mapfile -t COMPREPLY < <(compgen -W \"$(_ostrel_cli_column "
                   "\"$program\" ") +
               part + ")\" -- \"$cur\")\n";
    };
    const OptionValue chip = OptionValue::Chip, maker = OptionValue::Maker, id = OptionValue::Id,
                      file = OptionValue::File, choice = OptionValue::Choice,
                      anything = OptionValue::Anything;
    std::string out = arm(pattern(&chip), column("3")) + arm(pattern(&maker), column("2")) +
                      arm(pattern(&id), column("id")) +
                      arm(pattern(&file),
                          "            compopt -o filenames 2>/dev/null\n"
                          "            mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n");
    std::vector<std::string> done;
    for (const OptionSpec& o : optionTable()) {
        if (o.value != OptionValue::Choice) continue;
        bool seen = false;
        for (const std::string& d : done) seen = seen || d == o.choices;
        if (seen) continue;
        done.push_back(o.choices);
        out += arm(pattern(&choice, o.choices), words(o.choices));
    }
    // A number, an address or a programmer: nothing to offer, and no command either.
    out += arm(pattern(&anything), "");
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

std::string optionWords() {
    std::string out;
    for (const OptionSpec& o : optionTable()) {
        if (o.shortName != nullptr) out += std::string(out.empty() ? "" : " ") + o.shortName;
        out += std::string(out.empty() ? "" : " ") + o.longName;
    }
    return out;
}

std::string commands(const CommandArgument* argument, const char* separator) {
    std::string out;
    for (const CommandSpec& c : commandTable()) {
        if (argument != nullptr && c.argument != *argument) continue;
        out += std::string(out.empty() ? "" : separator) + c.name;
    }
    return out;
}

// The commands whose first argument is one of a few words, each its own arm.
std::string wordArms() {
    std::string out;
    for (const CommandSpec& c : commandTable()) {
        if (c.argument != CommandArgument::Words) continue;
        out += std::string("        ") + c.name + ")\n" +
               "            ((COMP_CWORD == i + 1)) &&\n" +
               "                mapfile -t COMPREPLY < <(compgen -W \"" + c.words +
               "\" -- \"$cur\")\n" + "            ;;\n";
    }
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

void replace(std::string& text, const std::string& place, const std::string& value) {
    for (std::size_t at = text.find(place); at != std::string::npos;
         at = text.find(place, at + value.size()))
        text.replace(at, place.size(), value);
}

int printTable() {
    for (const OptionSpec& o : optionTable())
        std::printf("option %s%s%s %s\n", o.longName, o.shortName ? " " : "",
                    o.shortName ? o.shortName : "", kindName(o.value));
    for (const CommandSpec& c : commandTable())
        std::printf("command %s %s\n", c.name, kindName(c.argument));
    return 0;
}

int writeScript(const char* templatePath, const char* outputPath) {
    std::ifstream in(templatePath);
    if (!in) {
        std::fprintf(stderr, "ostrel-cli-completion: cannot read %s\n", templatePath);
        return 1;
    }
    std::string script((std::istreambuf_iterator<char>(in)), {});
    const CommandArgument file = CommandArgument::File, key = CommandArgument::ChipKey;
    replace(script, "@VALUE_ARMS@", valueArms());
    replace(script, "@OPTION_WORDS@", optionWords());
    replace(script, "@VALUE_OPTIONS@", pattern(nullptr));
    replace(script, "@COMMAND_WORDS@", commands(nullptr, " "));
    replace(script, "@KEY_COMMANDS@", commands(&key, " | "));
    replace(script, "@FILE_COMMANDS@", commands(&file, " | "));
    replace(script, "@WORD_ARMS@", wordArms());
    if (script.find('@') != std::string::npos) {
        std::fprintf(stderr, "ostrel-cli-completion: %s has a place this program does not fill\n",
                     templatePath);
        return 1;
    }
    std::ofstream out(outputPath);
    out << script;
    out.close();
    if (!out) {
        std::fprintf(stderr, "ostrel-cli-completion: cannot write %s\n", outputPath);
        return 1;
    }
    return 0;
}

}  // namespace
}  // namespace ostrel::cli

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--table") return ostrel::cli::printTable();
    if (argc == 3) return ostrel::cli::writeScript(argv[1], argv[2]);
    std::fputs("usage: ostrel-cli-completion TEMPLATE OUTPUT | --table\n", stderr);
    return 2;
}
