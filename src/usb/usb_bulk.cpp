#include "usb/usb_bulk.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <thread>

#include "base/library_binding.h"
#include "usb/programmer_identity.h"
#include "usb/string_descriptor.h"
#include "usb/usb01.h"
#include "usb/wire_trace.h"

namespace ostrel {

namespace {

constexpr int kBulkTimeoutMs = 5000;
constexpr int kStringTimeoutMs = 1000;
constexpr int kReplyPauseMs = 50;
// A programmer asked for its serial number is held for about one reply pause.
constexpr int kBusyAttempts = 10;
constexpr int kBusyPauseMs = 50;
// What a call through an entry point the library does not have returns.
constexpr int kMissingEntry = -2;

std::string busPathOf(const usb_bus* bus, const struct usb_device* dev) {
    return std::string(bus->dirname) + "/" + dev->filename;
}

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
    char text[512];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return text;
}

}  // namespace

// The entry points of the USB library; a null one behaves as a failed call.
struct TUsbBulk::Library {
    void* handle = nullptr;
    void (*init)() = nullptr;
    int (*findBusses)() = nullptr;
    int (*findDevices)() = nullptr;
    usb_bus* (*getBusses)() = nullptr;
    usb_dev_handle* (*open)(struct usb_device*) = nullptr;
    int (*close)(usb_dev_handle*) = nullptr;
    int (*controlMsg)(usb_dev_handle*, int, int, int, int, char*, int, int) = nullptr;
    int (*claimInterface)(usb_dev_handle*, int) = nullptr;
    int (*releaseInterface)(usb_dev_handle*, int) = nullptr;
    int (*bulkWrite)(usb_dev_handle*, int, const char*, int, int) = nullptr;
    int (*bulkRead)(usb_dev_handle*, int, char*, int, int) = nullptr;
    char* (*strError)() = nullptr;

    std::string error() const {
        const char* text = strError != nullptr ? strError() : nullptr;
        return text != nullptr ? text : "";
    }
};

TUsbBulk::TUsbBulk(std::string libraryName)
    : libraryName_(std::move(libraryName)),
      lib_(new Library),
      pause_([](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }) {}

// The library stays loaded: other code of the process may still hold its
// handles. A device still held is released and closed first.
TUsbBulk::~TUsbBulk() {
    USB_bulk_close();
    delete lib_;
}

void TUsbBulk::setPause(std::function<void(int)> pause) {
    pause_ = std::move(pause);
}

bool TUsbBulk::bind() {
    Library fresh;
    // Loading again returns the handle of the copy already loaded.
    fresh.handle = platform::loadLibrary(libraryName_);
    void* h = fresh.handle;
    bindEntry(h, "usb_init", fresh.init);
    bindEntry(h, "usb_find_busses", fresh.findBusses);
    bindEntry(h, "usb_find_devices", fresh.findDevices);
    bindEntry(h, "usb_get_busses", fresh.getBusses);
    bindEntry(h, "usb_open", fresh.open);
    bindEntry(h, "usb_close", fresh.close);
    bindEntry(h, "usb_control_msg", fresh.controlMsg);
    bindEntry(h, "usb_claim_interface", fresh.claimInterface);
    bindEntry(h, "usb_release_interface", fresh.releaseInterface);
    bindEntry(h, "usb_bulk_write", fresh.bulkWrite);
    bindEntry(h, "usb_bulk_read", fresh.bulkRead);
    bindEntry(h, "usb_strerror", fresh.strError);
    *lib_ = fresh;
    if (lib_->init != nullptr) lib_->init();
    return h != nullptr;
}

UsbLibraryState TUsbBulk::probeLibrary() {
    UsbLibraryState state;
    state.loaded = bind();
    if (!state.loaded) return state;
    const std::pair<const char*, bool> entries[] = {
        {"usb_init", lib_->init != nullptr},
        {"usb_find_busses", lib_->findBusses != nullptr},
        {"usb_find_devices", lib_->findDevices != nullptr},
        {"usb_get_busses", lib_->getBusses != nullptr},
        {"usb_open", lib_->open != nullptr},
        {"usb_close", lib_->close != nullptr},
        {"usb_control_msg", lib_->controlMsg != nullptr},
        {"usb_claim_interface", lib_->claimInterface != nullptr},
        {"usb_release_interface", lib_->releaseInterface != nullptr},
        {"usb_bulk_write", lib_->bulkWrite != nullptr},
        {"usb_bulk_read", lib_->bulkRead != nullptr},
        {"usb_strerror", lib_->strError != nullptr},
    };
    for (const auto& [name, bound] : entries)
        if (!bound) state.missing.push_back(name);
    state.file = libraryFile(lib_->handle);
    return state;
}

