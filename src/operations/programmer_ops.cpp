#include "operations/programmer_ops.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "base/text_format.h"
#include "usb/programmer_identity.h"

namespace ostrel {
namespace {

// A 24-series chip needs this long after its last block before the job ends.
constexpr int kEeprom24WriteSettleMs = 100;
// Wait before each status poll of a 25-series erase.
constexpr int kPollIntervalMs = 50;

// Whole blocks are streamed, so the last one may reach a block past the span.
uint32_t readyThrough(const AddressSpan& span, uint32_t block) {
    return static_cast<uint32_t>(std::min<int64_t>(span.end + block, kFlashBufferSize));
}

}  // namespace

ProgrammerOps::ProgrammerOps(MainState& state, TUsbBulk& usb, UiPort& ui)
    : state_(state), usb_(usb), ui_(ui) {}

bool ProgrammerOps::openProgrammer() {
    return usb_.prog_open(kProgrammerVendorId, kProgrammerVendorText, kProgrammerProductId,
                          kProgrammerProductText) != 0;
}

void ProgrammerOps::errorBox(const std::string& message) {
    lastError_ = message;
    ui_.errorBox(message);
}

OpResult ProgrammerOps::transferFailed(Txt operation, int64_t address) {
    transportFailed_ = true;
    errorBox(fillIn(programText(Txt::TransferFailed, state_.language),
                    {programText(operation, state_.language), hexAddress(address)}));
    return OpResult::Failed;
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

bool ProgrammerOps::exchange(Packet& packet, bool readReply) {
    return usb_.USB_bulk_cmd(packet.data(), kPacketSize, readReply ? 1 : 0) == kPacketSize;
}

int ProgrammerOps::openJob() {
    // Refused before the programmer is even opened: nothing of such a chip
    // could be read into or written from the buffer.
    if (!chipFitsBuffer()) return JobNotStarted;
    stopRequested_ = false;
    transportFailed_ = false;
    lastError_.clear();
    if (!openProgrammer()) {
        lastError_ = text(Msg::MsgNotConnected);
        std::string box = lastError_;
        if (pointToDiagnosis) {
            // As the status panel's tip: what to check when it is attached
            // but unusable, and where to find out why.
            if (attachedButUnusable(usb_.lastOpenFailure()))
                box += "\n" + programText(Txt::ProgrammerUnusable, state_.language);
            box += "\n" + programText(Txt::DiagnoseNotConnectedTip, state_.language);
        }
        ui_.errorBox(box);
        return JobNotStarted;
    }
    const ChipRecord& c = chip();
    Packet packet = chipSetupPacket(CmdBeginJob, c, state_.speed, bigEndian());
    if (!exchange(packet, true)) {
        // The programmer may have taken part of it: the end packet leaves it
        // ready for the next job, if it still listens.
        transportFailed_ = true;
        endJob();
        errorBox(programText(Txt::SetupNoAnswer, state_.language));
        return JobNotStarted;
    }
    if (c.chipClass == ClassSpiFlash25) return JobSpiFlash25;
    if (c.chipClass == ClassEeprom24) return JobEeprom24;
    return JobOtherClass;
}

void ProgrammerOps::endJob() {
    Packet packet = endJobPacket();
    const bool ended = exchange(packet, false);
    usb_.USB_bulk_close();
    ui_.setStatusText(PanelState, text(ended ? Msg::MsgConnected : Msg::MsgNotConnected));
}

int ProgrammerOps::readChipId(uint8_t reply[4]) {
    if (!openProgrammer()) return kChipIdNoProgrammer;
    Packet packet = chipSetupPacket(CmdReadId, chip(), state_.speed, bigEndian());
    const bool sent = usb_.USB_bulk_cmd(packet.data(), kPacketSize, 1) >= kChipIdReplyBytes;
    endJob();
    if (!sent) return kChipIdNoAnswer;
    std::memcpy(reply, packet.data(), kChipIdReplyBytes);
    return kChipIdAnswered;
}

bool ProgrammerOps::setAddress(uint32_t address, int replyFlag) {
    Packet packet = setAddressPacket(address, bigEndian());
    return exchange(packet, replyFlag == 1);
}

int ProgrammerOps::sendSpiCommand(uint8_t opcode) {
    Packet packet = spiRawPacket(opcode);
    return usb_.USB_bulk_cmd(packet.data(), kPacketSize, 1);
}

bool ProgrammerOps::pollStatus(Packet& buffer, bool& busy) {
    makePollStatus(buffer);
    if (!exchange(buffer, true)) return false;
    busy = replyBusy(buffer);
    return true;
}

bool ProgrammerOps::readHardwareInfo(HardwareInfo& info) {
    if (!openProgrammer()) return false;
    Packet packet = hardwareInfoPacket();
    const bool answered = exchange(packet, true);
    usb_.USB_bulk_close();
    if (answered) info = parseHardwareInfo(packet);
    return answered;
}

bool ProgrammerOps::enterUpgrade() {
    if (!openProgrammer()) return false;
    Packet packet = enterUpgradePacket();
    exchange(packet, true);
    usb_.USB_bulk_close();
    return true;
}

OpResult ProgrammerOps::stream(Txt operation, Direction direction, int64_t start, int64_t end,
                               int64_t progressMax, uint8_t* base, const BlockCheck& check) {
    const ChipRecord& c = chip();
    if (c.flashSize > kThreeByteAddressLimit &&
        sendSpiCommand(kSpiEnter4ByteAddress) != static_cast<int>(kPacketSize))
        return transferFailed(operation, start);
    showProgress(progressMax);
    if (!setAddress(static_cast<uint32_t>(start), direction == Direction::In ? 1 : 0))
        return transferFailed(operation, start);

    const uint32_t block = streamBlockSize(c.flashPage);
    std::vector<uint8_t> bounce(block, 0xFF);
    for (int64_t p = start; p < end; p += block) {
        // A block that reaches past the FLASH buffer, and every block without
        // a place of its own, goes through the bounce block.
        const int64_t fits = std::clamp<int64_t>(int64_t{kFlashBufferSize} - p, 0, block);
        const bool direct = base != nullptr && fits == block;
        uint8_t* at = direct ? base + p : bounce.data();
        int moved;
        if (direction == Direction::Out) {
            if (!direct) {
                std::fill(bounce.begin(), bounce.end(), 0xFF);
                if (base != nullptr && fits > 0) std::memcpy(bounce.data(), base + p, fits);
            }
            moved = usb_.USB_bulk_write(at, static_cast<int>(block));
        } else {
            moved = usb_.USB_bulk_read(at, static_cast<int>(block));
            if (moved == static_cast<int>(block) && !direct && base != nullptr && fits > 0)
                std::memcpy(base + p, bounce.data(), fits);
        }
        if (moved != static_cast<int>(block)) return transferFailed(operation, p);
        if (check && !check(p, at)) return OpResult::Mismatch;
        ui_.setProgressPosition(p);
        ui_.processEvents();
        if (stopRequested_) return OpResult::Stopped;
    }
    // Each block shows where it began; with the last one through, the bar is full.
    ui_.setProgressPosition(progressMax);
    return OpResult::Done;
}

AddressSpan ProgrammerOps::chipSpan(const ChipRecord& c) const {
    const DataBuffers& buffers = state_.buffers;
    if (!buffers.rangeEnabled) return {0, c.flashSize};
    return pageAlignedRange(buffers.rangeStart, buffers.rangeEnd, c.flashPage);
}

OpResult ProgrammerOps::readFlash() {
    if (!typeStreamed()) return OpResult::Skipped;
    if (!chipFitsBuffer()) return OpResult::Failed;
    // A copy, so that nothing the user does while events are processed changes
    // the bounds of a running stream.
    const ChipRecord c = chip();
    ui_.setStatusText(PanelState, text(Msg::MsgReadFlash));
    DataBuffers& buffers = state_.buffers;
    // With the address range only that part of the chip is read; the rest of
    // the buffer keeps what it held.
    const AddressSpan span = chipSpan(c);
    uint8_t* staged = buffers.flashStaging();
    const OpResult result = stream(Txt::OperationRead, Direction::In, span.start, span.end,
                                   c.flashSize, staged, nullptr);
    if (result != OpResult::Done) return result;

    // The last block may reach past the chip; what it brought is kept, as far
    // as the buffer goes.
    const uint32_t block = streamBlockSize(c.flashPage);
    const int64_t received =
        span.end > span.start ? (span.end - span.start + block - 1) / block * block : 0;
    buffers.commitFlashStaging(
        static_cast<uint32_t>(span.start),
        static_cast<uint32_t>(std::min<int64_t>(received, int64_t{kFlashBufferSize})));
    buffers.flashDataLength =
        trimmedLength(buffers.flashUpTo(DataBuffers::flashCountFor(c.flashSize)), c.flashSize);
    buffers.ShowFlash(c.flashSize);
    buffers.flashEditsSettled();
    hideProgress();
    return OpResult::Done;
}

OpResult ProgrammerOps::blankCheck() {
    const ChipRecord c = chip();
    ui_.setStatusText(PanelState, text(Msg::MsgBlankFlash));
    if (!chipFitsBuffer()) return OpResult::Failed;
    const uint32_t block = streamBlockSize(c.flashPage);
    const AddressSpan span = chipSpan(c);
    const OpResult result =
        stream(Txt::OperationBlankCheck, Direction::In, span.start, span.end, c.flashSize, nullptr,
               [block](int64_t, const uint8_t* data) {
                   return std::all_of(data, data + block, [](uint8_t b) { return b == 0xFF; });
               });
    if (result == OpResult::Mismatch) errorBox(text(Msg::MsgChipNotEmpty));
    if (result == OpResult::Done) hideProgress();
    return result;
}

OpResult ProgrammerOps::verifyFlash() {
    return verify(false, false);
}

OpResult ProgrammerOps::verifyWritten() {
    return verify(false, true);
}

OpResult ProgrammerOps::verifyAll() {
    return verify(true, false);
}

OpResult ProgrammerOps::verify(bool all, bool afterWrite) {
    ui_.setStatusText(PanelState, text(Msg::MsgVerifyFlash));
    differences_.clear();
    if (!chipFitsBuffer()) return OpResult::Failed;
    const ChipRecord c = chip();
    const DataBuffers& buffers = state_.buffers;
    const AddressSpan span =
        buffers.rangeEnabled ? pageAlignedRange(buffers.rangeStart, buffers.rangeEnd, c.flashPage)
                             : dataLengthSpan(c.flashSize, buffers.flashDataLength);
    const uint32_t block = streamBlockSize(c.flashPage);
    const uint8_t* flash = buffers.flashUpTo(readyThrough(span, block));
    int64_t bad = -1;
    uint8_t chipByte = 0;
    OpResult result =
        stream(Txt::OperationVerify, Direction::In, span.start, span.end, buffers.flashDataLength,
               nullptr, [&](int64_t p, const uint8_t* data) {
                   // The whole block is compared, also past the end of the
                   // span, but never past the end of the FLASH buffer.
                   const int64_t compared = std::min<int64_t>(block, kFlashBufferSize - p);
                   if (all) {
                       differences_.compare(p, data, flash + p, static_cast<std::size_t>(compared));
                       return true;
                   }
                   const auto differs = std::mismatch(data, data + compared, flash + p);
                   if (differs.first == data + compared) return true;
                   bad = p + (differs.first - data);
                   chipByte = *differs.first;
                   return false;
               });
    if (all && result == OpResult::Done && differences_.any()) {
        bad = differences_.first();
        result = OpResult::Mismatch;
    }
    if (result == OpResult::Mismatch) {
        mismatchAddress_ = bad;
        mismatchChipByte_ = chipByte;
        std::string box = text(Msg::MsgVerifyErrorAddress) + hexAddress(bad);
        if (afterWrite) {
            const std::string cause = writeFaultText(
                writeFaultOf(chipByte, flash[static_cast<std::size_t>(bad)]), state_.language);
            if (!cause.empty()) box += "\n" + cause;
        }
        errorBox(box);
    }
    if (result == OpResult::Done) hideProgress();
    return result;
}

OpResult ProgrammerOps::eraseChip() {
    const ChipRecord c = chip();
    // The programmer erases 25-, 24- and 93-series chips only; for the others
    // there is nothing to send.
    if (c.chipClass != ClassSpiFlash25 && c.chipClass != ClassEeprom24 &&
        c.chipClass != ClassEeprom93)
        return OpResult::Skipped;
    ui_.setStatusText(PanelState, text(Msg::MsgEraseFlash));
    ui_.setProgressVisible(true);
    ui_.setProgressPosition(0);

    switch (c.chipClass) {
        case ClassSpiFlash25: {
            ui_.setProgressMax(c.delay);
            Packet packet = erasePacket(kWholeChipErase, bigEndian());
            if (!exchange(packet, false)) return transferFailed(Txt::OperationErase, 0);
            // `delay` bounds the wait in poll cycles. A chip still busy at the
            // bound, or a poll that gets no answer, leaves an erase that did not
            // finish: nothing may be written into it.
            for (int n = 0;;) {
                ui_.pause(kPollIntervalMs);
                bool busy = false;
                if (!pollStatus(packet, busy) || (c.delay < n && busy)) {
                    transportFailed_ = true;
                    errorBox(fillIn(programText(Txt::EraseNotFinished, state_.language),
                                    {std::to_string(n + 1)}));
                    return OpResult::Failed;
                }
                if (c.delay < n) break;
                ++n;
                ui_.setProgressPosition(std::min<int64_t>(n, c.delay));
                ui_.processEvents();
                if (stopRequested_) return OpResult::Stopped;
                if (!busy) break;
            }
            // Finished: the bar goes to its end, however few polls it took.
            ui_.setProgressPosition(c.delay);
            break;
        }
        case ClassEeprom24: {
            ui_.setProgressMax(c.flashSize);
            // The programmer erases the page an address falls in; with no page
            // size there is nothing it could erase, and the loop would not advance.
            if (c.flashPage == 0) {
                hideProgress();
                errorBox(programText(Txt::NoPageSize, state_.language));
                return OpResult::Failed;
            }
            // One command per page; the argument field is 16 bits wide, so the
            // addresses wrap at 64 KiB as the programmer expects.
            for (uint64_t a = 0; a < c.flashSize; a += c.flashPage) {
                Packet packet = erasePacket(static_cast<uint16_t>(a), bigEndian());
                if (!exchange(packet, false))
                    return transferFailed(Txt::OperationErase, static_cast<int64_t>(a));
                ui_.setProgressPosition(static_cast<int64_t>(a));
                ui_.processEvents();
                if (stopRequested_) return OpResult::Stopped;
            }
            ui_.setProgressPosition(c.flashSize);
            break;
        }
        case ClassEeprom93: {
            Packet packet = erasePacket(c.delay, bigEndian());
            if (!exchange(packet, false)) return transferFailed(Txt::OperationErase, 0);
            break;
        }
        default:
            break;
    }
    hideProgress();
    return OpResult::Done;
}

OpResult ProgrammerOps::writeFlash() {
    ui_.setStatusText(PanelState, text(Msg::MsgWriteFlash));
    if (!typeStreamed()) return OpResult::Skipped;
    if (!chipFitsBuffer()) return OpResult::Failed;
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
    uint8_t* source = buffers.flashUpTo(readyThrough(span, streamBlockSize(c.flashPage)));
    const OpResult result = stream(Txt::OperationWrite, Direction::Out, span.start, span.end,
                                   span.end, source, nullptr);
    if (result != OpResult::Done) return result;
    if (c.chipClass == ClassEeprom24) ui_.pause(kEeprom24WriteSettleMs);
    hideProgress();
    return OpResult::Done;
}

}  // namespace ostrel
