#include "shell/ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QWindow>

#include "base/locale_language.h"
#include "base/program_paths.h"
#include "base/texts.h"
#include "base/ui/apply_captions.h"
#include "base/ui/qt_text.h"
#include "base/ui/qt_translations.h"
#include "buffers/ui/fill_dialog.h"
#include "buffers/ui/hex_view.h"
#include "catalogue/catalogue_file.h"
#include "catalogue/chip_identification.h"
#include "catalogue/gbk_text.h"
#include "catalogue/ui/editor_window.h"
#include "catalogue/ui/search_window.h"
#include "catalogue/ui/socket_picture.h"
#include "firmware/firmware_upgrade.h"
#include "firmware/ui/diagnosis_window.h"
#include "firmware/ui/hardware_window.h"
#include "operations/programmer_ops.h"
#include "operations/settings_capture.h"
#include "operations/window_presenter.h"
#include "shell/ui/about_box.h"
#include "shell/ui/buffer_tools.h"
#include "shell/ui/close_on_signal.h"
#include "usb/device_change.h"
#include "usb/presence_check.h"
#include "usb/ui/device_change_notifier.h"

namespace ostrel {

TForm1::TForm1(const ProgramPaths& paths, std::string usbLibrary, std::string hidLibrary,
               std::unique_ptr<QtUiPort> ui, QWidget* parent)
    : QMainWindow(parent),
      paths_(paths),
      ui_(ui ? std::move(ui) : std::make_unique<QtUiPort>()),
      core_(std::make_unique<Core>(*ui_, std::move(usbLibrary))),
      state_(&core_->state()),
      usb_(&core_->usb()),
      ops_(&core_->ops()),
      hid_(std::make_unique<HidDevice>(std::move(hidLibrary))) {
    setObjectName(QStringLiteral("Form1"));
    // The system menu and minimise, no maximise button; the frame still
    // resizes, and FormMax still opens the window maximised.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    firmware_ = std::make_unique<FirmwareUpgrade>(state_->language, *ops_, *hid_, *ui_);
    selector_ = &core_->selector();
    selector_->onSelected = [this](bool chose) { showSelection(chose); };
    runner_ = &core_->runner();
    runner_->lock().onChanged = [this] { updateControls(); };
    presenter_ = std::make_unique<WindowPresenter>(*ui_, state_->language);
    presenter_->typeText = [this] { return gbkToUtf8(selector_->typeText()); };
    runner_->presenter = presenter_.get();
    buildLayout();
    ui_->attach(this, panels_, Progress, Progress2, RichEdit1);
    ui_->stateTextChanged = [this] { drawStatePanel(); };
    // The designed state: Simplified Chinese captions and China checked.
    applyWindowCaptions("TForm1", this, LangSimplified);

    // FormCreate: the settings decide size, language and speed.
    settingsFile_ = std::make_unique<SettingsFile>(paths_.settingsFilePath());
    settings_ = loadSettings(*settingsFile_, firstStartLanguage());
    state_->speed = settings_.speed;
    state_->language = settings_.language;
    selector_->saved = {settings_.index1, settings_.index2, settings_.index3};
    if (settings_.formMax) {
        resize(993, 601);
        setWindowState(windowState() | Qt::WindowMaximized);
    } else {
        setGeometry(settings_.formLeft, settings_.formTop, settings_.formWidth,
                    settings_.formHeight);
    }
    ToolDevice->setVisible(settings_.chip != 0);
    N3->setVisible(settings_.chip != 0);

    createWindows();
    tools_ = new BufferTools(*this);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &TForm1::focusWindowChanged);
    qApp->installEventFilter(this);
    if (auto source = openUdevDeviceChangeSource()) watchDeviceChanges(std::move(source));
    presenter_->pointToDiagnosis = true;
    setUpGuards();
    setUpProgrammers();
}

TForm1::~TForm1() = default;

