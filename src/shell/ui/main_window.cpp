#include "shell/ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
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
#include <QWindow>

#include "base/program_paths.h"
#include "base/texts.h"
#include "base/ui/apply_captions.h"
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
#include "shell/ui/about_box.h"
#include "shell/ui/artwork.h"
#include "shell/ui/buffer_tools.h"
#include "shell/ui/file_filters.h"
#include "usb/device_change.h"
#include "usb/programmer_identity.h"
#include "usb/ui/device_change_notifier.h"

namespace ostrel {

// Identification reads the ID read's results by these numbers.
static_assert(kIdReadAnswered == kChipIdAnswered && kIdReadNoAnswer == kChipIdNoAnswer &&
                  kIdReadNoProgrammer == 0,
              "the ID read's results and identification must agree");

namespace {

QString qs(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), int(utf8.size()));
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
    setObjectName(QStringLiteral("Form1"));
    usb_->setPause([this](int ms) { pause(ms); });
    ops_ = std::make_unique<ProgrammerOps>(*state_, *usb_, *this);
    firmware_ = std::make_unique<FirmwareUpgrade>(*state_, *ops_, *hid_, *this);
    selector_ = std::make_unique<ChipSelector>(*state_, *this);
    selector_->onSelected = [this](bool chose) { showSelection(chose); };
    runner_ = std::make_unique<CommandRunner>(*state_, *ops_, *this);
    runner_->lock().onChanged = [this] { updateControls(); };
    buildLayout();
    // The designed state: Simplified Chinese captions and China checked.
    applyWindowCaptions("TForm1", this, LangSimplified);

    // FormCreate: the settings decide size, language and speed.
    settingsFile_ = std::make_unique<SettingsFile>(paths_.settingsFilePath());
    settings_ = loadSettings(*settingsFile_);
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
}

TForm1::~TForm1() = default;

void TForm1::createWindows() {
    Form2 = new TForm2(*state_, paths_, *this, this);
    // The saved chip may have moved or gone: choose again by the saved positions,
    // so that the selected record names the chip the lists show.
    Form2->onSaved = [this] {
        selector_->select(selector_->saved.type, selector_->saved.manufacturer,
                          selector_->saved.name);
    };
    Form3 = new TForm3(*state_, *selector_, this);
    Form4 = new TForm4(state_->buffers, *this, this);
    connect(Form4, &TForm4::filled, FlashEditor, [this] { FlashEditor->viewport()->update(); });
    AboutBox = new TAboutBox(this);
    Form6 = new TForm6(*this, this);
}

void TForm1::buildLayout() {
    buildMenu();
    buildToolBar();

    Panel1 = new QWidget;
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto* columns = new QHBoxLayout(Panel1);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);
    buildChipColumn();
    buildDataColumn();
    columns->addWidget(Panel2);
    columns->addWidget(Panel3, 1);
    setCentralWidget(Panel1);

    buildStatusBar();
}

void TForm1::buildMenu() {
    auto item = [this](QWidget* menu, const char* name, void (TForm1::*slot)()) {
        auto* action = new QAction(this);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, slot);
        menu->addAction(action);
        return action;
    };
    auto submenu = [this](const char* name) {
        QMenu* menu = menuBar()->addMenu(QString());
        menu->menuAction()->setObjectName(QString::fromLatin1(name));
        return menu;
    };
    O1 = submenu("O1");
    O2 = item(O1, "O2", &TForm1::ToolOpenClick);
    S1 = item(O1, "S1", &TForm1::ToolSaveClick);
    O1->addSeparator();
    Q1 = item(O1, "Q1", &TForm1::Q1Click);
    Buff = submenu("Buff");
    Fill = item(Buff, "Fill", &TForm1::ToolFillClick);
    O3 = submenu("O3");
    A1 = item(O3, "A1", &TForm1::ToolAutoClick);
    O3->addSeparator();
    E1 = item(O3, "E1", &TForm1::ToolEraseClick);
    W1 = item(O3, "W1", &TForm1::ToolWriteClick);
    R1 = item(O3, "R1", &TForm1::ToolReadClick);
    V1 = item(O3, "V1", &TForm1::ToolVerifyClick);
    N7 = item(O3, "N7", &TForm1::ToolBankClick);
    N3 = item(menuBar(), "N3", &TForm1::ToolDeviceClick);
    N3->setVisible(false);
    N4 = item(menuBar(), "N4", &TForm1::N4Click);
    N4->setVisible(false);
    L1 = submenu("L1");
    China = item(L1, "China", &TForm1::ChinaClick);
    fanti = item(L1, "fanti", &TForm1::fantiClick);
    Enlish = item(L1, "Enlish", &TForm1::EnlishClick);
    for (QAction* language : {China, fanti, Enlish}) language->setCheckable(true);
    H1 = submenu("H1");
    N5 = item(H1, "N5", &TForm1::ToolAboutClick);
}

