#include "catalogue/chip_record.h"

#include <gtest/gtest.h>

#include <cstring>

namespace ostrel {
namespace {

TEST(ChipRecord, FieldsSitLittleEndianAtTheirOffsets) {
    uint8_t bytes[kChipRecordSize] = {};
    std::memcpy(bytes, "25,M,N", 6);
    const uint8_t tail[] = {0x17, 0x40, 0xEF, 0x00,  // chipId 0xEF4017
                            0x00, 0x00, 0x80, 0x00,  // flashSize 8 MiB
                            0x00, 0x01,              // flashPage 256
                            0x02, 0x57,              // class 2, algorithm 87
                            0x64, 0x00,              // delay 100
                            0x01, 0x02,              // extend 0x0201
                            0x00, 0x20,              // eepromSize 8192
                            0x10, 0x01};             // eepromPage 16, voltage 1.8 V
    std::memcpy(bytes + 48, tail, sizeof tail);

    const ChipRecord r = decodeRecord(bytes);
    EXPECT_STREQ(r.nameText, "25,M,N");
    EXPECT_EQ(r.chipId, 0xEF4017u);
    EXPECT_EQ(r.flashSize, 0x800000u);
    EXPECT_EQ(r.flashPage, 256);
    EXPECT_EQ(r.chipClass, ClassEeprom93);
    EXPECT_EQ(r.algorithm, 87);
    EXPECT_EQ(r.delay, 100);
    EXPECT_EQ(r.extend, 0x0201);
    EXPECT_EQ(r.eepromSize, 8192);
    EXPECT_EQ(r.eepromPage, 16);
    EXPECT_EQ(r.voltage, 1);

    uint8_t again[kChipRecordSize];
    std::memset(again, 0xAA, sizeof again);
    encodeRecord(r, again);
    EXPECT_EQ(std::memcmp(again, bytes, kChipRecordSize), 0);
}

}  // namespace
}  // namespace ostrel
