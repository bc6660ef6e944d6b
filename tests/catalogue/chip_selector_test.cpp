#include "catalogue/chip_selector.h"

#include <gtest/gtest.h>

#include <functional>

#include "catalogue/chip_lookup.h"
#include "catalogue/name_text.h"
#include "operations/core.h"
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
        bool typed = false;  // bytes no file holds: "throw them away?" is asked
        bool letGo = true;   // its answer
    } steps[] = {
        {Name, 1, false, 1, {0, 0, 0}},  // the shown entry again: no run, buffer kept
        {Maker, 1, true, 2, {0, 1, 0}},  // another maker takes its first chip
        {Type, 1, true, 3, {1, 0, 0}},   // another type takes its first maker and chip
        {Name, 1, true, 4, {1, 0, 1}},
        {Type, 1, false, 4, {1, 0, 1}},
        // Declined: the lists are shown again as they were, nothing else runs.
        {Name, 0, false, 4, {1, 0, 1}, true, false},
        {Name, 0, true, 3, {1, 0, 0}, true, true},
    };
    selector.mayResetBuffers = chipChangeAsking(state, ui);
    for (const Step& step : steps) {
        state.buffers.flash()[0] = 0x5A;  // what a file load would have left
        state.buffers.flashDataLength = 7;
        if (step.typed) state.buffers.recordFill(EditStep{});
        ui.answers = {step.letGo};
        const std::size_t asked = ui.boxes.size();
        const int before = runs;
        const bool changed = step.list == Type    ? selector.typeChanged(step.index)
                             : step.list == Maker ? selector.manufacturerChanged(step.index)
                                                  : selector.nameChanged(step.index);
        SCOPED_TRACE(std::to_string(step.list) + " " + std::to_string(step.index));
        EXPECT_EQ(changed, step.changes);
        EXPECT_EQ(runs - before, step.changes || step.typed ? 1 : 0);
        EXPECT_EQ(ui.boxes.size() - asked, step.typed ? 1u : 0u);
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
    EXPECT_EQ(selector.nameText(), "24C02");
}

// The catalogue editor's Save replaces the catalogue under the lists. The chip
// they show, chosen as Search or Detect choose (the saved positions name
// another), is found again by its names wherever it went.
TEST(ChipSelector, ACatalogueChangeShowsTheSameChipAndKeepsItsBytesWhileItsSizesStay) {
    struct Case {
        const char* what;
        std::function<void(Catalogue&)> change;
        const char* shownName;
        int selected;
        bool kept;
        bool letGo = true;  // the answer to "throw the typed bytes away?"
    };
    const Case cases[] = {
        {"saved unchanged", [](Catalogue&) {}, "24C04", 4, true},
        {"a chip inserted before it",
         [](Catalogue& c) {
             for (int i = 5; i > 0; --i) c.at(i) = c.at(i - 1);
             setNameText(c.at(0), "FLASH,Winbond,W25Q16");
         },
         "24C04", 5, true},
        {"its page size changed", [](Catalogue& c) { c.at(4).flashPage = 32; }, "24C04", 4, true},
        {"its FLASH size changed", [](Catalogue& c) { c.at(4).flashSize = 1024; }, "24C04", 4,
         false},
        // The selection follows the catalogue; only the bytes stay.
        {"its FLASH size changed, typed bytes kept", [](Catalogue& c) { c.at(4).flashSize = 1024; },
         "24C04", 4, true, false},
        {"deleted, typed bytes kept", [](Catalogue& c) { c.at(4) = ChipRecord{}; }, "W25Q32", 0,
         true, false},
        {"its EEPROM size changed", [](Catalogue& c) { c.at(4).eepromSize = 0; }, "24C04", 4,
         false},
        // Gone: the saved positions (the first chip) choose, as at start-up.
        {"deleted", [](Catalogue& c) { c.at(4) = ChipRecord{}; }, "W25Q32", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MainState state;
        const char* names[] = {"FLASH,Winbond,W25Q32", "FLASH,Winbond,W25Q64",
                               "FLASH,Macronix,MX25L32", "EEPROM,Atmel,24C02",
                               "EEPROM,Atmel,24C04"};
        for (int i = 0; i < 5; ++i) {
            setNameText(state.catalogue.at(i), names[i]);
            state.catalogue.at(i).flashSize = 512u << i;
            state.catalogue.at(i).eepromSize = 16;
        }
        testing::ScriptedUi ui;
        ChipSelector selector(state.catalogue, chipChangedInto(state, ui));
        selector.select(0, 0, 0);
        ASSERT_TRUE(
            chooseChipByNames(selector, state.catalogue, chipNamesOf(state.catalogue.at(4), 4)));
        selector.mayResetBuffers = chipChangeAsking(state, ui);
        ui.answers = {c.letGo};
        state.buffers.flashView().overwrite(3, 0x5A);  // typed, not yet taken over
        state.buffers.flash()[0] = 0x11;
        state.buffers.flashDataLength = 2;

        c.change(state.catalogue);
        selector.catalogueChanged();

        EXPECT_EQ(selector.nameText(), c.shownName);
        EXPECT_EQ(state.selected, c.selected);
        EXPECT_EQ(splitCommaRule(nameTextOf(state.selectedRecord())).name, c.shownName);
        EXPECT_EQ(state.buffers.flash()[0], c.kept ? 0x11 : 0xFF);
        EXPECT_EQ(state.buffers.flashDataLength, c.kept ? 2 : 0);
        EXPECT_EQ(state.buffers.flashView().Modified(), c.kept);
        // Kept, the view keeps the bytes of the size it had.
        if (c.letGo) {
            EXPECT_EQ(state.buffers.flashView().DataSize(), state.selectedRecord().flashSize);
        }
        EXPECT_EQ(ui.boxes.size(), c.kept && c.letGo ? 0u : 1u) << "asked only before a reset";
        EXPECT_EQ(selector.saved.name, 0) << "the saved selection is the lists' own";
    }
}

}  // namespace
}  // namespace ostrel
