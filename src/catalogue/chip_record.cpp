#include "catalogue/chip_record.h"

#include <cstring>

namespace ostrel {

namespace {

// Field offsets inside the 68 bytes; they follow the packed struct, which is
// the layout the catalogue file has always had.
constexpr std::size_t kOffChipId = 48;
constexpr std::size_t kOffFlashSize = 52;
constexpr std::size_t kOffFlashPage = 56;
constexpr std::size_t kOffChipClass = 58;
constexpr std::size_t kOffAlgorithm = 59;
constexpr std::size_t kOffDelay = 60;
constexpr std::size_t kOffExtend = 62;
constexpr std::size_t kOffEepromSize = 64;
constexpr std::size_t kOffEepromPage = 66;
constexpr std::size_t kOffVoltage = 67;

uint16_t get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (static_cast<unsigned>(p[1]) << 8));
}

uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
    p[2] = static_cast<uint8_t>((v >> 16) & 0xFF);
    p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

static_assert(offsetof(ChipRecord, chipId) == kOffChipId, "record layout");
static_assert(offsetof(ChipRecord, voltage) == kOffVoltage, "record layout");

ChipRecord decodeRecord(const uint8_t* bytes) {
    ChipRecord r{};
    std::memcpy(r.nameText, bytes, kNameTextSize);
    r.chipId = get32(bytes + kOffChipId);
    r.flashSize = get32(bytes + kOffFlashSize);
    r.flashPage = get16(bytes + kOffFlashPage);
    r.chipClass = bytes[kOffChipClass];
    r.algorithm = bytes[kOffAlgorithm];
    r.delay = get16(bytes + kOffDelay);
    r.extend = get16(bytes + kOffExtend);
    r.eepromSize = get16(bytes + kOffEepromSize);
    r.eepromPage = bytes[kOffEepromPage];
    r.voltage = bytes[kOffVoltage];
    return r;
}

void encodeRecord(const ChipRecord& record, uint8_t* bytes) {
    std::memcpy(bytes, record.nameText, kNameTextSize);
    put32(bytes + kOffChipId, record.chipId);
    put32(bytes + kOffFlashSize, record.flashSize);
    put16(bytes + kOffFlashPage, record.flashPage);
    bytes[kOffChipClass] = record.chipClass;
    bytes[kOffAlgorithm] = record.algorithm;
    put16(bytes + kOffDelay, record.delay);
    put16(bytes + kOffExtend, record.extend);
    put16(bytes + kOffEepromSize, record.eepromSize);
    bytes[kOffEepromPage] = record.eepromPage;
    bytes[kOffVoltage] = record.voltage;
}

}  // namespace ostrel
