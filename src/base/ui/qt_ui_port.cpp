#include "base/ui/qt_ui_port.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QTime>
#include <algorithm>

#include "base/ui/file_filters.h"
#include "base/ui/qt_text.h"

namespace ostrel {

namespace {

const QElapsedTimer& clock() {
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer;
}

}  // namespace

void QtUiPort::attach(QWidget* window, QLabel* const (&panels)[5], QProgressBar* progress,
                      QProgressBar* progress2, QTextEdit* log) {
    window_ = window;
    std::copy(std::begin(panels), std::end(panels), panels_);
    progress_[0] = progress;
    progress_[1] = progress2;
    log_ = log;
}

void QtUiPort::messageBox(const std::string& text, const std::string& caption, BoxIcon icon) {
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
    QMessageBox box(qicon, qs(caption), qs(text), QMessageBox::Ok, window_);
    box.exec();
}

bool QtUiPort::askYesNo(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::Question, qs(caption), qs(text),
                    QMessageBox::Yes | QMessageBox::No, window_);
    return box.exec() == QMessageBox::Yes;
}

std::string QtUiPort::openFileName(const std::string& filter, int filterIndex) {
    const QStringList filters = qtNameFilters(filter);
    QFileDialog dialog(window_, QString(), lastFolder_);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(filters);
    if (filterIndex >= 0 && filterIndex < filters.size())
        dialog.selectNameFilter(filters[filterIndex]);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    lastFolder_ = dialog.directory().absolutePath();
    return dialog.selectedFiles().first().toStdString();
}

std::string QtUiPort::saveFileName(const std::string& filter, const std::string& defaultExtension) {
    QFileDialog dialog(window_, QString(), lastFolder_);
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

void QtUiPort::setStatusText(int panel, const std::string& text) {
    if (panel < 0 || panel > 4 || !panels_[panel]) return;
    panels_[panel]->setText(qs(text));
    fitPanelText(panels_[panel]);
    if (panel == PanelState) {
        // A tip explains one text only; whoever sets the text sets its tip after.
        panels_[panel]->setToolTip(QString());
        if (stateTextChanged) stateTextChanged();
    }
}

void fitPanelText(QLabel* panel) {
    // The panels keep their widths; a text wider than its panel (batch mode's
    // counts in Chinese) is set smaller rather than cut off.
    QFont font = panel->parentWidget() ? panel->parentWidget()->font() : QApplication::font();
    const int room = panel->contentsRect().width() - 2 * std::max(panel->indent(), 0);
    const qreal smallest = 6.0;
    while (font.pointSizeF() > smallest &&
           QFontMetrics(font).horizontalAdvance(panel->text()) > room)
        font.setPointSizeF(std::max(smallest, font.pointSizeF() - 0.5));
    panel->setFont(font);
}

std::string QtUiPort::statusText(int panel) const {
    if (panel < 0 || panel > 4 || !panels_[panel]) return {};
    return panels_[panel]->text().toStdString();
}

void QtUiPort::setProgressVisible(bool visible) {
    for (QProgressBar* bar : progress_)
        if (bar) bar->setVisible(visible);
}

void QtUiPort::setProgressMax(int64_t max) {
    for (QProgressBar* bar : progress_)
        if (bar) bar->setMaximum(int(std::clamp<int64_t>(max, 0, INT32_MAX)));
}

void QtUiPort::setProgressPosition(int64_t position) {
    for (QProgressBar* bar : progress_)
        if (bar) bar->setValue(int(std::clamp<int64_t>(position, 0, bar->maximum())));
}

void QtUiPort::insertLogLine(const std::string& line) {
    if (!log_) return;
    QTextCursor cursor(log_->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(qs(line) + (log_->document()->isEmpty() ? "" : "\n"));
}

std::string QtUiPort::firstLogLine() const {
    return log_ ? log_->document()->firstBlock().text().toStdString() : std::string();
}

void QtUiPort::clearLog() {
    if (log_) log_->clear();
}

void QtUiPort::processEvents() {
    QApplication::processEvents();
}

void QtUiPort::pause(int milliseconds) {
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}

void QtUiPort::beep() {
    QApplication::beep();
}

std::string QtUiPort::timeOfDay() const {
    return QTime::currentTime().toString("HH:mm:ss").toStdString();
}

int64_t QtUiPort::monotonicMs() const {
    return clock().elapsed();
}

int64_t QtUiPort::epochSeconds() const {
    return QDateTime::currentSecsSinceEpoch();
}

}  // namespace ostrel
