#include "buffers/dump_check.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/text_format.h"
#include "base/texts.h"

namespace ostrel {
namespace {

// Before a whole pass proves a period, its first and last bytes must agree:
// real data fails there at once, so the checks cost one pass over the bytes.
constexpr std::size_t kPeekBytes = 4096;

bool hasPeriod(const uint8_t* data, std::size_t length, std::size_t period) {
    if (period == 0 || period >= length) return false;
    const std::size_t rest = length - period;
    const std::size_t peek = std::min(rest, kPeekBytes);
    if (std::memcmp(data, data + period, peek) != 0) return false;
    if (std::memcmp(data + rest - peek, data + length - peek, peek) != 0) return false;
    return std::memcmp(data, data + period, rest) == 0;
}

// Every byte ORed and ANDed together, eight at a time.
void orAnd(const uint8_t* data, std::size_t length, uint8_t& orAll, uint8_t& andAll) {
    uint64_t o = 0, a = ~uint64_t{0};
    std::size_t i = 0;
    for (; i + 32 <= length; i += 32) {
        uint64_t w[4];
        std::memcpy(w, data + i, sizeof w);
        o |= w[0] | w[1] | w[2] | w[3];
        a &= w[0] & w[1] & w[2] & w[3];
    }
    for (; i + 8 <= length; i += 8) {
        uint64_t w;
        std::memcpy(&w, data + i, sizeof w);
        o |= w;
        a &= w;
    }
    uint8_t ob = 0, ab = 0xFF;
    for (int s = 0; s < 64; s += 8) {
        ob |= static_cast<uint8_t>(o >> s);
        ab &= static_cast<uint8_t>(a >> s);
    }
    for (; i < length; ++i) {
        ob |= data[i];
        ab &= data[i];
    }
    orAll = ob;
    andAll = ab;
}

// Text keeps bit 7 at 0 by nature: a read of nothing but printable characters
// and line ends is text, not a data line without contact.
bool allText(const uint8_t* data, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        const uint8_t b = data[i];
        if ((b < 0x20 || b > 0x7E) && b != '\t' && b != '\n' && b != '\r') return false;
    }
    return true;
}

uint64_t highestPowerOfTwoUpTo(uint64_t value) {
    uint64_t p = 1;
    while (p <= value / 2) p *= 2;
    return p;
}

}  // namespace

std::vector<DumpWarning> checkDump(const uint8_t* data, std::size_t length) {
    std::vector<DumpWarning> warnings;
    if (data == nullptr || length == 0) return warnings;
    uint8_t orAll = 0, andAll = 0;
    orAnd(data, length, orAll, andAll);
    if (andAll == 0xFF) return {DumpWarning{DumpLook::Blank}};
    if (orAll == 0) return {DumpWarning{DumpLook::AllZero}};
    if (length < kDumpJudgedFrom) return warnings;

    // The shortest pattern first: a pattern of one byte is every byte alike.
    for (std::size_t p = 1; p <= kDumpPatternMost && p * 8 <= length; ++p) {
        if (!hasPeriod(data, length, p)) continue;
        DumpWarning w{DumpLook::Pattern};
        w.period = p;
        w.pattern.assign(data, data + p);
        return {w};
    }
    // A bit that never changes while the others do; more than two such bits
    // are data of their own kind (text, small numbers), not a loose line.
    const uint8_t same = static_cast<uint8_t>(~(orAll ^ andAll));
    int sameCount = 0;
    for (int b = 0; b < 8; ++b) sameCount += (same >> b) & 1;
    if (sameCount <= 2) {
        for (int b = 0; b < 8; ++b) {
            if (((same >> b) & 1) == 0) continue;
            DumpWarning w{DumpLook::StuckBit};
            w.bit = b;
            w.stuckAt = (andAll >> b) & 1;
            if (b == 7 && w.stuckAt == 0 && allText(data, length)) continue;
            warnings.push_back(w);
        }
    }
    // A chip of half the size answers every address twice, and so on down:
    // a period P implies 2P, so one whole pass at the largest candidate
    // decides, and the halves below it are checked within one period.
    uint64_t period = highestPowerOfTwoUpTo(length / 2);
    if (period >= kDumpSmallestChip && hasPeriod(data, length, period)) {
        while (period / 2 >= kDumpSmallestChip &&
               std::memcmp(data, data + period / 2, period / 2) == 0)
            period /= 2;
        DumpWarning w{DumpLook::Repeats};
        w.period = period;
        warnings.push_back(w);
    }
    return warnings;
}

const char* dumpLookName(DumpLook look) {
    switch (look) {
        case DumpLook::Blank:
            return "blank";
        case DumpLook::AllZero:
            return "all_zero";
        case DumpLook::StuckBit:
            return "stuck_bit";
        case DumpLook::Repeats:
            return "repeats";
        case DumpLook::Pattern:
            return "pattern";
    }
    return "";
}

std::string byteSizeText(uint64_t bytes) {
    char text[32];
    const auto in = [&](uint64_t unit, const char* name) {
        if (bytes % unit == 0)
            std::snprintf(text, sizeof text, "%llu %s",
                          static_cast<unsigned long long>(bytes / unit), name);
        else
            std::snprintf(text, sizeof text, "%llu.%llu %s",
                          static_cast<unsigned long long>(bytes / unit),
                          static_cast<unsigned long long>(bytes % unit * 10 / unit), name);
    };
    if (bytes >= 1024 * 1024)
        in(1024 * 1024, "MiB");
    else if (bytes >= 1024)
        in(1024, "KiB");
    else
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    return text;
}

std::string dumpWarningText(const DumpWarning& w, int language) {
    switch (w.look) {
        case DumpLook::Blank:
            return programText(Txt::DumpBlank, language);
        case DumpLook::AllZero:
            return programText(Txt::DumpAllZero, language);
        case DumpLook::StuckBit:
            return fillIn(programText(Txt::DumpStuckBit, language),
                          {std::to_string(w.bit), std::to_string(w.stuckAt)});
        case DumpLook::Repeats: {
            const std::string size = byteSizeText(w.period);
            return fillIn(programText(Txt::DumpRepeats, language), {size, size});
        }
        case DumpLook::Pattern: {
            std::string bytes;
            for (std::size_t i = 0; i < w.pattern.size() && i < 16; ++i)
                bytes += (i == 0 ? "" : " ") + hexDigits(w.pattern[i], 2);
            if (w.pattern.size() > 16) bytes += " ...";
            return fillIn(programText(Txt::DumpPattern, language),
                          {std::to_string(w.period), bytes});
        }
    }
    return {};
}

}  // namespace ostrel
