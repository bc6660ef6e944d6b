#pragma once
// The production record: one JSON line per chip that a production run
// programmed or checked, appended to a log that proves afterwards what went
// into which chip. Several processes (one per programmer) may append to one
// log: every line goes out in one write to a file opened for appending, and is
// flushed to the disk before the next chip, so lines never interleave and a
// line that was reported written is on the disk.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "buffers/checksums.h"

namespace ostrel {

struct ChipLogLine {
    std::time_t time = 0;
    std::string programmer;          // the programmer's serial number
    std::string chip;                // TYPE,MAKER,NAME (UTF-8)
    std::string chipId;              // six hexadecimal digits the programmer read; empty: none read
    std::string command;             // read, write, verify, erase, blank or auto
    std::string result;              // done, different or failed
    std::string message;             // why it failed, in English; empty when done
    std::string cause;               // the failure's stable name; empty when done
    uint64_t bytes = 0;              // bytes written, verified or read
    uint32_t crc32 = 0;              // of those bytes
    std::string sha256;              // of those bytes, 64 hex digits
    double seconds = 0;              // from the start of the job to its end
    std::optional<uint64_t> serial;  // the serial number written into the chip
};

// The line as it goes into the log, newline included. The time is UTC; the
// cause is null for a chip that passed.
std::string chipLogText(const ChipLogLine& line);

// "production-YYYY-MM-DD.jsonl" for the local date of `time`.
std::string productionLogName(std::time_t time);

class ProductionLog {
  public:
    ProductionLog() = default;
    ~ProductionLog();
    ProductionLog(const ProductionLog&) = delete;
    ProductionLog& operator=(const ProductionLog&) = delete;

    // Opens the log for appending, creating it (not its folder). False with
    // `error` set when it cannot be opened: nothing may be programmed then.
    bool open(const std::string& path, std::string& error);
    // One write of the whole text, then a flush to the disk; false with
    // `error` set when either failed. A write that went out only in part is
    // taken back, so that the log never holds part of a line.
    bool append(const std::string& text, std::string& error);
    const std::string& path() const { return path_; }
    bool isOpen() const { return fd_ >= 0; }

  private:
    std::string path_;
    int fd_ = -1;
};

}  // namespace ostrel
