#include "firmware/ui/hardware_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "base/ui/qt_text.h"

namespace ostrel {

TForm6::TForm6(UiPort& ui, QWidget* parent) : QDialog(parent), ui_(ui) {
    setObjectName("Form6");
    setWindowTitle(QString::fromUtf8("硬件信息"));
    setFixedSize(281, 201);
    move(570, 260);

    auto label = [this](const char* name, const char* caption, int top) {
        auto* l = new QLabel(QString::fromUtf8(caption), this);
        l->setObjectName(name);
        l->setGeometry(24, top, 85, 21);
        return l;
    };
    auto edit = [this](const char* name, const char* text, int top) {
        auto* e = new QLineEdit(QString::fromUtf8(text), this);
        e->setObjectName(name);
        e->setReadOnly(true);
        e->setGeometry(112, top, 121, 21);
        return e;
    };
    Label1 = label("Label1", "硬件版本：", 24);
    Edit1 = edit("Edit1", "V1.0", 24);
    Label3 = label("Label3", "固件版本：", 56);
    Edit2 = edit("Edit2", "V1.00", 56);
    Label5 = label("Label5", "系列号：  ", 96);
    Edit3 = edit("Edit3", "A0123456789", 88);

    BitBtn1 = new QPushButton(QString::fromUtf8("升级固件"), this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(24, 144, 97, 25);
    BitBtn2 = new QPushButton(QString::fromUtf8("关闭"), this);
    BitBtn2->setObjectName("BitBtn2");
    BitBtn2->setGeometry(144, 144, 89, 25);
    BitBtn1->setAutoDefault(false);
    BitBtn2->setAutoDefault(false);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm6::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm6::BitBtn2Click);
}

void TForm6::showTexts(const HardwareTexts& texts) {
    Edit1->setText(qs(texts.hardwareVersion));
    Edit2->setText(qs(texts.firmwareVersion));
    Edit3->setText(qs(texts.serialNumber));
}

std::string TForm6::runModal() {
    // Only a choice made during this opening counts: closing the window by its
    // title bar, Escape or "Close" leaves the path empty.
    chosenPath_.clear();
    exec();
    return chosenPath_;
}

void TForm6::BitBtn1Click() {
    const std::string path = ui_.openFileName(kFirmwareFilter, 0);
    if (path.empty()) return;
    // A file refused, or one the user would not send, leaves the window open.
    if (checkFile && !checkFile(path)) return;
    chosenPath_ = path;
    accept();
}

void TForm6::BitBtn2Click() {
    chosenPath_.clear();
    reject();
}

}  // namespace ostrel
