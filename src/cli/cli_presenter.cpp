#include "cli/cli_presenter.h"

#include "base/text_format.h"
#include "base/texts.h"
#include "cli/outcome_lines.h"
#include "operations/failure_words.h"
#include "operations/verify_differences.h"

namespace ostrel::cli {
namespace {

std::string byteText(uint8_t value) {
    return hexDigits(value, 2) + "h";
}

// The line of a command that did what it should: the size it names is the
// size it moved.
std::string doneLine(const CommandReport& report, const CliContext& c) {
    const auto text = [&c](Txt key, std::initializer_list<std::string> values) {
        return fillIn(programText(key, c.language), values);
    };
    const std::string seconds = secondsText(report.elapsedMs);
    const std::string size = sizeText(report.movedBytes());
    switch (report.command) {
        case ChipCommand::Read:
            return text(Txt::CliOutcomeRead, {size, c.chip, c.file, c.formatName, seconds});
        case ChipCommand::Write:
            return text(Txt::CliOutcomeWrite, {size, c.file, c.formatName, c.chip, seconds});
        case ChipCommand::Verify:
        case ChipCommand::VerifyAll:
            return text(Txt::CliOutcomeVerify, {size, c.chip, c.file, c.formatName, seconds});
        case ChipCommand::Auto:
            return text(Txt::CliOutcomeAuto, {size, c.file, c.formatName, c.chip, seconds});
        case ChipCommand::Erase:
            return text(Txt::CliOutcomeErase, {c.chip, seconds});
        case ChipCommand::BlankCheck:
            return text(Txt::CliOutcomeBlank, {c.chip});
    }
    return {};
}

int exitFor(CommandStatus status, FailureCause cause) {
    switch (cause) {
        case FailureCause::NoProgrammer:
        case FailureCause::NoAnswer:
            return ExitNoProgrammer;
        case FailureCause::Difference:
        case FailureCause::NotBlank:
        case FailureCause::WriteNotTaken:
        case FailureCause::NotErased:
        case FailureCause::Protected:
        case FailureCause::EraseNotTaken:
        case FailureCause::ReadsDiffer:
            return ExitNo;
        case FailureCause::NotStreamed:
        case FailureCause::NoErase:
        case FailureCause::ChipTooLarge:
        case FailureCause::NoPageSize:
        case FailureCause::FileError:
            return ExitUsage;
        case FailureCause::Stopped:
            return ExitInterrupted;
        case FailureCause::IdNoAnswer:
        case FailureCause::TransferFailed:
        case FailureCause::TimeOut:
        case FailureCause::Refused:
        case FailureCause::RecordFailed:
            break;
    }
    return status == CommandStatus::Mismatch ? ExitNo : ExitTransfer;
}

}  // namespace

// The warnings about the bytes read, and whether two reads matched, as lines
// and as fields of the result object.
void readFindings(const CommandReport& report, const CliContext& c, CliOutcome& out) {
    std::string list;
    for (const DumpWarning& warning : report.warnings) {
        const std::string line = dumpWarningText(warning, c.language);
        out.warnings.push_back(line);
        list += std::string(list.empty() ? "" : ",") +
                "{\"kind\":" + jsonString(dumpLookName(warning.look)) +
                ",\"message\":" + jsonString(line);
        if (warning.look == DumpLook::StuckBit)
            list += ",\"bit\":" + std::to_string(warning.bit) +
                    ",\"value\":" + std::to_string(warning.stuckAt);
        if (warning.look == DumpLook::Repeats || warning.look == DumpLook::Pattern)
            list += ",\"bytes\":" + std::to_string(warning.period);
        list += "}";
    }
    if (report.reads) {
        const ReadsCompared& reads = *report.reads;
        out.resultFields += ",\"reads_matched\":" + std::string(reads.matched() ? "true" : "false");
        if (!reads.matched())
            out.resultFields += ",\"differing_bytes\":" + std::to_string(reads.bytes) +
                                ",\"differing_blocks\":" + std::to_string(reads.blocks) +
                                ",\"address\":" + std::to_string(reads.address) +
                                ",\"first\":" + std::to_string(reads.first) +
                                ",\"second\":" + std::to_string(reads.second);
    }
    if (report.command == ChipCommand::Read) out.resultFields += ",\"warnings\":[" + list + "]";
}

CliOutcome cliOutcome(const CommandReport& report, const CliContext& c) {
    CliOutcome out;
    const auto text = [&c](Txt key, std::initializer_list<std::string> values) {
        return fillIn(programText(key, c.language), values);
    };
    readFindings(report, c, out);
    if (report.status == CommandStatus::Done) {
        out.line = doneLine(report, c);
        // Chinese sentences follow each other without a space.
        if (report.reads) out.line += (c.language == 2 ? " " : "") + text(Txt::ReadsMatched, {});
        if (c.serial) out.line += " " + text(Txt::SerialWritten, {std::to_string(*c.serial)});
        out.message = out.line;
        return out;
    }
    if (report.status == CommandStatus::NotRun && !report.failure) {
        out.exit = ExitUsage;
        out.error = text(Txt::CliNoData, {c.file});
        out.message = out.error;
        return out;
    }
    const Failure failure = report.failure.value_or(Failure{});
    out.exit = exitFor(report.status, failure.cause);
    switch (failure.cause) {
        case FailureCause::NoProgrammer:
            out.error = c.noProgrammer;
            break;
        case FailureCause::IdNoAnswer:
            break;
        case FailureCause::NoAnswer:
            // It was found: the advice for a programmer that is not there
            // would send the user looking in the wrong place.
            out.error = text(Txt::ProgrammerStoppedAnswering, {});
            break;
        case FailureCause::Difference:
        case FailureCause::WriteNotTaken:
        case FailureCause::NotErased:
        case FailureCause::Protected:
        case FailureCause::EraseNotTaken:
            if (report.command == ChipCommand::VerifyAll || !report.difference) break;
            out.error =
                text(Txt::CliVerifyDiffers, {c.chip, c.file, hexAddress(report.difference->address),
                                             byteText(report.difference->chipByte),
                                             byteText(report.difference->fileByte)});
            // After a write, what the difference says about its cause.
            if (failure.cause == FailureCause::NotErased)
                out.cause = writeFaultText(WriteFault::NotErased, c.language);
            if (failure.cause == FailureCause::Protected)
                out.cause = writeFaultText(WriteFault::NotTaken, c.language);
            if (failure.cause == FailureCause::EraseNotTaken)
                out.cause = failureText(failure, c.language, c.typeText);
            break;
        case FailureCause::Stopped: {
            const char* operation = operationName(failure.operation);
            out.error = text(Txt::CliStopped,
                             {operation[0] != '\0' ? operation : commandName(report.command)});
            break;
        }
        case FailureCause::Refused:
        case FailureCause::RecordFailed:
            // The production record has said why.
            out.message = c.recordProblem;
            return out;
        case FailureCause::FileError:
            // The file's own error has been shown.
            out.message = c.fileProblem;
            return out;
        case FailureCause::ReadsDiffer:
            if (!report.reads) break;
            out.error = readsDifferText(*report.reads, c.language);
            out.cause = text(Txt::CliReadsNotSaved, {c.file});
            out.message = out.error;
            return out;
        case FailureCause::TransferFailed:
        case FailureCause::TimeOut:
        case FailureCause::NotBlank:
        case FailureCause::NotStreamed:
        case FailureCause::NoErase:
        case FailureCause::ChipTooLarge:
        case FailureCause::NoPageSize:
            // The words every front end shares.
            break;
    }
    if (out.error.empty()) out.error = failureText(failure, c.language, c.typeText);
    if (report.difference) {
        out.jsonFields = ",\"address\":" + std::to_string(report.difference->address) +
                         ",\"chip\":" + std::to_string(report.difference->chipByte) +
                         ",\"file\":" + std::to_string(report.difference->fileByte);
    }
    out.message = out.error;
    return out;
}

}  // namespace ostrel::cli
