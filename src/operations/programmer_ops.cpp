#include "operations/programmer_ops.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "usb/programmer_identity.h"

namespace ostrel {
namespace {

// A 24-series chip needs this long after its last block before the job ends.
constexpr int kEeprom24WriteSettleMs = 100;
// Wait before each status poll of a 25-series erase.
constexpr int kPollIntervalMs = 50;

std::string hexAddress(int64_t address) {
    char text[24];
    std::snprintf(text, sizeof text, "%llXh", static_cast<unsigned long long>(address));
    return text;
}

}  // namespace

ProgrammerOps::ProgrammerOps(MainState& state, TUsbBulk& usb, UiPort& ui)
    : state_(state), usb_(usb), ui_(ui) {}

bool ProgrammerOps::openProgrammer() {
    return usb_.prog_open(kProgrammerVendorId, kProgrammerVendorText, kProgrammerProductId,
                          kProgrammerProductText) != 0;
}

void ProgrammerOps::errorBox(const std::string& message) {
    ui_.errorBox(message);
}

bool ProgrammerOps::chipFitsBuffer() {
    if (chip().flashSize <= kFlashBufferSize) return true;
    errorBox(programText(Txt::ChipTooLarge, state_.language));
    return false;
}

void ProgrammerOps::showProgress(int64_t maximum) {
    ui_.setProgressVisible(true);
    ui_.setProgressMax(maximum);
    ui_.setProgressPosition(0);
}

void ProgrammerOps::hideProgress() {
    ui_.setProgressPosition(0);
    ui_.setProgressVisible(false);
}

void ProgrammerOps::exchange(Packet& packet, bool readReply) {
    usb_.USB_bulk_cmd(packet.data(), kPacketSize, readReply ? 1 : 0);
}

void ProgrammerOps::enterFourByteAddressingIfNeeded() {
    if (chip().flashSize > kThreeByteAddressLimit) sendSpiCommand(kSpiEnter4ByteAddress);
}

int ProgrammerOps::streamRead(uint8_t* block, uint32_t blockSize) {
    const int received = usb_.USB_bulk_read(block, static_cast<int>(blockSize));
    return std::clamp(received, 0, static_cast<int>(blockSize));
}

int ProgrammerOps::openJob() {
    // Refused before the programmer is even opened: nothing of such a chip
    // could be read into or written from the buffer.
    if (!chipFitsBuffer()) return JobNotStarted;
    if (!openProgrammer()) {
        errorBox(text(Msg::MsgNotConnected));
        return JobNotStarted;
    }
    const ChipRecord& c = chip();
    Packet packet = chipSetupPacket(CmdBeginJob, c, state_.speed, bigEndian());
    exchange(packet, true);
    if (c.chipClass == ClassSpiFlash25) return JobSpiFlash25;
    if (c.chipClass == ClassEeprom24) return JobEeprom24;
    return JobOtherClass;
}

void ProgrammerOps::endJob() {
    Packet packet = endJobPacket();
    exchange(packet, false);
    usb_.USB_bulk_close();
    ui_.setStatusText(PanelState, text(Msg::MsgConnected));
}

int ProgrammerOps::readChipId(uint8_t reply[4]) {
    if (!openProgrammer()) return 0;
    Packet packet = chipSetupPacket(CmdReadId, chip(), state_.speed, bigEndian());
    exchange(packet, true);
    endJob();
    std::memcpy(reply, packet.data(), 4);
    return kChipIdAnswered;
}

void ProgrammerOps::setAddress(uint32_t address, int replyFlag) {
    Packet packet = setAddressPacket(address, bigEndian());
    exchange(packet, replyFlag == 1);
}

int ProgrammerOps::sendSpiCommand(uint8_t opcode) {
    Packet packet = spiRawPacket(opcode);
    return usb_.USB_bulk_cmd(packet.data(), kPacketSize, 1);
}

bool ProgrammerOps::pollStatus(Packet& buffer) {
    makePollStatus(buffer);
    exchange(buffer, true);
    return replyBusy(buffer);
}

bool ProgrammerOps::readHardwareInfo(HardwareInfo& info) {
    if (!openProgrammer()) return false;
    Packet packet = hardwareInfoPacket();
    exchange(packet, true);
    usb_.USB_bulk_close();
    info = parseHardwareInfo(packet);
    return true;
}

bool ProgrammerOps::enterUpgrade() {
    if (!openProgrammer()) return false;
    Packet packet = enterUpgradePacket();
    exchange(packet, true);
    usb_.USB_bulk_close();
    return true;
}

int ProgrammerOps::readFlash() {
    if (state_.typeIndex == kTypeIndexNotStreamed) return 0;
    if (!chipFitsBuffer()) return 0;
    // A copy, so that nothing the user does while events are processed changes
    // the bounds of a running stream.
    const ChipRecord c = chip();
    enterFourByteAddressingIfNeeded();
    ui_.setStatusText(PanelState, text(Msg::MsgReadFlash));
    showProgress(c.flashSize);
    setAddress(0, 1);

    uint8_t* flash = state_.buffers.flash();
    const uint32_t block = streamBlockSize(c.flashPage);
    std::vector<uint8_t> bounce;
    bool whole = true;
    for (uint32_t p = 0; p < c.flashSize; p += block) {
        int received;
        if (p + block <= kFlashBufferSize) {
            received = streamRead(flash + p, block);
        } else {
            // The last block of a chip whose size is not a multiple of the block
            // reaches past the buffer; only the part that fits is kept.
            bounce.assign(block, 0xFF);
            received = streamRead(bounce.data(), block);
            const uint32_t fits = kFlashBufferSize - p;
            std::memcpy(flash + p, bounce.data(), std::min<uint32_t>(fits, received));
        }
        if (static_cast<uint32_t>(received) < block) whole = false;
        ui_.setProgressPosition(p);
        ui_.processEvents();
    }

    state_.buffers.flashDataLength = trimmedLength(flash, c.flashSize);
    state_.buffers.ShowFlash(c.flashSize);
    hideProgress();
    return whole ? 1 : 0;
}

int ProgrammerOps::blankCheck() {
    const ChipRecord c = chip();
    ui_.setStatusText(PanelState, text(Msg::MsgBlankFlash));
    const uint32_t block = streamBlockSize(c.flashPage);
    std::vector<uint8_t> buffer(block, 0xFF);
    enterFourByteAddressingIfNeeded();
    showProgress(c.flashSize);
    setAddress(0, 1);

    // A signed comparison with the size, counted wide enough never to overflow.
    const int32_t size = static_cast<int32_t>(c.flashSize);
    for (int64_t p = 0; p < size; p += block) {
        // A block that did not arrive whole cannot be called blank: a failed
        // transfer must not pass as an erased chip.
        const int received = streamRead(buffer.data(), block);
        const bool blank =
            static_cast<uint32_t>(received) == block &&
            std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0xFF; });
        if (!blank) {
            errorBox(text(Msg::MsgChipNotEmpty));
            return 0;
        }
        ui_.setProgressPosition(p);
        ui_.processEvents();
    }
    hideProgress();
    return 1;
}