void TForm1::createWindows() {
    const auto locked = [this] { return this->locked(); };
    Form2 = new TForm2(state_->catalogue, state_->language, paths_, *ui_, this);
    // The shown chip may have moved or gone: find it again, so that the
    // selected record names the chip the lists show.
    Form2->onSaved = [this] { selector_->catalogueChanged(); };
    Form2->locked = locked;
    Form3 = new TForm3(state_->catalogue, state_->language, *selector_, this);
    Form3->locked = locked;
    Form4 = new TForm4(state_->buffers, *ui_, this);
    Form4->locked = locked;
    connect(Form4, &TForm4::filled, FlashEditor, [this] { FlashEditor->viewport()->update(); });
    AboutBox = new TAboutBox(this);
    Form6 = new TForm6(*ui_, this);
    DiagnosisForm = new DiagnosisWindow(*ui_, this);
}

// --- lifecycle -----------------------------------------------------------------

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    FormShow();
    // Centred at the size the settings gave; the stored top and left give way.
    if (auto* screen = QApplication::primaryScreen(); screen && !isMaximized()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    activateWindow();
}

void TForm1::FormShow() {
    const std::string path = paths_.catalogueFilePath();
    const CatalogueLoad loaded = loadCatalogueFile(path, state_->catalogue);
    if (loaded == CatalogueLoad::Destroyed)
        ui_->messageBox(messageText(Msg::MsgConfigDestroyed, state_->language), "", BoxIcon::None);
    if (loaded == CatalogueLoad::Loaded)
        selector_->select(selector_->saved.type, selector_->saved.manufacturer,
                          selector_->saved.name);
    ApplyLanguage();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == StatusBar1 && event->type() == QEvent::Resize) FormResize();
    if (event->type() == QEvent::Hide) dialogClosed(qobject_cast<QDialog*>(watched));
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::Q1Click() {
    close();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // Closed in the middle of a command: the command stops after its current
    // block and ends its job; the window closes once the job has ended.
    if (locked()) {
        closePending_ = true;
        runner_->requestStop();
        event->ignore();
        return;
    }
    closePending_ = false;
    // Asked once; a signal from outside (a session that ends, kill) asks nothing.
    const bool signalled = property(kClosingOnSignal).toBool();
    setProperty(kClosingOnSignal, false);
    if (!signalled && !mayDropEdits(state_->buffers.flashEditsUnsaved() ||
                                    state_->buffers.eepromEditsUnsaved())) {
        event->ignore();
        return;
    }
    const QRect g = geometry();
    const bool saved = saveSettings(
        *settingsFile_,
        capturedSettings(settings_, {g.left(), g.top(), g.width(), g.height(), isMaximized()},
                         state_->speed, state_->language, selector_->saved));
    if (!saved) ui_->errorBox(settingsFile_->writeFailureText());
    if (saved && saveGuards()) saveProgrammerChoice();
    event->accept();
}

// --- chip selection --------------------------------------------------------------

void TForm1::fillCombo(QComboBox* box, const std::vector<std::string>& entries, int position) {
    box->clear();
    for (const auto& e : entries) box->addItem(qs(gbkToUtf8(e)));
    box->setCurrentIndex(position >= 0 && position < box->count() ? position : -1);
}

void TForm1::showSelection(bool chose) {
    const ChipRecord& chip = state_->selectedRecord();
    // The details follow only a record this run chose; otherwise they keep
    // showing the previous one.
    if (chose) {
        Edit1->setText(QString::number(chip.flashSize));
        Edit2->setText(QString::number(chip.flashPage));
        Edit5->setText(QString::number(chip.eepromSize));
        const ChipPages pages = DataBuffers::pageRules(chip, selector_->shown().type);
        PageControl1->setTabVisible(1, pages.eepromPageVisible);
        PageControl1->setTabVisible(2, pages.configPageVisible);
    }
    const ChipLists& lists = selector_->lists();
    fillCombo(ComboBox1, lists.types, selector_->shown().type);
    fillCombo(ComboBox2, lists.manufacturers, selector_->shown().manufacturer);
    fillCombo(ComboBox3, lists.names, selector_->shown().name);
    Label9->setVisible(chip.voltage == 1);
    Edit4->setText(QString::fromStdString(state_->buffers.rangeEndText));
    selectedOnce_ = true;
    captionFirstPage();
    FlashEditor->viewport()->update();
    EepromEditor->viewport()->update();
}

