#pragma once
// Small texts several parts of the program write the same way: a JSON string
// for the machine-readable outputs, and numbers in hexadecimal as the messages
// and logs show them.

#include <cstdint>
#include <string>

namespace ostrel {

// `text` with the letters A to Z made small; every other byte as it was, so
// that the result does not depend on the locale.
std::string asciiLower(std::string text);

// A JSON string literal of UTF-8 text, quotes included. Control characters
// are escaped; bytes from 0x80 up pass through unchanged.
std::string jsonString(const std::string& text);

// `value` in upper-case hexadecimal, zero-padded to at least `digits` digits.
std::string hexDigits(uint64_t value, int digits);

// An address as the error messages name it: "1F3Ah".
std::string hexAddress(int64_t address);

}  // namespace ostrel
