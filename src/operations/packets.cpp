#include "operations/packets.h"

#include "catalogue/id_read.h"

namespace ostrel {
namespace {

Packet commandPacket(uint8_t flag, Command code) {
    Packet packet{};
    packet[0] = flag;
    packet[1] = code;
    return packet;
}

// A text of the hardware information: from `first` up to the first zero byte,
// but never at or past `limit`.
std::string fieldText(const Packet& reply, std::size_t first, std::size_t limit) {
    std::string text;
    for (std::size_t i = first; i < limit && reply[i] != 0; ++i)
        text.push_back(static_cast<char>(reply[i]));
    return text;
}

}  // namespace

void putField16(uint8_t* at, uint16_t value, bool bigEndian) {
    const uint8_t high = static_cast<uint8_t>(value >> 8);
    const uint8_t low = static_cast<uint8_t>(value);
    at[0] = bigEndian ? high : low;
    at[1] = bigEndian ? low : high;
}

void putField32(uint8_t* at, uint32_t value, bool bigEndian) {
    for (int i = 0; i < 4; ++i) {
        const int shift = bigEndian ? 24 - 8 * i : 8 * i;
        at[i] = static_cast<uint8_t>(value >> shift);
    }
}

uint16_t getField16(const uint8_t* at, bool bigEndian) {
    return bigEndian ? static_cast<uint16_t>(at[0] << 8 | at[1])
                     : static_cast<uint16_t>(at[1] << 8 | at[0]);
}

uint32_t getField32(const uint8_t* at, bool bigEndian) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const int shift = bigEndian ? 24 - 8 * i : 8 * i;
        value |= static_cast<uint32_t>(at[i]) << shift;
    }
    return value;
}

Packet chipSetupPacket(Command code, const ChipRecord& chip, int32_t speed, bool bigEndian) {
    Packet packet = commandPacket(0, code);
    packet[2] = chip.chipClass;
    packet[3] = chip.algorithm;
    putField16(&packet[4], chip.flashPage, bigEndian);
    putField16(&packet[6], chip.delay, bigEndian);
    putField32(&packet[8], chip.flashSize, bigEndian);
    putField32(&packet[12], chip.chipId, bigEndian);
    packet[16] = static_cast<uint8_t>(speed & 0xFF);
    packet[28] = chip.voltage;
    return packet;
}

Packet setAddressPacket(uint32_t address, bool bigEndian) {
    Packet packet = commandPacket(0, CmdSetAddress);
    putField32(&packet[8], address, bigEndian);
    return packet;
}

Packet spiRawPacket(uint8_t opcode) {
    Packet packet = commandPacket(0, CmdSpiRaw);
    packet[2] = 3;
    packet[3] = 1;
    packet[4] = opcode;
    return packet;
}

Packet erasePacket(uint16_t argument, bool bigEndian) {
    Packet packet = commandPacket(1, CmdErase);
    putField16(&packet[26], argument, bigEndian);
    return packet;
}

Packet endJobPacket() {
    return commandPacket(1, CmdEndJob);
}
Packet hardwareInfoPacket() {
    return commandPacket(0, CmdHardwareInfo);
}
Packet enterUpgradePacket() {
    return commandPacket(0, CmdEnterUpgrade);
}

void makePollStatus(Packet& buffer) {
    buffer[0] = 0;
    buffer[1] = CmdPollStatus;
}

IdReply parseIdReply(const Packet& reply, bool arrived) {
    IdReply result;
    if (!arrived) {
        result.outcome = IdReply::Outcome::NoAnswer;
        return result;
    }
    result.outcome = IdReply::Outcome::Answered;
    result.kind = reply[0];
    result.id = (uint32_t{reply[1]} << 16) | (uint32_t{reply[2]} << 8) | uint32_t{reply[3]};
    return result;
}

HardwareInfo parseHardwareInfo(const Packet& reply) {
    // A full serial number field (12 characters and no zero before byte 63)
    // must not run past the reply, so the packet's end bounds it.
    HardwareInfo info;
    info.serialNumber = fieldText(reply, 51, reply.size());
    info.firmwareVersion = fieldText(reply, 46, 51);
    info.hardwareVersion = fieldText(reply, 42, 46);
    return info;
}

}  // namespace ostrel
