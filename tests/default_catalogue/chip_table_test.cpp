// The chip table reader refuses every line that would ship a wrong record,
// and names the line.

#include "chip_table.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace ostrel {
namespace {

const char* const kGoodFlash = "SPI_FLASH Winbond W25Q64JV 0xEF4017 8M 256 0 0 2000 0 0 0 0\n";

bool parse(const std::string& text, std::vector<ChipRecord>& records, ChipTableError& error) {
    std::istringstream in(text);
    return parseChipTable(in, records, error);
}

TEST(ChipTable, ReadsColumnsIntoTheRecord) {
    const std::string text =
        "# comment line\n"
        "\n"
        "SPI_FLASH Winbond W25Q256JV 0xEF4019 32M 256 0 128 6000 3 0 0 1\r\n"
        "AVR\tAtmel  ATmega328P 0x1E950F 32K 128 4 0 100 0 1024 4 0\n";
    std::vector<ChipRecord> records;
    ChipTableError error;
    ASSERT_TRUE(parse(text, records, error)) << error.line << ": " << error.message;
    ASSERT_EQ(records.size(), 2u);
    const ChipRecord& f = records[0];
    EXPECT_STREQ(f.nameText, "SPI_FLASH,Winbond,W25Q256JV");
    EXPECT_EQ(f.chipId, 0xEF4019u);
    EXPECT_EQ(f.flashSize, 32u * 1024 * 1024);
    EXPECT_EQ(f.flashPage, 256);
    EXPECT_EQ(f.algorithm, 128);
    EXPECT_EQ(f.delay, 6000);
    EXPECT_EQ(f.extend, 3);
    EXPECT_EQ(f.voltage, 1);
    const ChipRecord& a = records[1];
    EXPECT_STREQ(a.nameText, "AVR,Atmel,ATmega328P");
    EXPECT_EQ(a.flashSize, 32768u);
    EXPECT_EQ(a.chipClass, ClassAvr);
    EXPECT_EQ(a.eepromSize, 1024);
    EXPECT_EQ(a.eepromPage, 4);
}

TEST(ChipTable, ImageIsRecordsAndOneZeroTerminator) {
    std::vector<ChipRecord> records;
    ChipTableError error;
    ASSERT_TRUE(parse(kGoodFlash, records, error));
    const std::vector<uint8_t> image = catalogueImage(records);
    ASSERT_EQ(image.size(), 2 * kChipRecordSize);
    EXPECT_EQ(image[48], 0x17);  // chipId, little-endian
    EXPECT_EQ(image[50], 0xEF);
    for (std::size_t i = kChipRecordSize; i < image.size(); ++i) ASSERT_EQ(image[i], 0) << i;
    EXPECT_EQ(catalogueImage({}).size(), kChipRecordSize);
}

struct BadTable {
    const char* what;
    std::string text;
    int line;
    const char* reason;  // a fragment of the message
};

void PrintTo(const BadTable& table, std::ostream* out) {
    *out << table.what;
}

class ChipTableRefuses : public ::testing::TestWithParam<BadTable> {};

TEST_P(ChipTableRefuses, NamingTheLine) {
    std::vector<ChipRecord> records;
    ChipTableError error;
    EXPECT_FALSE(parse(GetParam().text, records, error));
    EXPECT_EQ(error.line, GetParam().line);
    EXPECT_NE(error.message.find(GetParam().reason), std::string::npos) << error.message;
    EXPECT_TRUE(records.empty());
}

const std::string kHead = std::string("# header\n") + kGoodFlash;  // bad line is line 3

INSTANTIATE_TEST_SUITE_P(
    BadLines, ChipTableRefuses,
    ::testing::Values(
        BadTable{"ShortLine", kHead + "SPI_FLASH Winbond W25Q80 0xEF4014 1M 256 0 0 250\n", 3,
                 "13 columns"},
        BadTable{"SpaceSplitsAName",
                 kHead + "SPI_FLASH Winbond W25Q 80 0xEF4014 1M 256 0 0 250 0 0 0 0\n", 3,
                 "13 columns"},
        BadTable{"CommaInName",
                 kHead + "SPI_FLASH Winbond W25Q,80 0xEF4014 1M 256 0 0 250 0 0 0 0\n", 3, "comma"},
        BadTable{"QuoteInMaker", kHead + "SPI_FLASH \"Win 0xEF4014 1M 256 0 0 250 0 0 0 0 0\n", 3,
                 "double quote"},
        BadTable{"NameTextOver47Bytes",
                 kHead +
                     "SPI_FLASH Winbond W25Q80ABCDEFGHIJKLMNOPQRSTUVWXYZ0123 0xEF4014 1M 256 0 0 "
                     "250 0 0 0 0\n",
                 3, "more than 47"},
        BadTable{"DuplicateName",
                 kHead + "SPI_FLASH Other W25Q64JV 0xEF4017 8M 256 0 0 2000 0 0 0 0\n", 3,
                 "already on line 2"},
        BadTable{"IdWiderThanThreeBytes",
                 kHead + "SPI_FLASH Winbond W25Q80 0x1EF4014 1M 256 0 0 250 0 0 0 0\n", 3,
                 "chipId"},
        BadTable{"NotANumber",
                 kHead + "SPI_FLASH Winbond W25Q80 0xEF4014 1MB 256 0 0 250 0 0 0 0\n", 3,
                 "flashSize"},
        BadTable{"SizeOver64MiB",
                 kHead + "SPI_FLASH Winbond W25Q01JV 0xEF4021 128M 256 0 128 9000 0 0 0 0\n", 3,
                 "flashSize"},
        BadTable{"EepromOver8192", kHead + "AVR Atmel ATmegaX 0x1E9999 8K 64 4 0 100 0 16384 4 0\n",
                 3, "eepromSize"},
        BadTable{"DelayOver16Bits",
                 kHead + "SPI_FLASH Winbond W25Q80 0xEF4014 1M 256 0 0 70000 0 0 0 0\n", 3,
                 "delay"},
        BadTable{"VoltageNotZeroOrOne",
                 kHead + "SPI_FLASH Winbond W25Q80 0xEF4014 1M 256 0 0 250 0 0 0 2\n", 3,
                 "voltage"},
        BadTable{"UnknownClass",
                 kHead + "SPI_FLASH Winbond W25Q80 0xEF4014 1M 256 5 0 250 0 0 0 0\n", 3,
                 "class 5"},
        BadTable{"TypeOfAnotherClass",
                 kHead + "AVR Winbond W25Q80 0xEF4014 1M 256 0 0 250 0 0 0 0\n", 3,
                 "does not belong"},
        BadTable{"FlashAlgorithm2",
                 kHead + "SPI_FLASH Winbond W25Q80 0xEF4014 1M 256 0 2 250 0 0 0 0\n", 3,
                 "algorithm 2 unknown"},
        BadTable{"Eeprom93Algorithm12", kHead + "93_EEPROM ST M93C46 0 128 1 2 12 100 0 0 0 0\n", 3,
                 "algorithm 12 unknown"},
        BadTable{"Eeprom95Algorithm3", kHead + "95_EEPROM ST M95010 0 128 16 3 3 100 0 0 0 0\n", 3,
                 "algorithm 3 unknown"},
        BadTable{"AvrAlgorithm1", kHead + "AVR Atmel ATtiny13A 0x1E9007 1K 32 4 1 100 0 64 4 0\n",
                 3, "algorithm 1 unknown"},
        BadTable{"LargeFlashWithoutAlgorithm128",
                 kHead + "SPI_FLASH Winbond W25Q256JV 0xEF4019 32M 256 0 0 6000 0 0 0 0\n", 3,
                 "above 16 MiB"},
        BadTable{"SmallFlashWithAlgorithm129",
                 kHead + "SPI_FLASH SST SST25VF016B 0xBF2541 2M 256 0 129 20 0 0 0 0\n", 3,
                 "above 16 MiB"},
        BadTable{"Eeprom24AlgorithmBySize",
                 kHead + "24_EEPROM Atmel AT24C32 0 4K 32 1 0 100 0 0 0 0\n", 3, "from 4 KiB"},
        BadTable{"PageZero", kHead + "SPI_FLASH Winbond W25Q80 0xEF4014 1M 0 0 0 250 0 0 0 0\n", 3,
                 "flashPage 0"},
        BadTable{"PageNotPowerOfTwo",
                 kHead + "SPI_FLASH Atmel AT45DB041 0x1F2400 512K 264 0 0 150 0 0 0 0\n", 3,
                 "flashPage 264"},
        BadTable{"EepromWithoutPage",
                 kHead + "AVR Atmel ATtiny13A 0x1E9007 1K 32 4 0 100 0 64 0 0\n", 3,
                 "eepromPage 0"},
        BadTable{"TypesOutOfOrder",
                 "24_EEPROM Atmel AT24C02 0 256 8 1 0 100 0 0 0 0\n" + std::string(kGoodFlash), 2,
                 "after 24_EEPROM"}),
    [](const ::testing::TestParamInfo<BadTable>& info) { return std::string(info.param.what); });

TEST(ChipTable, RefusesMoreChipsThanTheCatalogueHolds) {
    std::string text;
    for (int i = 0; i < kCatalogueCapacity; ++i) {
        text += "24_EEPROM Atmel C" + std::to_string(i) + " 0 256 8 1 0 100 0 0 0 0\n";
    }
    std::vector<ChipRecord> records;
    ChipTableError error;
    EXPECT_FALSE(parse(text, records, error));
    EXPECT_EQ(error.line, kCatalogueCapacity);  // the 1000th chip leaves no room for the terminator
}

// The build tool leaves no catalogue behind when the table is bad, and
// replaces an older one only with a complete file.
TEST(MakeCatalogue, WritesOnlyFromASoundTable) {
    // Builds of other folders may run this test at the same time.
    const std::string stem = ::testing::TempDir() + "/ostrel_chips_" + std::to_string(getpid());
    const std::string table = stem + ".txt";
    const std::string output = stem + ".Dat";
    std::remove(output.c_str());
    auto run = [&](const std::string& text) {
        std::ofstream(table, std::ios::trunc) << text;
        const std::string cmd = std::string("\"") + OSTREL_MAKE_CATALOGUE + "\" \"" + table +
                                "\" \"" + output + "\" >/dev/null 2>&1";
        return std::system(cmd.c_str());
    };
    auto outputSize = [&]() -> long {
        std::ifstream in(output, std::ios::binary | std::ios::ate);
        return in ? static_cast<long>(in.tellg()) : -1;
    };

    EXPECT_NE(run(std::string(kGoodFlash) + "SPI_FLASH Winbond W25Q,80\n"), 0);
    EXPECT_EQ(outputSize(), -1);

    EXPECT_EQ(run(kGoodFlash), 0);
    EXPECT_EQ(outputSize(), static_cast<long>(2 * kChipRecordSize));

    EXPECT_NE(run(std::string(kGoodFlash) + kGoodFlash), 0);  // duplicate name
    EXPECT_EQ(outputSize(), static_cast<long>(2 * kChipRecordSize));
    std::remove(output.c_str());
    std::remove(table.c_str());
}

}  // namespace
}  // namespace ostrel
