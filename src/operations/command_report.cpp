#include "operations/command_report.h"

namespace ostrel {

const char* commandName(ChipCommand command) {
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

const char* operationName(Operation operation) {
    switch (operation) {
        case Operation::Read:
            return "read";
        case Operation::Erase:
            return "erase";
        case Operation::Write:
            return "write";
        case Operation::Verify:
            return "verify";
        case Operation::BlankCheck:
            return "blank";
        case Operation::None:
            break;
    }
    return "";
}

const char* causeName(FailureCause cause) {
    switch (cause) {
        case FailureCause::NoProgrammer:
            return "no_programmer";
        case FailureCause::NoAnswer:
            return "no_answer";
        case FailureCause::IdNoAnswer:
            return "id_no_answer";
        case FailureCause::TransferFailed:
            return "transfer_failed";
        case FailureCause::TimeOut:
            return "time_out";
        case FailureCause::Difference:
            return "difference";
        case FailureCause::NotBlank:
            return "not_blank";
        case FailureCause::WriteNotTaken:
            return "write_not_taken";
        case FailureCause::NotErased:
            return "not_erased";
        case FailureCause::Protected:
            return "protected";
        case FailureCause::EraseNotTaken:
            return "erase_not_taken";
        case FailureCause::NotStreamed:
            return "type_not_streamed";
        case FailureCause::NoErase:
            return "no_erase";
        case FailureCause::ChipTooLarge:
            return "chip_too_large";
        case FailureCause::NoPageSize:
            return "no_page_size";
        case FailureCause::Stopped:
            return "stopped";
        case FailureCause::Refused:
            return "refused";
        case FailureCause::RecordFailed:
            return "record_failed";
        case FailureCause::FileError:
            return "file_error";
        case FailureCause::ReadsDiffer:
            return "reads_differ";
    }
    return "";
}

}  // namespace ostrel
