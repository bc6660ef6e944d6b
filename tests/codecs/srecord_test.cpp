#include "buffers/srecord.h"

#include <gtest/gtest.h>

#include <random>

#include "codec_test_util.h"
#include "support/temp_files.h"

namespace ostrel::testing {
namespace {

// One record of type `type` with a correct count and checksum, and CR LF.
std::string record(int type, uint32_t address, const std::vector<uint8_t>& data) {
    const int addressBytes = type == 1 || type == 9 ? 2 : type == 2 || type == 8 ? 3 : 4;
    std::string text = "S" + std::to_string(type);
    char digits[3];
    unsigned sum = 0;
    auto put = [&](unsigned byte) {
        std::snprintf(digits, sizeof digits, "%02X", byte & 0xFF);
        text += digits;
        sum += byte & 0xFF;
    };
    put(static_cast<unsigned>(addressBytes + data.size() + 1));
    for (int i = addressBytes - 1; i >= 0; --i) put(address >> (8 * i));
    for (uint8_t byte : data) put(byte);
    put(~sum);
    return text + "\r\n";
}

const std::string kEnd9 = "S9030000FC\r\n";

class SRecordReader : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(SRecordReader, StoresWhatTheRecordsNameAndReportsErrors) {
    expectReaderCase(GetParam(), readSRecordText);
}

const std::vector<std::string> kNoBox;
const std::vector<std::string> kIllegalChar = {"Illegal Char in File"};
const std::vector<std::string> kTooBig = {"File exceeds Maximum Size"};
const std::vector<std::string> kChecksum = {"Checksum Error"};

INSTANTIATE_TEST_SUITE_P(
    Records, SRecordReader,
    ::testing::Values(
        ReaderCase{"DataAndTerminator",
                   "S1060000010203F3\r\n" + kEnd9,
                   0x100,
                   3,
                   kNoBox,
                   {{0, {1, 2, 3, 0xEE}}}},
        // A count record (S5, S6) that matches the data records ends a file
        // without a terminator; one that does not, or a damaged one, does not.
        ReaderCase{"MatchingS5EndsTheFile",
                   record(1, 0, {1, 2, 3}) + "S5030001FB\r\n",
                   0x100,
                   3,
                   kNoBox,
                   {{0, {1, 2, 3}}}},
        ReaderCase{"MatchingS6EndsTheFile",
                   record(1, 0, {1, 2, 3}) + "S604000001FA\r\n",
                   0x100,
                   3,
                   kNoBox,
                   {{0, {1, 2, 3}}}},
        ReaderCase{"S5CountingFewerRecordsIsACutFile",
                   record(1, 0, {1, 2, 3}) + "S5030001FB\r\n" + record(1, 0x10, {4}),
                   0x100,
                   0,
                   {"File Read Operation Failed"},
                   {{0, {1, 2, 3}}}},
        ReaderCase{"DamagedS5VouchesForNothing",
                   record(1, 0, {1, 2, 3}) + "S5030001FC\r\n",
                   0x100,
                   0,
                   {"File Read Operation Failed"},
                   {{0, {1, 2, 3}}}},
        ReaderCase{"ChecksumErrorAfterStoring",
                   "S1060000010203F4\r\n" + kEnd9,
                   0x100,
                   0,
                   kChecksum,
                   {{0, {1, 2, 3}}}},
        ReaderCase{"ThreeAndFourByteAddresses",
                   record(2, 0x012345, {0xAB}) + record(3, 0x00010000, {0xCD}) + "S804000000FB\r\n",
                   0x20000,
                   0x12346,
                   kNoBox,
                   {{0x12345, {0xAB}}, {0x10000, {0xCD}}}},
        ReaderCase{
            "LowerCaseDigits", "S1060000010203f3\n" + kEnd9, 0x100, 3, kNoBox, {{0, {1, 2, 3}}}},
        ReaderCase{"OtherKindsSkippedUnchecked",
                   "S0zz\r\nS4!!\r\nS5\r\nS6 12\r\nSX\r\nS\r\nS1060000010203F3\r\n" + kEnd9,
                   0x100,
                   3,
                   kNoBox,
                   {{0, {1, 2, 3}}}},
        ReaderCase{
            "TerminatorFieldsIgnored", "S1060000010203F3\r\nS7garbage\r\n", 0x100, 3, kNoBox, {}},
        ReaderCase{"NoTerminator",
                   "S1060000010203F3\r\n",
                   0x100,
                   0,
                   {"File Read Operation Failed"},
                   {{0, {1, 2, 3}}}},
        ReaderCase{"BlankLine", "\r\n" + kEnd9, 0x100, 0, {"Illegal Line found"}, {}},
        ReaderCase{"NotAnSLine", ":00000001FF\r\n", 0x100, 0, {"Illegal Line found"}, {}},
        ReaderCase{"EndsExactlyAtLimit",
                   record(1, 0xFD, {1, 2, 3}) + kEnd9,
                   0x100,
                   0x100,
                   kNoBox,
                   {{0xFD, {1, 2, 3}}}},
        ReaderCase{"OneBytePastLimitStoresNothing",
                   record(1, 0xFE, {1, 2, 3}) + kEnd9,
                   0x100,
                   0,
                   kTooBig,
                   {{0xFE, {0xEE, 0xEE}}}},
        // 0xFFFFFFFF + 2 wraps to 1 in 32 bits.
        ReaderCase{"HighestAddressDoesNotWrap",
                   record(3, 0xFFFFFFFF, {7, 8}) + kEnd9,
                   0x100,
                   0,
                   kTooBig,
                   {{0, {0xEE, 0xEE}}}},
        ReaderCase{"IllegalCount", "S1G60000010203F3\r\n", 0x100, 0, kIllegalChar, {}},
        ReaderCase{"IllegalAddress", "S10600X0010203F3\r\n", 0x100, 0, kIllegalChar, {}},
        ReaderCase{"IllegalData", "S1060000010X03F3\r\n", 0x100, 0, kIllegalChar, {{0, {1, 0xEE}}}},
        ReaderCase{
            "TruncatedData", "S10600000102\r\n", 0x100, 0, kIllegalChar, {{0, {1, 2, 0xEE}}}},
        ReaderCase{"TruncatedAddress", "S106\n", 0x100, 0, kIllegalChar, {}},
        ReaderCase{"MissingChecksum", "S1060000010203\n", 0x100, 0, kIllegalChar, {{0, {1, 2, 3}}}},
        // A count that cannot even hold the address and checksum: refused, nothing stored.
        ReaderCase{"CountTooSmallForType1", "S1020000FD\r\n" + kEnd9, 0x100, 0, kChecksum, {}},
        ReaderCase{"CountTooSmallForType3", "S30012345678\r\n" + kEnd9, 0x100, 0, kChecksum, {}},
        ReaderCase{"EmptyDataRecord", record(1, 0x10, {}) + kEnd9, 0x100, 0x10, kNoBox, {}},
        // A line is at most 100 characters: 47 data bytes need 104, so the line
        // is cut after 46 complete bytes.
        ReaderCase{"LineCutAt100",
                   record(1, 0, std::vector<uint8_t>(47, 0x11)) + kEnd9,
                   0x100,
                   0,
                   kIllegalChar,
                   {{0, std::vector<uint8_t>(46, 0x11)}, {46, {0xEE}}}},
        // A record of exactly 100 characters fills the whole read; its line end
        // then comes as a line of its own.
        ReaderCase{"RecordOf100Characters",
                   record(1, 0, std::vector<uint8_t>(45, 0x11)) + kEnd9,
                   0x100,
                   0,
                   {"Illegal Line found"},
                   {{0, std::vector<uint8_t>(45, 0x11)}}}),
    [](const ::testing::TestParamInfo<ReaderCase>& info) { return info.param.name; });

std::string writeToText(const std::vector<uint8_t>& source) {
    TempDir dir;
    const std::string path = dir.file("out.src");
    EXPECT_TRUE(WriteSRecord(path, source.data(), static_cast<uint32_t>(source.size())));
    return readFile(path);
}

const std::string kHeader = "S00600004844521B\r\n";

TEST(SRecordWriter, SixteenZeroBytesMakeOneType1Record) {
    EXPECT_EQ(writeToText(std::vector<uint8_t>(16, 0)),
              kHeader + "S1130000" + std::string(32, '0') + "EC\r\n" + kEnd9);
}

TEST(SRecordWriter, TheCountChoosesTheRecordType) {
    const std::string big = writeToText(std::vector<uint8_t>(0x10000, 0));
    EXPECT_EQ(big.substr(0, kHeader.size() + 46),
              kHeader + "S214000000" + std::string(32, '0') + "EB\r\n");
    EXPECT_EQ(big.substr(big.size() - 14), "S804000000FB\r\n");
    EXPECT_EQ(writeToText(std::vector<uint8_t>(0xFFFF, 0xFF)), kHeader + kEnd9);
    EXPECT_EQ(writeToText(std::vector<uint8_t>(0x20000, 0xFF)), kHeader + "S804000000FB\r\n");
}

TEST(SRecordWriter, MoreThan16MiBUsesType3) {
    std::vector<uint8_t> image(0x1000010, 0xFF);
    image[0x1000005] = 0x42;
    EXPECT_EQ(writeToText(image),
              kHeader + record(3, 0x1000000, std::vector<uint8_t>(image.end() - 16, image.end())) +
                  "S70500000000FA\r\n");
}

TEST(SRecordWriter, RoundTripsThroughTheReader) {
    std::mt19937 random(11);
    std::vector<uint8_t> image(0x12345);
    for (uint8_t& byte : image) byte = static_cast<uint8_t>(random());
    const std::string text = writeToText(image);
    GuardedTarget target(image.size());
    ScriptedUi ui;
    EXPECT_EQ(readSRecordText(text, target.data(), static_cast<uint32_t>(image.size()), ui),
              static_cast<int32_t>(image.size()));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), target.data()));
}

#ifndef _WIN32  // Windows has no file size limit that makes a write fail part-way
TEST(SRecordWriter, ReportsAFailedWrite) {
    TempDir dir;
    const std::vector<uint8_t> image(0x10000, 0x12);
    FileSizeLimit limit(4096);
    EXPECT_FALSE(WriteSRecord(dir.file("big.src"), image.data(), 0x10000));
}
#endif

}  // namespace
}  // namespace ostrel::testing
