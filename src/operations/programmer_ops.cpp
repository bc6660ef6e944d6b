#include "operations/programmer_ops.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "operations/window_presenter.h"
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
    : state_(state),
      usb_(usb),
      ui_(ui),
      windowProgress_(std::make_unique<WindowProgress>(ui, state.language)),
      progress_(windowProgress_.get()) {}

ProgrammerOps::~ProgrammerOps() = default;

bool ProgrammerOps::openProgrammer() {
    return usb_.prog_open(kProgrammerVendorId, kProgrammerVendorText, kProgrammerProductId,
                          kProgrammerProductText) != 0;
}

void ProgrammerOps::beginOperation() {
    failure_.reset();
    difference_.reset();
    moved_ = {};
}

OpResult ProgrammerOps::fail(Operation operation, FailureCause cause, int64_t address) {
    Failure failure;
    failure.operation = operation;
    failure.cause = cause;
    failure.address = address;
    failure_ = failure;
    return OpResult::Failed;
}

OpResult ProgrammerOps::transferFailed(Operation operation, int64_t address) {
    transportFailed_ = true;
    return fail(operation, FailureCause::TransferFailed, address);
}

bool ProgrammerOps::chipFitsBuffer(Operation operation) {
    if (chip().flashSize <= kFlashBufferSize) return true;
    fail(operation, FailureCause::ChipTooLarge);
    return false;
}

bool ProgrammerOps::exchange(Packet& packet, bool readReply) {
    return usb_.USB_bulk_cmd(packet.data(), kPacketSize, readReply ? 1 : 0) == kPacketSize;
}

