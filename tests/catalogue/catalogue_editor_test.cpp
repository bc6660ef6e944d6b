#include "catalogue/catalogue_editor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "base/messages.h"
#include "catalogue/catalogue_file.h"
#include "catalogue/name_text.h"
#include "support/scripted_ui.h"
#include "support/temp_files.h"

namespace ostrel {
namespace {

// The editor's Save button: a refusal or a failed write in an error box.
bool saveShown(const CatalogueEditor& editor, const std::string& path, Catalogue& catalogue,
               testing::ScriptedUi& ui) {
    const auto failure = editor.save(path, catalogue, LangEnglish);
    if (failure) ui.errorBox(*failure);
    return !failure;
}

ChipRecord record(const char* name, uint32_t id, uint32_t size, uint16_t page, uint8_t chipClass,
                  uint8_t algorithm, uint16_t eepromSize = 0, uint8_t eepromPage = 0) {
    ChipRecord r{};
    setNameText(r, name);
    r.chipId = id;
    r.flashSize = size;
    r.flashPage = page;
    r.chipClass = chipClass;
    r.algorithm = algorithm;
    r.delay = 100;
    r.eepromSize = eepromSize;
    r.eepromPage = eepromPage;
    return r;
}

// A catalogue of every class, with a GBK name, the largest sizes and the
// largest ID, and one older chip behind the terminator.
void fillCatalogue(Catalogue& c) {
    c.at(0) = record("SPI_FLASH,Winbond,W25Q256", 0xEF4019, 0x2000000, 256, 0, 128);
    c.at(0).voltage = 1;
    c.at(0).extend = 18;
    c.at(1) = record("SPI_FLASH,SST,SST25VF016B", 0xBF2541, 0x200000, 256, 0, 1);
    c.at(2) = record("24_EEPROM,Atmel,AT24C02", 0, 256, 8, 1, 1);  // a code its size denies
    c.at(3) = record("24_EEPROM,Atmel,AT24C256", 0, 0x8000, 64, 1, 1);
    c.at(4) = record("93_EEPROM,Microchip,93C66B", 0, 512, 2, 2, 89);
    c.at(5) = record("95_EEPROM,ST,M95M02", 0, 0x40000, 256, 3, 2);
    c.at(6) = record("AVR,Atmel,ATmega2560", 0x1E9801, 0x40000, 256, 4, 0, 4096, 8);
    c.at(7) = record("\xd0\xbe\xc6\xac,\xbb\xaa\xb0\xee,X", 0xFFFFFFFF, 0x4000000, 0xFFFF, 0, 0,
                     8192, 128);
    c.at(9) = record("SPI_FLASH,Old,OLD", 1, 1, 1, 0, 0);
}

struct EditorFixture : ::testing::Test {
    void SetUp() override {
        fillCatalogue(catalogue);
        ASSERT_TRUE(saveCatalogueFile(path, catalogue, 8));
        original = testing::readFile(path);
        editor.open(catalogue);
    }
    // Saves and checks that a refusal names what it should and changes nothing.
    void expectRefused(const std::string& message) {
        const Catalogue before = catalogue;
        EXPECT_FALSE(saveShown(editor, path, catalogue, ui));
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, message);
        EXPECT_EQ(ui.boxes[0].icon, BoxIcon::Error);
        EXPECT_EQ(testing::readFile(path), original) << "the file was written";
        EXPECT_EQ(std::memcmp(&before, &catalogue, sizeof before), 0) << "the catalogue changed";
    }

