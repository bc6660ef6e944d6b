#include "cli/terminal_ui.h"

#include <time.h>

#include <cerrno>
#include <cinttypes>
#include <utility>
#include <vector>

#include "base/messages.h"
#include "base/platform.h"
#include "operations/window_presenter.h"

namespace ostrel::cli {

volatile std::sig_atomic_t interruptRequested = 0;

namespace {

std::string formatBytes(int64_t bytes) {
    char text[32];
    if (bytes >= 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024 * 1024));
    else if (bytes >= 1024)
        std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(bytes) / 1024);
    else
        std::snprintf(text, sizeof text, "%" PRId64 " B", bytes);
    return text;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// The captions the core gives its boxes are English in every language.
std::string captionText(const std::string& caption, int language) {
    if (caption == programText(Txt::CaptionInfo, LangEnglish))
        return programText(Txt::CliCaptionInfo, language);
    if (caption == programText(Txt::CaptionInformation, LangEnglish))
        return programText(Txt::CliCaptionInformation, language);
    return caption;
}

}  // namespace

// The window's message texts keep their mainland words in Traditional Chinese
// too; on the command line they read as its own texts do, 晶片 and 檔案. Only
// the messages' own text is changed, never a file name that follows it.
std::string terminalWords(std::string text, int language) {
    if (language != LangTraditional) return text;
    static const std::vector<std::pair<std::string, std::string>> kMessages = [] {
        std::vector<std::pair<std::string, std::string>> pairs;
        for (int k = 0; k < kMessageCount; ++k) {
            const std::string& window = messageText(static_cast<Msg>(k), LangTraditional);
            std::string own = window;
            replaceAll(own, "芯片", "晶片");
            replaceAll(own, "文件", "檔案");
            if (own != window) pairs.emplace_back(window, own);
        }
        return pairs;
    }();
    for (const auto& [window, own] : kMessages) replaceAll(text, window, own);
    return text;
}

void installInterruptHandler() {
    platform::installInterruptHandler(&interruptRequested);
}

TerminalUi::TerminalUi(TerminalOptions options) : options_(options) {}

void TerminalUi::clearProgressLine() {
    if (!lineShown_) return;
    std::fputs("\r\033[K", stderr);
    lineShown_ = false;
}

void TerminalUi::note(const std::string& text) {
    if (options_.quiet) return;
    clearProgressLine();
    std::fprintf(stderr, "%s\n", terminalWords(text, language).c_str());
}

void TerminalUi::error(const std::string& shown, const std::string& jsonFields) {
    const std::string text = terminalWords(shown, language);
    clearProgressLine();
    std::fprintf(stderr, "ostrel-cli: %s\n", text.c_str());
    if (options_.json) jsonLine("\"type\":\"error\",\"message\":" + jsonString(text) + jsonFields);
}

void TerminalUi::jsonLine(const std::string& object) {
    std::printf("{%s}\n", object.c_str());
    std::fflush(stdout);
}

void TerminalUi::messageBox(const std::string& text, const std::string& caption, BoxIcon icon) {
    if (icon == BoxIcon::Error || icon == BoxIcon::Warning) {
        error(text);
        return;
    }
    note(caption.empty() ? text : captionText(caption, language) + ": " + text);
}

bool TerminalUi::askYesNo(const std::string& text, const std::string& caption) {
    // The questions the core asks of its own (the firmware upgrade's); the
    // command line answers its own questions with answer().
    return answer(text, caption, options_.force, "--force");
}

bool TerminalUi::answer(const std::string& text, const std::string& caption, bool yes,
                        const char* option) {
    const std::string asked = captionText(caption, language) + ": " + text;
    if (!yes) {
        error(asked + fillIn(programText(Txt::CliAnsweredNo, language), {option}));
        return false;
    }
    note(asked + fillIn(programText(Txt::CliAnsweredYes, language), {option}));
    return true;
}