std::vector<std::string> TUsbBulk::busPaths(int vendorId, int productId) {
    std::vector<std::string> paths;
    if (!bind()) return paths;
    if (lib_->findBusses != nullptr) lib_->findBusses();
    if (lib_->findDevices != nullptr) lib_->findDevices();
    usb_bus* busses = lib_->getBusses != nullptr ? lib_->getBusses() : nullptr;
    for (usb_bus* bus = busses; bus != nullptr; bus = bus->next)
        for (struct usb_device* dev = bus->devices; dev != nullptr; dev = dev->next)
            if (dev->descriptor.idVendor == vendorId && dev->descriptor.idProduct == productId)
                paths.push_back(std::string(bus->dirname) + "/" + dev->filename);
    return paths;
}

int TUsbBulk::usbGetStringAscii(usb_dev_handle* handle, int index, int languageId, char* text,
                                int textLength) {
    uint8_t descriptor[256] = {};
    if (lib_->controlMsg == nullptr) return kMissingEntry;
    int received = lib_->controlMsg(
        handle, USB_ENDPOINT_IN, USB_REQ_GET_DESCRIPTOR, (USB_DT_STRING << 8) + index, languageId,
        reinterpret_cast<char*>(descriptor), sizeof descriptor, kStringTimeoutMs);
    if (trace_ != nullptr)
        trace_->transfer(WireTrace::What::Control, 0, sizeof descriptor, received, descriptor,
                         WireTrace::kDataBytesShown);
    if (received < 0) return received;
    return decodeStringDescriptor(descriptor, sizeof descriptor, received, text, textLength);
}

void TUsbBulk::forEachCandidate(
    int vendorId, int productId, bool onlyChosen,
    const std::function<bool(struct usb_device*, const std::string&)>& visit) {
    if (lib_->findBusses != nullptr) lib_->findBusses();
    if (lib_->findDevices != nullptr) lib_->findDevices();
    usb_bus* busses = lib_->getBusses != nullptr ? lib_->getBusses() : nullptr;
    for (usb_bus* bus = busses; bus != nullptr; bus = bus->next) {
        for (struct usb_device* dev = bus->devices; dev != nullptr; dev = dev->next) {
            if (dev->descriptor.idVendor != vendorId || dev->descriptor.idProduct != productId)
                continue;
            const std::string path = busPathOf(bus, dev);
            if (onlyChosen && !devicePath_.empty() && path != devicePath_) continue;
            if (!visit(dev, path)) return;
        }
    }
}

usb_dev_handle* TUsbBulk::openTraced(struct usb_device* dev, const std::string& busPath) {
    usb_dev_handle* handle = lib_->open != nullptr ? lib_->open(dev) : nullptr;
    if (trace_ != nullptr)
        trace_->event(WireTrace::What::Open, handle != nullptr ? 0 : -1, busPath);
    return handle;
}

void TUsbBulk::closeTraced(usb_dev_handle* handle) {
    const int result = lib_->close != nullptr ? lib_->close(handle) : kMissingEntry;
    if (trace_ != nullptr) trace_->event(WireTrace::What::Close, result);
}

int TUsbBulk::prog_open(int vendorId, const char* manufacturer, int productId,
                        const char* product) {
    // Another run that looks for a programmer by its serial number claims each
    // one for a moment: a chosen programmer found busy is tried again for a
    // short while before it counts as held.
    for (int attempt = 0;; ++attempt) {
        const int opened = openOnce(vendorId, manufacturer, productId, product);
        if (opened != 0 || devicePath_.empty() || failure_ != OpenFailure::Busy ||
            attempt == kBusyAttempts)
            return opened;
        pause_(kBusyPauseMs);
    }
}

