// S-record reader: any bytes as an ".eep" file that starts with "S" (or any
// other). Nothing outside the target may change, and every box is one of the
// reader's own messages.

#include "buffers/srecord.h"

#include "fuzz/record_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    ostrel::fuzzing::fuzzRecordReader(
        ostrel::ReadSRecord, data, size,
        {"File Read Operation Failed", "Illegal Line found", "Illegal Char in File",
         "Checksum Error", "File exceeds Maximum Size"});
    return 0;
}
