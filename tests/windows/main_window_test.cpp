// The main window's lifecycle against the simulator: first show loads the
// shipped catalogue and the saved chip, activation finds the programmer, the
// chip commands run as jobs, and closing writes the settings.
#include "shell/ui/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <cstring>
#include <filesystem>
#include <vector>

#include "buffers/ui/hex_view.h"
#include "ostrel_sim.h"
#include "support/temp_files.h"

namespace ostrel {
namespace {

using testing::TempDir;

// The window with its modal boxes recorded instead of shown, and no real pauses.
class RecordingForm : public TForm1 {
  public:
    using TForm1::TForm1;
    void messageBox(const std::string& text, const std::string&, BoxIcon) override {
        boxes.push_back(text);
    }
    bool askYesNo(const std::string& text, const std::string&) override {
        boxes.push_back(text);
        return true;
    }
    void pause(int) override {}
    void beep() override { ++beeps; }
    std::vector<std::string> boxes;
    int beeps = 0;
};

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::copy_file(OSTREL_BIN_DIR "/ostrel.Dat", dir.file("ostrel.Dat"));
        ostrel_sim_reset();
        programmer = ostrel_sim_add_programmer(1);
        ostrel_sim_insert_chip(programmer, 0, 0xEF4017, 0x800000, nullptr);
    }
    void TearDown() override { ostrel_sim_reset(); }

    std::unique_ptr<RecordingForm> makeForm() {
        auto form = std::make_unique<RecordingForm>(ProgramPaths(dir.file("ostrel")),
                                                    OSTREL_SIM_DIR "/libusb-0.1.so.4");
        form->show();
        return form;
    }
    // Selects the chip named `name` through the three lists, as the user would.
    void choose(RecordingForm& form, const QString& type, const QString& maker,
                const QString& name) {
        form.ComboBox1Change(form.ComboBox1->findText(type));
        form.ComboBox2Change(form.ComboBox2->findText(maker));
        form.ComboBox3Change(form.ComboBox3->findText(name));
    }

    TempDir dir;
    int programmer = -1;
};

TEST_F(MainWindowTest, FirstShowSelectsTheSavedChipAndActivationFindsTheProgrammer) {
    testing::writeFile(dir.file("ostrel.ini"),
                       "[CHIP]\nINDEX1=0\nINDEX2=0\nINDEX3=1\n[DEVICE]\nLANGU=2\n");
    auto form = makeForm();
    EXPECT_EQ(form->ComboBox1->currentIndex(), 0);
    EXPECT_EQ(form->ComboBox3->currentIndex(), 1);
    EXPECT_EQ(form->state().selected, 1);

    form->checkProgrammer();
    EXPECT_EQ(form->statusText(PanelState), "Connected");
    EXPECT_EQ(form->firstLogLine().rfind("The programmer Ostrel I is detected", 0), 0u);
    form->checkProgrammer();
    EXPECT_EQ(form->RichEdit1->document()->blockCount(), 1) << "a second check adds no line";

    ostrel_sim_set_plugged(programmer, 0);
    form->checkProgrammer();
    EXPECT_EQ(form->statusText(PanelState), "Not connected");
}

TEST_F(MainWindowTest, ASavedChoiceThatNamesNoChipLeavesTheDetailsAlone) {
    testing::writeFile(dir.file("ostrel.ini"), "[CHIP]\nINDEX1=0\nINDEX2=0\nINDEX3=999\n");
    auto form = makeForm();
    EXPECT_EQ(form->state().selected, 0);
    EXPECT_EQ(form->Edit1->text(), "");
    EXPECT_EQ(form->Edit5->text(), "0");
    EXPECT_EQ(form->ComboBox3->currentIndex(), -1);
    // The buffers still follow the record in place.
    EXPECT_EQ(form->state().buffers.flashView().DataSize(),
              form->state().selectedRecord().flashSize);
}

