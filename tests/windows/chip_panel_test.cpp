// The chip panel's Detect and Search buttons and the Device command, driven on
// the main window against the simulator and the shipped catalogue.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <filesystem>

#include "catalogue/name_text.h"
#include "catalogue/ui/editor_window.h"
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

TEST_F(ChipPanel, DeviceIsOfferedOnlyOnRequestAndASaveChoosesTheShownChipAgain) {
    EXPECT_FALSE(makeForm("[DEVICE]\nLANGU=2\n")->ToolDevice->isVisible());
    auto form = makeForm("[CHIP]\nINDEX1=0\nINDEX2=0\nINDEX3=2\n[DEVICE]\nLANGU=2\nchip=1\n");
    EXPECT_TRUE(form->ToolDevice->isVisible());
    EXPECT_TRUE(form->N3->isVisible());
    const int before = form->state().selected;
    ASSERT_EQ(before, 2);
    EXPECT_EQ(form->ComboBox3->currentText(), "W25X20");

    // Delete the catalogue's first chip and save: the records move up by one.
    TForm2& editor = *form->Form2;
    editor.show();
    editor.StringGrid1->setCurrentCell(0, 0);
    editor.BtnDelete->click();
    editor.BtnSave->click();
    editor.close();
    EXPECT_TRUE(form->ui().boxes.empty());
    // The saved positions now name the chip that was fourth.
    EXPECT_EQ(form->ComboBox3->currentText(), "W25X40");
    EXPECT_EQ(nameTextOf(form->state().selectedRecord()), "SPI_FLASH,Winbond,W25X40");
    EXPECT_EQ(form->state().selected, 2);
}

}  // namespace
}  // namespace ostrel
