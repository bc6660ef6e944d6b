// The programmer as the host sees it through its three bulk endpoints: command
// packets, their replies and the data streams that follow a set-address. Every
// packet is checked against the command table; what does not fit is refused
// (stall) and recorded as a protocol error.

#include <cstdio>
#include <cstring>

#include "sim_internal.h"

namespace ostrel_sim {
namespace {

enum Command {
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

const char* commandName(int code) {
    switch (code) {
        case CmdErase:
            return "Erase";
        case CmdSetAddress:
            return "SetAddress";
        case CmdBeginJob:
            return "BeginJob";
        case CmdEndJob:
            return "EndJob";
        case CmdReadId:
            return "ReadId";
        case CmdPollStatus:
            return "PollStatus";
        case CmdSpiRaw:
            return "SpiRaw";
        case CmdHardwareInfo:
            return "HardwareInfo";
        case CmdEnterUpgrade:
            return "EnterUpgrade";
        default:
            return "unknown";
    }
}

// Packet fields in the personality's byte order.
uint32_t field16(const Device& d, const uint8_t* p, int at) {
    return d.winusb ? (p[at] | p[at + 1] << 8) : (p[at] << 8 | p[at + 1]);
}
uint32_t field32(const Device& d, const uint8_t* p, int at) {
    uint32_t b0 = p[at], b1 = p[at + 1], b2 = p[at + 2], b3 = p[at + 3];
    return d.winusb ? (b0 | b1 << 8 | b2 << 16 | b3 << 24) : (b0 << 24 | b1 << 16 | b2 << 8 | b3);
}

// True when every byte in [from, to) is zero.
bool zeros(const uint8_t* p, int from, int to) {
    for (int i = from; i < to; ++i) {
        if (p[i] != 0) return false;
    }
    return true;
}

uint32_t fnv1a(uint32_t hash, const uint8_t* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        hash ^= bytes[i];
        hash *= 16777619u;
    }
    return hash;
}
constexpr uint32_t kFnvBasis = 2166136261u;

// The checks of one command packet; an empty text means the packet is sound.
std::string checkPacket(const Device& d, const uint8_t* p) {
    const int code = p[1];
    const int flag = p[0];
    const bool setupCommand =
        code == CmdReadId || code == CmdHardwareInfo || code == CmdEnterUpgrade;
    int expectedFlag = (code == CmdErase || code == CmdEndJob) ? 1 : 0;
    switch (code) {
        case CmdErase:
        case CmdSetAddress:
        case CmdBeginJob:
        case CmdEndJob:
        case CmdReadId:
        case CmdPollStatus:
        case CmdSpiRaw:
        case CmdHardwareInfo:
        case CmdEnterUpgrade:
            break;
        default:
            return "unknown command code " + std::to_string(code);
    }
    if (flag != expectedFlag) {
        return std::string(commandName(code)) + ": flag byte " + std::to_string(flag);
    }
    if (!d.inJob && !setupCommand && code != CmdBeginJob) {
        return std::string(commandName(code)) + " outside a job";
    }
    // Identification and hardware information are jobs of their own.
    if (d.inJob && (setupCommand || code == CmdBeginJob)) {
        return std::string(commandName(code)) + " begins a second job inside a job";
    }
    switch (code) {
        case CmdErase:
            if (!zeros(p, 2, 26) || !zeros(p, 28, kPacket)) return "Erase: stray bytes";
            break;
        case CmdSetAddress:
            // An address past the chip is the host's to send (a ticked range may
            // reach past it): the chip wraps it, see chipOffset().
            if (!zeros(p, 2, 8) || !zeros(p, 12, kPacket)) return "SetAddress: stray bytes";
            break;
        case CmdBeginJob:
        case CmdReadId:
            // A set-up of size 0 is what a detection sends with an empty catalogue.
            if (!zeros(p, 17, 28) || !zeros(p, 29, kPacket)) return "set-up: stray bytes";
            if (p[2] > 4) return "set-up: class " + std::to_string(p[2]);
            break;
        case CmdEndJob:
        case CmdHardwareInfo:
        case CmdEnterUpgrade:
            if (!zeros(p, 2, kPacket)) return std::string(commandName(code)) + ": stray bytes";
            break;
        case CmdSpiRaw: {
            int n = p[3];
            if (p[2] != 3 || n < 1 || n > kPacket - 4) return "SpiRaw: bad length fields";
            if (!zeros(p, 4 + n, kPacket)) return "SpiRaw: stray bytes";
            break;
        }
        case CmdPollStatus:
            // Bytes 2-63 hold whatever the host's buffer held before: not checked.
            break;
    }
    return {};
}

// The chip answers only when the set-up names its class; an empty socket or a
// chip driven as another class reads as 0xFF and takes no writes.
bool chipAnswers(const Device& d) {
    return d.chip.present && d.setup.chipClass == d.chip.chipClass;
}

// Where a stream address lands in the chip. A 25-series part above 16 MiB sees
// only 24 address bits until 0xB7 switched it to 4-byte addressing; every chip
// ignores the address bits above its size, so addresses wrap at the chip size.
uint32_t chipOffset(const Device& d, uint32_t address) {
    const uint32_t size = static_cast<uint32_t>(d.chip.data.size());
    if (d.chip.chipClass == 0 && size > 0x1000000 && !d.fourByte) address &= 0xFFFFFF;
    return address % size;
}

uint64_t nextRandom(Chip& chip) {
    // splitmix64: the same seed gives the same flips on every system.
    uint64_t z = (chip.random += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// What the host receives of bytes the chip gave, through a bad connection.
void throughContact(Chip& chip, uint8_t* out, uint32_t n) {
    if (chip.stuckMask != 0)
        for (uint32_t i = 0; i < n; ++i)
            out[i] = static_cast<uint8_t>((out[i] & ~chip.stuckMask) | chip.stuckValue);
    if (chip.flakyEvery == 0) return;
    uint64_t at = 0;
    while (true) {
        if (chip.untilFlip == 0) chip.untilFlip = 1 + nextRandom(chip) % (2 * chip.flakyEvery);
        if (chip.untilFlip > n - at) {
            chip.untilFlip -= n - at;
            return;
        }
        at += chip.untilFlip;
        chip.untilFlip = 0;
        out[at - 1] ^= static_cast<uint8_t>(1u << (nextRandom(chip) % 8));
    }
}

void readChip(Device& d, uint32_t address, uint8_t* out, uint32_t n) {
    if (!chipAnswers(d)) {
        std::memset(out, 0xFF, n);
        return;
    }
    if (d.chip.unpowered) {
        std::memset(out, 0x00, n);
        return;
    }
    const uint32_t size = static_cast<uint32_t>(d.chip.data.size());
    uint32_t at = chipOffset(d, address);
    while (n > 0) {
        uint32_t piece = size - at < n ? size - at : n;
        std::memcpy(out, d.chip.data.data() + at, piece);
        throughContact(d.chip, out, piece);
        out += piece;
        n -= piece;
        at = 0;
    }
}

void writeChip(Device& d, uint32_t address, const uint8_t* in, uint32_t n) {
    if (!chipAnswers(d) || d.writeProtect || d.chip.unpowered) return;
    const uint32_t size = static_cast<uint32_t>(d.chip.data.size());
    // Flash cells only go from 1 to 0 when programmed; EEPROMs overwrite.
    const bool andProgramming = d.chip.chipClass == 0 || d.chip.chipClass == 4;
    uint32_t at = chipOffset(d, address);
    while (n > 0) {
        uint32_t piece = size - at < n ? size - at : n;
        uint8_t* cell = d.chip.data.data() + at;
        if (andProgramming) {
            for (uint32_t i = 0; i < piece; ++i) cell[i] &= in[i];
        } else {
            std::memcpy(cell, in, piece);
        }
        in += piece;
        n -= piece;
        at = 0;
    }
    d.chip.dirty = true;
}

void eraseRange(Device& d, uint32_t from, uint32_t n) {
    if (!chipAnswers(d) || d.writeProtect || d.chip.unpowered) return;
    const uint32_t size = static_cast<uint32_t>(d.chip.data.size());
    if (from >= size) from %= size;
    if (n > size - from) n = size - from;
    std::memset(d.chip.data.data() + from, 0xFF, n);
    d.chip.dirty = true;
}

Setup decodeSetup(const Device& d, const uint8_t* p) {
    Setup s;
    s.chipClass = p[2];
    s.algorithm = p[3];
    s.page = field16(d, p, 4);
    s.delay = field16(d, p, 6);
    s.size = field32(d, p, 8);
    s.id = field32(d, p, 12);
    s.speed = p[16];
    s.voltage = p[28];
    return s;
}

void queueReply(Device& d, int command, const std::array<uint8_t, kPacket>& reply) {
    d.reply = reply;
    d.replyPending = true;
    d.replyFor = command;
}

// Carries out a command that passed its checks; returns an error text when the
// chip refuses it.
std::string execute(Device& d, const uint8_t* p, char* summary, size_t summarySize) {
    const int code = p[1];
    std::array<uint8_t, kPacket> reply{};
    std::memcpy(reply.data(), p, kPacket);  // commands without an answer of their own echo
    // Any command ends the data stream that was running.
    d.haveAddress = false;
    d.stream = Stream::None;
    switch (code) {
        case CmdBeginJob:
        case CmdReadId: {
            d.setup = decodeSetup(d, p);
            d.setupCommand = code;
            d.inJob = true;
            d.fourByte = false;
            std::snprintf(summary, summarySize,
                          "class=%d alg=%d page=%u delay=%u size=0x%X id=0x%06X speed=%d volt=%d",
                          d.setup.chipClass, d.setup.algorithm, d.setup.page, d.setup.delay,
                          d.setup.size, d.setup.id, d.setup.speed, d.setup.voltage);
            if (code == CmdReadId) {
                reply.fill(0);
                if (d.idKind >= 0) {
                    reply[0] = static_cast<uint8_t>(d.idKind);
                } else if (d.chip.present) {
                    // 24- and 93-series parts have no ID: the programmer only tells their family.
                    if (d.chip.chipClass == 1) {
                        reply[0] = 2;
                    } else if (d.chip.chipClass == 2) {
                        reply[0] = 3;
                    } else if (d.chip.unpowered) {
                        reply[0] = 1;
                    } else {
                        reply[0] = 1;
                        reply[1] = static_cast<uint8_t>(d.chip.id >> 16);
                        reply[2] = static_cast<uint8_t>(d.chip.id >> 8);
                        reply[3] = static_cast<uint8_t>(d.chip.id);
                    }
                }
            }
            queueReply(d, code, reply);
            break;
        }
        case CmdEndJob:
            resetProtocol(d);
            flushImage(d);
            break;
        case CmdSetAddress:
            d.address = field32(d, p, 8);
            d.haveAddress = true;
            if (d.address >= d.setup.size) {
                std::snprintf(summary, summarySize, "addr=0x%X past the set-up's size 0x%X",
                              d.address, d.setup.size);
            } else {
                std::snprintf(summary, summarySize, "addr=0x%X", d.address);
            }
            queueReply(d, code, reply);
            break;
        case CmdSpiRaw: {
            int n = p[3];
            std::string bytes;
            for (int i = 0; i < n; ++i) {
                char hex[4];
                std::snprintf(hex, sizeof hex, " %02X", p[4 + i]);
                bytes += hex;
                if (p[4 + i] == 0xB7) d.fourByte = true;
                if (p[4 + i] == 0xE9) d.fourByte = false;
            }
            std::snprintf(summary, summarySize, "opcodes%s", bytes.c_str());
            queueReply(d, code, reply);
            break;
        }
        case CmdErase: {
            uint32_t argument = field16(d, p, 26);
            std::snprintf(summary, summarySize, "arg=0x%X", argument);
            switch (d.setup.chipClass) {
                case 0:
                    if (argument != 0x8000) return "Erase: class 0 wants argument 0x8000";
                    eraseRange(d, 0, static_cast<uint32_t>(d.chip.data.size()));
                    d.busyPolls = d.erasePolls;
                    break;
                case 1: {
                    // The argument is a byte address within the first 64 KiB: the host
                    // sends only its low 16 bits, so on a larger part the pages above
                    // 64 KiB are never erased and the low ones are erased again.
                    if (d.setup.page == 0) return "Erase: class 1 with page 0";
                    uint32_t start = argument / d.setup.page * d.setup.page;
                    eraseRange(d, start, d.setup.page);
                    break;
                }
                case 2:
                    eraseRange(d, 0, static_cast<uint32_t>(d.chip.data.size()));
                    break;
                default:
                    return "Erase: class " + std::to_string(d.setup.chipClass) + " has no erase";
            }
            break;
        }
        case CmdPollStatus: {
            reply.fill(0);
            reply[1] = CmdPollStatus;
            bool busy = d.busyForever || d.busyPolls > 0;
            if (d.busyPolls > 0) --d.busyPolls;
            reply[0] = busy ? 1 : 0;
            std::snprintf(summary, summarySize, "%s", busy ? "busy" : "ready");
            queueReply(d, code, reply);
            break;
        }
        case CmdHardwareInfo: {
            reply.fill(0);
            std::memcpy(reply.data() + 42, d.hardware.data(),
                        std::min<size_t>(4, d.hardware.size()));
            std::memcpy(reply.data() + 46, d.firmware.data(),
                        std::min<size_t>(5, d.firmware.size()));
            std::memcpy(reply.data() + 51, d.serial.data(), std::min<size_t>(13, d.serial.size()));
            queueReply(d, code, reply);
            break;
        }
        case CmdEnterUpgrade:
            ++d.upgradeRequests;
            queueReply(d, code, reply);
            // A programmer with a boot loader restarts into it at once: the reply
            // never comes, and the device is gone from the bus.
            if (d.bootLoader >= 0) switchToBootLoader(d);
            break;
    }
    return {};
}

// Adds " <text>" to the entry's summary; nothing for an empty text.
void appendText(ostrel_sim_log_entry& entry, const std::string& text) {
    if (text.empty()) return;
    const size_t used = std::strlen(entry.text);
    std::snprintf(entry.text + used, sizeof entry.text - used, " %s", text.c_str());
}

int refuse(Device& d, ostrel_sim_log_entry& entry, const std::string& why) {
    protocolError(d, why);
    entry.protocolError = 1;
    entry.result = kErrStall;
    appendText(entry, "REFUSED: " + why);
    addLog(entry);
    world().lastError = "error on bulk endpoint: Broken pipe";
    return kErrStall;
}

int commandPacket(Device& d, int endpoint, const uint8_t* p, int size) {
    ostrel_sim_log_entry entry = newEntry(d, OSTREL_SIM_LOG_COMMAND, endpoint, size);
    std::memcpy(entry.bytes, p, static_cast<size_t>(size < kPacket ? size : kPacket));
    entry.command = size >= 2 ? p[1] : -1;
    entry.total = static_cast<uint64_t>(size);
    std::snprintf(entry.text, sizeof entry.text, "cmd %d %s", entry.command,
                  size >= 2 ? commandName(p[1]) : "?");
    appendText(entry, unreadReply(d));
    if (size != kPacket)
        return refuse(d, entry, "command packet of " + std::to_string(size) + " bytes");
    std::string why = checkPacket(d, p);
    if (!why.empty()) return refuse(d, entry, why);
    char summary[96] = "";
    why = execute(d, p, summary, sizeof summary);
    if (!why.empty()) return refuse(d, entry, why);
    appendText(entry, summary);
    entry.result = size;
    addLog(entry);
    return size;
}

// A data block of the running stream. `deliver` below `size` loses the rest of
// a read block (a short read); a negative `deliver` loses all of it (time-out).
int dataBlock(Device& d, int endpoint, uint8_t* in, const uint8_t* out, int size, int deliver) {
    const bool reading = in != nullptr;
    const int kind = reading ? OSTREL_SIM_LOG_DATA_IN : OSTREL_SIM_LOG_DATA_OUT;
    ostrel_sim_log_entry entry = newEntry(d, kind, endpoint, size);
    entry.address = d.address;
    std::snprintf(entry.text, sizeof entry.text, "data %s", reading ? "in" : "out");
    // A write stream follows a set-address whose reply is not read.
    if (!reading) appendText(entry, unreadReply(d));
    if (!d.haveAddress) return refuse(d, entry, "data without set-address");
    if (d.stream == (reading ? Stream::Out : Stream::In)) {
        return refuse(d, entry, "data stream changed direction");
    }
    if (static_cast<uint32_t>(size) != d.blockSize()) {
        return refuse(d, entry,
                      "data block of " + std::to_string(size) + " bytes, block size " +
                          std::to_string(d.blockSize()));
    }
    d.stream = reading ? Stream::In : Stream::Out;
    const uint32_t address = d.address;
    d.address += static_cast<uint32_t>(size);
    if (!reading) {
        writeChip(d, address, out, static_cast<uint32_t>(size));
    } else if (deliver >= size) {
        readChip(d, address, in, static_cast<uint32_t>(size));
    } else {
        std::vector<uint8_t> block(static_cast<size_t>(size));
        readChip(d, address, block.data(), static_cast<uint32_t>(size));
        if (deliver < 0) {
            entry.result = kErrTimeout;
            ++d.timeouts;
            std::snprintf(entry.text, sizeof entry.text, "data in lost (time-out)");
            addLog(entry);
            world().lastError = "error reading from bulk endpoint: Connection timed out";
            return kErrTimeout;
        }
        std::memcpy(in, block.data(), static_cast<size_t>(deliver));
        entry.result = deliver;
        entry.total = static_cast<uint64_t>(deliver);
        entry.checksum = fnv1a(kFnvBasis, in, static_cast<size_t>(deliver));
        std::snprintf(entry.text, sizeof entry.text, "data in short (%d of %d)", deliver, size);
        addLog(entry);
        return deliver;
    }
    const uint8_t* moved = reading ? in : out;
    // Blocks of one stream share a log entry, so a long stream costs no memory.
    std::vector<ostrel_sim_log_entry>& log = world().log;
    if (!log.empty()) {
        ostrel_sim_log_entry& last = log.back();
        if (last.device == d.index && last.kind == kind && last.endpoint == endpoint &&
            last.length == size && last.result == size && last.protocolError == 0 &&
            last.address + last.total == address) {
            ++last.blocks;
            last.total += static_cast<uint64_t>(size);
            last.checksum = fnv1a(last.checksum, moved, static_cast<size_t>(size));
            return size;
        }
    }
    entry.checksum = fnv1a(kFnvBasis, moved, static_cast<size_t>(size));
    entry.result = size;
    entry.total = static_cast<uint64_t>(size);
    addLog(entry);
    return size;
}

}  // namespace

bool stalled(Device& d) {
    if (d.bulkTransfers++ < d.stallAfter) return false;
    ++d.timeouts;
    // A programmer that stopped answering sends no reply either: the host's
    // read of it timed out, or will.
    d.replyPending = false;
    ostrel_sim_log_entry entry = newEntry(d, OSTREL_SIM_LOG_DATA_IN, 0, 0);
    entry.result = kErrTimeout;
    std::snprintf(entry.text, sizeof entry.text, "stalled: transfer timed out");
    addLog(entry);
    world().lastError = "error on bulk endpoint: Connection timed out";
    return true;
}

std::string unreadReply(Device& d) {
    if (!d.replyPending) return {};
    d.replyPending = false;
    // The set-address reply is read before a read stream only; nothing can tell
    // a write stream of no blocks from one the host forgot to read for.
    if (d.replyFor == CmdSetAddress) return {};
    const std::string why = std::string("reply to ") + commandName(d.replyFor) + " never read";
    protocolError(d, why);
    return "(" + why + ")";
}

int programmerWrite(Device& d, int endpoint, const uint8_t* bytes, int size) {
    if (!d.programmer) {
        world().lastError = "error on bulk endpoint: Broken pipe";
        return kErrStall;
    }
    if (endpoint == d.commandEndpoint()) return commandPacket(d, endpoint, bytes, size);
    if (endpoint == d.dataEndpoint()) return dataBlock(d, endpoint, nullptr, bytes, size, size);
    ostrel_sim_log_entry entry = newEntry(d, OSTREL_SIM_LOG_DATA_OUT, endpoint, size);
    std::snprintf(entry.text, sizeof entry.text, "write to endpoint 0x%02X", endpoint);
    return refuse(d, entry, "no such out endpoint");
}

int programmerRead(Device& d, int endpoint, uint8_t* bytes, int size) {
    if (!d.programmer) {
        world().lastError = "error on bulk endpoint: Broken pipe";
        return kErrStall;
    }
    if (endpoint != d.inEndpoint()) {
        ostrel_sim_log_entry entry = newEntry(d, OSTREL_SIM_LOG_DATA_IN, endpoint, size);
        std::snprintf(entry.text, sizeof entry.text, "read from endpoint 0x%02X", endpoint);
        return refuse(d, entry, "no such in endpoint");
    }
    ++d.reads;
    int shortLength = -1;
    bool timeout = false;
    bool flip = false;
    for (const auto& fault : d.readFaults) {
        if (fault[1] != d.reads) continue;
        if (fault[0] == OSTREL_SIM_FAULT_READ_TIMEOUT) timeout = true;
        if (fault[0] == OSTREL_SIM_FAULT_FLIP_READ) flip = true;
        if (fault[0] == OSTREL_SIM_FAULT_SHORT_READ) shortLength = static_cast<int>(fault[2]);
    }
    if (d.replyPending) {
        ostrel_sim_log_entry entry = newEntry(d, OSTREL_SIM_LOG_REPLY, endpoint, size);
        entry.command = d.replyFor;
        d.replyPending = false;
        if (timeout) {
            std::snprintf(entry.text, sizeof entry.text, "reply lost (time-out)");
            entry.result = kErrTimeout;
            addLog(entry);
            ++d.timeouts;
            world().lastError = "error reading from bulk endpoint: Connection timed out";
            return kErrTimeout;
        }
        int n = size < kPacket ? size : kPacket;
        if (shortLength >= 0 && shortLength < n) n = shortLength;
        std::memcpy(bytes, d.reply.data(), static_cast<size_t>(n));
        std::memcpy(entry.bytes, d.reply.data(), kPacket);
        std::snprintf(entry.text, sizeof entry.text, "reply %d bytes to %s", n,
                      commandName(d.replyFor));
        entry.result = n;
        entry.total = static_cast<uint64_t>(n);
        addLog(entry);
        return n;
    }
    if (!d.haveAddress) {
        // Nothing to send: a real programmer would leave the host waiting for the time-out.
        ostrel_sim_log_entry entry = newEntry(d, OSTREL_SIM_LOG_DATA_IN, endpoint, size);
        std::snprintf(entry.text, sizeof entry.text, "read with nothing to send");
        protocolError(d, "read with nothing to send");
        entry.protocolError = 1;
        entry.result = kErrTimeout;
        addLog(entry);
        world().lastError = "error reading from bulk endpoint: Connection timed out";
        return kErrTimeout;
    }
    int deliver = size;
    if (shortLength >= 0 && shortLength < size) deliver = shortLength;
    if (timeout) deliver = -1;
    const int moved = dataBlock(d, endpoint, bytes, nullptr, size, deliver);
    if (flip && moved > 0) bytes[0] = static_cast<uint8_t>(~bytes[0]);
    return moved;
}

}  // namespace ostrel_sim