void TerminalUi::setStatusText(int panel, const std::string& text) {
    if (panel != PanelState) {
        statusElapsed_ = text;
        return;
    }
    statusState_ = text;
}

void TerminalUi::begin(Operation operation, ProgressUnit unit, int64_t total) {
    statusState_ = operationStatusText(operation, language);
    operation_ = operationName(operation);
    unit_ = unit;
    lastDrawMs_ = -1000;
    setProgressMax(total);
    // Nothing to count: no line.
    if (total <= 0) return;
    setProgressVisible(true);
    setProgressPosition(0);
}

void TerminalUi::position(int64_t done) {
    setProgressPosition(done);
}

void TerminalUi::end() {
    setProgressVisible(false);
}

std::string TerminalUi::statusText(int panel) const {
    return panel == PanelState ? statusState_ : statusElapsed_;
}

void TerminalUi::setProgressVisible(bool visible) {
    if (visible && !progressVisible_) {
        operationStartMs_ = monotonicMs();
        justShown_ = true;
    }
    progressVisible_ = visible;
    if (!visible) clearProgressLine();
}

void TerminalUi::setProgressMax(int64_t max) {
    max_ = max;
}

void TerminalUi::setProgressPosition(int64_t position) {
    // The window empties its bar before hiding it; that is no step back of the
    // operation, and the last object stays the one that reached the total.
    const bool reset = position == 0 && position_ > 0 && !justShown_;
    position_ = position;
    if (!progressVisible_ || reset) return;
    justShown_ = false;
    // The last step is always drawn, so that a finished operation is seen at its total.
    drawProgress(position >= max_);
}

void TerminalUi::drawProgress(bool force) {
    const int64_t now = monotonicMs();
    if (!force && now - lastDrawMs_ < 100) return;
    lastDrawMs_ = now;
    if (options_.json) {
        char numbers[96];
        std::snprintf(numbers, sizeof numbers, ",\"done\":%" PRId64 ",\"total\":%" PRId64,
                      position_, max_);
        const std::string unit = unit_ == ProgressUnit::Polls ? "polls" : "bytes";
        jsonLine("\"type\":\"progress\",\"operation\":" + jsonString(operation_) + numbers +
                 ",\"unit\":" + jsonString(unit));
    }
    if (!options_.progressLine || options_.quiet) return;
    const double elapsed = static_cast<double>(now - operationStartMs_) / 1000.0;
    const double fraction =
        max_ > 0 ? static_cast<double>(position_) / static_cast<double>(max_) : 0;
    std::string line = statusState_;
    char part[160];
    std::snprintf(part, sizeof part, " %3d%%", static_cast<int>(fraction * 100));
    line += part;
    // Polls are no bytes; only what counts bytes shows them and a rate.
    if (unit_ == ProgressUnit::Bytes) {
        line += "  " + formatBytes(position_) + " / " + formatBytes(max_);
        if (elapsed > 0.2 && position_ > 0) {
            const double rate = static_cast<double>(position_) / elapsed;
            const double left = static_cast<double>(max_ - position_) / rate;
            std::snprintf(part, sizeof part, "  %s/s  %d:%02d left",
                          formatBytes(static_cast<int64_t>(rate)).c_str(),
                          static_cast<int>(left) / 60, static_cast<int>(left) % 60);
            line += part;
        }
    }
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    lineShown_ = true;
}

void TerminalUi::insertLogLine(const std::string& line) {
    lastLog_ = line;
    heldLog_.push_back(line);
}

void TerminalUi::flushLog(bool show) {
    if (show)
        for (const std::string& line : heldLog_) note(line);
    heldLog_.clear();
}

void TerminalUi::processEvents() {
    if (interruptRequested && !interruptHandled_) {
        interruptHandled_ = true;
        if (onInterrupt) onInterrupt();
    }
}

void TerminalUi::pause(int milliseconds) {
    struct timespec wait {
        milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L
    };
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR && !interruptRequested) {
    }
}

}  // namespace ostrel::cli
