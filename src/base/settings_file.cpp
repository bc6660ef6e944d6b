#include "base/settings_file.h"

#include <cctype>
#include <cstdint>
#include <vector>

#include "base/integer_text.h"
#include "base/platform.h"
#include "base/program_paths.h"
#include "base/safe_file.h"
#include "base/texts.h"

namespace ostrel {

namespace {

struct Line {
    std::size_t begin;    // offset of the line in the text
    std::size_t length;   // without the line ending
    std::size_t endings;  // bytes of the line ending: 0 (last line), 1 or 2
};

std::vector<Line> splitLines(const std::string& text) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) {
            lines.push_back({pos, text.size() - pos, 0});
            break;
        }
        const bool cr = nl > pos && text[nl - 1] == '\r';
        lines.push_back({pos, nl - pos - (cr ? 1 : 0), cr ? 2u : 1u});
        pos = nl + 1;
    }
    return lines;
}

std::string trimmed(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return s.substr(b, e - b);
}

bool sameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The section name of a header line, or nullopt for any other line.
std::optional<std::string> headerName(const std::string& line) {
    const std::string t = trimmed(line);
    if (t.empty() || t[0] != '[') return std::nullopt;
    const std::size_t close = t.find(']');
    return trimmed(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
}

struct KeyLine {
    std::string key;
    std::string value;
};

std::optional<KeyLine> keyLine(const std::string& line) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) return std::nullopt;
    return KeyLine{trimmed(line.substr(0, eq)), trimmed(line.substr(eq + 1))};
}

// Where a section's lines are in the text: the header's index and one past
// its last line. nullopt when the text has no such section.
struct SectionSpan {
    std::size_t header;
    std::size_t end;
};

std::optional<SectionSpan> findSection(const std::string& text, const std::vector<Line>& lines,
                                       const std::string& section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto name = headerName(text.substr(lines[i].begin, lines[i].length));
        if (!name || !sameName(*name, section)) continue;
        std::size_t end = i + 1;
        while (end < lines.size() && !headerName(text.substr(lines[end].begin, lines[end].length)))
            ++end;
        return SectionSpan{i, end};
    }
    return std::nullopt;
}

}  // namespace

std::optional<int32_t> parseProfileInteger(const std::string& input) {
    return parseIntegerText(trimmed(input), HexPrefixes::DollarAnd0x);
}

std::optional<std::string> findProfileValue(const std::string& iniText, const std::string& section,
                                            const std::string& key) {
    const auto lines = splitLines(iniText);
    const auto span = findSection(iniText, lines, section);
    if (!span) return std::nullopt;
    for (std::size_t i = span->header + 1; i < span->end; ++i) {
        const auto kv = keyLine(iniText.substr(lines[i].begin, lines[i].length));
        if (!kv || !sameName(kv->key, key)) continue;
        std::string value = kv->value;
        if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return std::nullopt;
}

std::string setProfileValue(const std::string& iniText, const std::string& section,
                            const std::string& key, const std::string& value) {
    const auto lines = splitLines(iniText);
    const std::string eol = !lines.empty() && lines[0].endings == 2 ? "\r\n" : "\n";
    const auto span = findSection(iniText, lines, section);

    if (!span) {
        std::string out = iniText;
        if (!out.empty() && out.back() != '\n') out += eol;
        return out + "[" + section + "]" + eol + key + "=" + value + eol;
    }
    for (std::size_t i = span->header + 1; i < span->end; ++i) {
        const Line& line = lines[i];
        const auto kv = keyLine(iniText.substr(line.begin, line.length));
        if (!kv || !sameName(kv->key, key)) continue;
        return iniText.substr(0, line.begin) + kv->key + "=" + value +
               iniText.substr(line.begin + line.length);
    }
    // A new key goes after the section's last non-blank line, so blank lines
    // that separate it from the next section stay where they are.
    std::size_t last = span->header;
    for (std::size_t i = span->header + 1; i < span->end; ++i)
        if (!trimmed(iniText.substr(lines[i].begin, lines[i].length)).empty()) last = i;
    const Line& after = lines[last];
    const std::size_t insertAt = after.begin + after.length + after.endings;
    const std::string lead = after.endings == 0 ? eol : std::string();
    return iniText.substr(0, insertAt) + lead + key + "=" + value + eol + iniText.substr(insertAt);
}

int32_t SettingsFile::readInteger(const std::string& section, const std::string& key,
                                  int32_t defaultValue) const {
    const auto text = readString(section, key);
    if (!text) return defaultValue;
    return parseProfileInteger(*text).value_or(defaultValue);
}

bool SettingsFile::readBool(const std::string& section, const std::string& key,
                            bool defaultValue) const {
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

std::optional<std::string> SettingsFile::readString(const std::string& section,
                                                    const std::string& key) const {
    const auto text = readWholeFile(path_);
    if (!text) return std::nullopt;
    return findProfileValue(*text, section, key);
}

bool SettingsFile::writeString(const std::string& section, const std::string& key,
                               const std::string& value) {
    auto text = readWholeFile(path_);
    // A file that is there but cannot be read must not be replaced by one
    // holding this key alone.
    bool ok = text || !platform::pathExists(path_);
    // The first write also makes the folder (the user's configuration folder
    // of an installed program may not exist yet).
    if (ok && !text) makeFolderFor(path_);
    if (ok)
        ok = replaceFileContents(path_, setProfileValue(text.value_or(""), section, key, value));
    return ok;
}

std::string SettingsFile::writeFailureText() const {
    return fillIn(programText(Txt::UnableToWriteTo, 0), {path_});
}

bool SettingsFile::writeInteger(const std::string& section, const std::string& key, int32_t value) {
    return writeString(section, key, std::to_string(value));
}

bool SettingsFile::writeBool(const std::string& section, const std::string& key, bool value) {
    return writeString(section, key, value ? "1" : "0");
}

Settings loadSettings(const SettingsFile& file, int firstLanguage) {
    Settings s;
    s.formMax = file.readBool("Environment", "FormMax", false);
    if (!s.formMax) {
        s.formTop = file.readInteger("Environment", "FormTop", 10);
        s.formLeft = file.readInteger("Environment", "FormLeft", 10);
        s.formHeight = file.readInteger("Environment", "FormHeight", 500);
        s.formWidth = file.readInteger("Environment", "FormWidth", 700);
    }
    s.index1 = file.readInteger("CHIP", "INDEX1", 0);
    s.index2 = file.readInteger("CHIP", "INDEX2", 0);
    s.index3 = file.readInteger("CHIP", "INDEX3", 0);
    s.chip = file.readInteger("DEVICE", "chip", 0);
    s.speed = file.readInteger("DEVICE", "SPEED", 0);
    s.language = file.readInteger("DEVICE", "LANGU", firstLanguage);
    return s;
}

bool saveSettings(SettingsFile& file, const Settings& s) {
    return file.writeInteger("Environment", "FormHeight", s.formHeight) &&
           file.writeInteger("Environment", "FormWidth", s.formWidth) &&
           file.writeInteger("Environment", "FormTop", s.formTop) &&
           file.writeInteger("Environment", "FormLeft", s.formLeft) &&
           file.writeBool("Environment", "FormMax", s.formMax) &&
           file.writeInteger("CHIP", "INDEX1", s.index1) &&
           file.writeInteger("CHIP", "INDEX2", s.index2) &&
           file.writeInteger("CHIP", "INDEX3", s.index3) &&
           file.writeInteger("DEVICE", "SPEED", s.speed) &&
           file.writeInteger("DEVICE", "LANGU", s.language);
}

}  // namespace ostrel
