#include "catalogue/chip_selection.h"

#include <gtest/gtest.h>

#include <cstring>

#include "catalogue/name_text.h"

namespace ostrel {
namespace {

Catalogue makeCatalogue(const std::vector<std::string>& names) {
    Catalogue c;
    for (std::size_t i = 0; i < names.size(); ++i) setNameText(c.at(int(i)), names[i]);
    return c;
}

TEST(ChipSelection, ListsFollowTheChosenTypeAndManufacturerInOrderOfFirstAppearance) {
    Catalogue c =
        makeCatalogue({"FLASH,Winbond,W25Q32", "FLASH,Macronix,MX25L32", "FLASH,Winbond,W25Q64",
                       "EEPROM,Atmel,24C02", "FLASH,winbond,W25Q128", "FLASH,Winbond,w25q64"});
    ChipLists lists;
    int32_t selected = -1;
    ASSERT_TRUE(selectChip(c, lists, 0, 0, 1, selected));
    EXPECT_EQ(lists.types, (std::vector<std::string>{"FLASH", "EEPROM"}));
    // Membership ignores letter case, so "winbond" joins "Winbond" and "w25q64" is no new name;
    // matching is exact, so the record spelled "winbond" is not among Winbond's names.
    EXPECT_EQ(lists.manufacturers, (std::vector<std::string>{"Winbond", "Macronix"}));
    EXPECT_EQ(lists.names, (std::vector<std::string>{"W25Q32", "W25Q64"}));
    EXPECT_EQ(selected, 2);

    ASSERT_TRUE(selectChip(c, lists, 1, 0, 0, selected));
    EXPECT_EQ(selected, 3);
    EXPECT_EQ(lists.types.size(), 2u) << "the Type list only grows";
}

TEST(ChipSelection, APositionBeyondTheListsKeepsThePreviousRecord) {
    Catalogue c = makeCatalogue({"FLASH,Winbond,W25Q32", "FLASH,Winbond,W25Q64"});
    ChipLists lists;
    int32_t selected = 1;
    EXPECT_FALSE(selectChip(c, lists, 0, 0, 5, selected));
    EXPECT_EQ(selected, 1);
    EXPECT_FALSE(selectChip(c, lists, 3, 0, 0, selected));
    EXPECT_EQ(selected, 1);
    EXPECT_EQ(entryAt(lists.types, -1), "");
    EXPECT_EQ(entryAt(lists.types, 7), "");
}

TEST(ChipSelection, AManufacturerWithASpaceShiftsTheNameByTheListRule) {
    // Split by the list rule, "Silicon Storage" gives four items: the second word of the
    // manufacturer is taken as the name.
    Catalogue c = makeCatalogue({"FLASH,Silicon Storage,SST25VF016B"});
    ChipLists lists;
    int32_t selected = -1;
    ASSERT_TRUE(selectChip(c, lists, 0, 0, 0, selected));
    EXPECT_EQ(lists.manufacturers, (std::vector<std::string>{"Silicon"}));
    EXPECT_EQ(lists.names, (std::vector<std::string>{"Storage"}));
}

TEST(ChipSelection, RecordsBehindTheTerminatorAreNeverListed) {
    Catalogue c = makeCatalogue({"FLASH,Winbond,W25Q32", "", "FLASH,Winbond,OLD"});
    ChipLists lists;
    int32_t selected = -1;
    selectChip(c, lists, 0, 0, 0, selected);
    EXPECT_EQ(lists.names, (std::vector<std::string>{"W25Q32"}));
}

}  // namespace
}  // namespace ostrel
