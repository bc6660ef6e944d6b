#pragma once
// ostrel-cli's production record (--log, --serial, --db): the log and the
// serial counter are opened, and the programmer's serial number and the
// chip's ID read, before the chip command; the runner's hook then prepares
// the chip, and the command records its final outcome once it knows it (a
// read after its file was saved).

#include <memory>
#include <string>

#include "cli/cli_options.h"
#include "cli/terminal_ui.h"
#include "production/production_run.h"

namespace ostrel::cli {

class CliProduction {
  public:
    // Opens the log before anything else happens, so that a log that cannot
    // be written stops the command before the programmer is touched. The
    // error when it cannot be opened, else empty.
    std::string openLog(const Options& options, int language);
    // --serial's usage and file errors, found before the programmer is asked
    // anything: the number's place outside the chosen chip, a counter file
    // that cannot be opened or written, or whose next number does not fit.
    // The error found, else empty.
    std::string checkSerial(const Options& options, const MainState& state);
    // Everything before the chip's job. The error when the log cannot be
    // opened (`noProgrammer` false; nothing was sent to the programmer) or the
    // database refuses the programmer; `noProgrammer` true (the error empty)
    // when the programmer does not answer; else empty. With `database`, the
    // chips are recorded there too (the log then only when --log is given).
    std::string begin(const Options& options, MainState& state, ProgrammerOps& ops,
                      CommandRunner& runner, TerminalUi& ui, bool& noProgrammer,
                      StationLink* database);
    bool running() const { return run_ != nullptr; }
    // The chip's line and row with the command's final outcome; false when
    // it could not be kept (the user has been told).
    // With a lease, a line says what it still holds and what waits for the
    // database.
    bool record(const CommandReport& report);
    // Why the run refused the chip or could not record it.
    std::string problem() const { return run_ ? run_->problem() : std::string(); }
    // The chip was not started because the database could not be used.
    bool databaseAway() const { return run_ && run_->databaseAway(); }
    // The serial number written into the chip, if one was.
    std::optional<uint64_t> serial() const {
        return run_ ? run_->lastSerial() : std::optional<uint64_t>();
    }
    // ,"row":N,"serial":N for the result object, when the chip had them.
    std::string resultFields() const;

  private:
    ProductionLog log_;
    std::unique_ptr<SerialCounter> serials_;
    std::unique_ptr<ProductionRun> run_;
    TerminalUi* ui_ = nullptr;
};

}  // namespace ostrel::cli