void TForm1::ComboBox1Change(int index) {
    if (locked()) return;
    selector_->typeChanged(index);
}

void TForm1::ComboBox2Change(int index) {
    if (locked()) return;
    selector_->manufacturerChanged(index);
}

void TForm1::ComboBox3Change(int index) {
    if (locked()) return;
    selector_->nameChanged(index);
}

// --- languages -------------------------------------------------------------------

void TForm1::ChinaClick() {
    setLanguage(LangSimplified);
}

void TForm1::fantiClick() {
    setLanguage(LangTraditional);
}

void TForm1::EnlishClick() {
    setLanguage(LangEnglish);
}

void TForm1::setLanguage(int language) {
    if (locked()) return;
    Enlish->setChecked(language == LangEnglish);
    China->setChecked(language == LangSimplified);
    fanti->setChecked(language == LangTraditional);
    state_->language = language;
    ApplyLanguage();
    ui_->clearLog();
}

void TForm1::ApplyLanguage() {
    const int language = state_->language;
    if (language < 0 || language > 2) return;
    useQtTranslation(language);
    applyCaptions({{"TForm1", this},
                   {"TForm2", Form2},
                   {"TForm3", Form3},
                   {"TForm4", Form4},
                   {"TAboutBox", AboutBox},
                   {"TForm6", Form6}},
                  language);
    captionDiagnose();
    captionGuards();
    // The labels of panels 0 and 2 replace whatever batch mode's counts left.
    for (int label : {0, 2}) fitPanelText(panels_[label]);
    presenceInLanguage();
    drawStatePanel();
    // The table names the first page "FLASH"; for a chip of another type the
    // page holds the EEPROM, and its caption must stay saying so.
    captionFirstPage();
    if (tools_) tools_->applyLanguage();
}

void TForm1::captionFirstPage() {
    if (!selectedOnce_) return;
    const ChipRecord& chip = state_->selectedRecord();
    PageControl1->setTabText(0,
                             qs(DataBuffers::pageRules(chip, state_->typeIndex).flashPageCaption));
}

// --- commands --------------------------------------------------------------------

ActivePage TForm1::activePage() const {
    const int index = PageControl1->currentIndex();
    return index == 0 ? ActivePage::Flash : index == 1 ? ActivePage::Eeprom : ActivePage::Config;
}

bool TForm1::mayDropEdits(bool unsaved) {
    return !unsaved || ui_->askInfo(programText(Txt::UnsavedEditsQuestion, state_->language));
}

void TForm1::ToolOpenClick() {
    if (locked()) return;
    const ActivePage page = activePage();
    const DataBuffers& buffers = state_->buffers;
    if (!mayDropEdits(page == ActivePage::Flash    ? buffers.flashEditsUnsaved()
                      : page == ActivePage::Eeprom ? buffers.eepromEditsUnsaved()
                                                   : false))
        return;
    OpenFileCommand(state_->selectedRecord(), state_->buffers, page, *ui_, state_->language);
    FlashEditor->viewport()->update();
    EepromEditor->viewport()->update();
}

void TForm1::ToolSaveClick() {
    if (locked()) return;
    SaveFileCommand(state_->selectedRecord(), state_->buffers, *ui_, state_->language);
}

void TForm1::ToolFillClick() {
    if (locked()) return;
    Form4->showForChip(state_->selectedRecord().flashSize);
}

bool TForm1::locked() const {
    return runner_->lock().locked();
}

QList<QAction*> TForm1::commandActions() const {
    QList<QAction*> actions;
    const std::function<void(const QList<QAction*>&)> walk = [&](const QList<QAction*>& list) {
        for (QAction* action : list) {
            if (action->isSeparator()) continue;
            actions << action;
            if (action->menu()) walk(action->menu()->actions());
        }
    };
    walk(menuBar()->actions());
    walk(ToolBar1->actions());
    return actions;
}

