#include "buffers/data_buffers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "buffers/file_io.h"
#include "buffers/intel_hex.h"
#include "buffers/range_edit.h"
#include "catalogue/chip_record.h"
#include "operations/core.h"
#include "operations/main_state.h"
#include "support/scripted_ui.h"
#include "support/temp_files.h"

namespace ostrel {
namespace {

ChipRecord chip(uint32_t flashSize, uint16_t eepromSize = 0, uint16_t extend = 0) {
    ChipRecord record{};
    std::strcpy(record.nameText, "SPI FLASH,Maker,Chip");
    record.flashSize = flashSize;
    record.eepromSize = eepromSize;
    record.extend = extend;
    return record;
}

class DataBuffersTest : public ::testing::Test {
  protected:
    DataBuffers buffers;
    testing::ScriptedUi ui;
    // What the window does with a range edit that does not convert.
    void typed(bool converted, const std::string& text) {
        if (!converted) ui.errorBox(conversionErrorText(text));
    }
};

TEST_F(DataBuffersTest, ChipSelectionShowsAnErasedChipAndNothingToWrite) {
    buffers.flash()[0x20000] = 0x12;  // beyond the chip: the reserve is erased too
    buffers.flash()[5] = 0x34;
    buffers.flashDataLength = 4096;

    ChipReset reset = buffers.ResetBuffersForChip(chip(65536), 0);

    HexDocument& view = buffers.flashView();
    ASSERT_EQ(view.DataSize(), 65536u);
    std::vector<uint8_t> shown(65536);
    view.ReadBuffer(shown.data(), 0, shown.size());
    EXPECT_EQ(shown, std::vector<uint8_t>(65536, 0xFF));
    EXPECT_EQ(buffers.flash()[0x20000], 0xFF);
    EXPECT_FALSE(view.Modified());
    EXPECT_EQ(buffers.flashDataLength, 0);
    EXPECT_EQ(reset.rangeEndText, "FFFF");
    EXPECT_EQ(buffers.rangeEndText, "FFFF");
    EXPECT_EQ(buffers.rangeEnd, 0xFFFF);
    EXPECT_TRUE(reset.fitsBuffers);
    EXPECT_TRUE(ui.boxes.empty());
}

// The FLASH buffer takes memory only as far as it is used; every byte nobody
// put anything into still reads as 0xFF, whichever way it is reached.
TEST(FlashBufferMemory, BytesPastWhatWasFilledReadAsErased) {
    testing::TempDir dir;
    struct Case {
        const char* what;
        std::function<void(MainState&, testing::ScriptedUi&)> act;
        uint32_t from, to;  // must read 0xFF
        uint32_t filledAtMost;
    };
    const Case cases[] = {
        {"a chip selection fills the chip's size, no more", [](MainState&, testing::ScriptedUi&) {},
         0, 0x10100, 0x10000},
        {"a reselection erases what lay past the chip",
         [](MainState& s, testing::ScriptedUi&) {
             s.buffers.flash()[0x3000000] = 0x12;
             s.buffers.ResetBuffersForChip(chip(4096), 0);
         },
         0x2FFFFF0, 0x3000010, kFlashBufferSize},
        {"a read taken over past the filled part",
         [](MainState& s, testing::ScriptedUi&) {
             std::memset(s.buffers.flashStaging() + 0x20000, 0, 16);
             s.buffers.commitFlashStaging(0x20000, 16);
         },
         0x10000, 0x20000, 0x20010},
        {"a staged copy handed over whole leaves nothing of it past its end",
         [](MainState& s, testing::ScriptedUi&) {
             s.buffers.fixedFlash = false;
             uint8_t* staged = s.buffers.flashStaging();
             std::memset(staged, 0x5A, 0x30000);  // left by an earlier user past the new data
             std::memset(staged, 0, 0x10000);
             s.buffers.commitFlashStaging(0, 0x10000);
             ASSERT_EQ(s.buffers.flash()[0xFFFF], 0);
         },
         0x10000, 0x30000, kFlashBufferSize},
        {"a record file whose gap lies past the filled part",
         [&dir](MainState& s, testing::ScriptedUi&) {
             std::vector<uint8_t> image(0x30010, 0xFF);  // records at 0 and 0x30000 only
             std::memset(image.data(), 0, 16);
             std::memset(image.data() + 0x30000, 0, 16);
             const std::string path = dir.file("far.hex");
             ASSERT_TRUE(WriteIntelHex(path, image.data(), 0x30010));
             // Longer than the chip, and taken.
             FileOpen open(s.selectedRecord(), s.buffers, ActivePage::Flash);
             ASSERT_FALSE(open.load(path).failed());
             ASSERT_TRUE(open.longerThanChip());
             open.commit();
             ASSERT_EQ(s.buffers.flashView().DataSize(), 0x10000u);
             ASSERT_EQ(s.buffers.flashUpTo(0x30001)[0x30000], 0);
         },
         0x10, 0x30000, 0x30020},
    };
    for (const Case& c : cases) {
        auto state = std::make_unique<MainState>();
        testing::ScriptedUi ui;
        state->catalogue.at(0) = chip(0x10000);
        state->buffers.ResetBuffersForChip(state->selectedRecord(), 0);
        c.act(*state, ui);
        EXPECT_LE(state->buffers.flashFilled(), c.filledAtMost) << c.what;
        const uint8_t* flash = state->buffers.flashUpTo(c.to);
        EXPECT_EQ(std::vector<uint8_t>(flash + c.from, flash + c.to),
                  std::vector<uint8_t>(c.to - c.from, 0xFF))
            << c.what;
    }
}

TEST_F(DataBuffersTest, EepromBufferSurvivesAChipChange) {
    buffers.ResetBuffersForChip(chip(1024, 256), 1);
    for (int i = 0; i < 256; ++i) buffers.eeprom()[i] = static_cast<uint8_t>(i);

    buffers.ResetBuffersForChip(chip(2048, 128), 1);

    const HexDocument& view = buffers.eepromView();
    ASSERT_EQ(view.DataSize(), 128u);
    for (int i = 0; i < 128; ++i) EXPECT_EQ(view.byteAt(i), i);
    EXPECT_EQ(buffers.eeprom()[200], 200);
}

TEST_F(DataBuffersTest, PageRulesFollowTheRecordAndTheTypePosition) {
    struct Case {
        uint16_t eepromSize, extend;
        int32_t typeIndex;
        bool eepromPage, configPage;
        const char* caption;
    };
    const Case cases[] = {
        {0, 0, 0, false, false, "FLASH"},  {512, 0, 4, true, false, "FLASH"},
        {0, 1, 1, false, true, "EEPROM"},  {256, 3, 2, true, true, "EEPROM"},
        {0, 0, 3, false, false, "EEPROM"}, {0, 0, 5, false, false, "EEPROM"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typeIndex);
        ChipPages pages =
            buffers.ResetBuffersForChip(chip(256, c.eepromSize, c.extend), c.typeIndex).pages;
        EXPECT_EQ(pages.eepromPageVisible, c.eepromPage);
        EXPECT_EQ(pages.configPageVisible, c.configPage);
        EXPECT_EQ(pages.flashPageCaption, c.caption);
    }
}

TEST_F(DataBuffersTest, OversizeChipIsCutToTheBuffersAndReported) {
    ChipRecord big = chip(0x8000000, 0xFFFF);
    EXPECT_FALSE(DataBuffers::fitsBuffers(big));

    // Selected as a chip is, through the state's wiring, which tells the user.
    auto state = std::make_unique<MainState>();
    state->catalogue.at(0) = big;
    chipChangedInto(*state, ui)(0, 0, true);
    DataBuffers& buffers = state->buffers;

    EXPECT_EQ(buffers.flashView().DataSize(), 0x4000000u);
    EXPECT_EQ(buffers.eepromView().DataSize(), 0x2000u);
    EXPECT_EQ(buffers.rangeEndText, "3FFFFFF");
    EXPECT_EQ(buffers.rangeEnd, 0x3FFFFFF);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, DataBuffers::oversizeChipText(big));
    EXPECT_EQ(ui.boxes[0].caption, "Error");
    EXPECT_EQ(ui.boxes[0].icon, BoxIcon::Error);