int TUsbBulk::openOnce(int vendorId, const char* manufacturer, int productId, const char* product) {
    // A device still held from before is let go, not leaked.
    USB_bulk_close();
    const char* wantedManufacturer = manufacturer != nullptr ? manufacturer : "";
    const char* wantedProduct = product != nullptr ? product : "";
    const bool bound = bind();
    failure_ = bound ? OpenFailure::NotFound : OpenFailure::NoLibrary;
    std::string refusal;  // the diagnostic of an attached programmer that could not be used
    bool opened = false;
    forEachCandidate(
        vendorId, productId, true, [&](struct usb_device* dev, const std::string& path) {
            deviceHandle = openTraced(dev, path);
            if (deviceHandle == nullptr) {
                diagnostic_ =
                    format("Warning: cannot open USB device: %s\n", lib_->error().c_str());
                failure_ = OpenFailure::NotAccessible;
                refusal = diagnostic_;
                return true;
            }
            if (acceptCandidate(dev, wantedManufacturer, wantedProduct)) {
                failure_ = OpenFailure::None;
                const bool winUsb = std::strcmp(wantedProduct, "WinUSB1") == 0;
                readEndpoint = winUsb ? 0x81 : 0x82;
                dataWriteEndpoint = winUsb ? 2 : 1;
                commandWriteEndpoint = winUsb ? 1 : 2;
                openedPath_ = path;
                opened = true;
                return false;
            }
            if (candidateFailure_ != OpenFailure::NotFound) {
                failure_ = candidateFailure_;
                refusal = diagnostic_;
            }
            closeTraced(deviceHandle);
            deviceHandle = nullptr;
            return true;
        });
    if (opened) return 1;
    diagnostic_ = format("Could not find USB device \"RAVOziz\" with vid=0x%x pid=0x%x\n", vendorId,
                         productId);
    // A programmer that is there but could not be used is the more useful news.
    if (attachedButUnusable(failure_))
        diagnostic_ =
            refusal + format("Found USB device with vid=0x%x pid=0x%x, but it %s\n", vendorId,
                             productId,
                             failure_ == OpenFailure::Busy ? "is held by another program or driver"
                                                           : "could not be opened (permissions?)");
    return 0;
}

std::vector<AttachedDevice> TUsbBulk::listDevices(int vendorId, const char* manufacturer,
                                                  int productId, const char* product) {
    USB_bulk_close();
    std::vector<AttachedDevice> found;
    if (!bind()) {
        failure_ = OpenFailure::NoLibrary;
        return found;
    }
    forEachCandidate(
        vendorId, productId, false, [&](struct usb_device* dev, const std::string& path) {
            usb_dev_handle* handle = openTraced(dev, path);
            if (handle == nullptr) {
                found.push_back({path, OpenFailure::NotAccessible});
                return true;
            }
            // The strings are read through the handle the transport holds.
            deviceHandle = handle;
            const bool ours = stringMatches(dev->descriptor.iManufacturer, "manufacturer",
                                            manufacturer != nullptr ? manufacturer : "") &&
                              stringMatches(dev->descriptor.iProduct, "product",
                                            product != nullptr ? product : "");
            if (ours)
                found.push_back({path, OpenFailure::None});
            else if (candidateFailure_ == OpenFailure::NotAccessible)
                found.push_back({path, OpenFailure::NotAccessible});
            deviceHandle = nullptr;
            closeTraced(handle);
            return true;
        });
    return found;
}

bool TUsbBulk::stringMatches(int index, const char* what, const char* wanted) {
    candidateFailure_ = OpenFailure::NotFound;
    char text[256];
    const int length = usbGetStringAscii(deviceHandle, index, kStringLanguageId, text, sizeof text);
    if (length < 0) {
        diagnostic_ =
            format("warning: cannot query %s for device: %s\n", what, lib_->error().c_str());
        // Without access to the device its strings cannot be read either.
        candidateFailure_ = OpenFailure::NotAccessible;
        return false;
    }
    // A zero result leaves the buffer untouched: compare an empty text then.
    if (length == 0) text[0] = '\0';
    return std::strcmp(text, wanted) == 0;
}

