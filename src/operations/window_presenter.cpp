#include "operations/window_presenter.h"

#include <cstdio>

#include "base/messages.h"
#include "base/text_format.h"
#include "base/texts.h"
#include "operations/failure_words.h"

namespace ostrel {
std::string elapsedText(int64_t milliseconds) {
    const long long seconds = milliseconds / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return text;
}

std::string operationStatusText(Operation operation, int language) {
    switch (operation) {
        case Operation::Read:
            return messageText(Msg::MsgReadFlash, language);
        case Operation::Erase:
            return messageText(Msg::MsgEraseFlash, language);
        case Operation::Write:
            return messageText(Msg::MsgWriteFlash, language);
        case Operation::Verify:
            return messageText(Msg::MsgVerifyFlash, language);
        case Operation::BlankCheck:
            return messageText(Msg::MsgBlankFlash, language);
        case Operation::None:
            break;
    }
    return {};
}

void WindowProgress::begin(Operation operation, ProgressUnit, int64_t total) {
    if (operation != Operation::None)
        ui_.setStatusText(PanelState, operationStatusText(operation, language_));
    // Nothing to count (an erase of one command, a write that moves nothing):
    // the bars are not shown.
    if (total <= 0) return;
    ui_.setProgressVisible(true);
    ui_.setProgressMax(total);
    ui_.setProgressPosition(0);
}

void WindowProgress::position(int64_t done) {
    ui_.setProgressPosition(done);
}

void WindowProgress::end() {
    ui_.setProgressPosition(0);
    ui_.setProgressVisible(false);
}

void WindowPresenter::box(const Failure& failure) {
    std::string text = failureText(failure, language_, typeText ? typeText() : "");
    if (failure.cause == FailureCause::NoProgrammer && pointToDiagnosis) {
        // As the status panel's tip: what to check when it is attached but
        // unusable, and where to find out why.
        if (failure.unusable) text += "\n" + programText(Txt::ProgrammerUnusable, language_);
        text += "\n" + programText(Txt::DiagnoseNotConnectedTip, language_);
    }
    if (!text.empty()) ui_.errorBox(text);
}

void WindowPresenter::completionLine(Msg key, const std::string& more) {
    ui_.insertLogLine(messageText(key, language_) + (more.empty() ? "" : " " + more) + " (" +
                      ui_.timeOfDay() + ")");
}

void WindowPresenter::warningLines(const CommandReport& report) {
    // Each goes on top, so the last first: they read in their order.
    for (auto w = report.warnings.rbegin(); w != report.warnings.rend(); ++w)
        ui_.insertLogLine(dumpWarningText(*w, language_));
}

void WindowPresenter::timeAndBeep(int64_t elapsedMs) {
    ui_.setStatusText(PanelElapsed, elapsedText(elapsedMs));
    ui_.beep();
}

void WindowPresenter::present(const CommandReport& report) {
    switch (report.status) {
        case CommandStatus::NotRun:
            return;
        case CommandStatus::NoProgrammer:
        case CommandStatus::Skipped:
        case CommandStatus::Failed:
        case CommandStatus::Stopped:
            if (report.failure) box(*report.failure);
            return;
        case CommandStatus::Mismatch:
            // The time and the beep follow the box the user has closed.
            if (report.reads && !report.reads->matched())
                ui_.errorBox(readsDifferText(*report.reads, language_));
            else if (report.failure)
                box(*report.failure);
            warningLines(report);
            timeAndBeep(report.elapsedMs);
            return;
        case CommandStatus::Done:
            break;
    }
    switch (report.command) {
        case ChipCommand::Read:
            // Lines go on top: "Read Complete!", then whether the reads
            // matched and the warnings beneath it.
            timeAndBeep(report.elapsedMs);
            warningLines(report);
            if (report.reads) ui_.insertLogLine(programText(Txt::ReadsMatched, language_));
            completionLine(Msg::MsgReadComplete);
            return;
        case ChipCommand::Erase:
            timeAndBeep(report.elapsedMs);
            completionLine(Msg::MsgEraseComplete);
            return;
        case ChipCommand::Write:
            timeAndBeep(report.elapsedMs);
            completionLine(Msg::MsgWriteComplete);
            return;
        case ChipCommand::Verify:
        case ChipCommand::VerifyAll:
            completionLine(Msg::MsgVerifyComplete);
            break;
        case ChipCommand::BlankCheck:
            completionLine(Msg::MsgBlankComplete);
            break;
        case ChipCommand::Auto:
            // Complete only when its verify ran and found the chip equal.
            if (report.verified) {
                const std::optional<uint64_t> serial =
                    serialWritten ? serialWritten() : std::nullopt;
                completionLine(Msg::MsgAutoComplete,
                               serial ? fillIn(programText(Txt::SerialWritten, language_),
                                               {std::to_string(*serial)})
                                      : std::string());
            }
            break;
    }
    timeAndBeep(report.elapsedMs);
}

void WindowPresenter::presentBatchEnd(BatchEnd end) {
    if (end == BatchEnd::PollUnanswered) ui_.errorBox(programText(Txt::ChipIdNoAnswer, language_));
}

void WindowPresenter::presentNoProgrammer(bool unusable) {
    Failure failure;
    failure.cause = FailureCause::NoProgrammer;
    failure.unusable = unusable;
    box(failure);
}

void showIdentification(const Identification& outcome, UiPort& ui,
                        const std::function<void(SocketPicture)>& showPicture) {
    if (outcome.picture != SocketPicture::Unchanged && showPicture) showPicture(outcome.picture);
    if (outcome.icon == BoxIcon::Information)
        ui.messageBox(outcome.message, programText(Txt::CaptionInformation, 0),
                      BoxIcon::Information);
    else
        ui.errorBox(outcome.message);
}

Presence checkProgrammer(TUsbBulk& usb, UiPort& ui, int language) {
    const Presence presence = probeProgrammer(usb);
    if (presence != Presence::Connected) {
        ui.setStatusText(PanelState, messageText(Msg::MsgNotConnected, language));
        return presence;
    }
    const std::string line =
        messageText(Msg::MsgProgrammerFound, language) + " (" + ui.timeOfDay() + ")";
    if (ui.firstLogLine() != line) ui.insertLogLine(line);
    ui.setStatusText(PanelState, messageText(Msg::MsgConnected, language));
    return presence;
}

}  // namespace ostrel
