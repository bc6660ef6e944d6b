#include "operations/verify_differences.h"

#include <algorithm>

#include "base/texts.h"

namespace ostrel {

WriteFault writeFaultOf(uint8_t chipByte, uint8_t dataByte) {
    if ((~chipByte & dataByte) != 0) return WriteFault::NotErased;
    if ((chipByte & ~dataByte) != 0) return WriteFault::NotTaken;
    return WriteFault::None;
}

std::string writeFaultText(WriteFault fault, int language) {
    switch (fault) {
        case WriteFault::NotErased:
            return programText(Txt::WriteNotErased, language);
        case WriteFault::NotTaken:
            return programText(Txt::WriteNotTaken, language);
        case WriteFault::None:
            break;
    }
    return {};
}

void VerifyDifferences::compare(int64_t address, const uint8_t* chip, const uint8_t* expected,
                                std::size_t count) {
    const uint8_t* const end = chip + count;
    const uint8_t* at = chip;
    while (true) {
        const auto differs = std::mismatch(at, end, expected + (at - chip));
        if (differs.first == end) return;
        const uint8_t* runEnd = differs.first;
        const uint8_t* want = differs.second;
        while (runEnd != end && *runEnd != *want) {
            ++runEnd;
            ++want;
        }
        add(address + (differs.first - chip), address + (runEnd - chip) - 1);
        at = runEnd;
    }
}

void VerifyDifferences::add(int64_t start, int64_t end) {
    if (first_ < 0) first_ = start;
    byteCount_ += static_cast<uint64_t>(end - start + 1);
    if (start == lastEnd_ + 1) {
        // The range goes on from the previous block.
        if (rangeCount_ <= kKeptRanges && !ranges_.empty() && ranges_.back().end == lastEnd_)
            ranges_.back().end = end;
        lastEnd_ = end;
        return;
    }
    ++rangeCount_;
    if (ranges_.size() < kKeptRanges) ranges_.push_back({start, end});
    lastEnd_ = end;
}

}  // namespace ostrel
