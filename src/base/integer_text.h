#pragma once
// Integers typed by people or kept in text files: the catalogue editor's cells
// and the settings file's values read them the same way, as the platform's
// string-to-integer conversion does.

#include <cstdint>
#include <optional>
#include <string>

namespace ostrel {

// Which prefixes introduce hexadecimal digits: "$", "0x" and "0X" always; a bare
// "x" or "X" only where the platform's conversion takes it (the editor's cells).
enum class HexPrefixes { DollarAnd0x, AlsoBareX };

// Optional leading spaces, an optional sign, then decimal digits or, after a
// prefix, hexadecimal digits; the whole text must be used. Decimal values must
// fit a signed 32-bit number; hexadecimal ones take up to 32 bits and wrap into
// the signed range ("$FFFFFFFF" is -1), a sign negating those bits. nullopt
// for anything else, a bare prefix included.
std::optional<int32_t> parseIntegerText(const std::string& text, HexPrefixes prefixes);

}  // namespace ostrel