    // Taking edits and reloading stay inside the buffer too.
    buffers.flashView().overwrite(0, 0);
    EXPECT_TRUE(buffers.TakeFlashEdits(big.flashSize));
    EXPECT_EQ(buffers.flashDataLength, static_cast<int32_t>(0x4000000u));
    buffers.ShowEeprom(big.eepromSize);
    EXPECT_EQ(buffers.eepromView().DataSize(), 0x2000u);
}

TEST_F(DataBuffersTest, ChipOfTheFullBufferFits) {
    EXPECT_TRUE(DataBuffers::fitsBuffers(chip(kFlashBufferSize, kEepromBufferSize)));
    EXPECT_FALSE(DataBuffers::fitsBuffers(chip(kFlashBufferSize + 1)));
    EXPECT_FALSE(DataBuffers::fitsBuffers(chip(1024, kEepromBufferSize + 1)));
}

TEST_F(DataBuffersTest, OneEditedByteTakesTheWholeView) {
    buffers.ResetBuffersForChip(chip(65536), 0);
    buffers.flashView().overwrite(0x100, 0x5A);

    EXPECT_TRUE(buffers.TakeFlashEdits(65536));

    EXPECT_EQ(buffers.flashDataLength, 65536);
    EXPECT_EQ(buffers.flash()[0x100], 0x5A);
    EXPECT_FALSE(buffers.flashView().Modified());
    // Taken once: a second Write finds nothing new and keeps the length.
    buffers.flashDataLength = 77;
    EXPECT_FALSE(buffers.TakeFlashEdits(65536));
    EXPECT_EQ(buffers.flashDataLength, 77);
}

TEST_F(DataBuffersTest, GrownViewIsTakenOnlyUpToTheChipSize) {
    buffers.ResetBuffersForChip(chip(256), 0);
    for (int i = 0; i < 10; ++i) buffers.flashView().insert(0, static_cast<uint8_t>(i));
    ASSERT_EQ(buffers.flashView().DataSize(), 266u);

    buffers.TakeFlashEdits(256);

    EXPECT_EQ(buffers.flashDataLength, 256);
    EXPECT_EQ(buffers.flash()[0], 9);
    EXPECT_EQ(buffers.flash()[9], 0);
    EXPECT_EQ(buffers.flash()[255], 0xFF);
    EXPECT_EQ(buffers.flash()[256], 0xFF);  // nothing past the chip
}

TEST_F(DataBuffersTest, ShrunkViewGivesItsOwnSize) {
    buffers.ResetBuffersForChip(chip(256), 0);
    buffers.flash()[200] = 0x77;  // as if read from the chip after the reload
    buffers.flashView().remove(0, 16);

    buffers.TakeFlashEdits(256);

    EXPECT_EQ(buffers.flashDataLength, 240);
    EXPECT_EQ(buffers.flash()[200], 0xFF);  // view byte 200 was buffer byte 216
}

TEST_F(DataBuffersTest, UnmodifiedViewLeavesTheBufferAlone) {
    buffers.ResetBuffersForChip(chip(256), 0);
    buffers.flash()[3] = 0x42;  // e.g. a file loaded without a reload
    EXPECT_FALSE(buffers.TakeFlashEdits(256));
    EXPECT_EQ(buffers.flash()[3], 0x42);
    EXPECT_EQ(buffers.flashDataLength, 0);
}

TEST(RangeEditKeys, OnlyHexDigitsAndBackspacePass) {
    for (char32_t key : {U'0', U'9', U'A', U'F', U'a', U'f', char32_t{8}})
        EXPECT_TRUE(isHexEditKey(key)) << static_cast<int>(key);
    for (char32_t key :
         {U'G', U'g', U' ', U'x', U'-', U'/', U':', U'@', U'`', char32_t{13}, char32_t{0x4E00}})
        EXPECT_FALSE(isHexEditKey(key)) << static_cast<int>(key);
}

TEST(RangeEditConversion, ReadsPrefixedHexAsSigned32Bit) {
    struct Case {
        const char* text;
        bool ok;
        int32_t value;
    };
    const Case cases[] = {
        {"1a", true, 0x1A},
        {"0000", true, 0},
        {"FFFF", true, 0xFFFF},
        {"7FFFFFFF", true, 0x7FFFFFFF},
        {"80000000", true, INT32_MIN},
        {"FFFFFFFF", true, -1},
        {"0000000012345678", true, 0x12345678},  // leading zeros are not significant
        {"123456789", false, 0},
        {"", false, 0},
        {"12G", false, 0},
        {" 12", false, 0},
        {"-1", false, 0},
        {"0x12", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::optional<int32_t> value = hexTextToInt(c.text);
        ASSERT_EQ(value.has_value(), c.ok);
        if (c.ok) {
            EXPECT_EQ(*value, c.value);
        }
    }
}

TEST_F(DataBuffersTest, RangeEditsStoreValuesAndKeepThemOnEmptyOrBadText) {
    typed(buffers.Edit3Change("1A"), "1A");
    EXPECT_EQ(buffers.rangeStart, 0x1A);
    typed(buffers.Edit3Change(""), "");
    EXPECT_EQ(buffers.rangeStart, 0x1A);
    EXPECT_TRUE(ui.boxes.empty());

    typed(buffers.Edit3Change("123456789"), "123456789");
    EXPECT_EQ(buffers.rangeStart, 0x1A);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "'0x123456789' is not a valid integer value");
    EXPECT_EQ(ui.boxes[0].caption, "Error");
    EXPECT_EQ(ui.boxes[0].icon, BoxIcon::Error);

    typed(buffers.Edit4Change("3FFF"), "3FFF");
    EXPECT_EQ(buffers.rangeEnd, 0x3FFF);
    typed(buffers.Edit4Change("ZZ"), "ZZ");  // pasted
    EXPECT_EQ(buffers.rangeEnd, 0x3FFF);
    EXPECT_EQ(ui.boxes.back().text, "'0xZZ' is not a valid integer value");
}

// The range check box decides where Open puts a file: at the typed start
// address while it is ticked, at 0 once it is cleared again; the start stays
// typed in between, and the data length counts from 0 either way.
TEST_F(DataBuffersTest, RangeCheckBoxDecidesWhereAFileIsOpened) {
    testing::TempDir dir;
    testing::writeFile(dir.file("a.bin"), "\x11\x22\x33");
    const ChipRecord record = chip(0x100);
    buffers.ResetBuffersForChip(record, 0);
    typed(buffers.Edit3Change("10"), "10");
    struct Case {
        bool ticked;
        bool editsEnabled;
        uint32_t at;
        int32_t dataLength;
    } cases[] = {{true, true, 0x10, 0x13}, {false, false, 0, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ticked);
        std::memset(buffers.flash(), 0xFF, 0x20);
        EXPECT_EQ(buffers.CheckBox5Click(c.ticked), c.editsEnabled);
        FileOpen open(record, buffers, ActivePage::Flash);
        ASSERT_FALSE(open.load(dir.file("a.bin")).failed());
        open.commit();
        EXPECT_EQ(buffers.flash()[c.at], 0x11);
        EXPECT_EQ(buffers.flash()[c.at + 2], 0x33);
        EXPECT_EQ(buffers.flash()[c.at == 0 ? 0x10 : 0], 0xFF) << "nothing at the other place";
        EXPECT_EQ(buffers.flashDataLength, c.dataLength);
    }
}

}  // namespace
}  // namespace ostrel
