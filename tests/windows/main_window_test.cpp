// The main window's lifecycle against the simulator: first show loads the
// shipped catalogue and the saved chip, activation finds the programmer, the
// chip commands run as jobs, and closing writes the settings.
#include "shell/ui/main_window.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <cstring>
#include <ctime>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <vector>

#include "base/captions.h"
#include "base/texts.h"
#include "base/ui/apply_captions.h"
#include "base/ui/file_filters.h"
#include "buffers/ui/chip_map_window.h"
#include "buffers/ui/fill_dialog.h"
#include "buffers/ui/hex_view.h"
#include "catalogue/chip_record.h"
#include "catalogue/ui/editor_window.h"
#include "catalogue/ui/search_window.h"
#include "firmware/ui/diagnosis_window.h"
#include "firmware/ui/hardware_window.h"
#include "ostrel_sim.h"
#include "production/production_log.h"
#include "production/production_store.h"
#include "production/sql_connection.h"
#include "production/ui/serial_dialog.h"
#include "shell/ui/about_box.h"
#include "shell/ui/application.h"
#include "shell/ui/buffer_tools.h"
#include "shell/ui/close_on_signal.h"
#include "support/sim_log.h"
#include "support/temp_files.h"
#include "usb/device_change.h"
#include "windows/recording_form.h"

namespace ostrel {
namespace {

using testing::TempDir;

// Stands in for the desktop's browser.
class Browser : public QObject {
    Q_OBJECT
  public:
    std::vector<QUrl> opened;
  public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

using testing::RecordingForm;

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::copy_file(OSTREL_BIN_DIR "/ostrel.Dat", dir.file("ostrel.Dat"));
        ostrel_sim_reset();
        programmer = ostrel_sim_add_programmer(1);
        ostrel_sim_insert_chip(programmer, 0, 0xEF4017, 0x800000, nullptr);
        setenv("XDG_STATE_HOME", dir.path().c_str(), 1);  // batch mode's production log
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

    // The 8 MiB chip in the socket filled with a pattern no file here holds.
    std::vector<uint8_t> fillChip() {
        std::vector<uint8_t> bytes(0x800000);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<uint8_t>(i * 13 + (i >> 16));
        ostrel_sim_chip_write(programmer, 0, bytes.data(), static_cast<uint32_t>(bytes.size()));
        return bytes;
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
    EXPECT_EQ(form->ui().statusText(PanelState), "Connected");
    EXPECT_EQ(form->ui().firstLogLine().rfind("The programmer Ostrel I is detected", 0), 0u);
    form->checkProgrammer();
    EXPECT_EQ(form->RichEdit1->document()->blockCount(), 1) << "a second check adds no line";

    ostrel_sim_set_plugged(programmer, 0);
    form->checkProgrammer();
    EXPECT_EQ(form->ui().statusText(PanelState), "Not connected");
}

// "Not connected" explains itself in its tip when a programmer is attached but
// cannot be used, and only then.
TEST_F(MainWindowTest, TheNotConnectedPanelSaysWhyTheProgrammerCouldNotBeOpened) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    auto form = makeForm();
    const QString help = QString::fromStdString(programText(Txt::ProgrammerUnusable, 2));
    const QString diagnose = "Help > Diagnose... finds out why.";
    struct Step {
        const char* name;
        int openFails, claimFails, plugged;
        const char* panel;
        QString tip;
    };
    const Step steps[] = {
        {"no permission", 1, 0, 1, "Not connected", help + "\n" + diagnose},
        {"usable again", 0, 0, 1, "Connected", QString()},
        {"held by another program", 0, 1, 1, "Not connected", help + "\n" + diagnose},
        {"unplugged", 0, 0, 0, "Not connected", diagnose},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        ostrel_sim_set_open_fails(programmer, s.openFails);
        ostrel_sim_set_claim_fails(programmer, s.claimFails);
        ostrel_sim_set_plugged(programmer, s.plugged);
        form->checkProgrammer();
        EXPECT_EQ(form->ui().statusText(PanelState), s.panel);
        EXPECT_EQ(form->panels_[PanelState]->toolTip(), s.tip);
    }
}

TEST_F(MainWindowTest, ASavedChoiceThatNamesNoChipLeavesTheDetailsAlone) {
    testing::writeFile(dir.file("ostrel.ini"), "[CHIP]\nINDEX1=0\nINDEX2=0\nINDEX3=999\n");
    auto form = makeForm();
    EXPECT_EQ(form->state().selected, 0);
    EXPECT_EQ(form->Edit1->text(), "");
    EXPECT_EQ(form->Edit5->text(), "0");
    EXPECT_EQ(form->ComboBox3->currentIndex(), -1);
    // The buffers still follow the record in place.
    EXPECT_EQ(form->state().buffers.flashView().DataSize(), 0x10000u) << "W25X05, the first chip";
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
    EXPECT_TRUE(form->ui().boxes.empty()) << form->ui().boxes.front();
    EXPECT_EQ(form->ui().firstLogLine().rfind("Verify Complete!", 0), 0u);
    EXPECT_EQ(form->ui().statusText(PanelState), "Connected");

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
    EXPECT_EQ(form->state().buffers.flashView().DataSize(), 0x800000u);
    EXPECT_GE(form->ui().beeps, 4);
}

// A chip command, Detect and the start of batch mode alike: one box that
// points to Help > Diagnose...; attached but held by another program, what to
// check comes first.
TEST_F(MainWindowTest, CommandsWithoutTheProgrammerShowNotConnectedOnce) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    ostrel_sim_set_plugged(programmer, 0);
    auto form = makeForm();
    const std::string diagnose = "\nHelp > Diagnose... finds out why.";
    const std::string held = "\n" + programText(Txt::ProgrammerUnusable, 2);
    const struct {
        const char* what;
        std::function<void()> command;
    } commands[] = {
        {"Read", [&] { form->ToolRead->trigger(); }},
        {"Detect", [&] { form->BitBtn1->click(); }},
        {"batch mode's start", [&] { form->ToolBulk->trigger(); }},
    };
    for (const auto& c : commands) {
        for (const bool attached : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (attached ? ", held" : ", unplugged"));
            ostrel_sim_set_plugged(programmer, attached ? 1 : 0);
            ostrel_sim_set_claim_fails(programmer, attached ? 1 : 0);
            form->ui().boxes.clear();
            c.command();
            EXPECT_EQ(form->ui().boxes, std::vector<std::string>{
                                            "Not connected" + (attached ? held : "") + diagnose});
            EXPECT_FALSE(form->ToolBulk->isChecked());
        }
    }
    EXPECT_TRUE(form->ui().firstLogLine().empty());
}

// The third type is neither read nor written: the box names the type the
// Type list shows, and nothing is logged as complete.
TEST_F(MainWindowTest, TheThirdTypeIsRefusedWithABoxNamingIt) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    auto form = makeForm();
    form->CheckChip->setChecked(false);  // another chip is in the socket
    form->ComboBox1Change(2);
    ASSERT_EQ(form->ComboBox1->currentText(), "93_EEPROM");
    form->state().buffers.flashDataLength = 16;
    form->ui().clearLog();
    form->ToolRead->trigger();
    form->ToolAuto->trigger();
    const std::string box =
        "This programmer cannot read or write chips of the type 93_EEPROM; nothing was "
        "transferred.";
    EXPECT_EQ(form->ui().boxes, (std::vector<std::string>{box, box}));
    EXPECT_TRUE(form->ui().firstLogLine().empty());
    EXPECT_EQ(form->ui().beeps, 0);
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

// Closing the window while a command runs stops the command after its block,
// ends the job, saves the settings and closes; nothing is logged as complete.
TEST_F(MainWindowTest, ClosingDuringACommandStopsIt) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    auto form = makeForm();
    choose(*form, "SPI_FLASH", "Winbond", "W25Q64JV");
    QTimer::singleShot(0, form.get(), [&] { form->close(); });
    const uint8_t before = form->state().buffers.flash()[0x10];
    form->ToolRead->trigger();
    EXPECT_TRUE(form->isVisible()) << "still open until the job has ended";
    EXPECT_EQ(ostrel_sim_in_job(programmer), 0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->ui().firstLogLine().rfind("Read Complete!", 0) == std::string::npos);
    EXPECT_EQ(form->state().buffers.flash()[0x10], before);
    EXPECT_NE(testing::readFile(dir.file("ostrel.ini")).find("FormWidth="), std::string::npos);
    EXPECT_TRUE(form->ToolWrite->isEnabled());
}

