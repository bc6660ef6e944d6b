#pragma once
// A UiPort that tests script: it records every box, status text, progress
// change and log line, answers questions and file dialogs from queues, and
// never waits.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "base/ui_port.h"

namespace ostrel::testing {

struct ShownBox {
    std::string text;
    std::string caption;
    BoxIcon icon;
    bool question;  // a Yes/No box
};

class ScriptedUi : public UiPort {
  public:
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
    std::string timeOfDay() const override { return clockText; }
    int64_t monotonicMs() const override { return nowMs; }
    int64_t epochSeconds() const override { return nowSeconds; }

    // Answers for the next questions, in order; when empty, `defaultAnswer`.
    std::deque<bool> answers;
    bool defaultAnswer = true;
    // Paths the next file dialogs return, in order; when empty, "" (cancelled).
    std::deque<std::string> openPaths;
    std::deque<std::string> savePaths;
    // What the last dialogs were given.
    std::string lastFilter;
    int lastFilterIndex = -1;
    std::string lastDefaultExtension;

    std::vector<ShownBox> boxes;
    std::string statusPanels[4];
    std::vector<std::string> statusHistory;  // every text set on panel 1, in order
    std::vector<std::string> log;            // newest first
    bool progressVisible = false;
    int64_t progressMax = 0;
    int64_t progressPosition = 0;
    std::vector<int64_t> progressPositions;
    int processEventsCalls = 0;
    int64_t pausedMs = 0;
    std::vector<int> pauses;
    int beeps = 0;
    std::size_t logLinesAtBeep = 0;  // lines in the log when the last beep sounded
    std::string clockText = "10:21:07";
    int64_t nowMs = 0;
    int64_t nowSeconds = 1700000000;
    // Run at every processEvents(), e.g. to unplug the programmer mid-operation.
    std::function<void()> onProcessEvents;

    // The texts of the boxes shown so far.
    std::vector<std::string> boxTexts() const;
};

}  // namespace ostrel::testing
