// The converter's exit status: 0 only when the file was loaded and saved.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "support/temp_files.h"

namespace ostrel::testing {
namespace {

int convert(const std::string& arguments) {
    const std::string command =
        std::string(OSTREL_BIN_DIR) + "/ostrel-convert " + arguments + " 2>/dev/null >/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Converter, ExitStatusTellsWhetherTheConversionWorked) {
    TempDir dir;
    const std::string d = dir.path() + "/";
    writeFile(d + "in.bin", std::string("\x01\x02\x03", 3));
    writeFile(d + "bad.hex", ":0300300002337A1F\r\n:00000001FF\r\n");
    writeFile(d + "noend.hex", ":0300300002337A1E\r\n");
    writeFile(d + "empty.bin", "");
    writeFile(d + "taken.hex", "keep me");
    // Intel HEX text under a raw name: refused until --format says how to read it.
    writeFile(d + "hexas.bin", ":03000000010203F7\r\n:00000001FF\r\n");

    const struct {
        std::string arguments;
        int status;
    } cases[] = {
        {"", 2},
        {"--help", 0},
        {"--bogus " + d + "in.bin " + d + "x.hex", 2},
        {d + "in.bin", 2},
        {d + "a " + d + "b " + d + "c", 2},
        {d + "in.bin " + d + "out.hex", 0},
        {d + "out.hex " + d + "back.bin", 0},
        {d + "in.bin " + d + "taken.hex", 1},
        {d + "missing.bin " + d + "m.hex", 1},
        {d + "bad.hex " + d + "bad.bin", 1},
        {d + "noend.hex " + d + "noend.bin", 1},
        {d + "empty.bin " + d + "empty.hex", 0},
        {d + "hexas.bin " + d + "refused.bin", 1},
        {"--format hex " + d + "hexas.bin " + d + "taken.bin", 0},
        {"--format=srec " + d + "hexas.bin " + d + "wrong.bin", 1},
        {"--format elf " + d + "hexas.bin " + d + "elf.bin", 2},
    };
    for (const auto& c : cases) EXPECT_EQ(convert(c.arguments), c.status) << c.arguments;

    EXPECT_EQ(readFile(d + "out.hex"), ":03000000010203F7\r\n:00000001FF\r\n");
    EXPECT_EQ(readFile(d + "back.bin"), std::string("\x01\x02\x03", 3));
    EXPECT_EQ(readFile(d + "taken.hex"), "keep me");
    EXPECT_EQ(readFile(d + "empty.hex"), ":00000001FF\r\n");
    // A failed load writes nothing.
    EXPECT_FALSE(std::ifstream(d + "bad.bin").good());
    EXPECT_FALSE(std::ifstream(d + "noend.bin").good());
    EXPECT_FALSE(std::ifstream(d + "refused.bin").good());
    EXPECT_EQ(readFile(d + "taken.bin"), std::string("\x01\x02\x03", 3));

    EXPECT_EQ(convert("--force " + d + "in.bin " + d + "taken.hex"), 0);
    EXPECT_EQ(readFile(d + "taken.hex"), ":03000000010203F7\r\n:00000001FF\r\n");
}

}  // namespace
}  // namespace ostrel::testing