void TForm1::buildToolBar() {
    ToolBar1 = addToolBar(QString());
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
    ToolBar1->setIconSize(QSize(48, 48));
    // 72 pixels as designed, or what a CJK caption under the picture needs.
    ToolBar1->setMinimumHeight(72);
    auto tool = [this](const char* name, ToolPicture picture, void (TForm1::*slot)()) {
        auto* action = new QAction(toolIcon(picture), QString(), this);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, slot);
        ToolBar1->addAction(action);
        if (auto* button = ToolBar1->widgetForAction(action)) button->setMinimumWidth(55);
        return action;
    };
    ToolOpen = tool("ToolOpen", ToolPicture::Open, &TForm1::ToolOpenClick);
    ToolSave = tool("ToolSave", ToolPicture::Save, &TForm1::ToolSaveClick);
    ToolBar1->addSeparator();
    ToolFill = tool("ToolFill", ToolPicture::Fill, &TForm1::ToolFillClick);
    ToolBank = tool("ToolBank", ToolPicture::Bank, &TForm1::ToolBankClick);
    ToolBar1->addSeparator();
    ToolAuto = tool("ToolAuto", ToolPicture::Auto, &TForm1::ToolAutoClick);
    ToolErase = tool("ToolErase", ToolPicture::Erase, &TForm1::ToolEraseClick);
    ToolWrite = tool("ToolWrite", ToolPicture::Write, &TForm1::ToolWriteClick);
    ToolRead = tool("ToolRead", ToolPicture::Read, &TForm1::ToolReadClick);
    ToolVerify = tool("ToolVerify", ToolPicture::Verify, &TForm1::ToolVerifyClick);
    ToolBulk = tool("ToolBulk", ToolPicture::Bulk, &TForm1::ToolBulkClick);
    ToolBulk->setCheckable(true);
    ToolBar1->addSeparator();
    ToolDevice = tool("ToolDevice", ToolPicture::Device, &TForm1::ToolDeviceClick);
    ToolDevice->setVisible(false);
    ToolAbout = tool("ToolAbout", ToolPicture::About, &TForm1::ToolAboutClick);
}

