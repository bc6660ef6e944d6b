#include "shell/ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QTime>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "base/program_paths.h"
#include "buffers/ui/fill_dialog.h"
#include "buffers/ui/hex_view.h"
#include "catalogue/catalogue_file.h"
#include "catalogue/chip_identification.h"
#include "catalogue/gbk_text.h"
#include "catalogue/ui/editor_window.h"
#include "catalogue/ui/search_window.h"
#include "catalogue/ui/socket_picture.h"
#include "firmware/firmware_upgrade.h"
#include "firmware/ui/hardware_window.h"
#include "operations/programmer_ops.h"
#include "usb/programmer_identity.h"

namespace ostrel {

// Identification reads the ID read's results by these numbers.
static_assert(kIdReadAnswered == kChipIdAnswered && kIdReadNoAnswer == kChipIdNoAnswer &&
                  kIdReadNoProgrammer == 0,
              "the ID read's results and identification must agree");

namespace {

QString qs(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), int(utf8.size()));
}

// "Shown text|pattern|Shown text|pattern" as a Qt filter list. Qt reads the
// patterns from the parentheses of each entry, so the pattern is added where
// the shown text lacks it.
QStringList qtFilters(const std::string& filter) {
    const QStringList parts = qs(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString shown = parts[i];
        const QString pattern = parts[i + 1];
        if (!shown.contains(pattern)) shown += " (" + pattern + ")";
        out << shown;
    }
    return out;
}

const QElapsedTimer& clock() {
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer;
}

}  // namespace

TForm1::TForm1(const ProgramPaths& paths, std::string usbLibrary, std::string hidLibrary,
               QWidget* parent)
    : QMainWindow(parent),
      paths_(paths),
      state_(std::make_unique<MainState>()),
      usb_(std::make_unique<TUsbBulk>(std::move(usbLibrary))),
      hid_(std::make_unique<HidDevice>(std::move(hidLibrary))) {
    usb_->setPause([this](int ms) { pause(ms); });
    ops_ = std::make_unique<ProgrammerOps>(*state_, *usb_, *this);
    firmware_ = std::make_unique<FirmwareUpgrade>(*state_, *ops_, *hid_, *this);
    selector_ = std::make_unique<ChipSelector>(*state_, *this);
    selector_->onSelected = [this](bool chose) { showSelection(chose); };
    runner_ = std::make_unique<CommandRunner>(*state_, *ops_, *this);
    runner_->onStateChanged = [this] { updateControls(); };
    buildLayout();

    // FormCreate: the settings decide size, language and speed.
    settingsFile_ = std::make_unique<SettingsFile>(paths_.settingsFilePath());
    settings_ = loadSettings(*settingsFile_);
    state_->speed = settings_.speed;
    state_->language = settings_.language;
    selector_->saved = {settings_.index1, settings_.index2, settings_.index3};
    ToolDevice->setVisible(settings_.chip != 0);
    N3->setVisible(settings_.chip != 0);
    if (settings_.formMax) {
        resize(993, 601);
        setWindowState(windowState() | Qt::WindowMaximized);
    } else {
        resize(settings_.formWidth, settings_.formHeight);
    }
}

TForm1::~TForm1() = default;

