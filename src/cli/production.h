#pragma once
// ostrel-cli's production record (--log, --serial): the log and the serial
// counter are opened, and the programmer's serial number and the chip's ID
// read, before the chip command; the runner's hook then records the chip.

#include <memory>
#include <string>

#include "cli/cli_options.h"
#include "operations/production_run.h"

namespace ostrel::cli {

class CliProduction {
  public:
    // Opens the log before anything else happens, so that a log that cannot
    // be written stops the command before the programmer is touched; false
    // (the user has been told) when it cannot be opened.
    bool openLog(const Options& options, UiPort& ui, int language);
    // --serial's usage and file errors, found before the programmer is asked
    // anything: the number's place outside the chosen chip, a counter file
    // that cannot be opened or written, or whose next number does not fit.
    // False when one was found (the user has been told).
    bool checkSerial(const Options& options, const MainState& state, UiPort& ui);
    // Everything before the chip's job, after checkSerial. False when the log cannot be opened
    // (`noProgrammer` false; nothing was sent to the programmer) or the
    // programmer does not answer (`noProgrammer` true); the user has been told.
    // With `database`, the chips are recorded there too (the log then only
    // when --log is given).
    bool begin(const Options& options, MainState& state, ProgrammerOps& ops, CommandRunner& runner,
               UiPort& ui, bool& noProgrammer, StationLink* database);
    // The chip was not started because the database could not be used.
    bool databaseAway() const { return run_ && run_->databaseAway(); }
    // ,"row":N,"serial":N for the result object, when the chip had them.
    std::string resultFields() const;

  private:
    ProductionLog log_;
    std::unique_ptr<SerialCounter> serials_;
    std::unique_ptr<ProductionRun> run_;
};

}  // namespace ostrel::cli
