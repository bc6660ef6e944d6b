// The command line's words for every way a chip command can end: the exit
// status, the line or the error, and the JSON fields, taken from the report
// alone. The size a line names is the size the command moved.

#include "cli/cli_presenter.h"

#include <gtest/gtest.h>

#include "base/messages.h"

namespace ostrel::cli {
namespace {

CommandReport reportOf(ChipCommand command, CommandStatus status, AddressSpan moved = {},
                       std::optional<Failure> failure = std::nullopt,
                       std::optional<Difference> difference = std::nullopt) {
    CommandReport report;
    report.command = command;
    report.status = status;
    report.moved = moved;
    report.failure = failure;
    report.difference = difference;
    report.elapsedMs = 2140;
    return report;
}

TEST(CliPresenter, EachEndingHasItsStatusAndWords) {
    using C = ChipCommand;
    using S = CommandStatus;
    using F = FailureCause;
    const auto failed = [](F cause, Operation op = Operation::None, int64_t at = -1) {
        return Failure{op, cause, at, cause == F::TimeOut ? 2 : 0};
    };
    struct Case {
        const char* what;
        CommandReport report;
        int language;
        int exit;
        std::string line;   // "" for none
        std::string error;  // "" for none
        std::string json;   // the error's extra JSON fields
        std::string message;
        std::string cause = "";                         // the second error line
        std::optional<uint64_t> serial = std::nullopt;  // written by the production run
    };
    // A read done twice: matched, or three bytes in two blocks differed.
    const auto twice = [](CommandReport report, uint64_t bytes) {
        ReadsCompared reads;
        reads.bytes = bytes;
        reads.blocks = bytes == 0 ? 0 : 2;
        reads.address = bytes == 0 ? -1 : 0x1234;
        reads.first = 0x12;
        reads.second = 0x13;
        report.reads = reads;
        return report;
    };
    const std::string stopped =
        "read stopped on request after the current block; the job was ended and the operation "
        "is not complete.";
    const Case cases[] = {
        {"whole chip read", reportOf(C::Read, S::Done, {0, 0x800000}), LangEnglish, ExitDone,
         "Read 8 MiB of W25Q64JV into f.bin (raw binary) in 2.1 s.", "", "",
         "Read 8 MiB of W25Q64JV into f.bin (raw binary) in 2.1 s."},
        {"part of a chip read", reportOf(C::Read, S::Done, {0x40000, 0x40100}), LangEnglish,
         ExitDone, "Read 256 bytes of W25Q64JV into f.bin (raw binary) in 2.1 s.", "", "",
         "Read 256 bytes of W25Q64JV into f.bin (raw binary) in 2.1 s."},
        {"write", reportOf(C::Write, S::Done, {0, 300000}), LangEnglish, ExitDone,
         "Wrote 292.9 KiB of f.bin (raw binary) to W25Q64JV in 2.1 s.", "", "",
         "Wrote 292.9 KiB of f.bin (raw binary) to W25Q64JV in 2.1 s."},
        {"auto with its serial number", reportOf(C::Auto, S::Done, {0, 0x1000}), LangEnglish,
         ExitDone,
         "Erased, wrote and verified 4 KiB of f.bin (raw binary) on W25Q64JV in 2.1 s. Serial "
         "number 4096 written.",
         "", "",
         "Erased, wrote and verified 4 KiB of f.bin (raw binary) on W25Q64JV in 2.1 s. Serial "
         "number 4096 written.",
         "", 4096},
        {"blank", reportOf(C::BlankCheck, S::Done, {0, 0x800000}), LangEnglish, ExitDone,
         "W25Q64JV is blank.", "", "", "W25Q64JV is blank."},
        {"difference",
         reportOf(C::Verify, S::Mismatch, {0, 0x1300},
                  failed(F::Difference, Operation::Verify, 0x1234), Difference{0x1234, 0x00, 0xFF}),
         LangEnglish, ExitNo, "",
         "W25Q64JV differs from f.bin at address 1234h: the chip holds 00h, the file FFh.",
         ",\"address\":4660,\"chip\":0,\"file\":255",
         "W25Q64JV differs from f.bin at address 1234h: the chip holds 00h, the file FFh."},
        {"difference in Chinese",
         reportOf(C::Auto, S::Mismatch, {0, 0x1300}, failed(F::Difference, Operation::Verify, 0x10),
                  Difference{0x10, 0x12, 0x34}),
         LangSimplified, ExitNo, "", "W25Q64JV 与 f.bin 不同，地址 10h：芯片为 12h，文件为 34h。",
         ",\"address\":16,\"chip\":18,\"file\":52",
         "W25Q64JV 与 f.bin 不同，地址 10h：芯片为 12h，文件为 34h。"},
        {"not blank", reportOf(C::BlankCheck, S::Mismatch, {0, 0x100}, failed(F::NotBlank)),
         LangEnglish, ExitNo, "", "The chip is not empty.", "", "The chip is not empty."},
        {"a write that did not take",
         reportOf(C::Write, S::Mismatch, {0, 0x100}, failed(F::Protected, Operation::Verify, 0x80),
                  Difference{0x80, 0xFF, 0x00}),
         LangEnglish, ExitNo, "",
         "W25Q64JV differs from f.bin at address 80h: the chip holds FFh, the file 00h.",
         ",\"address\":128,\"chip\":255,\"file\":0", "",
         "The chip kept a 1 bit where the data has a 0: the write did not take. The chip may be "
         "write-protected."},
        {"a write over a chip not erased",
         reportOf(C::Auto, S::Mismatch, {0, 0x100}, failed(F::NotErased, Operation::Verify, 0x81),
                  Difference{0x81, 0x00, 0x01}),
         LangEnglish, ExitNo, "",
         "W25Q64JV differs from f.bin at address 81h: the chip holds 00h, the file 01h.",
         ",\"address\":129,\"chip\":0,\"file\":1", "",
         "The chip holds a 0 bit where the data has a 1: it was not erased. A write only clears "
         "bits: erase the chip first, or use AUTO.",
         4097},
        {"no programmer", reportOf(C::Erase, S::NoProgrammer, {}, failed(F::NoProgrammer)),
         LangEnglish, ExitNoProgrammer, "", "(not found)", "", "(not found)"},
        {"stopped answering at the set-up",
         reportOf(C::Erase, S::NoProgrammer, {}, failed(F::NoAnswer)), LangEnglish,
         ExitNoProgrammer, "",
         "The programmer was found but stopped answering at the chip set-up. Unplug it, plug it "
         "in again and retry.",
         "", ""},
        {"transfer failed",
         reportOf(C::Write, S::Failed, {0, 0x300},
                  failed(F::TransferFailed, Operation::Write, 0x300)),
         LangEnglish, ExitTransfer, "",
         "Write stopped at address 300h: the programmer did not answer. The operation is not "
         "complete.",
         "", ""},
        {"erase time-out", reportOf(C::Erase, S::Failed, {}, failed(F::TimeOut, Operation::Erase)),
         LangEnglish, ExitTransfer, "",
         "The erase did not finish: the chip was still busy after 2 status polls, or the "
         "programmer did not answer.",
         "", ""},
        {"type not streamed", reportOf(C::Read, S::Skipped, {}, failed(F::NotStreamed)),
         LangEnglish, ExitUsage, "",
         "This programmer cannot read or write chips of the type SPI_FLASH; nothing was "
         "transferred.",
         "", ""},
        {"no erase", reportOf(C::Erase, S::Skipped, {}, failed(F::NoErase)), LangEnglish, ExitUsage,
         "", "This programmer cannot erase chips of the type SPI_FLASH; nothing was erased.", "",
         ""},
        {"chip too large", reportOf(C::Read, S::NoProgrammer, {}, failed(F::ChipTooLarge)),
         LangEnglish, ExitUsage, "",
         "The chip is larger than the 64 MB buffer and cannot be programmed.", "", ""},
        {"no page size", reportOf(C::Erase, S::Failed, {}, failed(F::NoPageSize, Operation::Erase)),
         LangEnglish, ExitUsage, "", "The chip's page size is 0, so its pages cannot be erased.",
         "", ""},
        {"stopped",
         reportOf(C::Read, S::Stopped, {0, 0x1000}, failed(F::Stopped, Operation::Read, 0x1000)),
         LangEnglish, ExitInterrupted, "", stopped, "", stopped},
        {"refused by the record", reportOf(C::Auto, S::Failed, {}, failed(F::Refused)), LangEnglish,
         ExitTransfer, "", "", "", "(record)"},
        {"record not kept", reportOf(C::Auto, S::Failed, {0, 0x100}, failed(F::RecordFailed)),
         LangEnglish, ExitTransfer, "", "", "", "(record)"},
        {"file not saved", reportOf(C::Read, S::Failed, {0, 0x100}, failed(F::FileError)),
         LangEnglish, ExitUsage, "", "", "", "(file)"},
        {"read twice, matched, in Chinese", twice(reportOf(C::Read, S::Done, {0, 0x800000}), 0),
         LangSimplified, ExitDone,
         "已读出 8 MiB 数据：W25Q64JV → f.bin（raw binary），用时 2.1 "
         "秒。芯片已读出两次，两次一致。",
         "", "",
         "已读出 8 MiB 数据：W25Q64JV → f.bin（raw binary），用时 2.1 "
         "秒。芯片已读出两次，两次一致。"},
        {"reads differ",
         twice(reportOf(C::Read, S::Mismatch, {0, 0x800000},
                        failed(F::ReadsDiffer, Operation::Read, 0x1234)),
               3),
         LangEnglish, ExitNo, "",
         "The two reads differ in 3 bytes in 2 blocks, the first at address 1234h: 12h in the "
         "first read, 13h in the second. A contact that is not firm (a slipping clip) is the "
         "likely cause.",
         "", "", "Nothing was saved to f.bin."},
        {"no data", reportOf(C::Write, S::NotRun), LangEnglish, ExitUsage, "",
         "The file f.bin holds no data: there is nothing to write or verify.", "",
         "The file f.bin holds no data: there is nothing to write or verify."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CliContext context;
        context.language = c.language;
        context.chip = "W25Q64JV";
        context.typeText = "SPI_FLASH";
        context.file = "f.bin";
        context.formatName = "raw binary";
        context.noProgrammer = "(not found)";
        context.recordProblem = "(record)";
        context.fileProblem = "(file)";
        context.serial = c.serial;
        const CliOutcome out = cliOutcome(c.report, context);
        EXPECT_EQ(out.exit, c.exit);
        EXPECT_EQ(out.line, c.line);
        EXPECT_EQ(out.error, c.error);
        EXPECT_EQ(out.jsonFields, c.json);
        EXPECT_EQ(out.message, c.message.empty() ? c.error : c.message);
        EXPECT_EQ(out.cause, c.cause);
    }
}

}  // namespace
}  // namespace ostrel::cli