void TForm1::buildLayout() {
    setWindowTitle(QString::fromUtf8("Ostrel I 高速编程器"));
    auto* style = QApplication::style();

    auto* fileMenu = menuBar()->addMenu(QString::fromUtf8("文件(&F)"));
    auto* bufferMenu = menuBar()->addMenu(QString::fromUtf8("缓冲区(&B)"));
    auto* opMenu = menuBar()->addMenu(QString::fromUtf8("操作(&O)"));
    auto* helpMenu = menuBar()->addMenu(QString::fromUtf8("帮助(&H)"));

    ToolBar1 = addToolBar("ToolBar1");
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolBar1->setMovable(false);
    ToolBar1->setIconSize(QSize(32, 32));
    auto makeAction = [&](const char* text, QStyle::StandardPixmap icon, void (TForm1::*slot)()) {
        auto* action = new QAction(style->standardIcon(icon), QString::fromUtf8(text), this);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    ToolOpen = makeAction("打开", QStyle::SP_DialogOpenButton, &TForm1::ToolOpenClick);
    ToolSave = makeAction("保存", QStyle::SP_DialogSaveButton, &TForm1::ToolSaveClick);
    ToolFill = makeAction("填充", QStyle::SP_FileDialogDetailedView, &TForm1::ToolFillClick);
    ToolBank = makeAction("查空", QStyle::SP_DialogApplyButton, &TForm1::ToolBankClick);
    ToolAuto = makeAction("自动", QStyle::SP_MediaPlay, &TForm1::ToolAutoClick);
    ToolErase = makeAction("擦除", QStyle::SP_TrashIcon, &TForm1::ToolEraseClick);
    ToolWrite = makeAction("编程", QStyle::SP_ArrowDown, &TForm1::ToolWriteClick);
    ToolRead = makeAction("读出", QStyle::SP_ArrowUp, &TForm1::ToolReadClick);
    ToolVerify = makeAction("校验", QStyle::SP_DialogYesButton, &TForm1::ToolVerifyClick);
    ToolAbout = makeAction("关于", QStyle::SP_MessageBoxInformation, &TForm1::ToolAboutClick);
    ToolDevice = makeAction("设备", QStyle::SP_FileDialogListView, &TForm1::ToolDeviceClick);
    N3 = new QAction(QString::fromUtf8("设备(&Y)"), this);
    connect(N3, &QAction::triggered, this, &TForm1::ToolDeviceClick);
    ToolBar1->addActions({ToolOpen, ToolSave});
    ToolBar1->addSeparator();
    ToolBar1->addActions({ToolFill, ToolBank});
    ToolBar1->addSeparator();
    ToolBar1->addActions({ToolAuto, ToolErase, ToolWrite, ToolRead, ToolVerify});
    ToolBar1->addSeparator();
    ToolBar1->addActions({ToolDevice, ToolAbout});

    fileMenu->addActions({ToolOpen, ToolSave});
    fileMenu->addSeparator();
    fileMenu->addAction(QString::fromUtf8("退出(&Q)"), this, &QWidget::close);
    bufferMenu->addAction(ToolFill);
    opMenu->addAction(ToolAuto);
    opMenu->addSeparator();
    opMenu->addActions({ToolErase, ToolWrite, ToolRead, ToolVerify, ToolBank});
    opMenu->addSeparator();
    opMenu->addAction(N3);
    helpMenu->addAction(ToolAbout);
    N4 = helpMenu->addAction(QString::fromUtf8("硬件(&D)"), this, &TForm1::N4Click);
    N4->setObjectName("N4");
    N4->setVisible(false);

    // Left column: the chip panel.
    auto* left = new QWidget;
    left->setFixedWidth(185);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(4, 4, 4, 4);
    GroupBox1 = new QGroupBox(QString::fromUtf8("芯片"));
    auto* chipLayout = new QVBoxLayout(GroupBox1);
    ComboBox1 = new QComboBox;
    ComboBox2 = new QComboBox;
    ComboBox3 = new QComboBox;
    for (auto* box : {ComboBox1, ComboBox2, ComboBox3}) chipLayout->addWidget(box);
    BitBtn1 = new QPushButton(QString::fromUtf8("检测"));
    BitBtn1->setObjectName("BitBtn1");
    BitBtn2 = new QPushButton(QString::fromUtf8("查找"));
    BitBtn2->setObjectName("BitBtn2");
    auto* chipButtons = new QHBoxLayout;
    chipButtons->addWidget(BitBtn1);
    chipButtons->addWidget(BitBtn2);
    chipLayout->addLayout(chipButtons);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);
    leftLayout->addWidget(GroupBox1);
    auto addDetail = [&](const char* caption, QLineEdit*& edit) {
        leftLayout->addWidget(new QLabel(QString::fromUtf8(caption)));
        edit = new QLineEdit;
        edit->setReadOnly(true);
        edit->setEnabled(false);
        leftLayout->addWidget(edit);
    };
    addDetail("容量", Edit1);
    addDetail("页面大小", Edit2);
    addDetail("DATA大小", Edit5);
    Edit5->setText("0");
    Label9 = new QLabel(QString::fromUtf8("需配1.8V转换座"));
    Label9->setStyleSheet("color: rgb(255,0,0); font-weight: bold; font-size: 16px;");
    Label9->setAlignment(Qt::AlignCenter);
    Label9->hide();
    leftLayout->addWidget(Label9);
    leftLayout->addStretch(1);
    Image1 = new QLabel;
    Image1->setObjectName("Image1");
    Image1->setFixedSize(175, 240);
    Image1->setScaledContents(true);
    showSocketPicture(socketPicture(SocketPicture::ChipInSocket));
    leftLayout->addWidget(Image1);
    connect(ComboBox1, qOverload<int>(&QComboBox::activated), this, &TForm1::ComboBox1Change);
    connect(ComboBox2, qOverload<int>(&QComboBox::activated), this, &TForm1::ComboBox2Change);
    connect(ComboBox3, qOverload<int>(&QComboBox::activated), this, &TForm1::ComboBox3Change);

    // Right column: the pages with the hex views, and the log pane below.
    PageControl1 = new QTabWidget;
    TabSheet1 = new QWidget;
    TabSheet2 = new QWidget;
    TabSheet3 = new QWidget;
    FlashEditor = new HexView;
    FlashEditor->setDocument(&state_->buffers.flashView());
    FlashEditor->configureFlash();
    EepromEditor = new HexView;
    EepromEditor->setDocument(&state_->buffers.eepromView());
    EepromEditor->configureEeprom();
    auto fillPage = [](QWidget* page, QWidget* content) {
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
        if (content) layout->addWidget(content);
    };
    fillPage(TabSheet1, FlashEditor);
    fillPage(TabSheet2, EepromEditor);
    fillPage(TabSheet3, nullptr);
    PageControl1->addTab(TabSheet1, "FLASH");
    PageControl1->addTab(TabSheet2, "EEPROM");
    PageControl1->addTab(TabSheet3, "CONFIG");

    RichEdit1 = new QTextEdit;
    RichEdit1->setReadOnly(true);
    RichEdit1->setFixedHeight(93);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    auto* right = new QWidget;
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 4, 4, 4);
    rightLayout->addWidget(PageControl1, 1);
    rightLayout->addWidget(RichEdit1);

    auto* central = new QWidget;
    auto* centralLayout = new QHBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    centralLayout->setSpacing(0);
    centralLayout->addWidget(left);
    centralLayout->addWidget(right, 1);
    setCentralWidget(central);

    // Status bar: five panels and the progress bar.
    StatusBar1 = statusBar();
    const int widths[5] = {50, 120, 70, 75, 50};
    const char* texts[5] = {"状态", "编程器未接入", "使用时间", "00:00:00", ""};
    for (int i = 0; i < 5; ++i) {
        panels_[i] = new QLabel(QString::fromUtf8(texts[i]));
        panels_[i]->setFixedWidth(widths[i]);
        panels_[i]->setAlignment(i == 1 ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
        panels_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        StatusBar1->addWidget(panels_[i]);
    }
    Progress = new QProgressBar;
    Progress->setTextVisible(false);
    Progress->hide();
    StatusBar1->addWidget(Progress, 1);
    drawStatePanel();

    Form4 = new TForm4(state_->buffers, *this, this);
    Form3 = new TForm3(*state_, *selector_, this);
    Form2 = new TForm2(*state_, paths_.catalogueFilePath(), *this, this);
    // The saved chip may have moved or gone: choose again by the saved positions,
    // so that the selected record names the chip the lists show.
    Form2->onSaved = [this] {
        selector_->select(selector_->saved.type, selector_->saved.manufacturer,
                          selector_->saved.name);
    };
    Form6 = new TForm6(*this, this);
    connect(Form4, &TForm4::filled, FlashEditor, [this] { FlashEditor->viewport()->update(); });
}

