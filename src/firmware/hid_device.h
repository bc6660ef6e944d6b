#pragma once
// The boot loader's HID device: found by vendor ID, product ID, manufacturer
// and product string, opened, spoken to with whole reports, closed. It knows
// nothing of what the reports mean.
//
// The HID library (hidapi, hidraw back end) is bound at run time by name, as
// the USB library is; without it no device is ever found and every transfer
// fails.

#include <cstdint>
#include <string>

#include "base/platform.h"

namespace ostrel {

// What findAndOpen returns: 0 with a matching device open; otherwise the code
// of the last thing that went wrong during the search.
enum HidFindResult {
    HidFound = 0,
    HidOpenFailed = 1,    // a device could not be opened
    HidNoMatch = 2,       // a device had the IDs asked for (or none did)
    HidStringFailed = 5,  // such a device did not give a string
};

// Why the last transfer failed.
enum class HidFailure { None, NotOpen, TimedOut, Failed };

class HidDevice {
  public:
    // The boot loader answers each report at once, or after erasing the
    // application area for the image to come (a few hundred flash pages of
    // tens of milliseconds each). 20 seconds covers that with room to spare,
    // and still tells the user of a boot loader that has hung well before the
    // 50 seconds the search for it may take.
    static constexpr int kReadTimeoutMs = 20000;

    // `libraryName` is the library loaded; the program always uses the default.
    explicit HidDevice(std::string libraryName = platform::hidLibraryName());
    ~HidDevice();
    HidDevice(const HidDevice&) = delete;
    HidDevice& operator=(const HidDevice&) = delete;

    // Looks at every HID device present, in the order the system lists them;
    // opens each, keeps the first whose IDs match and whose two strings equal
    // the texts given (a null text is not compared). Returns a HidFindResult.
    int findAndOpen(int vendorId, const char* manufacturer, int productId, const char* product);
    // Writes one report; byte 0 is its report ID and `length` counts it.
    // Non-zero when the whole report went out; 0 when not open or it failed.
    int writeReport(const uint8_t* report, int length);
    // Waits for one input report, at most kReadTimeoutMs. Returns the bytes
    // read (non-zero), or 0 when not open, on a time-out or a failure; the
    // reason is lastFailure().
    int readReport(uint8_t* buffer, int length);
    // Closes the device if it is open.
    void close();

    bool isOpen() const { return isOpen_; }
    HidFailure lastFailure() const { return failure_; }

  private:
    struct Library;
    void bind();

    std::string libraryName_;
    Library* lib_ = nullptr;
    void* handle_ = nullptr;  // the library's hid_device
    bool isOpen_ = false;
    HidFailure failure_ = HidFailure::None;
};

// A device string as 8-bit text: each character below 256 becomes the byte of
// that value, each other one "?"; the text ends at the first zero character
// or after `length` characters.
std::string hidStringTo8Bit(const wchar_t* text, std::size_t length);

}  // namespace ostrel
