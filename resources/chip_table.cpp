#include "chip_table.h"

#include <cstring>
#include <map>
#include <sstream>

#include "base/buffer_sizes.h"

namespace ostrel {

namespace {

constexpr uint64_t kMaxFlashSize = kFlashBufferSize;
constexpr uint64_t kMaxEepromSize = kEepromBufferSize;
constexpr uint64_t kSize16MiB = 16ull * 1024 * 1024;
constexpr std::size_t kColumns = 13;

// The type text of each class, in the order the program's Type list needs.
constexpr const char* kTypeOfClass[] = {"SPI_FLASH", "24_EEPROM", "93_EEPROM", "95_EEPROM", "AVR"};

bool validAlgorithm(unsigned chipClass, unsigned algorithm) {
    switch (chipClass) {
        case ClassSpiFlash25:
            return algorithm == 0 || algorithm == 1 || algorithm == 128 || algorithm == 129;
        case ClassEeprom24:
            return algorithm <= 1;
        case ClassEeprom93:
            return (algorithm >= 7 && algorithm <= 11) || (algorithm >= 87 && algorithm <= 91);
        case ClassEeprom95:
            return algorithm <= 2;
        case ClassAvr:
            return algorithm == 0;
        default:
            return false;
    }
}

// Decimal, 0x-hexadecimal, or decimal with a K (KiB) or M (MiB) suffix.
bool parseNumber(const std::string& text, uint64_t limit, uint64_t& value) {
    if (text.empty()) return false;
    uint64_t v = 0;
    uint64_t scale = 1;
    std::string digits = text;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (hex) {
        digits = text.substr(2);
    } else if (text.back() == 'K' || text.back() == 'M') {
        scale = text.back() == 'K' ? 1024 : 1024 * 1024;
        digits = text.substr(0, text.size() - 1);
    }
    if (digits.empty()) return false;
    for (const char c : digits) {
        unsigned d;
        if (c >= '0' && c <= '9') {
            d = static_cast<unsigned>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
            d = static_cast<unsigned>(c - 'a' + 10);
        } else if (hex && c >= 'A' && c <= 'F') {
            d = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        v = v * (hex ? 16 : 10) + d;
        if (v > limit) return false;  // also keeps v far from overflowing
    }
    if (v > limit / scale) return false;
    value = v * scale;
    return true;
}

// The program splits the name text at commas and at characters up to code 32,
// and a double quote starts a quoted item there; none may appear in a part.
const char* badTextReason(const std::string& text) {
    for (unsigned char c : text) {
        if (c == ',') return "holds a comma";
        if (c == '"') return "holds a double quote";
        if (c <= 32 || c == 127) return "holds a control character";
    }
    return nullptr;
}

bool isPowerOfTwo(uint64_t v) {
    return v != 0 && (v & (v - 1)) == 0;
}

struct Field {
    const char* name;
    uint64_t limit;
};

// Columns 3 to 12, in table order, with the largest value each field can hold.
constexpr Field kNumberFields[] = {
    {"chipId", 0xFFFFFF},  // a larger value could never match an ID read
    {"flashSize", kMaxFlashSize},
    {"flashPage", 0xFFFF},
    {"class", 0xFF},
    {"algorithm", 0xFF},
    {"delay", 0xFFFF},
    {"extend", 0xFFFF},
    {"eepromSize", kMaxEepromSize},
    {"eepromPage", 0xFF},
    {"voltage", 1},
};

}  // namespace

bool parseChipTable(std::istream& in, std::vector<ChipRecord>& records, ChipTableError& error) {
    records.clear();
    std::map<std::string, int> nameLine;
    int lastClass = -1;
    std::string line;
    int lineNo = 0;
    auto fail = [&](const std::string& message) {
        error.line = lineNo;
        error.message = message;
        records.clear();
        return false;
    };
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::vector<std::string> cols;
        std::string word;
        while (words >> word) cols.push_back(word);
        if (cols.empty() || cols[0][0] == '#') continue;
        if (cols.size() != kColumns) {
            return fail("expected " + std::to_string(kColumns) + " columns, found " +
                        std::to_string(cols.size()));
        }
        const char* what[] = {"type", "manufacturer", "name"};
        for (int i = 0; i < 3; ++i) {
            if (const char* reason = badTextReason(cols[i])) {
                return fail(std::string(what[i]) + " \"" + cols[i] + "\" " + reason);
            }
        }
        const std::string nameText = cols[0] + "," + cols[1] + "," + cols[2];
        if (nameText.size() > kNameTextSize - 1) {
            return fail("\"" + nameText + "\" is " + std::to_string(nameText.size()) +
                        " bytes, more than " + std::to_string(kNameTextSize - 1));
        }

        uint64_t v[kColumns - 3];
        for (std::size_t i = 0; i < kColumns - 3; ++i) {
            if (!parseNumber(cols[i + 3], kNumberFields[i].limit, v[i])) {
                return fail(std::string(kNumberFields[i].name) + " \"" + cols[i + 3] +
                            "\" is not a number from 0 to " +
                            std::to_string(kNumberFields[i].limit));
            }
        }
        ChipRecord r{};
        std::memcpy(r.nameText, nameText.data(), nameText.size());
        r.chipId = static_cast<uint32_t>(v[0]);
        r.flashSize = static_cast<uint32_t>(v[1]);
        r.flashPage = static_cast<uint16_t>(v[2]);
        r.chipClass = static_cast<uint8_t>(v[3]);
        r.algorithm = static_cast<uint8_t>(v[4]);
        r.delay = static_cast<uint16_t>(v[5]);
        r.extend = static_cast<uint16_t>(v[6]);
        r.eepromSize = static_cast<uint16_t>(v[7]);
        r.eepromPage = static_cast<uint8_t>(v[8]);
        r.voltage = static_cast<uint8_t>(v[9]);

        if (r.chipClass > ClassAvr)
            return fail("class " + std::to_string(r.chipClass) + " unknown");
        if (cols[0] != kTypeOfClass[r.chipClass]) {
            return fail("type \"" + cols[0] + "\" does not belong to class " +
                        std::to_string(r.chipClass) + " (" + kTypeOfClass[r.chipClass] + ")");
        }
        if (static_cast<int>(r.chipClass) < lastClass) {
            return fail("type " + cols[0] + " after " + kTypeOfClass[lastClass] +
                        "; the types keep their order and their chips stay together");
        }
        lastClass = r.chipClass;
        if (!validAlgorithm(r.chipClass, r.algorithm)) {
            return fail("algorithm " + std::to_string(r.algorithm) + " unknown in class " +
                        std::to_string(r.chipClass));
        }
        if (r.flashSize == 0) return fail("flashSize is 0");
        // Erase steps through the chip page by page and writes round to whole
        // pages; a page of 0 would never advance.
        if (!isPowerOfTwo(r.flashPage) || r.flashSize % r.flashPage != 0) {
            return fail("flashPage " + std::to_string(r.flashPage) +
                        " is not a power of two that divides flashSize " +
                        std::to_string(r.flashSize));
        }
        if (r.chipClass == ClassSpiFlash25 &&
            ((r.flashSize > kSize16MiB) != (r.algorithm == 128 || r.algorithm == 129))) {
            return fail("algorithm " + std::to_string(r.algorithm) +
                        " does not match the size: chips above 16 MiB take 128 or 129, "
                        "the others 0 or 1");
        }
        if (r.chipClass == ClassEeprom24 && (r.flashSize >= 4096) != (r.algorithm == 1)) {
            return fail("algorithm " + std::to_string(r.algorithm) +
                        " does not match the size: 0 below 4 KiB, 1 from 4 KiB");
        }
        if (r.eepromSize != 0 &&
            (!isPowerOfTwo(r.eepromPage) || r.eepromSize % r.eepromPage != 0)) {
            return fail("eepromPage " + std::to_string(r.eepromPage) +
                        " is not a power of two that divides eepromSize " +
                        std::to_string(r.eepromSize));
        }

        const auto seen = nameLine.find(cols[2]);
        if (seen != nameLine.end()) {
            return fail("name " + cols[2] + " already on line " + std::to_string(seen->second));
        }
        nameLine.emplace(cols[2], lineNo);
        if (records.size() + 1 >= static_cast<std::size_t>(kCatalogueCapacity)) {
            return fail("more than " + std::to_string(kCatalogueCapacity - 1) +
                        " chips do not fit beside the terminator");
        }
        records.push_back(r);
    }
    if (in.bad()) {
        lineNo = 0;
        return fail("the table could not be read");
    }
    return true;
}

std::vector<uint8_t> catalogueImage(const std::vector<ChipRecord>& records) {
    std::vector<uint8_t> image((records.size() + 1) * kChipRecordSize, 0);
    for (std::size_t i = 0; i < records.size(); ++i) {
        encodeRecord(records[i], image.data() + i * kChipRecordSize);
    }
    return image;
}

}  // namespace ostrel
