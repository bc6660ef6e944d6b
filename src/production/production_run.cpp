#include "production/production_run.h"

#include <algorithm>

#include "base/messages.h"
#include "base/text_format.h"
#include "catalogue/chip_lookup.h"
#include "catalogue/gbk_text.h"
#include "catalogue/id_read.h"
#include "operations/failure_words.h"
#include "operations/stream_span.h"

namespace ostrel {
namespace {

// The record's words for the failures whose words each front end finds for
// itself (the window shows no box for them).
const char* recordOwnText(FailureCause cause) {
    switch (cause) {
        case FailureCause::Stopped:
            return "Stopped on request.";
        case FailureCause::Refused:
            return "Refused before the chip's job.";
        case FailureCause::RecordFailed:
            return "The chip's record could not be kept.";
        case FailureCause::FileError:
            return "The file could not be read or written.";
        case FailureCause::NoProgrammer:
        case FailureCause::NoAnswer:
        case FailureCause::IdNoAnswer:
        case FailureCause::TransferFailed:
        case FailureCause::TimeOut:
        case FailureCause::Difference:
        case FailureCause::NotBlank:
        case FailureCause::WriteNotTaken:
        case FailureCause::NotErased:
        case FailureCause::EraseNotTaken:
        case FailureCause::ReadsDiffer:
        case FailureCause::Protected:
        case FailureCause::NotStreamed:
        case FailureCause::NoErase:
        case FailureCause::ChipTooLarge:
        case FailureCause::NoPageSize:
            break;
    }
    return "";
}

}  // namespace

void describeCommand(const CommandReport& report, const uint8_t* flash, const std::string& typeText,
                     ChipLogLine& line) {
    line.command = commandName(report.command);
    line.result = report.status == CommandStatus::Done       ? "done"
                  : report.status == CommandStatus::Mismatch ? "different"
                                                             : "failed";
    if (report.status != CommandStatus::Done) {
        const Failure failure = report.failure.value_or(Failure{});
        line.cause = report.failure ? causeName(failure.cause) : "failed";
        line.message = failureText(failure, LangEnglish, typeText);
        // A difference is recorded with the facts the command line shows:
        // where it is, and the chip's and the file's byte there.
        if (report.difference && !line.message.empty()) {
            const std::size_t lineEnd = line.message.find('\n');
            const auto byteText = [](uint8_t value) { return hexDigits(value, 2) + "h"; };
            line.message =
                fillIn(programText(Txt::DifferenceBytes, LangEnglish),
                       {line.message.substr(0, lineEnd), byteText(report.difference->chipByte),
                        byteText(report.difference->fileByte)}) +
                (lineEnd == std::string::npos ? "" : line.message.substr(lineEnd));
        }
        if (line.message.empty()) line.message = recordOwnText(failure.cause);
    }
    // The bytes are in the buffer after a read only when it arrived whole;
    // an erase and a blank check bring none.
    const bool held = report.command != ChipCommand::Erase &&
                      report.command != ChipCommand::BlankCheck &&
                      (report.command != ChipCommand::Read || report.status == CommandStatus::Done);
    line.bytes = held ? report.movedBytes() : 0;
    const Checksums sums =
        checksumsOf(line.bytes > 0 ? flash + report.moved.start : flash, line.bytes);
    line.crc32 = sums.crc32;
    line.sha256 = sums.sha256Text();
}

ProductionRun::ProductionRun(MainState& state, ProgrammerOps& ops, CommandRunner& runner,
                             UiPort& ui, ProductionLog& log)
    : state_(state), ops_(ops), runner_(runner), ui_(ui), log_(log) {}

std::string serialOutsideChip(const SerialFormat& format, const MainState& state) {
    const uint64_t end = uint64_t{format.address} + format.bytes;
    const uint32_t chipSize = DataBuffers::flashCountFor(state.selectedRecord().flashSize);
    if (end <= chipSize) return {};
    return fillIn(
        programText(Txt::SerialOutsideChip, state.language),
        {hexAddress(format.address), std::to_string(format.bytes), std::to_string(chipSize)});
}

bool ProductionRun::recorded(ChipCommand command) const {
    return everyCommand || command == ChipCommand::Auto || command == ChipCommand::Write ||
           command == ChipCommand::Verify;
}

bool ProductionRun::stampSerial(ChipCommand command) {
    serial_.reset();
    if (command != ChipCommand::Auto && command != ChipCommand::Write) return true;
    // The database's product pool gave the chip its number with its row.
    const bool pooled = row_ && row_->serial && database != nullptr && database->product &&
                        database->product->serial;
    if (!pooled && serials == nullptr) return true;
    const SerialFormat& format = pooled ? *database->product->serial : serials->format();
    const uint64_t end = uint64_t{format.address} + format.bytes;
    const std::string outside = serialOutsideChip(format, state_);
    if (!outside.empty()) {
        complain(outside);
        return false;
    }
    uint64_t value = 0;
    std::string error;
    if (pooled) {
        value = *row_->serial;
    } else if (!serials->take(value, error)) {
        complain(fillIn(programText(Txt::SerialCounterFailed, state_.language),
                        {serials->path(), error}));
        return false;
    }
    serial_ = value;
    DataBuffers& buffers = state_.buffers;
    ostrel::stampSerial(buffers.flashUpTo(static_cast<uint32_t>(end)) + format.address, value,
                        format);
    // The number must reach the chip even where the image ends before it.
    if (!buffers.rangeEnabled && buffers.flashDataLength >= 0 &&
        static_cast<uint64_t>(buffers.flashDataLength) < end)
        buffers.flashDataLength = static_cast<int32_t>(end);
    buffers.ShowFlash(state_.selectedRecord().flashSize);
    return true;
}

bool ProductionRun::startRow(ChipCommand command) {
    ChipRow row;
    row.time = clock();
    row.programmer = programmer;
    row.chip = gbkToUtf8(chipNamesOf(state_.selectedRecord(), state_.selected).joined());
    row.chipId = chipId;
    row.command = commandName(command);
    std::string error;
    databaseAway_ = !database->start(row, error);
    uint64_t gave = 0;
    if (databaseAway_ && database->leaseUsedUp(gave)) {
        complain(
            fillIn(programText(Txt::LeaseUsedUp, state_.language),
                   {databaseShownName(database->url()), error, row.product, std::to_string(gave)}));
        return false;
    }
    if (databaseAway_) {
        complain(databaseProblem(Txt::DatabaseAway, database->url(), error, state_.language));
        return false;
    }
    row_ = row;
    lastRow_ = row.id;
    database->tellProgrammer(programmer, "programming", 0);
    return true;
}

bool ProductionRun::finishRow(const ChipLogLine& line, bool writeBegun) {
    ChipRow outcome = *row_;
    row_.reset();
    outcome.result = line.result;
    outcome.cause = line.cause;
    outcome.message = line.message;
    outcome.bytes = line.bytes;
    outcome.crc32 = line.crc32;
    outcome.seconds = line.seconds;
    std::string error, spoolError;
    const StationLink::Kept kept = database->finish(outcome, writeBegun, error, spoolError);
    database->tellFinished(programmer, runner_.lock().batchActive() ? "waiting" : "idle",
                           outcome.result, outcome.serial);
    switch (kept) {
        case StationLink::Kept::Stored:
            return true;
        case StationLink::Kept::Spooled:
            // A chip started from the lease was meant for the spool.
            if (outcome.id == 0) return true;
            complain(fillIn(programText(Txt::DatabaseSpooled, state_.language),
                            {databaseReason(database->url(), error), database->spool().path()}));
            return true;
        case StationLink::Kept::Lost:
            break;
    }
    complain(
        fillIn(programText(Txt::DatabaseRecordLost, state_.language),
               {databaseReason(database->url(), error), database->spool().path(), spoolError}));
    return false;
}

bool ProductionRun::beforeChip(ChipCommand command) {
    if (!recorded(command)) return true;
    row_.reset();
    lastRow_ = 0;
    databaseAway_ = false;
    if (!log_.isOpen() && database == nullptr) {
        complain(fillIn(programText(Txt::ProductionLogUnwritable, state_.language),
                        {log_.path(), "not open"}));
        return false;
    }
    if (runner_.lock().batchActive()) chipId = chipIdText(runner_.lastIdReply().id);
    if (database != nullptr && !startRow(command)) return false;
    if (!stampSerial(command)) return false;
    startMs_ = ui_.monotonicMs();
    return true;
}

bool ProductionRun::afterChip(const CommandReport& report) {
    return recordLater || record(report);
}

bool ProductionRun::record(const CommandReport& report) {
    if (!recorded(report.command)) return true;
    const CommandStatus status = report.status;
    // Auto is done only when its verify passed. Where no verify runs (its
    // option cleared, a Write) a chip that took its number keeps it all the
    // same: a number is never written into two chips.
    if (serials != nullptr && serial_) {
        std::string ignored;  // a counter that cannot be written stops the next chip
        if (status == CommandStatus::Done)
            serials->passed();
        else
            serials->failed(ignored);
    }
    if (status == CommandStatus::NotRun) {
        // A chip whose row was started but that never ran gives its number back.
        if (!row_) return true;
        ChipLogLine notRun;
        notRun.result = "failed";
        notRun.cause = causeName(FailureCause::Refused);
        notRun.message = "the chip was not started";
        return finishRow(notRun, false);
    }

    ChipLogLine line;
    line.time = clock();
    line.programmer = programmer;
    const ChipNames names = chipNamesOf(state_.selectedRecord(), state_.selected);
    line.chip = gbkToUtf8(names.joined());
    line.chipId = chipId;
    line.seconds = static_cast<double>(ui_.monotonicMs() - startMs_) / 1000.0;
    line.serial = serial_;
    // Only the bytes moved are made ready: the rest of the buffer is not touched.
    const uint32_t end = static_cast<uint32_t>(std::max<int64_t>(report.moved.end, 0));
    describeCommand(report, state_.buffers.flashUpTo(end), gbkToUtf8(names.type), line);

    // One outcome, decided before it is written anywhere. The log goes
    // first, as nothing stands in for it: a chip whose line is lost has not
    // passed, and its row says so too. The row has the spool behind it.
    std::string error;
    const bool logLost = log_.isOpen() && !log_.append(chipLogText(line), error);
    if (logLost) {
        line.result = "failed";
        line.cause = causeName(FailureCause::RecordFailed);
        line.message =
            fillIn(programText(Txt::ProductionLogUnwritable, LangEnglish), {log_.path(), error});
    }
    const bool chipPassed = status == CommandStatus::Done && !logLost;
    // Only a chip whose job stopped before the write may give its number
    // back; wherever else it stopped, the number may be on the chip.
    const std::optional<Failure>& failure = report.failure;
    const bool writeBegun = status != CommandStatus::NoProgrammer &&
                            !(failure && (failure->operation == Operation::Erase ||
                                          failure->operation == Operation::BlankCheck));
    if (row_ && !finishRow(line, writeBegun)) {
        ++failed_;
        showCounts();
        return false;
    }
    if (logLost) {
        ++failed_;
        showCounts();
        complain(fillIn(programText(Txt::ProductionLogUnwritable, state_.language),
                        {log_.path(), error}));
        return false;
    }
    ++(chipPassed ? passed_ : failed_);
    showCounts();
    return true;
}

void ProductionRun::complain(const std::string& text) {
    problem_ = text;
    // The log pane keeps what the box said once it is closed.
    ui_.insertLogLine(text + " (" + ui_.timeOfDay() + ")");
    ui_.errorBox(text);
}

std::string ProductionRun::holdingText() const {
    uint64_t left = 0;
    int waiting = 0;
    if (database == nullptr || !database->holding(left, waiting)) return "";
    return fillIn(programText(Txt::LeaseHolding, state_.language),
                  {std::to_string(left), std::to_string(waiting)});
}

void ProductionRun::showCounts() {
    const std::string holding = holdingText();
    ui_.setStatusText(PanelBatchCounts, fillIn(programText(Txt::ProductionCounts, state_.language),
                                               {std::to_string(passed_), std::to_string(failed_)}) +
                                            (holding.empty() ? "" : " " + holding));
}

}  // namespace ostrel
