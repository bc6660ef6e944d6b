#pragma once
// Conversions between the catalogue's 8-bit text (code page 936, GBK) and the
// UTF-8 that the windows and the command line use. The conversion is the system's;
// nothing is guessed from the bytes.

#include <string>

namespace ostrel {

// GBK to UTF-8. A byte sequence that is not GBK becomes U+FFFD for each
// offending byte and the rest is converted; `ok` (when given) is then false.
std::string gbkToUtf8(const std::string& gbk, bool* ok = nullptr);

// UTF-8 to GBK. A character GBK cannot hold, or a malformed UTF-8 byte,
// becomes '?' and `ok` (when given) is then false.
std::string utf8ToGbk(const std::string& utf8, bool* ok = nullptr);

}  // namespace ostrel
