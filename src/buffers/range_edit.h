#pragma once
// Hexadecimal edits: the address range edits of the main window and the four
// edits of the fill dialog take hexadecimal text without a prefix. Their
// values are read as "0x" + text, a signed 32-bit number of at most eight
// significant digits, so "FFFFFFFF" reads as -1 and the callers must treat
// negative values as out of range.

#include <cstdint>
#include <optional>
#include <string>

namespace ostrel {

// 0 to 15 for "0"-"9", "A"-"F" and "a"-"f"; -1 for anything else.
int hexDigitValue(char32_t c);

// The shared key filter: digits, "A" to "F", "a" to "f" and backspace (8) pass.
bool isHexEditKey(char32_t key);

// The value of `text` read as "0x" + text; empty when it does not convert.
std::optional<int32_t> hexTextToInt(const std::string& text);

// "'0x12G' is not a valid integer value": the standard conversion error.
std::string conversionErrorText(const std::string& text);

// `value` in upper-case hexadecimal without leading zeros ("%X").
std::string hexText(uint32_t value);

}  // namespace ostrel
