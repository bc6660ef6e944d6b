// A self-check over the catalogue that ships beside the program: the program
// takes a catalogue of the right length as it stands, so whatever is wrong
// here reaches the programmer.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/chip_record.h"

namespace ostrel {
namespace {

constexpr uint32_t kMiB = 1024 * 1024;

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

struct Chip {
    ChipRecord record;
    std::string type, maker, name;
};

class ShippedCatalogue : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        bytes_ = readFile(std::string(OSTREL_BIN_DIR) + "/ostrel.Dat");
        for (std::size_t off = 0; off + kChipRecordSize <= bytes_.size(); off += kChipRecordSize) {
            const ChipRecord r = decodeRecord(bytes_.data() + off);
            if (r.nameText[0] == 0) break;
            Chip c{r, {}, {}, {}};
            const std::string text(r.nameText, strnlen(r.nameText, kNameTextSize));
            const auto first = text.find(',');
            const auto second = text.find(',', first + 1);
            if (first != std::string::npos && second != std::string::npos) {
                c.type = text.substr(0, first);
                c.maker = text.substr(first + 1, second - first - 1);
                c.name = text.substr(second + 1);
            }
            chips_.push_back(c);
        }
    }
    static std::vector<uint8_t> bytes_;
    static std::vector<Chip> chips_;
};
std::vector<uint8_t> ShippedCatalogue::bytes_;
std::vector<Chip> ShippedCatalogue::chips_;

TEST_F(ShippedCatalogue, IsWholeRecordsEndingInOneZeroTerminator) {
    ASSERT_FALSE(bytes_.empty()) << "no ostrel.Dat in " << OSTREL_BIN_DIR;
    EXPECT_EQ(bytes_.size() % kChipRecordSize, 0u);
    EXPECT_EQ(bytes_.size(), (chips_.size() + 1) * kChipRecordSize);
    const std::vector<uint8_t> zeros(kChipRecordSize, 0);
    EXPECT_TRUE(std::equal(bytes_.end() - kChipRecordSize, bytes_.end(), zeros.begin()));
    EXPECT_GE(chips_.size(), 200u);
    EXPECT_LT(chips_.size(), static_cast<std::size_t>(kCatalogueCapacity));
}

// Both files read here without the build's table reader or record codec: the
// table's columns by whitespace, the records' fields at their byte offsets,
// little-endian.
uint32_t littleEndian(const uint8_t* bytes, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
}

uint32_t tableNumber(const std::string& text) {
    const char last = text.empty() ? 0 : text.back();
    const uint32_t unit = last == 'K' ? 1024 : last == 'M' ? kMiB : 1;
    return static_cast<uint32_t>(std::stoul(text, nullptr, 0)) * unit;
}

TEST_F(ShippedCatalogue, HoldsEveryLineOfTheTableInTheSourceTreeFieldByField) {
    std::ifstream table(std::string(OSTREL_SOURCE_DIR) + "/resources/chips.txt");
    ASSERT_TRUE(table.good());
    // Field offsets of chipId, flashSize, flashPage, class, algorithm, delay,
    // extend, eepromSize, eepromPage, voltage, and their widths in bytes.
    const int offsets[] = {48, 52, 56, 58, 59, 60, 62, 64, 66, 67};
    const int widths[] = {4, 4, 2, 1, 1, 2, 2, 2, 1, 1};
    std::size_t row = 0;
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream words(line);
        std::vector<std::string> columns;
        for (std::string word; words >> word;) columns.push_back(word);
        if (columns.empty() || columns[0][0] == '#') continue;
        ASSERT_EQ(columns.size(), 13u) << line;
        ASSERT_LE((row + 1) * kChipRecordSize, bytes_.size()) << "ostrel.Dat ends before " << line;
        const uint8_t* record = bytes_.data() + row * kChipRecordSize;
        const std::string name = columns[0] + "," + columns[1] + "," + columns[2];
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(record),
                              strnlen(reinterpret_cast<const char*>(record), kNameTextSize)),
                  name);
        for (int f = 0; f < 10; ++f)
            EXPECT_EQ(littleEndian(record + offsets[f], widths[f]), tableNumber(columns[3 + f]))
                << name << ", column " << 4 + f;
        ++row;
    }
    EXPECT_EQ(row, chips_.size()) << "ostrel.Dat is older than resources/chips.txt";
}

