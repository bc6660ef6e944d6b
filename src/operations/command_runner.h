#pragma once
// The chip commands of the toolbar and the Operation menu: Read, Erase,
// Write, Verify, Blank check and Auto, each one job with its before step, its
// operations and the elapsed time; and batch mode, which runs Auto for every
// chip put into the socket. The window, the command line and the tests drive
// the same runner; each command comes back as a report, which the runner also
// hands to the front end's presenter.
//
// One command at a time: a command that arrives while another runs (events are
// processed between blocks) is refused. A command that fails stops where it
// failed, and its report says where.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/ui_port.h"
#include "catalogue/id_read.h"
#include "operations/command_report.h"
#include "operations/job_lock.h"
#include "operations/main_state.h"
#include "operations/programmer_ops.h"

namespace ostrel {

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
    virtual bool afterChip(const CommandReport& report) = 0;
};

// Words a front end's reports: one per front end.
class CommandPresenter {
  public:
    virtual ~CommandPresenter() = default;
    virtual void present(const CommandReport& report) = 0;
};

// How batch mode ended.
enum class BatchEnd {
    Released,        // stopBatch(), a stop request, or refused at its start
    CommandEnded,    // the Auto it ran failed, was stopped or moved nothing
    PollUnanswered,  // the programmer did not answer a poll
};

class CommandRunner {
  public:
    CommandRunner(MainState& state, ProgrammerOps& ops, UiPort& ui);

    CommandReport run(ChipCommand command);

    // Batch mode: the loop lives in startBatch(), which returns when batch
    // mode ends: released by stopBatch() (from an event processed inside the
    // loop), a failure of the Auto it ran, or a stop request.
    BatchEnd startBatch();
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
    // Write verifies what it wrote and completes only when the chip holds it
    // (a difference carries its likely cause); Erase blank-checks the chip and
    // completes only when the erase took. Auto has its own verify.
    bool checkAfterWriteAndErase = false;
    // Read reads the chip twice and compares the reads as the second comes:
    // different, the command is a Mismatch and the first read stays.
    bool readTwice = false;
    // The production run's hook, when one runs; not owned.
    ChipCommandHook* hook = nullptr;
    // Shown every report of a command that reached its job, before the job
    // ends and the hook records it; not owned. None: the caller words the
    // report itself.
    CommandPresenter* presenter = nullptr;
    // Batch mode's last answered poll.
    const IdReply& lastIdReply() const { return lastIdReply_; }
    // Told after every command that ran a job, once its report has been
    // shown (the window puts its FLASH view's cursor on a verify's first
    // difference).
    std::function<void(const CommandReport& report)> onCommandEnded;

  private:
    CommandReport runHooked(ChipCommand command);
    // The common frame: job, operations, end of the job.
    CommandReport runJob(ChipCommand command);
    void operations(CommandReport& report);
    // Takes what the operation left into the report.
    void fromOp(CommandReport& report, OpResult result);
    void skipped(CommandReport& report, FailureCause cause);
    // The chip check before a command: false when the user chose to stop
    // (`report` not run) or the programmer did not answer (`report` failed).
    bool chipConfirmed(CommandReport& report);

    MainState& state_;
    ProgrammerOps& ops_;
    UiPort& ui_;
    JobLock lock_;
    int32_t batchCount_ = 0;
    IdReply lastIdReply_;
    int64_t startMs_ = 0;
    bool readTwiceInJob_ = false;  // readTwice as the running job began
};

}  // namespace ostrel
