#pragma once
// Finding bytes in a buffer and the text forms of bytes the hex views copy
// and paste: "EF 40 17" (or "EF4017") is three bytes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

// Hexadecimal bytes separated by blanks or not: "EF 40 17", "EF4017",
// "ef 4017". Empty when a character is not a digit or a run of digits has an
// odd length (a half byte cannot be searched for or pasted), or nothing is given.
std::optional<std::vector<uint8_t>> parseHexBytes(const std::string& text);

// "EF 40 17": upper case, one blank between bytes.
std::string hexBytesText(const uint8_t* data, std::size_t count);

enum class SearchDirection { Forward, Backward };

struct SearchHit {
    bool found = false;
    std::size_t offset = 0;
    bool wrapped = false;  // found only after going round the end of the buffer
};

// Looks for `pattern` in `data`. Forward: the first occurrence starting at or
// after `from`, else, wrapping once, the first one before it. Backward: the
// last occurrence starting before `from`, else, wrapping, the last one at or
// after it. An empty pattern is never found.
SearchHit findBytes(const uint8_t* data, std::size_t size, const std::vector<uint8_t>& pattern,
                    std::size_t from, SearchDirection direction);

// Where Go to may put the cursor: a hexadecimal address inside a view of
// `size` bytes. Empty for text that is no address and for addresses past the end.
std::optional<std::size_t> goToTarget(const std::string& text, std::size_t size);

}  // namespace ostrel
