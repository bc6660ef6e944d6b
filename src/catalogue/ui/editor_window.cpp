#include "catalogue/ui/editor_window.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "base/messages.h"
#include "base/ui/qt_text.h"
#include "base/ui_port.h"
#include "catalogue/catalogue_file.h"
#include "catalogue/gbk_text.h"

namespace ostrel {

namespace {

bool isNameColumn(int column) {
    return column <= ColName;
}

}  // namespace

TForm2::TForm2(Catalogue& catalogue, const int32_t& language, ProgramPaths paths, UiPort& ui,
               QWidget* parent)
    : QDialog(parent),
      catalogue_(catalogue),
      language_(language),
      paths_(std::move(paths)),
      ui_(ui) {
    setObjectName("TForm2");
    setWindowTitle(QString::fromUtf8("芯片编辑"));
    setFixedSize(880, 442);

    StringGrid1 = new QTableWidget(0, kEditorColumns);
    StringGrid1->setObjectName("StringGrid1");
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setDefaultSectionSize(20);
    StringGrid1->horizontalHeader()->setDefaultSectionSize(75);
    QStringList headers;
    for (const auto& h : editorHeaders()) headers << qs(h);
    StringGrid1->setHorizontalHeaderLabels(headers);
    for (int c : {3, 4, 5, 6, 7, 8, 9, 11, 12}) StringGrid1->setColumnWidth(c, 60);

    GroupBox1 = new QGroupBox(QString::fromUtf8("配置"));
    GroupBox1->setObjectName("GroupBox1");
    const char* captions[13] = {"种类",   "厂商",     "芯片型号", "延时", "芯片类型",
                                "FLASH",  "FLASH页",  "工作电压", "算法", "芯片ID",
                                "EEPROM", "EEPROM页", "扩展关联"};
    auto makeCombo = [](const char* name) {
        auto* box = new QComboBox;
        box->setObjectName(name);
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setMaxVisibleItems(16);
        box->setMinimumWidth(110);
        return box;
    };
    ComboBox1 = makeCombo("ComboBox1");
    ComboBox2 = makeCombo("ComboBox2");
    ComboBox3 = makeCombo("ComboBox3");
    Edit1 = new QLineEdit;
    Edit1->setObjectName("Edit1");
    ComboBox4 = makeCombo("ComboBox4");
    ComboBox5 = makeCombo("ComboBox5");
    ComboBox6 = makeCombo("ComboBox6");
    ComboBox7 = makeCombo("ComboBox7");
    ComboBox8 = makeCombo("ComboBox8");
    ComboBox9 = makeCombo("ComboBox9");
    ComboBox10 = makeCombo("ComboBox10");
    ComboBox11 = makeCombo("ComboBox11");
    ComboBox12 = makeCombo("ComboBox12");
    // Label N captions the N-th input: type, manufacturer, name, delay, class, ...
    QWidget* labelled[13] = {ComboBox1,  ComboBox2,  ComboBox3, Edit1,     ComboBox4,
                             ComboBox5,  ComboBox6,  ComboBox7, ComboBox8, ComboBox9,
                             ComboBox10, ComboBox11, ComboBox12};
    auto* config = new QGridLayout(GroupBox1);
    for (int i = 0; i < 13; ++i) {
        Label[i] = new QLabel(QString::fromUtf8(captions[i]));
        Label[i]->setObjectName(QString("Label%1").arg(i + 1));
        Label[i]->setBuddy(labelled[i]);
        config->addWidget(Label[i], i / 5, (i % 5) * 2);
        config->addWidget(labelled[i], i / 5, (i % 5) * 2 + 1);
    }
    for (int c = 1; c < 10; c += 2) config->setColumnStretch(c, 1);

    auto makeButton = [](const char* text, const char* name) {
        auto* button = new QPushButton(QString::fromUtf8(text));
        button->setObjectName(name);
        return button;
    };
    BtnDelete = makeButton("删除", "BtnDelete");
    BtnAdd = makeButton("添加", "BtnAdd");
    BtnEdit = makeButton("编辑", "BtnEdit");
    BtnSave = makeButton("保存", "BtnSave");
    BtnExit = makeButton("退出", "BtnExit");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (auto* b : {BtnDelete, BtnAdd, BtnEdit, BtnSave, BtnExit}) buttons->addWidget(b);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(StringGrid1, 1);
    layout->addWidget(GroupBox1);
    layout->addLayout(buttons);

    // A cell is selected by the keyboard (the current cell moves) or by a
    // click, also on the cell that is current already: the grid opens on its
    // first row without that row being selected.
    connect(StringGrid1, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int, int) { model_.selectCell(row + 1); });
    connect(StringGrid1, &QTableWidget::cellPressed, this,
            [this](int row, int) { model_.selectCell(row + 1); });
    connect(StringGrid1, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        model_.selectCell(row + 1);
        StringGrid1DblClick();
    });
    connect(ComboBox4, qOverload<int>(&QComboBox::activated), this, &TForm2::ComboBox4Change);
    connect(BtnDelete, &QPushButton::clicked, this, &TForm2::BtnDeleteClick);
    connect(BtnAdd, &QPushButton::clicked, this, &TForm2::BtnAddClick);
    connect(BtnEdit, &QPushButton::clicked, this, &TForm2::BtnEditClick);
    connect(BtnSave, &QPushButton::clicked, this, &TForm2::BtnSaveClick);
    connect(BtnExit, &QPushButton::clicked, this, &TForm2::BtnExitClick);
    showControls();
}

