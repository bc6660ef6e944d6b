// The window's Open and Save commands: the dialogs, the questions and the
// boxes around the core's load and save.

#include "buffers/ui/file_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "codecs/codec_test_util.h"
#include "operations/main_state.h"
#include "support/temp_files.h"

namespace ostrel::testing {
namespace {

const std::string kEnd = ":00000001FF\r\n";

using testing::filesIn;

TEST(SaveFile, AsksBeforeReplacingAFile) {
    TempDir dir;
    const std::string path = dir.file("old.bin");
    writeFile(path, "old content");
    const uint8_t data[4] = {1, 2, 3, 4};

    ScriptedUi ui;
    ui.answers = {false};
    EXPECT_FALSE(saveFileAsking(path, data, 4, ui, LangEnglish));
    EXPECT_EQ(readFile(path), "old content");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_TRUE(ui.boxes[0].question);
    EXPECT_EQ(ui.boxes[0].text, "File already exists. Is it covered? ");
    EXPECT_EQ(ui.boxes[0].caption, "Info");

    ui.answers = {true};
    EXPECT_TRUE(saveFileAsking(path, data, 4, ui, LangEnglish));
    EXPECT_EQ(readFile(path), "\x01\x02\x03\x04");
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"old.bin"});
}

TEST(SaveFile, AFailedWriteLeavesTheOldFileWhole) {
    TempDir dir;
    const std::vector<uint8_t> image(0x10000, 0x12);
    for (const char* name : {"old.bin", "old.hex", "old.src"}) {
        const std::string path = dir.file(name);
        writeFile(path, "old content");
        ScriptedUi ui;
        {
            FileSizeLimit limit(4096);
            EXPECT_FALSE(saveFileAsking(path, image.data(), 0x10000, ui, LangEnglish)) << name;
        }
        EXPECT_EQ(readFile(path), "old content") << name;
        EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{"File already exists. Is it covered? ",
                                                           "Error writing file."}));
        EXPECT_EQ(ui.boxes.back().caption, "Error");
        EXPECT_EQ(ui.boxes.back().icon, BoxIcon::Error);
        std::filesystem::remove(path);
        EXPECT_TRUE(filesIn(dir.path()).empty()) << name;
    }
}

TEST(SaveFile, CannotCreateInAMissingFolder) {
    TempDir dir;
    const uint8_t data[1] = {0};
    ScriptedUi ui;
    const std::string path = dir.file("missing/a.bin");
    EXPECT_FALSE(saveFileAsking(path, data, 1, ui));
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Cannot create file " + path});
}

// The Open and Save commands over a 65,536-byte chip with a 512-byte DATA area.
class FileCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        ChipRecord& chip = state.catalogue.at(0);
        std::strcpy(chip.nameText, "SPI_FLASH,Test,T64K");
        chip.flashSize = 0x10000;
        chip.flashPage = 256;
        chip.eepromSize = 512;
        state.language = LangEnglish;
    }
    std::string logLineFor(const std::string& path) { return "Open" + path + " (10:21:07)"; }

    TempDir dir;
    MainState state;
    ScriptedUi ui;
};

TEST_F(FileCommands, OpenShowsTheFiltersAndStopsOnCancel) {
    state.buffers.flashDataLength = 5;
    OpenFileCommand(state.selectedRecord(), state.buffers, ActivePage::Flash, ui, state.language);
    EXPECT_EQ(ui.lastFilter,
              "Binary (*.bin)|*.bin|Intel Hex(*.hex)|*.hex|Bios Rom (*.rom)|*.rom|Asus Rom "
              "(*.cap)|*.cap|All files (*.*)|*.*");
    EXPECT_EQ(ui.lastFilterIndex, 0);
    EXPECT_EQ(state.buffers.flashDataLength, 5);
    EXPECT_TRUE(ui.log.empty());
}

