#pragma once
// The Hardware command's core: the programmer's versions and serial number,
// and the firmware upgrade through the programmer's boot loader. The main
// window, the command line and tests drive it alike.
//
// The upgrade loads the firmware file first and checks it: one the boot
// loader cannot take, or that cannot be read, is refused; one that would
// leave the programmer without firmware (empty, nothing past the first 12 KiB
// or only 0xFF there, or no vector table of the programmer's firmware there)
// is sent only when the user says so. Only then is the
// programmer switched to its boot loader, which is
// searched on the HID side and sent the image from file offset 0x3000 in
// reports of 62 bytes:
//
//   IapStart    -> one reply, ignored
//   IapQuery    -> one reply: target address and block size
//   IapPrepare  (target, block count's low 8 bits, image length n) -> one reply, ignored
//   IapData     x ceil(n / 62), the bytes beyond the file's end 0xFF
//   IapFinish
//
// where n is the length of the whole file. Every step that fails ends the
// upgrade with a box that says so; the end of a good one is a log line.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/ui_port.h"
#include "firmware/hid_device.h"
#include "operations/packets.h"
#include "operations/programmer_ops.h"

namespace ostrel {

// How the boot loader presents itself on the HID side.
inline constexpr int kBootLoaderVendorId = 0x28E9;
inline constexpr int kBootLoaderProductId = 0x028B;
inline constexpr const char* kBootLoaderManufacturer = "GigaDevice";
inline constexpr const char* kBootLoaderProduct = "GD32 USB IAP in FS Mode";

inline constexpr int kReportSize = 64;
inline constexpr uint8_t kIapReportId = 1;
inline constexpr uint32_t kIapDataPerReport = 62;
// The first 12 KiB of a firmware file are the boot loader's own and are never sent.
inline constexpr uint32_t kFirmwareImageOffset = 0x3000;
inline constexpr uint32_t kFirmwareFileLimit = 0x100000;
inline constexpr int kBootLoaderSearchAttempts = 500;
inline constexpr int kBootLoaderSearchPauseMs = 100;
// The boot loader needs a moment after IapPrepare before the data comes.
inline constexpr int kPrepareSettleMs = 100;
// The open dialog's one filter.
inline constexpr const char* kFirmwareFilter = "*.xpro|*.xpro";

enum IapCode : uint8_t {
    IapStart = 1,
    IapPrepare = 2,
    IapData = 3,
    IapFinish = 4,
    IapQuery = 5,
};

using Report = std::array<uint8_t, kReportSize>;

// The reports, as pure functions. Bytes a code does not use are 0.
Report iapReport(IapCode code);
Report iapPrepareReport(uint32_t target, uint32_t blockCount, uint32_t length);
// `bytes` points at the 62 image bytes the report carries.
Report iapDataReport(const uint8_t* bytes);

struct IapQueryReply {
    uint32_t target = 0;
    uint16_t blockSize = 0;
};
IapQueryReply parseIapQueryReply(const Report& reply);

// What a firmware file's bytes tell before anything is sent: whether the
// part that goes to the boot loader holds anything.
enum class FirmwareImage {
    Usable,
    Empty,    // no bytes at all
    NoImage,  // nothing beyond the first 12 KiB, which are never sent
    Erased,   // only 0xFF beyond them
    NotArm,   // beyond them, no ARM Cortex-M vector table for the boot loader's flash
};
// `file` holds the `length` bytes the file gave.
FirmwareImage firmwareImageOf(const uint8_t* file, uint32_t length);

// The programmer's firmware runs from 0x0800_3000, right above the boot
// loader, and begins with its vector table: the initial stack pointer, word
// aligned, in the 192 KiB of RAM from 0x2000_0000 (a full descending stack
// may start at the very top), then the reset handler's address in the flash
// from 0x0800_3000 on, odd as every Thumb code address is.
inline constexpr uint32_t kFirmwareRamStart = 0x20000000;
inline constexpr uint32_t kFirmwareRamEnd = 0x20030000;
inline constexpr uint32_t kFirmwareFlashStart = 0x08003000;
inline constexpr uint32_t kFirmwareFlashEnd = 0x10000000;  // the end of the code region
// Whether `stackPointer` and `resetHandler` are what that image begins with.
bool firmwareVectorsValid(uint32_t stackPointer, uint32_t resetHandler);

// Blocks of `blockSize` bytes needed for `length` bytes; blockSize must not be 0.
uint32_t iapBlockCount(uint32_t length, uint32_t blockSize);
// Data reports needed for an image of `length` bytes.
uint32_t iapDataReportCount(uint32_t length);

// The texts TForm6 shows before the programmer has told its own.
struct HardwareTexts {
    std::string hardwareVersion = "V1.0";
    std::string firmwareVersion = "V1.00";
    std::string serialNumber = "A0123456789";
};

// The hardware information window as the command sees it.
class HardwareWindow {
  public:
    virtual ~HardwareWindow() = default;
    virtual void showTexts(const HardwareTexts& texts) = 0;
    // Shows the window modally; the firmware path chosen during this opening,
    // or empty when it was closed without a choice.
    virtual std::string runModal() = 0;

