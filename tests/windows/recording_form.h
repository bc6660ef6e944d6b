#pragma once
// The main window with its modal boxes recorded instead of shown, the file
// dialogs answered by the test, a fixed clock and no real pauses.

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/ui/qt_ui_port.h"
#include "shell/ui/main_window.h"

namespace ostrel::testing {

class RecordingUi : public QtUiPort {
  public:
    void messageBox(const std::string& text, const std::string& caption, BoxIcon icon) override {
        boxes.push_back(text);
        if (onBox) onBox(text);
        if (realBoxes) QtUiPort::messageBox(text, caption, icon);
    }
    bool askYesNo(const std::string& text, const std::string&) override {
        boxes.push_back(text);
        if (answers.empty()) return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::string openFileName(const std::string&, int) override { return openPath; }
    std::string saveFileName(const std::string&, const std::string&) override { return savePath; }
    void pause(int) override {}
    void beep() override { ++beeps; }
    std::string timeOfDay() const override { return clockText; }

    std::vector<std::string> boxes;
    std::deque<bool> answers;                       // the next questions' answers; when none, Yes
    std::function<void(const std::string&)> onBox;  // while a box would be open
    bool realBoxes = false;  // after onBox, the message box is shown and waits
    int beeps = 0;
    std::string clockText = "10:00:00";
    std::string openPath;  // what the open dialog returns; empty: cancelled
    std::string savePath;
};

class RecordingForm : public TForm1 {
  public:
    RecordingForm(const ProgramPaths& paths, std::string usbLibrary,
                  std::string hidLibrary = "libhidapi-hidraw.so.0")
        : TForm1(paths, std::move(usbLibrary), std::move(hidLibrary),
                 std::make_unique<RecordingUi>()) {}
    RecordingUi& ui() { return static_cast<RecordingUi&>(TForm1::ui()); }
    bool askSerialNumbers(std::optional<SerialFormat>& format, std::string& product,
                          const std::vector<Product>* products) override {
        format = serialAnswer;
        product = productAnswer;
        productsOffered.clear();
        if (products != nullptr)
            for (const Product& each : *products) productsOffered.push_back(each.name);
        return true;
    }
    std::optional<SerialFormat> serialAnswer;  // batch mode's serial numbers: none
    std::string productAnswer;                 // the line's product: none
    std::vector<std::string> productsOffered;
};

}  // namespace ostrel::testing
