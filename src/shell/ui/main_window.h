#pragma once
// The main window: it owns the state of the whole run, holds the named
// controls and forwards every command to the core. Its controls are built in
// main_window_layout.cpp; what the core shows goes through its QtUiPort, whose
// status bar, progress bars and log pane are this window's.

#include <QMainWindow>
#include <QPointer>
#include <QWindow>
#include <functional>
#include <memory>
#include <optional>

#include "base/messages.h"
#include "base/program_paths.h"
#include "base/settings_file.h"
#include "base/ui/qt_ui_port.h"
#include "buffers/ui/file_commands.h"
#include "catalogue/chip_selector.h"
#include "firmware/hid_device.h"
#include "operations/command_runner.h"
#include "operations/core.h"
#include "operations/main_state.h"
#include "operations/programmer_list.h"
#include "production/production_store.h"
#include "production/serial_counter.h"
#include "usb/presence_check.h"
#include "usb/usb_bulk.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDialog;
class QImage;
class QMenu;
class QLabel;
class QLineEdit;
class QProgressBar;
class QStatusBar;
class QTabWidget;
class QTextEdit;
class QToolBar;
class QGroupBox;
class QPushButton;

namespace ostrel {

class BufferTools;
class DeviceChangeNotifier;
class DeviceChangeSource;
class FirmwareUpgrade;
class HexView;
class ProgrammerOps;
class TAboutBox;
class TForm2;
class TForm3;
class TForm4;
class TForm6;
class DiagnosisWindow;
class WindowPresenter;

class TForm1 : public QMainWindow {
    Q_OBJECT

  public:
    ChipSelector& selector() { return *selector_; }
    CommandRunner& runner() { return *runner_; }
    ProgrammerOps& ops() { return *ops_; }

    // The catalogue and settings files lie beside `paths`' executable; the USB and HID
    // libraries are bound by `usbLibrary` and `hidLibrary`; `ui` shows what the core
    // shows (a QtUiPort when none is given). The program passes none; tests do.
    explicit TForm1(const ProgramPaths& paths = ProgramPaths::current(),
                    std::string usbLibrary = "libusb-0.1.so.4",
                    std::string hidLibrary = "libhidapi-hidraw.so.0",
                    std::unique_ptr<QtUiPort> ui = nullptr, QWidget* parent = nullptr);
    ~TForm1() override;

    MainState& state() { return *state_; }
    // The door every window of the program shows and asks through.
    QtUiPort& ui() { return *ui_; }
    // Checksums, find, go to, undo, copy and paste (buffer_tools.h).
    BufferTools& tools() { return *tools_; }

    // The actions of the menu bar (with its submenus' items) and the toolbar,
    // separators left out: the list the lock walks.
    QList<QAction*> commandActions() const;
    // The actions that stay live while a job or batch mode runs: they reach no
    // buffer, catalogue or transport (the menus themselves, Quit, About), and
    // the batch button while batch mode runs, which releases it.
    bool staysLive(const QAction* action) const;

    // Controls, named as the rest of the program knows them.
    QToolBar* ToolBar1;
    QAction* ToolOpen;
    QAction* ToolSave;
    QAction* ToolFill;
    QAction* ToolBank;
    QAction* ToolAuto;
    QAction* ToolErase;
    QAction* ToolWrite;
    QAction* ToolRead;
    QAction* ToolVerify;
    QAction* ToolBulk;  // stays down while batch mode runs
    QAction* ToolDevice;
    QAction* ToolAbout;

    // The main menu: submenus and their items, each with its own accelerator.
    QMenu* O1;
    QAction* O2;
    QAction* S1;
    QAction* Q1;
    QMenu* Buff;
    QAction* Fill;
    QMenu* O3;
    QAction* A1;
    QAction* E1;
    QAction* W1;
    QAction* R1;
    QAction* V1;
    QAction* N7;
    QAction* CheckChip = nullptr;    // checkable: read the chip's ID before each command
    QAction* VerifyWrite = nullptr;  // checkable: Write verifies, Erase blank-checks
    QAction* ReadTwice = nullptr;    // checkable: Read reads twice and compares
    QAction* N3;                     // a command item on the menu bar itself, like N4
    QAction* N4;                     // never shown
    QMenu* L1;
    QAction* China;
    QAction* fanti;
    QAction* Enlish;
    QMenu* H1;
    QAction* Diagnose;  // Help > Diagnose..., before the about item
    QAction* N5;