bool TUsbBulk::acceptCandidate(struct usb_device* dev, const char* manufacturer,
                               const char* product) {
    if (!stringMatches(dev->descriptor.iManufacturer, "manufacturer", manufacturer)) return false;
    if (!stringMatches(dev->descriptor.iProduct, "product", product)) return false;

    // A device that lists no configuration or no interface cannot be ours.
    if (dev->config == nullptr || dev->descriptor.bNumConfigurations == 0) return false;
    const usb_config_descriptor& config = dev->config[0];
    if (config.interface == nullptr || config.bNumInterfaces == 0) return false;
    const usb_interface& interface = config.interface[0];
    if (interface.altsetting == nullptr || interface.num_altsetting <= 0) return false;
    interfaceNumber = interface.altsetting[0].bInterfaceNumber;

    const int claimed = lib_->claimInterface != nullptr
                            ? lib_->claimInterface(deviceHandle, interfaceNumber)
                            : kMissingEntry;
    if (trace_ != nullptr) trace_->event(WireTrace::What::Claim, claimed);
    if (claimed != 0) {
        diagnostic_ = format("error writing:\n%s\n", lib_->error().c_str());
        candidateFailure_ = OpenFailure::Busy;
        return false;
    }
    return true;
}

int TUsbBulk::USB_bulk_cmd(uint8_t* buffer, int length, int readReply) {
    int result = 0;
    if (deviceHandle != nullptr) {
        result = lib_->bulkWrite != nullptr ? lib_->bulkWrite(deviceHandle, commandWriteEndpoint,
                                                              reinterpret_cast<const char*>(buffer),
                                                              length, kBulkTimeoutMs)
                                            : kMissingEntry;
        if (trace_ != nullptr)
            trace_->transfer(WireTrace::What::Out, commandWriteEndpoint, length, result, buffer,
                             length);
        // A command that did not go out has no reply to wait for: reading
        // would only cost another time-out.
        if (result != length) return result;
    }
    if (readReply != 0) {
        // The programmer needs a moment before its answer is ready.
        pause_(kReplyPauseMs);
        if (deviceHandle != nullptr) {
            result = lib_->bulkRead != nullptr
                         ? lib_->bulkRead(deviceHandle, readEndpoint,
                                          reinterpret_cast<char*>(buffer), length, kBulkTimeoutMs)
                         : kMissingEntry;
            if (trace_ != nullptr)
                trace_->transfer(WireTrace::What::In, readEndpoint, length, result, buffer, length);
        }
    }
    return result;
}

int TUsbBulk::USB_bulk_write(const uint8_t* buffer, int length) {
    if (deviceHandle == nullptr) return 0;
    const int result =
        lib_->bulkWrite != nullptr
            ? lib_->bulkWrite(deviceHandle, dataWriteEndpoint,
                              reinterpret_cast<const char*>(buffer), length, kBulkTimeoutMs)
            : kMissingEntry;
    if (trace_ != nullptr)
        trace_->transfer(WireTrace::What::Out, dataWriteEndpoint, length, result, buffer,
                         WireTrace::kDataBytesShown);
    return result;
}

int TUsbBulk::USB_bulk_read(uint8_t* buffer, int length) {
    if (deviceHandle == nullptr) return 0;
    const int result = lib_->bulkRead != nullptr
                           ? lib_->bulkRead(deviceHandle, readEndpoint,
                                            reinterpret_cast<char*>(buffer), length, kBulkTimeoutMs)
                           : kMissingEntry;
    if (trace_ != nullptr)
        trace_->transfer(WireTrace::What::In, readEndpoint, length, result, buffer,
                         WireTrace::kDataBytesShown);
    return result;
}

void TUsbBulk::USB_bulk_close() {
    if (deviceHandle == nullptr) return;
    const int released = lib_->releaseInterface != nullptr
                             ? lib_->releaseInterface(deviceHandle, interfaceNumber)
                             : kMissingEntry;
    if (trace_ != nullptr) trace_->event(WireTrace::What::Release, released);
    closeTraced(deviceHandle);
    deviceHandle = nullptr;
}

}  // namespace ostrel
