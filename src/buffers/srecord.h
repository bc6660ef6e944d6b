#pragma once
// Motorola S-record files to and from a byte array. The reader accepts data
// records S1 to S3, ends at S7 to S9, or at the end of the file when an intact
// S5 or S6 count record matches the data records read, and skips every other
// kind of line that starts with "S"; it never writes at or beyond target + limit. The writer picks
// the address size from the array's length and emits 16-byte records, skipping
// those that are all 0xFF.

#include <cstdint>
#include <string>

#include "base/ui_port.h"
#include "buffers/codec_io.h"

namespace ostrel {

// Lines are at most this long; a longer one is cut and the rest becomes the next line.
inline constexpr std::size_t kSRecordLineRead = 100;

// Returns the highest address written plus 1, or 0 after an error (already
// shown); `*failed` (if given) tells the error apart from a file without data
// records, which also yields 0. A field that reaches past the end of its line reads as an illegal
// character ("Illegal Char in File"). A data record whose count is too small to
// hold its own address and checksum cannot be intact: it fails with "Checksum
// Error" before anything of it is stored.
int32_t ReadSRecord(LineReader& lines, uint8_t* target, uint32_t limit, UiPort& ui,
                    bool* failed = nullptr);
// The same over a file; a file that cannot be opened shows "Cannot open file <path>".
int32_t ReadSRecord(const std::string& path, uint8_t* target, uint32_t limit, UiPort& ui);

// Writes `count` bytes of `source` to an open descriptor; false when a write failed.
bool WriteSRecord(int fd, const uint8_t* source, uint32_t count);
// Creates (or replaces) the file; false when it cannot be created or written.
bool WriteSRecord(const std::string& path, const uint8_t* source, uint32_t count);

}  // namespace ostrel
