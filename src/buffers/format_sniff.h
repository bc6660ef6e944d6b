#pragma once
// What a file holds, whatever its name says: a file saved as ".bin" may well
// be Intel HEX or S-record text, and programmed as raw bytes it would put that
// text on the chip.

#include <cstddef>
#include <string>

namespace ostrel {

enum class FileFormat { Raw, Capsule, IntelHex, SRecord };

// The record format the whole content is written in: every line a record of
// one format (":" or "S" and a digit, then hexadecimal digits, CR LF or LF
// endings; empty lines allowed), at least one record. Raw for anything else,
// for an empty file and for a file that cannot be read.
FileFormat recordTextFormat(const std::string& path);
FileFormat recordTextFormat(const char* bytes, std::size_t size);

// "Intel HEX", "S-record", "raw binary" (the capsule's header skipped is still raw).
const char* formatName(FileFormat format);

}  // namespace ostrel
