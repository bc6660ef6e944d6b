#pragma once
// The UiPort of every window: the main window's status bar panels, progress
// bars and log pane, and modal boxes and file dialogs over the main window.
// The other windows show their messages and choose their files through the
// same object, so a dialog opens where the last one closed whichever window
// asked for it.

#include <QPointer>
#include <QString>
#include <functional>

#include "base/ui_port.h"

class QLabel;
class QProgressBar;
class QTextEdit;
class QWidget;

namespace ostrel {

class QtUiPort : public UiPort {
  public:
    // The controls it writes to; nothing is shown before they are attached.
    // `panels` are the five status bar panels, left to right.
    void attach(QWidget* window, QLabel* const (&panels)[5], QProgressBar* progress,
                QProgressBar* progress2, QTextEdit* log);

    // Runs after every new text in the state panel (1), which the window draws
    // in a colour that depends on the text.
    std::function<void()> stateTextChanged;

    void messageBox(const std::string& text, const std::string& caption, BoxIcon icon) override;
    bool askYesNo(const std::string& text, const std::string& caption) override;
    std::string openFileName(const std::string& filter, int filterIndex) override;
    std::string saveFileName(const std::string& filter,
                             const std::string& defaultExtension) override;
    void setStatusText(int panel, const std::string& text) override;
    std::string statusText(int panel) const override;
    void setProgressVisible(bool visible) override;
    void setProgressMax(int64_t max) override;
    void setProgressPosition(int64_t position) override;
    void insertLogLine(const std::string& line) override;
    std::string firstLogLine() const override;
    void clearLog() override;
    void processEvents() override;
    void pause(int milliseconds) override;
    void beep() override;
    std::string timeOfDay() const override;
    int64_t monotonicMs() const override;
    int64_t epochSeconds() const override;

  private:
    QPointer<QWidget> window_;
    QLabel* panels_[5] = {};
    QProgressBar* progress_[2] = {};
    QTextEdit* log_ = nullptr;
    QString lastFolder_;      // where the file dialogs open next
    QString lastSaveFilter_;  // the save dialog's filter chosen last
};

// Gives a status bar panel the status bar's font, or a smaller one where its
// text would not fit the panel's width.
void fitPanelText(QLabel* panel);

}  // namespace ostrel
