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
// endings; empty lines allowed), at least one record. Raw for anything else
// and for an empty content.
FileFormat recordTextFormat(const char* bytes, std::size_t size);

// The same over content that arrives in pieces. It gives up at the first byte
// record text cannot hold, so a binary image costs a few bytes, not a whole scan.
class RecordTextScan {
  public:
    // False once the content seen so far cannot be record text.
    bool feed(const char* bytes, std::size_t size);
    // The format of all the content fed (which must all have been taken).
    FileFormat result() const;

  private:
    enum class State { LineStart, AfterS, Digits, AfterCr };
    bool startRecord(FileFormat kind);
    bool step(unsigned char c);

    State state_ = State::LineStart;
    FileFormat kind_ = FileFormat::Raw;
};

// "Intel HEX", "S-record", "raw binary" (the capsule's header skipped is still raw).
const char* formatName(FileFormat format);

}  // namespace ostrel