// The Type list is built in record order, and its positions are family codes.
TEST_F(ShippedCatalogue, TypesComeInFamilyOrderAndMatchTheirClass) {
    const std::vector<std::string> order = {"SPI_FLASH", "24_EEPROM", "93_EEPROM", "95_EEPROM",
                                            "AVR"};
    std::vector<std::string> firstSeen;
    for (const Chip& c : chips_) {
        if (std::find(firstSeen.begin(), firstSeen.end(), c.type) == firstSeen.end()) {
            firstSeen.push_back(c.type);
        }
        ASSERT_LT(c.record.chipClass, order.size()) << c.name;
        EXPECT_EQ(c.type, order[c.record.chipClass]) << c.name;
    }
    EXPECT_EQ(firstSeen, order);
}

TEST_F(ShippedCatalogue, NameTextsAreThreeUniquePartsWithoutSeparators) {
    std::set<std::string> names;
    for (const Chip& c : chips_) {
        const char* text = c.record.nameText;
        const std::size_t len = strnlen(text, kNameTextSize);
        ASSERT_LT(len, kNameTextSize) << "name text without its zero";
        EXPECT_EQ(std::count(text, text + len, ','), 2) << text;
        for (std::size_t i = 0; i < len; ++i) {
            const unsigned char ch = static_cast<unsigned char>(text[i]);
            EXPECT_TRUE(ch > 32 && ch != '"' && ch != 127) << text;
        }
        EXPECT_FALSE(c.type.empty() || c.maker.empty() || c.name.empty()) << text;
        EXPECT_TRUE(names.insert(c.name).second) << "duplicate name " << c.name;
    }
}

TEST_F(ShippedCatalogue, ClassAndAlgorithmPairsAreKnown) {
    const std::map<int, std::set<int>> allowed = {
        {ClassSpiFlash25, {0, 1, 128, 129}},
        {ClassEeprom24, {0, 1}},
        {ClassEeprom93, {7, 8, 9, 10, 11, 87, 88, 89, 90, 91}},
        {ClassEeprom95, {0, 1, 2}},
        {ClassAvr, {0}},
    };
    for (const Chip& c : chips_) {
        const auto it = allowed.find(c.record.chipClass);
        ASSERT_NE(it, allowed.end()) << c.name;
        EXPECT_EQ(it->second.count(c.record.algorithm), 1u)
            << c.name << " algorithm " << int(c.record.algorithm);
    }
}

TEST_F(ShippedCatalogue, SizesFitTheBuffersAndPagesDivideThem) {
    for (const Chip& c : chips_) {
        const ChipRecord& r = c.record;
        EXPECT_GT(r.flashSize, 0u) << c.name;
        EXPECT_LE(r.flashSize, 64 * kMiB) << c.name;
        EXPECT_EQ(r.flashSize & (r.flashSize - 1), 0u) << c.name << " size not a power of two";
        ASSERT_GT(r.flashPage, 0) << c.name;
        EXPECT_EQ(r.flashPage & (r.flashPage - 1), 0) << c.name;
        EXPECT_EQ(r.flashSize % r.flashPage, 0u) << c.name;
        EXPECT_LE(r.eepromSize, 8192) << c.name;
        EXPECT_LE(r.voltage, 1) << c.name;
        if (r.chipClass == ClassAvr) {
            EXPECT_GT(r.eepromSize, 0) << c.name;
            ASSERT_GT(r.eepromPage, 0) << c.name;
            EXPECT_EQ(r.eepromSize % r.eepromPage, 0) << c.name;
        } else {
            EXPECT_EQ(r.eepromSize, 0) << c.name;
        }
    }
}

