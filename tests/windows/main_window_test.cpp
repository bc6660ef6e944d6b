// The main window's lifecycle against the simulator: first show loads the
// shipped catalogue and the saved chip, activation finds the programmer, the
// chip commands run as jobs, and closing writes the settings.
#include "shell/ui/main_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
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
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QWindow>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <vector>

#include "base/captions.h"
#include "base/texts.h"
#include "base/ui/apply_captions.h"
#include "buffers/ui/fill_dialog.h"
#include "buffers/ui/hex_view.h"
#include "catalogue/chip_record.h"
#include "catalogue/ui/editor_window.h"
#include "catalogue/ui/search_window.h"
#include "firmware/ui/hardware_window.h"
#include "operations/production_log.h"
#include "ostrel_sim.h"
#include "shell/ui/about_box.h"
#include "shell/ui/application.h"
#include "shell/ui/file_filters.h"
#include "support/temp_files.h"
#include "usb/device_change.h"

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
    std::string timeOfDay() const override { return clockText; }
    bool askSerialNumbers(std::optional<SerialFormat>& format) override {
        format = serialAnswer;
        return true;
    }
    std::optional<SerialFormat> serialAnswer;  // batch mode's serial numbers: none
    std::vector<std::string> boxes;
    int beeps = 0;
    std::string clockText = "10:00:00";
};

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

