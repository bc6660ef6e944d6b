#include "buffers/byte_search.h"

#include <algorithm>
#include <cstring>

#include "base/platform.h"
#include "buffers/range_edit.h"

namespace ostrel {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The pattern and the byte of it the scan looks for: the one that is rarest
// in a sample of the buffer, so that an erased chip searched for "FF FF 00"
// is scanned for the 00 at memchr's speed instead of stopping at every FF.
struct Needle {
    const std::vector<uint8_t>& bytes;
    std::size_t anchor = 0;
};

Needle needleFor(const uint8_t* data, std::size_t size, const std::vector<uint8_t>& pattern) {
    constexpr std::size_t kSamples = 4096;
    uint32_t seen[256] = {};
    const std::size_t stride = std::max<std::size_t>(1, size / kSamples);
    for (std::size_t i = 0; i < size; i += stride) ++seen[data[i]];
    Needle needle{pattern};
    for (std::size_t k = 1; k < pattern.size(); ++k)
        if (seen[pattern[k]] < seen[pattern[needle.anchor]]) needle.anchor = k;
    return needle;
}

// The first occurrence that starts in [begin, end), or `none`.
std::size_t firstIn(const uint8_t* data, std::size_t size, const Needle& needle, std::size_t begin,
                    std::size_t end, std::size_t none) {
    const std::size_t n = needle.bytes.size();
    end = std::min(end, size >= n ? size - n + 1 : 0);
    const uint8_t anchor = needle.bytes[needle.anchor];
    const std::size_t k = needle.anchor;
    for (std::size_t p = begin; p < end;) {
        const void* hit = std::memchr(data + p + k, anchor, end - p);
        if (!hit) break;
        p = static_cast<std::size_t>(static_cast<const uint8_t*>(hit) - data) - k;
        if (std::memcmp(data + p, needle.bytes.data(), n) == 0) return p;
        ++p;
    }
    return none;
}

// The last occurrence that starts in [begin, end), or `none`.
std::size_t lastIn(const uint8_t* data, std::size_t size, const Needle& needle, std::size_t begin,
                   std::size_t end, std::size_t none) {
    const std::size_t n = needle.bytes.size();
    end = std::min(end, size >= n ? size - n + 1 : 0);
    const uint8_t anchor = needle.bytes[needle.anchor];
    const std::size_t k = needle.anchor;
    for (std::size_t stop = end; stop > begin;) {
        const void* hit = platform::findLastByte(data + begin + k, anchor, stop - begin);
        if (!hit) break;
        const std::size_t p = static_cast<std::size_t>(static_cast<const uint8_t*>(hit) - data) - k;
        if (std::memcmp(data + p, needle.bytes.data(), n) == 0) return p;
        stop = p;
    }
    return none;
}

}  // namespace

std::optional<std::vector<uint8_t>> parseHexBytes(const std::string& text) {
    std::vector<uint8_t> bytes;
    int high = -1;
    for (const char c : text) {
        if (isBlank(c)) {
            if (high >= 0) return std::nullopt;  // a run of odd length
            continue;
        }
        const int digit = hexDigitValue(static_cast<unsigned char>(c));
        if (digit < 0) return std::nullopt;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0 || bytes.empty()) return std::nullopt;
    return bytes;
}

std::string hexBytesText(const uint8_t* data, std::size_t count) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        if (i) text += ' ';
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 0x0F];
    }
    return text;
}

SearchHit findBytes(const uint8_t* data, std::size_t size, const std::vector<uint8_t>& pattern,
                    std::size_t from, SearchDirection direction) {
    SearchHit hit;
    if (pattern.empty() || pattern.size() > size) return hit;
    from = std::min(from, size);
    const std::size_t none = size;
    const Needle needle = needleFor(data, size, pattern);
    std::size_t at = none;
    if (direction == SearchDirection::Forward) {
        at = firstIn(data, size, needle, from, size, none);
        if (at == none) {
            at = firstIn(data, size, needle, 0, from, none);
            hit.wrapped = at != none;
        }
    } else {
        at = lastIn(data, size, needle, 0, from, none);
        if (at == none) {
            at = lastIn(data, size, needle, from, size, none);
            hit.wrapped = at != none;
        }
    }
    if (at == none) return SearchHit{};
    hit.found = true;
    hit.offset = at;
    return hit;
}

std::optional<std::size_t> goToTarget(const std::string& text, std::size_t size) {
    std::string trimmed;
    for (const char c : text)
        if (!isBlank(c)) trimmed += c;
    if (trimmed.size() > 2 && trimmed[0] == '0' && (trimmed[1] == 'x' || trimmed[1] == 'X'))
        trimmed.erase(0, 2);
    if (trimmed.empty()) return std::nullopt;
    const auto value = hexTextToInt(trimmed);
    if (!value || *value < 0 || static_cast<std::size_t>(*value) >= size) return std::nullopt;
    return static_cast<std::size_t>(*value);
}

}  // namespace ostrel