int ProgrammerOps::openJob() {
    beginOperation();
    // Refused before the programmer is even opened: nothing of such a chip
    // could be read into or written from the buffer.
    if (!chipFitsBuffer(Operation::None)) return JobNotStarted;
    stopRequested_ = false;
    transportFailed_ = false;
    if (!openProgrammer()) {
        fail(Operation::None, FailureCause::NoProgrammer);
        failure_->unusable = attachedButUnusable(usb_.lastOpenFailure());
        return JobNotStarted;
    }
    const ChipRecord& c = chip();
    Packet packet = chipSetupPacket(CmdBeginJob, c, state_.speed, bigEndian());
    if (!exchange(packet, true)) {
        // The programmer may have taken part of it: the end packet leaves it
        // ready for the next job, if it still listens.
        transportFailed_ = true;
        endJob();
        fail(Operation::None, FailureCause::NoAnswer);
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
    ui_.setStatusText(
        PanelState, messageText(ended ? Msg::MsgConnected : Msg::MsgNotConnected, state_.language));
}

IdReply ProgrammerOps::readChipId() {
    if (!openProgrammer()) return IdReply{};
    Packet packet = chipSetupPacket(CmdReadId, chip(), state_.speed, bigEndian());
    const bool arrived = usb_.USB_bulk_cmd(packet.data(), kPacketSize, 1) >= kChipIdReplyBytes;
    endJob();
    return parseIdReply(packet, arrived);
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

OpResult ProgrammerOps::stream(Operation operation, Direction direction, int64_t start, int64_t end,
                               int64_t progressMax, uint8_t* base, const BlockCheck& check) {
    const ChipRecord& c = chip();
    moved_ = {start, start};
    if (c.flashSize > kThreeByteAddressLimit &&
        sendSpiCommand(kSpiEnter4ByteAddress) != static_cast<int>(kPacketSize))
        return transferFailed(operation, start);
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
        moved_.end = std::min<int64_t>(p + block, end);
        if (check && !check(p, at)) return OpResult::Mismatch;
        progress_->position(p);
        ui_.processEvents();
        if (stopRequested_) {
            fail(operation, FailureCause::Stopped, moved_.end);
            return OpResult::Stopped;
        }
    }
    // Each block shows where it began; with the last one through, the bar is full.
    progress_->position(progressMax);
    return OpResult::Done;
}

AddressSpan ProgrammerOps::commandSpan(ChipCommand command) const {
    const ChipRecord& c = chip();
    const DataBuffers& buffers = state_.buffers;
    if (buffers.rangeEnabled)
        return pageAlignedRange(buffers.rangeStart, buffers.rangeEnd, c.flashPage);
    if (command == ChipCommand::Read || command == ChipCommand::BlankCheck) return {0, c.flashSize};
    return dataLengthSpan(c.flashSize, buffers.flashDataLength);
}

OpResult ProgrammerOps::readFlash() {
    beginOperation();
    if (!typeStreamed()) return OpResult::Skipped;
    if (!chipFitsBuffer(Operation::Read)) return OpResult::Failed;
    // A copy, so that nothing the user does while events are processed changes
    // the bounds of a running stream.
    const ChipRecord c = chip();
    progress_->begin(Operation::Read, ProgressUnit::Bytes, c.flashSize);
    DataBuffers& buffers = state_.buffers;
    // With the address range only that part of the chip is read; the rest of
    // the buffer keeps what it held.
    const AddressSpan span = commandSpan(ChipCommand::Read);
    const uint32_t block = streamBlockSize(c.flashPage);
    uint8_t* target =
        stagedReads_ ? buffers.flashStaging() : buffers.flashUpTo(readyThrough(span, block));
    const OpResult result =
        stream(Operation::Read, Direction::In, span.start, span.end, c.flashSize, target, nullptr);
    if (result != OpResult::Done) return result;

    // The last block may reach past the chip; what it brought is kept, as far
    // as the buffer goes.
    const int64_t received =
        span.end > span.start ? (span.end - span.start + block - 1) / block * block : 0;
    if (stagedReads_)
        buffers.commitFlashStaging(
            static_cast<uint32_t>(span.start),
            static_cast<uint32_t>(std::min<int64_t>(received, int64_t{kFlashBufferSize})));
    buffers.flashDataLength =
        trimmedLength(buffers.flashUpTo(DataBuffers::flashCountFor(c.flashSize)), c.flashSize);
    buffers.ShowFlash(c.flashSize);
    buffers.flashEditsSettled();
    progress_->end();
    return OpResult::Done;
}

OpResult ProgrammerOps::readAgainAndCompare() {
    beginOperation();
    reads_ = ReadsCompared{};
    if (!typeStreamed()) return OpResult::Skipped;
    if (!chipFitsBuffer(Operation::Read)) return OpResult::Failed;
    const ChipRecord c = chip();
    progress_->begin(Operation::Read, ProgressUnit::Bytes, c.flashSize);
    const AddressSpan span = commandSpan(ChipCommand::Read);
    const uint32_t block = streamBlockSize(c.flashPage);
    const uint8_t* first = state_.buffers.flashUpTo(readyThrough(span, block));
    const OpResult result = stream(
        Operation::Read, Direction::In, span.start, span.end, c.flashSize, nullptr,
        [&](int64_t p, const uint8_t* second) {
            const int64_t count =
                std::min<int64_t>({int64_t{block}, span.end - p, kFlashBufferSize - p});
            const uint8_t* kept = first + p;
            if (count <= 0 || std::memcmp(kept, second, static_cast<std::size_t>(count)) == 0)
                return true;
            for (int64_t i = 0; i < count; ++i) {
                if (kept[i] == second[i]) continue;
                if (reads_.bytes == 0) {
                    reads_.address = p + i;
                    reads_.first = kept[i];
                    reads_.second = second[i];
                }
                ++reads_.bytes;
            }
            ++reads_.blocks;
            if (!reads_.spans.empty() && reads_.spans.back().end == p)
                reads_.spans.back().end = p + count;
            else
                reads_.spans.push_back({p, p + count});
            return true;
        });
    if (result != OpResult::Done) return result;
    progress_->end();
    if (reads_.matched()) return OpResult::Done;
    fail(Operation::Read, FailureCause::ReadsDiffer, reads_.address);
    return OpResult::Mismatch;
}

OpResult ProgrammerOps::blankCheck() {
    return blankCheck(false);
}

OpResult ProgrammerOps::blankCheckErased() {
    return blankCheck(true);
}

OpResult ProgrammerOps::blankCheck(bool afterErase) {
    beginOperation();
    const ChipRecord c = chip();
    progress_->begin(Operation::BlankCheck, ProgressUnit::Bytes, c.flashSize);
    // The erase took the whole chip, also past the buffer; the check reads
    // into a block of its own, never into the buffer.
    if (!afterErase && !chipFitsBuffer(Operation::BlankCheck)) return OpResult::Failed;
    const uint32_t block = streamBlockSize(c.flashPage);
    const AddressSpan span =
        afterErase ? AddressSpan{0, c.flashSize} : commandSpan(ChipCommand::BlankCheck);
    int64_t used = -1;
    const OpResult result =
        stream(Operation::BlankCheck, Direction::In, span.start, span.end, c.flashSize, nullptr,
               [block, &used](int64_t p, const uint8_t* data) {
                   const uint8_t* at =
                       std::find_if(data, data + block, [](uint8_t b) { return b != 0xFF; });
                   if (at == data + block) return true;
                   used = p + (at - data);
                   return false;
               });
    if (result == OpResult::Mismatch)
        fail(Operation::BlankCheck,
             afterErase ? FailureCause::EraseNotTaken : FailureCause::NotBlank, used);
    if (result == OpResult::Done) progress_->end();
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
    beginOperation();
    progress_->begin(Operation::Verify, ProgressUnit::Bytes, state_.buffers.flashDataLength);
    differences_.clear();
    if (!chipFitsBuffer(Operation::Verify)) return OpResult::Failed;
    const ChipRecord c = chip();
    const DataBuffers& buffers = state_.buffers;
    const AddressSpan span = commandSpan(ChipCommand::Verify);
    const uint32_t block = streamBlockSize(c.flashPage);
    const uint8_t* flash = buffers.flashUpTo(readyThrough(span, block));
    int64_t bad = -1;
    uint8_t chipByte = 0;
    OpResult result =
        stream(Operation::Verify, Direction::In, span.start, span.end, buffers.flashDataLength,
               nullptr, [&](int64_t p, const uint8_t* data) {
                   // The whole block is compared, also past the end of the
                   // span, but never past the end of the FLASH buffer.
                   const int64_t compared = std::min<int64_t>(block, kFlashBufferSize - p);
                   if (all) {
                       const bool before = differences_.any();
                       differences_.compare(p, data, flash + p, static_cast<std::size_t>(compared));
                       if (!before && differences_.any()) chipByte = data[differences_.first() - p];
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
        difference_ = Difference{bad, chipByte, flash[bad]};
        // After a write the first difference tells why: programming only
        // clears bits.
        FailureCause cause = FailureCause::Difference;
        if (afterWrite) {
            const WriteFault fault = writeFaultOf(chipByte, flash[bad]);
            if (fault == WriteFault::NotErased) cause = FailureCause::NotErased;
            if (fault == WriteFault::NotTaken) cause = FailureCause::Protected;
        }
        fail(Operation::Verify, cause, bad);
    }
    if (result == OpResult::Done) progress_->end();
    return result;
}

OpResult ProgrammerOps::eraseChip() {
    beginOperation();
    const ChipRecord c = chip();
    // The programmer erases 25-, 24- and 93-series chips only; for the others
    // there is nothing to send.
    if (c.chipClass != ClassSpiFlash25 && c.chipClass != ClassEeprom24 &&
        c.chipClass != ClassEeprom93)
        return OpResult::Skipped;
    switch (c.chipClass) {
        case ClassSpiFlash25: {
            progress_->begin(Operation::Erase, ProgressUnit::Polls, c.delay);
            Packet packet = erasePacket(kWholeChipErase, bigEndian());
            if (!exchange(packet, false)) return transferFailed(Operation::Erase, 0);
            // `delay` bounds the wait in poll cycles. A chip still busy at the
            // bound, or a poll that gets no answer, leaves an erase that did not
            // finish: nothing may be written into it.
            for (int n = 0;;) {
                ui_.pause(kPollIntervalMs);
                bool busy = false;
                if (!pollStatus(packet, busy) || (c.delay < n && busy)) {
                    transportFailed_ = true;
                    fail(Operation::Erase, FailureCause::TimeOut);
                    failure_->polls = n + 1;
                    return OpResult::Failed;
                }
                if (c.delay < n) break;
                ++n;
                progress_->position(std::min<int64_t>(n, c.delay));
                ui_.processEvents();
                if (stopRequested_) {
                    fail(Operation::Erase, FailureCause::Stopped);
                    return OpResult::Stopped;
                }
                if (!busy) break;
            }
            // Finished: the bar goes to its end, however few polls it took.
            progress_->position(c.delay);
            break;
        }
        case ClassEeprom24: {
            progress_->begin(Operation::Erase, ProgressUnit::Bytes, c.flashSize);
            // The programmer erases the page an address falls in; with no page
            // size there is nothing it could erase, and the loop would not advance.
            if (c.flashPage == 0) {
                progress_->end();
                return fail(Operation::Erase, FailureCause::NoPageSize);
            }
            // One command per page; the argument field is 16 bits wide, so the
            // addresses wrap at 64 KiB as the programmer expects.
            for (uint64_t a = 0; a < c.flashSize; a += c.flashPage) {
                Packet packet = erasePacket(static_cast<uint16_t>(a), bigEndian());
                if (!exchange(packet, false))
                    return transferFailed(Operation::Erase, static_cast<int64_t>(a));
                progress_->position(static_cast<int64_t>(a));
                ui_.processEvents();
                if (stopRequested_) {
                    fail(Operation::Erase, FailureCause::Stopped, static_cast<int64_t>(a));
                    return OpResult::Stopped;
                }
            }
            progress_->position(c.flashSize);
            break;
        }
        case ClassEeprom93: {
            progress_->begin(Operation::Erase, ProgressUnit::Bytes, 0);
            Packet packet = erasePacket(c.delay, bigEndian());
            if (!exchange(packet, false)) return transferFailed(Operation::Erase, 0);
            break;
        }
        default:
            break;
    }
    progress_->end();
    return OpResult::Done;
}

OpResult ProgrammerOps::writeFlash() {
    beginOperation();
    if (!typeStreamed()) {
        // The operation is named even though it moves nothing.
        progress_->begin(Operation::Write, ProgressUnit::Bytes, 0);
        return OpResult::Skipped;
    }
    if (!chipFitsBuffer(Operation::Write)) return OpResult::Failed;
    const ChipRecord c = chip();
    DataBuffers& buffers = state_.buffers;
    if (!buffers.rangeEnabled) {
        // The data length is raised to whole pages and keeps that value for
        // the verify and the writes that follow.
        const int64_t page = c.flashPage;
        const int64_t length = buffers.flashDataLength;
        if (page > 0 && length > 0 && length % page != 0) {
            const int64_t raised = roundUpToMultiple(length, page);
            if (raised <= std::numeric_limits<int32_t>::max())
                buffers.flashDataLength = static_cast<int32_t>(raised);
        }
    }
    const AddressSpan span = commandSpan(ChipCommand::Write);
    progress_->begin(Operation::Write, ProgressUnit::Bytes, span.end);
    uint8_t* source = buffers.flashUpTo(readyThrough(span, streamBlockSize(c.flashPage)));
    const OpResult result =
        stream(Operation::Write, Direction::Out, span.start, span.end, span.end, source, nullptr);
    if (result != OpResult::Done) return result;
    if (c.chipClass == ClassEeprom24) ui_.pause(kEeprom24WriteSettleMs);
    progress_->end();
    return OpResult::Done;
}

}  // namespace ostrel
