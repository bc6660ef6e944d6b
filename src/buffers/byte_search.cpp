#include "buffers/byte_search.h"

#include <algorithm>
#include <cstring>

#include "buffers/range_edit.h"

namespace ostrel {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The first occurrence of the pattern that starts in [begin, end), or end.
// glibc's memmem skips by pairs of bytes, which keeps a pattern that does not
// occur at memory speed.
std::size_t firstIn(const uint8_t* data, std::size_t size, const std::vector<uint8_t>& pattern,
                    std::size_t begin, std::size_t end) {
    const std::size_t n = pattern.size();
    if (begin >= end || begin + n > size) return end;
    const std::size_t stop = std::min(size, end + n - 1);
    const void* hit = memmem(data + begin, stop - begin, pattern.data(), n);
    if (!hit) return end;
    return static_cast<std::size_t>(static_cast<const uint8_t*>(hit) - data);
}

// The last occurrence that starts in [begin, end), or `none`: searched forward
// in slices from the end, so that a pattern near the end is found at once.
std::size_t lastIn(const uint8_t* data, std::size_t size, const std::vector<uint8_t>& pattern,
                   std::size_t begin, std::size_t end, std::size_t none) {
    constexpr std::size_t kSlice = 1 << 20;
    const std::size_t n = pattern.size();
    end = std::min(end, size >= n ? size - n + 1 : 0);
    if (n == 1) {
        if (begin >= end) return none;
        const void* hit = memrchr(data + begin, pattern[0], end - begin);
        return hit ? static_cast<std::size_t>(static_cast<const uint8_t*>(hit) - data) : none;
    }
    while (end > begin) {
        const std::size_t sliceBegin = end - std::min(kSlice, end - begin);
        std::size_t found = none;
        for (std::size_t at = firstIn(data, size, pattern, sliceBegin, end); at < end;
             at = firstIn(data, size, pattern, at + 1, end))
            found = at;
        if (found != none) return found;
        end = sliceBegin;
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
    std::size_t at = none;
    if (direction == SearchDirection::Forward) {
        at = firstIn(data, size, pattern, from, size);
        if (at >= size) {
            at = firstIn(data, size, pattern, 0, from);
            hit.wrapped = at < from;
            if (!hit.wrapped) at = none;
        }
    } else {
        at = lastIn(data, size, pattern, 0, from, none);
        if (at == none) {
            at = lastIn(data, size, pattern, from, size, none);
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
