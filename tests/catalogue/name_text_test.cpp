#include "catalogue/name_text.h"

#include <gtest/gtest.h>

#include <cstring>

#include "catalogue/gbk_text.h"

namespace ostrel {
namespace {

using Items = std::vector<std::string>;

// "东方芯片" (a made-up maker, "Eastern Chips") in GBK.
const std::string kMakerGbk = "\xB6\xAB\xB7\xBD\xD0\xBE\xC6\xAC";

TEST(NameText, ListRuleSplitsLikeACommaList) {
    struct Case {
        std::string text;
        Items items;
    };
    const Case cases[] = {
        {"25,Maker,W25Q64", {"25", "Maker", "W25Q64"}},
        // A space inside the manufacturer ends an item: four items, so chip
        // selection takes "Semi" as the name.
        {"24,Big Semi,AT24C02", {"24", "Big", "Semi", "AT24C02"}},
        {"  25 , Maker ,\tX1", {"25", "Maker", "X1"}},
        {"a,,b", {"a", "", "b"}},
        {"a,b,", {"a", "b", ""}},
        {"a,b, ", {"a", "b"}},  // only a comma that is the very last byte adds an item
        {"\"Big Semi, Inc.\",x", {"Big Semi, Inc.", "x"}},
        {"\"say \"\"hi\"\"\",y", {"say \"hi\"", "y"}},
        {"\"open to the end", {"open to the end"}},
        {"\"ab\"cd", {"ab", "cd"}},
        {std::string("a,b\0,c", 6), {"a", "b"}},
        {"", {}},
        {" \t ", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(splitListRule(c.text), c.items) << c.text;
}

TEST(NameText, CommaRuleCutsAtTheFirstTwoCommasOnly) {
    struct Case {
        std::string text;
        const char* type;
        const char* maker;
        const char* name;
    };
    const Case cases[] = {
        {"25,Maker,W25Q64", "25", "Maker", "W25Q64"},
        {"24,Big Semi,AT24C02", "24", "Big Semi", "AT24C02"},
        {"25,M,a,b c", "25", "M", "a,b c"},
        {"25,W25Q64", "25", "", "W25Q64"},
        {"W25Q64", "", "", "W25Q64"},
        {",,", "", "", ""},
    };
    for (const Case& c : cases) {
        const NameParts p = splitCommaRule(c.text);
        EXPECT_EQ(p.type, c.type) << c.text;
        EXPECT_EQ(p.manufacturer, c.maker) << c.text;
        EXPECT_EQ(p.name, c.name) << c.text;
    }
}

TEST(NameText, GbkCharactersAreSteppedOverWhole) {
    const std::string text = "24," + kMakerGbk + ",AT24C02";
    EXPECT_EQ(splitListRule(text), (Items{"24", kMakerGbk, "AT24C02"}));
    EXPECT_EQ(splitCommaRule(text).manufacturer, kMakerGbk);
    EXPECT_EQ(gbkToUtf8(splitListRule(text)[1]), "东方芯片");

    // Valid GBK trail bytes are 0x40-0xFE, so no real character ends in a
    // comma or a quote; a damaged or foreign record still may, and a lead byte
    // always takes the next byte with it.
    bool ok = true;
    gbkToUtf8("\x81,", &ok);
    EXPECT_FALSE(ok) << "0x81 0x2C became a GBK character";
    EXPECT_EQ(splitListRule("25,\x81,x,y"), (Items{"25", "\x81,x", "y"}));
    EXPECT_EQ(splitListRule("25,\"\x81\",z\""), (Items{"25", "\x81\",z"}));
    EXPECT_EQ(splitCommaRule("25,\x81,x,y").manufacturer, "\x81,x");
    // A lead byte with nothing after it is one byte.
    EXPECT_EQ(splitListRule("25,\x81"), (Items{"25", "\x81"}));
}

TEST(NameText, BuildTrimsPartsAndKeepsWithin47Bytes) {
    EXPECT_EQ(buildNameText(" 25\t", " Maker ", "W25Q64 \n").text, "25,Maker,W25Q64");

    const std::string name44(44, 'N');  // "1,2," + 43 = 47 bytes
    const BuiltName exact = buildNameText("1", "2", name44.substr(0, 43));
    EXPECT_EQ(exact.text.size(), 47u);
    EXPECT_FALSE(exact.shortened);

    const BuiltName over = buildNameText("1", "2", name44);
    EXPECT_EQ(over.text, "1,2," + name44.substr(0, 43));
    EXPECT_TRUE(over.shortened);

    // A double-byte character over byte 47 goes whole, and so does the space
    // the cut then leaves at the end.
    const BuiltName gbk = buildNameText("1", "2", std::string(41, 'N') + " " + kMakerGbk);
    EXPECT_EQ(gbk.text, "1,2," + std::string(41, 'N'));
    EXPECT_TRUE(gbk.shortened);
    const BuiltName halves = buildNameText("1", "2", std::string(42, 'N') + kMakerGbk);
    EXPECT_EQ(halves.text, "1,2," + std::string(42, 'N'));
}

TEST(NameText, FieldHoldsAt47BytesAndReadsAtMost48) {
    ChipRecord r{};
    std::memset(r.nameText, 'x', kNameTextSize);
    setNameText(r, std::string(47, 'A'));
    EXPECT_EQ(r.nameText[46], 'A');
    EXPECT_EQ(r.nameText[47], 0);
    EXPECT_EQ(nameTextOf(r), std::string(47, 'A'));

    setNameText(r, std::string(45, 'B') + kMakerGbk);  // the first GBK char would end at 47
    EXPECT_EQ(nameTextOf(r), std::string(45, 'B') + kMakerGbk.substr(0, 2));
    setNameText(r, "ab");
    EXPECT_EQ(nameTextOf(r), "ab");
    EXPECT_EQ(r.nameText[2], 0);
    EXPECT_EQ(r.nameText[47], 0) << "the rest of the field is zeroed";

    // A foreign file may fill all 48 bytes; reading stops at the field's end.
    std::memset(r.nameText, 'z', kNameTextSize);
    EXPECT_EQ(nameTextOf(r), std::string(48, 'z'));
}

}  // namespace
}  // namespace ostrel
