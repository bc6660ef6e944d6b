#include "shell/ui/application.h"

#include <QMessageBox>
#include <exception>

#include "base/texts.h"

namespace ostrel {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    showError = [](const std::string& text) {
        QMessageBox box(
            QMessageBox::Critical, QString::fromStdString(programText(Txt::CaptionError, 0)),
            QString::fromStdString(text), QMessageBox::Ok, QApplication::activeWindow());
        box.exec();
    };
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        showError(error.what());
    } catch (...) {
        showError("Unknown error");
    }
    return false;
}

}  // namespace ostrel