TEST_F(FileCommands, OpenSetsTheDataLengthFromTheFile) {
    const struct {
        const char* name;
        std::size_t size;
        std::deque<bool> answers;
        int32_t dataLength;  // -1: left as it was
        bool logged;
        ActivePage page = ActivePage::Flash;
    } cases[] = {
        {"short.bin", 1000, {}, 1000, true},
        // A file of exactly the chip's size is not longer than the chip.
        {"exact.bin", 0x10000, {}, 0x10000, true},
        {"long_yes.bin", 0x20000, {true}, 0x10000, true},
        {"long_no.bin", 0x20000, {false}, -1, false},
        {"eeprom_exact.bin", 512, {}, -1, true, ActivePage::Eeprom},
        {"eeprom_long.bin", 513, {false}, -1, false, ActivePage::Eeprom},
    };
    for (const auto& c : cases) {
        ScriptedUi ui;
        const std::string path = dir.file(c.name);
        writeFile(path, std::string(c.size, '\x5C'));
        state.buffers.flashDataLength = 7;
        state.buffers.ShowFlash(16);
        state.buffers.ShowEeprom(4);
        ui.openPaths = {path};
        ui.answers = c.answers;
        OpenFileCommand(state.selectedRecord(), state.buffers, c.page, ui, state.language);
        EXPECT_EQ(state.buffers.flashDataLength, c.dataLength < 0 ? 7 : c.dataLength) << c.name;
        EXPECT_EQ(ui.boxes.size(), c.answers.size()) << c.name;
        if (!c.answers.empty()) {
            EXPECT_EQ(ui.boxes[0].text,
                      "File length is larger than chip capacity. Do you want to continue to "
                      "transfer files?");
            EXPECT_EQ(ui.boxes[0].caption, "Info");
        }
        const bool flash = c.page == ActivePage::Flash;
        EXPECT_EQ(state.buffers.flashView().DataSize(), c.logged && flash ? 0x10000u : 16u)
            << c.name;
        EXPECT_EQ(state.buffers.eepromView().DataSize(), c.logged && !flash ? 512u : 4u) << c.name;
        EXPECT_EQ(ui.log, c.logged ? std::vector<std::string>{logLineFor(path)}
                                   : std::vector<std::string>{})
            << c.name;
        state.buffers.ShowFlash(0x10000);
        std::memset(state.buffers.flash(), 0xFF, 0x30000);
    }
}

TEST_F(FileCommands, OpenLeavesTheGapsOfARecordFileAsTheyWere) {
    std::vector<uint8_t> image(0x1100, 0x22);
    std::fill(image.begin() + 0x100, image.begin() + 0x1000, 0xFF);  // no records there
    const std::string path = dir.file("gaps.hex");
    ASSERT_TRUE(WriteIntelHex(path, image.data(), 0x1100));
    std::memset(state.buffers.flash(), 0x11, 0x2000);
    ui.openPaths = {path};
    OpenFileCommand(state.selectedRecord(), state.buffers, ActivePage::Flash, ui, state.language);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(state.buffers.flashDataLength, 0x1100);
    EXPECT_EQ(state.buffers.flash()[0xFF], 0x22);
    EXPECT_EQ(state.buffers.flash()[0x100], 0x11);
    EXPECT_EQ(state.buffers.flash()[0xFFF], 0x11);
    EXPECT_EQ(state.buffers.flash()[0x1000], 0x22);
}

// An Open that fails, or that the user declines, changes nothing the user can
// see or write: neither buffer, nor view, nor the data length, nor the log.
TEST_F(FileCommands, AFailedOrDeclinedOpenChangesNothing) {
    const std::string nineGoodLines = [] {
        std::string text;
        for (int line = 0; line < 9; ++line) {
            const uint8_t address = static_cast<uint8_t>(line * 4);
            const uint8_t sum = static_cast<uint8_t>(-(4 + address + 4 * 0x5C));
            char record[32];
            std::snprintf(record, sizeof record, ":0400%02X005C5C5C5C%02X\r\n", address, sum);
            text += record;
        }
        return text + ":04002400ZZ\r\n";
    }();
    const std::string tooLong =
        "File length is larger than chip capacity. Do you want to continue "
        "to transfer files?";
    const struct {
        const char* name;
        ActivePage page;
        std::string file;  // "" : the path alone, which need not exist
        std::deque<bool> answers;
        std::vector<std::string> boxes;
    } cases[] = {
        {"long.bin", ActivePage::Flash, std::string(0x20000, '\x5C'), {false}, {tooLong}},
        {"tenth_line.hex", ActivePage::Flash, nineGoodLines, {}, {"Illegal Char in File"}},
        {"missing.eep", ActivePage::Flash, "", {}, {"Can't open File"}},
        {"/proc/self/mem", ActivePage::Flash, "", {}, {"Error reading File"}},
        {"long.bin", ActivePage::Eeprom, std::string(1000, '\x5C'), {false}, {tooLong}},
        {"big.bin",
         ActivePage::Eeprom,
         std::string(10000, '\x5C'),
         {},
         {"File is too big for Buffer"}},
        {"tenth_line.hex", ActivePage::Eeprom, nineGoodLines, {}, {"Illegal Char in File"}},
    };
    std::memset(state.buffers.flash(), 0x11, 0x30000);
    std::memset(state.buffers.eeprom(), 0x22, 0x2000);
    state.buffers.ShowFlash(16);
    state.buffers.ShowEeprom(4);
    state.buffers.flashView().overwrite(0, 0x33);  // an edit not yet taken over
    state.buffers.flashDataLength = 7;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = c.name[0] == '/' ? std::string(c.name) : dir.file(c.name);
        if (!c.file.empty()) writeFile(path, c.file);
        ScriptedUi ui;
        ui.openPaths = {path};
        ui.answers = c.answers;
        OpenFileCommand(state.selectedRecord(), state.buffers, c.page, ui, state.language);
        EXPECT_EQ(ui.boxTexts(), c.boxes);
        EXPECT_TRUE(ui.log.empty());
        EXPECT_EQ(state.buffers.flashDataLength, 7);
        for (uint32_t a = 0; a < 0x30000; ++a) ASSERT_EQ(state.buffers.flash()[a], 0x11) << a;
        for (uint32_t a = 0; a < 0x2000; ++a) ASSERT_EQ(state.buffers.eeprom()[a], 0x22) << a;
        ASSERT_EQ(state.buffers.flashView().DataSize(), 16u);
        EXPECT_EQ(state.buffers.flashView().byteAt(0), 0x33);
        EXPECT_EQ(state.buffers.flashView().byteAt(15), 0x11);
        EXPECT_TRUE(state.buffers.flashView().Modified());
        ASSERT_EQ(state.buffers.eepromView().DataSize(), 4u);
        EXPECT_EQ(state.buffers.eepromView().byteAt(3), 0x22);
    }
}

