// The libusb 0.1 entry points: bus scan, open and close, string descriptors
// and the bulk transfers, which are handed to the programmer model.

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <windows.h>
#endif
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/file.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>

#include "sim_internal.h"

#ifdef _WIN32
#define USB_API extern "C" __declspec(dllexport)
#else
#define USB_API extern "C" __attribute__((visibility("default")))
#endif

// Part of the library's published interface: the head of the bus list.
__attribute__((visibility("default"))) struct usb_bus* usb_busses = nullptr;

struct usb_dev_handle {
    ostrel_sim::Device* device;
    bool claimed;
    int claimedInterface;
    int claimLock;  // the lock file that holds the claim against other processes, or -1
};

namespace ostrel_sim {
namespace {

std::set<usb_dev_handle*>& liveHandles() {
    static std::set<usb_dev_handle*> handles;
    return handles;
}

void setError(const std::string& text) {
    world().lastError = text;
}

// The device behind a handle, or null (and the error text set) when the handle
// is unknown or its device has gone.
Device* checkHandle(usb_dev_handle* handle, int* error) {
    if (handle == nullptr || liveHandles().count(handle) == 0) {
        setError("invalid device handle");
        *error = kErrInvalid;
        return nullptr;
    }
    Device* device = handle->device;
    if (!device->plugged) {
        setError("No such device");
        *error = kErrNoDevice;
        return nullptr;
    }
    return device;
}

// Counts a transfer against an armed unplug; false when the device has just gone.
bool countTransfer(Device& device) {
    if (device.transfers >= device.unplugAfter) {
        device.plugged = false;
        setError("No such device");
        return false;
    }
    ++device.transfers;
    return true;
}

void rebuildBusList() {
    followConfigFileLocked(true);
    World& w = world();
    w.busses.clear();
    std::set<int> numbers;
    for (auto& d : w.devices) numbers.insert(d->bus);
    usb_bus* previous = nullptr;
    for (int number : numbers) {
        auto bus = std::make_unique<usb_bus>();
        std::memset(bus.get(), 0, sizeof(usb_bus));
        std::snprintf(bus->dirname, sizeof bus->dirname, "%03d", number);
        bus->location = static_cast<uint32_t>(number);
        UsbDevice* last = nullptr;
        for (auto& d : w.devices) {
            if (d->bus != number || !d->plugged) continue;
            UsbDevice* u = d->usbDevice.get();
            u->bus = bus.get();
            u->prev = last;
            u->next = nullptr;
            if (last != nullptr) {
                last->next = u;
            } else {
                bus->devices = u;
            }
            last = u;
        }
        bus->prev = previous;
        if (previous != nullptr) previous->next = bus.get();
        previous = bus.get();
        w.busses.push_back(std::move(bus));
    }
    usb_busses = w.busses.empty() ? nullptr : w.busses.front().get();
}

// OSTREL_SIM_LOG names a file that gets the transfer log and each device's
// job state when the process ends, so that a test can watch a program that
// runs the simulator in a process of its own.
std::string& exitLogPath() {
    static std::string path;
    return path;
}

extern "C" void writeExitLog() {
    const std::string& path = exitLogPath();
    if (ostrel_sim_log_dump(path.c_str()) != 0) return;
    FILE* file = std::fopen(path.c_str(), "a");
    if (file == nullptr) return;
    for (int device = 0; ostrel_sim_in_job(device) >= 0; ++device)
        std::fprintf(file, "state dev %d in_job=%d open_handles=%d upgrades=%d\n", device,
                     ostrel_sim_in_job(device), ostrel_sim_open_handles(device),
                     ostrel_sim_bootloader_finished(device));
    std::fclose(file);
}

void loadConfigFromEnvironment() {
    World& w = world();
    if (w.configured) return;
    w.configured = true;
    const char* logPath = std::getenv("OSTREL_SIM_LOG");
    if (logPath != nullptr && *logPath != '\0' && exitLogPath().empty()) {
        exitLogPath() = logPath;
        std::atexit(writeExitLog);
    }
    const char* path = std::getenv("OSTREL_SIM_CONFIG");
    if (path == nullptr || *path == '\0') return;
    w.claimLockBase = path;
    std::string text;
    if (!readConfigFile(path, &text)) {
        std::fprintf(stderr, "ostrel-sim: cannot read %s\n", path);
        return;
    }
    int bad = configureTextLocked(text.c_str());
    if (bad != 0) std::fprintf(stderr, "ostrel-sim: %s: line %d not understood\n", path, bad);
    w.configPath = path;
    w.configText = text;
    w.configLooked = std::chrono::steady_clock::now();
}

#ifdef _WIN32
void makeFolder(const char* path) {
    _mkdir(path);
}
int openLockFile(const char* path) {
    return _open(path, _O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}
bool lockAtOnce(int fd) {
    OVERLAPPED whole{};
    return LockFileEx(reinterpret_cast<HANDLE>(_get_osfhandle(fd)),
                      LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                      &whole) != 0;
}
#else
void makeFolder(const char* path) {
    mkdir(path, 0700);
}
int openLockFile(const char* path) {
    return open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}
bool lockAtOnce(int fd) {
    return flock(fd, LOCK_EX | LOCK_NB) == 0;
}
#endif

// Where a claim of `device` is kept across processes. With USB_DEVFS_PATH set,
// as the real library reads it, the device's node in that folder
// ("<path>/001/004"), which the claiming process holds open as it holds the
// kernel's node, so that the processes holding a device can be found through
// their open files; otherwise a lock file beside the configuration.
std::string claimLockPath(const Device& device) {
    const char* devfs = std::getenv("USB_DEVFS_PATH");
    if (devfs != nullptr && *devfs != '\0') {
        char bus[16], node[16];
        std::snprintf(bus, sizeof bus, "%03d", device.bus);
        std::snprintf(node, sizeof node, "%03d", device.index + 1);
        const std::string folder = std::string(devfs) + "/" + bus;
        makeFolder(devfs);
        makeFolder(folder.c_str());
        return folder + "/" + node;
    }
    const std::string& base = world().claimLockBase;
    return base.empty() ? std::string() : base + ".claim" + std::to_string(device.index);
}

// Processes that share one configuration file share its devices: a claim
// holds a lock file, so a second process claiming the same device finds it
// busy, as the kernel would answer. -1 when the claim is taken (the lock
// file's descriptor, or -2 without a place for the lock).
int takeClaimLock(const Device& device) {
    const std::string path = claimLockPath(device);
    if (path.empty()) return -2;
    const int fd = openLockFile(path.c_str());
    if (fd < 0) return -2;  // nowhere to keep the lock: the claim stays this process's own
    if (!lockAtOnce(fd)) {
        close(fd);
        return -1;
    }
    return fd;
}

void dropClaimLock(usb_dev_handle* handle) {
    if (handle->claimLock >= 0) close(handle->claimLock);  // closing releases the lock
    handle->claimLock = -1;
}

// A string descriptor as the device would send it: length, type 3, UTF-16LE.
int stringDescriptor(const Device& device, int index, uint8_t* out, int size) {
    std::u16string text;
    if (index == 0) {
        text = u"\u0409";  // the language table: US English only
    } else if (index == 1 && device.hasManufacturer) {
        text = device.manufacturer;
    } else if (index == 2 && device.hasProduct) {
        text = device.product;
    } else {
        setError("error sending control message: Broken pipe");
        return kErrStall;
    }
    uint8_t descriptor[255];
    size_t units = text.size() > 126 ? 126 : text.size();
    descriptor[0] = static_cast<uint8_t>(2 + 2 * units);
    descriptor[1] = 3;
    for (size_t i = 0; i < units; ++i) {
        descriptor[2 + 2 * i] = static_cast<uint8_t>(text[i] & 0xFF);
        descriptor[3 + 2 * i] = static_cast<uint8_t>(text[i] >> 8);
    }
    int n = descriptor[0] < size ? descriptor[0] : size;
    std::memcpy(out, descriptor, static_cast<size_t>(n));
    return n;
}

}  // namespace

// Handles left open when the devices are removed become unknown handles.
void dropHandles() {
    for (usb_dev_handle* handle : liveHandles()) {
        if (handle->claimLock >= 0) close(handle->claimLock);
        delete handle;
    }
    liveHandles().clear();
    usb_busses = nullptr;
}

void rescan() {
    rebuildBusList();
}

}  // namespace ostrel_sim

using namespace ostrel_sim;

USB_API void usb_init(void) {
    std::lock_guard<std::mutex> lock(world().mutex);
    loadConfigFromEnvironment();
}

USB_API void usb_set_debug(int) {}

USB_API int usb_find_busses(void) {
    std::lock_guard<std::mutex> lock(world().mutex);
    rebuildBusList();
    return static_cast<int>(world().busses.size());
}

USB_API int usb_find_devices(void) {
    std::lock_guard<std::mutex> lock(world().mutex);
    rebuildBusList();
    int count = 0;
    for (auto& d : world().devices) count += d->plugged ? 1 : 0;
    return count;
}

USB_API struct usb_bus* usb_get_busses(void) {
    std::lock_guard<std::mutex> lock(world().mutex);
    return usb_busses;
}

USB_API usb_dev_handle* usb_open(struct usb_device* dev) {
    std::lock_guard<std::mutex> lock(world().mutex);
    for (auto& d : world().devices) {
        if (d->usbDevice.get() != dev) continue;
        ostrel_sim_log_entry entry = newEntry(*d, OSTREL_SIM_LOG_OPEN, 0, 0);
        if (!d->plugged || d->openFails) {
            setError(d->plugged ? "Permission denied" : "No such device");
            entry.result = -1;
            addLog(entry);
            return nullptr;
        }
        auto* handle = new usb_dev_handle{d.get(), false, -1, -1};
        liveHandles().insert(handle);
        ++d->openHandles;
        addLog(entry);
        return handle;
    }
    setError("No such device");
    return nullptr;
}

USB_API int usb_close(usb_dev_handle* handle) {
    std::lock_guard<std::mutex> lock(world().mutex);
    if (handle == nullptr || liveHandles().count(handle) == 0) return kErrInvalid;
    Device& device = *handle->device;
    liveHandles().erase(handle);
    dropClaimLock(handle);
    delete handle;
    --device.openHandles;
    ostrel_sim_log_entry entry = newEntry(device, OSTREL_SIM_LOG_CLOSE, 0, 0);
    // A reply the host had no chance to read (the device went) is no host mistake.
    if (device.plugged) {
        const std::string unread = unreadReply(device);
        if (!unread.empty())
            std::snprintf(entry.text, sizeof entry.text, "close %s", unread.c_str());
    }
    // Closing the device ends whatever job was running on it.
    resetProtocol(device);
    flushImage(device);
    addLog(entry);
    return 0;
}

USB_API int usb_control_msg(usb_dev_handle* handle, int requesttype, int request, int value,
                            int index, char* bytes, int size, int) {
    std::lock_guard<std::mutex> lock(world().mutex);
    int error = 0;
    Device* device = checkHandle(handle, &error);
    if (device == nullptr) return error;
    ostrel_sim_log_entry entry = newEntry(*device, OSTREL_SIM_LOG_CONTROL, 0, size);
    std::snprintf(entry.text, sizeof entry.text,
                  "control type=0x%02X req=%d value=0x%04X index=0x%04X", requesttype, request,
                  value, index);
    int result;
    if (!countTransfer(*device)) {
        result = kErrNoDevice;
    } else if (requesttype == 0x80 && request == 6 && (value >> 8) == 3 && size >= 0 &&
               bytes != nullptr) {
        result = stringDescriptor(*device, value & 0xFF, reinterpret_cast<uint8_t*>(bytes), size);
    } else {
        setError("error sending control message: Broken pipe");
        result = kErrStall;
    }
    entry.result = result;
    entry.total = result > 0 ? static_cast<uint64_t>(result) : 0;
    addLog(entry);
    return result;
}

USB_API int usb_claim_interface(usb_dev_handle* handle, int interface) {
    std::lock_guard<std::mutex> lock(world().mutex);
    int error = 0;
    Device* device = checkHandle(handle, &error);
    if (device == nullptr) return error;
    ostrel_sim_log_entry entry = newEntry(*device, OSTREL_SIM_LOG_CLAIM, 0, 0);
    std::snprintf(entry.text, sizeof entry.text, "claim interface %d", interface);
    bool claimedElsewhere = false;
    for (usb_dev_handle* other : liveHandles())
        claimedElsewhere |= other != handle && other->device == device && other->claimed;
    const bool shapeFits = device->interfaces >= 1 && device->configurations >= 1 &&
                           !device->nullInterfaceTable && interface == device->interfaceNumber;
    bool busy = device->claimFails || claimedElsewhere;
    int lockFile = -2;
    if (!busy && shapeFits && !handle->claimed) {
        lockFile = takeClaimLock(*device);
        busy = lockFile == -1;
    }
    int result = 0;
    if (busy) {
        setError("could not claim interface: Device or resource busy");
        result = kErrBusy;
    } else if (!shapeFits) {
        setError("could not claim interface: Invalid argument");
        result = kErrInvalid;
    } else {
        handle->claimed = true;
        handle->claimedInterface = interface;
        if (lockFile >= 0) handle->claimLock = lockFile;
    }
    entry.result = result;
    addLog(entry);
    return result;
}

USB_API int usb_release_interface(usb_dev_handle* handle, int interface) {
    std::lock_guard<std::mutex> lock(world().mutex);
    int error = 0;
    Device* device = checkHandle(handle, &error);
    if (device == nullptr) return error;
    ostrel_sim_log_entry entry = newEntry(*device, OSTREL_SIM_LOG_RELEASE, 0, 0);
    std::snprintf(entry.text, sizeof entry.text, "release interface %d", interface);
    int result = 0;
    if (!handle->claimed || handle->claimedInterface != interface) {
        setError("could not release interface: Invalid argument");
        result = kErrInvalid;
    } else {
        handle->claimed = false;
        dropClaimLock(handle);
    }
    entry.result = result;
    addLog(entry);
    return result;
}

USB_API int usb_bulk_write(usb_dev_handle* handle, int ep, const char* bytes, int size, int) {
    std::lock_guard<std::mutex> lock(world().mutex);
    followConfigFileLocked(false);
    int error = 0;
    Device* device = checkHandle(handle, &error);
    if (device == nullptr) return error;
    if (!countTransfer(*device)) return kErrNoDevice;
    if (!handle->claimed) {
        setError("error writing to bulk endpoint: Device or resource busy");
        return kErrBusy;
    }
    if (bytes == nullptr || size < 0) return kErrInvalid;
    if (stalled(*device)) return kErrTimeout;
    // Unplugged while a block of the write is on its way: it never arrives.
    if (device->programmer && ep == device->dataEndpoint() &&
        ++device->dataBlocksOut >= device->unplugInWrite) {
        device->plugged = false;
        setError("No such device");
        return kErrNoDevice;
    }
    return programmerWrite(*device, ep, reinterpret_cast<const uint8_t*>(bytes), size);
}

USB_API int usb_bulk_read(usb_dev_handle* handle, int ep, char* bytes, int size, int) {
    int delayUs = 0;
    int result = 0;
    {
        std::lock_guard<std::mutex> lock(world().mutex);
        followConfigFileLocked(false);
        int error = 0;
        Device* device = checkHandle(handle, &error);
        if (device == nullptr) return error;
        if (!countTransfer(*device)) return kErrNoDevice;
        if (!handle->claimed) {
            setError("error reading from bulk endpoint: Device or resource busy");
            return kErrBusy;
        }
        if (bytes == nullptr || size < 0) return kErrInvalid;
        if (stalled(*device)) return kErrTimeout;
        delayUs = device->readDelayUs;
        result = programmerRead(*device, ep, reinterpret_cast<uint8_t*>(bytes), size);
    }
    // A slow bus keeps the caller waiting, not the other programmers.
    if (delayUs > 0) std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
    return result;
}

USB_API char* usb_strerror(void) {
    // The library hands out a static buffer; so do we.
    static char text[256];
    std::lock_guard<std::mutex> lock(world().mutex);
    std::snprintf(text, sizeof text, "%s", world().lastError.c_str());
    return text;
}

USB_API struct usb_device* usb_device(usb_dev_handle* handle) {
    std::lock_guard<std::mutex> lock(world().mutex);
    if (handle == nullptr || liveHandles().count(handle) == 0) return nullptr;
    return handle->device->usbDevice.get();
}
