#pragma once
// Every difference a verify finds, not only the first: the differing ranges
// (the first hundred kept, all counted) and how many bytes differ in all.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ostrel {

struct DifferingRange {
    int64_t start = 0;
    int64_t end = 0;  // the last differing address of the range
    uint64_t count() const { return static_cast<uint64_t>(end - start + 1); }
};

// Why a chip may differ from the data just written to it, judged by the first
// difference: programming can only clear bits. A 0 bit in the chip where the
// data has a 1 could not have come from the write: the chip was not erased. A
// 1 the chip kept where the data has a 0 is a write that did not take, as on
// a write-protected chip.
enum class WriteFault { None, NotErased, NotTaken };
WriteFault writeFaultOf(uint8_t chipByte, uint8_t dataByte);
// What to tell the user about it, in `language`; empty for None.
std::string writeFaultText(WriteFault fault, int language);

class VerifyDifferences {
  public:
    static constexpr std::size_t kKeptRanges = 100;

    // Compares `count` bytes the chip gave at `address` with the expected
    // ones. Blocks come in rising address order; a range that ends where the
    // next block's begins is one range.
    void compare(int64_t address, const uint8_t* chip, const uint8_t* expected, std::size_t count);
    void clear() { *this = VerifyDifferences(); }

    bool any() const { return byteCount_ != 0; }
    const std::vector<DifferingRange>& ranges() const { return ranges_; }
    uint64_t rangeCount() const { return rangeCount_; }
    uint64_t byteCount() const { return byteCount_; }
    int64_t first() const { return first_; }

  private:
    void add(int64_t start, int64_t end);

    std::vector<DifferingRange> ranges_;
    uint64_t rangeCount_ = 0;
    uint64_t byteCount_ = 0;
    int64_t first_ = -1;
    int64_t lastEnd_ = -2;  // end of the newest range, kept or not
};

}  // namespace ostrel
