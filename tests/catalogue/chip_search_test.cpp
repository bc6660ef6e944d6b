#include "catalogue/chip_search.h"

#include <gtest/gtest.h>

#include "catalogue/name_text.h"
#include "operations/core.h"
#include "operations/main_state.h"
#include "support/scripted_ui.h"

namespace ostrel {
namespace {

// "\x83\x57" is one double-byte character whose trail byte is the letter W.
void fillCatalogue(Catalogue& catalogue) {
    const char* names[] = {"SPI_FLASH,Winbond,W25Q32",
                           "SPI_FLASH,Atmel,AT25DF041",
                           "24_EEPROM,Atmel,AT24C02",
                           "AVR,Atmel,ATmega8",
                           "SPI_FLASH,Maker,\x83\x57\x32\x35Q",  // a GBK character, then 25Q
                           "",
                           "AVR,Atmel,ATtiny13"};
    int i = 0;
    for (const char* n : names) setNameText(catalogue.at(i++), n);
}

TEST(ChipSearch, FindsTheKeyAnywhereInTheNameTextCaseSignificantBeforeTheTerminator) {
    Catalogue catalogue;
    fillCatalogue(catalogue);
    struct Case {
        const char* key;
        std::vector<int> positions;
    } cases[] = {
        {"Atmel", {1, 2, 3}},      // every type of the maker, nothing behind the terminator
        {"  Atmel\t", {1, 2, 3}},  // the key is trimmed
        {"atmel", {}},             // letter case counts
        {"ATMEL", {}},
        {"   ", {}},
        {"", {}},
        {",Atmel,AT2", {1, 2}},  // the commas are searched too
        {"W25", {0}},            // not the trail byte of a double-byte character
        {"\x83\x57", {4}},
        {"ATtiny13", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        std::vector<int> found;
        for (const SearchRow& row : searchCatalogue(catalogue, c.key))
            found.push_back(row.position);
        EXPECT_EQ(found, c.positions);
    }
    const auto rows = searchCatalogue(catalogue, "ATmega");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].type, "AVR");
    EXPECT_EQ(rows[0].manufacturer, "Atmel");
    EXPECT_EQ(rows[0].name, "ATmega8");
}

TEST(ChipSearch, ChoosingARowShowsItsChipAndKeepsTheSavedSelection) {
    MainState state;
    fillCatalogue(state.catalogue);
    testing::ScriptedUi ui;
    ChipSelector selector(state.catalogue, chipChangedInto(state, ui));
    selector.select(0, 0, 0);
    selector.saved = {0, 0, 0};
    for (const char* key : {"AT24C02", "ATmega8", "AT25DF041"}) {
        SCOPED_TRACE(key);
        const auto rows = searchCatalogue(state.catalogue, key);
        ASSERT_EQ(rows.size(), 1u);
        chooseSearchRow(selector, state.catalogue, rows[0]);
        EXPECT_EQ(state.selected, rows[0].position);
        EXPECT_EQ(selector.typeText(), rows[0].type);
        EXPECT_EQ(selector.manufacturerText(), rows[0].manufacturer);
        EXPECT_EQ(selector.nameText(), rows[0].name);
        EXPECT_EQ(selector.saved.type, 0);
        EXPECT_EQ(selector.saved.manufacturer, 0);
        EXPECT_EQ(selector.saved.name, 0);
    }
}

}  // namespace
}  // namespace ostrel
