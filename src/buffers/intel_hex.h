#pragma once
// Intel HEX files to and from a byte array. The reader writes only the bytes
// the data records name, never at or beyond target + limit, and tells the user
// about a malformed file in an English "Error" box; the writer emits 32-byte
// data records, skips those that are all 0xFF, and moves to the next 64 KiB
// block with an extended linear address record.

#include <cstdint>
#include <string>

#include "base/ui_port.h"
#include "buffers/codec_io.h"

namespace ostrel {

// Lines are at most this long; a longer one is cut and the rest becomes the next line.
inline constexpr std::size_t kIntelHexLineRead = 512;

// Returns the highest address written plus 1, or 0 after an error (already
// shown); `*failed` (if given) tells the error apart from a file without data
// records, which also yields 0. A field that reaches past the end of its line reads as an illegal
// character, so a truncated record fails with "Illegal Char in File" after the
// complete data bytes before the cut have been stored.
int32_t ReadIntelHex(LineReader& lines, uint8_t* target, uint32_t limit, UiPort& ui,
                     bool* failed = nullptr);
// The same over a file; a file that cannot be opened shows "Cannot open file <path>".
int32_t ReadIntelHex(const std::string& path, uint8_t* target, uint32_t limit, UiPort& ui);

// Writes `count` bytes of `source` to an open descriptor; false when a write failed.
bool WriteIntelHex(int fd, const uint8_t* source, uint32_t count);
// Creates (or replaces) the file; false when it cannot be created or written.
bool WriteIntelHex(const std::string& path, const uint8_t* source, uint32_t count);

}  // namespace ostrel
