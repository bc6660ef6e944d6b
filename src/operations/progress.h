#pragma once
// How a running operation tells how far it is: it begins (which operation,
// what it counts, how many), moves on after every block or poll, and ends
// when it ran to its end. An operation that fails or is stopped does not end:
// its progress stays where it stopped. The window shows bars and a status
// text, the command line a line redrawn in place.

#include <cstdint>

#include "operations/command_report.h"

namespace ostrel {

enum class ProgressUnit {
    Bytes,  // streams, and the page erases of 24-series chips
    Polls,  // the status polls of a 25-series erase, against their bound
};

class Progress {
  public:
    virtual ~Progress() = default;
    // A total of 0: nothing to count (the operation may still move nothing).
    virtual void begin(Operation operation, ProgressUnit unit, int64_t total) = 0;
    virtual void position(int64_t done) = 0;
    virtual void end() = 0;
};

}  // namespace ostrel