int ProgrammerOps::verifyFlash() {
    ui_.setStatusText(PanelState, text(Msg::MsgVerifyFlash));
    if (!chipFitsBuffer()) return 0;
    const ChipRecord c = chip();
    const DataBuffers& buffers = state_.buffers;
    const AddressSpan span =
        buffers.rangeEnabled ? pageAlignedRange(buffers.rangeStart, buffers.rangeEnd, c.flashPage)
                             : dataLengthSpan(c.flashSize, buffers.flashDataLength);
    enterFourByteAddressingIfNeeded();
    showProgress(buffers.flashDataLength);
    setAddress(static_cast<uint32_t>(span.start), 1);

    const uint8_t* flash = buffers.flash();
    const uint32_t block = streamBlockSize(c.flashPage);
    std::vector<uint8_t> buffer(block, 0xFF);
    for (int64_t p = span.start; p < span.end; p += block) {
        const int received = streamRead(buffer.data(), block);
        // The whole block is compared, also past the end of the span, but never
        // past the end of the FLASH buffer.
        const int64_t compared = std::min<int64_t>(block, kFlashBufferSize - p);
        const int64_t checked = std::min<int64_t>(compared, received);
        const auto differs = std::mismatch(buffer.begin(), buffer.begin() + checked, flash + p);
        int64_t bad = -1;
        if (differs.first != buffer.begin() + checked) {
            bad = p + (differs.first - buffer.begin());
        } else if (checked < compared) {
            // Bytes the programmer never sent are no match for the buffer.
            bad = p + checked;
        }
        if (bad >= 0) {
            errorBox(text(Msg::MsgVerifyErrorAddress) + hexAddress(bad));
            return 0;
        }
        ui_.setProgressPosition(p);
        ui_.processEvents();
    }
    hideProgress();
    return 1;
}

