// Choosing a chip by its names: which records a name finds, and that the
// choice ends in the same selection and Type list position as choosing the
// chip through the three lists.

#include "catalogue/chip_lookup.h"

#include <gtest/gtest.h>

#include "catalogue/chip_selector.h"
#include "catalogue/name_text.h"
#include "operations/core.h"
#include "operations/main_state.h"
#include "support/scripted_ui.h"

namespace ostrel {
namespace {

void fill(Catalogue& catalogue, const std::vector<std::string>& names) {
    for (size_t i = 0; i < names.size(); ++i) {
        ChipRecord& record = catalogue.at(static_cast<int>(i));
        setNameText(record, names[i]);
        record.flashSize = 0x1000 * static_cast<uint32_t>(i + 1);
        record.flashPage = 256;
    }
}

TEST(ChipLookup, NamesFindTheirChipsAndChoosingOneSelectsItAsTheListsWould) {
    MainState state;
    fill(state.catalogue, {
                              "SPI_FLASH,Alpha,A1",      // 0
                              "SPI_FLASH,Beta,A1",       // 1: the same name, another maker
                              "SPI_FLASH,Beta,b2",       // 2
                              "24_EEPROM,Alpha,E1",      // 3
                              "93_EEPROM,Gamma,M1",      // 4
                              "93_EEPROM,Gamma,B2",      // 5: differs from 2 only in case
                              "SPI_FLASH,Alpha,A1",      // 6: a repeat the lists never reach
                              " 93_EEPROM , Gamma ,M2",  // 7: blanks around the parts
                          });
    struct Case {
        const char* wanted;
        const char* maker;
        std::vector<int> found;
        int32_t typeIndex;  // after choosing the first one found
    } cases[] = {
        {"A1", "", {0, 1}, 0},
        {"A1", "beta", {1}, 0},
        {"SPI_FLASH,Beta,A1", "", {1}, 0},
        {"E1", "", {3}, 1},
        {"b2", "", {2}, 0},  // exact case wins over the other spelling
        {"B2", "", {5}, 2},
        {"m1", "", {4}, 2},  // no exact match: case is ignored
        {"M2", "", {7}, 2},
        {"93_EEPROM,Gamma,M2", "", {7}, 2},
        {"E1", "Beta", {}, 0},
        {"Z9", "", {}, 0},
        {"", "", {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.wanted) + " / " + c.maker);
        const std::vector<ChipNames> found = findChipsNamed(state.catalogue, c.wanted, c.maker);
        std::vector<int> positions;
        for (const ChipNames& chip : found) positions.push_back(chip.position);
        EXPECT_EQ(positions, c.found);
        if (found.empty()) continue;

        testing::ScriptedUi ui;
        ChipSelector byName(state.catalogue, chipChangedInto(state, ui));
        ASSERT_TRUE(chooseChipByNames(byName, state.catalogue, found.front()));
        EXPECT_EQ(state.selected, c.found.front());
        EXPECT_EQ(state.typeIndex, c.typeIndex);
        const ListPositions named = byName.shown();

        // The same chip through the three lists, one after another.
        ChipSelector byLists(state.catalogue, chipChangedInto(state, ui));
        byLists.select(0, 0, 0);
        byLists.typeChanged(byLists.findType(found.front().type));
        byLists.manufacturerChanged(byLists.findManufacturer(found.front().manufacturer));
        byLists.nameChanged(byLists.findName(found.front().name));
        EXPECT_EQ(state.selected, c.found.front());
        EXPECT_EQ(byLists.shown().type, named.type);
        EXPECT_EQ(byLists.shown().manufacturer, named.manufacturer);
        EXPECT_EQ(byLists.shown().name, named.name);
        EXPECT_EQ(byLists.lists().names, byName.lists().names);
    }
}

}  // namespace
}  // namespace ostrel
