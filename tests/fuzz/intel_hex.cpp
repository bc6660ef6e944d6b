// Intel HEX reader: any bytes as a ".hex" file. Nothing outside the target may
// change, and every box is one of the reader's own messages.

#include "buffers/intel_hex.h"

#include "fuzz/record_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    ostrel::fuzzing::fuzzRecordReader(
        ostrel::ReadIntelHex, data, size,
        {"File Read Operation Failed", "Error reading File", "Illegal Line found",
         "Illegal Char in File", "File exceeds Maximum Size", "Checksum Error type 0",
         "Invalid EOF Record", "Invalid Record Length for type 2",
         "Invalid Record Length for type 4", "Checksum Error type 2", "Checksum Error type 4",
         "Invalid Record type"},
        {"File Read Operation Failed", "Error reading File"});
    return 0;
}