bool TForm1::staysLive(const QAction* action) const {
    if (action->menu()) return true;
    if (action == ToolBulk) return runner_->lock().batchActive();
    return action == Q1 || action == ToolAbout || action == N5;
}

void TForm1::updateControls() {
    const bool locked = this->locked();
    for (QAction* action : commandActions()) action->setEnabled(!locked || staysLive(action));
    // The chip column's lists and buttons and the options panel as a whole;
    // the hex views stay readable.
    GroupBox1->setEnabled(!locked);
    Panel9->setEnabled(!locked);
    FlashEditor->setReadOnly(locked);
    EepromEditor->setReadOnly(locked);
    const bool batch = runner_->lock().batchActive();
    if (ToolBulk->isChecked() != batch) ToolBulk->setChecked(batch);
    if (batch != batchShown_) {
        batchShown_ = batch;
        ToolBulk->setText(qs(messageText(batch ? Msg::MsgStop : Msg::MsgBulk, state_->language)));
    }
    if (!runner_->lock().jobRunning()) {
        jobEnded();
        FlashEditor->viewport()->update();
        if (closePending_ && !locked) QTimer::singleShot(0, this, &QWidget::close);
    }
}

void TForm1::runCommand(ChipCommand command) {
    // Batch mode runs its own Auto; a click that reaches a handler anyway
    // while anything holds the lock does nothing.
    if (locked()) return;
    runner_->run(command);
}

void TForm1::ToolReadClick() {
    // The chip's bytes take the place of typed ones only when the user lets them go.
    if (locked() || !mayDropEdits(state_->buffers.flashEditsUnsaved())) return;
    runCommand(ChipCommand::Read);
}

void TForm1::ToolEraseClick() {
    runCommand(ChipCommand::Erase);
}

void TForm1::ToolWriteClick() {
    runCommand(ChipCommand::Write);
}

void TForm1::ToolVerifyClick() {
    runCommand(ChipCommand::Verify);
}

void TForm1::ToolBankClick() {
    runCommand(ChipCommand::BlankCheck);
}

void TForm1::ToolAutoClick() {
    runCommand(ChipCommand::Auto);
}

void TForm1::showSocketPicture(const QImage& picture) {
    Image1->setPixmap(QPixmap::fromImage(picture));
}

void TForm1::BitBtn1Click() {
    if (locked()) return;
    const Identification found =
        identifyChip(ops_->readChipId(), state_->catalogue, *selector_, state_->language);
    if (found.kind == Detection::NoProgrammer)
        return presenter_->presentNoProgrammer(attachedButUnusable(usb_->lastOpenFailure()));
    showIdentification(
        found, *ui_, [this](SocketPicture picture) { showSocketPicture(socketPicture(picture)); });
}

void TForm1::BitBtn2Click() {
    // Choosing a chip resets the buffers a running job uses.
    if (locked()) return;
    Form3->exec();
}

void TForm1::ToolDeviceClick() {
    if (locked()) return;
    Form2->exec();
}

void TForm1::N4Click() {
    // The upgrade holds the programmer and then its boot loader: no presence
    // check or job may come in between while it processes events.
    JobLock::Hold hold = runner_->lock().acquire(JobLock::Holder::Upgrade);
    if (!hold) return;
    firmware_->hardwareCommand(*Form6);
}

void TForm1::ToolAboutClick() {
    if (auto* screen = QApplication::primaryScreen()) {
        QRect frame = AboutBox->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        AboutBox->move(frame.topLeft());
    }
    AboutBox->exec();
}

// The toggle of batch mode: pressed, the runner's batch loop runs here until
// batch mode ends; released (from inside that loop), it ends batch mode.
void TForm1::ToolBulkClick() {
    if (ToolBulk->isChecked())
        startProductionBatch();
    else
        runner_->stopBatch();
    updateControls();
}

}  // namespace ostrel
