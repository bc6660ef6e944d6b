#pragma once
// The programmer's 64-byte command packets and the replies it sends back, as
// pure functions: nothing here touches the transport, so every byte can be
// checked without a device.
//
// Multi-byte fields travel most significant byte first with the programmer's
// usual personality (read endpoint 0x82) and least significant byte first with
// the "WinUSB1" one; every builder takes that choice as `bigEndian`.

#include <array>
#include <cstdint>
#include <string>

#include "catalogue/chip_record.h"
#include "catalogue/id_read.h"
#include "usb/programmer_identity.h"

namespace ostrel {

using Packet = std::array<uint8_t, kPacketSize>;

enum Command : uint8_t {
    CmdErase = 2,
    CmdSetAddress = 5,
    CmdBeginJob = 7,
    CmdEndJob = 8,
    CmdReadId = 9,
    CmdPollStatus = 10,
    CmdSpiRaw = 11,
    CmdHardwareInfo = 12,
    CmdEnterUpgrade = 13,
};

// The erase argument a 25-series chip gets: erase the whole chip.
inline constexpr uint16_t kWholeChipErase = 0x8000;
// Switches an SPI flash above 16 MiB to 4-byte addresses.
inline constexpr uint8_t kSpiEnter4ByteAddress = 0xB7;
// Chips above this size need kSpiEnter4ByteAddress before every stream.
inline constexpr uint32_t kThreeByteAddressLimit = 0x1000000;
// Data streams move whole blocks of the page size, but never less than this.
inline constexpr uint32_t kMinimumBlockSize = 64;

void putField16(uint8_t* at, uint16_t value, bool bigEndian);
void putField32(uint8_t* at, uint32_t value, bool bigEndian);
uint16_t getField16(const uint8_t* at, bool bigEndian);
uint32_t getField32(const uint8_t* at, bool bigEndian);

// The chip set-up that opens a job (CmdBeginJob) or asks for the chip's ID
// (CmdReadId). Only the low byte of `speed` is sent.
Packet chipSetupPacket(Command code, const ChipRecord& chip, int32_t speed, bool bigEndian);
Packet setAddressPacket(uint32_t address, bool bigEndian);
// One opcode clocked out to an SPI chip as it is.
Packet spiRawPacket(uint8_t opcode);
Packet erasePacket(uint16_t argument, bool bigEndian);
Packet endJobPacket();
Packet hardwareInfoPacket();
Packet enterUpgradePacket();
// Turns whatever the previous exchange left in `buffer` into a status poll;
// the programmer ignores bytes 2-63 of it.
void makePollStatus(Packet& buffer);

// Bit 0 of the poll reply's first byte is set while the chip is still busy.
inline bool replyBusy(const Packet& reply) {
    return (reply[0] & 1) != 0;
}

// The ID read's reply: the first byte is the detection kind, the next three
// the chip's ID. `arrived` is false when the reply did not come whole.
IdReply parseIdReply(const Packet& reply, bool arrived = true);

struct HardwareInfo {
    std::string hardwareVersion;
    std::string firmwareVersion;
    std::string serialNumber;
};
// Each text ends at its first zero byte or at the start of the next field; the
// serial number, the last field, ends at the packet's end at the latest.
HardwareInfo parseHardwareInfo(const Packet& reply);

// The block size of every data stream for a chip with this page size.
inline uint32_t streamBlockSize(uint16_t flashPage) {
    return flashPage < kMinimumBlockSize ? kMinimumBlockSize : flashPage;
}

}  // namespace ostrel
