// The simulator's shared state: the world of devices, the log and the
// protocol errors every part writes to, the chip's image file, and building
// devices, chips and faults for the control interface and the configuration.

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim_internal.h"

namespace ostrel_sim {

namespace {

constexpr size_t kLogCapacity = 200000;

// Writes dirty images back when the process ends without closing the device.
struct ImageKeeper {
    ~ImageKeeper() {
        World& w = world();
        std::lock_guard<std::mutex> lock(w.mutex);
        for (auto& d : w.devices) flushImage(*d);
    }
};

void loadImage(Chip& chip) {
    if (chip.imagePath.empty()) return;
    FILE* file = std::fopen(chip.imagePath.c_str(), "rb");
    if (file == nullptr) return;  // a new image: the chip starts erased
    size_t got = std::fread(chip.data.data(), 1, chip.data.size(), file);
    (void)got;
    std::fclose(file);
}

}  // namespace

World& world() {
    static World instance;
    static ImageKeeper keeper;
    return instance;
}

Device* deviceAt(int index) {
    World& w = world();
    if (index < 0 || static_cast<size_t>(index) >= w.devices.size()) return nullptr;
    return w.devices[static_cast<size_t>(index)].get();
}

std::u16string utf8ToUtf16(const char* text) {
    std::u16string out;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0) {
        uint32_t c = *p++;
        int more = 0;
        if (c >= 0xF0) {
            c &= 0x07;
            more = 3;
        } else if (c >= 0xE0) {
            c &= 0x0F;
            more = 2;
        } else if (c >= 0xC0) {
            c &= 0x1F;
            more = 1;
        }
        for (; more > 0 && (*p & 0xC0) == 0x80; --more) c = c << 6 | (*p++ & 0x3F);
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

void addLog(const ostrel_sim_log_entry& entry) {
    World& w = world();
    if (w.log.size() < kLogCapacity) w.log.push_back(entry);
}

ostrel_sim_log_entry newEntry(const Device& device, int kind, int endpoint, int length) {
    ostrel_sim_log_entry entry;
    std::memset(&entry, 0, sizeof entry);
    entry.device = device.index;
    entry.kind = kind;
    entry.endpoint = endpoint;
    entry.length = length;
    entry.blocks = 1;
    entry.command = -1;
    return entry;
}

void protocolError(Device& device, const std::string& text) {
    world().protocolErrors.push_back("device " + std::to_string(device.index) + ": " + text);
}

void flushImage(Device& device) {
    Chip& chip = device.chip;
    if (!chip.present || !chip.dirty || chip.imagePath.empty()) return;
    FILE* file = std::fopen(chip.imagePath.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "ostrel-sim: cannot write %s: %s\n", chip.imagePath.c_str(),
                     std::strerror(errno));
        return;
    }
    size_t put = std::fwrite(chip.data.data(), 1, chip.data.size(), file);
    if (std::fclose(file) == 0 && put == chip.data.size()) chip.dirty = false;
}

void resetProtocol(Device& device) {
    device.inJob = false;
    device.fourByte = false;
    device.haveAddress = false;
    device.stream = Stream::None;
    device.replyPending = false;
}

void resetLocked() {
    World& w = world();
    for (auto& d : w.devices) flushImage(*d);
    dropHandles();
    dropHidHandles();
    w.hidNodes.clear();
    w.lastHidReadTimeout = 0;
    w.busses.clear();
    w.devices.clear();
    w.log.clear();
    w.protocolErrors.clear();
    w.lastError = "no error";
    w.configured = true;
    w.sockets.clear();
    w.configPath.clear();
    w.configText.clear();
}

int addDeviceLocked(int bus, int vendorId, int productId, const char* manufacturer,
                    const char* product) {
    if (bus < 1 || bus > 127) return -1;
    World& w = world();
    w.configured = true;
    auto d = std::make_unique<Device>();
    d->index = static_cast<int>(w.devices.size());
    d->bus = bus;
    d->vendorId = vendorId & 0xFFFF;
    d->productId = productId & 0xFFFF;
    d->hasManufacturer = manufacturer != nullptr;
    d->hasProduct = product != nullptr;
    if (manufacturer != nullptr) d->manufacturer = utf8ToUtf16(manufacturer);
    if (product != nullptr) d->product = utf8ToUtf16(product);
    rebuildDescriptors(*d);
    w.devices.push_back(std::move(d));
    return static_cast<int>(w.devices.size()) - 1;
}

int addProgrammerLocked(int bus) {
    int index = addDeviceLocked(bus, 0x1FC8, 0x300B, "Ostrel Electronics", "ZarAZEZave");
    if (index >= 0) deviceAt(index)->programmer = true;
    return index;
}

int insertChipLocked(Device& d, int chipClass, uint32_t chipId, uint32_t size,
                     const char* imagePath) {
    if (chipClass < 0 || chipClass > 4 || size == 0) return -1;
    flushImage(d);
    Chip chip;
    chip.present = true;
    chip.chipClass = chipClass;
    chip.id = chipId & 0xFFFFFF;
    chip.data.assign(size, 0xFF);
    chip.imagePath = imagePath != nullptr ? imagePath : "";
    loadImage(chip);
    d.chip = std::move(chip);
    return 0;
}

int setFaultLocked(Device& d, int fault, int at, int param) {
    switch (fault) {
        case OSTREL_SIM_FAULT_READ_TIMEOUT:
        case OSTREL_SIM_FAULT_SHORT_READ:
        case OSTREL_SIM_FAULT_FLIP_READ:
            if (at < 1 || param < 0) return -1;
            d.readFaults.push_back({static_cast<uint64_t>(fault),
                                    d.reads + static_cast<uint64_t>(at),
                                    static_cast<uint64_t>(param)});
            return 0;
        case OSTREL_SIM_FAULT_UNPLUG:
            if (at < 0) return -1;
            d.unplugAfter = d.transfers + static_cast<uint64_t>(at);
            return 0;
        case OSTREL_SIM_FAULT_UNPLUG_IN_WRITE:
            if (at < 1) return -1;
            d.unplugInWrite = d.dataBlocksOut + static_cast<uint64_t>(at);
            return 0;
        case OSTREL_SIM_FAULT_BUSY_FOREVER:
            d.busyForever = true;
            return 0;
        case OSTREL_SIM_FAULT_WRITE_PROTECT:
            d.writeProtect = true;
            return 0;
        case OSTREL_SIM_FAULT_STALL:
            if (at < 0) return -1;
            d.stallAfter = d.bulkTransfers + static_cast<uint64_t>(at);
            return 0;
        default:
            return -1;
    }
}

}  // namespace ostrel_sim
