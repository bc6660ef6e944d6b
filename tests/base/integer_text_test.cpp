#include "base/integer_text.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

// The editor's cells take a bare "x" as a hexadecimal prefix; the settings file
// does not, and reads "xA" as no number at all.
TEST(IntegerText, ReadsDecimalAndPrefixedHexadecimalTextsWhole) {
    struct Case {
        const char* text;
        std::optional<int32_t> cell;     // HexPrefixes::AlsoBareX
        std::optional<int32_t> setting;  // HexPrefixes::DollarAnd0x
    } cases[] = {
        {"100", 100, 100},
        {"  42", 42, 42},
        {"+7", 7, 7},
        {"-7", -7, -7},
        {"$FF", 255, 255},
        {"0x1f", 31, 31},
        {"0XFF", 255, 255},
        {"xA", 10, {}},
        {"XA", 10, {}},
        {"-x1", -1, {}},
        {"-$10", -16, -16},
        {"0xFFFFFFFF", -1, -1},
        {"2147483647", INT32_MAX, INT32_MAX},
        {"-2147483648", INT32_MIN, INT32_MIN},
        {"2147483648", {}, {}},
        {"0x100000000", {}, {}},
        {"", {}, {}},
        {" ", {}, {}},
        {"12 ", {}, {}},
        {"1a", {}, {}},
        {"0x", {}, {}},
        {"$", {}, {}},
        {"x", {}, {}},
        {"--1", {}, {}},
        {"0b1", {}, {}},
        {"1e3", {}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseIntegerText(c.text, HexPrefixes::AlsoBareX), c.cell) << c.text;
        EXPECT_EQ(parseIntegerText(c.text, HexPrefixes::DollarAnd0x), c.setting) << c.text;
    }
}

}  // namespace
}  // namespace ostrel