void TForm1::buildChipColumn() {
    Panel2 = new QWidget;
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFixedWidth(185);
    auto* column = new QVBoxLayout(Panel2);
    column->setContentsMargins(4, 2, 4, 4);
    column->setSpacing(4);

    GroupBox1 = new QGroupBox;
    GroupBox1->setFixedHeight(176);
    auto* chip = new QGridLayout(GroupBox1);
    chip->setContentsMargins(6, 4, 6, 6);
    chip->setVerticalSpacing(4);
    Label1 = new QLabel;
    Label2 = new QLabel;
    Label3 = new QLabel;
    ComboBox1 = new QComboBox;
    ComboBox2 = new QComboBox;
    ComboBox3 = new QComboBox;
    int row = 0;
    for (auto [label, box] : {std::pair{Label1, ComboBox1}, std::pair{Label2, ComboBox2},
                              std::pair{Label3, ComboBox3}}) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(6);
        chip->addWidget(label, row++, 0, 1, 2);
        chip->addWidget(box, row++, 0, 1, 2);
    }
    BitBtn1 = new QPushButton;
    BitBtn2 = new QPushButton;
    chip->addWidget(BitBtn1, row, 0);
    chip->addWidget(BitBtn2, row, 1);
    column->addWidget(GroupBox1);
    connect(ComboBox1, qOverload<int>(&QComboBox::activated), this, &TForm1::ComboBox1Change);
    connect(ComboBox2, qOverload<int>(&QComboBox::activated), this, &TForm1::ComboBox2Change);
    connect(ComboBox3, qOverload<int>(&QComboBox::activated), this, &TForm1::ComboBox3Change);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);

    auto* details = new QGridLayout;
    details->setContentsMargins(2, 0, 2, 0);
    details->setVerticalSpacing(3);
    Label4 = new QLabel;
    Label5 = new QLabel;
    Label6 = new QLabel;
    Edit1 = new QLineEdit;
    Edit2 = new QLineEdit;
    Edit5 = new QLineEdit(QStringLiteral("0"));
    row = 0;
    for (auto [label, edit] :
         {std::pair{Label4, Edit1}, std::pair{Label5, Edit2}, std::pair{Label6, Edit5}}) {
        edit->setReadOnly(true);
        edit->setEnabled(false);
        edit->setFixedWidth(96);
        details->addWidget(label, row, 0);
        details->addWidget(edit, row++, 1);
    }
    column->addLayout(details);

    // The socket picture with the note over its top and the socket boxes on it.
    auto* socket = new QWidget;
    auto* overlay = new QGridLayout(socket);
    overlay->setContentsMargins(0, 0, 0, 0);
    Image1 = new QLabel;
    Image1->setScaledContents(true);
    Image1->setMinimumSize(1, 1);
    Image1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    Label9 = new QLabel;
    QFont note = Label9->font();
    note.setPixelSize(16);
    note.setBold(true);
    Label9->setFont(note);
    QPalette red = Label9->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    Label9->setPalette(red);
    Label9->setAlignment(Qt::AlignCenter);
    Label9->setFixedHeight(20);
    Label9->setAttribute(Qt::WA_TranslucentBackground);
    // The note reads the same in every language.
    Label9->setText(QString::fromUtf8("需配1.8V转换座"));
    Socket1 = new QCheckBox;
    Socket2 = new QCheckBox;
    Socket1->hide();
    Socket2->hide();
    overlay->addWidget(Image1, 0, 0, 3, 1);
    overlay->addWidget(Label9, 0, 0, Qt::AlignTop);
    overlay->addWidget(Socket1, 1, 0, Qt::AlignLeft);
    overlay->addWidget(Socket2, 2, 0, Qt::AlignLeft);
    column->addWidget(socket, 1);
    showSocketPicture(socketPicture(SocketPicture::ChipInSocket));

    const struct {
        QObject* object;
        const char* name;
    } names[] = {{GroupBox1, "GroupBox1"}, {Label1, "Label1"},       {Label2, "Label2"},
                 {Label3, "Label3"},       {ComboBox1, "ComboBox1"}, {ComboBox2, "ComboBox2"},
                 {ComboBox3, "ComboBox3"}, {BitBtn1, "BitBtn1"},     {BitBtn2, "BitBtn2"},
                 {Label4, "Label4"},       {Label5, "Label5"},       {Label6, "Label6"},
                 {Edit1, "Edit1"},         {Edit2, "Edit2"},         {Edit5, "Edit5"},
                 {Image1, "Image1"},       {Label9, "Label9"},       {Socket1, "Socket1"},
                 {Socket2, "Socket2"}};
    for (const auto& n : names) n.object->setObjectName(QString::fromLatin1(n.name));
}