// What a handler could change: the buffers, the views, the log, the selected
// chip and the catalogue file.
struct Snapshot {
    std::vector<uint8_t> flash, eeprom;
    uint64_t flashView = 0, eepromView = 0;
    QString log, chip;
    int32_t selected = 0;
    std::string catalogueFile;

    Snapshot(RecordingForm& form, const std::string& cataloguePath) {
        DataBuffers& buffers = form.state().buffers;
        flash.assign(buffers.flash(), buffers.flash() + 0x800000);
        eeprom.assign(buffers.eeprom(), buffers.eeprom() + kEepromBufferSize);
        flashView = buffers.flashView().version();
        eepromView = buffers.eepromView().version();
        log = form.RichEdit1->toPlainText();
        chip = form.ComboBox1->currentText() + "," + form.ComboBox2->currentText() + "," +
               form.ComboBox3->currentText();
        selected = form.state().selected;
        catalogueFile = testing::readFile(cataloguePath);
    }
    bool operator==(const Snapshot& o) const {
        return flash == o.flash && eeprom == o.eeprom && flashView == o.flashView &&
               eepromView == o.eepromView && log == o.log && chip == o.chip &&
               selected == o.selected && catalogueFile == o.catalogueFile;
    }
};

// The controls of the window's client area a user can change something with.
bool isInputControl(QWidget* widget) {
    if (qobject_cast<QTabBar*>(widget->parentWidget())) return false;  // the tabs' scroll arrows
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) return !edit->isReadOnly();
    return qobject_cast<QComboBox*>(widget) || qobject_cast<QAbstractButton*>(widget);
}

// During a read of an 8 MiB chip (events run between its blocks), every
// action of the menu bar and the toolbar but the live ones and every control
// of the client area is disabled, the hex views take no typing, and each
// handler called anyway changes nothing; afterwards all is enabled again.
TEST_F(MainWindowTest, DuringAReadEveryEntryPointIsLockedAndItsHandlerChangesNothing) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\nchip=1\n");
    testing::writeFile(dir.file("other.bin"), std::string(4096, '\x5A'));
    auto form = makeForm();
    choose(*form, "SPI_FLASH", "Winbond", "W25Q64JV");
    const std::vector<uint8_t> chipBytes = fillChip();
    form->ui().openPath = dir.file("other.bin");
    form->ui().savePath = dir.file("saved.bin");
    // Each of the other windows ready to change something the moment it is asked.
    form->Form4->prepareForChip(0x800000);
    form->Form3->ComboBox1->setEditText("W25Q80");
    ASSERT_GT(form->Form3->ListView1->topLevelItemCount(), 0);
    form->Form3->ListView1->setCurrentItem(form->Form3->ListView1->topLevelItem(0));
    std::vector<std::string> modals;  // windows a locked handler opened anyway
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modals.push_back(modal->objectName().toStdString());
            modal->close();
        }
    });
    closer.start(20);

    bool ranDuringTheRead = false;
    std::vector<std::string> enabled, changedBy;
    QTimer::singleShot(0, form.get(), [&] {
        ranDuringTheRead = form->runner().lock().jobRunning();
        for (QAction* action : form->commandActions())
            if (!form->staysLive(action) && action->isEnabled())
                enabled.push_back(action->objectName().toStdString());
        for (QWidget* widget : form->Panel1->findChildren<QWidget*>())
            if (widget->isVisibleTo(form.get()) && isInputControl(widget) && widget->isEnabled())
                enabled.push_back(widget->objectName().toStdString());
        for (HexView* view : form->Panel1->findChildren<HexView*>())
            if (!view->isReadOnly()) enabled.push_back(view->objectName().toStdString());

        const auto check = [&](const std::string& name, const std::function<void()>& handler) {
            const Snapshot before(*form, dir.file("ostrel.Dat"));
            handler();
            if (!(Snapshot(*form, dir.file("ostrel.Dat")) == before)) changedBy.push_back(name);
        };
        for (QAction* action : form->commandActions()) {
            if (form->staysLive(action)) continue;
            check(action->objectName().toStdString(), [action] {
                // A hidden action is disabled as well: shown for the moment (N4).
                const bool visible = action->isVisible();
                action->setVisible(true);
                action->setEnabled(true);
                action->trigger();
                action->setEnabled(false);
                action->setVisible(visible);
            });
        }
        check("ComboBox1Change", [&] { form->ComboBox1Change(1); });
        check("ComboBox2Change", [&] { form->ComboBox2Change(1); });
        check("ComboBox3Change", [&] { form->ComboBox3Change(1); });
        check("BitBtn1Click", [&] { form->BitBtn1Click(); });
        check("BitBtn2Click", [&] { form->BitBtn2Click(); });
        check("FlashEditor typing", [&] { QTest::keyClicks(form->FlashEditor, "12"); });
        check("EepromEditor typing", [&] { QTest::keyClicks(form->EepromEditor, "12"); });
        check("Form2 BtnSaveClick", [&] { form->Form2->BtnSaveClick(); });
        check("Form3 BitBtn1Click", [&] { form->Form3->BitBtn1Click(); });
        check("Form4 BitBtn1Click", [&] { form->Form4->BitBtn1Click(); });
    });
    form->ToolRead->trigger();
    closer.stop();

    EXPECT_TRUE(ranDuringTheRead);
    EXPECT_EQ(enabled, std::vector<std::string>{});
    EXPECT_EQ(changedBy, std::vector<std::string>{});
    EXPECT_EQ(modals, std::vector<std::string>{});
    EXPECT_FALSE(std::filesystem::exists(dir.file("saved.bin")));
    // The activation's presence check waited for the read's end.
    EXPECT_EQ(form->RichEdit1->document()->lastBlock().text().toStdString(),
              "Read Complete! (10:00:00)");
    EXPECT_EQ(0, std::memcmp(form->state().buffers.flash(), chipBytes.data(), chipBytes.size()));
    for (QAction* action : form->commandActions())
        EXPECT_EQ(action->isEnabled(), action->isVisible()) << action->objectName().toStdString();
    for (QWidget* widget : form->Panel1->findChildren<QWidget*>()) {
        if (widget->isVisibleTo(form.get()) && isInputControl(widget)) {
            EXPECT_TRUE(widget->isEnabled()) << widget->objectName().toStdString();
        }
    }
    EXPECT_FALSE(form->FlashEditor->isReadOnly() || form->EepromEditor->isReadOnly());
}

// Check the chip first: before Read the chip's ID is read; an empty socket,
// another type or another ID is asked about, naming what was found and what
// was chosen; a stop leaves the chip alone. Unticked, no ID is read.
TEST_F(MainWindowTest, TheChipCheckAsksAboutAnEmptySocketOrAnotherChip) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    auto form = makeForm();
    choose(*form, "SPI_FLASH", "Winbond", "W25Q64JV");
    ASSERT_TRUE(form->CheckChip->isChecked()) << "ticked by default";
    const std::string chosen = ", but W25Q64JV (ID EF 40 17) is chosen. Go on anyway?";
    struct Row {
        const char* name;
        int chipClass;  // -1: an empty socket
        uint32_t id;
        bool ticked;
        std::deque<bool> answers;
        std::string question;  // empty: none asked
        bool read;
    } rows[] = {
        {"match", 0, 0xEF4017, true, {}, "", true},
        {"empty socket, go on", -1, 0, true, {true}, "The socket holds no chip" + chosen, true},
        {"empty socket, stop", -1, 0, true, {false}, "The socket holds no chip" + chosen, false},
        {"other type, stop",
         1,
         0,
         true,
         {false},
         "The socket holds a chip of the type 24_EEPROM (without an ID)" + chosen,
         false},
        {"other ID, go on",
         0,
         0x123456,
         true,
         {true},
         "The socket holds a chip that is not in the catalogue (ID 12 34 56)" + chosen,
         true},
        {"other ID, unticked", 0, 0x123456, false, {}, "", true},
        {"no chip answered, stop",
         0,
         0xFFFFFF,
         true,
         {false},
         "No chip answered the ID read (ID FF FF FF): check the chip's seating, its power and "
         "the clip. W25Q64JV (ID EF 40 17) is chosen. Go on anyway?",
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ostrel_sim_remove_chip(programmer);
        if (row.chipClass >= 0)
            ostrel_sim_insert_chip(programmer, row.chipClass, row.id, 0x800000, nullptr);
        form->CheckChip->setChecked(row.ticked);
        form->ui().answers = row.answers;
        form->ui().boxes.clear();
        form->ui().clearLog();
        ostrel_sim_log_clear();
        form->ToolRead->trigger();
        EXPECT_EQ(form->ui().boxes, row.question.empty() ? std::vector<std::string>{}
                                                         : std::vector<std::string>{row.question});
        EXPECT_EQ(form->RichEdit1->toPlainText().contains("Read Complete!"), row.read);
        int idReads = 0, setUps = 0;
        for (const auto& c : testing::simLog(OSTREL_SIM_LOG_COMMAND)) {
            idReads += std::strstr(c.text, "ReadId") != nullptr;
            setUps += std::strstr(c.text, "BeginJob") != nullptr;
        }
        EXPECT_EQ(idReads, row.ticked ? 1 : 0);
        EXPECT_EQ(setUps, row.read ? 1 : 0) << "a stop sends no job";
    }
    form->CheckChip->setChecked(false);
    form->close();
    EXPECT_NE(testing::readFile(dir.file("ostrel.ini")).find("[OPERATION]\nCheckChip=0"),
              std::string::npos);
}