TEST_F(FileCommands, ASourceFileOpensAsTheSRecordItWasSavedAs) {
    for (uint32_t a = 0; a < 0x1234; ++a) state.buffers.flash()[a] = static_cast<uint8_t>(a * 7);
    const std::string path = dir.file("image.src");
    ui.savePaths = {path};
    SaveFileCommand(state.selectedRecord(), state.buffers, ui, state.language);
    ASSERT_EQ(readFile(path).substr(0, 2), "S0");

    std::memset(state.buffers.flash(), 0xFF, 0x10000);
    ui.openPaths = {path};
    OpenFileCommand(state.selectedRecord(), state.buffers, ActivePage::Flash, ui, state.language);
    EXPECT_TRUE(ui.boxes.empty());
    for (uint32_t a = 0; a < 0x1234; ++a)
        ASSERT_EQ(state.buffers.flash()[a], static_cast<uint8_t>(a * 7)) << a;
    EXPECT_EQ(state.buffers.flash()[0x1234], 0xFF);
    EXPECT_EQ(state.buffers.flashDataLength, 0x1240);  // the last 16-byte record's end
    EXPECT_EQ(state.buffers.flashView().byteAt(0x1233), static_cast<uint8_t>(0x1233 * 7));
    EXPECT_EQ(ui.log, std::vector<std::string>{logLineFor(path)});
}

TEST_F(FileCommands, EepromPageLoadsTheFileOverAnErasedArea) {
    std::memset(state.buffers.eeprom(), 0x00, 0x2000);
    const std::string path = dir.file("data.hex");
    writeFile(path, ":01001000559A\r\n" + kEnd);
    ui.openPaths = {path};
    state.buffers.flashDataLength = 7;
    OpenFileCommand(state.selectedRecord(), state.buffers, ActivePage::Eeprom, ui, state.language);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(state.buffers.eeprom()[0], 0xFF);
    EXPECT_EQ(state.buffers.eeprom()[0x10], 0x55);
    EXPECT_EQ(state.buffers.eeprom()[0x1FFF], 0xFF);
    EXPECT_EQ(state.buffers.eepromView().DataSize(), 512u);
    EXPECT_EQ(state.buffers.eepromView().byteAt(0x10), 0x55);
    EXPECT_EQ(state.buffers.flashDataLength, 7);
    EXPECT_EQ(ui.log, std::vector<std::string>{logLineFor(path)});
}

