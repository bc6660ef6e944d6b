#include "shell/ui/about_box.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "base/ui/apply_captions.h"
#include "shell/ui/artwork.h"

namespace ostrel {

const char* TAboutBox::webAddress() {
    return "http://www.ostrel.example";
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    // The title, the version and the button are the same in every language.
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(314, 253);
    setModal(true);

    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setGeometry(8, 8, 298, 195);
    auto* layout = new QVBoxLayout(Panel1);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(4);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setFixedHeight(87);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setPixmap(programPicture(2 * 280, 2 * 87));
    ProgramIcon->setCursor(Qt::PointingHandCursor);
    layout->addWidget(ProgramIcon);

    ProductName = new QLabel(Panel1);
    Version = new QLabel(QStringLiteral("Version:1.1.3"), Panel1);
    Copyright = new QLabel(Panel1);
    Comments = new QLabel(QString::fromLatin1(webAddress()), Panel1);
    QFont link = Comments->font();
    link.setPixelSize(16);
    Comments->setFont(link);
    Comments->setStyleSheet(QStringLiteral("color: rgb(0,0,255);"));
    Comments->setCursor(Qt::PointingHandCursor);
    Comments->installEventFilter(this);
    for (QLabel* label : {ProductName, Version, Copyright, Comments}) {
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
    }

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setGeometry(119, 214, 75, 28);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    const struct {
        QObject* object;
        const char* name;
    } names[] = {{Panel1, "Panel1"},    {ProgramIcon, "ProgramIcon"}, {ProductName, "ProductName"},
                 {Version, "Version"},  {Copyright, "Copyright"},     {Comments, "Comments"},
                 {OKButton, "OKButton"}};
    for (const auto& n : names) n.object->setObjectName(QString::fromLatin1(n.name));
    applyWindowCaptions("TAboutBox", this, 0);
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Comments && event->type() == QEvent::MouseButtonRelease) {
        CommentsClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutBox::CommentsClick() {
    QDesktopServices::openUrl(QUrl(Comments->text()));
}

}  // namespace ostrel
