#pragma once
// A UiPort with no screen behind it, for the command-line tools and the
// benchmarks: it shows nothing, never waits, answers every question with Yes
// and reads the real clocks. Users override what they want to see.

#include <chrono>
#include <ctime>

#include "base/platform.h"
#include "base/ui_port.h"

namespace ostrel {

class QuietUi : public UiPort {
  public:
    void messageBox(const std::string&, const std::string&, BoxIcon) override {}
    bool askYesNo(const std::string&, const std::string&) override { return true; }
    std::string openFileName(const std::string&, int) override { return {}; }
    std::string saveFileName(const std::string&, const std::string&) override { return {}; }
    void setStatusText(int, const std::string&) override {}
    std::string statusText(int) const override { return {}; }
    void setProgressVisible(bool) override {}
    void setProgressMax(int64_t) override {}
    void setProgressPosition(int64_t) override {}
    void insertLogLine(const std::string&) override {}
    std::string firstLogLine() const override { return {}; }
    void clearLog() override {}
    void processEvents() override {}
    void pause(int) override {}
    void beep() override {}
    std::string timeOfDay() const override {
        const std::time_t now = std::time(nullptr);
        const std::tm local = platform::localTime(now);
        char text[16];
        std::strftime(text, sizeof text, "%H:%M:%S", &local);
        return text;
    }
    int64_t monotonicMs() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    int64_t epochSeconds() const override {
        return std::chrono::duration_cast<std::chrono::seconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
};

}  // namespace ostrel
