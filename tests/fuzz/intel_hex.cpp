// Intel HEX reader: any bytes as a ".hex" file. Nothing outside the target may
// change, and every box is one of the reader's own messages.

#include "buffers/intel_hex.h"

#include "fuzz/record_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using ostrel::Txt;
    ostrel::fuzzing::fuzzRecordReader(
        ostrel::ReadIntelHex, ostrel::FileFormat::IntelHex, data, size,
        {Txt::FileReadOperationFailed, Txt::ErrorReadingFile, Txt::IllegalLineFound,
         Txt::IllegalCharInFile, Txt::FileExceedsMaximumSize, Txt::ChecksumErrorType0,
         Txt::InvalidEofRecord, Txt::InvalidRecordLengthType2, Txt::InvalidRecordLengthType4,
         Txt::ChecksumErrorType2, Txt::ChecksumErrorType4, Txt::InvalidRecordType},
        {ostrel::programText(Txt::FileReadOperationFailed, 0),
         ostrel::programText(Txt::ErrorReadingFile, 0)});
    return 0;
}