TEST_F(MainWindowTest, FillWriteVerifyAndReadBackThroughTheCommands) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    auto form = makeForm();
    choose(*form, "SPI_FLASH", "Winbond", "W25Q64JV");
    const ChipRecord& chip = form->state().selectedRecord();
    ASSERT_EQ(chip.chipId, 0xEF4017u);

    uint8_t* flash = form->state().buffers.flash();
    for (uint32_t i = 0; i < 4096; ++i) flash[i] = static_cast<uint8_t>(i * 7 + 3);
    form->state().buffers.flashDataLength = 4096;
    form->ToolErase->trigger();
    form->ToolWrite->trigger();
    form->ToolVerify->trigger();
    EXPECT_TRUE(form->boxes.empty()) << form->boxes.front();
    EXPECT_EQ(form->firstLogLine().rfind("Verify Complete!", 0), 0u);
    EXPECT_EQ(form->statusText(PanelState), "Connected");

    // Choosing the shown chip again changes nothing; another chip and back
    // clears the buffer, and reading brings the data back.
    choose(*form, "SPI_FLASH", "Winbond", "W25Q64JV");
    EXPECT_EQ(flash[0], 3);
    choose(*form, "SPI_FLASH", "Macronix", "MX25L6433F");
    choose(*form, "SPI_FLASH", "Winbond", "W25Q64JV");
    EXPECT_EQ(flash[0], 0xFF);
    form->ToolRead->trigger();
    for (uint32_t i = 0; i < 4096; ++i) ASSERT_EQ(flash[i], static_cast<uint8_t>(i * 7 + 3)) << i;
    EXPECT_EQ(form->state().buffers.flashDataLength, 4096);
    EXPECT_EQ(form->state().buffers.flashView().DataSize(), chip.flashSize);
    EXPECT_GE(form->beeps, 4);
}

TEST_F(MainWindowTest, CommandsWithoutTheProgrammerShowNotConnectedOnce) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    ostrel_sim_set_plugged(programmer, 0);
    auto form = makeForm();
    form->ToolRead->trigger();
    ASSERT_EQ(form->boxes.size(), 1u);
    EXPECT_EQ(form->boxes[0], "Not connected");
    EXPECT_TRUE(form->firstLogLine().empty());
}

TEST_F(MainWindowTest, ClosingWritesTheSettingsAndKeepsForeignKeys) {
    testing::writeFile(dir.file("ostrel.ini"),
                       "[DEVICE]\nchip=1\nLANGU=2\nSPEED=3\n[Other]\nx=y\n");
    {
        auto form = makeForm();
        choose(*form, "SPI_FLASH", "Macronix", form->ComboBox3->itemText(0));
        form->close();
    }
    const std::string ini = testing::readFile(dir.file("ostrel.ini"));
    EXPECT_NE(ini.find("chip=1"), std::string::npos);
    EXPECT_NE(ini.find("SPEED=3"), std::string::npos);
    EXPECT_NE(ini.find("x=y"), std::string::npos);
    EXPECT_NE(ini.find("FormWidth="), std::string::npos);
    EXPECT_NE(ini.find("INDEX2="), std::string::npos);
}

// While a command runs, nothing that could change what it uses takes input;
// closing the window stops the command after its block, ends the job, saves
// the settings and closes, and nothing is logged as complete.
TEST_F(MainWindowTest, ACommandLocksTheWindowAndClosingStopsIt) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    auto form = makeForm();
    choose(*form, "SPI_FLASH", "Winbond", "W25Q64JV");
    std::vector<std::pair<const char*, bool>> enabled;
    QTimer::singleShot(0, form.get(), [&] {
        for (auto [name, on] : std::initializer_list<std::pair<const char*, bool>>{
                 {"Write", form->ToolWrite->isEnabled()},
                 {"Open", form->ToolOpen->isEnabled()},
                 {"Fill", form->ToolFill->isEnabled()},
                 {"Type list", form->ComboBox1->isEnabled()},
                 {"FLASH view editable", !form->FlashEditor->isReadOnly()}})
            enabled.emplace_back(name, on);
        form->close();
    });
    const uint8_t before = form->state().buffers.flash()[0x10];
    form->ToolRead->trigger();
    for (auto [name, on] : enabled) EXPECT_FALSE(on) << name;
    EXPECT_EQ(enabled.size(), 5u);
    EXPECT_TRUE(form->isVisible()) << "still open until the job has ended";
    EXPECT_EQ(ostrel_sim_in_job(programmer), 0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->firstLogLine().rfind("Read Complete!", 0) == std::string::npos);
    EXPECT_EQ(form->state().buffers.flash()[0x10], before);
    EXPECT_NE(testing::readFile(dir.file("ostrel.ini")).find("FormWidth="), std::string::npos);
    EXPECT_TRUE(form->ToolWrite->isEnabled());
}

}  // namespace
}  // namespace ostrel
