// The catalogue's windows driven as the user drives them: the socket pictures,
// the search window and the editor window.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>

#include "base/messages.h"
#include "base/program_paths.h"
#include "catalogue/catalogue_file.h"
#include "catalogue/name_text.h"
#include "catalogue/ui/editor_window.h"
#include "catalogue/ui/search_window.h"
#include "catalogue/ui/socket_picture.h"
#include "operations/core.h"
#include "operations/main_state.h"
#include "support/scripted_ui.h"
#include "support/temp_files.h"

namespace ostrel {
namespace {

TEST(SocketPictures, BothDecodeAt175By240AndOnlyJ1HoldsAChip) {
    const QImage empty = socketPicture(SocketPicture::EmptySocket);
    const QImage chip = socketPicture(SocketPicture::ChipInSocket);
    ASSERT_EQ(empty.size(), QSize(175, 240));
    ASSERT_EQ(chip.size(), QSize(175, 240));
    EXPECT_TRUE(socketPicture(SocketPicture::Unchanged).isNull());
    // The chip's body covers the upper middle of the socket, between the rows of holes.
    const QColor body = chip.pixelColor(85, 75);
    const QColor socket = empty.pixelColor(85, 75);
    EXPECT_LT(body.value(), 40);
    EXPECT_GT(socket.value(), body.value() + 20);

    // Data that is no JPEG, or a JPEG cut short, gives no image and no crash.
    const unsigned char junk[] = {0xFF, 0xD8, 0xFF, 0x00, 1, 2, 3};
    EXPECT_TRUE(decodeJpeg(junk, sizeof junk).isNull());
    EXPECT_TRUE(decodeJpeg(nullptr, 0).isNull());
    const unsigned char header[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0};
    EXPECT_TRUE(decodeJpeg(header, sizeof header).isNull());
}

void fillCatalogue(Catalogue& catalogue) {
    const char* names[] = {"SPI_FLASH,Winbond,W25Q32", "SPI_FLASH,Atmel,AT25DF041",
                           "24_EEPROM,Atmel,AT24C02", "AVR,Atmel,ATmega8"};
    int i = 0;
    for (const char* n : names) {
        setNameText(catalogue.at(i), n);
        catalogue.at(i).flashSize = 1024;
        catalogue.at(i).flashPage = 16;
        catalogue.at(i).chipClass = uint8_t(i == 0 ? 0 : i - 1);
        catalogue.at(i).delay = 100;
        ++i;
    }
}

struct SearchWindow : ::testing::Test {
    SearchWindow() {
        fillCatalogue(state.catalogue);
        selector.select(0, 0, 0);
    }
    QStringList titles() const {
        QStringList t;
        for (int c = 0; c < form.ListView1->columnCount(); ++c)
            t << form.ListView1->headerItem()->text(c);
        return t;
    }
    MainState state;
    testing::ScriptedUi ui;
    ChipSelector selector{state.catalogue, chipChangedInto(state, ui)};
    TForm3 form{state.catalogue, state.language, selector};
};

TEST_F(SearchWindow, TypingListsMatchesAndSelectChoosesTheRowAndCloses) {
    state.language = LangEnglish;
    form.show();
    EXPECT_EQ(titles(), (QStringList{"Type", "Manufacturer", "Name"}));
    QTest::keyClicks(form.ComboBox1->lineEdit(), "Atmel");
    ASSERT_EQ(form.ListView1->topLevelItemCount(), 3);
    EXPECT_EQ(titles(), (QStringList{"Type", "Manufacturer", "Name", "pos"}));
    EXPECT_EQ(form.ListView1->topLevelItem(2)->text(2), "ATmega8");
    EXPECT_EQ(form.ListView1->topLevelItem(2)->text(3), "3");

    // Select with no row chosen does nothing and the window stays.
    form.BitBtn1->click();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(state.selected, 0);

    form.ListView1->setCurrentItem(form.ListView1->topLevelItem(1));
    form.BitBtn1->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(state.selected, 2);
    EXPECT_EQ(selector.nameText(), "AT24C02");

    // Reopening keeps the text and shows no rows, under the current language's titles.
    state.language = LangSimplified;
    form.show();
    EXPECT_EQ(form.ComboBox1->currentText(), "Atmel");
    EXPECT_EQ(form.ListView1->topLevelItemCount(), 0);
    EXPECT_EQ(titles(), (QStringList{QString::fromUtf8("类型"), QString::fromUtf8("厂商"),
                                     QString::fromUtf8("名称")}));

    // A case-differing key finds nothing; a double click on a row chooses it.
    form.ComboBox1->setEditText("atmel");
    EXPECT_EQ(form.ListView1->topLevelItemCount(), 0);
    form.ComboBox1->setEditText("W25");
    ASSERT_EQ(form.ListView1->topLevelItemCount(), 1);
    QTreeWidgetItem* row = form.ListView1->topLevelItem(0);
    const QRect rect = form.ListView1->visualItemRect(row);
    QTest::mouseClick(form.ListView1->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(form.ListView1->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(state.selected, 0);
}

struct EditorWindow : ::testing::Test {
    EditorWindow() {
        fillCatalogue(state.catalogue);
        state.catalogue.at(2).algorithm = 1;
        saveCatalogueFile(path, state.catalogue, 4);
        form.onSaved = [this] { ++saves; };
    }
    testing::TempDir dir;
    std::string path = dir.file("ostrel.Dat");
    MainState state;
    testing::ScriptedUi ui;
    TForm2 form{state.catalogue, state.language, ProgramPaths(dir.file("ostrel")), ui};
    int saves = 0;
};

TEST_F(EditorWindow, OpensWithTheGridAndInitialControlsThenLoadsEditsAndSaves) {
    form.show();
    ASSERT_EQ(form.StringGrid1->rowCount(), 4);
    EXPECT_EQ(form.StringGrid1->horizontalHeaderItem(12)->text(), QString::fromUtf8("关联XML"));
    EXPECT_EQ(form.StringGrid1->item(3, 2)->text(), "ATmega8");
    EXPECT_EQ(form.ComboBox1->currentText(), "SPI_FLASH");
    EXPECT_EQ(form.ComboBox4->currentText(), QString::fromUtf8("25 flash 系列"));
    EXPECT_EQ(form.ComboBox4->currentIndex(), -1);
    EXPECT_EQ(form.ComboBox8->itemText(3), QString::fromUtf8("SST 大于16M bytes"));
    EXPECT_EQ(form.ComboBox5->currentText(), "64B");
    EXPECT_EQ(form.ComboBox10->currentText(), "2B");
    EXPECT_EQ(form.ComboBox11->currentText(), "4");
    EXPECT_EQ(form.Edit1->text(), "100");
    EXPECT_EQ(form.ComboBox9->currentText(), "0");

    // Edit before any row was chosen changes nothing.
    form.BtnEdit->click();
    EXPECT_EQ(form.StringGrid1->item(0, 2)->text(), "W25Q32");

    // A double click loads the 24-series row: its 1 KB decides the algorithm.
    const QRect cell = form.StringGrid1->visualItemRect(form.StringGrid1->item(2, 0));
    QTest::mouseClick(form.StringGrid1->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(form.StringGrid1->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(form.ComboBox3->currentText(), "AT24C02");
    EXPECT_EQ(form.ComboBox4->currentText(), QString::fromUtf8("24 eeprom 系列"));
    EXPECT_EQ(form.ComboBox8->currentText(), QString::fromUtf8("小于4KB"));
    EXPECT_EQ(form.ComboBox5->currentText(), "1KB");

    // Another class refills the algorithm list; Add appends the chip.
    form.ComboBox4->setCurrentIndex(2);
    emit form.ComboBox4->activated(2);
    EXPECT_EQ(form.ComboBox8->count(), 10);
    form.ComboBox3->setEditText("93C46X");
    form.BtnAdd->click();
    ASSERT_EQ(form.StringGrid1->rowCount(), 5);
    EXPECT_EQ(form.StringGrid1->item(4, 7)->text(), "7");

    // A bad delay stops Save with the message; a good one saves and tells the main window.
    form.Edit1->setText("abc");
    form.BtnEdit->click();
    form.BtnSave->click();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "'abc' is not a valid integer value");
    EXPECT_EQ(saves, 0);
    EXPECT_EQ(testing::readFile(path).size(), 5 * kChipRecordSize);
    form.Edit1->setText("0x20");
    form.BtnEdit->click();
    form.BtnSave->click();
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(testing::readFile(path).size(), 6 * kChipRecordSize);
    EXPECT_EQ(state.catalogue.at(4).delay, 0x20);
    EXPECT_STREQ(state.catalogue.at(4).nameText, "24_EEPROM,Atmel,93C46X");

    // A name the catalogue's code page cannot hold is refused where it is typed.
    form.ComboBox3->setEditText(QString::fromUtf8("名\xed\x95\x9c"));
    form.BtnAdd->click();
    EXPECT_EQ(form.StringGrid1->rowCount(), 5);
    EXPECT_EQ(ui.boxes.size(), 2u);
}

// The grid opens on its first row; a click on that row selects it, so Edit
// writes into it. An Add with the class and algorithm lists as they open
// (a text shown, no entry chosen) writes neither, and Save says so.
TEST_F(EditorWindow, AClickOnTheRowItOpensOnSelectsItAndUntouchedListsWriteNothing) {
    form.show();
    ASSERT_EQ(form.StringGrid1->currentRow(), 0);
    ASSERT_EQ(form.StringGrid1->currentColumn(), 0);
    const QRect cell = form.StringGrid1->visualItemRect(form.StringGrid1->item(0, 0));
    QTest::mouseClick(form.StringGrid1->viewport(), Qt::LeftButton, {}, cell.center());
    form.Edit1->setText("55");
    form.BtnEdit->click();
    EXPECT_EQ(form.StringGrid1->item(0, 8)->text(), "55");
    EXPECT_EQ(form.StringGrid1->item(0, 6)->text(), "0") << "the class cell as it was";
    form.BtnSave->click();
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(state.catalogue.at(0).delay, 55);
    EXPECT_EQ(saves, 1);

    form.hide();
    form.show();
    form.BtnAdd->click();
    ASSERT_EQ(form.StringGrid1->rowCount(), 5);
    EXPECT_EQ(form.StringGrid1->item(4, 6)->text(), "");
    EXPECT_EQ(form.StringGrid1->item(4, 7)->text(), "");
    form.BtnSave->click();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "'' is not a valid integer value");
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(testing::readFile(path).size(), 5 * kChipRecordSize);
}

// Installed, the editor opens the installed default until the user has saved,
// saves to the user's own copy, and opens that copy from then on.
TEST(EditorWindowInstalled, SavesToTheUsersCopyAndLeavesTheDefaultAlone) {
    testing::TempDir dir;
    const std::string root = std::filesystem::canonical(dir.path()).string() + "/";
    std::filesystem::create_directories(root + "usr/bin");
    std::filesystem::create_directories(root + "usr/share/ostrel");
    testing::writeFile(root + "usr/bin/ostrel", "");
    const std::string shipped = root + "usr/share/ostrel/ostrel.Dat";
    const std::string own = root + "data/ostrel/ostrel.Dat";
    MainState state;
    fillCatalogue(state.catalogue);
    saveCatalogueFile(shipped, state.catalogue, 4);
    const std::string shippedBytes = testing::readFile(shipped);

    testing::ScriptedUi ui;
    TForm2 form{state.catalogue, state.language,
                ProgramPaths(root + "usr/bin/ostrel", {root + "config", root + "data"}), ui};
    form.show();
    ASSERT_EQ(form.StringGrid1->rowCount(), 4) << "the installed default is opened";
    const QRect cell = form.StringGrid1->visualItemRect(form.StringGrid1->item(0, 0));
    QTest::mouseDClick(form.StringGrid1->viewport(), Qt::LeftButton, {}, cell.center());
    form.BtnDelete->click();
    form.BtnSave->click();
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(testing::readFile(own).size(), 4 * kChipRecordSize) << "three chips and the end";
    EXPECT_EQ(testing::readFile(shipped), shippedBytes);

    form.hide();
    fillCatalogue(state.catalogue);  // whatever memory holds, the reopened editor reads the file
    form.show();
    EXPECT_EQ(form.StringGrid1->rowCount(), 3) << "the user's copy is opened";
}

}  // namespace
}  // namespace ostrel