// Verify after Write, blank check after Erase: Write completes only when the
// chip holds what was written, Erase only when the chip is blank; otherwise
// the box names the first difference and its likely cause. AUTO, whose erase
// ran, says the erase did not take rather than "erase first". Unticked, Write
// and Erase are as they always were.
TEST_F(MainWindowTest, WriteAndEraseCheckTheChipAndSayWhyItDidNotTake) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    auto form = makeForm();
    choose(*form, "SPI_FLASH", "Winbond", "W25Q64JV");
    ASSERT_TRUE(form->VerifyWrite->isChecked()) << "ticked by default";
    form->CheckChip->setChecked(false);
    const std::string differs = "Flash check error address:0h\n";
    const std::string eraseNotTaken =
        "The erase did not take at address 0h: the chip is likely write-protected.";
    enum Tool { Write, Erase, Auto };
    struct Row {
        const char* name;
        Tool tool;
        uint8_t chipHeld;
        bool protect;
        bool ticked;
        std::string box;  // empty: none
    } rows[] = {
        {"equal", Write, 0xFF, false, true, ""},
        {"not erased", Write, 0x00, false, true,
         differs + "The chip holds a 0 bit where the data has a 1: it was not erased. A write "
                   "only clears bits: erase the chip first, or use AUTO."},
        {"protected", Write, 0xFF, true, true,
         differs + "The chip kept a 1 bit where the data has a 0: the write did not take. The "
                   "chip may be write-protected."},
        {"protected, unticked", Write, 0xFF, true, false, ""},
        {"erase", Erase, 0x00, false, true, ""},
        {"erase, protected", Erase, 0x00, true, true, eraseNotTaken},
        {"erase, protected, unticked", Erase, 0x00, true, false, ""},
        {"auto, protected", Auto, 0x00, true, true, eraseNotTaken},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::vector<uint8_t> held(4096, row.chipHeld);
        ostrel_sim_clear_faults(programmer);
        ostrel_sim_chip_write(programmer, 0, held.data(), 4096);
        if (row.protect) ostrel_sim_set_fault(programmer, OSTREL_SIM_FAULT_WRITE_PROTECT, 0, 0);
        std::memset(form->state().buffers.flash(), 0x5A, 4096);
        form->state().buffers.flashDataLength = 4096;
        form->VerifyWrite->setChecked(row.ticked);
        form->ui().boxes.clear();
        form->ui().clearLog();
        (row.tool == Write   ? form->ToolWrite
         : row.tool == Erase ? form->ToolErase
                             : form->ToolAuto)
            ->trigger();
        EXPECT_EQ(form->ui().boxes,
                  row.box.empty() ? std::vector<std::string>{} : std::vector<std::string>{row.box});
        const char* complete = row.tool == Write   ? "Write Complete!"
                               : row.tool == Erase ? "Erase Complete!"
                                                   : "AUTO Complete!";
        EXPECT_EQ(form->RichEdit1->toPlainText().contains(complete), row.box.empty());
    }
    // One key keeps the guard; a file that has only the key of the days when
    // it checked Write alone keeps its choice.
    form->VerifyWrite->setChecked(false);
    form->close();
    EXPECT_NE(testing::readFile(dir.file("ostrel.ini")).find("CheckWriteErase=0"),
              std::string::npos);
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n[OPERATION]\nVerifyWrite=0\n");
    EXPECT_FALSE(makeForm()->VerifyWrite->isChecked());
}

// Read twice and compare: a flaky contact gives a box naming the difference
// and keeps the first read, its differing blocks marked in the chip map; the
// log warns of a stuck data line and of a chip smaller than chosen; the item
// is off by default and kept in the settings file.
TEST_F(MainWindowTest, ReadTwiceAndTheLogSayWhenAReadCannotBeTrusted) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    auto form = makeForm();
    choose(*form, "SPI_FLASH", "Winbond", "W25Q64JV");
    ASSERT_FALSE(form->ReadTwice->isChecked()) << "off by default";
    form->CheckChip->setChecked(false);
    struct Row {
        const char* faults;  // extra words of the chip line
        bool twice;
        const char* box;  // the start of the one box, or empty
        std::vector<std::string> log;
    } rows[] = {
        {"", true, "", {"Read Complete!", "The chip was read twice and the reads matched."}},
        {"flaky=262144 seed=9", true, "The two reads differ in ", {}},
        {"stuck_bit=4",
         false,
         "",
         {"Read Complete!",
          "Bit 4 is 0 in every byte while the other bits vary: a data line may be stuck or "
          "without contact."}},
        {"size=0x200000",
         false,
         "",
         {"The data repeats every 2 MiB: the chip is likely only 2 MiB, smaller than the one "
          "chosen."}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.faults);
        ASSERT_EQ(ostrel_sim_configure_text(
                      (std::string("programmer bus=1\nchip id=0xEF4017 class=0 ") +
                       (std::string(row.faults).rfind("size=", 0) == 0 ? "" : "size=0x800000 ") +
                       row.faults)
                          .c_str()),
                  0);
        std::vector<uint8_t> content = fillChip();
        content.resize(std::min<std::size_t>(content.size(), ostrel_sim_chip_size(programmer)));
        ostrel_sim_chip_write(programmer, 0, content.data(), static_cast<uint32_t>(content.size()));
        form->ReadTwice->setChecked(row.twice);
        form->ui().boxes.clear();
        form->ui().clearLog();
        form->ToolRead->trigger();
        const QString log = form->RichEdit1->toPlainText();
        if (row.box[0] == '\0') {
            EXPECT_TRUE(form->ui().boxes.empty()) << form->ui().boxes.front();
        } else {
            ASSERT_EQ(form->ui().boxes.size(), 1u);
            EXPECT_EQ(form->ui().boxes[0].rfind(row.box, 0), 0u) << form->ui().boxes[0];
            EXPECT_FALSE(log.contains("Complete"));
        }
        for (const std::string& line : row.log)
            EXPECT_TRUE(log.contains(QString::fromStdString(line))) << log.toStdString();
        if (std::string(row.faults).rfind("flaky", 0) != 0) continue;
        // The first read stays, a flipped bit here and there; the map marks
        // the blocks the reads differed in, and nothing else.
        const uint8_t* kept = form->state().buffers.flash();
        std::size_t differing = 0;
        for (std::size_t i = 0; i < content.size(); ++i) differing += kept[i] != content[i];
        EXPECT_GT(differing, 0u);
        EXPECT_LT(differing, 200u);
        form->tools().showChipMap();
        const ChipMapWindow& map = *form->tools().chipMap();
        const std::vector<CellLook>& cells = map.cells();
        ASSERT_EQ(cells.size(), 2048u);
        const auto marked = std::count(cells.begin(), cells.end(), CellLook::ReadsDiffer);
        EXPECT_GT(marked, 0);
        EXPECT_EQ(marked + std::count(cells.begin(), cells.end(), CellLook::Data), 2048);
        const uint32_t cell = static_cast<uint32_t>(
            std::find(cells.begin(), cells.end(), CellLook::ReadsDiffer) - cells.begin());
        const QString hover = map.cellText(cell);
        EXPECT_TRUE(hover.endsWith("differed between the two reads")) << hover.toStdString();
        // A click on the cell shows its first address in the FLASH view.
        map.onGoTo(map.layout().cellStart(cell));
        EXPECT_EQ(form->FlashEditor->cursorAddress(), cell * 4096u);
        form->tools().chipMap()->close();
    }
    form->ReadTwice->setChecked(true);
    form->close();
    EXPECT_NE(testing::readFile(dir.file("ostrel.ini")).find("ReadTwice=1"), std::string::npos);
}