// --- UiPort ------------------------------------------------------------------

void TForm1::messageBox(const std::string& text, const std::string& caption, BoxIcon icon) {
    QMessageBox::Icon qicon = QMessageBox::NoIcon;
    switch (icon) {
        case BoxIcon::Error:
            qicon = QMessageBox::Critical;
            break;
        case BoxIcon::Question:
            qicon = QMessageBox::Question;
            break;
        case BoxIcon::Information:
            qicon = QMessageBox::Information;
            break;
        case BoxIcon::Warning:
            qicon = QMessageBox::Warning;
            break;
        case BoxIcon::None:
            break;
    }
    QMessageBox box(qicon, qs(caption), qs(text), QMessageBox::Ok, this);
    box.exec();
}

bool TForm1::askYesNo(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::Question, qs(caption), qs(text),
                    QMessageBox::Yes | QMessageBox::No, this);
    return box.exec() == QMessageBox::Yes;
}

std::string TForm1::openFileName(const std::string& filter, int filterIndex) {
    const QStringList filters = qtFilters(filter);
    QFileDialog dialog(this, QString(), lastFolder_);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(filters);
    if (filterIndex >= 0 && filterIndex < filters.size())
        dialog.selectNameFilter(filters[filterIndex]);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    lastFolder_ = dialog.directory().absolutePath();
    return dialog.selectedFiles().first().toStdString();
}

