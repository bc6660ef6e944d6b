// The layering of src/, read from the #include lines themselves: base is the
// floor; catalogue and usb stand on it; buffers on those; operations on
// buffers, and firmware on operations (it reaches the boot loader through the
// programmer's job steps); production (the line's database, spool, serial
// numbers and log) stands on operations too, beside firmware; cli and shell
// are the top, with line (the line server, over production) beside them,
// and only main.cpp includes shell. Windows live in ui/ folders:
// no other code includes a ui/ header, and nothing outside them includes Qt,
// since the core library links no Qt at all. The system's POSIX calls
// (unistd.h) are the platform layer's alone.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/temp_files.h"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

// What each folder of src/ may include besides itself; "" is src/ itself (main.cpp).
const std::map<std::string, std::set<std::string>>& allowed() {
    static const std::set<std::string> core = {"base",       "catalogue", "usb",       "buffers",
                                               "operations", "firmware",  "production"};
    static const std::map<std::string, std::set<std::string>> table = {
        {"base", {}},
        {"catalogue", {"base"}},
        {"usb", {"base"}},
        {"buffers", {"base", "catalogue", "usb"}},
        {"operations", {"base", "catalogue", "usb", "buffers"}},
        {"firmware", {"base", "catalogue", "usb", "buffers", "operations"}},
        {"production", {"base", "catalogue", "usb", "buffers", "operations"}},
        {"cli", core},
        {"shell", core},
        {"line", {"base", "catalogue", "usb", "buffers", "operations", "production"}},
        {"",
         {"base", "catalogue", "usb", "buffers", "operations", "firmware", "production", "shell"}},
    };
    return table;
}

bool inUiFolder(const std::string& relative) {
    return relative.rfind("ui/", 0) == 0 || relative.find("/ui/") != std::string::npos;
}

// Every include under `root` that breaks the layering, as "file:line: reason".
std::vector<std::string> layeringViolations(const fs::path& root) {
    static const std::regex includeLine(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
    std::vector<std::string> found;
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && (ext == ".h" || ext == ".cpp"))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        const std::string relative = fs::relative(file, root).generic_string();
        const auto slash = relative.find('/');
        const std::string from = slash == std::string::npos ? "" : relative.substr(0, slash);
        const auto rules = allowed().find(from);
        const bool window = inUiFolder(relative) || from.empty();
        std::ifstream in(file);
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            std::smatch m;
            if (!std::regex_search(line, m, includeLine)) continue;
            const std::string target = m[2];
            const std::string where = relative + ":" + std::to_string(number) + ": ";
            if (m[1] == "<") {
                if (target == "unistd.h" && relative != "base/platform_posix.cpp")
                    found.push_back(where + "<unistd.h> outside the platform layer");
                if (!window && target.size() > 1 && target[0] == 'Q' &&
                    (std::isupper(static_cast<unsigned char>(target[1])) || target[1] == 't'))
                    found.push_back(where + "Qt header <" + target + "> outside a ui/ folder");
                continue;
            }
            const auto targetSlash = target.find('/');
            if (targetSlash == std::string::npos) continue;  // beside the file
            const std::string to = target.substr(0, targetSlash);
            if (allowed().count(to) == 0) continue;  // not one of src/'s folders
            if (rules == allowed().end())
                found.push_back(where + "folder " + from + " has no place in the layering");
            else if (to != from && rules->second.count(to) == 0)
                found.push_back(where + from + " includes \"" + target + "\", above it");
            if (inUiFolder(target) && !window)
                found.push_back(where + "ui/ header \"" + target + "\" outside a ui/ folder");
        }
    }
    return found;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

TEST(Layering, SourceTreeIncludesOnlyDownwardsAndKeepsWindowsInUiFolders) {
    const std::vector<std::string> violations =
        layeringViolations(fs::path(OSTREL_SOURCE_DIR) / "src");
    EXPECT_TRUE(violations.empty()) << joined(violations);
}

// The check itself, against a planted tree with one fault of each kind and
// includes that are allowed.
TEST(Layering, PlantedViolationsAreNamedWithFileAndLine) {
    testing::TempDir dir;
    const fs::path root = dir.file("src");
    const std::map<std::string, std::string> files = {
        {"base/state.h", "#pragma once\n#include <cstdint>\n#include \"buffers/data_buffers.h\"\n"},
        {"catalogue/chip.cpp", "#include \"base/texts.h\"\n#include \"catalogue/chip.h\"\n"},
        {"buffers/io.h", "#include \"catalogue/chip.h\"\n  #  include \"operations/runner.h\"\n"},
        {"operations/runner.h", "#include \"firmware/hid.h\"\n"},
        {"firmware/hid.h", "#include \"operations/packets.h\"\n"},
        {"cli/main.cpp", "#include \"shell/ui/main_window.h\"\n"},
        {"production/store.cpp",
         "#include \"operations/packets.h\"\n#include \"firmware/hid.h\"\n"},
        {"usb/bulk.cpp", "#include <QWidget>\n#include \"usb/ui/notifier.h\"\n"},
        {"usb/ui/notifier.h", "#include <QObject>\n#include \"usb/device_change.h\"\n"},
        {"shell/ui/main_window.h", "#include \"buffers/ui/hex_view.h\"\n"},
        {"main.cpp", "#include <QApplication>\n#include \"shell/ui/main_window.h\"\n"},
        {"base/platform_posix.cpp", "#include <unistd.h>\n"},
        {"cli/terminal.cpp", "#include <cstdio>\n#include <unistd.h>\n"},
    };
    for (const auto& [name, text] : files) {
        fs::create_directories((root / name).parent_path());
        testing::writeFile((root / name).string(), text);
    }
    const std::vector<std::string> expected = {
        "base/state.h:3: base includes \"buffers/data_buffers.h\", above it",
        "buffers/io.h:2: buffers includes \"operations/runner.h\", above it",
        "cli/main.cpp:1: cli includes \"shell/ui/main_window.h\", above it",
        "cli/main.cpp:1: ui/ header \"shell/ui/main_window.h\" outside a ui/ folder",
        "cli/terminal.cpp:2: <unistd.h> outside the platform layer",
        "operations/runner.h:1: operations includes \"firmware/hid.h\", above it",
        "production/store.cpp:2: production includes \"firmware/hid.h\", above it",
        "usb/bulk.cpp:1: Qt header <QWidget> outside a ui/ folder",
        "usb/bulk.cpp:2: ui/ header \"usb/ui/notifier.h\" outside a ui/ folder",
    };
    EXPECT_EQ(joined(layeringViolations(root)), joined(expected));
}

}  // namespace
}  // namespace ostrel
