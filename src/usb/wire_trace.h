#pragma once
// A record of what went over the wire: one line per transfer and per open,
// claim, release and close of the programmer, written to any FILE* or file.
// The transport writes it when it has one (TUsbBulk::setTrace); other core
// code may add notes of its own. Without a trace the transport only tests a
// null pointer per transfer.
//
// Each line: microseconds since the trace began, what happened, the endpoint
// (two hex digits; "-" for events), the length asked for, the result of the
// library call, and the bytes: a command packet and its reply whole, a data
// block's first 16 bytes, the bus path of an open.
//
//   1520 open - 0 0 001/004
//   1712 ctl - 256 38 1C 03 4F 00 ...
//   52340 out 02 64 64 00 09 00 00 01 00 ...
//   102811 in 82 64 64 01 EF 40 18 00 ...
//   # a note of some other part of the program

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace ostrel {

class WireTrace {
  public:
    enum class What { Out, In, Control, Open, Claim, Release, Close };

    // Writes to `out`, which the caller keeps open as long as the trace lives.
    explicit WireTrace(std::FILE* out);
    ~WireTrace();
    WireTrace(const WireTrace&) = delete;
    WireTrace& operator=(const WireTrace&) = delete;

    // A trace into a new file at `path` (replaced when it exists); null when
    // the file cannot be created.
    static std::unique_ptr<WireTrace> toFile(const std::string& path);

    // A transfer: `shown` bytes of `bytes` are written in hex (none for a
    // failed transfer, whose buffer holds nothing it received).
    void transfer(What what, int endpoint, int length, int result, const uint8_t* bytes, int shown);
    // An open, claim, release or close; `detail` ends the line (the bus path).
    void event(What what, int result, const std::string& detail = {});
    // A line of its own, written after "# ".
    void note(const std::string& text);

    // Bytes of a data block that a line shows.
    static constexpr int kDataBytesShown = 16;

  private:
    void line(const char* what, const char* endpoint, int length, int result,
              const std::string& tail);
    long long micros() const;

    std::FILE* out_;
    bool owned_ = false;
    std::chrono::steady_clock::time_point start_;
};

class TUsbBulk;

// A trace kept for a while, for a report: while it lives, everything the
// transport does is written into it, and the trace the transport had before
// is given back afterwards.
class CapturedTrace {
  public:
    explicit CapturedTrace(TUsbBulk& usb);
    ~CapturedTrace();
    CapturedTrace(const CapturedTrace&) = delete;
    CapturedTrace& operator=(const CapturedTrace&) = delete;

    // What was traced so far.
    std::string text() const;

  private:
    TUsbBulk& usb_;
    WireTrace* previous_;
    std::FILE* file_;
    std::unique_ptr<WireTrace> trace_;
};

}  // namespace ostrel