    testing::TempDir dir;
    std::string path = dir.file("ostrel.Dat");
    std::string original;
    Catalogue catalogue;
    CatalogueEditor editor;
    testing::ScriptedUi ui;
};

TEST_F(EditorFixture, OpeningAndSavingWithoutChangesKeepsEveryChipAndField) {
    EXPECT_EQ(editor.chipRows(), 8);
    EXPECT_EQ(editor.grid()[1][ColChipId], "0xEF4019");
    EXPECT_EQ(editor.grid()[8][ColChipId], "0xFFFFFFFF");
    EXPECT_EQ(editor.controls().type.text, "SPI_FLASH");
    EXPECT_EQ(editor.controls().manufacturer.entries.size(), 6u);
    ASSERT_TRUE(saveShown(editor, path, catalogue, ui));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(testing::readFile(path), original);
    EXPECT_STREQ(catalogue.at(9).nameText, "SPI_FLASH,Old,OLD") << "behind the terminator";
}

// Each row is loaded into the controls and written back by Edit: the lists
// show the right entries and the row holds its values again, except where
// the 24-series size decides the algorithm whatever code the row held.
TEST_F(EditorFixture, RowLoadAndEditRoundTripEveryClass) {
    struct Case {
        int row;
        const char* algorithm;
        const char* flashSize;
        const char* eepromSize;
        const char* storedAlgorithm;
    } cases[] = {
        {1, "大于16M bytes", "32MB", "0B", "128"}, {2, "SST SPI flash", "2MB", "0B", "1"},
        {3, "小于4KB", "256B", "0B", "0"},         {4, "大于等于4KB", "32KB", "0B", "1"},
        {5, "93C66 16 BITS", "512B", "0B", "89"},  {6, "24位地址", "256KB", "0B", "2"},
        {7, "标准算法", "256KB", "4KB", "0"},      {8, "非SST SPI flash", "64MB", "8KB", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        const EditorRow before = editor.grid()[c.row];
        editor.selectCell(c.row);
        ASSERT_FALSE(editor.loadRow().has_value());
        const EditorControls& k = editor.controls();
        EXPECT_EQ(k.algorithm.text, c.algorithm);
        EXPECT_EQ(k.flashSize.text, c.flashSize);
        EXPECT_EQ(k.eepromSize.text, c.eepromSize);
        EXPECT_EQ(k.name.text, before[ColName]);
        ASSERT_TRUE(editor.edit());
        EXPECT_EQ(editor.grid()[c.row][ColAlgorithm], c.storedAlgorithm);
        EditorRow expected = before;
        expected[ColAlgorithm] = c.storedAlgorithm;
        // A page of 0 has no entry: the page list's first entry, 1, stands for it.
        if (expected[ColEepromPage] == "0") expected[ColEepromPage] = "1";
        EXPECT_EQ(editor.grid()[c.row], expected);
    }
}

// The edges of loading a row: a bad number cell loads nothing, the 24-series
// size decides the algorithm at 4 KB, and a 25-series code without an entry
// keeps the one the class change chose.
TEST_F(EditorFixture, RowLoadEdges) {
    struct Case {
        const char* what;
        std::function<int(CatalogueEditor&, Catalogue&)> row;  // prepares it, returns it
        const char* message;                                   // "" when it loads
        const char* name;                                      // ComboBox3 afterwards
        const char* algorithm;                                 // ComboBox8 afterwards
    };
    const auto addedRow = [](const char* name, int flashSize, int algorithm, const char* delay) {
        return [=](CatalogueEditor& e, Catalogue&) {
            e.classChanged(ClassEeprom24);
            e.controls().flashSize.choose(flashSize);
            e.controls().algorithm.choose(algorithm);
            e.controls().name.text = name;
            e.controls().delay = delay;
            e.add();
            return e.chipRows();
        };
    };
    const Case cases[] = {
        {"24-series of 2KB", addedRow("C2K", 5, 1, "5"), "", "C2K", "小于4KB"},
        {"24-series of 4KB", addedRow("C4K", 6, 0, "5"), "", "C4K", "大于等于4KB"},
        {"a delay that is no number", addedRow("BAD", 6, 0, "1O0"),
         "'1O0' is not a valid integer value", "untouched", "untouched"},
        {"25-series code 5",
         [](CatalogueEditor& e, Catalogue& c) {
             c.at(1).algorithm = 5;
             e.open(c);
             return 2;
         },
         "", "SST25VF016B", "非SST SPI flash"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fillCatalogue(catalogue);
        editor.open(catalogue);
        const int row = c.row(editor, catalogue);
        editor.controls().name.text = "untouched";
        editor.controls().algorithm.text = "untouched";
        editor.selectCell(row);
        const auto message = editor.loadRow();
        EXPECT_EQ(message.value_or(""), c.message);
        EXPECT_EQ(editor.controls().name.text, c.name);
        EXPECT_EQ(editor.controls().algorithm.text, c.algorithm);
    }
}

// Lists that show no entry write nothing into their cells: an Add with the
// class and algorithm lists as they open leaves both cells empty, and Save
// stops at the first with the conversion message.
TEST_F(EditorFixture, ListsShowingNoEntryWriteNothing) {
    CatalogueEditor fresh;
    fresh.open(catalogue);
    ASSERT_EQ(fresh.controls().chipClass.position, -1);
    fresh.add();
    const EditorRow& added = fresh.grid()[9];
    EXPECT_EQ(added[ColClass], "");
    EXPECT_EQ(added[ColAlgorithm], "");
    EXPECT_EQ(added[ColFlashSize], "64");
    editor = fresh;
    expectRefused("'' is not a valid integer value");
}

TEST_F(EditorFixture, ChipIdsInAnyNotationStoreTheSameNumber) {
    for (const char* id :
         {"0xC22017", "12722199", "$C22017", "0XC22017", "xc22017", " +12722199"}) {
        editor.controls().chipId.text = id;
        editor.controls().chipClass.choose(0);
        editor.classChanged(0);
        editor.add();
    }
    ASSERT_TRUE(saveShown(editor, path, catalogue, ui));
    for (int i = 8; i < 14; ++i) EXPECT_EQ(catalogue.at(i).chipId, 0xC22017u) << i;
    EXPECT_EQ(catalogue.count(), 14);
}

TEST_F(EditorFixture, SaveRefusesWhatTheFileCannotHoldAndNamesTheRow) {
    struct Case {
        const char* what;
        std::function<void(CatalogueEditor&)> change;
        std::string message;
    } cases[] = {
        {"delay text",
         [](CatalogueEditor& e) {
             e.selectCell(2);
             e.loadRow();
             e.controls().delay = "1O0";
             e.add();
         },
         "'1O0' is not a valid integer value"},
        {"long name",
         [](CatalogueEditor& e) {
             e.selectCell(1);
             e.loadRow();
             e.controls().name.text = std::string(30, 'N');
             e.edit();
         },
         "Row 1: type, manufacturer and name take 48 bytes together; a chip record holds 47. "
         "The file was not written."},
        {"EEPROM of 64KB",
         [](CatalogueEditor& e) {
             e.selectCell(7);
             e.loadRow();
             e.controls().eepromSize.choose(16);
             e.edit();
         },
         "Row 7: the EEPROM value 65536 is out of range (0 to 8192). The file was not written."},
        {"EEPROM page of 256",
         [](CatalogueEditor& e) {
             e.selectCell(7);
             e.loadRow();
             e.controls().eepromPage.choose(8);
             e.edit();
         },
         "Row 7: the EEPROM页 value 256 is out of range (0 to 255). The file was not written."},
        {"a thousand chips",
         [](CatalogueEditor& e) {
             e.selectCell(1);
             e.loadRow();
             while (e.chipRows() < 1000) e.add();
         },
         "The grid holds 1000 chips; the catalogue file holds at most 999. The file was not "
         "written."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        editor.open(catalogue);
        ui.boxes.clear();
        c.change(editor);
        expectRefused(c.message);
    }
    // 47 bytes still fit, and 999 chips.
    editor.open(catalogue);
    editor.selectCell(1);
    editor.loadRow();
    editor.controls().name.text = std::string(29, 'N');
    editor.edit();
    while (editor.chipRows() < 999) editor.add();
    ui.boxes.clear();
    ASSERT_TRUE(saveShown(editor, path, catalogue, ui));
    EXPECT_EQ(testing::readFile(path).size(), 1000 * kChipRecordSize);
    EXPECT_EQ(nameTextOf(catalogue.at(0)).size(), 47u);
}

TEST_F(EditorFixture, DeletingEveryChipAndSavingLeavesOnlyTheTerminator) {
    EXPECT_FALSE(editor.edit()) << "Edit before any row was selected";
    editor.selectCell(8);
    while (editor.remove()) {
        EXPECT_LE(editor.rememberedRow(), editor.chipRows());
    }
    EXPECT_EQ(editor.chipRows(), 0);
    EXPECT_FALSE(editor.edit());
    ASSERT_TRUE(saveShown(editor, path, catalogue, ui));
    EXPECT_EQ(testing::readFile(path), std::string(kChipRecordSize, '\0'));
    EXPECT_EQ(catalogue.count(), 0);
}

TEST_F(EditorFixture, AFailedWriteSaysWhereAndKeepsTheCatalogue) {
    editor.selectCell(1);
    editor.remove();
    const std::string bad = dir.file("missing/ostrel.Dat");
    EXPECT_FALSE(saveShown(editor, bad, catalogue, ui));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].text.find(bad), std::string::npos) << ui.boxes[0].text;
    EXPECT_EQ(catalogue.count(), 8);
    EXPECT_STREQ(catalogue.at(0).nameText, "SPI_FLASH,Winbond,W25Q256");
}

}  // namespace
}  // namespace ostrel
