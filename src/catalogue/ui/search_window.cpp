#include "catalogue/ui/search_window.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "base/messages.h"
#include "catalogue/gbk_text.h"

namespace ostrel {

namespace {

QString fromGbk(const std::string& gbk) {
    return QString::fromStdString(gbkToUtf8(gbk));
}

}  // namespace

TForm3::TForm3(const Catalogue& catalogue, const int32_t& language, ChipSelector& selector,
               QWidget* parent)
    : QDialog(parent), catalogue_(catalogue), language_(language), selector_(selector) {
    setObjectName("TForm3");
    setWindowTitle(QString::fromUtf8("芯片选择"));
    setFixedSize(404, 320);

    Label1 = new QLabel(QString::fromUtf8("查找"));
    Label1->setObjectName("Label1");
    ComboBox1 = new QComboBox;
    ComboBox1->setObjectName("ComboBox1");
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ListView1 = new QTreeWidget;
    ListView1->setObjectName("ListView1");
    ListView1->setRootIsDecorated(false);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The columns keep their widths; the position column stays a sliver.
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setMinimumSectionSize(1);
    BitBtn1 = new QPushButton(QString::fromUtf8("选择"));
    BitBtn1->setObjectName("BitBtn1");
    BitBtn2 = new QPushButton(QString::fromUtf8("退出"));
    BitBtn2->setObjectName("BitBtn2");

    auto* find = new QHBoxLayout;
    find->addWidget(Label1);
    find->addWidget(ComboBox1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(find);
    layout->addWidget(ListView1, 1);
    layout->addLayout(buttons);

    connect(ComboBox1, &QComboBox::editTextChanged, this, &TForm3::ComboBox1Change);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm3::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm3::BitBtn2Click);
    connect(ListView1, &QTreeWidget::itemDoubleClicked, this, &TForm3::BitBtn1Click);
    setColumns(false);
}

void TForm3::setColumns(bool withPosition) {
    ListView1->clear();
    rows_.clear();
    QStringList titles;
    for (int c = 0; c < 3; ++c) titles << QString::fromStdString(searchColumnTitle(c, language_));
    if (withPosition) titles << "pos";
    ListView1->setColumnCount(titles.size());
    ListView1->setHeaderLabels(titles);
    const int widths[] = {80, 80, 100, 1};
    for (int c = 0; c < titles.size(); ++c) ListView1->setColumnWidth(c, widths[c]);
}

void TForm3::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TForm3::FormShow() {
    setColumns(false);
}

void TForm3::ComboBox1Change() {
    setColumns(true);
    bool ok = true;
    const std::string key = utf8ToGbk(ComboBox1->currentText().toStdString(), &ok);
    // A key with a character the catalogue's code page lacks is in no record;
    // its '?' stand-ins must not find the chips that hold a real '?'.
    if (!ok) return;
    rows_ = searchCatalogue(catalogue_, key);
    for (const SearchRow& row : rows_) {
        auto* item =
            new QTreeWidgetItem(QStringList{fromGbk(row.type), fromGbk(row.manufacturer),
                                            fromGbk(row.name), QString::number(row.position)});
        ListView1->addTopLevelItem(item);
    }
}

void TForm3::BitBtn1Click() {
    if (locked && locked()) return;
    const QTreeWidgetItem* item = ListView1->currentItem();
    if (item == nullptr || !item->isSelected()) return;
    const int index = ListView1->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item));
    if (index < 0 || index >= static_cast<int>(rows_.size())) return;
    chooseSearchRow(selector_, catalogue_, rows_[static_cast<std::size_t>(index)]);
    accept();
}

void TForm3::BitBtn2Click() {
    reject();
}

}  // namespace ostrel