// "Not connected" explains itself in its tip when a programmer is attached but
// cannot be used, and only then.
TEST_F(MainWindowTest, TheNotConnectedPanelSaysWhyTheProgrammerCouldNotBeOpened) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    auto form = makeForm();
    const QString help = QString::fromStdString(programText(Txt::ProgrammerUnusable, 2));
    struct Step {
        const char* name;
        int openFails, claimFails, plugged;
        const char* panel;
        bool tip;
    };
    const Step steps[] = {
        {"no permission", 1, 0, 1, "Not connected", true},
        {"usable again", 0, 0, 1, "Connected", false},
        {"held by another program", 0, 1, 1, "Not connected", true},
        {"unplugged", 0, 0, 0, "Not connected", false},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        ostrel_sim_set_open_fails(programmer, s.openFails);
        ostrel_sim_set_claim_fails(programmer, s.claimFails);
        ostrel_sim_set_plugged(programmer, s.plugged);
        form->checkProgrammer();
        EXPECT_EQ(form->statusText(PanelState), s.panel);
        EXPECT_EQ(form->panels_[PanelState]->toolTip(), s.tip ? help : QString());
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

// --- the window as a whole --------------------------------------------------------

// A device-change source the test pokes: a pipe whose reading end the window watches.
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
        const bool programmed = form->firstLogLine().rfind("AUTO Complete!", 0) == 0;
        if ((programmed || ticks > 20000) && form->ToolBulk->isChecked() && !form->runner().busy())
            form->ToolBulk->trigger();
    });
    watcher.start(0);
    form->ToolBulk->trigger();
    watcher.stop();
    EXPECT_EQ(caption, "STOP");
    EXPECT_FALSE(openEnabled);
    EXPECT_TRUE(bulkEnabled);
    EXPECT_LT(ticks, 20000) << "the chip was never programmed";
    EXPECT_EQ(form->firstLogLine().rfind("AUTO Complete!", 0), 0u);
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
    EXPECT_EQ(form->statusText(PanelBatchCounts), "OK 1 NG 0");
    EXPECT_TRUE(form->RichEdit1->toPlainText().contains(
        QString::fromStdString("Production log: " + folder + "/production-")));

    // A log that cannot be created: batch mode does not start, the chip is
    // not touched.
    const int transfers = ostrel_sim_log_count();
    setenv("XDG_STATE_HOME", dir.file("ostrel.Dat").c_str(), 1);  // a file, not a folder
    form->ToolBulk->trigger();
    EXPECT_FALSE(form->ToolBulk->isChecked());
    ASSERT_FALSE(form->boxes.empty());
    EXPECT_EQ(form->boxes.back().rfind("The production log ", 0), 0u) << form->boxes.back();
    EXPECT_EQ(ostrel_sim_log_count(), transfers);
}

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
    int drain() override {
        char buffer[64];
        const ssize_t n = read(fds_[0], buffer, sizeof buffer);
        return n > 0 ? int(n) : 0;
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
    void deviceChange() {
        ASSERT_EQ(write(poke, "x", 1), 1);
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
    EXPECT_EQ(form->windowTitle(), QString::fromUtf8(captionText(captionTable()[5], 0)));
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
    EXPECT_TRUE(form->boxes.empty());
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
    form->clearLog();

    deviceChange();
    deviceChange();
    EXPECT_EQ(lines(), 1) << "two checks within one second add one line";
    form->clockText = "10:00:01";
    deviceChange();
    EXPECT_EQ(lines(), 2);
    EXPECT_EQ(form->firstLogLine(),
              "The programmer Ostrel I is detected, and the working state is normal. (10:00:01)");

    ostrel_sim_set_plugged(programmer, 0);
    deviceChange();
    EXPECT_EQ(form->statusText(PanelState), "Not connected");
    EXPECT_EQ(form->panels_[1]->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    // Another language keeps the old text, no longer red.
    form->China->trigger();
    EXPECT_EQ(form->statusText(PanelState), "Not connected");
    EXPECT_NE(form->panels_[1]->palette().color(QPalette::WindowText), QColor(255, 0, 0));

    // Back from another program: no check. Back from one of ours: a check.
    ostrel_sim_set_plugged(programmer, 1);
    emit qApp->focusWindowChanged(nullptr);
    emit qApp->focusWindowChanged(form->windowHandle());
    EXPECT_EQ(form->statusText(PanelState), "Not connected");
    // A dialog that closes may leave the focus nowhere for a moment.
    form->Form4->show();
    emit qApp->focusWindowChanged(form->Form4->windowHandle());
    form->Form4->hide();
    emit qApp->focusWindowChanged(nullptr);
    emit qApp->focusWindowChanged(form->windowHandle());
    EXPECT_EQ(form->statusText(PanelState), messageText(Msg::MsgConnected, LangSimplified));
}

TEST_F(WindowTest, ACheckDuringAJobWaitsForItsEnd) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    auto form = makeWatchedForm();
    choose(*form, "SPI_FLASH", "Winbond", "W25Q64JV");
    form->clearLog();
    ASSERT_EQ(write(poke, "x", 1), 1);  // noticed by the read's first look at the event loop
    form->R1->trigger();
    EXPECT_TRUE(form->boxes.empty());
    ASSERT_EQ(form->RichEdit1->document()->blockCount(), 2);
    EXPECT_EQ(form->firstLogLine().rfind("The programmer Ostrel I is detected", 0), 0u);
    EXPECT_EQ(
        form->RichEdit1->document()->lastBlock().text().toStdString().rfind("Read Complete!", 0),
        0u);
}

TEST_F(WindowTest, EveryCaptionLandsInEveryLanguage) {
    auto form = makeForm();
    QAction* commands[] = {form->China, form->fanti, form->Enlish};
    for (int language : {2, 1, 0, 2}) {
        form->insertLogLine("old line");
        form->ToolBulk->setText("STOP");
        commands[language]->trigger();
        EXPECT_TRUE(form->RichEdit1->document()->isEmpty());
        EXPECT_EQ(form->state().language, language);
        EXPECT_TRUE(applyCaptions({}, language).empty());
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

TEST_F(WindowTest, MenuAcceleratorsTriggerTheirCommands) {
    testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
    auto form = makeForm();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->clearLog();
    QTest::keyClick(form.get(), Qt::Key_O, Qt::AltModifier);
    QApplication::processEvents();
    ASSERT_TRUE(form->O3->isVisible()) << "Alt+O opens the Operation menu";
    QTest::keyClick(form->O3, Qt::Key_R);
    QApplication::processEvents();
    // The menu gave the focus back without a presence check.
    EXPECT_EQ(form->firstLogLine().rfind("Read Complete!", 0), 0u) << form->firstLogLine();
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
    EXPECT_EQ(browser.opened[0].toString(), box->Comments->text());
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

}  // namespace
}  // namespace ostrel

#include "main_window_test.moc"