    // Set by the Hardware command while the window is shown: looks at a file
    // as it is chosen. False keeps the window open for another choice (the
    // user has been told why, or would not send that file).
    std::function<bool(const std::string& path)> checkFile;
};

enum class UpgradeResult {
    NoFile,             // no file chosen, or it does not exist: nothing happened
    FileRefused,        // the file could not be loaded, was too large, or the user would
                        // not send one without an image: nothing sent
    BootLoaderMissing,  // the boot loader did not appear
    BlockSizeZero,      // the boot loader cannot take the image
    TransferFailed,     // a report could not be written or its answer did not come
    Done,               // IapFinish went out
};

class FirmwareUpgrade {
  public:
    // `language` is read each time a text is shown, so a switch of language
    // between two upgrades is followed.
    FirmwareUpgrade(const int32_t& language, ProgrammerOps& ops, HidDevice& hid, UiPort& ui);

    // The Hardware command: the programmer's texts into the window (which
    // keeps its own when the programmer does not answer), the window, and the
    // upgrade when a file was chosen in it.
    UpgradeResult hardwareCommand(HardwareWindow& window);
    // Asks the programmer for its versions and serial number. When it is not
    // attached (or does not answer), `texts` keeps what it held; false then.
    bool readHardwareInfo(HardwareTexts& texts);
    // The upgrade with the firmware file at `path`; an empty path does nothing.
    UpgradeResult upgrade(const std::string& path);
    // The upgrade's checks of the file at `path`, its question included, made
    // while the hardware window is open; true when it may be sent. The next
    // upgrade of that file does not ask again.
    bool checkFile(const std::string& path);

    // Bytes the last upgrade sent in data reports (its image length n rounded
    // up to whole reports once it is done).
    uint32_t sentBytes() const { return sent_; }
    // What the last upgrade came to, in words without a clock time: the line
    // of a finished upgrade, or the message of the one that failed. Empty
    // before one ran, and for an upgrade without a file.
    const std::string& resultText() const { return resultText_; }

  private:
    // Loads and checks the file; the image buffer then reaches past the last
    // byte sent. False when it is not to be sent (the user has been told, or
    // has said no).
    bool loadImage(const std::string& path);
    bool findBootLoader();
    UpgradeResult sendImage();
    bool exchange(const Report& report, Report* reply);
    UpgradeResult fail(UpgradeResult result, const std::string& text);
    std::string text(Txt key) const { return programText(key, language_); }

    const int32_t& language_;
    ProgrammerOps& ops_;
    HidDevice& hid_;
    UiPort& ui_;
    std::vector<uint8_t> image_;
    uint32_t length_ = 0;  // n: the bytes the file gave
    uint32_t sent_ = 0;
    std::string confirmed_;  // the file checkFile let through, asked about already
    std::string resultText_;
};

}  // namespace ostrel
