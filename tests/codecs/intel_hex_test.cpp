#include "buffers/intel_hex.h"

#include <gtest/gtest.h>

#include <random>

#include "codec_test_util.h"
#include "support/temp_files.h"

namespace ostrel::testing {
namespace {

// One record with a correct checksum and CR LF.
std::string record(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
    std::string text = ":";
    char digits[3];
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    auto put = [&](unsigned byte) {
        std::snprintf(digits, sizeof digits, "%02X", byte & 0xFF);
        text += digits;
    };
    put(static_cast<unsigned>(data.size()));
    put(address >> 8);
    put(address);
    put(type);
    for (uint8_t byte : data) {
        put(byte);
        sum += byte;
    }
    put(0x100 - (sum & 0xFF));
    return text + "\r\n";
}

const std::string kEnd = ":00000001FF\r\n";

class IntelHexReader : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(IntelHexReader, StoresWhatTheRecordsNameAndReportsErrors) {
    expectReaderCase(GetParam(), readIntelText);
}

std::vector<uint8_t> bytesCountingFrom(uint8_t first, std::size_t count) {
    std::vector<uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
    return bytes;
}

const std::vector<std::string> kNoBox;
const std::vector<std::string> kReadFailed = {"File Read Operation Failed", "Error reading File"};
const std::vector<std::string> kIllegalChar = {"Illegal Char in File"};
const std::vector<std::string> kTooBig = {"File exceeds Maximum Size"};

INSTANTIATE_TEST_SUITE_P(
    Records, IntelHexReader,
    ::testing::Values(
        ReaderCase{"DataAndEnd",
                   ":0300300002337A1E\r\n" + kEnd,
                   0x100,
                   0x33,
                   kNoBox,
                   {{0x2F, {0xEE, 0x02, 0x33, 0x7A, 0xEE}}}},
        ReaderCase{"LowerCaseDigitsAndBareLineFeeds",
                   ":0300300002337a1e\n:00000001ff\n",
                   0x100,
                   0x33,
                   kNoBox,
                   {{0x30, {0x02, 0x33, 0x7A}}}},
        ReaderCase{"ChecksumErrorAfterStoring",
                   ":0300300002337A1F\r\n" + kEnd,
                   0x100,
                   0,
                   {"Checksum Error type 0"},
                   {{0x30, {0x02, 0x33, 0x7A}}}},
        ReaderCase{"LinearBase",
                   ":020000040001F9\r\n:0100000055AA\r\n" + kEnd,
                   0x20000,
                   0x10001,
                   kNoBox,
                   {{0x0, {0xEE}}, {0x10000, {0x55}}}},
        ReaderCase{"SegmentBase",
                   ":020000021000EC\r\n:0100000055AA\r\n" + kEnd,
                   0x20000,
                   0x10001,
                   kNoBox,
                   {{0x0, {0xEE}}, {0x10000, {0x55}}}},
        ReaderCase{"BasesAddUp",
                   record(4, 0, {0x00, 0x01}) + record(2, 0, {0x00, 0x10}) +
                       record(0, 0x10, {0x77}) + kEnd,
                   0x20000,
                   0x10111,
                   kNoBox,
                   {{0x10110, {0x77}}}},
        ReaderCase{"BadEndRecord", ":00000001FE\r\n", 0x100, 0, {"Invalid EOF Record"}, {}},
        ReaderCase{"EndRecordWithAddress", ":00000101FE\r\n", 0x100, 0, {"Invalid EOF Record"}, {}},
        ReaderCase{"NoEndRecord",
                   ":0300300002337A1E\r\n",
                   0x100,
                   0,
                   kReadFailed,
                   {{0x30, {0x02, 0x33, 0x7A}}}},
        ReaderCase{"EmptyFile", "", 0x100, 0, kReadFailed, {}},
        ReaderCase{"BlankLine",
                   ":0300300002337A1E\r\n\r\n" + kEnd,
                   0x100,
                   0,
                   {"Illegal Line found"},
                   {{0x30, {0x02}}}},
        ReaderCase{"EmptyLine", "\n" + kEnd, 0x100, 0, {"Illegal Line found"}, {}},
        ReaderCase{"EndsExactlyAtLimit",
                   ":0300300002337A1E\r\n" + kEnd,
                   0x33,
                   0x33,
                   kNoBox,
                   {{0x30, {0x02, 0x33, 0x7A}}}},
        ReaderCase{"OneBytePastLimitStoresNothing",
                   ":0300300002337A1E\r\n" + kEnd,
                   0x32,
                   0,
                   kTooBig,
                   {{0x30, {0xEE, 0xEE, 0xEE}}}},
        // 0xFFFF0000 + 0x10000 is 2^32: a 32-bit offset would wrap to 0.
        ReaderCase{
            "HugeBaseDoesNotWrap",
            record(4, 0, {0xFF, 0xFF}) + record(2, 0, {0x10, 0x00}) + record(0, 0, {0x99}) + kEnd,
            0x100,
            0,
            kTooBig,
            {{0x0, {0xEE}}}},
        ReaderCase{"LargestBasesRefused",
                   record(4, 0, {0xFF, 0xFF}) + record(2, 0, {0xFF, 0xFF}) +
                       record(0, 0xFFFF, {0x99}) + kEnd,
                   0x20000,
                   0,
                   kTooBig,
                   {}},
        ReaderCase{"StartAddressRecordsSkippedUnchecked",
                   ":04000003ZZ\r\n:0400000512\r\n:0100000055AA\r\n" + kEnd,
                   0x100,
                   1,
                   kNoBox,
                   {{0, {0x55}}}},
        ReaderCase{"TypeSix", ":00000006FA\r\n", 0x100, 0, {"Invalid Record type"}, {}},
        ReaderCase{"IllegalCount", ":0G00000000\r\n", 0x100, 0, kIllegalChar, {}},
        ReaderCase{"IllegalType", ":000000X0FF\r\n", 0x100, 0, kIllegalChar, {}},
        ReaderCase{"IllegalDataByte",
                   ":03003000020G7A1E\r\n",
                   0x100,
                   0,
                   kIllegalChar,
                   {{0x30, {0x02, 0xEE}}}},
        // A line cut short: the complete bytes are stored, the missing ones are illegal.
        ReaderCase{"TruncatedData",
                   ":0300300002\r\n" + kEnd,
                   0x100,
                   0,
                   kIllegalChar,
                   {{0x30, {0x02, 0xEE, 0xEE}}}},
        ReaderCase{"TruncatedHeader", ":03\n", 0x100, 0, kIllegalChar, {}},
        ReaderCase{"MissingChecksum",
                   ":0300300002337A\n" + kEnd,
                   0x100,
                   0,
                   kIllegalChar,
                   {{0x30, {0x02, 0x33, 0x7A}}}},
        ReaderCase{"BadLength2",
                   ":03000002100000EB\r\n",
                   0x100,
                   0,
                   {"Invalid Record Length for type 2"},
                   {}},
        ReaderCase{
            "BadLength4", ":0100000401FA\r\n", 0x100, 0, {"Invalid Record Length for type 4"}, {}},
        ReaderCase{"Checksum2", ":020000021000ED\r\n", 0x100, 0, {"Checksum Error type 2"}, {}},
        ReaderCase{"Checksum4", ":020000040001FA\r\n", 0x100, 0, {"Checksum Error type 4"}, {}},
        ReaderCase{"NothingReadAfterEnd", kEnd + "garbage\n", 0x100, 0, kNoBox, {}},
        // 255 data bytes need 521 characters, but a line is at most 512: the
        // record is cut after 251 complete bytes.
        ReaderCase{"LineCutAt512",
                   record(0, 0, bytesCountingFrom(0, 255)) + kEnd,
                   0x200,
                   0,
                   kIllegalChar,
                   {{0, bytesCountingFrom(0, 251)}, {251, {0xEE}}}}),
    [](const ::testing::TestParamInfo<ReaderCase>& info) { return info.param.name; });

std::string writeToText(const std::vector<uint8_t>& source) {
    TempDir dir;
    const std::string path = dir.file("out.hex");
    EXPECT_TRUE(WriteIntelHex(path, source.data(), static_cast<uint32_t>(source.size())));
    return readFile(path);
}

TEST(IntelHexWriter, FortyZeroBytesMakeTwoRecords) {
    EXPECT_EQ(writeToText(std::vector<uint8_t>(40, 0)), ":20000000" + std::string(64, '0') +
                                                            "E0\r\n:08002000" +
                                                            std::string(16, '0') + "D8\r\n" + kEnd);
}

TEST(IntelHexWriter, SkipsErasedRecordsButMarksEveryBlock) {
    std::vector<uint8_t> image(0x10000 + 32, 0xFF);
    std::fill(image.end() - 32, image.end(), 0x00);
    EXPECT_EQ(writeToText(image),
              ":020000040001F9\r\n:20000000" + std::string(64, '0') + "E0\r\n" + kEnd);

    EXPECT_EQ(writeToText(std::vector<uint8_t>(3 * 0x10000, 0xFF)),
              ":020000040001F9\r\n:020000040002F8\r\n" + kEnd);
    EXPECT_EQ(writeToText({}), kEnd);
}

TEST(IntelHexWriter, RoundTripsThroughTheReader) {
    std::mt19937 random(7);
    std::vector<uint8_t> image(0x30000 + 17);
    for (uint8_t& byte : image) byte = static_cast<uint8_t>(random());
    std::fill(image.begin() + 0x100, image.begin() + 0x20000, 0xFF);
    const std::string text = writeToText(image);

    GuardedTarget target(image.size());
    std::fill(target.data(), target.data() + image.size(), 0xFF);
    ScriptedUi ui;
    EXPECT_EQ(readIntelText(text, target.data(), static_cast<uint32_t>(image.size()), ui),
              static_cast<int32_t>(image.size()));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), target.data()));
}

#ifndef _WIN32  // Windows has no file size limit that makes a write fail part-way
TEST(IntelHexWriter, ReportsAFailedWrite) {
    TempDir dir;
    const std::vector<uint8_t> image(0x10000, 0x12);
    FileSizeLimit limit(4096);
    EXPECT_FALSE(WriteIntelHex(dir.file("big.hex"), image.data(), 0x10000));
    EXPECT_FALSE(WriteIntelHex(dir.file("missing/x.hex"), image.data(), 16));
}
#endif

}  // namespace
}  // namespace ostrel::testing
