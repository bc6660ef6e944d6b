#pragma once
// One chip of the catalogue: 68 bytes, the same in memory and in the file.
// The file is little-endian whatever the host, so records cross the file
// boundary only through decodeRecord/encodeRecord, never by a cast.

#include <array>
#include <cstddef>
#include <cstdint>

namespace ostrel {

inline constexpr std::size_t kChipRecordSize = 68;
inline constexpr std::size_t kNameTextSize = 48;  // 47 bytes of text and the zero
inline constexpr int kCatalogueCapacity = 1000;

enum ChipClass : uint8_t {
    ClassSpiFlash25 = 0,
    ClassEeprom24 = 1,
    ClassEeprom93 = 2,
    ClassEeprom95 = 3,
    ClassAvr = 4,
};

#pragma pack(push, 1)
struct ChipRecord {
    char nameText[kNameTextSize];  // GBK: type,manufacturer,name; empty = terminator
    uint32_t chipId;               // three ID bytes, first in bits 16-23
    uint32_t flashSize;            // main memory in bytes
    uint16_t flashPage;            // page size of the main memory
    uint8_t chipClass;             // ChipClass
    uint8_t algorithm;             // per class, see the editor's lists
    uint16_t delay;                // handed to the programmer; bounds the class-0 erase wait
    uint16_t extend;               // non-zero shows the CONFIG page
    uint16_t eepromSize;           // DATA area in bytes, 0 = none
    uint8_t eepromPage;
    uint8_t voltage;  // 0 = 3.3 V, 1 = 1.8 V
};
#pragma pack(pop)
static_assert(sizeof(ChipRecord) == kChipRecordSize, "a chip record is 68 bytes");

// Byte-exact conversions between a record and its 68 little-endian bytes.
ChipRecord decodeRecord(const uint8_t* bytes);
void encodeRecord(const ChipRecord& record, uint8_t* bytes);

}  // namespace ostrel
