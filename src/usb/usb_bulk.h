#pragma once
// The one object through which the program talks to the programmer: it finds
// the programmer by its IDs and two strings, claims its interface and moves
// 64-byte packets and data blocks over three bulk endpoints. It knows nothing
// of what the packets mean.
//
// The USB library (libusb 0.1 interface) is bound at run time by name on every
// prog_open; an entry point that cannot be found behaves as a failed call.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/platform.h"

struct usb_dev_handle;
struct usb_device;

namespace ostrel {

// Why the last prog_open found no programmer it could use. The result of
// prog_open stays 1 or 0; this only tells the user what to check.
enum class OpenFailure {
    None,           // the last prog_open succeeded (or none ran yet)
    NoLibrary,      // the USB library could not be loaded
    NotFound,       // no device with the IDs and strings on the bus
    NotAccessible,  // a device with the IDs is attached but could not be opened or its
                    // strings read: mostly missing permissions
    Busy,           // the programmer was opened but its interface could not be claimed:
                    // another program or a kernel driver holds it
};

// True when a programmer is on the bus but the program cannot use it.
inline bool attachedButUnusable(OpenFailure f) {
    return f == OpenFailure::NotAccessible || f == OpenFailure::Busy;
}

// What binding the USB library found: whether it loaded, the file it loaded
// from, and the entry points it lacks.
struct UsbLibraryState {
    bool loaded = false;
    std::string file;
    std::vector<std::string> missing;
};

class WireTrace;

// A programmer on the bus, as a scan finds it without claiming it.
struct AttachedDevice {
    std::string busPath;  // "001/004": bus and device as the library names them
    OpenFailure failure =
        OpenFailure::None;  // NotAccessible: it could not be opened to read its strings
};

class TUsbBulk {
  public:
    // `libraryName` is the library loaded; the program always uses the default.
    explicit TUsbBulk(std::string libraryName = platform::usbLibraryName());
    ~TUsbBulk();
    TUsbBulk(const TUsbBulk&) = delete;
    TUsbBulk& operator=(const TUsbBulk&) = delete;

    // 1 when a matching device was found, opened and its interface claimed; 0 otherwise.
    // With a device path set, a device found busy is tried again for half a second.
    int prog_open(int vendorId, const char* manufacturer, int productId, const char* product);
    // Sends `length` bytes to the command endpoint; with `readReply` non-zero, pauses
    // 50 ms and reads `length` bytes of reply into the same buffer. A write that
    // did not send all `length` bytes returns its result without reading.
    int USB_bulk_cmd(uint8_t* buffer, int length, int readReply);
    int USB_bulk_write(const uint8_t* buffer, int length);
    int USB_bulk_read(uint8_t* buffer, int length);
    void USB_bulk_close();
    // Reads a string descriptor as 8-bit text; characters above 0xFF become "?".
    int usbGetStringAscii(usb_dev_handle* handle, int index, int languageId, char* text,
                          int textLength);

    // Binds the library afresh and says what it found.
    UsbLibraryState probeLibrary();
    // The bus paths ("001/004": the bus and device names the library gives) of
    // every device on the bus with these IDs, in bus order.
    std::vector<std::string> busPaths(int vendorId, int productId);

    bool isOpen() const { return deviceHandle != nullptr; }
    int readEndpointValue() const { return readEndpoint; }
    int dataWriteEndpointValue() const { return dataWriteEndpoint; }
    int commandWriteEndpointValue() const { return commandWriteEndpoint; }
    int interfaceNumberValue() const { return interfaceNumber; }
    // Multi-byte packet fields travel most significant byte first with the 0x82 personality.
    bool bigEndianFields() const { return readEndpoint == 0x82; }

    // With a bus path ("001/004"), prog_open considers only the device there;
    // empty (the start): the first matching device in bus order.
    void setDevicePath(std::string busPath) { devicePath_ = std::move(busPath); }
    const std::string& devicePath() const { return devicePath_; }
    // The bus path of the device the last successful prog_open took.
    const std::string& openedPath() const { return openedPath_; }
    // Every device with the IDs and strings, in bus order, whatever the device
    // path says. Each is opened to
    // read its strings and closed again; none is claimed, so a device another
    // program holds is listed too. Without the library: none, and
    // lastOpenFailure() says NoLibrary.
    std::vector<AttachedDevice> listDevices(int vendorId, const char* manufacturer, int productId,
                                            const char* product);

    // Every transfer, open, claim, release and close goes into `trace` while
    // one is set (null: none, the start). The caller keeps it alive.
    void setTrace(WireTrace* trace) { trace_ = trace; }
    WireTrace* trace() const { return trace_; }

    // The 50 ms pause inside USB_bulk_cmd goes through this, so tests need not wait.
    void setPause(std::function<void(int milliseconds)> pause);

    // The last diagnostic prog_open composed: why an attached programmer could
    // not be used, or that none was found. Nothing shows it; it is kept for
    // debugging.
    const std::string& lastDiagnostic() const { return diagnostic_; }
    // Why the last prog_open failed. When several candidates failed, one that
    // is attached but unusable outweighs candidates with other strings.
    OpenFailure lastOpenFailure() const { return failure_; }

  private:
    struct Library;
    bool bind();
    int openOnce(int vendorId, const char* manufacturer, int productId, const char* product);
    // Reads the open candidate's strings and claims its interface; false rejects it.
    bool acceptCandidate(struct usb_device* dev, const char* manufacturer, const char* product);
    // Reads string descriptor `index` of the open candidate and compares it with
    // `wanted`; a failed read is noted in the diagnostic under `what`.
    bool stringMatches(int index, const char* what, const char* wanted);
    // Scans the bus and calls `visit` for every device with the IDs (with
    // `onlyChosen` and a device path set, only the one there) until it returns false.
    void forEachCandidate(int vendorId, int productId, bool onlyChosen,
                          const std::function<bool(struct usb_device*, const std::string&)>& visit);
    usb_dev_handle* openTraced(struct usb_device* dev, const std::string& busPath);
    void closeTraced(usb_dev_handle* handle);

    std::string libraryName_;
    Library* lib_ = nullptr;
    std::function<void(int)> pause_;
    std::string diagnostic_;
    OpenFailure failure_ = OpenFailure::None;
    OpenFailure candidateFailure_ = OpenFailure::NotFound;  // why acceptCandidate said no
    std::string devicePath_;
    std::string openedPath_;
    WireTrace* trace_ = nullptr;

    usb_dev_handle* deviceHandle = nullptr;
    int readEndpoint = 0x82;
    int dataWriteEndpoint = 1;
    int commandWriteEndpoint = 2;
    int interfaceNumber = 0;
};

}  // namespace ostrel
