#pragma once
// What a chip command did, as values: the command, how it ended, the chip
// addresses whose bytes it moved, the first difference a verify found, why it
// failed, and how long it took. The runner hands one report per command to
// whoever shows it; the window words it in boxes and log lines, the command
// line in its own lines and JSON, the production record in a row.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "buffers/dump_check.h"
#include "operations/stream_span.h"

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
    Done,          // ran to its end
    NotRun,        // refused before a job: no data to write or verify, or
                   // another command runs
    NoProgrammer,  // the job could not begin (the failure says why)
    Mismatch,      // blank check or verify found a difference
    Skipped,       // nothing would move: Read or Write of a type that is not
                   // streamed, Erase of a class without one (Auto and batch
                   // mode stop)
    Failed,        // a transfer failed, an erase did not finish, or the chip's
                   // record could not be kept
    Stopped,       // stopped on request after a block
};

// The name of a command wherever a machine reads it (the production log, the
// JSON of the command line): "read", "erase", "write", "verify", "blank", "auto".
const char* commandName(ChipCommand command);

// The streaming and erasing steps a command is made of.
enum class Operation { None, Read, Erase, Write, Verify, BlankCheck };

// "read", "erase", "write", "verify", "blank"; "" for None.
const char* operationName(Operation operation);

// Why a command did not end as it should.
enum class FailureCause {
    NoProgrammer,    // no programmer could be opened
    NoAnswer,        // it was opened but did not answer the chip set-up
    IdNoAnswer,      // it did not answer the ID read of the chip check
    TransferFailed,  // a block or a command did not go through
    TimeOut,         // the erase did not finish within its bound of polls
    Difference,      // verify: the chip differs from the data
    NotBlank,        // blank check: a byte is not 0xFF
    WriteNotTaken,   // after a write the chip does not hold the data
    NotErased,       // after a write the chip holds 0 bits where the data has 1s
    Protected,       // after a write the chip kept 1 bits the data clears
    EraseNotTaken,   // after an erase the chip is not blank (a write-protected
                     // one ignores the erase)
    NotStreamed,     // the chip's type is neither read nor written
    NoErase,         // the chip's class has no erase
    ChipTooLarge,    // the chip is larger than the FLASH buffer
    NoPageSize,      // the record has no page size to erase by
    Stopped,         // stopped on request
    Refused,         // the production run refused the chip before its job
    RecordFailed,    // the chip's production record could not be written
    FileError,       // the file could not be read or written
    ReadsDiffer,     // read twice: the second read differed from the first
};

// The cause's stable name for machines: "no_programmer", "transfer_failed", ...
const char* causeName(FailureCause cause);

struct Failure {
    Operation operation = Operation::None;
    FailureCause cause = FailureCause::TransferFailed;
    int64_t address = -1;  // where it stopped, -1 when no address applies
    int64_t polls = 0;     // TimeOut: the status polls made
    // NoProgrammer: one is attached but could not be opened (no access, or
    // another program holds it).
    bool unusable = false;
};

// The first byte where the chip and the data differ.
struct Difference {
    int64_t address = 0;
    uint8_t chipByte = 0;
    uint8_t fileByte = 0;
};

// A read done twice: how the second read compared with the first, block by
// block as it came.
struct ReadsCompared {
    uint64_t bytes = 0;    // bytes that differ
    uint64_t blocks = 0;   // stream blocks that hold them
    int64_t address = -1;  // the first differing address
    uint8_t first = 0;     // its byte in the first read
    uint8_t second = 0;    // and in the second
    // The differing blocks, neighbours joined.
    std::vector<AddressSpan> spans;
    bool matched() const { return bytes == 0; }
};

struct CommandReport {
    ChipCommand command = ChipCommand::Read;
    CommandStatus status = CommandStatus::NotRun;
    // The chip addresses [start, end) whose bytes were read, written or
    // compared; up to the failure when one stopped the command.
    AddressSpan moved;
    std::optional<Difference> difference;
    std::optional<Failure> failure;
    // From the start of the job to the end of its operations; 0 when no job ran.
    int64_t elapsedMs = 0;
    // Auto: its verify ran and found the chip equal to the data.
    bool verified = false;
    // Read twice: how the reads compared (the first read is the one kept).
    std::optional<ReadsCompared> reads;
    // Read: what the bytes read look like (a blank chip, one without power,
    // a stuck data line, a chip smaller than chosen).
    std::vector<DumpWarning> warnings;

    uint64_t movedBytes() const {
        return moved.end > moved.start ? static_cast<uint64_t>(moved.end - moved.start) : 0;
    }
    FailureCause cause() const { return failure ? failure->cause : FailureCause::TransferFailed; }
};

}  // namespace ostrel
