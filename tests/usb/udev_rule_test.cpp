// The udev rule the package installs gives the user at the desk the programmer
// the transport looks for and its boot loader, and nothing else; the help for
// an unusable programmer names that rule.

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "base/texts.h"
#include "firmware/firmware_upgrade.h"
#include "support/temp_files.h"
#include "usb/programmer_identity.h"

namespace ostrel {
namespace {

constexpr const char* kRuleName = "60-ostrel.rules";

TEST(UdevRule, GrantsTheSeatExactlyTheProgrammerAndItsBootLoader) {
    const std::string rule =
        testing::readFile(std::string(OSTREL_SOURCE_DIR) + "/packaging/" + kRuleName);
    ASSERT_FALSE(rule.empty());
    const std::regex ids(
        R"re(ATTRS?\{idVendor\}=="([0-9a-f]{4})", ATTRS?\{idProduct\}=="([0-9a-f]{4})")re");
    std::set<std::pair<int, int>> named;
    std::set<std::string> nodes;
    std::istringstream lines(rule);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        SCOPED_TRACE(line);
        std::smatch m;
        ASSERT_TRUE(std::regex_search(line, m, ids)) << "a rule that names no device";
        named.insert({std::stoi(m[1], nullptr, 16), std::stoi(m[2], nullptr, 16)});
        EXPECT_NE(line.find("TAG+=\"uaccess\""), std::string::npos);
        for (const char* wider : {"MODE=", "GROUP=", "OWNER=", "RUN"})
            EXPECT_EQ(line.find(wider), std::string::npos) << wider;
        nodes.insert(line.find("hidraw") != std::string::npos ? "hidraw" : "usb");
    }
    const std::set<std::pair<int, int>> expected = {
        {kProgrammerVendorId, kProgrammerProductId},
        {kBootLoaderVendorId, kBootLoaderProductId},
    };
    EXPECT_EQ(named, expected);
    EXPECT_EQ(nodes, (std::set<std::string>{"usb", "hidraw"}));
}

TEST(UdevRule, TheHelpForAnUnusableProgrammerNamesIt) {
    for (int language = 0; language < 3; ++language)
        EXPECT_NE(programText(Txt::ProgrammerUnusable, language).find(kRuleName), std::string::npos)
            << language;
}

}  // namespace
}  // namespace ostrel
