#include "support/scripted_ui.h"

namespace ostrel::testing {

void ScriptedUi::messageBox(const std::string& text, const std::string& caption, BoxIcon icon) {
    boxes.push_back({text, caption, icon, false});
}

bool ScriptedUi::askYesNo(const std::string& text, const std::string& caption) {
    boxes.push_back({text, caption, BoxIcon::Question, true});
    if (answers.empty()) return defaultAnswer;
    bool answer = answers.front();
    answers.pop_front();
    return answer;
}

std::string ScriptedUi::openFileName(const std::string& filter, int filterIndex) {
    lastFilter = filter;
    lastFilterIndex = filterIndex;
    if (openPaths.empty()) return {};
    std::string path = openPaths.front();
    openPaths.pop_front();
    return path;
}

std::string ScriptedUi::saveFileName(const std::string& filter,
                                     const std::string& defaultExtension) {
    lastFilter = filter;
    lastDefaultExtension = defaultExtension;
    if (savePaths.empty()) return {};
    std::string path = savePaths.front();
    savePaths.pop_front();
    return path;
}

void ScriptedUi::setStatusText(int panel, const std::string& text) {
    if (panel >= 0 && panel < 4) statusPanels[panel] = text;
    if (panel == PanelState) statusHistory.push_back(text);
}

std::string ScriptedUi::statusText(int panel) const {
    return panel >= 0 && panel < 4 ? statusPanels[panel] : std::string();
}

void ScriptedUi::setProgressVisible(bool visible) {
    progressVisible = visible;
}
void ScriptedUi::setProgressMax(int64_t max) {
    progressMax = max;
}
void ScriptedUi::setProgressPosition(int64_t position) {
    progressPosition = position;
    progressPositions.push_back(position);
}

void ScriptedUi::insertLogLine(const std::string& line) {
    log.insert(log.begin(), line);
}
std::string ScriptedUi::firstLogLine() const {
    return log.empty() ? std::string() : log.front();
}
void ScriptedUi::clearLog() {
    log.clear();
}

void ScriptedUi::processEvents() {
    ++processEventsCalls;
    if (onProcessEvents) onProcessEvents();
}

void ScriptedUi::pause(int milliseconds) {
    pauses.push_back(milliseconds);
    pausedMs += milliseconds;
    nowMs += milliseconds;
}

void ScriptedUi::beep() {
    ++beeps;
    logLinesAtBeep = log.size();
}

std::vector<std::string> ScriptedUi::boxTexts() const {
    std::vector<std::string> texts;
    for (const auto& b : boxes) texts.push_back(b.text);
    return texts;
}

}  // namespace ostrel::testing
