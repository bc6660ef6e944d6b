#include "operations/packets.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "operations/stream_span.h"

namespace ostrel {
namespace {

ChipRecord chip512k() {
    ChipRecord chip{};
    std::strcpy(chip.nameText, "SPI_FLASH,Maker,X25Q40");
    chip.chipId = 0xEF4013;
    chip.flashSize = 0x80000;
    chip.flashPage = 256;
    chip.chipClass = ClassSpiFlash25;
    chip.algorithm = 3;
    chip.delay = 0x1234;
    chip.extend = 7;
    chip.eepromSize = 512;
    chip.eepromPage = 16;
    chip.voltage = 1;
    return chip;
}

std::vector<uint8_t> bytes(const Packet& p, std::size_t from, std::size_t count) {
    return {p.begin() + static_cast<long>(from), p.begin() + static_cast<long>(from + count)};
}

TEST(ChipSetupPacket, CarriesTheRecordMostSignificantByteFirst) {
    const Packet p = chipSetupPacket(CmdBeginJob, chip512k(), 0x1A5, true);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[1], 7);
    EXPECT_EQ(p[2], ClassSpiFlash25);
    EXPECT_EQ(p[3], 3);
    EXPECT_EQ(bytes(p, 4, 2), (std::vector<uint8_t>{0x01, 0x00}));
    EXPECT_EQ(bytes(p, 6, 2), (std::vector<uint8_t>{0x12, 0x34}));
    EXPECT_EQ(bytes(p, 8, 4), (std::vector<uint8_t>{0x00, 0x08, 0x00, 0x00}));
    EXPECT_EQ(bytes(p, 12, 4), (std::vector<uint8_t>{0x00, 0xEF, 0x40, 0x13}));
    EXPECT_EQ(p[16], 0xA5) << "only the speed's low byte is sent";
    EXPECT_EQ(p[28], 1);
    // Name, extend and the EEPROM fields never reach the programmer.
    for (std::size_t i : {17u, 18u, 20u, 24u, 27u, 29u, 40u, 63u}) EXPECT_EQ(p[i], 0) << i;
}

TEST(ChipSetupPacket, WinUsbPersonalitySendsLeastSignificantByteFirst) {
    const Packet p = chipSetupPacket(CmdReadId, chip512k(), 0, false);
    EXPECT_EQ(p[1], 9);
    EXPECT_EQ(bytes(p, 4, 2), (std::vector<uint8_t>{0x00, 0x01}));
    EXPECT_EQ(bytes(p, 6, 2), (std::vector<uint8_t>{0x34, 0x12}));
    EXPECT_EQ(bytes(p, 8, 4), (std::vector<uint8_t>{0x00, 0x00, 0x08, 0x00}));
    EXPECT_EQ(bytes(p, 12, 4), (std::vector<uint8_t>{0x13, 0x40, 0xEF, 0x00}));
}

// The other packets with fields, in both byte orders (the simulator checks the
// rest of every packet it is sent).
struct FixedPacketCase {
    const char* name;
    Packet packet;
    uint8_t flag;
    uint8_t code;
    std::vector<std::pair<std::size_t, uint8_t>> fields;
};

TEST(CommandPackets, FieldsInBothByteOrders) {
    const std::vector<FixedPacketCase> cases = {
        {"set address BE",
         setAddressPacket(0x01020304, true),
         0,
         5,
         {{8, 1}, {9, 2}, {10, 3}, {11, 4}}},
        {"set address LE",
         setAddressPacket(0x01020304, false),
         0,
         5,
         {{8, 4}, {9, 3}, {10, 2}, {11, 1}}},
        {"erase BE", erasePacket(0x8000, true), 1, 2, {{26, 0x80}, {27, 0x00}}},
        {"erase LE", erasePacket(0x8000, false), 1, 2, {{26, 0x00}, {27, 0x80}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Packet expected{};
        expected[0] = c.flag;
        expected[1] = c.code;
        for (const auto& [at, value] : c.fields) expected[at] = value;
        EXPECT_EQ(c.packet, expected);
    }
}

void place(Packet& p, std::size_t at, const char* text) {
    std::memcpy(&p[at], text, std::strlen(text));
}

TEST(Replies, HardwareInfoTextsEndAtZeroOrAtTheNextField) {
    struct Case {
        const char* hardware;
        const char* firmware;
        const char* serial;
        const char* expectHardware;
        const char* expectFirmware;
        const char* expectSerial;
    };
    const Case cases[] = {
        {"V1", "2.0", "OST1", "V1", "2.0", "OST1"},
        // Full fields carry no zero byte: each stops where the next begins, and
        // a serial number filling all of bytes 51-63 at the end of the reply.
        {"V1.1", "2.0.3", "ABCDEFGHIJKLM", "V1.1", "2.0.3", "ABCDEFGHIJKLM"},
        {"", "", "", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.serial);
        Packet reply{};
        std::memset(reply.data(), 0x41, 42);  // bytes 0-41 are not part of any text
        place(reply, 42, c.hardware);
        place(reply, 46, c.firmware);
        place(reply, 51, c.serial);
        const HardwareInfo info = parseHardwareInfo(reply);
        EXPECT_EQ(info.hardwareVersion, c.expectHardware);
        EXPECT_EQ(info.firmwareVersion, c.expectFirmware);
        EXPECT_EQ(info.serialNumber, c.expectSerial);
    }
}

TEST(StreamArithmetic, RangeRoundsToPagesAndStaysInsideTheBuffer) {
    struct Case {
        int32_t start, end;
        uint16_t page;
        int64_t expectStart, expectEnd;
    };
    const Case cases[] = {
        {0x105, 0x1FF, 256, 0x100, 0x200},
        {0x10, 0x1F, 256, 0, 0x100},
        {0x100, 0x200, 256, 0x100, 0x300},  // the page of the last address is taken whole
        {0x100, 0x2FF, 256, 0x100, 0x300},
        {0x105, 0x1FF, 16, 0x100, 0x200},
        {0x10, 0x1F, 0, 0, 0x40},                            // page 0 counts as one 64-byte block
        {-300, -5, 256, 0, 0},                               // negative addresses become 0
        {0x300, 0x100, 256, 0x300, 0x200},                   // start above end: an empty stream
        {0x3FFFF00, 0x7FFFFFFF, 528, 0x3FFFDB0, 0x4000000},  // end held at the buffer
        {0x7FFFFFFF, 0x7FFFFFFF, 256, 0x4000000, 0x4000000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.start << ".." << c.end << " page " << c.page);
        const AddressSpan span = pageAlignedRange(c.start, c.end, c.page);
        EXPECT_EQ(span.start, c.expectStart);
        EXPECT_EQ(span.end, c.expectEnd);
    }
}

TEST(StreamArithmetic, ReadTrimEndsAfterTheLastProgrammedByteRoundedToEven) {
    std::vector<uint8_t> data(0x2000, 0xFF);
    EXPECT_EQ(trimmedLength(data.data(), 0x2000), 0);
    data[0x1234] = 0x00;
    EXPECT_EQ(trimmedLength(data.data(), 0x2000), 0x1236);
    data[0x1235] = 0x12;
    EXPECT_EQ(trimmedLength(data.data(), 0x2000), 0x1236);
    data[0] = 0;
    EXPECT_EQ(trimmedLength(data.data(), 1), 2);
}

}  // namespace
}  // namespace ostrel
