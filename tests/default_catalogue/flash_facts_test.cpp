// The shipped 25-series records against an independent source: a table of
// facts about SPI NOR flash chips that answer the JEDEC ID read, compiled
// from a well-kept open chip database (tests/data/spi-flash-facts.tsv, whose
// README says where from). Every record whose name the table knows
// must agree with it in ID, size, page and voltage, and every ID of the table
// up to the FLASH buffer's size must be in the catalogue or left out for a
// reason written down here.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/chip_record.h"
#include "catalogue/name_text.h"

namespace ostrel {
namespace {

constexpr uint32_t kMaxFlashSize = 64u * 1024 * 1024;

struct Fact {
    std::string name;  // as the table writes it, for the messages
    std::vector<std::regex> partNumbers;
    uint32_t id = 0;
    uint32_t size = 0;
    uint32_t page = 0;
    std::optional<int> voltage;  // our flag: 1 where the supply range ends below 2.7 V
};

// The part numbers a table name stands for. "X/Y" names two parts, where a
// short Y replaces the end of X ("MX25U3235E/F"); "X(A/B)" stands for X, XA
// and XB; a dot stands for any one character ("W25Q128.V").
std::vector<std::string> partNumbersOf(const std::string& name) {
    const auto open = name.find('(');
    const auto close = name.find(')', open == std::string::npos ? 0 : open);
    if (open != std::string::npos && close != std::string::npos) {
        const std::string head = name.substr(0, open);
        const std::string tail = name.substr(close + 1);
        std::vector<std::string> out = partNumbersOf(head + tail);
        std::istringstream options(name.substr(open + 1, close - open - 1));
        for (std::string option; std::getline(options, option, '/');) {
            for (const std::string& n : partNumbersOf(head + option + tail)) out.push_back(n);
        }
        return out;
    }
    std::vector<std::string> out;
    std::istringstream parts(name);
    for (std::string part; std::getline(parts, part, '/');) {
        if (!out.empty() && part.size() < out.front().size() / 2) {
            part = out.front().substr(0, out.front().size() - part.size()) + part;
        }
        out.push_back(part);
    }
    return out;
}

std::regex patternOf(const std::string& partNumber) {
    std::string pattern;
    for (const char c : partNumber) {
        if (c != '.' && std::string("\\^$|?*+()[]{}").find(c) != std::string::npos) pattern += '\\';
        pattern += c;
    }
    return std::regex(pattern);
}

std::vector<Fact> readFacts(std::istream& in) {
    std::vector<Fact> facts;
    std::string line;
    std::getline(in, line);  // the header
    while (std::getline(in, line)) {
        std::vector<std::string> cols;
        std::istringstream fields(line);
        for (std::string col; std::getline(fields, col, '\t');) cols.push_back(col);
        // name, jedec_id, size_bytes, page_bytes, volt_max_mV (may be empty)
        if (cols.size() < 4) continue;
        Fact f;
        f.name = cols[0];
        for (const std::string& n : partNumbersOf(cols[0])) f.partNumbers.push_back(patternOf(n));
        f.id = static_cast<uint32_t>(std::stoul(cols[1], nullptr, 16));
        f.size = static_cast<uint32_t>(std::stoul(cols[2]));
        f.page = static_cast<uint32_t>(std::stoul(cols[3]));
        if (cols.size() > 4 && !cols[4].empty()) f.voltage = std::stoul(cols[4]) < 2700 ? 1 : 0;
        facts.push_back(f);
    }
    return facts;
}

struct Chip {
    std::string name;
    ChipRecord record;
};

std::vector<Chip> shippedFlashChips() {
    std::ifstream in(std::string(OSTREL_BIN_DIR) + "/ostrel.Dat", std::ios::binary);
    const std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
    std::vector<Chip> chips;
    for (std::size_t off = 0; off + kChipRecordSize <= bytes.size(); off += kChipRecordSize) {
        const ChipRecord r = decodeRecord(bytes.data() + off);
        if (r.nameText[0] == 0) break;
        if (r.chipClass == ClassSpiFlash25)
            chips.push_back({splitCommaRule(nameTextOf(r)).name, r});
    }
    return chips;
}

class FlashFacts : public ::testing::Test {
  protected:
    void SetUp() override {
        std::ifstream table(OSTREL_FLASH_FACTS);
        ASSERT_TRUE(table) << "no facts table at " << OSTREL_FLASH_FACTS;
        facts = readFacts(table);
        ASSERT_GT(facts.size(), 300u) << "the facts table was not understood";
        chips = shippedFlashChips();
        ASSERT_FALSE(chips.empty()) << "no ostrel.Dat in " << OSTREL_BIN_DIR;
    }
    std::vector<Fact> facts;
    std::vector<Chip> chips;
};

// Where the table disagrees with the datasheets, the catalogue keeps the
// datasheet's value. Each entry names the table's value, so that a corrected
// table shows the entry is no longer needed.
struct Erratum {
    const char* chip;
    const char* field;
    uint32_t tableValue;
    const char* why;
};
constexpr Erratum kErrata[] = {
    {"W25Q20EW", "ID", 0xEF5012,
     "the table's W25Q20.W carries the W25Q20BW's ID; the W25Q20EW answers EF 60 12 like the "
     "W25Q40EW and W25Q80EW"},
    {"AT25F512B", "ID", 0x1F6500, "the datasheet's device ID bytes are 65h 01h"},
    {"AT25SF128A", "voltage", 1, "a 2.7-3.6 V part; the 1.7-2.0 V one is the AT25SL128A"},
    {"ZB25VQ16", "ID", 0x0E4015, "Zbit's maker byte is 5Eh, as for the rest of the family"},
};

TEST_F(FlashFacts, EveryFlashRecordTheTableNamesAgreesWithIt) {
    std::set<const Erratum*> used;
    int compared = 0;
    for (const Chip& chip : chips) {
        for (const Fact& fact : facts) {
            bool named = false;
            for (const std::regex& p : fact.partNumbers)
                named = named || std::regex_match(chip.name, p);
            if (!named) continue;
            ++compared;
            const ChipRecord& r = chip.record;
            const struct {
                const char* field;
                uint32_t ours;
                std::optional<uint32_t> table;
            } fields[] = {
                {"ID", r.chipId, fact.id},
                {"size", r.flashSize, fact.size},
                {"page", r.flashPage, fact.page},
                {"voltage", r.voltage, fact.voltage},
            };
            for (const auto& f : fields) {
                if (!f.table || *f.table == f.ours) continue;
                const Erratum* erratum = nullptr;
                for (const Erratum& e : kErrata) {
                    if (chip.name == e.chip && std::string(f.field) == e.field &&
                        e.tableValue == *f.table)
                        erratum = &e;
                }
                if (erratum) {
                    used.insert(erratum);
                    continue;
                }
                const bool id = std::string(f.field) == "ID";
                ADD_FAILURE() << chip.name << ": " << f.field << " " << (id ? std::hex : std::dec)
                              << f.ours << ", the table's " << fact.name << " says " << *f.table;
            }
        }
    }
    for (const Erratum& e : kErrata) {
        EXPECT_EQ(used.count(&e), 1u) << "the erratum for " << e.chip << "'s " << e.field
                                      << " is no longer needed (" << e.why << ")";
    }
    EXPECT_GE(compared, 400) << "too few records found in the table: are the names read right?";
}

// IDs of the table that the catalogue does not know, each for a reason: the
// programmer drives 25-series flash by its usual commands (page program, chip
// erase, 3-byte addresses up to 16 MiB).
TEST_F(FlashFacts, EveryIdOfTheTableIsInTheCatalogueOrLeftOutForAReason) {
    const std::map<uint32_t, const char*> leftOut = {
        {0x1F2700, "AT45DB321C: DataFlash, 528-byte pages"},
        {0x1F2920, "AT45CS1282: DataFlash, 1,056-byte pages"},
        {0x204011, "M45PE10: page and sector erase only, no chip erase"},
        {0x204012, "M45PE20: page and sector erase only, no chip erase"},
        {0x204013, "M45PE40: page and sector erase only, no chip erase"},
        {0x8C2014, "F25L008A: byte and AAI programming only, no page program"},
        {0xEF8E17, "W77T64NW: 4-byte addresses below 16 MiB"},
        {0xEF8E18, "W77T12NW: 4-byte addresses below 16 MiB"},
    };
    std::set<uint32_t> known;
    for (const Chip& chip : chips) known.insert(chip.record.chipId);
    // A chip whose ID the table gets wrong is known under the right one.
    for (const Erratum& e : kErrata) {
        if (std::string(e.field) == "ID") known.insert(e.tableValue);
    }
    std::set<uint32_t> tableIds;
    for (const Fact& fact : facts) {
        if (fact.size > kMaxFlashSize) continue;
        tableIds.insert(fact.id);
        const bool excused = leftOut.count(fact.id) != 0;
        EXPECT_TRUE(known.count(fact.id) != 0 || excused)
            << fact.name << " (" << std::hex << fact.id
            << ") is neither in the catalogue nor left out";
    }
    for (const auto& [id, why] : leftOut) {
        EXPECT_EQ(known.count(id), 0u) << why << ": in the catalogue after all";
        EXPECT_EQ(tableIds.count(id), 1u) << why << ": no longer in the table";
    }
}

}  // namespace
}  // namespace ostrel
