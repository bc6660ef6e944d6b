#pragma once
// The steps of a programming job and the operations built from them: open and
// end a job, read the chip's ID, set the stream address, raw SPI commands, the
// status poll, the hardware information, and the read, blank check, verify,
// erase and write of the chip's FLASH memory.
//
// Every operation takes its sizes from the selected chip record and moves the
// FLASH buffer; nothing here ever reads or writes outside that buffer, whatever
// the record or the address range say.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/ui_port.h"
#include "catalogue/id_read.h"
#include "operations/command_report.h"
#include "operations/main_state.h"
#include "operations/packets.h"
#include "operations/progress.h"
#include "operations/stream_span.h"
#include "operations/verify_differences.h"
#include "usb/usb_bulk.h"

namespace ostrel {

// What openJob returns: 0 when the job could not begin (failure() says why),
// otherwise a code for the selected chip's class.
enum JobResult {
    JobNotStarted = 0,
    JobOtherClass = 1,
    JobEeprom24 = 4,
    JobSpiFlash25 = 6,
};

// What became of an operation.
enum class OpResult {
    Done,      // it ran to its end (a check found the chip as it should be)
    Mismatch,  // blank check or verify found a difference (failure() says where)
    Skipped,   // nothing was sent: the chip's type is not streamed, or its class
               // has no erase
    Failed,    // a transfer failed, an erase did not finish, or the record cannot
               // be served (failure() says where)
    Stopped,   // stopped after a block because a stop was requested
};

class ProgrammerOps {
  public:
    // `ui` serves the pauses, the events processed between blocks and the
    // connection state after each job; progress goes to the window's bars and
    // status text over `ui` until setProgress() names another.
    ProgrammerOps(MainState& state, TUsbBulk& usb, UiPort& ui);
    ~ProgrammerOps();

    void setProgress(Progress& progress) { progress_ = &progress; }
    // Whether a read stages the chip's content and takes it into the FLASH
    // buffer only when every block arrived (the window: a failed read leaves
    // the buffer as it was). Without, a read goes straight into the buffer and
    // needs no second copy of the chip (the command line, whose buffer nobody
    // sees after a failed read).
    void setStagedReads(bool staged) { stagedReads_ = staged; }

    // Opens the programmer and sends the selected chip's set-up. Returns a
    // JobResult; on 0 failure() says why and the programmer is closed.
    int openJob();
    // Ends the job, closes the programmer and shows "Connected", or "Not
    // connected" when the programmer no longer takes the end packet.
    void endJob();
    // A job of its own: asks the programmer which chip sits in the socket.
    // Silent: the caller says what the reply means.
    IdReply readChipId();
    // Start address of the next data stream. Reads pass replyFlag 1, writes 0.
    // False when the exchange failed.
    bool setAddress(uint32_t address, int replyFlag);
    // The transport's result: 64 when the packet and its reply went through.
    int sendSpiCommand(uint8_t opcode);
    // Turns `buffer` (what the previous exchange left) into a status poll and
    // sends it. False when the exchange failed; otherwise `busy` tells whether
    // the chip is still busy.
    bool pollStatus(Packet& buffer, bool& busy);
    // A job of its own: reads the programmer's versions and serial number.
    // Returns false and leaves `info` untouched when no programmer is attached
    // or it did not answer.
    bool readHardwareInfo(HardwareInfo& info);
    // A job of its own: switches the programmer to its boot loader. False when
    // no programmer is attached. The reply may never come: the programmer
    // leaves the bus to restart as its boot loader, so it is not waited for.
    bool enterUpgrade();

    // Whether the selected type is read and written at all (the third Type
    // list entry is not).
    bool typeStreamed() const { return state_.typeIndex != kTypeIndexNotStreamed; }