std::string TForm1::saveFileName(const std::string& filter, const std::string& defaultExtension) {
    QFileDialog dialog(this, QString(), lastFolder_);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(qtFilters(filter));
    // The save dialog keeps the filter chosen last time.
    if (!lastSaveFilter_.isEmpty()) dialog.selectNameFilter(lastSaveFilter_);
    dialog.setDefaultSuffix(qs(defaultExtension));
    // The overwrite question is the program's own.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    lastSaveFilter_ = dialog.selectedNameFilter();
    lastFolder_ = dialog.directory().absolutePath();
    return dialog.selectedFiles().first().toStdString();
}

void TForm1::setStatusText(int panel, const std::string& text) {
    if (panel < 0 || panel > 4) return;
    panels_[panel]->setText(qs(text));
    if (panel == PanelState) drawStatePanel();
}

std::string TForm1::statusText(int panel) const {
    if (panel < 0 || panel > 4) return {};
    return panels_[panel]->text().toStdString();
}

void TForm1::drawStatePanel() {
    // Red only while the text is "not connected" in the language now in force.
    const bool red = panels_[1]->text() == qs(messageText(Msg::MsgNotConnected, state_->language));
    panels_[1]->setStyleSheet(red ? "color: rgb(255,0,0);" : "");
}

void TForm1::setProgressVisible(bool visible) {
    Progress->setVisible(visible);
}
void TForm1::setProgressMax(int64_t max) {
    Progress->setMaximum(int(std::clamp<int64_t>(max, 0, INT32_MAX)));
}
void TForm1::setProgressPosition(int64_t position) {
    Progress->setValue(int(std::clamp<int64_t>(position, 0, Progress->maximum())));
}

