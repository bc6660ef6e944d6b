#include "operations/command_runner.h"

#include "buffers/dump_check.h"
#include "operations/chip_check.h"

namespace ostrel {
namespace {

// Auto gives a freshly written chip this long before it is verified.
constexpr int kVerifySettleMs = 350;
// Batch mode's pause between two polls of the socket.
constexpr int kBatchPollMs = 150;
// Batch mode starts Auto on the sixth poll in a row that sees a chip.
constexpr int32_t kBatchPollsBeforeAuto = 5;

CommandStatus statusOf(OpResult result) {
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

void CommandRunner::requestStop() {
    ops_.requestStop();
    stopBatch();
}

void CommandRunner::fromOp(CommandReport& report, OpResult result) {
    report.status = statusOf(result);
    report.failure = ops_.failure();
    report.difference = ops_.difference();
    report.moved = ops_.moved();
}

void CommandRunner::skipped(CommandReport& report, FailureCause cause) {
    report.status = CommandStatus::Skipped;
    report.failure = Failure{Operation::None, cause, -1, 0};
}

CommandReport CommandRunner::run(ChipCommand command) {
    CommandReport report;
    report.command = command;
    if (lock_.jobRunning()) return report;
    // The before steps: Write and Auto take the view's edits over; nothing to
    // write or verify ends the command before a job.
    DataBuffers& buffers = state_.buffers;
    if (command == ChipCommand::Write || command == ChipCommand::Auto)
        buffers.TakeFlashEdits(state_.selectedRecord().flashSize);
    if ((command == ChipCommand::Write || command == ChipCommand::Verify ||
         command == ChipCommand::VerifyAll) &&
        buffers.flashDataLength == 0)
        return report;
    if (command == ChipCommand::Auto && buffers.flashDataLength <= 0) return report;
    if (checkChipFirst && !chipConfirmed(report)) return report;
    if (hook != nullptr && !hook->beforeChip(command)) {
        hook->afterChip(report);
        report.status = CommandStatus::Failed;
        report.failure = Failure{Operation::None, FailureCause::Refused, -1, 0};
        return report;
    }
    // With a record to keep, the chip is recorded before a box about it
    // waits for a click: a window closed or killed meanwhile leaves no chip
    // unrecorded.
    struct BoxGuard {
        UiPort* ui;
        ~BoxGuard() {
            if (ui != nullptr) ui->releaseErrorBoxes();
        }
    } boxes{hook != nullptr ? &ui_ : nullptr};
    if (hook != nullptr) ui_.holdErrorBoxes();
    report = runJob(command);
    const bool jobRan =
        report.status != CommandStatus::NotRun && report.status != CommandStatus::NoProgrammer;
    if (jobRan && onCommandEnded) onCommandEnded(report);
    if (hook != nullptr && !hook->afterChip(report)) {
        report.status = CommandStatus::Failed;
        if (!report.failure) report.failure = Failure{Operation::None, FailureCause::RecordFailed};
    }
    return report;
}

bool CommandRunner::chipConfirmed(CommandReport& report) {
    static const std::vector<std::string> noTypes;
    const SocketCheck check =
        checkSocket(ops_, state_, chipTypes ? *chipTypes : noTypes, state_.language);
    if (check.read == SocketCheck::Read::NoAnswer) {
        report.status = CommandStatus::Failed;
        report.failure = Failure{Operation::None, FailureCause::IdNoAnswer, -1, 0};
        if (presenter != nullptr) presenter->present(report);
        return false;
    }
    // Without a programmer the command's own job says so.
    if (check.fits()) return true;
    return ui_.askInfo(chipCheckQuestion(check, state_.language));
}

CommandReport CommandRunner::runJob(ChipCommand command) {
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

    CommandReport report;
    report.command = command;
    JobLock::Hold hold = lock_.acquire(JobLock::Holder::Command, /*allowInBatch=*/true);
    if (!hold) return report;
    if (ops_.openJob() == JobNotStarted) {
        report.status = CommandStatus::NoProgrammer;
        report.failure = ops_.failure();
        if (presenter != nullptr) presenter->present(report);
        return report;
    }
    JobGuard guard{*this, hold};
    // Taken when the job begins: the menu item may be toggled while the
    // first read processes events, and the command already running must not
    // change with it.
    readTwiceInJob_ = readTwice;
    startMs_ = ui_.monotonicMs();
    operations(report);
    report.elapsedMs = ui_.monotonicMs() - startMs_;
    // Shown while the job still holds the programmer, so that what waits for
    // its end (a presence check) comes after the command's own words.
    if (presenter != nullptr) presenter->present(report);
    guard.end();
    return report;
}

// The operations of each command. A failed or stopped operation stops the
// command there; so does one that would move nothing.
void CommandRunner::operations(CommandReport& report) {
    switch (report.command) {
        case ChipCommand::Read: {
            const OpResult r = ops_.readFlash();
            if (r == OpResult::Skipped) return skipped(report, FailureCause::NotStreamed);
            fromOp(report, r);
            if (r != OpResult::Done) return;
            if (readTwiceInJob_) {
                const AddressSpan first = report.moved;
                const OpResult again = ops_.readAgainAndCompare();
                fromOp(report, again);
                if (again != OpResult::Done && again != OpResult::Mismatch) return;
                report.moved = first;
                report.reads = ops_.readsCompared();
            }
            // The bytes kept, whatever the second read brought.
            report.warnings =
                checkDump(state_.buffers.flashUpTo(static_cast<uint32_t>(report.moved.end)) +
                              report.moved.start,
                          static_cast<std::size_t>(report.movedBytes()));
            return;
        }
        case ChipCommand::Erase: {
            const OpResult r = ops_.eraseChip();
            if (r == OpResult::Skipped) return skipped(report, FailureCause::NoErase);
            fromOp(report, r);
            // A write-protected chip answers the erase and keeps its bytes.
            if (r != OpResult::Done || !checkAfterWriteAndErase || !ops_.typeStreamed()) return;
            const AddressSpan erased = report.moved;
            const OpResult check = ops_.blankCheckErased();
            fromOp(report, check == OpResult::Mismatch ? OpResult::Failed : check);
            report.moved = erased;
            return;
        }
        case ChipCommand::Write: {
            const OpResult r = ops_.writeFlash();
            if (r == OpResult::Skipped) return skipped(report, FailureCause::NotStreamed);
            fromOp(report, r);
            if (r != OpResult::Done || !checkAfterWriteAndErase) return;
            ui_.pause(kVerifySettleMs);
            const AddressSpan written = report.moved;
            fromOp(report, ops_.verifyWritten());
            report.moved = written;
            return;
        }
        case ChipCommand::Verify:
            return fromOp(report, ops_.verifyFlash());
        case ChipCommand::VerifyAll:
            return fromOp(report, ops_.verifyAll());
        case ChipCommand::BlankCheck:
            return fromOp(report, ops_.blankCheck());
        case ChipCommand::Auto: {
            // A type that is not written is not erased either: the chip keeps
            // what it holds.
            if (autoOptions.program && !ops_.typeStreamed())
                return skipped(report, FailureCause::NotStreamed);
            bool erased = false;
            if (autoOptions.erase) {
                // A chip without an erase is written over as it is.
                const OpResult r = ops_.eraseChip();
                if (r != OpResult::Done && r != OpResult::Skipped) return fromOp(report, r);
                erased = r == OpResult::Done;
            }
            report.status = CommandStatus::Done;
            if (autoOptions.program) {
                const OpResult r = ops_.writeFlash();
                if (r == OpResult::Skipped) return skipped(report, FailureCause::NotStreamed);
                fromOp(report, r);
                if (r != OpResult::Done) return;
            }
            if (autoOptions.verify) {
                ui_.pause(kVerifySettleMs);
                const AddressSpan written = report.moved;
                const OpResult r = autoOptions.program ? ops_.verifyWritten() : ops_.verifyFlash();
                fromOp(report, r);
                // What went to the chip, when it was written, is what the report names.
                if (autoOptions.program) report.moved = written;
                report.verified = r == OpResult::Done;
                // A 0 bit where the data has a 1 after an erase that ran: the
                // erase did not take (a write-protected chip), not "erase first".
                if (erased && report.failure && report.failure->cause == FailureCause::NotErased)
                    report.failure->cause = FailureCause::EraseNotTaken;
            }
            return;
        }
    }
}

BatchEnd CommandRunner::startBatch() {
    batchCount_ = 0;
    if (!lock_.beginBatch()) return BatchEnd::Released;
    ops_.clearStop();
    // Batch mode ends and releases its button however the loop is left.
    struct BatchGuard {
        CommandRunner& runner;
        ~BatchGuard() { runner.stopBatch(); }
    } guard{*this};
    while (true) {
        const IdReply reply = ops_.readChipId();
        if (reply.answered()) {
            lastIdReply_ = reply;
            if (reply.emptySocket()) batchCount_ = 0;
            if (batchCount_ < kBatchPollsBeforeAuto) {
                if (reply.countsAsChip()) ++batchCount_;
            } else if (batchCount_ == kBatchPollsBeforeAuto) {
                batchCount_ = kBatchPollsBeforeAuto + 1;
                const CommandStatus status = run(ChipCommand::Auto).status;
                if (status == CommandStatus::Failed || status == CommandStatus::Stopped ||
                    status == CommandStatus::NoProgrammer || status == CommandStatus::Skipped)
                    return BatchEnd::CommandEnded;
            }
        } else if (reply.outcome == IdReply::Outcome::NoAnswer) {
            return BatchEnd::PollUnanswered;
        }
        ui_.processEvents();
        if (!lock_.batchActive() || ops_.stopRequested()) break;
        ui_.pause(kBatchPollMs);
    }
    return BatchEnd::Released;
}

void CommandRunner::stopBatch() {
    if (!lock_.batchActive()) return;
    batchCount_ = 0;
    lock_.endBatch();
}

}  // namespace ostrel
