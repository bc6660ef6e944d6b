#pragma once
// The settings file beside the program, an INI file read and written the way
// the desktop's private-profile services do it: section and key names match
// whatever their letter case, every value is read afresh from the file, and a
// write changes only its own key's line, leaving every other byte of the file
// (foreign keys, comments, DEVICE/chip) as it was.

#include <cstdint>
#include <optional>
#include <string>

namespace ostrel {

// An integer as the settings file holds it: decimal with an optional sign,
// hexadecimal after "$" or "0x"/"0X". Hexadecimal takes up to 32 bits and
// wraps into the signed range ("$FFFFFFFF" is -1). nullopt for anything else,
// including a bare "0x" or "$" and decimal numbers outside 32 bits.
std::optional<int32_t> parseProfileInteger(const std::string& text);

// The value of `key` in `section` of an INI text, trimmed, with one pair of
// enclosing quotes removed; nullopt when the section or key is missing.
std::optional<std::string> findProfileValue(const std::string& iniText, const std::string& section,
                                            const std::string& key);

// The INI text with `key` in `section` set to `value`: the key's line is
// replaced, or the key added after the section's last line, or the section
// added at the end of the text. Every other line stays as it was; new lines
// take the line ending the text already uses.
std::string setProfileValue(const std::string& iniText, const std::string& section,
                            const std::string& key, const std::string& value);

class SettingsFile {
  public:
    explicit SettingsFile(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }

    // A missing file, key or an unparsable value gives the default.
    int32_t readInteger(const std::string& section, const std::string& key,
                        int32_t defaultValue) const;
    bool readBool(const std::string& section, const std::string& key, bool defaultValue) const;
    std::optional<std::string> readString(const std::string& section, const std::string& key) const;

    // Each write rewrites the file through a new file renamed over it, so a
    // crash leaves the old file or the new one, never half of one. The first
    // write creates the file. False when the write failed; the windows then
    // show writeFailureText(), "Unable to write to <path>".
    bool writeInteger(const std::string& section, const std::string& key, int32_t value);
    bool writeBool(const std::string& section, const std::string& key, bool value);
    bool writeString(const std::string& section, const std::string& key, const std::string& value);
    std::string writeFailureText() const;

  private:
    std::string path_;
};

// The values the main window keeps in the settings file. The window geometry
// is plain numbers here; the window applies them.
struct Settings {
    int32_t formHeight = 500;
    int32_t formWidth = 700;
    int32_t formTop = 10;
    int32_t formLeft = 10;
    bool formMax = false;
    int32_t index1 = 0;  // CHIP/INDEX1..3: the three chip list positions
    int32_t index2 = 0;
    int32_t index3 = 0;
    int32_t chip = 0;  // DEVICE/chip: non-zero offers the catalogue editor; never written
    int32_t speed = 0;
    int32_t language = 0;
};

// Reads FormMax first; when it is set the four geometry keys are not read and
// keep their defaults (the window opens maximised). Then INDEX1..3, chip,
// SPEED, LANGU. Without a LANGU value (the first start) the language is
// `firstLanguage`.
Settings loadSettings(const SettingsFile& file, int firstLanguage = 0);

// Writes the ten keys one by one (FormHeight, FormWidth, FormTop, FormLeft,
// FormMax, INDEX1..3, SPEED, LANGU), stopping at the first that fails.
// DEVICE/chip is never written.
bool saveSettings(SettingsFile& file, const Settings& settings);

}  // namespace ostrel
