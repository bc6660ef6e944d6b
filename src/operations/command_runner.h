#pragma once
// The chip commands of the toolbar and the Operation menu: Read, Erase,
// Write, Verify, Blank check and Auto, each one job with its before step, its
// operations, the elapsed time, the beep and its completion line; and batch
// mode, which runs Auto for every chip put into the socket. The window, the
// command line and the tests drive the same runner.
//
// One command at a time: a command that arrives while another runs (events are
// processed between blocks) is refused. A command that fails stops where it
// failed and logs nothing as complete.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/ui_port.h"
#include "operations/job_lock.h"
#include "operations/main_state.h"
#include "operations/programmer_ops.h"

namespace ostrel {

enum class ChipCommand {
    Read,
    Erase,
    Write,
    Verify,
    BlankCheck,
    Auto,
    VerifyAll,  // Verify that reads the whole range and collects every difference
};

// What became of a command.
enum class CommandStatus {
    Done,          // ran to its end; its completion line is in the log
    NotRun,        // refused before a job: no data to write or verify, or
                   // another command runs
    NoProgrammer,  // the job could not begin; the user has been told
    Mismatch,      // blank check or verify found a difference (user told)
    Skipped,       // nothing would move: Read or Write of a type that is not
                   // streamed, Erase of a class without one (user told; Auto
                   // and batch mode stop)
    Failed,        // a transfer failed or an erase did not finish (user told)
    Stopped,       // stopped on request after a block
};

// The three Auto options of the options panel.
struct AutoOptions {
    bool erase = true;
    bool program = true;
    bool verify = true;
};

// Told about every chip command, to keep a record of each chip and to prepare
// each chip's image (a production run). Both calls come outside the job.
class ChipCommandHook {
  public:
    virtual ~ChipCommandHook() = default;
    // After the before steps; false refuses the command (the user has been told).
    virtual bool beforeChip(ChipCommand command) = 0;
    // After the command, also one refused or not run; false when the chip's
    // record could not be kept (the user has been told): the command then
    // counts as failed, whatever the chip did.
    virtual bool afterChip(ChipCommand command, CommandStatus status) = 0;
};

class CommandRunner {
  public:
    CommandRunner(MainState& state, ProgrammerOps& ops, UiPort& ui);

    CommandStatus run(ChipCommand command);

    // Batch mode: the loop lives in startBatch(), which returns when batch
    // mode ends: released by stopBatch() (from an event processed inside the
    // loop), a failure of the Auto it ran, or a stop request.
    void startBatch();
    void stopBatch();
    // Polls that saw a chip in a row, 0 to 6.
    int32_t batchCount() const { return batchCount_; }

    // The one lock of everything a job must not race with; the upgrade and
    // the diagnosis take it too.
    JobLock& lock() { return lock_; }
    const JobLock& lock() const { return lock_; }
    // Stops the running command after its current block, and batch mode.
    void requestStop();

    AutoOptions autoOptions;
    // Before Read, Erase, Write, Verify, Blank check and Auto: read the chip's
    // ID and, where the socket holds no chip or another one than chosen, ask
    // whether to go on (stop: the command is not run). `chipTypes` is the
    // Type list, which names a chip found without an ID; not owned.
    bool checkChipFirst = false;
    const std::vector<std::string>* chipTypes = nullptr;
    // Write verifies what it wrote and completes only when the chip holds it;
    // a difference says its likely cause.
    bool verifyAfterWrite = false;
    // The text the Type list shows (UTF-8), named when a command would move
    // nothing for that type.
    std::function<std::string()> typeText;
    // The production run's hook, when one runs; not owned.
    ChipCommandHook* hook = nullptr;
    // The ID reply (kind and three ID bytes) of batch mode's last poll.
    const uint8_t* lastChipId() const { return lastChipId_; }
    // Told after every command that ran a job, with what became of it (the
    // window puts its FLASH view's cursor on a verify's first difference).
    std::function<void(ChipCommand command, CommandStatus status)> onCommandEnded;
    // The first differing address of the last verify that found one.
    int64_t mismatchAddress() const { return ops_.mismatchAddress(); }
    // Milliseconds the last command took from its job's start, as shown.
    int64_t lastElapsedMs() const { return elapsedMs_; }
    // "hh:mm:ss" for a number of milliseconds, as status bar panel 3 shows it.
    static std::string elapsedText(int64_t milliseconds);

  private:
    // The common frame: job, operations, closing steps, end of the job.
    CommandStatus runJob(ChipCommand command);
    CommandStatus operations(ChipCommand command);
    void finishTiming();
    void completionLine(Msg key);
    // Tells the user that the command moved nothing; no time, beep or line follow.
    CommandStatus nothingMoved(Txt why);
    // The chip check before a command: false when the user chose to stop, or
    // the programmer did not answer (the user has been told).
    bool chipConfirmed(CommandStatus& refused);

    MainState& state_;
    ProgrammerOps& ops_;
    UiPort& ui_;
    JobLock lock_;
    int32_t batchCount_ = 0;
    uint8_t lastChipId_[4] = {};
    int64_t startMs_ = 0;
    int64_t elapsedMs_ = 0;
};

}  // namespace ostrel
