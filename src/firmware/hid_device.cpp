#include "firmware/hid_device.h"

#include <hidapi/hidapi.h>

#include <cstring>

#include "base/library_binding.h"

namespace ostrel {

namespace {

// HID strings are read into 512 bytes of 16-bit characters: 256 characters.
constexpr std::size_t kStringCharacters = 256;

}  // namespace

// The entry points of the HID library; a null one behaves as a failed call.
struct HidDevice::Library {
    void* handle = nullptr;
    int (*init)() = nullptr;
    hid_device_info* (*enumerate)(unsigned short, unsigned short) = nullptr;
    void (*freeEnumeration)(hid_device_info*) = nullptr;
    hid_device* (*openPath)(const char*) = nullptr;
    void (*close)(hid_device*) = nullptr;
    int (*manufacturer)(hid_device*, wchar_t*, size_t) = nullptr;
    int (*product)(hid_device*, wchar_t*, size_t) = nullptr;
    int (*write)(hid_device*, const unsigned char*, size_t) = nullptr;
    int (*readTimeout)(hid_device*, unsigned char*, size_t, int) = nullptr;
};

std::string hidStringTo8Bit(const wchar_t* text, std::size_t length) {
    std::string out;
    if (text == nullptr) return out;
    for (std::size_t i = 0; i < length && text[i] != 0; ++i) {
        const auto c = static_cast<uint32_t>(text[i]);
        out.push_back(c < 256 ? static_cast<char>(c) : '?');
    }
    return out;
}

HidDevice::HidDevice(std::string libraryName)
    : libraryName_(std::move(libraryName)), lib_(new Library) {}

// The library stays loaded, as the USB library does.
HidDevice::~HidDevice() {
    close();
    delete lib_;
}

void HidDevice::bind() {
    Library fresh;
    // Loading again returns the handle of the copy already loaded.
    fresh.handle = platform::loadLibrary(libraryName_);
    void* h = fresh.handle;
    bindEntry(h, "hid_init", fresh.init);
    bindEntry(h, "hid_enumerate", fresh.enumerate);
    bindEntry(h, "hid_free_enumeration", fresh.freeEnumeration);
    bindEntry(h, "hid_open_path", fresh.openPath);
    bindEntry(h, "hid_close", fresh.close);
    bindEntry(h, "hid_get_manufacturer_string", fresh.manufacturer);
    bindEntry(h, "hid_get_product_string", fresh.product);
    bindEntry(h, "hid_write", fresh.write);
    bindEntry(h, "hid_read_timeout", fresh.readTimeout);
    *lib_ = fresh;
    if (lib_->init != nullptr) lib_->init();
}

int HidDevice::findAndOpen(int vendorId, const char* manufacturer, int productId,
                           const char* product) {
    // A device still open from before is given up: the search starts afresh.
    close();
    bind();
    int result = HidNoMatch;
    hid_device_info* list = lib_->enumerate != nullptr ? lib_->enumerate(0, 0) : nullptr;
    hid_device* accepted = nullptr;
    // Reads one of the open candidate's strings; false (result 5) when it gives none.
    auto readString = [&](hid_device* device, auto getter, std::string* text) {
        wchar_t buffer[kStringCharacters] = {};
        if (getter == nullptr || getter(device, buffer, kStringCharacters) != 0) {
            result = HidStringFailed;
            return false;
        }
        *text = hidStringTo8Bit(buffer, kStringCharacters);
        return true;
    };
    for (hid_device_info* info = list; info != nullptr && accepted == nullptr; info = info->next) {
        hid_device* device = lib_->openPath != nullptr && info->path != nullptr
                                 ? lib_->openPath(info->path)
                                 : nullptr;
        if (device == nullptr) {
            result = HidOpenFailed;
            continue;
        }
        bool keep = false;
        if (info->vendor_id == vendorId && info->product_id == productId) {
            result = HidNoMatch;
            std::string text;
            if (manufacturer == nullptr || product == nullptr) {
                keep = true;
            } else if (readString(device, lib_->manufacturer, &text) && text == manufacturer &&
                       readString(device, lib_->product, &text) && text == product) {
                keep = true;
            }
        }
        if (keep) {
            accepted = device;
        } else if (lib_->close != nullptr) {
            lib_->close(device);
        }
    }
    if (list != nullptr && lib_->freeEnumeration != nullptr) lib_->freeEnumeration(list);
    if (accepted == nullptr) return result;
    handle_ = accepted;
    isOpen_ = true;
    failure_ = HidFailure::None;
    return HidFound;
}

int HidDevice::writeReport(const uint8_t* report, int length) {
    if (!isOpen_) {
        failure_ = HidFailure::NotOpen;
        return 0;
    }
    const int written =
        lib_->write != nullptr && report != nullptr && length > 0
            ? lib_->write(static_cast<hid_device*>(handle_), report, static_cast<size_t>(length))
            : -1;
    // A report that went out in part is no report the device can take.
    if (written != length) {
        failure_ = HidFailure::Failed;
        return 0;
    }
    failure_ = HidFailure::None;
    return written;
}

int HidDevice::readReport(uint8_t* buffer, int length) {
    if (!isOpen_) {
        failure_ = HidFailure::NotOpen;
        return 0;
    }
    const int received = lib_->readTimeout != nullptr && buffer != nullptr && length > 0
                             ? lib_->readTimeout(static_cast<hid_device*>(handle_), buffer,
                                                 static_cast<size_t>(length), kReadTimeoutMs)
                             : -1;
    if (received <= 0) {
        failure_ = received == 0 ? HidFailure::TimedOut : HidFailure::Failed;
        return 0;
    }
    failure_ = HidFailure::None;
    return received;
}

void HidDevice::close() {
    if (!isOpen_) return;
    if (lib_->close != nullptr) lib_->close(static_cast<hid_device*>(handle_));
    handle_ = nullptr;
    isOpen_ = false;
}

}  // namespace ostrel
