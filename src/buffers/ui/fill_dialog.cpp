#include "buffers/ui/fill_dialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include "base/messages.h"
#include "base/ui/apply_captions.h"
#include "base/ui_port.h"
#include "buffers/data_buffers.h"
#include "buffers/ui/hex_key_filter.h"

namespace ostrel {

TForm4::TForm4(DataBuffers& buffers, UiPort& ui, QWidget* parent)
    : QDialog(parent), buffers_(buffers), ui_(ui), keyFilter_(new HexKeyFilter(this)) {
    setObjectName(QStringLiteral("Form4"));
    setFixedSize(340, 286);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setGeometry(12, 8, 316, 126);
    RadioButton1 = new QRadioButton(GroupBox1);
    RadioButton1->setGeometry(20, 26, 150, 24);
    RadioButton1->setChecked(true);
    RadioButton2 = new QRadioButton(GroupBox1);
    RadioButton2->setGeometry(20, 58, 150, 24);
    RadioButton3 = new QRadioButton(GroupBox1);
    RadioButton3->setGeometry(20, 90, 150, 24);
    Edit1 = new QLineEdit(QStringLiteral("FF"), GroupBox1);
    Edit1->setGeometry(180, 26, 110, 24);
    Edit1->setMaxLength(2);
    Edit2 = new QLineEdit(QStringLiteral("FFFF"), GroupBox1);
    Edit2->setGeometry(180, 58, 110, 24);
    Edit2->setMaxLength(4);

    GroupBox2 = new QGroupBox(this);
    GroupBox2->setGeometry(12, 142, 316, 90);
    Label1 = new QLabel(GroupBox2);
    Label1->setGeometry(20, 26, 150, 24);
    Label2 = new QLabel(GroupBox2);
    Label2->setGeometry(20, 56, 150, 24);
    Edit3 = new QLineEdit(QStringLiteral("00000"), GroupBox2);
    Edit3->setGeometry(180, 26, 110, 24);
    Edit4 = new QLineEdit(QStringLiteral("FFFF"), GroupBox2);
    Edit4->setGeometry(180, 56, 110, 24);

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QString(), this);
    BitBtn1->setGeometry(62, 244, 100, 30);
    BitBtn1->setDefault(true);
    BitBtn2 =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QString(), this);
    BitBtn2->setGeometry(178, 244, 100, 30);

    const struct {
        QObject* object;
        const char* name;
    } names[] = {{GroupBox1, "GroupBox1"},
                 {RadioButton1, "RadioButton1"},
                 {RadioButton2, "RadioButton2"},
                 {RadioButton3, "RadioButton3"},
                 {Edit1, "Edit1"},
                 {Edit2, "Edit2"},
                 {GroupBox2, "GroupBox2"},
                 {Label1, "Label1"},
                 {Label2, "Label2"},
                 {Edit3, "Edit3"},
                 {Edit4, "Edit4"},
                 {BitBtn1, "BitBtn1"},
                 {BitBtn2, "BitBtn2"}};
    for (const auto& n : names) n.object->setObjectName(QString::fromLatin1(n.name));

    for (QLineEdit* edit : {Edit1, Edit2, Edit3, Edit4}) keyFilter_->attach(edit);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm4::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm4::BitBtn2Click);

    setCaptions(LangSimplified);
}

void TForm4::setCaptions(int language) {
    applyWindowCaptions("TForm4", this, language);
}

void TForm4::prepareForChip(uint32_t flashSize) {
    flashSize_ = flashSize;
    Edit4->setText(QString::fromStdString(fillEndText(flashSize)));
}

int TForm4::showForChip(uint32_t flashSize) {
    prepareForChip(flashSize);
    if (parentWidget()) {
        const QRect frame = parentWidget()->window()->frameGeometry();
        move(frame.center() - rect().center());
    }
    return exec();
}

FillInput TForm4::input() const {
    FillInput in;
    in.kind = RadioButton2->isChecked()   ? FillKind::Word
              : RadioButton3->isChecked() ? FillKind::Random
                                          : FillKind::Byte;
    in.byteText = Edit1->text().toStdString();
    in.wordText = Edit2->text().toStdString();
    in.startText = Edit3->text().toStdString();
    in.endText = Edit4->text().toStdString();
    return in;
}

void TForm4::BitBtn1Click() {
    if (locked && locked()) return;
    const FillResult result = runFill(buffers_, flashSize_, input(), ui_.epochSeconds());
    if (!result.filled()) {
        ui_.errorBox(fillRefusalText(result));
        return;
    }
    emit filled();
}

void TForm4::BitBtn2Click() {
    reject();
}

}  // namespace ostrel
