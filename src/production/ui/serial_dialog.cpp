#include "production/ui/serial_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cstdio>

#include "base/texts.h"
#include "base/ui_port.h"

namespace ostrel {
namespace {

QString text(Txt key, int language) {
    return QString::fromStdString(programText(key, language));
}

}  // namespace

SerialDialog::SerialDialog(int language, UiPort& ui, QWidget* parent)
    : QDialog(parent), language_(language), ui_(ui) {
    setObjectName(QStringLiteral("SerialDialog"));
    setWindowTitle(text(Txt::SerialDialogTitle, language));
    auto* column = new QVBoxLayout(this);
    // The line's products, shown only when the settings name a database.
    auto* productRow = new QFormLayout;
    product = new QComboBox;
    productLabel_ = new QLabel(text(Txt::SerialDialogProduct, language));
    productRow->addRow(productLabel_, product);
    column->addLayout(productRow);
    product->setVisible(false);
    productLabel_->setVisible(false);
    enabled = new QCheckBox(text(Txt::SerialDialogEnable, language));
    column->addWidget(enabled);
    auto* form = new QFormLayout;
    address = new QLineEdit(QStringLiteral("0x0"));
    bytes = new QSpinBox;
    bytes->setRange(1, 8);
    bytes->setValue(4);
    start = new QLineEdit(QStringLiteral("1"));
    step = new QLineEdit(QStringLiteral("1"));
    bigEndian = new QCheckBox(text(Txt::SerialDialogBigEndian, language));
    form->addRow(text(Txt::SerialDialogAddress, language), address);
    form->addRow(text(Txt::SerialDialogBytes, language), bytes);
    form->addRow(text(Txt::SerialDialogStart, language), start);
    form->addRow(text(Txt::SerialDialogStep, language), step);
    form->addRow(QString(), bigEndian);
    column->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(text(Txt::ButtonOk, language));
    buttons->button(QDialogButtonBox::Cancel)->setText(text(Txt::ButtonCancel, language));
    connect(buttons, &QDialogButtonBox::accepted, this, &SerialDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(buttons);
    for (QWidget* field : std::initializer_list<QWidget*>{address, bytes, start, step, bigEndian}) {
        field->setEnabled(false);
        connect(enabled, &QCheckBox::toggled, field, &QWidget::setEnabled);
    }
}

void SerialDialog::setProducts(const std::vector<Product>& products, const std::string& chosen) {
    productsShown_ = true;
    products_ = products;
    product->disconnect(this);
    product->clear();
    product->addItem(text(Txt::SerialDialogNoProduct, language_));
    for (const Product& each : products) product->addItem(QString::fromStdString(each.name));
    const int at = chosen.empty() ? 0 : product->findText(QString::fromStdString(chosen));
    product->setCurrentIndex(at < 0 ? 0 : at);
    productLabel_->setVisible(true);
    product->setVisible(true);
    // The line's serial numbers come from its products' pools, never from a
    // station's own counter: the fields show the product's and are closed.
    enabled->setEnabled(false);
    for (QWidget* field : std::initializer_list<QWidget*>{address, bytes, start, step, bigEndian})
        field->setEnabled(false);
    showProduct(product->currentIndex());
    connect(product, &QComboBox::currentIndexChanged, this, &SerialDialog::showProduct);
}

void SerialDialog::showProduct(int index) {
    const bool known = index > 0 && static_cast<std::size_t>(index) <= products_.size();
    showFormat(known ? products_[static_cast<std::size_t>(index) - 1].serial : std::nullopt);
}

std::string SerialDialog::chosenProduct() const {
    return product->currentIndex() > 0 ? product->currentText().toStdString() : std::string();
}

void SerialDialog::setFormat(const std::optional<SerialFormat>& format) {
    showFormat(format);
}

void SerialDialog::showFormat(const std::optional<SerialFormat>& format) {
    enabled->setChecked(format.has_value());
    // Closed fields follow the box no more: they stay closed.
    if (productsShown_)
        for (QWidget* field :
             std::initializer_list<QWidget*>{address, bytes, start, step, bigEndian})
            field->setEnabled(false);
    if (!format) return;
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(format->address));
    address->setText(QString::fromLatin1(hex));
    bytes->setValue(static_cast<int>(format->bytes));
    start->setText(QString::number(static_cast<qulonglong>(format->start)));
    step->setText(QString::number(static_cast<qulonglong>(format->step)));
    bigEndian->setChecked(format->bigEndian);
}

bool SerialDialog::takeFormat(std::optional<SerialFormat>& format) {
    if (productsShown_) return true;
    if (!enabled->isChecked()) {
        format.reset();
        return true;
    }
    // The same fields as the command line's --serial, checked the same way.
    const QString fields = address->text().trimmed() + ':' + QString::number(bytes->value()) + ':' +
                           start->text().trimmed() + ':' + step->text().trimmed() + ':' +
                           (bigEndian->isChecked() ? QStringLiteral("be") : QStringLiteral("le"));
    SerialFormat parsed;
    std::string error;
    if (!parseSerialFormat(fields.toStdString(), parsed, error)) {
        ui_.errorBox(fillIn(programText(Txt::SerialDialogInvalid, language_), {error}));
        return false;
    }
    format = parsed;
    return true;
}

void SerialDialog::accept() {
    std::optional<SerialFormat> format;
    if (takeFormat(format)) QDialog::accept();
}

}  // namespace ostrel
