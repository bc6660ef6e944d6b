#include "operations/command_runner.h"

#include <cstdio>
#include <cstring>

#include "operations/chip_check.h"

namespace ostrel {
namespace {

// Auto gives a freshly written chip this long before it is verified.
constexpr int kVerifySettleMs = 350;
// Batch mode's pause between two polls of the socket.
constexpr int kBatchPollMs = 150;
// Batch mode starts Auto on the sixth poll in a row that sees a chip.
constexpr int32_t kBatchPollsBeforeAuto = 5;

CommandStatus fromOp(OpResult result) {
    switch (result) {
        case OpResult::Done:
            return CommandStatus::Done;
        case OpResult::Mismatch:
            return CommandStatus::Mismatch;
        case OpResult::Skipped:
            return CommandStatus::Skipped;
        case OpResult::Failed:
            return CommandStatus::Failed;
        case OpResult::Stopped:
            return CommandStatus::Stopped;
    }
    return CommandStatus::Failed;
}

}  // namespace

CommandRunner::CommandRunner(MainState& state, ProgrammerOps& ops, UiPort& ui)
    : state_(state), ops_(ops), ui_(ui) {}

std::string CommandRunner::elapsedText(int64_t milliseconds) {
    const long long seconds = milliseconds / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return text;
}

void CommandRunner::requestStop() {
    ops_.requestStop();
    stopBatch();
}

void CommandRunner::finishTiming() {
    elapsedMs_ = ui_.monotonicMs() - startMs_;
    ui_.setStatusText(PanelElapsed, elapsedText(elapsedMs_));
    ui_.beep();
}

void CommandRunner::completionLine(Msg key) {
    ui_.insertLogLine(messageText(key, state_.language) + " (" + ui_.timeOfDay() + ")");
}

CommandStatus CommandRunner::nothingMoved(Txt why) {
    ui_.errorBox(fillIn(programText(why, state_.language), {typeText ? typeText() : ""}));
    return CommandStatus::Skipped;
}

CommandStatus CommandRunner::run(ChipCommand command) {
    if (lock_.jobRunning()) return CommandStatus::NotRun;
    // The before steps: Write and Auto take the view's edits over; nothing to
    // write or verify ends the command before a job.
    DataBuffers& buffers = state_.buffers;
    if (command == ChipCommand::Write || command == ChipCommand::Auto)
        buffers.TakeFlashEdits(state_.selectedRecord().flashSize);
    if ((command == ChipCommand::Write || command == ChipCommand::Verify ||
         command == ChipCommand::VerifyAll) &&
        buffers.flashDataLength == 0)
        return CommandStatus::NotRun;
    if (command == ChipCommand::Auto && buffers.flashDataLength <= 0) return CommandStatus::NotRun;
    if (checkChipFirst) {
        CommandStatus refused = CommandStatus::NotRun;
        if (!chipConfirmed(refused)) return refused;
    }
    if (hook == nullptr) return runJob(command);
    if (!hook->beforeChip(command)) {
        hook->afterChip(command, CommandStatus::NotRun);
        return CommandStatus::Failed;
    }
    // The chip's record is kept before a box about it waits for a click: a
    // window closed or killed meanwhile leaves no chip unrecorded.
    struct BoxGuard {
        UiPort& ui;
        ~BoxGuard() { ui.releaseErrorBoxes(); }
    } boxes{ui_};
    ui_.holdErrorBoxes();
    const CommandStatus status = runJob(command);
    return hook->afterChip(command, status) ? status : CommandStatus::Failed;
}

bool CommandRunner::chipConfirmed(CommandStatus& refused) {
    static const std::vector<std::string> noTypes;
    const SocketCheck check =
        checkSocket(ops_, state_, chipTypes ? *chipTypes : noTypes, state_.language);
    if (check.read == SocketCheck::Read::NoAnswer) {
        ui_.errorBox(programText(Txt::ChipIdNoAnswer, state_.language));
        refused = CommandStatus::Failed;
        return false;
    }
    // Without a programmer the command's own job says so.
    if (check.fits()) return true;
    refused = CommandStatus::NotRun;
    return ui_.askInfo(chipCheckQuestion(check, state_.language));
}

CommandStatus CommandRunner::runJob(ChipCommand command) {
    // A guard, so that the job ends and the controls come back even when
    // something below throws.
    struct JobGuard {
        CommandRunner& runner;
        JobLock::Hold& hold;
        bool ended = false;
        void end() {
            if (ended) return;
            ended = true;
            runner.ops_.endJob();
            hold.release();
        }
        ~JobGuard() { end(); }
    };

    JobLock::Hold hold = lock_.acquire(JobLock::Holder::Command, /*allowInBatch=*/true);
    if (!hold) return CommandStatus::NotRun;
    if (ops_.openJob() == JobNotStarted) return CommandStatus::NoProgrammer;
    JobGuard guard{*this, hold};
    startMs_ = ui_.monotonicMs();
    const CommandStatus status = operations(command);
    guard.end();
    if (onCommandEnded) onCommandEnded(command, status);
    return status;
}

// The operations and closing steps of each command. Read, Erase and Write show
// the time and beep before their line; Verify, Blank check and Auto add their
// line first. A failed or stopped command stops there: no time, no beep, no
// line; so does one that moved nothing, after saying so.
CommandStatus CommandRunner::operations(ChipCommand command) {
    switch (command) {
        case ChipCommand::Read: {
            const OpResult r = ops_.readFlash();
            if (r == OpResult::Skipped) return nothingMoved(Txt::TypeNotStreamed);
            if (r != OpResult::Done) return fromOp(r);
            finishTiming();
            completionLine(Msg::MsgReadComplete);
            return CommandStatus::Done;
        }
        case ChipCommand::Erase: {
            const OpResult r = ops_.eraseChip();
            if (r == OpResult::Skipped) return nothingMoved(Txt::ClassHasNoErase);
            if (r != OpResult::Done) return fromOp(r);
            finishTiming();
            completionLine(Msg::MsgEraseComplete);
            return CommandStatus::Done;
        }
        case ChipCommand::Write: {
            const OpResult r = ops_.writeFlash();
            if (r == OpResult::Skipped) return nothingMoved(Txt::TypeNotStreamed);
            if (r != OpResult::Done) return fromOp(r);
            if (verifyAfterWrite) {
                ui_.pause(kVerifySettleMs);
                const OpResult v = ops_.verifyWritten();
                if (v != OpResult::Done) {
                    if (v == OpResult::Mismatch) finishTiming();
                    return fromOp(v);
                }
            }
            finishTiming();
            completionLine(Msg::MsgWriteComplete);
            return CommandStatus::Done;
        }
        case ChipCommand::Verify:
        case ChipCommand::VerifyAll:
        case ChipCommand::BlankCheck: {
            const bool verify = command != ChipCommand::BlankCheck;
            const OpResult r = command == ChipCommand::Verify      ? ops_.verifyFlash()
                               : command == ChipCommand::VerifyAll ? ops_.verifyAll()
                                                                   : ops_.blankCheck();
            if (r != OpResult::Done && r != OpResult::Mismatch) return fromOp(r);
            if (r == OpResult::Done)
                completionLine(verify ? Msg::MsgVerifyComplete : Msg::MsgBlankComplete);
            finishTiming();
            return fromOp(r);
        }
        case ChipCommand::Auto: {
            // A type that is not written is not erased either: the chip keeps
            // what it holds.
            if (autoOptions.program && !ops_.typeStreamed())
                return nothingMoved(Txt::TypeNotStreamed);
            if (autoOptions.erase) {
                // A chip without an erase is written over as it is.
                const OpResult r = ops_.eraseChip();
                if (r != OpResult::Done && r != OpResult::Skipped) return fromOp(r);
            }
            if (autoOptions.program) {
                const OpResult r = ops_.writeFlash();
                if (r == OpResult::Skipped) return nothingMoved(Txt::TypeNotStreamed);
                if (r != OpResult::Done) return fromOp(r);
            }
            CommandStatus status = CommandStatus::Done;
            if (autoOptions.verify) {
                ui_.pause(kVerifySettleMs);
                const OpResult r = autoOptions.program ? ops_.verifyWritten() : ops_.verifyFlash();
                if (r != OpResult::Done && r != OpResult::Mismatch) return fromOp(r);
                if (r == OpResult::Done) completionLine(Msg::MsgAutoComplete);
                status = fromOp(r);
            }
            finishTiming();
            return status;
        }
    }
    return CommandStatus::NotRun;
}

void CommandRunner::startBatch() {
    batchCount_ = 0;
    if (!lock_.beginBatch()) return;
    ops_.clearStop();
    // Batch mode ends and releases its button however the loop is left.
    struct BatchGuard {
        CommandRunner& runner;
        ~BatchGuard() { runner.stopBatch(); }
    } guard{*this};
    while (true) {
        uint8_t reply[4] = {};
        const int answered = ops_.readChipId(reply);
        if (answered == kChipIdAnswered) {
            std::memcpy(lastChipId_, reply, sizeof lastChipId_);
            const uint8_t kind = reply[0];
            if (kind == 0) batchCount_ = 0;
            if (batchCount_ < kBatchPollsBeforeAuto) {
                // Kinds 128 to 255 neither count nor reset.
                if (static_cast<int8_t>(kind) > 0) ++batchCount_;
            } else if (batchCount_ == kBatchPollsBeforeAuto) {
                batchCount_ = kBatchPollsBeforeAuto + 1;
                const CommandStatus status = run(ChipCommand::Auto);
                if (status == CommandStatus::Failed || status == CommandStatus::Stopped ||
                    status == CommandStatus::NoProgrammer || status == CommandStatus::Skipped)
                    break;
            }
        } else if (answered == kChipIdNoAnswer) {
            ui_.errorBox(programText(Txt::ChipIdNoAnswer, state_.language));
            break;
        }
        ui_.processEvents();
        if (!lock_.batchActive() || ops_.stopRequested()) break;
        ui_.pause(kBatchPollMs);
    }
}

void CommandRunner::stopBatch() {
    if (!lock_.batchActive()) return;
    batchCount_ = 0;
    lock_.endBatch();
}

}  // namespace ostrel
