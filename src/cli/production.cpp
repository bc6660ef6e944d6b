#include "cli/production.h"

#include "catalogue/id_read.h"

namespace ostrel::cli {

std::string CliProduction::openLog(const Options& options, int language) {
    std::string error;
    if (log_.open(options.log, error)) return {};
    return fillIn(programText(Txt::ProductionLogUnwritable, language), {options.log, error});
}

std::string CliProduction::checkSerial(const Options& options, const MainState& state) {
    if (options.serial.empty()) return {};
    SerialFormat format;
    std::string error;
    parseSerialFormat(options.serial, format, error);  // checked with the options
    const std::string outside = serialOutsideChip(format, state);
    if (!outside.empty()) return outside;
    const std::string path = serialCounterPathFor(options.log);
    continueOlderCounter(path);
    serials_ = std::make_unique<SerialCounter>(path, format);
    if (serials_->check(error)) return {};
    return fillIn(programText(Txt::SerialCounterFailed, state.language), {path, error});
}

std::string CliProduction::begin(const Options& options, MainState& state, ProgrammerOps& ops,
                                 CommandRunner& runner, TerminalUi& ui, bool& noProgrammer,
                                 StationLink* database) {
    noProgrammer = false;
    std::string error;
    if (!options.log.empty() && !log_.isOpen()) {
        const std::string unwritable = openLog(options, state.language);
        if (!unwritable.empty()) return unwritable;
    }
    run_ = std::make_unique<ProductionRun>(state, ops, runner, ui, log_);
    run_->everyCommand = true;
    run_->recordLater = true;
    run_->database = database;
    run_->serials = serials_.get();
    // Outside the chip's job: who programs, and which chip sits in the socket.
    {
        JobLock::Hold hold = runner.lock().acquire(JobLock::Holder::Command);
        HardwareInfo info;
        if (!hold || !ops.readHardwareInfo(info)) {
            noProgrammer = true;
            run_.reset();
            return {};
        }
        run_->programmer = info.serialNumber;
        // While the database is away the programmer is named by its chips' rows.
        // Gone since the connection: the chip may go on from the lease.
        if (database != nullptr && !database->offline() &&
            !database->line().registerProgrammer(database->station, info.serialNumber, error) &&
            !(database->line().lost() && database->goOffline())) {
            run_.reset();
            return databaseProblem(Txt::DatabaseAway, database->url(), error, state.language);
        }
        const IdReply reply = ops.readChipId();
        if (reply.answered()) run_->chipId = chipIdText(reply.id);
    }
    runner.hook = run_.get();
    ui_ = &ui;
    return {};
}

bool CliProduction::record(const CommandReport& report) {
    if (run_ == nullptr) return true;
    const bool kept = run_->record(report);
    const std::string holding = run_->holdingText();
    if (!holding.empty() && ui_ != nullptr) ui_->note(holding);
    return kept;
}

std::string CliProduction::resultFields() const {
    if (!run_) return "";
    std::string fields;
    if (run_->lastRow() > 0) fields += ",\"row\":" + std::to_string(run_->lastRow());
    if (run_->lastSerial()) fields += ",\"serial\":" + std::to_string(*run_->lastSerial());
    return fields;
}

}  // namespace ostrel::cli
