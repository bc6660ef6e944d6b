#include "catalogue/gbk_text.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(GbkText, ConvertsChineseBothWays) {
    struct Case {
        const char* utf8;
        std::string gbk;
    };
    const Case cases[] = {
        {"东方芯片", "\xB6\xAB\xB7\xBD\xD0\xBE\xC6\xAC"}, {"编程器", "\xB1\xE0\xB3\xCC\xC6\xF7"},
        {"編程器", "\xBE\x8E\xB3\xCC\xC6\xF7"},  // Traditional Chinese is in GBK as well
        {"25 flash 系列", "25 flash \xCF\xB5\xC1\xD0"},   {"", ""},
    };
    for (const Case& c : cases) {
        bool ok = false;
        EXPECT_EQ(utf8ToGbk(c.utf8, &ok), c.gbk) << c.utf8;
        EXPECT_TRUE(ok);
        EXPECT_EQ(gbkToUtf8(c.gbk, &ok), c.utf8);
        EXPECT_TRUE(ok);
    }
}

TEST(GbkText, UnconvertibleInputIsMarkedAndFlagged) {
    bool ok = true;
    // A lead byte followed by a byte that is no trail byte: the lead byte is
    // marked, the comma stays.
    EXPECT_EQ(gbkToUtf8("A\x81,B", &ok), "A\xEF\xBF\xBD,B");
    EXPECT_FALSE(ok);
    ok = true;
    EXPECT_EQ(gbkToUtf8("\xB6\xAB\xB6", &ok), "东\xEF\xBF\xBD");  // cut off after a lead byte
    EXPECT_FALSE(ok);

    ok = true;
    EXPECT_EQ(utf8ToGbk("芯\xF0\x9F\x98\x80片", &ok), "\xD0\xBE?\xC6\xAC");  // an emoji: one '?'
    EXPECT_FALSE(ok);
    ok = true;
    EXPECT_EQ(utf8ToGbk("a\xFF"
                        "b",
                        &ok),
              "a?b");  // not UTF-8 at all
    EXPECT_FALSE(ok);
    EXPECT_EQ(utf8ToGbk("plain"), "plain");  // the flag is optional
}

}  // namespace
}  // namespace ostrel
