// S-record reader: any bytes as an ".eep" file that starts with "S" (or any
// other). Nothing outside the target may change, and every box is one of the
// reader's own messages.

#include "buffers/srecord.h"

#include "fuzz/record_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using ostrel::Txt;
    ostrel::fuzzing::fuzzRecordReader(
        ostrel::ReadSRecord, ostrel::FileFormat::SRecord, data, size,
        {Txt::FileReadOperationFailed, Txt::IllegalLineFound, Txt::IllegalCharInFile,
         Txt::ChecksumError, Txt::FileExceedsMaximumSize});
    return 0;
}