void ProgrammerOps::eraseChip() {
    const ChipRecord c = chip();
    ui_.setStatusText(PanelState, text(Msg::MsgEraseFlash));
    ui_.setProgressVisible(true);
    ui_.setProgressPosition(0);

    switch (c.chipClass) {
        case ClassSpiFlash25: {
            ui_.setProgressMax(c.delay);
            Packet packet = erasePacket(kWholeChipErase, bigEndian());
            exchange(packet, false);
            // `delay` bounds the wait in poll cycles; an erase that never ends
            // is taken as finished once the bound is reached.
            for (int n = 0;;) {
                ui_.pause(kPollIntervalMs);
                const bool busy = pollStatus(packet);
                if (c.delay < n) break;
                ++n;
                ui_.setProgressPosition(n);
                ui_.processEvents();
                if (!busy) break;
            }
            break;
        }
        case ClassEeprom24: {
            ui_.setProgressMax(c.flashSize);
            // The programmer erases the page an address falls in; with no page
            // size there is nothing it could erase, and the loop would not advance.
            if (c.flashPage == 0) {
                errorBox(programText(Txt::NoPageSize, state_.language));
                break;
            }
            // One command per page; the argument field is 16 bits wide, so the
            // addresses wrap at 64 KiB as the programmer expects.
            for (uint64_t a = 0; a < c.flashSize; a += c.flashPage) {
                Packet packet = erasePacket(static_cast<uint16_t>(a), bigEndian());
                exchange(packet, false);
                ui_.setProgressPosition(static_cast<int64_t>(a));
                ui_.processEvents();
            }
            break;
        }
        case ClassEeprom93: {
            Packet packet = erasePacket(c.delay, bigEndian());
            exchange(packet, false);
            break;
        }
        default:
            break;
    }
    hideProgress();
}

int ProgrammerOps::writeFlash() {
    ui_.setStatusText(PanelState, text(Msg::MsgWriteFlash));
    if (state_.typeIndex == kTypeIndexNotStreamed) return 0;
    if (!chipFitsBuffer()) return 0;
    const ChipRecord c = chip();
    DataBuffers& buffers = state_.buffers;
    AddressSpan span;
    if (buffers.rangeEnabled) {
        span = pageAlignedRange(buffers.rangeStart, buffers.rangeEnd, c.flashPage);
    } else {
        // The data length is raised to whole pages and keeps that value for
        // the verify and the writes that follow.
        const int64_t page = c.flashPage;
        const int64_t length = buffers.flashDataLength;
        if (page > 0 && length > 0 && length % page != 0) {
            const int64_t raised = roundUpToMultiple(length, page);
            if (raised <= std::numeric_limits<int32_t>::max())
                buffers.flashDataLength = static_cast<int32_t>(raised);
        }
        span = dataLengthSpan(c.flashSize, buffers.flashDataLength);
    }
    enterFourByteAddressingIfNeeded();
    showProgress(span.end);
    setAddress(static_cast<uint32_t>(span.start), 0);

    const uint8_t* flash = buffers.flash();
    const uint32_t block = streamBlockSize(c.flashPage);
    std::vector<uint8_t> bounce;
    for (int64_t p = span.start; p < span.end; p += block) {
        if (p + block <= kFlashBufferSize) {
            usb_.USB_bulk_write(flash + p, static_cast<int>(block));
        } else {
            // The last block reaches past the buffer: what lies beyond goes out
            // as erased bytes.
            bounce.assign(block, 0xFF);
            std::memcpy(bounce.data(), flash + p, static_cast<std::size_t>(kFlashBufferSize - p));
            usb_.USB_bulk_write(bounce.data(), static_cast<int>(block));
        }
        ui_.setProgressPosition(p);
        ui_.processEvents();
    }
    if (c.chipClass == ClassEeprom24) ui_.pause(kEeprom24WriteSettleMs);
    hideProgress();
    return 1;
}

}  // namespace ostrel