// Record text under a name that reads raw: programmed as raw bytes it would
// put the text on the chip. The window asks, once per Open, and the first
// answer holds.
TEST_F(FileCommands, RecordTextUnderARawNameIsAskedAboutOnce) {
    const std::string hex = ":03000000010203F7\r\n:00000001FF\r\n";
    const std::string srec = "S1060000010203F3\r\nS9030000FC\r\n";
    const std::string bytes("\x01\x02\x03", 3);
    const std::string notText = ":03000000010203F7\r\nX\r\n";
    const struct {
        const char* name;
        std::string content;
        std::deque<bool> answers;
        std::string loaded;  // what the FLASH buffer begins with
        std::string box;     // the first box
    } cases[] = {
        {"fw.bin",
         hex,
         {true},
         bytes,
         "PATH holds Intel HEX text, but its extension reads it as raw binary. Read it as Intel "
         "HEX?"},
        {"fw.bin", hex, {false}, hex, "PATH holds Intel HEX text"},
        {"fw", srec, {true}, bytes, "PATH holds S-record text"},
        // The records reach past what the FLASH buffer has filled so far: a
        // second answer, were it asked, would read the text raw.
        {"fw.bin", hex, {true, false}, bytes, "PATH holds Intel HEX text"},
        // Not record text: a colon, then something that is no hexadecimal digit.
        {"fw.bin", notText, {}, notText, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.box);
        ScriptedUi ui;
        const std::string path = dir.file(c.name);
        writeFile(path, c.content);
        state.buffers.ResetBuffersForChip(state.selectedRecord(), 0);
        ui.openPaths = {path};
        ui.answers = c.answers;
        OpenFileCommand(state.selectedRecord(), state.buffers, ActivePage::Flash, ui,
                        state.language);
        const std::string head(reinterpret_cast<const char*>(state.buffers.flash()),
                               c.loaded.size());
        EXPECT_EQ(head, c.loaded);
        EXPECT_EQ(state.buffers.flashDataLength, static_cast<int32_t>(c.loaded.size()));
        EXPECT_EQ(state.buffers.flash()[c.loaded.size()], 0xFF);
        std::string box = c.box;
        if (box.rfind("PATH", 0) == 0) box.replace(0, 4, path);
        if (box.empty()) {
            EXPECT_TRUE(ui.boxes.empty());
        } else {
            ASSERT_EQ(ui.boxes.size(), 1u);
            EXPECT_EQ(ui.boxes[0].text.substr(0, box.size()), box);
            EXPECT_TRUE(ui.boxes[0].question);
        }
    }
}

TEST_F(FileCommands, ConfigPageLoadsNothing) {
    const std::string path = dir.file("a.bin");
    writeFile(path, "abc");
    ui.openPaths = {path};
    OpenFileCommand(state.selectedRecord(), state.buffers, ActivePage::Config, ui, state.language);
    EXPECT_EQ(state.buffers.flash()[0], 0xFF);
    EXPECT_EQ(state.buffers.eeprom()[0], 0xFF);
    EXPECT_EQ(ui.log, std::vector<std::string>{logLineFor(path)});
}

// Save writes the chip's size of the FLASH buffer in the name's format, with
// the bytes typed into the FLASH view taken over first as Write takes them.
// Only what the file now holds counts as saved: typed EEPROM bytes, and FLASH
// bytes whose file was not replaced, are still asked about.
TEST_F(FileCommands, SaveWritesTheChipSizeOfTheFlashBufferWithTheTypedBytes) {
    writeFile(dir.file("kept.bin"), "old");
    struct Case {
        const char* name;
        bool typed;
        bool eepromTyped;
        bool replace;   // the answer to "replace?" for an existing file
        int32_t count;  // Intel HEX leaves out the records that hold only FF; -1 not written
    } cases[] = {
        {"out.bin", false, false, true, 0x10000},  {"typed.bin", true, false, true, 0x10000},
        {"typed.hex", true, false, true, 0x4020},  {"kept.bin", true, false, false, -1},
        {"eeprom.bin", true, true, true, 0x10000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        state.buffers.flash()[0] = 0x42;
        state.buffers.flashDataLength = 1;
        state.buffers.ShowFlash(state.selectedRecord().flashSize);
        state.buffers.ShowEeprom(state.selectedRecord().eepromSize);
        if (c.typed) state.buffers.flashView().overwrite(0x4010, 0x45);
        if (c.eepromTyped) state.buffers.eepromView().overwrite(0x10, 0x46);
        const std::string path = dir.file(c.name);
        ui.savePaths = {path};
        ui.answers = {c.replace};
        SaveFileCommand(state.selectedRecord(), state.buffers, ui, state.language);
        EXPECT_EQ(state.buffers.flashEditsUnsaved(), c.count < 0);
        EXPECT_EQ(state.buffers.eepromEditsUnsaved(), c.eepromTyped);
        if (c.count < 0) {
            EXPECT_EQ(readFile(path), "old");
            continue;
        }
        std::vector<uint8_t> saved(0x20000, 0x00);
        const int32_t count = loadFile(path, saved.data(), 0x20000).count;
        ASSERT_EQ(count, c.count);
        EXPECT_EQ(saved[0], 0x42);
        EXPECT_EQ(saved[1], 0xFF);
        EXPECT_EQ(saved[0x4010], c.typed ? 0x45 : 0xFF);
        EXPECT_FALSE(state.buffers.flashView().Modified());
    }
    EXPECT_EQ(ui.lastFilter,
              "Binary (*.bin)|*.bin|Intel Hex(*.hex)|*.hex|Bios Rom (*.rom)|*.rom|All files "
              "(*.*)|*.*");
    EXPECT_EQ(ui.lastDefaultExtension, "hex");
    EXPECT_TRUE(ui.log.empty());
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"File already exists. Is it covered? "});

    ScriptedUi cancelled;
    SaveFileCommand(state.selectedRecord(), state.buffers, cancelled, state.language);
    EXPECT_TRUE(cancelled.boxes.empty());
}

}  // namespace
}  // namespace ostrel::testing
