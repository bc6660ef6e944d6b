#include "catalogue/chip_selector.h"

#include <gtest/gtest.h>

#include "catalogue/name_text.h"
#include "operations/main_state.h"
#include "support/scripted_ui.h"

namespace ostrel {
namespace {

// A list change is a step of the user: each row starts from the chip the row
// before left chosen, so the table walks one session through the lists.
TEST(ChipSelector, ListChangesChooseTheFirstEntriesBelowAndAnUnchangedListKeepsTheBuffer) {
    MainState state;
    const char* names[] = {"FLASH,Winbond,W25Q32", "FLASH,Winbond,W25Q64", "FLASH,Macronix,MX25L32",
                           "EEPROM,Atmel,24C02", "EEPROM,Atmel,24C04"};
    for (int i = 0; i < 5; ++i) setNameText(state.catalogue.at(i), names[i]);
    testing::ScriptedUi ui;
    ChipSelector selector(state.catalogue, chipChangedInto(state, ui));
    int runs = 0;
    selector.onSelected = [&](bool) { ++runs; };
    selector.select(0, 0, 1);
    ASSERT_EQ(state.selected, 1);

    enum List { Type, Maker, Name };
    struct Step {
        List list;
        int index;
        bool changes;
        int selected;
        ListPositions saved;
    } steps[] = {
        {Name, 1, false, 1, {0, 0, 0}},  // the shown entry again: no run, buffer kept
        {Maker, 1, true, 2, {0, 1, 0}},  // another maker takes its first chip
        {Type, 1, true, 3, {1, 0, 0}},   // another type takes its first maker and chip
        {Name, 1, true, 4, {1, 0, 1}},  {Type, 1, false, 4, {1, 0, 1}},
    };
    for (const Step& step : steps) {
        state.buffers.flash()[0] = 0x5A;  // what a file load would have left
        state.buffers.flashDataLength = 7;
        const int before = runs;
        const bool changed = step.list == Type    ? selector.typeChanged(step.index)
                             : step.list == Maker ? selector.manufacturerChanged(step.index)
                                                  : selector.nameChanged(step.index);
        SCOPED_TRACE(std::to_string(step.list) + " " + std::to_string(step.index));
        EXPECT_EQ(changed, step.changes);
        EXPECT_EQ(runs - before, step.changes ? 1 : 0);
        EXPECT_EQ(state.selected, step.selected);
        EXPECT_EQ(state.buffers.flash()[0], step.changes ? 0xFF : 0x5A);
        EXPECT_EQ(state.buffers.flashDataLength, step.changes ? 0 : 7);
        if (step.changes) {
            EXPECT_EQ(selector.saved.type, step.saved.type);
            EXPECT_EQ(selector.saved.manufacturer, step.saved.manufacturer);
            EXPECT_EQ(selector.saved.name, step.saved.name);
        }
        EXPECT_EQ(state.typeIndex, selector.shown().type);
    }
    EXPECT_EQ(selector.findType("eeprom"), 1);
    EXPECT_EQ(selector.nameText(), "24C04");
}

}  // namespace
}  // namespace ostrel
