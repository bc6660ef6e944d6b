#pragma once
// Motorola S-record files to and from a byte array. The reader accepts data
// records S1 to S3, ends at S7 to S9, or at the end of the file when an intact
// S5 or S6 count record matches the data records read, and skips every other
// kind of line that starts with "S"; it never writes at or beyond target + limit. The writer picks
// the address size from the array's length and emits 16-byte records, skipping
// those that are all 0xFF.

#include <cstdint>
#include <string>

#include "buffers/codec_io.h"

namespace ostrel {

// Lines are at most this long; a longer one is cut and the rest becomes the next line.
inline constexpr std::size_t kSRecordLineRead = 100;

// Reads records up to a termination record. The result holds the highest
// address written plus 1, or the fault and its line. A field that reaches past
// the end of its line is an illegal character. A data record whose count is too
// small to hold its own address and checksum cannot be intact: it fails as a
// checksum error before anything of it is stored. `prepared` is as
// RecordReader says.
RecordRead ReadSRecord(LineReader& lines, uint8_t* target, uint32_t limit,
                       uint32_t prepared = kAllPrepared);

// Writes `count` bytes of `source` to an open descriptor; false when a write failed.
bool WriteSRecord(int fd, const uint8_t* source, uint32_t count);
// Creates (or replaces) the file; false when it cannot be created or written.
bool WriteSRecord(const std::string& path, const uint8_t* source, uint32_t count);

}  // namespace ostrel
