#pragma once
// The main window: it owns the state of the whole run and forwards every
// command to the core. It is also the program's UiPort, so message boxes,
// questions, the status bar, the progress bar and the log pane that the core
// uses are its own controls.

#include <QMainWindow>
#include <functional>
#include <memory>

#include "base/main_state.h"
#include "base/messages.h"
#include "base/program_paths.h"
#include "base/ui_port.h"
#include "buffers/file_io.h"
#include "catalogue/chip_selector.h"
#include "firmware/hid_device.h"
#include "operations/command_runner.h"
#include "shell/settings_file.h"
#include "usb/usb_bulk.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QStatusBar;
class QTabWidget;
class QTextEdit;
class QToolBar;
class QGroupBox;
class QImage;
class QPushButton;

namespace ostrel {

class FirmwareUpgrade;
class HexView;
class ProgrammerOps;
class TForm2;
class TForm3;
class TForm4;
class TForm6;

class TForm1 : public QMainWindow, public UiPort {
    Q_OBJECT

  public:
    ChipSelector& selector() { return *selector_; }
    CommandRunner& runner() { return *runner_; }

    // The catalogue and settings files lie beside `paths`' executable; the USB and HID
    // libraries are bound by `usbLibrary` and `hidLibrary`. The program passes none; tests do.
    explicit TForm1(const ProgramPaths& paths = ProgramPaths::current(),
                    std::string usbLibrary = "libusb-0.1.so.4",
                    std::string hidLibrary = "libhidapi-hidraw.so.0", QWidget* parent = nullptr);
    ~TForm1() override;

    MainState& state() { return *state_; }

    // UiPort
    void messageBox(const std::string& text, const std::string& caption, BoxIcon icon) override;
    bool askYesNo(const std::string& text, const std::string& caption) override;
    std::string openFileName(const std::string& filter, int filterIndex) override;
    std::string saveFileName(const std::string& filter,
                             const std::string& defaultExtension) override;
    void setStatusText(int panel, const std::string& text) override;
    std::string statusText(int panel) const override;
    void setProgressVisible(bool visible) override;
    void setProgressMax(int64_t max) override;
    void setProgressPosition(int64_t position) override;
    void insertLogLine(const std::string& line) override;
    std::string firstLogLine() const override;
    void clearLog() override;
    void processEvents() override;
    void pause(int milliseconds) override;
    void beep() override;
    std::string timeOfDay() const override;
    int64_t monotonicMs() const override;
    int64_t epochSeconds() const override;

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
    QAction* ToolAbout;
    QAction* ToolDevice;  // the catalogue editor; shown only when DEVICE/chip asks for it
    QAction* N3;          // the same in the Operation menu
    QGroupBox* GroupBox1;
    QComboBox* ComboBox1;
    QComboBox* ComboBox2;
    QComboBox* ComboBox3;
    QPushButton* BitBtn1;  // Detect
    QPushButton* BitBtn2;  // Search
    QLabel* Image1;        // the socket picture
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QLineEdit* Edit5;
    QLabel* Label9;
    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet2;
    QWidget* TabSheet3;
    HexView* FlashEditor;
    HexView* EepromEditor;
    QTextEdit* RichEdit1;
    QStatusBar* StatusBar1;
    QLabel* panels_[5];
    QProgressBar* Progress;
    TForm2* Form2;
    TForm3* Form3;
    TForm4* Form4;
    TForm6* Form6;
    // The Hardware command: hidden, and nothing shows it.
    QAction* N4;

    // Shows a socket picture in the chip panel, stretched to the picture box.
    void showSocketPicture(const QImage& picture);

    // The presence check run at every activation of the window.
    void checkProgrammer();

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
    void BitBtn1Click();
    void BitBtn2Click();
    void ToolDeviceClick();
    void N4Click();
    void ComboBox1Change(int index);
    void ComboBox2Change(int index);
    void ComboBox3Change(int index);

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void buildLayout();
    void FormShow();
    void FormActivate();
    // Mirrors the lists, details and pages after every run of chip selection.
    void showSelection(bool chose);
    void fillCombo(QComboBox* box, const std::vector<std::string>& entries, int position);
    ActivePage activePage() const;
    // Disables, while a job or batch mode runs, everything that could change
    // what the job uses; enables it again afterwards.
    void updateControls();
    void drawStatePanel();

    ProgramPaths paths_;
    std::unique_ptr<MainState> state_;
    std::unique_ptr<TUsbBulk> usb_;
    std::unique_ptr<ProgrammerOps> ops_;
    std::unique_ptr<HidDevice> hid_;  // the boot loader's device, closed between upgrades
    std::unique_ptr<FirmwareUpgrade> firmware_;
    bool upgrading_ = false;  // the Hardware command holds the programmer or its boot loader
    std::unique_ptr<SettingsFile> settingsFile_;
    Settings settings_;
    std::unique_ptr<ChipSelector> selector_;
    bool shownOnce_ = false;
    std::unique_ptr<CommandRunner> runner_;
    bool closePending_ = false;  // closed during a job: close when it has ended
    QString lastFolder_;         // where the file dialogs open next
    QString lastSaveFilter_;     // the save dialog's filter chosen last
};

}  // namespace ostrel