    // These expect a job that openJob began; endJob follows in the caller.
    // A failed transfer ends each of them at once with a failure that names
    // the operation and the address; no further block is sent.
    //
    // Read and blank check cover the address range when it is in use, as
    // verify and write do; otherwise the whole chip.
    //
    // readFlash stages the chip's content and takes it into the FLASH buffer
    // only when every block arrived, so a failed read leaves the buffer, its
    // view and the data length as they were (unless setStagedReads(false)).
    OpResult readFlash();
    // Reads what the last readFlash read once more and compares it with the
    // FLASH buffer block by block as it comes, never changing the buffer:
    // Mismatch when the reads differ (readsCompared() says where).
    OpResult readAgainAndCompare();
    OpResult blankCheck();
    // The blank check after an erase: the whole chip, whatever the address
    // range, as the erase took it all. A byte that is not 0xFF fails with
    // EraseNotTaken at its address.
    OpResult blankCheckErased();
    // Mismatch: difference() holds the first differing byte.
    OpResult verifyFlash();
    // The verify of what a write has just sent: a difference fails with its
    // likely cause (NotErased or Protected) instead of a plain Difference.
    OpResult verifyWritten();
    // Verify that goes on to the end of the range after a difference and
    // collects them all (differences()); difference() is the first of them.
    OpResult verifyAll();
    OpResult eraseChip();
    OpResult writeFlash();

    // Asks the running operation to stop after its current block or poll
    // (closing the window, Ctrl+C on the command line). The next job clears it.
    void requestStop() { stopRequested_ = true; }
    bool stopRequested() const { return stopRequested_; }
    void clearStop() { stopRequested_ = false; }

    // Why the last operation (or openJob) did not end as it should; cleared
    // when the next one begins.
    const std::optional<Failure>& failure() const { return failure_; }
    // The first difference the last verify found.
    const std::optional<Difference>& difference() const { return difference_; }
    // The chip addresses the last operation moved, up to where it stopped.
    const AddressSpan& moved() const { return moved_; }
    // What the last verifyAll found.
    const VerifyDifferences& differences() const { return differences_; }
    // What the last readAgainAndCompare found.
    const ReadsCompared& readsCompared() const { return reads_; }

    // What a stream of `command` covers: the address range widened to whole
    // pages when it is in use; otherwise the whole chip for Read and Blank
    // check, the data length for the others. Never past the FLASH buffer.
    AddressSpan commandSpan(ChipCommand command) const;

  private:
    enum class Direction { In, Out };
    // Called for every block that arrived; false stops the stream as Mismatch.
    using BlockCheck = std::function<bool(int64_t address, const uint8_t* block)>;

    const ChipRecord& chip() const { return state_.selectedRecord(); }
    bool bigEndian() const { return usb_.bigEndianFields(); }
    bool openProgrammer();
    bool chipFitsBuffer(Operation operation);
    // Begins an operation: no failure, difference or moved bytes yet.
    void beginOperation();
    OpResult fail(Operation operation, FailureCause cause, int64_t address = -1);
    OpResult transferFailed(Operation operation, int64_t address);
    bool exchange(Packet& packet, bool readReply);
    // The one block loop of every data stream: 4-byte addressing when the chip
    // needs it, the set-address, then whole blocks over [start, end), each
    // checked for its full length, with progress, events and the stop request
    // after every block. In: blocks land at base + address (or in a scratch
    // block when base is null) and go to `check`. Out: blocks leave from
    // base + address. Past the end of the FLASH buffer a block goes through a
    // bounce block, so nothing outside the buffer is read or written.
    OpResult stream(Operation operation, Direction direction, int64_t start, int64_t end,
                    int64_t progressMax, uint8_t* base, const BlockCheck& check);

    MainState& state_;
    TUsbBulk& usb_;
    UiPort& ui_;
    std::unique_ptr<Progress> windowProgress_;
    Progress* progress_;
    bool stagedReads_ = true;
    bool stopRequested_ = false;
    bool transportFailed_ = false;
    std::optional<Failure> failure_;
    std::optional<Difference> difference_;
    AddressSpan moved_;
    VerifyDifferences differences_;
    ReadsCompared reads_;

    OpResult verify(bool all, bool afterWrite);
    OpResult blankCheck(bool afterErase);
};

}  // namespace ostrel
