#include "operations/failure_words.h"

#include "base/messages.h"
#include "base/text_format.h"
#include "base/texts.h"
#include "operations/verify_differences.h"

namespace ostrel {
namespace {

Txt operationText(Operation operation) {
    switch (operation) {
        case Operation::Read:
            return Txt::OperationRead;
        case Operation::Erase:
            return Txt::OperationErase;
        case Operation::Write:
            return Txt::OperationWrite;
        case Operation::Verify:
            return Txt::OperationVerify;
        case Operation::BlankCheck:
        case Operation::None:
            break;
    }
    return Txt::OperationBlankCheck;
}

}  // namespace

std::string failureText(const Failure& failure, int language, const std::string& typeText) {
    switch (failure.cause) {
        case FailureCause::NoProgrammer:
            return messageText(Msg::MsgNotConnected, language);
        case FailureCause::NoAnswer:
            return programText(Txt::SetupNoAnswer, language);
        case FailureCause::IdNoAnswer:
            return programText(Txt::ChipIdNoAnswer, language);
        case FailureCause::TransferFailed:
            return fillIn(programText(Txt::TransferFailed, language),
                          {programText(operationText(failure.operation), language),
                           hexAddress(failure.address)});
        case FailureCause::TimeOut:
            return fillIn(programText(Txt::EraseNotFinished, language),
                          {std::to_string(failure.polls)});
        case FailureCause::Difference:
        case FailureCause::WriteNotTaken:
            return messageText(Msg::MsgVerifyErrorAddress, language) + hexAddress(failure.address);
        case FailureCause::NotErased:
            return messageText(Msg::MsgVerifyErrorAddress, language) + hexAddress(failure.address) +
                   "\n" + writeFaultText(WriteFault::NotErased, language);
        case FailureCause::Protected:
            return messageText(Msg::MsgVerifyErrorAddress, language) + hexAddress(failure.address) +
                   "\n" + writeFaultText(WriteFault::NotTaken, language);
        case FailureCause::EraseNotTaken:
            return fillIn(programText(Txt::EraseNotTaken, language), {hexAddress(failure.address)});
        case FailureCause::NotBlank:
            return messageText(Msg::MsgChipNotEmpty, language);
        case FailureCause::NotStreamed:
            return fillIn(programText(Txt::TypeNotStreamed, language), {typeText});
        case FailureCause::NoErase:
            return fillIn(programText(Txt::ClassHasNoErase, language), {typeText});
        case FailureCause::ChipTooLarge:
            return programText(Txt::ChipTooLarge, language);
        case FailureCause::NoPageSize:
            return programText(Txt::NoPageSize, language);
        case FailureCause::Stopped:
        case FailureCause::Refused:
        case FailureCause::RecordFailed:
        case FailureCause::ReadsDiffer:  // its words need the reads (readsDifferText)
        case FailureCause::FileError:
            break;
    }
    return {};
}

std::string readsDifferText(const ReadsCompared& reads, int language) {
    return fillIn(
        programText(Txt::ReadsDiffer, language),
        {std::to_string(reads.bytes), std::to_string(reads.blocks), hexAddress(reads.address),
         hexDigits(reads.first, 2) + "h", hexDigits(reads.second, 2) + "h"});
}

}  // namespace ostrel