// What each family's algorithm code says about the chip must agree with its size.
TEST_F(ShippedCatalogue, AlgorithmsAgreeWithSizes) {
    // 93-series code (8-bit organisation) -> size; the 93C56 runs as a 93C66.
    const std::map<int, std::set<uint32_t>> size93 = {
        {7, {128}}, {8, {256}}, {9, {256, 512}}, {10, {1024}}, {11, {2048}}};
    for (const Chip& c : chips_) {
        const ChipRecord& r = c.record;
        switch (r.chipClass) {
            case ClassSpiFlash25:
                EXPECT_EQ(r.flashSize > 16 * kMiB, (r.algorithm & 128) != 0) << c.name;
                EXPECT_EQ(c.maker == "SST", (r.algorithm & 1) != 0) << c.name;
                break;
            case ClassEeprom24:
                EXPECT_EQ(r.flashSize >= 4096, r.algorithm == 1) << c.name;
                break;
            case ClassEeprom93: {
                const bool x16 = r.algorithm >= 87;
                EXPECT_EQ(size93.at(x16 ? r.algorithm - 80 : r.algorithm).count(r.flashSize), 1u)
                    << c.name;
                EXPECT_EQ(r.flashPage, x16 ? 2 : 1) << c.name;
                break;
            }
            case ClassEeprom95: {
                const uint32_t reach = r.algorithm == 0 ? 512 : r.algorithm == 1 ? 65536 : 1u << 24;
                const uint32_t below = r.algorithm == 0 ? 0 : r.algorithm == 1 ? 512 : 65536;
                EXPECT_LE(r.flashSize, reach) << c.name;
                EXPECT_GT(r.flashSize, below) << c.name;
                break;
            }
            default:
                break;
        }
    }
}

// The class-0 erase wait gives up after delay polls of about 100 ms; a bound
// too short for the chip's erase would start writing into a busy chip.
TEST_F(ShippedCatalogue, FlashEraseBoundGrowsWithTheChip) {
    for (const Chip& c : chips_) {
        const ChipRecord& r = c.record;
        if (r.chipClass != ClassSpiFlash25) {
            EXPECT_EQ(r.delay, 100) << c.name;
            continue;
        }
        EXPECT_GE(r.delay, 20) << c.name;
        // Other than SST, chip erase takes up to about a second per 8 Mbit.
        if (c.maker != "SST") {
            EXPECT_GE(r.delay * 8192u, r.flashSize) << c.name;
        }
    }
}

// The ID read hands back the first record with the ID. Where two chips of one
// maker answer alike they must be interchangeable, or identification would
// program one with the other's size.
TEST_F(ShippedCatalogue, FlashIdsIdentifyChipsUnambiguously) {
    std::map<uint32_t, const Chip*> firstWithId;
    for (const Chip& c : chips_) {
        const ChipRecord& r = c.record;
        if (r.chipClass != ClassSpiFlash25) continue;
        EXPECT_LE(r.chipId, 0xFFFFFFu) << c.name;
        // An empty bus reads as all zeros or all ones in the maker byte.
        const uint32_t maker = r.chipId >> 16;
        EXPECT_TRUE(maker != 0x00 && maker != 0xFF) << c.name;
        const auto [it, fresh] = firstWithId.emplace(r.chipId, &c);
        if (fresh) continue;
        const Chip& first = *it->second;
        EXPECT_EQ(first.maker, c.maker) << c.name << " shares its ID with " << first.name;
        EXPECT_EQ(first.record.flashSize, r.flashSize) << c.name << " vs " << first.name;
        EXPECT_EQ(first.record.flashPage, r.flashPage) << c.name << " vs " << first.name;
        EXPECT_EQ(first.record.algorithm, r.algorithm) << c.name << " vs " << first.name;
        EXPECT_EQ(first.record.voltage, r.voltage) << c.name << " vs " << first.name;
    }
}

TEST_F(ShippedCatalogue, AvrSignaturesAreUniqueAndEepromsHaveNoId) {
    std::set<uint32_t> signatures;
    for (const Chip& c : chips_) {
        const ChipRecord& r = c.record;
        if (r.chipClass == ClassAvr) {
            EXPECT_EQ(r.chipId >> 16, 0x1Eu) << c.name;
            EXPECT_TRUE(signatures.insert(r.chipId).second) << c.name;
        } else if (r.chipClass != ClassSpiFlash25) {
            EXPECT_EQ(r.chipId, 0u) << c.name;
        }
    }
}

}  // namespace
}  // namespace ostrel
