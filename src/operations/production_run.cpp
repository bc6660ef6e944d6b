#include "operations/production_run.h"

#include "base/text_format.h"
#include "catalogue/chip_lookup.h"
#include "catalogue/gbk_text.h"
#include "catalogue/id_read.h"
#include "operations/stream_span.h"

namespace ostrel {

ProductionRun::ProductionRun(MainState& state, ProgrammerOps& ops, CommandRunner& runner,
                             UiPort& ui, ProductionLog& log)
    : state_(state), ops_(ops), runner_(runner), ui_(ui), log_(log) {}

bool serialWithinChip(const SerialFormat& format, const MainState& state, UiPort& ui) {
    const uint64_t end = uint64_t{format.address} + format.bytes;
    const uint32_t chipSize = DataBuffers::flashCountFor(state.selectedRecord().flashSize);
    if (end <= chipSize) return true;
    ui.errorBox(fillIn(
        programText(Txt::SerialOutsideChip, state.language),
        {hexAddress(format.address), std::to_string(format.bytes), std::to_string(chipSize)}));
    return false;
}

const char* ProductionRun::commandName(ChipCommand command) {
    switch (command) {
        case ChipCommand::Read:
            return "read";
        case ChipCommand::Erase:
            return "erase";
        case ChipCommand::Write:
            return "write";
        case ChipCommand::Verify:
        case ChipCommand::VerifyAll:
            return "verify";
        case ChipCommand::BlankCheck:
            return "blank";
        case ChipCommand::Auto:
            return "auto";
    }
    return "";
}

const char* ProductionRun::causeOf(CommandStatus status) {
    switch (status) {
        case CommandStatus::Done:
            return "";
        case CommandStatus::NotRun:
            return "not-started";
        case CommandStatus::NoProgrammer:
            return "no-programmer";
        case CommandStatus::Mismatch:
            return "difference";
        case CommandStatus::Skipped:
            return "not-streamed";
        case CommandStatus::Failed:
            return "transfer-failed";
        case CommandStatus::Stopped:
            return "stopped";
    }
    return "failed";
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
    if (!serialWithinChip(format, state_, ui_)) return false;
    uint64_t value = 0;
    std::string error;
    if (pooled) {
        value = *row_->serial;
    } else if (!serials->take(value, error)) {
        ui_.errorBox(fillIn(programText(Txt::SerialCounterFailed, state_.language),
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
    if (databaseAway_) {
        ui_.errorBox(fillIn(programText(Txt::DatabaseAway, state_.language),
                            {databaseShownName(database->url()), error}));
        return false;
    }
    row_ = row;
    lastRow_ = row.id;
    return true;
}

bool ProductionRun::finishRow(const ChipLogLine& line, CommandStatus status) {
    ChipRow outcome = *row_;
    row_.reset();
    outcome.result = line.result;
    outcome.cause = causeOf(status);
    outcome.message = line.message;
    outcome.bytes = line.bytes;
    outcome.crc32 = line.crc32;
    outcome.seconds = line.seconds;
    std::string error, spoolError;
    switch (database->finish(outcome, error, spoolError)) {
        case StationLink::Kept::Stored:
            return true;
        case StationLink::Kept::Spooled:
            ui_.errorBox(fillIn(programText(Txt::DatabaseSpooled, state_.language),
                                {error, database->spool().path()}));
            return true;
        case StationLink::Kept::Lost:
            break;
    }
    ui_.errorBox(fillIn(programText(Txt::DatabaseRecordLost, state_.language),
                        {error, database->spool().path(), spoolError}));
    return false;
}

bool ProductionRun::beforeChip(ChipCommand command) {
    if (!recorded(command)) return true;
    row_.reset();
    lastRow_ = 0;
    databaseAway_ = false;
    if (!log_.isOpen() && database == nullptr) {
        ui_.errorBox(fillIn(programText(Txt::ProductionLogUnwritable, state_.language),
                            {log_.path(), "not open"}));
        return false;
    }
    if (runner_.lock().batchActive()) chipId = chipIdText(detectedId(runner_.lastChipId()));
    if (database != nullptr && !startRow(command)) return false;
    if (!stampSerial(command)) return false;
    startMs_ = ui_.monotonicMs();
    return true;
}

bool ProductionRun::afterChip(ChipCommand command, CommandStatus status) {
    if (!recorded(command)) return true;
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
        notRun.message = "the chip was not started";
        return finishRow(notRun, status);
    }

    ChipLogLine line;
    line.time = clock();
    line.programmer = programmer;
    line.chip = gbkToUtf8(chipNamesOf(state_.selectedRecord(), state_.selected).joined());
    line.chipId = chipId;
    line.command = commandName(command);
    line.seconds = static_cast<double>(ui_.monotonicMs() - startMs_) / 1000.0;
    line.serial = serial_;
    line.result = status == CommandStatus::Done       ? "done"
                  : status == CommandStatus::Mismatch ? "different"
                                                      : "failed";
    if (status != CommandStatus::Done) {
        line.message = ops_.lastError();
        if (line.message.empty() && status == CommandStatus::NoProgrammer)
            line.message = messageText(Msg::MsgNotConnected, LangEnglish);
        if (line.message.empty() && status == CommandStatus::Stopped) line.message = "stopped";
        if (line.message.empty() && status == CommandStatus::Skipped)
            line.message = "the chip's type is not streamed";
    }
    // The bytes that went to the chip or were compared with it, or that the
    // read brought.
    const DataBuffers& buffers = state_.buffers;
    const ChipRecord& chip = state_.selectedRecord();
    AddressSpan span;
    if (command == ChipCommand::Read)
        span = {0, DataBuffers::flashCountFor(chip.flashSize)};
    else if (command == ChipCommand::Write || command == ChipCommand::Verify ||
             command == ChipCommand::Auto)
        span = buffers.rangeEnabled
                   ? pageAlignedRange(buffers.rangeStart, buffers.rangeEnd, chip.flashPage)
                   : dataLengthSpan(chip.flashSize, buffers.flashDataLength);
    if (span.end > span.start) {
        line.bytes = static_cast<uint64_t>(span.end - span.start);
        line.crc32 = crc32Of(buffers.flashUpTo(static_cast<uint32_t>(span.end)) + span.start,
                             static_cast<std::size_t>(line.bytes));
    }

    const bool chipPassed = status == CommandStatus::Done;
    if (row_ && !finishRow(line, status)) {
        ++failed_;
        showCounts();
        return false;
    }
    std::string error;
    if (log_.isOpen() && !log_.append(chipLogText(line), error)) {
        ++failed_;
        showCounts();
        ui_.errorBox(fillIn(programText(Txt::ProductionLogUnwritable, state_.language),
                            {log_.path(), error}));
        return false;
    }
    ++(chipPassed ? passed_ : failed_);
    showCounts();
    return true;
}

void ProductionRun::showCounts() {
    ui_.setStatusText(PanelBatchCounts, fillIn(programText(Txt::ProductionCounts, state_.language),
                                               {std::to_string(passed_), std::to_string(failed_)}));
}

}  // namespace ostrel