// Typed bytes are not lost without a question: Open, Read and closing the
// window ask once; No keeps them, Yes lets them go.
TEST_F(MainWindowTest, OpenReadAndCloseAskBeforeTheyDropTypedBytes) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    testing::writeFile(dir.file("other.bin"), std::string(16, '\x11'));
    auto form = makeForm();
    choose(*form, "SPI_FLASH", "Winbond", "W25Q64JV");
    const std::string question = "The buffer holds changes that no file has kept. Throw them away?";
    form->ui().openPath = dir.file("other.bin");
    form->ToolOpen->trigger();
    EXPECT_TRUE(form->ui().boxes.empty()) << "nothing typed, nothing asked";
    form->state().buffers.flashView().overwrite(0x20, 0x45);

    form->ui().answers = {false, false, false};
    form->ToolOpen->trigger();
    EXPECT_EQ(form->ui().boxes, std::vector<std::string>{question});
    EXPECT_EQ(form->state().buffers.flashView().byteAt(0x20), 0x45);
    form->ToolRead->trigger();
    EXPECT_EQ(form->ui().boxes.size(), 2u);
    EXPECT_EQ(form->state().buffers.flashView().byteAt(0x20), 0x45) << "read over typed bytes";
    form->close();
    EXPECT_EQ(form->ui().boxes.size(), 3u);
    EXPECT_TRUE(form->isVisible());

    form->ui().answers = {true};
    form->ToolOpen->trigger();
    EXPECT_EQ(form->ui().boxes.size(), 4u);
    EXPECT_EQ(form->state().buffers.flashView().byteAt(0x20), 0xFF);
    form->ToolRead->trigger();
    EXPECT_EQ(form->ui().boxes.size(), 4u) << "the file's bytes: read without a question";
    form->close();
    EXPECT_EQ(form->ui().boxes.size(), 4u) << "the chip's bytes: nothing to ask";
    EXPECT_FALSE(form->isVisible());
}

// --- the window as a whole --------------------------------------------------------

// Batch mode from its button: pressed, it shows STOP and locks the window but
// for itself; the chip in the socket is programmed once; released, everything
// comes back.
TEST_F(MainWindowTest, BatchModeFromItsButton) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    auto form = makeForm();
    choose(*form, "SPI_FLASH", "Winbond", "W25Q64JV");
    for (int i = 0; i < 256; ++i) form->state().buffers.flash()[i] = static_cast<uint8_t>(i);
    form->state().buffers.flashDataLength = 256;
    std::string error;
    SerialFormat serial;
    ASSERT_TRUE(parseSerialFormat("0x10:2:42:be", serial, error));
    form->serialAnswer = serial;
    QString caption;
    bool openEnabled = true, bulkEnabled = false;
    int ticks = 0;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (++ticks == 1) {
            caption = form->ToolBulk->text();
            openEnabled = form->ToolOpen->isEnabled();
            bulkEnabled = form->ToolBulk->isEnabled();
        }
        const bool programmed = form->ui().firstLogLine().rfind("AUTO Complete!", 0) == 0;
        if ((programmed || ticks > 20000) && form->ToolBulk->isChecked() &&
            !form->runner().lock().jobRunning())
            form->ToolBulk->trigger();
    });
    watcher.start(0);
    form->ToolBulk->trigger();
    watcher.stop();
    EXPECT_EQ(caption, "STOP");
    EXPECT_FALSE(openEnabled);
    EXPECT_TRUE(bulkEnabled);
    EXPECT_LT(ticks, 20000) << "the chip was never programmed";
    EXPECT_EQ(form->ui().firstLogLine().rfind("AUTO Complete! Serial number 42 written. (", 0), 0u)
        << form->ui().firstLogLine();
    EXPECT_FALSE(form->ToolBulk->isChecked());
    EXPECT_EQ(form->ToolBulk->text(), "BULK");
    EXPECT_TRUE(form->ToolOpen->isEnabled());
    uint8_t programmed[256];
    ostrel_sim_chip_read(programmer, 0, programmed, 256);
    EXPECT_EQ(0, std::memcmp(programmed, form->state().buffers.flash(), 256));
    EXPECT_EQ(programmed[0x10], 0x00);  // the serial number 42, most significant byte first
    EXPECT_EQ(programmed[0x11], 0x2A);
    // The production record: named in the log pane, a line for the chip, the
    // counter moved on, the chip counted on the status bar.
    const std::string folder = dir.file("ostrel");
    const std::string line =
        testing::readFile(folder + "/" + productionLogName(std::time(nullptr)));
    EXPECT_NE(line.find("\"command\":\"auto\",\"result\":\"done\""), std::string::npos) << line;
    EXPECT_NE(line.find("\"serial\":42}\n"), std::string::npos) << line;
    EXPECT_EQ(testing::readFile(folder + "/serial-counter"), "00000000000000000043\n");
    EXPECT_EQ(form->ui().statusText(PanelBatchCounts), "OK 1 NG 0");
    EXPECT_TRUE(form->RichEdit1->toPlainText().contains(
        QString::fromStdString("Production log: " + folder + "/production-")));

    // A log that cannot be created: batch mode does not start, the chip is
    // not touched.
    const int transfers = ostrel_sim_log_count();
    setenv("XDG_STATE_HOME", dir.file("ostrel.Dat").c_str(), 1);  // a file, not a folder
    form->ToolBulk->trigger();
    EXPECT_FALSE(form->ToolBulk->isChecked());
    ASSERT_FALSE(form->ui().boxes.empty());
    EXPECT_EQ(form->ui().boxes.back().rfind("The production log ", 0), 0u)
        << form->ui().boxes.back();
    EXPECT_EQ(ostrel_sim_log_count(), transfers);
}

// A chip that fails in batch mode is recorded before its box waits for a
// click: the log line, the counts and the serial number given back are there
// while the box is open. SIGTERM then answers the open box as Escape does and
// ends the window as closing does.
TEST_F(MainWindowTest, BatchModeRecordsAFailedChipBeforeItsBoxAndEndsOnSigterm) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    auto form = makeForm();
    closeOnTerminationSignals(form.get());
    choose(*form, "SPI_FLASH", "Winbond", "W25Q64JV");
    std::memset(form->state().buffers.flash(), 0x5A, 256);
    form->state().buffers.flashDataLength = 256;
    std::string error;
    SerialFormat serial;
    ASSERT_TRUE(parseSerialFormat("0x10:2:42", serial, error));
    form->serialAnswer = serial;
    ostrel_sim_set_fault(programmer, OSTREL_SIM_FAULT_WRITE_PROTECT, 0, 0);
    const std::string folder = dir.file("ostrel");
    const std::string logPath = folder + "/" + productionLogName(std::time(nullptr));
    std::string logAtBox, counterAtBox, countsAtBox;
    form->ui().onBox = [&](const std::string&) {
        if (!logAtBox.empty()) return;
        logAtBox = testing::readFile(logPath);
        counterAtBox = testing::readFile(folder + "/serial-counter");
        countsAtBox = form->ui().statusText(PanelBatchCounts);
        raise(SIGTERM);
    };
    form->ui().realBoxes = true;
    // Should the signal not close it, the box is closed here, and the test fails.
    bool boxLeftOpen = false;
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            boxLeftOpen = true;
            box->close();
        }
        form->runner().stopBatch();
    });
    giveUp.start(20000);
    form->ToolBulk->trigger();
    EXPECT_TRUE(giveUp.isActive()) << "batch mode ended by itself";
    EXPECT_FALSE(boxLeftOpen) << "the signal left the box open";
    QCoreApplication::processEvents();

    ASSERT_FALSE(form->ui().boxes.empty());
    EXPECT_EQ(form->ui().boxes[0].rfind("Flash check error address:", 0), 0u);
    EXPECT_NE(logAtBox.find("\"command\":\"auto\",\"result\":\"different\""), std::string::npos)
        << logAtBox;
    EXPECT_EQ(std::count(logAtBox.begin(), logAtBox.end(), '\n'), 1);
    EXPECT_EQ(countsAtBox, "OK 0 NG 1");
    EXPECT_EQ(counterAtBox, testing::readFile(folder + "/serial-counter"));
    EXPECT_EQ(counterAtBox, "00000000000000000042\n") << "the failed chip's number given back";
    EXPECT_EQ(testing::readFile(logPath), logAtBox) << "nothing more recorded after the box";
    EXPECT_FALSE(form->isVisible()) << "SIGTERM closed the window";
    EXPECT_FALSE(form->runner().lock().locked());
    EXPECT_NE(testing::readFile(dir.file("ostrel.ini")).find("FormWidth="), std::string::npos);
}

