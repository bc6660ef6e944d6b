#pragma once
// Intel HEX files to and from a byte array. The reader writes only the bytes
// the data records name, never at or beyond target + limit, and says what is
// wrong with a malformed file as a value; the writer emits 32-byte
// data records, skips those that are all 0xFF, and moves to the next 64 KiB
// block with an extended linear address record.

#include <cstdint>
#include <string>

#include "buffers/codec_io.h"

namespace ostrel {

// Lines are at most this long; a longer one is cut and the rest becomes the next line.
inline constexpr std::size_t kIntelHexLineRead = 512;

// Reads records up to the end-of-file record. The result holds the highest
// address written plus 1, or the fault and its line; the bytes stored before
// a fault stay stored. A field that reaches past the end of its line is an
// illegal character, so a truncated record fails after the complete data bytes
// before the cut have been stored. `prepared` is as RecordReader says.
RecordRead ReadIntelHex(LineReader& lines, uint8_t* target, uint32_t limit,
                        uint32_t prepared = kAllPrepared);

// Writes `count` bytes of `source` to an open descriptor; false when a write failed.
bool WriteIntelHex(int fd, const uint8_t* source, uint32_t count);
// Creates (or replaces) the file; false when it cannot be created or written.
bool WriteIntelHex(const std::string& path, const uint8_t* source, uint32_t count);

}  // namespace ostrel
