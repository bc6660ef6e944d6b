#include "base/text_format.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

// Every control character must come out escaped, or a message with a line
// break would split one JSON line of the log into two broken ones.
TEST(TextFormat, QuotesJsonStringsWritesHexadecimalAndLowersOnlyAsciiLetters) {
    const struct {
        std::string text;
        const char* json;
    } quoted[] = {
        {"", "\"\""},
        {"W25X10", "\"W25X10\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"C:\\chip.bin", "\"C:\\\\chip.bin\""},
        {"a\nb\r\tc", "\"a\\nb\\r\\tc\""},
        {std::string("\x01\x1f\0", 3), "\"\\u0001\\u001f\\u0000\""},
        {"\x7f\xc3\xa9", "\"\x7f\xc3\xa9\""},
    };
    for (const auto& c : quoted) EXPECT_EQ(jsonString(c.text), c.json) << c.json;

    EXPECT_EQ(hexDigits(0xAB, 2), "AB");
    EXPECT_EQ(hexDigits(0x5, 2), "05");
    EXPECT_EQ(hexDigits(0x1A2B, 8), "00001A2B");
    EXPECT_EQ(hexDigits(0x123456789ull, 4), "123456789");
    EXPECT_EQ(hexAddress(0), "0h");
    EXPECT_EQ(hexAddress(0x1F3A), "1F3Ah");
    EXPECT_EQ(hexAddress(0x100000000ll), "100000000h");

    // The letters next to A-Z in ASCII, and UTF-8 bytes, stay as they are.
    EXPECT_EQ(asciiLower(".HEX"), ".hex");
    EXPECT_EQ(asciiLower("zh_CN.UTF-8"), "zh_cn.utf-8");
    EXPECT_EQ(asciiLower("@AZ[`az{\xc3\x84"), "@az[`az{\xc3\x84");
}

}  // namespace
}  // namespace ostrel
