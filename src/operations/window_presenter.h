#pragma once
// The window's words for what the core reports: the running operation's
// status text and the two progress bars, and after a command its box, the
// elapsed time in status bar panel 3, the beep and the "... Complete!" line,
// all in the window's language at the moment they are shown. Plain C++ over
// UiPort, so that the tests drive it as the window does.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/messages.h"
#include "base/ui_port.h"
#include "catalogue/chip_identification.h"
#include "operations/command_runner.h"
#include "operations/progress.h"
#include "usb/presence_check.h"

namespace ostrel {

// The connection monitor's check as the window shows it: found, the
// "programmer found" line with the time of day goes on top of the log unless
// the top line already says exactly that (a second check within the same
// second adds nothing), and the state panel says "Connected"; otherwise the
// panel says "Not connected". Never a message box.
Presence checkProgrammer(TUsbBulk& usb, UiPort& ui, int language);

// Shows an outcome as the Detect button does: a changed socket picture through
// `showPicture` first, so that the user sees the socket while reading the box,
// then the box.
void showIdentification(const Identification& outcome, UiPort& ui,
                        const std::function<void(SocketPicture)>& showPicture = {});

// The status text of a running operation ("Read Flash ..."); empty for None.
std::string operationStatusText(Operation operation, int language);

// "hh:mm:ss" for a number of milliseconds, as status bar panel 3 shows it.
std::string elapsedText(int64_t milliseconds);

// The running operation in status bar panel 1 and on the bars.
class WindowProgress : public Progress {
  public:
    WindowProgress(UiPort& ui, const int32_t& language) : ui_(ui), language_(language) {}
    void begin(Operation operation, ProgressUnit unit, int64_t total) override;
    void position(int64_t done) override;
    void end() override;

  private:
    UiPort& ui_;
    const int32_t& language_;
};

class WindowPresenter : public CommandPresenter {
  public:
    WindowPresenter(UiPort& ui, const int32_t& language) : ui_(ui), language_(language) {}

    // The text the Type list shows (UTF-8), named when a command would move
    // nothing for that type.
    std::function<std::string()> typeText;
    // The box for a command without a programmer points to Help > Diagnose...,
    // as the status panel's tip does.
    bool pointToDiagnosis = false;
    // The serial number the production run wrote into the chip, if it wrote
    // one: the line of an Auto that passed names it.
    std::function<std::optional<uint64_t>()> serialWritten;

    // A failed command: its box. Done, and a check that found a difference
    // (after its box): Read, Erase and Write show the time, beep, then add
    // their line; Verify, Blank check and Auto add their line first. A
    // command that did not run shows nothing.
    void present(const CommandReport& report) override;
    // How batch mode ended: a poll without an answer has its box.
    void presentBatchEnd(BatchEnd end);
    // No programmer for what is not a chip command (Detect, the start of
    // batch mode): the box a chip command shows. `unusable`: one is attached
    // but could not be opened.
    void presentNoProgrammer(bool unusable);

  private:
    void box(const Failure& failure);
    // "... Complete!", `more` after it, and the time of day.
    void completionLine(Msg key, const std::string& more = {});
    // A line in the log for each warning about the bytes a read brought.
    void warningLines(const CommandReport& report);
    void timeAndBeep(int64_t elapsedMs);

    UiPort& ui_;
    const int32_t& language_;
};

}  // namespace ostrel