    // Everything below the toolbar; batch mode disables it as a whole.
    QWidget* Panel1;
    QWidget* Panel2;  // the chip column
    QGroupBox* GroupBox1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QComboBox* ComboBox1;
    QComboBox* ComboBox2;
    QComboBox* ComboBox3;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QLineEdit* Edit5;
    QLabel* Image1;  // the socket picture, stretched over the rest of the column
    QLabel* Label9;  // the 1.8 V adapter note across the picture's top
    QCheckBox* Socket1;
    QCheckBox* Socket2;
    QWidget* Panel3;  // the data column
    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet2;
    QWidget* TabSheet3;
    HexView* FlashEditor;
    HexView* EepromEditor;
    QWidget* Panel9;  // Auto options and the address range; hidden
    QGroupBox* GroupBox2;
    QCheckBox* CheckBox1;
    QCheckBox* CheckBox2;
    QCheckBox* CheckBox3;
    QGroupBox* GroupBox3;
    QCheckBox* CheckBox4;
    QGroupBox* GroupBox4;
    QCheckBox* CheckBox5;
    QLabel* Label7;
    QLabel* Label8;
    QLineEdit* Edit3;
    QLineEdit* Edit4;
    QTextEdit* RichEdit1;
    QStatusBar* StatusBar1;
    QLabel* panels_[5];
    QProgressBar* Progress;
    QProgressBar* Progress2;

    // The other five windows, created after this one in this order and kept
    // for the whole run.
    TForm2* Form2;
    TForm3* Form3;
    TForm4* Form4;
    TAboutBox* AboutBox;
    TForm6* Form6;
    DiagnosisWindow* DiagnosisForm;

    // The presence check: at every activation that comes back from one of the
    // program's own windows and at every change of USB devices. While a job
    // holds the transport it waits for the job's end.
    void checkProgrammer();
    // Writes the caption table of the current language onto all six windows.
    void ApplyLanguage();
    // Shows a socket picture in the chip panel.
    void showSocketPicture(const QImage& picture);
    // Runs a presence check on every change that `source` reports; replaces the
    // source in use (the window starts with udev's).
    void watchDeviceChanges(std::unique_ptr<DeviceChangeSource> source);

  public slots:
    void ToolOpenClick();
    void ToolSaveClick();
    void ToolFillClick();
    void ToolReadClick();
    void ToolEraseClick();
    void ToolWriteClick();
    void ToolVerifyClick();
    void ToolBankClick();
    void ToolAutoClick();
    void ToolAboutClick();
    void ToolBulkClick();
    void ToolDeviceClick();
    void N4Click();
    // Runs the diagnosis (never during a job) and shows its lines.
    void DiagnoseClick();
    void BitBtn1Click();
    void BitBtn2Click();
    void Q1Click();
    void ChinaClick();
    void fantiClick();
    void EnlishClick();
    void ComboBox1Change(int index);
    void ComboBox2Change(int index);
    void ComboBox3Change(int index);

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Batch mode with its production record and serial numbers
    // (main_window_production.cpp). Asks for the serial numbers before batch
    // mode starts, and the product when the settings name the line's
    // database (`products` its products; null: no database); false when the
    // user cancelled.
    virtual bool askSerialNumbers(std::optional<SerialFormat>& format, std::string& product,
                                  const std::vector<Product>* products);
    void startProductionBatch();
    // The line's database the settings name, connected, and its products;
    // false (the user told) when it cannot be used.
    bool connectLineDatabase(struct BatchProduction& p, const std::string& folder,
                             std::vector<Product>& products);
    // The product chosen is made with the selected chip and the FLASH
    // buffer's image; false (the user told) when not.
    bool checkLineProduct(struct BatchProduction& p, const std::vector<Product>& products);
    std::shared_ptr<struct BatchProduction> production_;