// Batch mode on the line's database the settings name: a database that cannot
// be used, an image or a chip that is not the product's keep it from starting
// without touching the chip; the product's chip gets a number from its pool
// and a finished row, and the log pane names the database.
TEST_F(MainWindowTest, BatchModeRecordsEachChipInTheLineDatabase) {
    const std::string url = "sqlite:" + dir.file("line.db");
    std::string error;
    auto store = ProductionStore::open(url, error);
    ASSERT_TRUE(store) << error;
    std::vector<uint8_t> image(256);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7);
    SerialFormat pool;
    ASSERT_TRUE(parseSerialFormat("0x20:2:500:be", pool, error));
    for (const Product& product :
         {Product{"board", "SPI_FLASH,Winbond,W25Q64JV", imageHash(image.data(), 256), pool},
          Product{"small", "SPI_FLASH,Winbond,W25X10", imageHash(image.data(), 256), pool}})
        ASSERT_TRUE(store->addProduct(product, error)) << error;

    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    auto form = makeForm();
    choose(*form, "SPI_FLASH", "Winbond", "W25Q64JV");
    auto load = [&](uint8_t first) {
        std::memcpy(form->state().buffers.flash(), image.data(), 256);
        form->state().buffers.flash()[0] = first;
        form->state().buffers.flashDataLength = 256;
    };
    const struct {
        const char* database;
        const char* product;
        uint8_t first;  // the image's first byte
        const char* box;
    } refusals[] = {
        {"sqlite:/nonexistent/line.db", "board", 0, "The production database "},
        {"", "board", 1, "The image is not product board's"},
        {"", "small", 0, "Product small is made with SPI_FLASH,Winbond,W25X10, not with"},
        {"", "gone", 0, "The production database has no product named gone."},
    };
    for (const auto& r : refusals) {
        testing::writeFile(dir.file("ostrel.ini"),
                           std::string("[DEVICE]\nLANGU=2\n[PRODUCTION]\nDatabase=") +
                               (*r.database ? r.database : url.c_str()) + "\n");
        load(r.first);
        form->productAnswer = r.product;
        const int transfers = ostrel_sim_log_count();
        form->ToolBulk->trigger();
        EXPECT_FALSE(form->ToolBulk->isChecked());
        ASSERT_FALSE(form->ui().boxes.empty());
        EXPECT_EQ(form->ui().boxes.back().find(r.box), 0u) << form->ui().boxes.back();
        EXPECT_EQ(form->ui().firstLogLine(), form->ui().boxes.back() + " (10:00:00)")
            << "the log pane does not keep the refusal";
        EXPECT_EQ(ostrel_sim_log_count(), transfers) << r.box;
    }
    EXPECT_EQ(form->productsOffered, (std::vector<std::string>{"board", "small"}));

    load(0);
    form->productAnswer = "board";
    int ticks = 0;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        const bool programmed = form->ui().firstLogLine().rfind("AUTO Complete!", 0) == 0;
        if ((programmed || ++ticks > 20000) && form->ToolBulk->isChecked() &&
            !form->runner().lock().jobRunning())
            form->ToolBulk->trigger();
    });
    watcher.start(0);
    form->ToolBulk->trigger();
    watcher.stop();
    ASSERT_LT(ticks, 20000) << "the chip was never programmed";
    uint8_t serial[2];
    ostrel_sim_chip_read(programmer, 0x20, serial, 2);
    EXPECT_EQ(serial[0] << 8 | serial[1], 500);
    std::vector<ChipRow> rows;
    ASSERT_TRUE(store->records({}, rows, error)) << error;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].result, "done");
    EXPECT_EQ(rows[0].product, "board");
    EXPECT_EQ(rows[0].serial, std::optional<uint64_t>(500));
    EXPECT_TRUE(form->RichEdit1->toPlainText().contains(
        QString::fromStdString("Production database: " + url + " (")));

    // The database goes away while batch mode waits for the next chip: a box,
    // batch mode stops, and the chip is not started.
    ostrel_sim_chip_write(programmer, 0x20, std::vector<uint8_t>(2, 0xFF).data(), 2);
    const std::size_t boxes = form->ui().boxes.size();
    bool dropped = false;
    QTimer away;
    QObject::connect(&away, &QTimer::timeout, [&] {
        if (dropped) return;
        auto db = connectSqlite(dir.file("line.db"), error);
        dropped = db && db->exec("DROP TABLE chips", error);
    });
    away.start(0);
    form->ToolBulk->trigger();
    away.stop();
    EXPECT_TRUE(dropped) << error;
    EXPECT_FALSE(form->ToolBulk->isChecked());
    ASSERT_EQ(form->ui().boxes.size(), boxes + 1);
    EXPECT_EQ(form->ui().boxes.back().find("The production database "), 0u)
        << form->ui().boxes.back();
    EXPECT_NE(form->ui().boxes.back().find("The chip was not started."), std::string::npos);
    EXPECT_EQ(form->ui().firstLogLine(), form->ui().boxes.back() + " (10:00:00)");
    ostrel_sim_chip_read(programmer, 0x20, serial, 2);
    EXPECT_EQ(serial[0] << 8 | serial[1], 0xFFFF) << "the chip was programmed";
}

// A device-change source the test pokes: a pipe whose reading end the window watches.
class PipeSource : public DeviceChangeSource {
  public:
    explicit PipeSource(int* writeEnd) {
        if (pipe(fds_) == 0) *writeEnd = fds_[1];
    }
    ~PipeSource() override {
        close(fds_[0]);
        close(fds_[1]);
    }
    int fd() const override { return fds_[0]; }
    // The test writes one action a line, as udev names them.
    int drain() override {
        char buffer[256];
        const ssize_t n = read(fds_[0], buffer, sizeof buffer - 1);
        if (n <= 0) return 0;
        buffer[n] = '\0';
        int count = 0;
        for (char* action = std::strtok(buffer, "\n"); action; action = std::strtok(nullptr, "\n"))
            count += deviceCameOrWent(action);
        return count;
    }

  private:
    int fds_[2] = {-1, -1};
};

// What a component shows for the kind of caption an entry gives it.
QString shownCaption(QObject* target, const CaptionEntry& entry) {
    if (auto* action = qobject_cast<QAction*>(target))
        return entry.kind == CaptionKind::CheckMark ? (action->isChecked() ? "1" : "0")
                                                    : action->text();
    auto* widget = qobject_cast<QWidget*>(target);
    if (!widget) return "<not a widget>";
    if (entry.kind == CaptionKind::WindowTitle) return widget->windowTitle();
    if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->title();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    for (QWidget* up = widget->parentWidget(); up; up = up->parentWidget())
        if (auto* tabs = qobject_cast<QTabWidget*>(up)) return tabs->tabText(tabs->indexOf(widget));
    return "<no caption>";
}

class WindowTest : public MainWindowTest {
  protected:
    // The form with a fake device-change source, shown and activated.
    std::unique_ptr<RecordingForm> makeWatchedForm() {
        auto form = makeForm();
        form->watchDeviceChanges(std::make_unique<PipeSource>(&poke));
        return form;
    }
    void deviceChange(const char* actions = "add\n") {
        ASSERT_EQ(write(poke, actions, std::strlen(actions)), ssize_t(std::strlen(actions)));
        QApplication::processEvents();
    }
    // A catalogue of records "type,maker,name" with sizes and voltage.
    void writeCatalogue(const std::vector<ChipRecord>& chips) {
        std::string bytes;
        for (const ChipRecord& chip : chips) {
            uint8_t raw[kChipRecordSize];
            encodeRecord(chip, raw);
            bytes.append(reinterpret_cast<const char*>(raw), sizeof raw);
        }
        testing::writeFile(dir.file("ostrel.Dat"), bytes);
    }
    static ChipRecord chip(const char* name, uint32_t flashSize, uint8_t voltage = 0) {
        ChipRecord record{};
        std::strncpy(record.nameText, name, sizeof record.nameText - 1);
        record.flashSize = flashSize;
        record.flashPage = 256;
        record.voltage = voltage;
        return record;
    }
    // Chooses an entry the way the keyboard does, which emits the list's activation.
    static void pick(QComboBox* box, int index) {
        box->setFocus();
        while (box->currentIndex() < index) QTest::keyClick(box, Qt::Key_Down);
        while (box->currentIndex() > index) QTest::keyClick(box, Qt::Key_Up);
    }
    std::vector<CaptionWindow> captionWindows(RecordingForm& form) {
        return {{"TForm1", &form},      {"TForm2", form.Form2},       {"TForm3", form.Form3},
                {"TForm4", form.Form4}, {"TAboutBox", form.AboutBox}, {"TForm6", form.Form6}};
    }

    int poke = -1;
};

