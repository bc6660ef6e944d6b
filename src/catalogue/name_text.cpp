#include "catalogue/name_text.h"

#include <algorithm>
#include <cstring>

namespace ostrel {

namespace {

constexpr std::size_t kMaxNameBytes = kNameTextSize - 1;

unsigned char byteAt(const std::string& text, std::size_t pos) {
    return pos < text.size() ? static_cast<unsigned char>(text[pos]) : 0;
}

bool isBlank(unsigned char c) {
    return c >= 1 && c <= 32;
}

// The longest prefix of `text` of at most `limit` bytes that ends on a
// character boundary.
std::size_t fittingPrefix(const std::string& text, std::size_t limit) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t next = pos + gbkCharLength(text, pos);
        if (next > limit) break;
        pos = next;
    }
    return pos;
}

}  // namespace

std::size_t gbkCharLength(const std::string& text, std::size_t pos) {
    const unsigned char c = byteAt(text, pos);
    if (c >= 0x81 && c <= 0xFE && byteAt(text, pos + 1) != 0) return 2;
    return 1;
}

std::string nameTextOf(const ChipRecord& record) {
    const void* zero = std::memchr(record.nameText, 0, kNameTextSize);
    const std::size_t len =
        zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - record.nameText)
             : kNameTextSize;
    return std::string(record.nameText, len);
}

void setNameText(ChipRecord& record, const std::string& text) {
    // Stop at an embedded zero too: the field ends there anyway.
    const std::string plain = text.substr(0, text.find('\0'));
    const std::size_t len = fittingPrefix(plain, kMaxNameBytes);
    std::memset(record.nameText, 0, kNameTextSize);
    std::memcpy(record.nameText, plain.data(), len);
}

std::vector<std::string> splitListRule(const std::string& text) {
    // The text ends at its first zero byte, as the stored field does.
    const std::string s = text.substr(0, text.find('\0'));
    std::vector<std::string> items;
    std::size_t p = 0;
    while (isBlank(byteAt(s, p))) ++p;
    while (p < s.size()) {
        std::string item;
        if (s[p] == '"') {
            ++p;
            while (p < s.size()) {
                if (s[p] == '"') {
                    if (byteAt(s, p + 1) == '"') {
                        item += '"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                const std::size_t n = gbkCharLength(s, p);
                item.append(s, p, n);
                p += n;
            }
        } else {
            const std::size_t start = p;
            while (p < s.size() && byteAt(s, p) > 32 && s[p] != ',') p += gbkCharLength(s, p);
            item.assign(s, start, p - start);
        }
        items.push_back(std::move(item));
        while (isBlank(byteAt(s, p))) ++p;
        if (byteAt(s, p) == ',') {
            if (p + 1 == s.size()) items.emplace_back();
            do {
                ++p;
            } while (isBlank(byteAt(s, p)));
        }
    }
    return items;
}

NameParts splitCommaRule(const std::string& text) {
    const std::string s = text.substr(0, text.find('\0'));
    std::size_t commas[2];
    int found = 0;
    for (std::size_t p = 0; p < s.size() && found < 2; p += gbkCharLength(s, p))
        if (s[p] == ',') commas[found++] = p;

    NameParts parts;
    if (found == 0) {
        parts.name = s;
    } else if (found == 1) {
        parts.type = s.substr(0, commas[0]);
        parts.name = s.substr(commas[0] + 1);
    } else {
        parts.type = s.substr(0, commas[0]);
        parts.manufacturer = s.substr(commas[0] + 1, commas[1] - commas[0] - 1);
        parts.name = s.substr(commas[1] + 1);
    }
    return parts;
}

std::string trimControls(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
    return text.substr(begin, end - begin);
}

BuiltName buildNameText(const std::string& type, const std::string& manufacturer,
                        const std::string& name) {
    BuiltName built;
    const std::string joined =
        trimControls(type) + "," + trimControls(manufacturer) + "," + trimControls(name);
    if (joined.size() <= kMaxNameBytes) {
        built.text = joined;
        return built;
    }
    built.shortened = true;
    const std::string cut = joined.substr(0, fittingPrefix(joined, kMaxNameBytes));
    // Cutting may leave a space at the end; the name would not keep it either.
    std::size_t end = cut.size();
    while (end > 0 && static_cast<unsigned char>(cut[end - 1]) <= 32) --end;
    built.text = cut.substr(0, end);
    return built;
}

}  // namespace ostrel