void TForm1::insertLogLine(const std::string& line) {
    QTextCursor cursor(RichEdit1->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(qs(line) + (RichEdit1->document()->isEmpty() ? "" : "\n"));
}

std::string TForm1::firstLogLine() const {
    return RichEdit1->document()->firstBlock().text().toStdString();
}

void TForm1::clearLog() {
    RichEdit1->clear();
}
void TForm1::processEvents() {
    QApplication::processEvents();
}
void TForm1::pause(int milliseconds) {
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}
void TForm1::beep() {
    QApplication::beep();
}
std::string TForm1::timeOfDay() const {
    return QTime::currentTime().toString("HH:mm:ss").toStdString();
}
int64_t TForm1::monotonicMs() const {
    return clock().elapsed();
}
int64_t TForm1::epochSeconds() const {
    return QDateTime::currentSecsSinceEpoch();
}

// --- lifecycle -----------------------------------------------------------------

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    FormShow();
    if (auto* screen = QApplication::primaryScreen(); screen && !isMaximized()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    activateWindow();
}

void TForm1::FormShow() {
    const std::string path = paths_.catalogueFilePath();
    if (loadCatalogueFile(path, state_->catalogue, *this, state_->language) ==
        CatalogueLoad::Loaded)
        selector_->select(selector_->saved.type, selector_->saved.manufacturer,
                          selector_->saved.name);
}

bool TForm1::event(QEvent* event) {
    const bool result = QMainWindow::event(event);
    if (event->type() == QEvent::WindowActivate) FormActivate();
    return result;
}

void TForm1::FormActivate() {
    checkProgrammer();
}

void TForm1::checkProgrammer() {
    // A job in progress holds the transport; the check would close its device.
    if (runner_->busy() || upgrading_) return;
    if (usb_->prog_open(kProgrammerVendorId, kProgrammerVendorText, kProgrammerProductId,
                        kProgrammerProductText)) {
        const std::string line =
            messageText(Msg::MsgProgrammerFound, state_->language) + " (" + timeOfDay() + ")";
        if (firstLogLine() != line) insertLogLine(line);
        usb_->USB_bulk_close();
        setStatusText(PanelState, messageText(Msg::MsgConnected, state_->language));
    } else {
        setStatusText(PanelState, messageText(Msg::MsgNotConnected, state_->language));
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    // Closed in the middle of a command: the command stops after its current
    // block and ends its job; the window closes once the job has ended.
    if (runner_->busy() || runner_->batchActive()) {
        closePending_ = true;
        runner_->requestStop();
        event->ignore();
        return;
    }
    const QRect g = geometry();
    settings_.formHeight = g.height();
    settings_.formWidth = g.width();
    settings_.formTop = g.top();
    settings_.formLeft = g.left();
    settings_.formMax = isMaximized();
    settings_.speed = state_->speed;
    settings_.language = state_->language;
    settings_.index1 = selector_->saved.type;
    settings_.index2 = selector_->saved.manufacturer;
    settings_.index3 = selector_->saved.name;
    saveSettings(*settingsFile_, settings_, *this);
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
    PageControl1->setTabText(0,
                             qs(DataBuffers::pageRules(chip, state_->typeIndex).flashPageCaption));
    FlashEditor->viewport()->update();
    EepromEditor->viewport()->update();
}

void TForm1::ComboBox1Change(int index) {
    selector_->typeChanged(index);
}

void TForm1::ComboBox2Change(int index) {
    selector_->manufacturerChanged(index);
}

void TForm1::ComboBox3Change(int index) {
    selector_->nameChanged(index);
}

// --- commands --------------------------------------------------------------------

ActivePage TForm1::activePage() const {
    const int index = PageControl1->currentIndex();
    return index == 0 ? ActivePage::Flash : index == 1 ? ActivePage::Eeprom : ActivePage::Config;
}

void TForm1::ToolOpenClick() {
    OpenFileCommand(*state_, activePage(), *this);
    FlashEditor->viewport()->update();
    EepromEditor->viewport()->update();
}

void TForm1::ToolSaveClick() {
    SaveFileCommand(*state_, *this);
}

void TForm1::ToolFillClick() {
    Form4->setCaptions(state_->language);
    Form4->showForChip(state_->selectedRecord().flashSize);
}

void TForm1::updateControls() {
    const bool locked = runner_->busy() || runner_->batchActive();
    for (QAction* action : {ToolOpen, ToolSave, ToolFill, ToolBank, ToolAuto, ToolErase, ToolWrite,
                            ToolRead, ToolVerify, ToolDevice, N3})
        action->setEnabled(!locked);
    for (QWidget* widget : {static_cast<QWidget*>(ComboBox1), static_cast<QWidget*>(ComboBox2),
                            static_cast<QWidget*>(ComboBox3), static_cast<QWidget*>(BitBtn1),
                            static_cast<QWidget*>(BitBtn2)})
        widget->setEnabled(!locked);
    FlashEditor->setReadOnly(locked);
    EepromEditor->setReadOnly(locked);
    if (!runner_->busy()) {
        FlashEditor->viewport()->update();
        if (closePending_ && !runner_->batchActive()) QTimer::singleShot(0, this, &QWidget::close);
    }
}

void TForm1::ToolReadClick() {
    runner_->run(ChipCommand::Read);
}

void TForm1::ToolEraseClick() {
    runner_->run(ChipCommand::Erase);
}

void TForm1::ToolWriteClick() {
    runner_->run(ChipCommand::Write);
}

void TForm1::ToolVerifyClick() {
    runner_->run(ChipCommand::Verify);
}

void TForm1::ToolBankClick() {
    runner_->run(ChipCommand::BlankCheck);
}

void TForm1::ToolAutoClick() {
    runner_->run(ChipCommand::Auto);
}

void TForm1::showSocketPicture(const QImage& picture) {
    Image1->setPixmap(QPixmap::fromImage(picture));
}

void TForm1::BitBtn1Click() {
    if (runner_->busy() || runner_->batchActive()) return;
    uint8_t reply[4] = {};
    const int result = ops_->readChipId(reply);
    identifyChip(result, reply, state_->catalogue, *selector_, *this, state_->language,
                 [this](SocketPicture picture) { showSocketPicture(socketPicture(picture)); });
}

void TForm1::BitBtn2Click() {
    // Choosing a chip resets the buffers a running job uses.
    if (runner_->busy() || runner_->batchActive()) return;
    Form3->exec();
}

void TForm1::ToolDeviceClick() {
    if (runner_->busy() || runner_->batchActive()) return;
    Form2->exec();
}

void TForm1::N4Click() {
    // The upgrade holds the programmer and then its boot loader: no presence
    // check or job may come in between while it processes events.
    if (upgrading_ || runner_->busy() || runner_->batchActive()) return;
    upgrading_ = true;
    firmware_->hardwareCommand(*Form6);
    upgrading_ = false;
}

void TForm1::ToolAboutClick() {
    QMessageBox::about(this, "About", QString::fromUtf8("Ostrel高速编程器\nVersion:1.1.3"));
}

}  // namespace ostrel