TEST_F(WindowTest, FirstStartOpensCentredInSimplifiedChineseAndClosingWritesTheTenKeys) {
    auto form = makeForm();
    EXPECT_EQ(form->height(), 500);
    // 700 wide unless a whole hex row needs more; it never scrolls sideways.
    EXPECT_GE(form->width(), 700);
    EXPECT_EQ(form->FlashEditor->horizontalScrollBar()->maximum(), 0);
    const QPoint screenCentre = QApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((form->frameGeometry().center() - screenCentre).manhattanLength(), 2);
    EXPECT_TRUE(form->China->isChecked());
    EXPECT_FALSE(form->fanti->isChecked() || form->Enlish->isChecked());
    EXPECT_EQ(form->windowTitle(), QString::fromUtf8("Ostrel I 高速编程器"));
    EXPECT_TRUE(form->Panel9->isHidden() && form->Socket1->isHidden() &&
                form->N4->isVisible() == false);
    EXPECT_FALSE(form->ToolDevice->isVisible() || form->N3->isVisible());
    EXPECT_TRUE(form->Progress2->isHidden());
    EXPECT_EQ(form->Progress->geometry().left(), 317);
    EXPECT_EQ(form->Progress->geometry().right(), form->StatusBar1->width() + 1);
    form->resize(form->width() + 120, form->height());
    QApplication::processEvents();
    EXPECT_EQ(form->Progress->geometry().left(), 317);
    EXPECT_EQ(form->Progress2->geometry().right(), form->StatusBar1->width() + 1);
    form->close();
    const std::string ini = testing::readFile(dir.file("ostrel.ini"));
    for (const char* key : {"FormHeight=500", "FormWidth=", "FormTop=", "FormLeft=", "FormMax=0",
                            "INDEX1=0", "INDEX2=0", "INDEX3=0", "SPEED=0", "LANGU=0"})
        EXPECT_NE(ini.find(key), std::string::npos) << key;
    EXPECT_EQ(ini.find("chip="), std::string::npos);
}

TEST_F(WindowTest, FormMaxOpensMaximisedAndTheSwitchShowsTheDeviceCommands) {
    testing::writeFile(dir.file("ostrel.ini"),
                       "[Environment]\nFormMax=1\nFormWidth=300\n[DEVICE]\nchip=1\n");
    auto form = makeForm();
    EXPECT_TRUE(form->windowState() & Qt::WindowMaximized);
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(form->ToolDevice->isVisible() && form->N3->isVisible());
    form->close();
    EXPECT_NE(testing::readFile(dir.file("ostrel.ini")).find("FormMax=1"), std::string::npos);
}

TEST_F(WindowTest, ChipSelectionThroughTheLists) {
    writeCatalogue({chip("SPI,Alpha,A1", 0x10000), chip("SPI,Beta,B1", 0x20000),
                    chip("I2C,Gamma,G1", 0x100), chip("spi,Delta,D1", 0x40000),
                    chip("I2C,Gamma,G2", 0x200, 1)});
    auto form = makeForm();
    EXPECT_EQ(form->ComboBox1->count(), 2) << "types differing only in case share one entry";
    EXPECT_TRUE(form->Label9->isHidden());
    uint8_t* flash = form->state().buffers.flash();
    uint8_t* eeprom = form->state().buffers.eeprom();

    const struct {
        int list;  // 0 type, 1 maker, 2 name
        int index;
        const char* maker;
        const char* name;
        const char* size;
        const char* firstPage;
        bool note;
    } steps[] = {
        {0, 1, "Gamma", "G1", "256", "EEPROM", false},  // another type: its first maker and chip
        {2, 1, "Gamma", "G2", "512", "EEPROM", true},   // the 1.8 V chip shows the note
        {0, 0, "Alpha", "A1", "65536", "FLASH", false},
        {1, 1, "Beta", "B1", "131072", "FLASH", false},
    };
    QComboBox* lists[] = {form->ComboBox1, form->ComboBox2, form->ComboBox3};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        flash[0] = 0x12;
        eeprom[0] = 0x34;
        pick(lists[step.list], step.index);
        EXPECT_EQ(form->ComboBox2->currentText(), step.maker);
        EXPECT_EQ(form->ComboBox3->currentText(), step.name);
        EXPECT_EQ(form->Edit1->text(), step.size);
        EXPECT_EQ(form->PageControl1->tabText(0), step.firstPage);
        EXPECT_EQ(!form->Label9->isHidden(), step.note);
        EXPECT_EQ(flash[0], 0xFF) << "every chip change refills the FLASH buffer";
        EXPECT_EQ(eeprom[0], 0x34) << "the EEPROM buffer keeps its bytes";
    }
    // A language switch keeps the first page's caption for the chip's type.
    pick(form->ComboBox1, 1);
    form->Enlish->trigger();
    EXPECT_EQ(form->PageControl1->tabText(0), "EEPROM");
}

TEST_F(WindowTest, AnEmptyCatalogueShowsNoChipAndTheRangeEndFFFFFFFF) {
    testing::writeFile(dir.file("ostrel.Dat"), "");
    auto form = makeForm();
    EXPECT_EQ(form->ComboBox1->count() + form->ComboBox2->count() + form->ComboBox3->count(), 0);
    EXPECT_EQ(form->Edit4->text(), "FFFFFFFF");
    EXPECT_TRUE(form->Label9->isHidden());
    EXPECT_TRUE(form->ui().boxes.empty());
    // Without a catalogue file nothing is selected and the note keeps its first state.
    std::filesystem::remove(dir.file("ostrel.Dat"));
    auto bare = makeForm();
    EXPECT_FALSE(bare->Label9->isHidden());
    EXPECT_EQ(bare->Edit5->text(), "0");
}

TEST_F(WindowTest, TheMonitorRunsOnDeviceChangesAndOnReturnsFromOwnWindowsOnly) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    auto form = makeWatchedForm();
    QTextDocument* log = form->RichEdit1->document();
    const auto lines = [&] { return log->isEmpty() ? 0 : log->blockCount(); };
    form->ui().clearLog();

    deviceChange();
    deviceChange();
    EXPECT_EQ(lines(), 1) << "two checks within one second add one line";
    form->ui().clockText = "10:00:01";
    deviceChange();
    EXPECT_EQ(lines(), 2);
    EXPECT_EQ(form->ui().firstLogLine(),
              "The programmer Ostrel I is detected, and the working state is normal. (10:00:01)");

    ostrel_sim_set_plugged(programmer, 0);
    deviceChange();
    EXPECT_EQ(form->ui().statusText(PanelState), "Not connected");
    EXPECT_EQ(form->panels_[1]->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    // Another language says it in its own words, red as ever.
    const std::string notConnected = messageText(Msg::MsgNotConnected, LangSimplified);
    form->China->trigger();
    EXPECT_EQ(form->ui().statusText(PanelState), notConnected);
    EXPECT_EQ(form->panels_[1]->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(form->panels_[PanelState]->toolTip().toStdString(),
              programText(Txt::DiagnoseNotConnectedTip, LangSimplified));

    // Back from another program: no check. Back from one of ours: a check.
    ostrel_sim_set_plugged(programmer, 1);
    emit qApp->focusWindowChanged(nullptr);
    emit qApp->focusWindowChanged(form->windowHandle());
    EXPECT_EQ(form->ui().statusText(PanelState), notConnected);
    // A dialog that closes may leave the focus nowhere for a moment.
    form->Form4->show();
    emit qApp->focusWindowChanged(form->Form4->windowHandle());
    form->Form4->hide();
    emit qApp->focusWindowChanged(nullptr);
    emit qApp->focusWindowChanged(form->windowHandle());
    EXPECT_EQ(form->ui().statusText(PanelState), messageText(Msg::MsgConnected, LangSimplified));
}

// One check for each burst of arrivals and removals; a driver binding or a
// device changing its attributes is no reason for one.
TEST_F(WindowTest, TheMonitorChecksOnceForEachBurstOfArrivalsOrRemovals) {
    auto form = makeWatchedForm();
    form->activateWindow();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == form->windowHandle(); }));
    QApplication::processEvents();
    const auto opens = [] { return int(testing::simLog(OSTREL_SIM_LOG_OPEN).size()); };
    ostrel_sim_log_clear();
    form->checkProgrammer();
    const int opensPerCheck = opens();
    ASSERT_GT(opensPerCheck, 0);
    const struct {
        const char* actions;
        int checks;
    } cases[] = {{"remove\n", 1},           {"add\n", 1},
                 {"add\nadd\nremove\n", 1}, {"bind\n", 0},
                 {"change\n", 0},           {"unbind\nbind\nchange\n", 0},
                 {"bind\nadd\nchange\n", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.actions);
        ostrel_sim_log_clear();
        deviceChange(c.actions);
        EXPECT_EQ(opens(), c.checks * opensPerCheck);
    }
}

