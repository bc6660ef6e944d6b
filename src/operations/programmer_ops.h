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
#include <string>

#include "base/main_state.h"
#include "base/messages.h"
#include "base/ui_port.h"
#include "operations/packets.h"
#include "operations/stream_span.h"
#include "usb/usb_bulk.h"

namespace ostrel {

// What openJob returns: 0 when the job could not begin (the user has been
// told), otherwise a code for the selected chip's class.
enum JobResult {
    JobNotStarted = 0,
    JobOtherClass = 1,
    JobEeprom24 = 4,
    JobSpiFlash25 = 6,
};

// readChipId's results: 7 when the programmer answered (whatever it found), 0
// when no programmer is attached, and kChipIdNoAnswer when it was opened but
// its reply did not arrive whole: neither an ID nor an empty socket.
inline constexpr int kChipIdAnswered = 7;
inline constexpr int kChipIdNoAnswer = 2;

class ProgrammerOps {
  public:
    ProgrammerOps(MainState& state, TUsbBulk& usb, UiPort& ui);

    // Opens the programmer and sends the selected chip's set-up. Returns a
    // JobResult; on 0 nothing was sent and the user has seen why.
    int openJob();
    // Ends the job, closes the programmer and shows "Connected".
    void endJob();
    // A job of its own: asks the programmer which chip sits in the socket.
    // Copies the reply's kind and three ID bytes to `reply` and returns 7, or
    // returns 0 silently when no programmer is attached.
    int readChipId(uint8_t reply[4]);
    // Start address of the next data stream. Reads pass replyFlag 1, writes 0.
    void setAddress(uint32_t address, int replyFlag);
    int sendSpiCommand(uint8_t opcode);
    // Turns `buffer` (what the previous exchange left) into a status poll and
    // sends it; true while the chip is busy.
    bool pollStatus(Packet& buffer);
    // A job of its own: reads the programmer's versions and serial number.
    // Returns false and leaves `info` untouched when no programmer is attached.
    bool readHardwareInfo(HardwareInfo& info);
    // A job of its own: switches the programmer to its boot loader. False when
    // no programmer is attached.
    bool enterUpgrade();

    // These expect a job that openJob began; endJob follows in the caller.
    // readFlash returns 1 when every block arrived whole, 0 when some did not
    // (the bytes not delivered keep what the FLASH buffer held before) or when
    // nothing was read.
    int readFlash();
    // 1 when the chip is blank; 0 after telling the user it is not.
    int blankCheck();
    // 1 when the chip equals the FLASH buffer; 0 after showing the first
    // differing address.
    int verifyFlash();
    // A 24-series chip whose record has page size 0 is refused with a box.
    void eraseChip();
    // 1 when the data went out, 0 when the chip's type is not written.
    int writeFlash();

  private:
    const ChipRecord& chip() const { return state_.selectedRecord(); }
    bool bigEndian() const { return usb_.bigEndianFields(); }
    const std::string& text(Msg key) const { return messageText(key, state_.language); }
    bool openProgrammer();
    bool chipFitsBuffer();
    void errorBox(const std::string& message);
    void showProgress(int64_t maximum);
    void hideProgress();
    void enterFourByteAddressingIfNeeded();
    void exchange(Packet& packet, bool readReply);
    int streamRead(uint8_t* block, uint32_t blockSize);

    MainState& state_;
    TUsbBulk& usb_;
    UiPort& ui_;
};

}  // namespace ostrel
