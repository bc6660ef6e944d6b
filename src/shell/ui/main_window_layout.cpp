// Building the main window's controls in their designed state: the menu, the
// toolbar, the chip column, the data column and the status bar, and the status
// bar's own drawing when its state text or its width changes. Names and sizes
// are those the rest of the program and the caption table know.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolBar>
#include <QVBoxLayout>

#include "base/messages.h"
#include "base/ui/qt_text.h"
#include "buffers/range_edit.h"
#include "buffers/ui/hex_view.h"
#include "catalogue/ui/socket_picture.h"
#include "shell/ui/artwork.h"
#include "shell/ui/main_window.h"

namespace ostrel {

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
    O2->setShortcut(QKeySequence::Open);
    S1 = item(O1, "S1", &TForm1::ToolSaveClick);
    S1->setShortcut(QKeySequence::Save);
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
    buildDiagnose();
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
    // 176 pixels as designed, or taller when the font's lines need it (the CJK
    // font's are), so that the lists' rows are never squeezed: a squeezed row
    // cuts the underscores off "SPI_FLASH".
    GroupBox1->setMinimumHeight(176);
    GroupBox1->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
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
        const std::string typed = text.toStdString();
        if (!state_->buffers.Edit3Change(typed)) ui_->errorBox(conversionErrorText(typed));
    });
    connect(Edit4, &QLineEdit::textChanged, this, [this](const QString& text) {
        const std::string typed = text.toStdString();
        if (!state_->buffers.Edit4Change(typed)) ui_->errorBox(conversionErrorText(typed));
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

void TForm1::drawStatePanel() {
    // Red only while the text is "not connected" in the language now in force.
    const bool red = panels_[1]->text() == qs(messageText(Msg::MsgNotConnected, state_->language));
    QPalette palette = panels_[1]->palette();
    palette.setColor(QPalette::WindowText,
                     red ? QColor(255, 0, 0) : QApplication::palette().color(QPalette::ButtonText));
    panels_[1]->setPalette(palette);
}

void TForm1::FormResize() {
    // Only the widths follow; heights and tops stay as created.
    for (QProgressBar* bar : {Progress, Progress2})
        bar->setGeometry(317, bar->y(), StatusBar1->width() - 315, bar->height());
}

}  // namespace ostrel