void TForm1::buildDataColumn() {
    Panel3 = new QWidget;
    Panel3->setObjectName(QStringLiteral("Panel3"));
    auto* column = new QVBoxLayout(Panel3);
    column->setContentsMargins(0, 2, 2, 2);
    column->setSpacing(2);

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
    // A whole row of the largest chip fits without sideways scrolling; the
    // window grows to its minimum width where the stored one is narrower.
    FlashEditor->setMinimumWidth(FlashEditor->wholeRowWidth(kFlashBufferSize));
    fillPage(TabSheet1, FlashEditor);
    fillPage(TabSheet2, EepromEditor);
    fillPage(TabSheet3, nullptr);
    PageControl1->addTab(TabSheet1, QString());
    PageControl1->addTab(TabSheet2, QString());
    PageControl1->addTab(TabSheet3, QString());
    column->addWidget(PageControl1, 1);

    // The options panel keeps the Auto options and the address range that the
    // runner and the buffers read; it is never shown.
    Panel9 = new QWidget;
    Panel9->setFixedHeight(49);
    auto* options = new QHBoxLayout(Panel9);
    options->setContentsMargins(0, 0, 0, 0);
    GroupBox2 = new QGroupBox;
    auto* autoOptions = new QHBoxLayout(GroupBox2);
    CheckBox1 = new QCheckBox;
    CheckBox2 = new QCheckBox;
    CheckBox3 = new QCheckBox;
    for (QCheckBox* box : {CheckBox1, CheckBox2, CheckBox3}) {
        box->setChecked(true);
        autoOptions->addWidget(box);
    }
    GroupBox3 = new QGroupBox;
    auto* memory = new QHBoxLayout(GroupBox3);
    CheckBox4 = new QCheckBox;
    memory->addWidget(CheckBox4);
    GroupBox4 = new QGroupBox;
    auto* range = new QHBoxLayout(GroupBox4);
    CheckBox5 = new QCheckBox;
    Label7 = new QLabel;
    Label8 = new QLabel;
    Edit3 = new QLineEdit(QString::fromStdString(state_->buffers.rangeStartText));
    Edit4 = new QLineEdit(QString::fromStdString(state_->buffers.rangeEndText));
    Edit3->setEnabled(false);
    Edit4->setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{CheckBox5, Label7, Edit3, Label8, Edit4})
        range->addWidget(w);
    options->addWidget(GroupBox2);
    options->addWidget(GroupBox3);
    options->addWidget(GroupBox4, 1);
    Panel9->hide();
    column->addWidget(Panel9);
    connect(Edit3, &QLineEdit::textChanged, this, [this](const QString& text) {
        state_->buffers.Edit3Change(text.toStdString(), *this);
    });
    connect(Edit4, &QLineEdit::textChanged, this, [this](const QString& text) {
        state_->buffers.Edit4Change(text.toStdString(), *this);
    });
    connect(CheckBox5, &QCheckBox::clicked, this, [this](bool checked) {
        const bool enabled = state_->buffers.CheckBox5Click(checked);
        Edit3->setEnabled(enabled);
        Edit4->setEnabled(enabled);
    });

    RichEdit1 = new QTextEdit;
    RichEdit1->setReadOnly(true);
    RichEdit1->setFixedHeight(93);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont logFont;
    logFont.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Sans Serif")});
    logFont.setPixelSize(13);
    RichEdit1->setFont(logFont);
    column->addWidget(RichEdit1);

    const struct {
        QObject* object;
        const char* name;
    } names[] = {{PageControl1, "PageControl1"},
                 {TabSheet1, "TabSheet1"},
                 {TabSheet2, "TabSheet2"},
                 {TabSheet3, "TabSheet3"},
                 {FlashEditor, "FlashEditor"},
                 {EepromEditor, "EepromEditor"},
                 {Panel9, "Panel9"},
                 {GroupBox2, "GroupBox2"},
                 {CheckBox1, "CheckBox1"},
                 {CheckBox2, "CheckBox2"},
                 {CheckBox3, "CheckBox3"},
                 {GroupBox3, "GroupBox3"},
                 {CheckBox4, "CheckBox4"},
                 {GroupBox4, "GroupBox4"},
                 {CheckBox5, "CheckBox5"},
                 {Label7, "Label7"},
                 {Label8, "Label8"},
                 {Edit3, "Edit3"},
                 {Edit4, "Edit4"},
                 {RichEdit1, "RichEdit1"}};
    for (const auto& n : names) n.object->setObjectName(QString::fromLatin1(n.name));
}