void TForm2::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TForm2::FormShow() {
    // A destroyed file is said in Simplified Chinese whatever the language;
    // the catalogue in memory is then edited as it is.
    if (loadCatalogueFile(paths_.catalogueFilePath(), catalogue_) == CatalogueLoad::Destroyed)
        ui_.messageBox(messageText(Msg::MsgConfigDestroyed, LangSimplified), "", BoxIcon::None);
    model_.open(catalogue_);
    showGrid();
    showControls();
}

void TForm2::showRow(int row) {
    const EditorRow& cells = model_.grid()[static_cast<std::size_t>(row)];
    for (int c = 0; c < kEditorColumns; ++c) {
        const std::string& text = cells[static_cast<std::size_t>(c)];
        auto* item = new QTableWidgetItem(qs(isNameColumn(c) ? gbkToUtf8(text) : text));
        // The first column is fixed, drawn like the header.
        if (c == 0) item->setBackground(palette().button());
        StringGrid1->setItem(row - 1, c, item);
    }
}

void TForm2::showGrid() {
    const QSignalBlocker block(StringGrid1);
    StringGrid1->clearContents();
    StringGrid1->setRowCount(model_.chipRows());
    for (int r = 1; r <= model_.chipRows(); ++r) showRow(r);
    if (model_.currentRow() > 0) StringGrid1->setCurrentCell(model_.currentRow() - 1, 0);
}

void TForm2::showCombo(QComboBox* box, const EditorCombo& combo, bool gbk) {
    const QSignalBlocker block(box);
    box->clear();
    for (const auto& entry : combo.entries) box->addItem(qs(gbk ? gbkToUtf8(entry) : entry));
    box->setCurrentIndex(combo.position);
    box->setEditText(qs(gbk ? gbkToUtf8(combo.text) : combo.text));
    // Show a text too long for the box from its start.
    if (box->lineEdit()) box->lineEdit()->setCursorPosition(0);
}

void TForm2::showControls() {
    const EditorControls& c = model_.controls();
    showCombo(ComboBox1, c.type, true);
    showCombo(ComboBox2, c.manufacturer, true);
    showCombo(ComboBox3, c.name, true);
    Edit1->setText(qs(c.delay));
    showCombo(ComboBox4, c.chipClass, false);
    showCombo(ComboBox5, c.flashSize, false);
    showCombo(ComboBox6, c.flashPage, false);
    showCombo(ComboBox7, c.voltage, false);
    showCombo(ComboBox8, c.algorithm, false);
    showCombo(ComboBox9, c.chipId, false);
    showCombo(ComboBox10, c.eepromSize, false);
    showCombo(ComboBox11, c.eepromPage, false);
    showCombo(ComboBox12, c.extend, false);
}

bool TForm2::readControls() {
    EditorControls& c = model_.controls();
    auto name = [&](QComboBox* box, EditorCombo& combo) {
        bool ok = true;
        const std::string text = box->currentText().toStdString();
        const std::string gbk = utf8ToGbk(text, &ok);
        if (!ok) {
            ui_.errorBox(fillIn(programText(Txt::EditorTextNotGbk, language_), {text}));
            return false;
        }
        combo.text = gbk;
        return true;
    };
    // A list box counts by the entry chosen in it, and only while its text is
    // that entry's: a list that shows a text but no chosen entry (the class
    // and algorithm lists as they open), or typed text, chooses nothing.
    auto position = [](QComboBox* box, EditorCombo& combo) {
        combo.text = box->currentText().toStdString();
        const int chosen = box->currentIndex();
        combo.position = chosen >= 0 && box->itemText(chosen) == box->currentText() ? chosen : -1;
    };
    if (!name(ComboBox1, c.type) || !name(ComboBox2, c.manufacturer) || !name(ComboBox3, c.name))
        return false;
    c.delay = Edit1->text().toStdString();
    for (auto [box, combo] : {std::pair{ComboBox4, &c.chipClass},
                              {ComboBox5, &c.flashSize},
                              {ComboBox6, &c.flashPage},
                              {ComboBox7, &c.voltage},
                              {ComboBox8, &c.algorithm},
                              {ComboBox9, &c.chipId},
                              {ComboBox10, &c.eepromSize},
                              {ComboBox11, &c.eepromPage},
                              {ComboBox12, &c.extend}})
        position(box, *combo);
    return true;
}

void TForm2::StringGrid1DblClick() {
    if (const auto error = model_.loadRow()) {
        ui_.errorBox(*error);
        return;
    }
    showControls();
}

void TForm2::ComboBox4Change(int index) {
    model_.classChanged(index);
    showCombo(ComboBox8, model_.controls().algorithm, false);
}

void TForm2::BtnDeleteClick() {
    if (model_.remove()) showGrid();
}

void TForm2::BtnAddClick() {
    if (!readControls()) return;
    model_.add();
    showGrid();
}

void TForm2::BtnEditClick() {
    if (!readControls()) return;
    if (model_.edit()) showRow(model_.rememberedRow());
}

void TForm2::BtnSaveClick() {
    if (locked && locked()) return;
    if (const auto failure = model_.save(paths_.catalogueSavePath(), catalogue_, language_)) {
        ui_.errorBox(*failure);
        return;
    }
    if (onSaved) onSaved();
}

void TForm2::BtnExitClick() {
    reject();
}

}  // namespace ostrel
