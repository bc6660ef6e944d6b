#pragma once
// The command line's face: the UiPort of ostrel-cli and the progress of its
// operations. Messages go to standard error (or, with --json, also as objects
// to standard output); questions are answered by the options, never by
// reading standard input; progress becomes one line that is redrawn in place
// on a terminal, at most ten times a second; processEvents is where a Ctrl+C
// turns into a stop request.

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "base/quiet_ui.h"
#include "base/text_format.h"
#include "operations/progress.h"

namespace ostrel::cli {

// The window's message texts in the command line's own words: Traditional
// Chinese says 晶片 and 檔案 where the window's messages keep the mainland words.
std::string terminalWords(std::string text, int language);

// Set by the SIGINT handler; looked at between blocks.
extern volatile std::sig_atomic_t interruptRequested;
// Installs the SIGINT (and SIGTERM) handler: the first signal asks for a stop,
// a second one ends the program at once.
void installInterruptHandler();

struct TerminalOptions {
    bool quiet = false;
    bool json = false;
    bool force = false;         // answers the core's questions (the firmware upgrade's) with Yes
    bool progressLine = false;  // standard error is a terminal
};

class TerminalUi : public QuietUi, public Progress {
  public:
    explicit TerminalUi(TerminalOptions options);

    // Called from processEvents once a Ctrl+C came (the runner's requestStop).
    std::function<void()> onInterrupt;

    // Log lines are held until the command knows its outcome: a "Complete!"
    // line of a command that then failed (its file could not be saved) is
    // never shown.
    void flushLog(bool show);

    // A text as the command line shows it, in its own words for the language.
    std::string shown(const std::string& text) const { return terminalWords(text, language); }
    // A line of the program's own (not a box), to standard error unless quiet.
    void note(const std::string& text);
    // An error of the program's own, always shown. `jsonFields` (",\"name\":value"
    // pairs) go into its JSON object.
    void error(const std::string& shown, const std::string& jsonFields = "");
    // One JSON object (without the braces' contents checked) to standard output.
    void jsonLine(const std::string& object);
    // The running operation, as the core tells it.
    void begin(Operation operation, ProgressUnit unit, int64_t total) override;
    void position(int64_t done) override;
    void end() override;

    void messageBox(const std::string& text, const std::string& caption, BoxIcon icon) override;
    bool askYesNo(const std::string& text, const std::string& caption) override;
    // A question the command line answers with the option that answers it:
    // `yes` when the option was given. The line names the option either way.
    bool answer(const std::string& text, const std::string& caption, bool yes, const char* option);
    void setStatusText(int panel, const std::string& text) override;
    std::string statusText(int panel) const override;
    void setProgressVisible(bool visible) override;
    void setProgressMax(int64_t max) override;
    void setProgressPosition(int64_t position) override;
    void insertLogLine(const std::string& line) override;
    std::string firstLogLine() const override { return lastLog_; }
    void processEvents() override;
    void pause(int milliseconds) override;

    int language = 2;

  private:
    void drawProgress(bool force);
    void clearProgressLine();

    TerminalOptions options_;
    std::string lastLog_;
    std::vector<std::string> heldLog_;
    std::string statusState_;
    std::string statusElapsed_;
    std::string operation_;
    ProgressUnit unit_ = ProgressUnit::Bytes;
    bool progressVisible_ = false;
    bool justShown_ = false;  // no position drawn since the progress became visible
    bool lineShown_ = false;
    int64_t max_ = 0;
    int64_t position_ = 0;
    int64_t operationStartMs_ = 0;
    int64_t lastDrawMs_ = -1000;
    bool interruptHandled_ = false;
};

}  // namespace ostrel::cli
