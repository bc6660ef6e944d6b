#pragma once
// What a read looks like before anyone trusts it. A dump that reads fine and
// is not is the bench's worst case: a chip without power reads 00, a data
// line without contact leaves one bit the same in every byte, a chip smaller
// than the one chosen repeats itself, a slipping clip brings one short
// pattern over and over. These are warnings, never failures: the bytes are
// what the chip gave.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ostrel {

enum class DumpLook {
    Blank,     // every byte FF: a fact, worth a line for a chip that should hold data
    AllZero,   // every byte 00: no power or no contact
    StuckBit,  // one bit the same in every byte while the others vary
    Repeats,   // the image repeats after a power of two: the chip is that small
    Pattern,   // a short pattern repeats over everything read
};

struct DumpWarning {
    DumpWarning() = default;
    explicit DumpWarning(DumpLook kind) : look(kind) {}

    DumpLook look = DumpLook::Blank;
    int bit = -1;     // StuckBit: the bit, 0 to 7
    int stuckAt = 0;  // StuckBit: 0 or 1
    // Repeats: the size the image repeats after; Pattern: the pattern's length.
    uint64_t period = 0;
    std::vector<uint8_t> pattern;  // Pattern: its bytes

    bool operator==(const DumpWarning& o) const {
        return look == o.look && bit == o.bit && stuckAt == o.stuckAt && period == o.period &&
               pattern == o.pattern;
    }
};

// The longest pattern Pattern names; longer periods below the smallest chip
// are not judged.
inline constexpr std::size_t kDumpPatternMost = 64;
// A read shorter than this tells nothing of stuck bits or patterns: a few
// bytes of text keep bit 7 at 0 by nature.
inline constexpr std::size_t kDumpJudgedFrom = 512;
// The smallest size Repeats names: the smallest chip (a 24C01).
inline constexpr uint64_t kDumpSmallestChip = 128;

// Looks at `length` bytes of a read. Blank and AllZero stand alone; otherwise
// stuck bits (at most two, each a warning of its own) come first, then a
// pattern or a repetition.
std::vector<DumpWarning> checkDump(const uint8_t* data, std::size_t length);

// The warning's stable name for machines: "blank", "all_zero", "stuck_bit",
// "repeats", "pattern".
const char* dumpLookName(DumpLook look);
// The warning as a line in `language`.
std::string dumpWarningText(const DumpWarning& warning, int language);
// "4 MiB", "512 KiB", "1.5 KiB", "128 bytes".
std::string byteSizeText(uint64_t bytes);

}  // namespace ostrel