// The activation check through a real focus change: going to one of the
// program's dialogs checks nothing, coming back from it checks.
TEST_F(WindowTest, ComingBackFromADialogChecksForTheProgrammer) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    auto form = makeForm();
    form->activateWindow();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == form->windowHandle(); }));
    EXPECT_EQ(form->ui().statusText(PanelState), "Connected");
    ostrel_sim_set_plugged(programmer, 0);
    form->Form4->show();
    form->Form4->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QGuiApplication::focusWindow() == form->Form4->windowHandle(); }));
    EXPECT_EQ(form->ui().statusText(PanelState), "Connected");
    form->Form4->hide();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == form->windowHandle(); }));
    EXPECT_EQ(form->ui().statusText(PanelState), "Not connected");
}

TEST_F(WindowTest, ACheckDuringAJobWaitsForItsEnd) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    auto form = makeWatchedForm();
    choose(*form, "SPI_FLASH", "Winbond", "W25Q64JV");
    form->ui().clearLog();
    ASSERT_EQ(write(poke, "add\n", 4), 4);  // noticed by the read's first look at the event loop
    form->R1->trigger();
    EXPECT_TRUE(form->ui().boxes.empty());
    // The presence check's line, then the read's and, the chip being blank, its warning.
    ASSERT_EQ(form->RichEdit1->document()->blockCount(), 3);
    EXPECT_EQ(form->ui().firstLogLine().rfind("The programmer Ostrel I is detected", 0), 0u);
    EXPECT_EQ(form->RichEdit1->document()->findBlockByNumber(1).text().toStdString().rfind(
                  "Read Complete!", 0),
              0u);
    EXPECT_EQ(form->RichEdit1->document()->lastBlock().text().toStdString(),
              "Every byte read is FF: the chip is blank.");
}

TEST_F(WindowTest, EveryCaptionLandsInEveryLanguage) {
    auto form = makeForm();
    QAction* commands[] = {form->China, form->fanti, form->Enlish};
    for (int language : {2, 1, 0, 2}) {
        form->ui().insertLogLine("old line");
        form->ToolBulk->setText("STOP");
        commands[language]->trigger();
        EXPECT_TRUE(form->RichEdit1->document()->isEmpty());
        EXPECT_EQ(form->state().language, language);
        EXPECT_TRUE(applyCaptions(captionWindows(*form), language).empty())
            << "every entry finds its component and takes its text";
        int checked = 0;
        for (const CaptionEntry& entry : captionTable()) {
            for (const auto& [windowClass, window] : captionWindows(*form)) {
                if (std::strcmp(windowClass, entry.window) != 0) continue;
                ++checked;
                QObject* target = findCaptionTarget(window, entry);
                ASSERT_NE(target, nullptr) << entry.window << "." << entry.component;
                EXPECT_EQ(shownCaption(target, entry),
                          QString::fromUtf8(captionText(entry, language)))
                    << entry.window << "." << entry.component;
            }
        }
        EXPECT_EQ(checked, int(kCaptionsPerLanguage));
    }
}

// Batch mode runs on the programmer it started on: one that comes meanwhile
// takes no chip, and when its own goes batch mode stops with a box.
TEST_F(WindowTest, BatchModeStaysOnItsProgrammerAndStopsWhenItGoes) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    auto form = makeWatchedForm();
    choose(*form, "SPI_FLASH", "Winbond", "W25Q64JV");
    std::memset(form->state().buffers.flash(), 0x5A, 256);
    form->state().buffers.flashDataLength = 256;
    ostrel_sim_remove_chip(programmer);  // batch mode waits for a chip
    int ticks = 0;
    int second = -1;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        ++ticks;
        if (ticks == 5) {
            second = ostrel_sim_add_programmer(1);
            ostrel_sim_insert_chip(second, 0, 0xEF4017, 0x800000, nullptr);
            deviceChange("add\n");
        } else if (ticks == 40) {
            ostrel_sim_set_plugged(programmer, 0);
            deviceChange("remove\n");
        } else if (ticks > 4000 && form->ToolBulk->isChecked()) {
            form->ToolBulk->trigger();
        }
    });
    watcher.start(0);
    form->ToolBulk->trigger();
    watcher.stop();
    EXPECT_LT(ticks, 4000) << "batch mode did not stop when its programmer went";
    ASSERT_FALSE(form->ui().boxes.empty());
    const std::string& box = form->ui().boxes.back();
    EXPECT_EQ(box.rfind("The programmer ", 0), 0u) << box;
    EXPECT_NE(box.find("001/001 that batch mode ran on cannot be used any more"), std::string::npos)
        << box;
    for (const auto& c : testing::simLog(OSTREL_SIM_LOG_COMMAND))
        EXPECT_FALSE(c.device == second && std::strstr(c.text, "BeginJob")) << c.text;
    EXPECT_FALSE(form->ToolBulk->isChecked());
}

TEST_F(WindowTest, MenuAcceleratorsTriggerTheirCommands) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    auto form = makeForm();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->ui().clearLog();
    QTest::keyClick(form.get(), Qt::Key_O, Qt::AltModifier);
    QApplication::processEvents();
    ASSERT_TRUE(form->O3->isVisible()) << "Alt+O opens the Operation menu";
    QTest::keyClick(form->O3, Qt::Key_R);
    QApplication::processEvents();
    // The menu gave the focus back without a presence check.
    EXPECT_EQ(form->ui().firstLogLine().rfind("Read Complete!", 0), 0u)
        << form->ui().firstLogLine();

    // Ctrl+S saves, Ctrl+O opens; Escape closes the find bar from the view.
    testing::writeFile(dir.file("in.bin"), std::string(4, '\x42'));
    form->ui().savePath = dir.file("out.bin");
    form->ui().openPath = dir.file("in.bin");
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(std::filesystem::exists(dir.file("out.bin")));
    QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(form->state().buffers.flashView().byteAt(3), 0x42);
    form->tools().Find->trigger();
    ASSERT_TRUE(form->tools().FindBar->isVisible());
    form->FlashEditor->setFocus();
    QTest::keyClick(form->FlashEditor, Qt::Key_Escape);
    EXPECT_FALSE(form->tools().FindBar->isVisible());
}

// File > Open from the keyboard in the middle of a Read: the menu opens, its
// Open item does nothing, and the read ends complete with the chip's bytes,
// unmixed with the file's.
TEST_F(WindowTest, OpenFromTheMenuDuringAReadCannotHappen) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    testing::writeFile(dir.file("other.bin"), std::string(4096, '\x5A'));
    auto form = makeForm();
    choose(*form, "SPI_FLASH", "Winbond", "W25Q64JV");
    const std::vector<uint8_t> chipBytes = fillChip();
    form->ui().openPath = dir.file("other.bin");
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->ui().clearLog();
    bool menuOpened = false;
    QTimer::singleShot(0, form.get(), [&] {
        QTest::keyClick(form.get(), Qt::Key_F, Qt::AltModifier);
        menuOpened = form->O1->isVisible();
        QTest::keyClick(form->O1, Qt::Key_O);
        QTest::keyClick(form->O1, Qt::Key_Escape);
    });
    form->R1->trigger();
    EXPECT_TRUE(menuOpened);
    EXPECT_EQ(form->ui().firstLogLine(), "Read Complete! (10:00:00)");
    EXPECT_EQ(0, std::memcmp(form->state().buffers.flash(), chipBytes.data(), chipBytes.size()));
}

