#pragma once
// The one door between the core and the screen. Everything the core shows or
// asks goes through it: message boxes, questions, file dialogs, the status bar,
// the progress bars, the log pane, pauses and "process pending events". The
// windows implement it; tests script it (tests/support/scripted_ui.h).
//
// All texts are UTF-8. Chip names, which the catalogue keeps in GBK, are
// converted before they get here.

#include <cstdint>
#include <string>
#include <vector>

#include "base/texts.h"

namespace ostrel {

enum class BoxIcon { None, Error, Question, Information, Warning };

// Status bar panels the core writes: 1 holds the connection state or the
// running operation's text, 2 the chips passed and failed in a production
// run, 3 the elapsed time of the last command.
enum StatusPanel { PanelState = 1, PanelBatchCounts = 2, PanelElapsed = 3 };

class UiPort {
  public:
    virtual ~UiPort() = default;

    // A modal box with an OK button.
    virtual void messageBox(const std::string& text, const std::string& caption, BoxIcon icon) = 0;
    // A modal Yes/No box with the question icon; true when the user answers Yes.
    virtual bool askYesNo(const std::string& text, const std::string& caption) = 0;

    // The two boxes the program uses most: an error box titled "Error", and a
    // question titled "Info".
    void errorBox(const std::string& text) {
        if (holdingErrorBoxes_)
            heldErrorBoxes_.push_back(text);
        else
            messageBox(text, programText(Txt::CaptionError, 0), BoxIcon::Error);
    }
    // A production run writes a failed chip's record before anyone clicks:
    // error boxes wait from holdErrorBoxes() until releaseErrorBoxes() shows
    // them in their order.
    void holdErrorBoxes() { holdingErrorBoxes_ = true; }
    void releaseErrorBoxes() {
        holdingErrorBoxes_ = false;
        std::vector<std::string> held;
        held.swap(heldErrorBoxes_);
        for (const std::string& text : held) errorBox(text);
    }
    bool askInfo(const std::string& text) {
        return askYesNo(text, programText(Txt::CaptionInfo, 0));
    }

    // The standard file dialogs. `filter` is a list "Shown text|pattern|Shown text|pattern".
    // The open dialog preselects filter `filterIndex` (0-based); the save dialog adds
    // `defaultExtension` (without the dot) to a name typed without one.
    // Both return an empty path when the user cancels.
    virtual std::string openFileName(const std::string& filter, int filterIndex) = 0;
    virtual std::string saveFileName(const std::string& filter,
                                     const std::string& defaultExtension) = 0;

    virtual void setStatusText(int panel, const std::string& text) = 0;
    virtual std::string statusText(int panel) const = 0;

    // The two progress bars are always set together: same visibility, maximum, position.
    virtual void setProgressVisible(bool visible) = 0;
    virtual void setProgressMax(int64_t max) = 0;
    virtual void setProgressPosition(int64_t position) = 0;

    // The log pane, newest line first.
    virtual void insertLogLine(const std::string& line) = 0;
    virtual std::string firstLogLine() const = 0;
    virtual void clearLog() = 0;

    // Lets the window repaint and take input in the middle of a long operation.
    virtual void processEvents() = 0;
    // Waits the given number of milliseconds (tests return at once).
    virtual void pause(int milliseconds) = 0;
    virtual void beep() = 0;

    // The current time of day in the long time format ("10:21:07").
    virtual std::string timeOfDay() const = 0;
    // A monotonic clock in milliseconds, for elapsed times.
    virtual int64_t monotonicMs() const = 0;
    // Whole seconds of the wall clock, for seeding the random fill.
    virtual int64_t epochSeconds() const = 0;

  private:
    bool holdingErrorBoxes_ = false;
    std::vector<std::string> heldErrorBoxes_;
};

}  // namespace ostrel
