#pragma once
// Serial numbers for a production run: each chip gets the image with a counter
// written into it, and the counter moves on only when the chip passed its
// verify. The next number is kept in a file, so a restart goes on from it.
//
// Several processes (one per programmer) may share one counter file. A number
// is taken from the file under a lock when a chip starts, so no two chips ever
// get the same number; a chip that fails gives its number back when nobody has
// taken one since, and otherwise keeps it for this process's next chip.

#include <cstdint>
#include <optional>
#include <string>

namespace ostrel {

struct SerialFormat {
    uint32_t address = 0;  // where the number goes in the image
    uint32_t bytes = 4;    // 1 to 8
    uint64_t start = 0;    // the first number, when the counter file has none
    uint64_t step = 1;
    bool bigEndian = false;
};

// "ADDR:BYTES:START[:STEP][:le|be]", numbers in decimal or, after 0x or $, in
// hexadecimal (a leading 0 is no octal prefix). False with `error` (English)
// set when it does not parse.
bool parseSerialFormat(const std::string& text, SerialFormat& format, std::string& error);

// Writes the low `bytes` bytes of `value` to `at` in the format's byte order.
void stampSerial(uint8_t* at, uint64_t value, const SerialFormat& format);

// True when `value` fits into the format's bytes.
bool serialFits(uint64_t value, const SerialFormat& format);

// The window's counter file, beside the day's production logs in the state
// folder: one series of numbers across the days.
inline constexpr const char* kSerialCounterName = "serial-counter";

// The counter of the command line's production log `logPath`: "LOG.counter"
// beside it, so that two products logged in one folder keep apart.
std::string serialCounterPathFor(const std::string& logPath);

// Before this program's counters were named after their logs, the command
// line kept one `serial-counter` in the log's folder. A log's counter that
// does not exist yet starts where that one stands, so that no number that
// went into a chip comes again. Does nothing when `counterPath` exists or
// there is no older counter.
void continueOlderCounter(const std::string& counterPath);

class SerialCounter {
  public:
    SerialCounter(std::string path, SerialFormat format);

    // The number for the next chip. False with `error` set when the counter
    // file cannot be read or written, or the numbers are used up.
    bool take(uint64_t& value, std::string& error);
    // Whether a number can be taken, checked before the first chip: the file
    // can be opened and written and its next number fits. Nothing is taken.
    bool check(std::string& error);
    // The chip that got the last number passed its verify.
    void passed();
    // It did not: its number is given back, or kept for the next chip.
    bool failed(std::string& error);

    const SerialFormat& format() const { return format_; }
    const std::string& path() const { return path_; }

  private:
    // Runs `change` on the file's next number under an exclusive lock and
    // writes back what it leaves; false with `error` set on failure.
    template <typename Change>
    bool update(Change change, std::string& error);
    bool fits(uint64_t next, std::string& why) const;

    std::string path_;
    SerialFormat format_;
    std::optional<uint64_t> held_;  // taken from the file, not yet given to a passed chip
    bool inUse_ = false;            // held_ is on a chip right now
};

}  // namespace ostrel
