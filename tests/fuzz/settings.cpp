// The settings file's parser over any text: every key the program reads is
// looked up and its value parsed as an integer, which must agree with the C
// library's reading of the same digits; then one key is written, after which
// it must read back as written while every other key keeps its value.

#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>

#include "base/settings_file.h"
#include "fuzz/fuzz_support.h"

namespace ostrel::fuzzing {
namespace {

const std::pair<const char*, const char*> kKeys[] = {
    {"Environment", "FormHeight"},
    {"Environment", "FormWidth"},
    {"Environment", "FormTop"},
    {"Environment", "FormLeft"},
    {"Environment", "FormMax"},
    {"CHIP", "INDEX1"},
    {"CHIP", "INDEX2"},
    {"CHIP", "INDEX3"},
    {"DEVICE", "chip"},
    {"DEVICE", "SPEED"},
    {"DEVICE", "LANGU"},
};
constexpr std::size_t kKeyCount = sizeof kKeys / sizeof kKeys[0];

bool allOf(const std::string& text, std::size_t from, int (*isDigit)(int)) {
    if (from >= text.size()) return false;
    for (std::size_t i = from; i < text.size(); ++i)
        if (!isDigit(static_cast<unsigned char>(text[i]))) return false;
    return true;
}

// The integer as the C library reads the same digits, for the shapes the
// settings file accepts; nullopt for any other text.
std::optional<int32_t> referenceInteger(const std::string& value) {
    std::size_t b = 0;
    std::size_t e = value.size();
    while (b < e && (value[b] == ' ' || value[b] == '\t' || value[b] == '\r')) ++b;
    while (e > b && (value[e - 1] == ' ' || value[e - 1] == '\t' || value[e - 1] == '\r')) --e;
    const std::string text = value.substr(b, e - b);
    std::size_t p = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) p = 1;
    std::size_t digits = p;
    int base = 10;
    if (p < text.size() && text[p] == '$') {
        digits = p + 1;
        base = 16;
    } else if (text.size() > p + 2 && text[p] == '0' &&
               (text[p + 1] == 'x' || text[p + 1] == 'X')) {
        digits = p + 2;
        base = 16;
    }
    if (!allOf(text, digits, base == 16 ? isxdigit : isdigit)) return std::nullopt;
    errno = 0;
    const unsigned long long magnitude = std::strtoull(text.c_str() + digits, nullptr, base);
    if (errno == ERANGE) return std::nullopt;
    if (base == 16) {
        if (magnitude > 0xFFFFFFFFull) return std::nullopt;
        const uint32_t bits = static_cast<uint32_t>(magnitude);
        return static_cast<int32_t>(negative ? 0u - bits : bits);
    }
    if (magnitude > (negative ? 2147483648ull : 2147483647ull)) return std::nullopt;
    return static_cast<int32_t>(negative ? -static_cast<int64_t>(magnitude)
                                         : static_cast<int64_t>(magnitude));
}

}  // namespace
}  // namespace ostrel::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace ostrel;
    using namespace ostrel::fuzzing;
    const std::string text(reinterpret_cast<const char*>(data), size);

    std::optional<std::string> before[kKeyCount];
    for (std::size_t i = 0; i < kKeyCount; ++i) {
        before[i] = findProfileValue(text, kKeys[i].first, kKeys[i].second);
        if (!before[i]) continue;
        require(before[i]->find('\n') == std::string::npos, "a value runs past its line");
        require(parseProfileInteger(*before[i]) == referenceInteger(*before[i]),
                "an integer reads differently from the C library's reading");
    }
    // The whole text as one value too: it holds every shape the mutator makes.
    require(parseProfileInteger(text) == referenceInteger(text),
            "an integer reads differently from the C library's reading");

    const std::size_t written = size % kKeyCount;
    const std::string value = std::to_string(static_cast<int32_t>(size * 2654435761u));
    const std::string after =
        setProfileValue(text, kKeys[written].first, kKeys[written].second, value);
    for (std::size_t i = 0; i < kKeyCount; ++i) {
        const auto now = findProfileValue(after, kKeys[i].first, kKeys[i].second);
        if (i == written)
            require(now == value, "a written key does not read back as written");
        else
            require(now == before[i], "writing one key changed another");
    }
    return 0;
}
