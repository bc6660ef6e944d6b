// The boot loader's HID device on Windows: found through SetupAPI, spoken to
// with the system's HID driver (hid.dll) through overlapped reads and writes.

// clang-format off
#include <windows.h>
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}
// clang-format on

#include <algorithm>
#include <cstring>
#include <vector>

#include "firmware/hid_device.h"

namespace ostrel {

namespace {

// HID strings are read into 512 bytes of 16-bit characters: 256 characters.
constexpr std::size_t kStringCharacters = 256;

// Waits for an overlapped transfer at most `timeoutMs`; the count moved, 0 on
// a time-out (the transfer is then cancelled), -1 on a failure.
int finish(HANDLE device, OVERLAPPED& transfer, BOOL started, DWORD timeoutMs) {
    if (!started && GetLastError() != ERROR_IO_PENDING) return -1;
    if (WaitForSingleObject(transfer.hEvent, timeoutMs) != WAIT_OBJECT_0) {
        CancelIo(device);
        DWORD ignored = 0;
        GetOverlappedResult(device, &transfer, &ignored, TRUE);
        return 0;
    }
    DWORD done = 0;
    if (!GetOverlappedResult(device, &transfer, &done, FALSE)) return -1;
    return static_cast<int>(done);
}

}  // namespace

std::string hidStringTo8Bit(const wchar_t* text, std::size_t length) {
    std::string out;
    if (text == nullptr) return out;
    for (std::size_t i = 0; i < length && text[i] != 0; ++i) {
        const auto c = static_cast<uint32_t>(text[i]);
        out.push_back(c < 256 ? static_cast<char>(c) : '?');
    }
    return out;
}

// The open device and the sizes of its reports, report ID included.
struct HidDevice::Library {
    HANDLE device = INVALID_HANDLE_VALUE;
    HANDLE event = nullptr;
    std::size_t inputLength = 0;
    std::size_t outputLength = 0;
};

HidDevice::HidDevice(std::string libraryName)
    : libraryName_(std::move(libraryName)), lib_(new Library) {}

HidDevice::~HidDevice() {
    close();
    delete lib_;
}

void HidDevice::bind() {}

int HidDevice::findAndOpen(int vendorId, const char* manufacturer, int productId,
                           const char* product) {
    // A device still open from before is given up: the search starts afresh.
    close();
    int result = HidNoMatch;
    GUID hidClass;
    HidD_GetHidGuid(&hidClass);
    const HDEVINFO list =
        SetupDiGetClassDevsW(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (list == INVALID_HANDLE_VALUE) return result;
    SP_DEVICE_INTERFACE_DATA entry{};
    entry.cbSize = sizeof entry;
    for (DWORD index = 0;
         !isOpen_ && SetupDiEnumDeviceInterfaces(list, nullptr, &hidClass, index, &entry);
         ++index) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(list, &entry, nullptr, 0, &size, nullptr);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
        std::vector<unsigned char> storage(size);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(list, &entry, detail, size, nullptr, nullptr))
            continue;
        const HANDLE device = CreateFileW(detail->DevicePath, GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (device == INVALID_HANDLE_VALUE) {
            result = HidOpenFailed;
            continue;
        }
        HIDD_ATTRIBUTES attributes{};
        attributes.Size = sizeof attributes;
        bool keep = false;
        if (HidD_GetAttributes(device, &attributes) && attributes.VendorID == vendorId &&
            attributes.ProductID == productId) {
            result = HidNoMatch;
            const auto readString = [&](auto getter, std::string* text) {
                wchar_t buffer[kStringCharacters] = {};
                if (!getter(device, buffer, sizeof buffer)) {
                    result = HidStringFailed;
                    return false;
                }
                *text = hidStringTo8Bit(buffer, kStringCharacters);
                return true;
            };
            std::string text;
            keep = manufacturer == nullptr || product == nullptr ||
                   (readString(HidD_GetManufacturerString, &text) && text == manufacturer &&
                    readString(HidD_GetProductString, &text) && text == product);
        }
        PHIDP_PREPARSED_DATA layout = nullptr;
        HIDP_CAPS caps{};
        if (keep && HidD_GetPreparsedData(device, &layout)) {
            keep = HidP_GetCaps(layout, &caps) == HIDP_STATUS_SUCCESS;
            HidD_FreePreparsedData(layout);
        } else {
            keep = false;
        }
        if (!keep) {
            CloseHandle(device);
            continue;
        }
        lib_->device = device;
        lib_->event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        lib_->inputLength = caps.InputReportByteLength;
        lib_->outputLength = caps.OutputReportByteLength;
        isOpen_ = true;
    }
    SetupDiDestroyDeviceInfoList(list);
    if (!isOpen_) return result;
    failure_ = HidFailure::None;
    return HidFound;
}

int HidDevice::writeReport(const uint8_t* report, int length) {
    if (!isOpen_) {
        failure_ = HidFailure::NotOpen;
        return 0;
    }
    // The driver takes whole output reports only: a shorter one is padded with zeros.
    const std::size_t wanted = static_cast<std::size_t>(length > 0 ? length : 0);
    std::vector<uint8_t> out(std::max(wanted, lib_->outputLength), 0);
    if (report != nullptr && wanted > 0) std::memcpy(out.data(), report, wanted);
    int written = -1;
    if (report != nullptr && length > 0) {
        OVERLAPPED transfer{};
        transfer.hEvent = lib_->event;
        ResetEvent(lib_->event);
        const BOOL started =
            WriteFile(lib_->device, out.data(), static_cast<DWORD>(out.size()), nullptr, &transfer);
        written = finish(lib_->device, transfer, started, kReadTimeoutMs);
    }
    // A report that went out in part is no report the device can take.
    if (written < length) {
        failure_ = HidFailure::Failed;
        return 0;
    }
    failure_ = HidFailure::None;
    return length;
}

int HidDevice::readReport(uint8_t* buffer, int length) {
    if (!isOpen_) {
        failure_ = HidFailure::NotOpen;
        return 0;
    }
    int received = -1;
    if (buffer != nullptr && length > 0) {
        std::vector<uint8_t> in(std::max(lib_->inputLength, static_cast<std::size_t>(length)));
        OVERLAPPED transfer{};
        transfer.hEvent = lib_->event;
        ResetEvent(lib_->event);
        const BOOL started =
            ReadFile(lib_->device, in.data(), static_cast<DWORD>(in.size()), nullptr, &transfer);
        received = finish(lib_->device, transfer, started, kReadTimeoutMs);
        // The driver puts the report ID first; an unnumbered report (ID 0)
        // is given without it, as the device sent it.
        const std::size_t skip = received > 0 && in[0] == 0 ? 1 : 0;
        if (received > 0) {
            received = std::min(received - static_cast<int>(skip), length);
            if (received > 0)
                std::memcpy(buffer, in.data() + skip, static_cast<std::size_t>(received));
            else
                received = -1;
        }
    }
    if (received <= 0) {
        failure_ = received == 0 ? HidFailure::TimedOut : HidFailure::Failed;
        return 0;
    }
    failure_ = HidFailure::None;
    return received;
}

void HidDevice::close() {
    if (!isOpen_) return;
    CloseHandle(lib_->device);
    if (lib_->event != nullptr) CloseHandle(lib_->event);
    *lib_ = Library();
    handle_ = nullptr;
    isOpen_ = false;
}

}  // namespace ostrel