  private:
    void buildLayout();
    void buildMenu();
    void buildToolBar();
    void buildChipColumn();
    void buildDataColumn();
    void buildStatusBar();
    // The Diagnose item and its window; its caption follows the language.
    void buildDiagnose();
    void captionDiagnose();
    // The two guards of the chip in the Operation menu (main_window_guards.cpp).
    void setUpGuards();
    void captionGuards();
    bool saveGuards();
    // A guard's setting in the file: ticked unless it says otherwise.
    bool guardSetting(const char* key) const;
    void createWindows();
    void FormResize();
    void focusWindowChanged(QWindow* now);
    void dialogClosed(QDialog* dialog);
    void setLanguage(int language);
    // The first page's caption as the selected chip's type asks for it.
    void captionFirstPage();
    // Runs the presence check that arrived while the job held the transport.
    void jobEnded();
    // The status panel's connection state and its tip in the language now in force.
    void showPresenceTip();
    void presenceInLanguage();
    void FormShow();
    void FormActivate();
    // Mirrors the lists, details and pages after every run of chip selection.
    void showSelection(bool chose);
    void fillCombo(QComboBox* box, const std::vector<std::string>& entries, int position);
    ActivePage activePage() const;
    // The one place that turns the lock into enabled and disabled: while a
    // job or batch mode runs, every action but the live ones, the chip
    // column's controls and the options are disabled and the hex views are
    // read-only; afterwards everything is enabled again.
    void updateControls();
    // True, and nothing happens, while the lock is held: every handler that
    // reaches a buffer, the catalogue or the transport asks it first.
    bool locked() const;
    // True when nothing unsaved would be lost, or the user lets it go.
    bool mayDropEdits(bool unsaved);
    // A chip command from its button, menu item or accelerator.
    void runCommand(ChipCommand command);
    void drawStatePanel();

    ProgramPaths paths_;
    std::unique_ptr<QtUiPort> ui_;
    // The core, and its parts as the window's handlers name them.
    std::unique_ptr<Core> core_;
    MainState* state_;
    TUsbBulk* usb_;
    ProgrammerOps* ops_;
    std::unique_ptr<HidDevice> hid_;  // the boot loader's device, closed between upgrades
    std::unique_ptr<FirmwareUpgrade> firmware_;
    std::unique_ptr<SettingsFile> settingsFile_;
    Settings settings_;
    ChipSelector* selector_ = nullptr;
    std::unique_ptr<DeviceChangeNotifier> deviceChanges_;
    bool shownOnce_ = false;
    CommandRunner* runner_ = nullptr;
    std::unique_ptr<WindowPresenter> presenter_;
    bool closePending_ = false;  // closed during a job: close when it has ended
    bool batchShown_ = false;    // ToolBulk shows the batch caption (STOP)
    bool activatedOnce_ = false;
    enum class FocusPlace { OtherProgram, MainWindow, OwnWindow };
    FocusPlace lastFocus_ = FocusPlace::OtherProgram;  // where the focus was last
    QPointer<QWindow> lastFocusWindow_;
    bool checkPending_ = false;                   // a presence check arrived during a job
    Presence presence_ = Presence::NotConnected;  // what the last presence check found
    bool selectedOnce_ = false;
    BufferTools* tools_ = nullptr;

    // Several programmers (main_window_programmers.cpp): the Operation menu's
    // Programmer submenu, the choice it keeps in the settings file, the status
    // panel that names the programmer in use, and the wire trace OSTREL_TRACE asks for.
  public:
    QMenu* Programmer = nullptr;
    // The attached programmers as the last presence check found them.
    const std::vector<ProgrammerEntry>& programmers() const { return programmers_; }
    // Chooses the programmer with this serial number (or bus path) for every job.
    void ProgrammerClick(const std::string& chosen);

  private:
    void setUpProgrammers();
    void refreshProgrammers();
    void applyProgrammerChoice();
    // The bus path of the programmer to use ("" the only one, "-" none) and
    // its name for the status bar; asks when the chosen one cannot be used.
    std::string programmerInUse(std::string& name);
    void fillProgrammerMenu();
    bool saveProgrammerChoice();
    std::vector<ProgrammerEntry> programmers_;
    std::string chosenProgrammer_;  // serial number or bus path; empty: the first
    std::string chosenPath_;        // the bus path the chosen one was last found at
    std::string offered_;           // the chosen and the offered programmer last asked about
    bool offerTaken_ = false;       // and whether the user took the one offered
    bool choosingProgrammer_ = false;

  protected:
    // The programmer batch mode runs on (bus path) and its name; empty outside batch mode.
    std::string batchProgrammer_;
    std::string batchProgrammerName_;
};

}  // namespace ostrel
