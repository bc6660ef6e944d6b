#include "cli/outcome_lines.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "base/text_format.h"

namespace ostrel::cli {

std::string formatText(FileFormat format, int language) {
    if (format == FileFormat::IntelHex || format == FileFormat::SRecord) return formatName(format);
    return programText(Txt::CliRawBinary, language);
}

std::string sizeText(uint64_t bytes) {
    char text[32];
    const auto whole = [&](uint64_t unit, const char* name) {
        if (bytes % unit == 0)
            std::snprintf(text, sizeof text, "%llu %s",
                          static_cast<unsigned long long>(bytes / unit), name);
        else  // tenths cut, not rounded: 300000 bytes are 292.9 KiB, never "293.0"
            std::snprintf(text, sizeof text, "%llu.%llu %s",
                          static_cast<unsigned long long>(bytes / unit),
                          static_cast<unsigned long long>(bytes % unit * 10 / unit), name);
    };
    if (bytes >= 1024 * 1024)
        whole(1024 * 1024, "MiB");
    else if (bytes >= 1024)
        whole(1024, "KiB");
    else
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    return text;
}

std::string secondsText(int64_t milliseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(milliseconds) / 1000.0);
    return text;
}

namespace {

// Insertions, deletions and substitutions that turn a into b.
std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::vector<std::string> closeNames(const std::string& wanted,
                                    const std::vector<std::string>& names, std::size_t most) {
    const std::string key = asciiLower(wanted);
    // A third of the name may be wrong, and at least two characters.
    const std::size_t allowed = std::max<std::size_t>(2, key.size() / 3);
    std::vector<std::pair<std::size_t, std::string>> scored;
    for (const std::string& name : names) {
        const std::string candidate = asciiLower(name);
        std::size_t distance = editDistance(key, candidate);
        // A name that holds the key, or is held by it, is close whatever its length.
        if (!key.empty() &&
            (candidate.find(key) != std::string::npos || key.find(candidate) != std::string::npos))
            distance = std::min(distance, allowed);
        if (distance <= allowed) scored.emplace_back(distance, name);
    }
    std::stable_sort(scored.begin(), scored.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> out;
    for (const auto& entry : scored) {
        if (out.size() == most) break;
        if (std::find(out.begin(), out.end(), entry.second) == out.end())
            out.push_back(entry.second);
    }
    return out;
}

}  // namespace ostrel::cli