void TForm1::buildStatusBar() {
    StatusBar1 = statusBar();
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setFixedHeight(19);
    // The panels and the progress bars sit at fixed places, as the progress bar
    // covers the last panel and reaches past the bar's right edge.
    const int widths[5] = {50, 120, 70, 75, 50};
    int left = 0;
    for (int i = 0; i < 5; ++i) {
        panels_[i] = new QLabel(StatusBar1);
        panels_[i]->setObjectName(QStringLiteral("StatusBar1.Panels[%1]").arg(i));
        panels_[i]->setGeometry(left, 0, widths[i] - 2, 19);
        panels_[i]->setAlignment(i == 1 ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
        panels_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panels_[i]->setIndent(2);
        left += widths[i];
    }
    panels_[1]->setText(qs(messageText(Msg::MsgNotConnected, LangSimplified)));
    panels_[3]->setText(QStringLiteral("00:00:00"));

    Progress = new QProgressBar(StatusBar1);
    Progress2 = new QProgressBar(StatusBar1);
    Progress->setObjectName(QStringLiteral("Progress"));
    Progress2->setObjectName(QStringLiteral("Progress2"));
    for (QProgressBar* bar : {Progress, Progress2}) {
        bar->setRange(0, 100);
        bar->setTextVisible(false);
    }
    Progress2->hide();
    // The designed bar has no border, so the borders of the formulas are 0.
    const int border = 0;
    const int height = StatusBar1->height();
    Progress->setGeometry(317, border + 2, StatusBar1->width() - 315, height - border - 2);
    Progress2->setGeometry(317, border + Progress->height() + 2, StatusBar1->width() - 315,
                           (height - border - 2) / 2);
    StatusBar1->installEventFilter(this);
    drawStatePanel();
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
    const QStringList filters = qtNameFilters(filter);
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
    dialog.setNameFilters(qtNameFilters(filter));
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
    if (panel == PanelState) {
        panels_[panel]->setToolTip(QString());
        drawStatePanel();
    }
}

std::string TForm1::statusText(int panel) const {
    if (panel < 0 || panel > 4) return {};
    return panels_[panel]->text().toStdString();
}

void TForm1::drawStatePanel() {
    // Red only while the text is "not connected" in the language now in force.
    const bool red = panels_[1]->text() == qs(messageText(Msg::MsgNotConnected, state_->language));
    QPalette palette = panels_[1]->palette();
    palette.setColor(QPalette::WindowText,
                     red ? QColor(255, 0, 0) : QApplication::palette().color(QPalette::ButtonText));
    panels_[1]->setPalette(palette);
}

void TForm1::setProgressVisible(bool visible) {
    Progress->setVisible(visible);
    Progress2->setVisible(visible);
}
void TForm1::setProgressMax(int64_t max) {
    for (QProgressBar* bar : {Progress, Progress2})
        bar->setMaximum(int(std::clamp<int64_t>(max, 0, INT32_MAX)));
}
void TForm1::setProgressPosition(int64_t position) {
    for (QProgressBar* bar : {Progress, Progress2})
        bar->setValue(int(std::clamp<int64_t>(position, 0, bar->maximum())));
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
    if (loadCatalogueFile(path, state_->catalogue, *this, state_->language) ==
        CatalogueLoad::Loaded)
        selector_->select(selector_->saved.type, selector_->saved.manufacturer,
                          selector_->saved.name);
    ApplyLanguage();
}

void TForm1::focusWindowChanged(QWindow* now) {
    // Menus and drop-down lists take the focus without taking the window's
    // activation away.
    if (now && (now->type() == Qt::Popup || now->type() == Qt::ToolTip)) return;
    const FocusPlace before = lastFocus_;
    if (!now) {
        // The window system reports the focus moving to another program as no
        // focus window; coming back from there is no activation of ours. A
        // dialog of ours that closes may leave no focus window too, until the
        // main window takes it back.
        const bool dialogClosed =
            before == FocusPlace::OwnWindow && lastFocusWindow_ && !lastFocusWindow_->isVisible();
        if (!dialogClosed) lastFocus_ = FocusPlace::OtherProgram;
    } else if (now != windowHandle()) {
        lastFocus_ = FocusPlace::OwnWindow;
    } else {
        lastFocus_ = FocusPlace::MainWindow;
        if (!activatedOnce_ || before == FocusPlace::OwnWindow) {
            activatedOnce_ = true;
            FormActivate();
        }
    }
    lastFocusWindow_ = now;
}

void TForm1::dialogClosed(QDialog* dialog) {
    // A closing dialog gives the activation back to the main window, as on the
    // desktop the program was made for; without a window manager (or with one
    // that leaves the focus nowhere) nobody else would.
    if (!dialog || !dialog->isWindow() || !QGuiApplication::focusWindow()) return;
    QTimer::singleShot(0, this, [this] {
        QWindow* focus = QGuiApplication::focusWindow();
        if (isVisible() && (!focus || !focus->isVisible())) activateWindow();
    });
}

void TForm1::FormActivate() {
    checkProgrammer();
}

void TForm1::watchDeviceChanges(std::unique_ptr<DeviceChangeSource> source) {
    deviceChanges_ = std::make_unique<DeviceChangeNotifier>(std::move(source));
    connect(deviceChanges_.get(), &DeviceChangeNotifier::devicesChanged, this,
            &TForm1::checkProgrammer);
}

void TForm1::checkProgrammer() {
    // A job in progress holds the transport, and the check's open and close
    // would end it: the check runs when the job has ended.
    if (runner_->busy() || upgrading_) {
        checkPending_ = true;
        return;
    }
    checkPending_ = false;
    if (usb_->prog_open(kProgrammerVendorId, kProgrammerVendorText, kProgrammerProductId,
                        kProgrammerProductText)) {
        const std::string line =
            messageText(Msg::MsgProgrammerFound, state_->language) + " (" + timeOfDay() + ")";
        if (firstLogLine() != line) insertLogLine(line);
        usb_->USB_bulk_close();
        setStatusText(PanelState, messageText(Msg::MsgConnected, state_->language));
    } else {
        setStatusText(PanelState, messageText(Msg::MsgNotConnected, state_->language));
        // Attached but unusable: the panel's tip says what to check.
        if (attachedButUnusable(usb_->lastOpenFailure()))
            panels_[PanelState]->setToolTip(
                qs(programText(Txt::ProgrammerUnusable, state_->language)));
    }
}

void TForm1::jobEnded() {
    if (checkPending_) checkProgrammer();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == StatusBar1 && event->type() == QEvent::Resize) FormResize();
    if (event->type() == QEvent::Hide) dialogClosed(qobject_cast<QDialog*>(watched));
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::FormResize() {
    // Only the widths follow; heights and tops stay as created.
    for (QProgressBar* bar : {Progress, Progress2})
        bar->setGeometry(317, bar->y(), StatusBar1->width() - 315, bar->height());
}

void TForm1::Q1Click() {
    close();
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
    Edit4->setText(QString::fromStdString(state_->buffers.rangeEndText));
    selectedOnce_ = true;
    captionFirstPage();
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
    Enlish->setChecked(language == LangEnglish);
    China->setChecked(language == LangSimplified);
    fanti->setChecked(language == LangTraditional);
    state_->language = language;
    ApplyLanguage();
    clearLog();
}

void TForm1::ApplyLanguage() {
    const int language = state_->language;
    if (language < 0 || language > 2) return;
    applyCaptions({{"TForm1", this},
                   {"TForm2", Form2},
                   {"TForm3", Form3},
                   {"TForm4", Form4},
                   {"TAboutBox", AboutBox},
                   {"TForm6", Form6}},
                  language);
    // Panel 1 keeps its text; whether it is red follows the new language.
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

void TForm1::ToolOpenClick() {
    OpenFileCommand(*state_, activePage(), *this);
    FlashEditor->viewport()->update();
    EepromEditor->viewport()->update();
}

void TForm1::ToolSaveClick() {
    SaveFileCommand(*state_, *this);
}

void TForm1::ToolFillClick() {
    Form4->showForChip(state_->selectedRecord().flashSize);
}

void TForm1::updateControls() {
    const bool locked = runner_->busy() || runner_->batchActive();
    for (QAction* action : {ToolOpen, ToolSave, ToolFill, ToolBank, ToolAuto, ToolErase, ToolWrite,
                            ToolRead, ToolVerify, ToolDevice, N3, N4, China, fanti, Enlish})
        action->setEnabled(!locked);
    // Batch mode keeps its own button, which releases it, also while its Auto
    // runs; a single command leaves it off.
    const bool batch = runner_->batchActive();
    ToolBulk->setEnabled(batch || !runner_->busy());
    if (ToolBulk->isChecked() != batch) ToolBulk->setChecked(batch);
    if (batch != batchShown_) {
        batchShown_ = batch;
        ToolBulk->setText(qs(messageText(batch ? Msg::MsgStop : Msg::MsgBulk, state_->language)));
    }
    for (QWidget* widget : {static_cast<QWidget*>(ComboBox1), static_cast<QWidget*>(ComboBox2),
                            static_cast<QWidget*>(ComboBox3), static_cast<QWidget*>(BitBtn1),
                            static_cast<QWidget*>(BitBtn2)})
        widget->setEnabled(!locked);
    FlashEditor->setReadOnly(locked);
    EepromEditor->setReadOnly(locked);
    if (!runner_->busy()) {
        jobEnded();
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
    jobEnded();
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
        runner_->startBatch();
    else
        runner_->stopBatch();
    updateControls();
}

}  // namespace ostrel
