// The chip panel's Detect and Search buttons and the Device command, driven on
// the main window against the simulator and the shipped catalogue.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <filesystem>
#include <functional>

#include "catalogue/name_text.h"
#include "catalogue/ui/editor_window.h"
#include "catalogue/ui/search_window.h"
#include "catalogue/ui/socket_picture.h"
#include "ostrel_sim.h"
#include "shell/ui/main_window.h"
#include "support/temp_files.h"
#include "windows/recording_form.h"

namespace ostrel {
namespace {

using testing::RecordingForm;

class ChipPanel : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::copy_file(OSTREL_BIN_DIR "/ostrel.Dat", dir.file("ostrel.Dat"));
        ostrel_sim_reset();
        programmer = ostrel_sim_add_programmer(1);
    }
    void TearDown() override { ostrel_sim_reset(); }
    std::unique_ptr<RecordingForm> makeForm(const std::string& ini) {
        testing::writeFile(dir.file("ostrel.ini"), ini);
        auto form = std::make_unique<RecordingForm>(ProgramPaths(dir.file("ostrel")),
                                                    OSTREL_SIM_DIR "/libusb-0.1.so.4");
        form->show();
        return form;
    }
    static QImage shown(const TForm1& form) { return form.Image1->pixmap().toImage(); }

    testing::TempDir dir;
    int programmer = -1;
};

// In every language, with the desktop's font and with the CJK font a Chinese
// desktop uses (whose lines are taller), the chip lists get the height their
// font asks for: a squeezed list cuts the underscores off "SPI_FLASH".
TEST_F(ChipPanel, TheChipListsAreNeverSqueezed) {
    auto form = makeForm("[DEVICE]\nLANGU=0\n");
    const QFont desktop = form->font();
    QFont cjk = desktop;
    cjk.setFamilies({QStringLiteral("Noto Sans CJK SC")});
    ASSERT_GT(QFontMetrics(cjk).height(), QFontMetrics(desktop).height())
        << "no CJK font with taller lines here";
    for (QAction* language : {form->China, form->fanti, form->Enlish}) {
        for (const QFont& font : {desktop, cjk}) {
            form->setFont(font);
            language->trigger();
            QApplication::processEvents();
            for (QComboBox* list : {form->ComboBox1, form->ComboBox2, form->ComboBox3}) {
                SCOPED_TRACE(language->text().toStdString() + " " +
                             list->objectName().toStdString() + " " +
                             list->font().family().toStdString());
                EXPECT_EQ(list->fontMetrics().height(), QFontMetrics(font).height());
                EXPECT_GE(list->height(), list->sizeHint().height());
            }
            EXPECT_GE(form->GroupBox1->height(), 176);
        }
    }
}

TEST_F(ChipPanel, DetectChoosesTheChipOrShowsTheEmptySocket) {
    auto form = makeForm("[DEVICE]\nLANGU=2\n");
    const QImage chipPicture =
        socketPicture(SocketPicture::ChipInSocket).convertToFormat(QImage::Format_RGB32);
    const QImage emptyPicture =
        socketPicture(SocketPicture::EmptySocket).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown(*form).convertToFormat(QImage::Format_RGB32), chipPicture);

    ostrel_sim_insert_chip(programmer, 0, 0xC22017, 0x800000, nullptr);
    form->BitBtn1->click();
    ASSERT_EQ(form->ui().boxes.size(), 1u);
    const ChipRecord& chip = form->state().selectedRecord();
    EXPECT_EQ(chip.chipId, 0xC22017u);
    EXPECT_EQ(form->ui().boxes[0], "The chip was detected:MX25L6406E\n\n Chip typeSPI_FLASH");
    EXPECT_EQ(nameTextOf(chip), "SPI_FLASH,Macronix,MX25L6406E");
    EXPECT_EQ(form->ComboBox3->currentText(), "MX25L6406E");

    ostrel_sim_remove_chip(programmer);
    form->BitBtn1->click();
    ASSERT_EQ(form->ui().boxes.size(), 2u);
    EXPECT_EQ(form->ui().boxes[1], "No chips detected, please put the chip to try again!");
    EXPECT_EQ(shown(*form).convertToFormat(QImage::Format_RGB32), emptyPicture);
}

// A Save in the catalogue editor keeps the chip the lists show, whether Search
// or Detect chose it (neither changes the saved positions), and the bytes
// typed into the FLASH view; a Save that deleted it chooses by the saved
// positions again.
TEST_F(ChipPanel, DeviceIsOfferedOnlyOnRequestAndASaveKeepsTheShownChipAndItsBytes) {
    EXPECT_FALSE(makeForm("[DEVICE]\nLANGU=2\n")->ToolDevice->isVisible());
    const auto search = [](RecordingForm& form) {
        form.Form3->show();
        form.Form3->ComboBox1->setEditText("AT24C02");
        form.Form3->ListView1->setCurrentItem(form.Form3->ListView1->topLevelItem(0));
        form.Form3->BitBtn1->click();
    };
    const auto detect = [this](RecordingForm& form) {
        ostrel_sim_insert_chip(programmer, 0, 0xC22017, 0x800000, nullptr);
        form.BitBtn1->click();
    };
    struct Case {
        const char* what;
        std::function<void(RecordingForm&)> choose;
        bool deleteShown;
        const char* shown;  // the name shown after the Save; null: the saved chip
        bool kept;
    };
    const Case cases[] = {
        {"Search", search, false, "AT24C02", true},
        {"Detect", detect, false, "MX25L6406E", true},
        {"Search, then the chip deleted", search, true, nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto form = makeForm("[CHIP]\nINDEX1=0\nINDEX2=0\nINDEX3=2\n[DEVICE]\nLANGU=2\nchip=1\n");
        ASSERT_TRUE(form->ToolDevice->isVisible() && form->N3->isVisible());
        const QString savedChip = form->ComboBox3->currentText();
        c.choose(*form);
        const QString chosen = form->ComboBox3->currentText();
        ASSERT_NE(chosen, savedChip);
        form->state().buffers.flashView().overwrite(1, 0x5A);  // typed into the view

        TForm2& editor = *form->Form2;
        editor.show();
        for (int row = 0; c.deleteShown && row < editor.StringGrid1->rowCount(); ++row) {
            if (editor.StringGrid1->item(row, 2)->text() != chosen) continue;
            editor.StringGrid1->setCurrentCell(row, 0);
            editor.BtnDelete->click();
            break;
        }
        editor.BtnSave->click();
        editor.close();
        EXPECT_TRUE(form->ui().boxes.size() <= 1u) << "only Detect's own box";

        const QString expected = c.shown ? QString(c.shown) : savedChip;
        EXPECT_EQ(form->ComboBox3->currentText(), expected);
        EXPECT_EQ(
            QString::fromStdString(splitCommaRule(nameTextOf(form->state().selectedRecord())).name),
            expected);
        EXPECT_EQ(form->state().buffers.flashView().Modified(), c.kept);
        EXPECT_EQ(form->state().buffers.flashView().byteAt(1), c.kept ? 0x5A : 0xFF);
    }
}

}  // namespace
}  // namespace ostrel