TEST_F(WindowTest, TheAboutBoxOpensTheWebAddressAndStaysOpen) {
    Browser browser;
    QDesktopServices::setUrlHandler("http", &browser, "open");
    auto form = makeForm();
    form->Enlish->trigger();
    TAboutBox* box = form->AboutBox;
    box->show();
    EXPECT_EQ(box->Version->text(), "Version:1.1.3");
    EXPECT_FALSE(box->ProgramIcon->pixmap().isNull());
    QTest::mouseClick(box->Comments, Qt::LeftButton);
    QTest::mouseClick(box->ProgramIcon, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("http");
    EXPECT_TRUE(box->isVisible());
    ASSERT_EQ(browser.opened.size(), 1);
    EXPECT_EQ(browser.opened[0].toString(), "http://www.ostrel.example");
    box->hide();
}

TEST(GeneralErrorHandler, AnErrorThatEscapesAHandlerBecomesABoxAndTheProgramGoesOn) {
    auto* app = static_cast<TApplication*>(qApp);
    const auto previous = app->showError;
    std::vector<std::string> shown;
    app->showError = [&](const std::string& text) { shown.push_back(text); };
    QObject target;
    bool ranAfter = false;
    QMetaObject::invokeMethod(
        &target, [] { throw std::runtime_error("'12G' is not a valid integer value"); },
        Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        &target, [&] { ranAfter = true; }, Qt::QueuedConnection);
    QApplication::processEvents();
    app->showError = previous;
    EXPECT_EQ(shown, std::vector<std::string>{"'12G' is not a valid integer value"});
    EXPECT_TRUE(ranAfter);
}

TEST(FileDialogFilters, AllFilesMatchesNamesWithoutADot) {
    const QStringList filters = qtNameFilters("Binary (*.bin)|*.bin|All files (*.*)|*.*|Hex|*.hex");
    EXPECT_EQ(filters, QStringList({"Binary (*.bin)", "All files (*)", "Hex (*.hex)"}));
}

// In every language each menu's items answer to different Alt letters, and
// no key sequence is bound twice among the window's actions: a letter or a key
// taken twice reaches one item, or none.
TEST_F(MainWindowTest, NoAcceleratorLetterOrShortcutIsTakenTwiceInAnyLanguage) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nchip=1\n");
    auto form = makeForm();
    const auto letter = [](const QString& text) {
        for (int i = 0; i + 1 < text.size(); ++i) {
            if (text[i] != QLatin1Char('&')) continue;
            if (text[i + 1] != QLatin1Char('&')) return text[i + 1].toLower();
            ++i;  // "&&" is a plain ampersand
        }
        return QChar();
    };
    for (QAction* language : {form->China, form->fanti, form->Enlish}) {
        language->trigger();
        SCOPED_TRACE(language->objectName().toStdString());
        std::vector<std::pair<QString, QList<QAction*>>> menus = {
            {QStringLiteral("menu bar"), form->menuBar()->actions()}};
        for (std::size_t m = 0; m < menus.size(); ++m) {
            std::map<QChar, QString> taken;
            for (QAction* item : menus[m].second) {
                if (item->isSeparator()) continue;
                if (item->menu()) menus.push_back({item->text(), item->menu()->actions()});
                const QChar key = letter(item->text());
                if (key.isNull()) continue;
                const auto [at, fresh] = taken.emplace(key, item->text());
                EXPECT_TRUE(fresh)
                    << menus[m].first.toStdString() << ": " << at->second.toStdString() << " and "
                    << item->text().toStdString();
            }
        }
        std::map<QString, QString> bound;
        for (QAction* action : form->findChildren<QAction*>()) {
            if (action->shortcutContext() == Qt::WidgetShortcut ||
                action->shortcutContext() == Qt::WidgetWithChildrenShortcut)
                continue;
            for (const QKeySequence& keys : action->shortcuts()) {
                const QString name = keys.toString(QKeySequence::PortableText);
                const auto [at, fresh] = bound.emplace(name, action->text());
                EXPECT_TRUE(fresh) << name.toStdString() << ": " << at->second.toStdString()
                                   << " and " << action->text().toStdString();
            }
        }
        EXPECT_GE(bound.size(), 8u) << "the buffer tools' keys are among them";
    }
}

// Batch mode's counts stand in the narrow panel 2 whole, in every language and
// with counts in the hundreds; the panel's label comes back in the bar's own font.
TEST_F(MainWindowTest, BatchCountsFitTheirPanelInEveryLanguage) {
    auto form = makeForm();
    QLabel* panel = form->panels_[PanelBatchCounts];
    const QFont normal = form->StatusBar1->font();
    for (int language : {0, 1, 2}) {
        SCOPED_TRACE(language);
        const std::string counts =
            fillIn(programText(Txt::ProductionCounts, language), {"123", "45"});
        form->ui().setStatusText(PanelBatchCounts, counts);
        const int room = panel->contentsRect().width() - 2 * panel->indent();
        EXPECT_LE(panel->fontMetrics().horizontalAdvance(panel->text()), room);
    }
    form->ChinaClick();
    EXPECT_EQ(panel->font(), normal);
    EXPECT_LE(panel->fontMetrics().horizontalAdvance(panel->text()),
              panel->contentsRect().width() - 2 * panel->indent());
}

// The serial number dialog that batch mode opens speaks the window's language,
// its buttons too.
TEST_F(MainWindowTest, TheSerialNumberDialogsButtonsSpeakTheLanguage) {
    auto form = makeForm();
    const struct {
        int language;
        const char* ok;
        const char* cancel;
    } languages[] = {{0, "确定", "取消"}, {1, "確定", "取消"}, {2, "OK", "Cancel"}};
    for (const auto& l : languages) {
        SCOPED_TRACE(l.language);
        SerialDialog dialog(l.language, form->ui(), form.get());
        QStringList captions;
        for (QPushButton* button : dialog.findChildren<QPushButton*>()) captions << button->text();
        captions.sort();
        QStringList expected = {QString::fromUtf8(l.ok), QString::fromUtf8(l.cancel)};
        expected.sort();
        EXPECT_EQ(captions, expected);
    }
}

// With the line's products the dialog shows the chosen product's serial
// numbers, closed, and leaves the station's own as they were.
TEST_F(MainWindowTest, TheSerialNumberDialogShowsTheChosenProductsNumbers) {
    auto form = makeForm();
    std::string error;
    SerialFormat own, pool;
    ASSERT_TRUE(parseSerialFormat("0x10:4:7", own, error));
    ASSERT_TRUE(parseSerialFormat("0x20:2:500:3:be", pool, error));
    SerialDialog dialog(2, form->ui(), form.get());
    dialog.setFormat(own);
    dialog.setProducts({{"board", "chip", "00", pool}, {"plain", "chip", "00", std::nullopt}},
                       "board");
    const struct {
        int index;
        bool ticked;
        const char* fields;  // address:bytes:start:step, big-endian ticked
    } choices[] = {
        {1, true, "0x20:2:500:3:1"}, {2, false, ""}, {0, false, ""}, {1, true, "0x20:2:500:3:1"}};
    for (const auto& c : choices) {
        SCOPED_TRACE(c.index);
        dialog.product->setCurrentIndex(c.index);
        EXPECT_EQ(dialog.enabled->isChecked(), c.ticked);
        if (c.ticked) {
            EXPECT_EQ(dialog.address->text() + ':' + QString::number(dialog.bytes->value()) + ':' +
                          dialog.start->text() + ':' + dialog.step->text() + ':' +
                          QString::number(dialog.bigEndian->isChecked()),
                      c.fields);
        }
        for (QWidget* field : std::initializer_list<QWidget*>{dialog.enabled, dialog.address,
                                                              dialog.start, dialog.bigEndian})
            EXPECT_FALSE(field->isEnabled());
    }
    std::optional<SerialFormat> kept = own;
    EXPECT_TRUE(dialog.takeFormat(kept));
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->address, 0x10u);
    EXPECT_EQ(dialog.chosenProduct(), "board");
}

// Help > Diagnose... runs the checks and shows them in the window's language;
// it chooses no chip, so the lists and the buffer stay as the user left them.
TEST_F(MainWindowTest, DiagnoseShowsTheChecksAndLeavesTheChosenChipAndItsBytes) {
    auto form = makeForm();
    choose(*form, "24_EEPROM", "Atmel", "AT24C02");
    form->state().buffers.flash()[0] = 0x5A;
    struct Language {
        QAction* item;
        std::vector<const char*> lines;
        const char* button;
    } languages[] = {
        {form->Enlish,
         {"ok\tUSB bus: programmer 1FC8:300B at 001/001.\n", "ok\tInterface 0: claimed.\n",
          "ok\tSPI_FLASH,Winbond,W25Q64JV\n"},
         "OK"},
        {form->China, {"正常\tUSB 总线：编程器 1FC8:300B 位于 001/001。\n"}, "确定"},
    };
    for (const Language& language : languages) {
        SCOPED_TRACE(language.button);
        language.item->trigger();
        QString shown;
        QString button;
        QTimer::singleShot(0, form.get(), [&] {
            shown = form->DiagnosisForm->Lines->toPlainText();
            button = form->DiagnosisForm->Close->text();
            form->DiagnosisForm->accept();
        });
        form->Diagnose->trigger();
        for (const char* line : language.lines)
            EXPECT_TRUE(shown.contains(QString::fromUtf8(line))) << shown.toStdString();
        EXPECT_EQ(button, QString::fromUtf8(language.button));
    }
    EXPECT_EQ(form->ComboBox3->currentText(), "AT24C02");
    EXPECT_EQ(form->state().buffers.flash()[0], 0x5A);
    EXPECT_EQ(ostrel_sim_open_handles(programmer), 0);
}

}  // namespace
}  // namespace ostrel

#include "main_window_test.moc"
