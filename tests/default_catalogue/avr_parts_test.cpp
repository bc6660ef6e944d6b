// The shipped AVR records against an independent source: the part database
// of avrdude (Debian's avrdude installs it as /etc/avrdude.conf). Signature,
// flash size and page, EEPROM size and page must agree for every AVR chip.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/chip_record.h"
#include "catalogue/name_text.h"

namespace ostrel {
namespace {

constexpr const char* kAvrdudeParts = "/etc/avrdude.conf";

struct Memory {
    std::optional<uint32_t> size;
    std::optional<uint32_t> pageSize;
};

struct Part {
    std::string id;
    std::string parent;  // the part whose settings this one starts from
    std::string desc;
    std::optional<uint32_t> signature;
    std::map<std::string, Memory> memories;
};

// Reads the part blocks: "part" or "part parent "id"", then settings
// "key = value;", memory blocks "memory "name"" closed by a lone ";", and
// the part closed by the next lone ";".
std::map<std::string, Part> readParts(std::istream& in) {
    std::map<std::string, Part> parts;
    std::optional<Part> part;
    Memory* memory = nullptr;
    const std::regex partLine(R"re(^part(\s+parent\s+"([^"]+)")?\s*$)re");
    const std::regex memoryLine(R"re(^memory\s+"([^"]+)")re");
    const std::regex setting(R"(^(\w+)\s*=\s*(.*?)\s*;?\s*$)");
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        line = trimControls(line);
        std::smatch m;
        if (std::regex_match(line, m, partLine)) {
            part = Part{};
            part->parent = m[2];
            memory = nullptr;
        } else if (!part) {
            continue;
        } else if (line == ";") {
            if (memory) {
                memory = nullptr;
            } else {
                parts[part->id] = *part;
                part.reset();
            }
        } else if (std::regex_search(line, m, memoryLine)) {
            memory = &part->memories[m[1]];
        } else if (std::regex_match(line, m, setting)) {
            const std::string key = m[1];
            const std::string value = m[2];
            if (memory && (key == "size" || key == "page_size")) {
                (key == "size" ? memory->size : memory->pageSize) =
                    static_cast<uint32_t>(std::stoul(value, nullptr, 0));
            } else if (!memory && (key == "id" || key == "desc")) {
                (key == "id" ? part->id : part->desc) = value.substr(1, value.size() - 2);
            } else if (!memory && key == "signature") {
                std::istringstream bytes(value);
                uint32_t sig = 0;
                std::string byte;
                while (bytes >> byte) sig = sig << 8 | std::stoul(byte, nullptr, 16);
                part->signature = sig;
            }
        }
    }
    return parts;
}

// A setting of a part, or of the part it inherits from.
template <typename T>
std::optional<T> inherited(const std::map<std::string, Part>& parts, const Part* part,
                           std::optional<T> (*get)(const Part&)) {
    for (int depth = 0; part && depth < 16; ++depth) {
        if (auto value = get(*part)) return value;
        const auto parent = parts.find(part->parent);
        part = parent == parts.end() ? nullptr : &parent->second;
    }
    return std::nullopt;
}

std::optional<uint32_t> memoryField(const Part& p, const char* memory, bool page) {
    const auto m = p.memories.find(memory);
    if (m == p.memories.end()) return std::nullopt;
    return page ? m->second.pageSize : m->second.size;
}

TEST(AvrParts, EveryShippedAvrRecordAgreesWithAvrdudesPartDatabase) {
    std::ifstream conf(kAvrdudeParts);
    ASSERT_TRUE(conf) << kAvrdudeParts << " is missing: install Debian's avrdude";
    const auto parts = readParts(conf);
    ASSERT_GT(parts.size(), 100u) << "the part database was not understood";
    std::map<std::string, const Part*> byDesc;
    for (const auto& [id, part] : parts)
        if (!part.desc.empty()) byDesc[part.desc] = &part;

    std::ifstream in(std::string(OSTREL_BIN_DIR) + "/ostrel.Dat", std::ios::binary);
    const std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
    int checked = 0;
    for (std::size_t off = 0; off + kChipRecordSize <= bytes.size(); off += kChipRecordSize) {
        const ChipRecord r = decodeRecord(bytes.data() + off);
        if (r.nameText[0] == 0) break;
        if (r.chipClass != ClassAvr) continue;
        const std::string name = splitCommaRule(nameTextOf(r)).name;
        SCOPED_TRACE(name);
        const auto found = byDesc.find(name);
        ASSERT_NE(found, byDesc.end()) << "no such part in avrdude's database";
        const Part* part = found->second;
        using Get = std::optional<uint32_t> (*)(const Part&);
        const Get signature = [](const Part& p) { return p.signature; };
        const Get flashSize = [](const Part& p) { return memoryField(p, "flash", false); };
        const Get flashPage = [](const Part& p) { return memoryField(p, "flash", true); };
        const Get eepromSize = [](const Part& p) { return memoryField(p, "eeprom", false); };
        const Get eepromPage = [](const Part& p) { return memoryField(p, "eeprom", true); };
        EXPECT_EQ(inherited(parts, part, signature), r.chipId);
        EXPECT_EQ(inherited(parts, part, flashSize), r.flashSize);
        EXPECT_EQ(inherited(parts, part, flashPage), r.flashPage);
        EXPECT_EQ(inherited(parts, part, eepromSize).value_or(0), r.eepromSize);
        // An EEPROM without a page size is written byte by byte: one byte a write.
        EXPECT_EQ(inherited(parts, part, eepromPage).value_or(1), r.eepromPage);
        ++checked;
    }
    EXPECT_GE(checked, 30);
}

}  // namespace
}  // namespace ostrel
