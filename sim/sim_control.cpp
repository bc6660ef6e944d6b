// The control interface: building the bus, the chip and its image file, the
// faults, the log and the text configuration.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

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

void rebuildDescriptors(Device& d) {
    if (!d.usbDevice) {
        d.usbDevice = std::make_unique<UsbDevice>();
        std::memset(d.usbDevice.get(), 0, sizeof(UsbDevice));
    }
    UsbDevice* u = d.usbDevice.get();
    std::snprintf(u->filename, sizeof u->filename, "%03d", d.index + 1);
    u->devnum = static_cast<uint8_t>(d.index + 1);
    usb_device_descriptor& desc = u->descriptor;
    desc.bLength = 18;
    desc.bDescriptorType = 1;
    desc.bcdUSB = 0x0200;
    desc.bMaxPacketSize0 = 64;
    desc.idVendor = static_cast<uint16_t>(d.vendorId);
    desc.idProduct = static_cast<uint16_t>(d.productId);
    desc.bcdDevice = 0x0100;
    desc.iManufacturer = d.hasManufacturer ? 1 : 0;
    desc.iProduct = d.hasProduct ? 2 : 0;
    desc.iSerialNumber = 0;
    desc.bNumConfigurations = static_cast<uint8_t>(std::max(0, d.configurations));

    d.altsetting = std::make_unique<usb_interface_descriptor>();
    std::memset(d.altsetting.get(), 0, sizeof(usb_interface_descriptor));
    d.altsetting->bLength = 9;
    d.altsetting->bDescriptorType = 4;
    d.altsetting->bInterfaceNumber = static_cast<uint8_t>(d.interfaceNumber);
    d.altsetting->bNumEndpoints = 0;  // the host never looks at them
    d.altsetting->bInterfaceClass = 0xFF;

    const int interfaces = std::max(0, d.interfaces);
    d.usbInterfaces.reset(interfaces > 0 ? new usb_interface[interfaces] : nullptr);
    for (int i = 0; i < interfaces; ++i) {
        d.usbInterfaces[i].altsetting = d.altsetting.get();
        d.usbInterfaces[i].num_altsetting = 1;
    }
    const int configurations = std::max(0, d.configurations);
    d.configs.reset(configurations > 0 ? new usb_config_descriptor[configurations] : nullptr);
    for (int i = 0; i < configurations; ++i) {
        usb_config_descriptor& c = d.configs[i];
        std::memset(&c, 0, sizeof c);
        c.bLength = 9;
        c.bDescriptorType = 2;
        c.bNumInterfaces = static_cast<uint8_t>(interfaces);
        c.bConfigurationValue = static_cast<uint8_t>(i + 1);
        c.interface = d.usbInterfaces.get();
    }
    u->config = d.configs.get();
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
}

namespace {

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

// The descriptors count configurations and interfaces in one byte each, and
// a number past that would only allocate lists the host cannot be told about.
bool descriptorShapeValid(long long configurations, long long interfaces,
                          long long interfaceNumber) {
    return configurations >= 0 && configurations <= 255 && interfaces >= 0 && interfaces <= 255 &&
           interfaceNumber >= 0 && interfaceNumber <= 255;
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

// ---- The text configuration ----

// Splits a statement into its words; "quoted text" keeps its spaces.
bool splitWords(const std::string& line, std::vector<std::string>* words) {
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= line.size() || line[i] == '#') break;
        std::string word;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
            if (line[i] == '"') {
                size_t close = line.find('"', i + 1);
                if (close == std::string::npos) return false;
                word.append(line, i + 1, close - i - 1);
                i = close + 1;
            } else {
                word.push_back(line[i++]);
            }
        }
        words->push_back(word);
    }
    return true;
}

bool number(const std::string& text, long long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0') return false;
    *value = v;
    return true;
}

bool configureLine(const std::vector<std::string>& words, int* programmer) {
    const std::string& what = words[0];
    std::vector<std::pair<std::string, std::string>> options;
    for (size_t i = 1; i < words.size(); ++i) {
        size_t eq = words[i].find('=');
        if (eq == std::string::npos) return false;
        options.emplace_back(words[i].substr(0, eq), words[i].substr(eq + 1));
    }
    auto get = [&](const char* key, std::string* out) {
        for (auto& o : options) {
            if (o.first == key) {
                *out = o.second;
                return true;
            }
        }
        return false;
    };
    auto getNumber = [&](const char* key, long long fallback, long long* out) {
        std::string text;
        if (!get(key, &text)) {
            *out = fallback;
            return true;
        }
        return number(text, out);
    };
    long long bus = 1;
    if (what == "programmer" || what == "device") {
        long long vid, pid, configurations, interfaces, interfaceNumber;
        if (!getNumber("bus", 1, &bus) || bus < 1 || bus > 127) return false;
        const bool isProgrammer = what == "programmer";
        if (!getNumber("vid", isProgrammer ? 0x1FC8 : -1, &vid) ||
            !getNumber("pid", isProgrammer ? 0x300B : -1, &pid) || vid < 0 || pid < 0) {
            return false;
        }
        int index = isProgrammer ? addProgrammerLocked(static_cast<int>(bus))
                                 : addDeviceLocked(static_cast<int>(bus), 0, 0, nullptr, nullptr);
        if (index < 0) return false;
        Device& d = *deviceAt(index);
        d.vendorId = static_cast<int>(vid & 0xFFFF);
        d.productId = static_cast<int>(pid & 0xFFFF);
        std::string text;
        if (get("winusb", &text) && text != "0") {
            d.winusb = true;
            d.product = u"WinUSB1";
        }
        if (get("manufacturer", &text)) {
            d.manufacturer = utf8ToUtf16(text.c_str());
            d.hasManufacturer = true;
        }
        if (get("product", &text)) {
            d.product = utf8ToUtf16(text.c_str());
            d.hasProduct = true;
        }
        if (get("claim", &text)) d.claimFails = text == "fail";
        if (get("open", &text)) d.openFails = text == "fail";
        if (get("hardware", &text)) d.hardware = text;
        if (get("firmware", &text)) d.firmware = text;
        if (get("serial", &text)) d.serial = text;
        if (get("busy", &text)) d.busyForever = text == "forever";
        if (!getNumber("configurations", 1, &configurations) ||
            !getNumber("interfaces", 1, &interfaces) ||
            !getNumber("interface", 0, &interfaceNumber) ||
            !descriptorShapeValid(configurations, interfaces, interfaceNumber)) {
            return false;
        }
        d.configurations = static_cast<int>(configurations);
        d.interfaces = static_cast<int>(interfaces);
        d.interfaceNumber = static_cast<int>(interfaceNumber);
        long long value;
        if (!getNumber("erase_polls", 2, &value)) return false;
        d.erasePolls = static_cast<int>(value);
        if (get("unplug_after", &text)) {
            if (!number(text, &value) ||
                setFaultLocked(d, OSTREL_SIM_FAULT_UNPLUG, static_cast<int>(value), 0) != 0) {
                return false;
            }
        }
        if (get("timeout_read", &text)) {
            if (!number(text, &value) ||
                setFaultLocked(d, OSTREL_SIM_FAULT_READ_TIMEOUT, static_cast<int>(value), 0) != 0) {
                return false;
            }
        }
        if (get("flip_read", &text)) {
            if (!number(text, &value) ||
                setFaultLocked(d, OSTREL_SIM_FAULT_FLIP_READ, static_cast<int>(value), 0) != 0) {
                return false;
            }
        }
        if (get("bootloader", &text)) {
            if (!isProgrammer) return false;
            if (text == "never") {
                value = -1;
            } else if (!number(text, &value) || value < 0) {
                return false;
            }
            setBootLoaderLocked(d, static_cast<int>(value));
            HidNode& boot = *hidNodeAt(d.bootLoader);
            long long blockSize, target;
            if (!getNumber("block_size", boot.boot.blockSize, &blockSize) ||
                !getNumber("target", boot.boot.target, &target) || blockSize < 0 ||
                blockSize > 0xFFFF || target < 0 || target > 0xFFFFFFFFLL) {
                return false;
            }
            boot.boot.blockSize = static_cast<uint32_t>(blockSize);
            boot.boot.target = static_cast<uint32_t>(target);
            if (get("firmware_image", &text)) boot.boot.imagePath = text;
        }
        rebuildDescriptors(d);
        *programmer = isProgrammer ? index : *programmer;
        return true;
    }
    if (what == "chip") {
        if (*programmer < 0) return false;
        long long id, size, chipClass, protect;
        if (!getNumber("id", 0, &id) || !getNumber("size", -1, &size) ||
            !getNumber("class", 0, &chipClass) || !getNumber("protect", 0, &protect) || size <= 0 ||
            size > 0x10000000) {
            return false;
        }
        std::string image;
        get("image", &image);
        Device& d = *deviceAt(*programmer);
        if (insertChipLocked(d, static_cast<int>(chipClass), static_cast<uint32_t>(id),
                             static_cast<uint32_t>(size),
                             image.empty() ? nullptr : image.c_str()) != 0) {
            return false;
        }
        d.writeProtect = protect != 0;
        return true;
    }
    return false;
}

}  // namespace

int configureTextLocked(const char* text) {
    resetLocked();
    std::istringstream in(text != nullptr ? text : "");
    std::string line;
    int lineNumber = 0;
    int programmer = -1;
    while (std::getline(in, line)) {
        ++lineNumber;
        std::vector<std::string> words;
        if (!splitWords(line, &words)) return lineNumber;
        if (words.empty()) continue;
        if (!configureLine(words, &programmer)) return lineNumber;
    }
    return 0;
}

}  // namespace ostrel_sim

using namespace ostrel_sim;

#define LOCKED std::lock_guard<std::mutex> lock(world().mutex)
#define DEVICE(index)                 \
    Device* device = deviceAt(index); \
    if (device == nullptr) return -1; \
    Device& d = *device

extern "C" {

void ostrel_sim_reset(void) {
    LOCKED;
    resetLocked();
}

int ostrel_sim_add_device(int bus, int vendorId, int productId, const char* manufacturer,
                          const char* product) {
    LOCKED;
    return addDeviceLocked(bus, vendorId, productId, manufacturer, product);
}

int ostrel_sim_add_programmer(int bus) {
    LOCKED;
    return addProgrammerLocked(bus);
}

int ostrel_sim_set_strings(int index, const char* manufacturer, const char* product) {
    LOCKED;
    DEVICE(index);
    if (manufacturer != nullptr) {
        d.manufacturer = utf8ToUtf16(manufacturer);
        d.hasManufacturer = true;
    }
    if (product != nullptr) {
        d.product = utf8ToUtf16(product);
        d.hasProduct = true;
    }
    rebuildDescriptors(d);
    return 0;
}

int ostrel_sim_set_winusb(int index, int on) {
    LOCKED;
    DEVICE(index);
    d.winusb = on != 0;
    d.product = d.winusb ? u"WinUSB1" : u"ZarAZEZave";
    d.hasProduct = true;
    rebuildDescriptors(d);
    return 0;
}

int ostrel_sim_set_open_fails(int index, int fails) {
    LOCKED;
    DEVICE(index);
    d.openFails = fails != 0;
    return 0;
}

int ostrel_sim_set_claim_fails(int index, int fails) {
    LOCKED;
    DEVICE(index);
    d.claimFails = fails != 0;
    return 0;
}

int ostrel_sim_set_descriptor_shape(int index, int configurations, int interfaces,
                                    int interfaceNumber) {
    LOCKED;
    DEVICE(index);
    if (!descriptorShapeValid(configurations, interfaces, interfaceNumber)) return -1;
    d.configurations = configurations;
    d.interfaces = interfaces;
    d.interfaceNumber = interfaceNumber;
    rebuildDescriptors(d);
    return 0;
}

int ostrel_sim_set_hardware_info(int index, const char* hardware, const char* firmware,
                                 const char* serial) {
    LOCKED;
    DEVICE(index);
    if (hardware != nullptr) d.hardware = hardware;
    if (firmware != nullptr) d.firmware = firmware;
    if (serial != nullptr) d.serial = serial;
    return 0;
}

int ostrel_sim_insert_chip(int index, int chipClass, uint32_t chipId, uint32_t size,
                           const char* imagePath) {
    LOCKED;
    DEVICE(index);
    return insertChipLocked(d, chipClass, chipId, size, imagePath);
}

int ostrel_sim_remove_chip(int index) {
    LOCKED;
    DEVICE(index);
    flushImage(d);
    d.chip = Chip{};
    return 0;
}

int ostrel_sim_chip_read(int index, uint32_t address, uint8_t* out, uint32_t length) {
    LOCKED;
    DEVICE(index);
    if (!d.chip.present || out == nullptr || address > d.chip.data.size() ||
        length > d.chip.data.size() - address) {
        return -1;
    }
    std::memcpy(out, d.chip.data.data() + address, length);
    return 0;
}

int ostrel_sim_chip_write(int index, uint32_t address, const uint8_t* data, uint32_t length) {
    LOCKED;
    DEVICE(index);
    if (!d.chip.present || data == nullptr || address > d.chip.data.size() ||
        length > d.chip.data.size() - address) {
        return -1;
    }
    std::memcpy(d.chip.data.data() + address, data, length);
    d.chip.dirty = true;
    return 0;
}

uint32_t ostrel_sim_chip_size(int index) {
    LOCKED;
    Device* device = deviceAt(index);
    return device != nullptr ? static_cast<uint32_t>(device->chip.data.size()) : 0;
}

int ostrel_sim_save_image(int index) {
    LOCKED;
    DEVICE(index);
    flushImage(d);
    return d.chip.dirty ? -1 : 0;
}

int ostrel_sim_set_erase_busy_polls(int index, int polls) {
    LOCKED;
    DEVICE(index);
    if (polls < 0) return -1;
    d.erasePolls = polls;
    return 0;
}

int ostrel_sim_set_id_kind(int index, int kind) {
    LOCKED;
    DEVICE(index);
    if (kind < -1 || kind > 255) return -1;
    d.idKind = kind;
    return 0;
}

int ostrel_sim_set_fault(int index, int fault, int at, int param) {
    LOCKED;
    DEVICE(index);
    return setFaultLocked(d, fault, at, param);
}

int ostrel_sim_clear_faults(int index) {
    LOCKED;
    DEVICE(index);
    d.readFaults.clear();
    d.unplugAfter = UINT64_MAX;
    d.busyForever = false;
    d.stallAfter = UINT64_MAX;
    d.writeProtect = false;
    return 0;
}

int ostrel_sim_set_plugged(int index, int plugged) {
    LOCKED;
    DEVICE(index);
    d.plugged = plugged != 0;
    if (d.plugged) d.unplugAfter = UINT64_MAX;
    return 0;
}

int ostrel_sim_log_count(void) {
    LOCKED;
    return static_cast<int>(world().log.size());
}

int ostrel_sim_log_get(int index, ostrel_sim_log_entry* out) {
    LOCKED;
    World& w = world();
    if (out == nullptr || index < 0 || static_cast<size_t>(index) >= w.log.size()) return -1;
    *out = w.log[static_cast<size_t>(index)];
    return 0;
}

void ostrel_sim_log_clear(void) {
    LOCKED;
    world().log.clear();
}

int ostrel_sim_log_dump(const char* path) {
    LOCKED;
    if (path == nullptr) return -1;
    const bool toStderr = std::strcmp(path, "-") == 0;
    FILE* file = toStderr ? stderr : std::fopen(path, "w");
    if (file == nullptr) return -1;
    for (const auto& e : world().log) {
        std::fprintf(file, "dev %d ep 0x%02X len %d x%d -> %d  %s\n", e.device, e.endpoint,
                     e.length, e.blocks, e.result, e.text);
    }
    if (!toStderr) std::fclose(file);
    return 0;
}

int ostrel_sim_protocol_error_count(void) {
    LOCKED;
    return static_cast<int>(world().protocolErrors.size());
}

const char* ostrel_sim_protocol_error(int index) {
    LOCKED;
    World& w = world();
    if (index < 0 || static_cast<size_t>(index) >= w.protocolErrors.size()) return nullptr;
    return w.protocolErrors[static_cast<size_t>(index)].c_str();
}

void ostrel_sim_clear_protocol_errors(void) {
    LOCKED;
    world().protocolErrors.clear();
}

int ostrel_sim_last_setup(int index, ostrel_sim_setup* out) {
    LOCKED;
    DEVICE(index);
    if (out == nullptr) return -1;
    std::memset(out, 0, sizeof *out);
    out->command = d.setupCommand;
    if (d.setupCommand == 0) return 0;
    out->chipClass = d.setup.chipClass;
    out->algorithm = d.setup.algorithm;
    out->page = d.setup.page;
    out->delay = d.setup.delay;
    out->size = d.setup.size;
    out->chipId = d.setup.id;
    out->speed = d.setup.speed;
    out->voltage = d.setup.voltage;
    return 0;
}

int ostrel_sim_in_job(int index) {
    LOCKED;
    DEVICE(index);
    return d.inJob ? 1 : 0;
}

int ostrel_sim_four_byte_mode(int index) {
    LOCKED;
    DEVICE(index);
    return d.fourByte ? 1 : 0;
}

int ostrel_sim_upgrade_requests(int index) {
    LOCKED;
    DEVICE(index);
    return d.upgradeRequests;
}

int ostrel_sim_open_handles(int index) {
    LOCKED;
    DEVICE(index);
    return d.openHandles;
}

int ostrel_sim_timeouts(int index) {
    LOCKED;
    DEVICE(index);
    return d.timeouts;
}

int ostrel_sim_configure_text(const char* text) {
    LOCKED;
    return configureTextLocked(text);
}

int ostrel_sim_configure_file(const char* path) {
    if (path == nullptr) return -1;
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return -1;
    std::string text;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
    std::fclose(file);
    return ostrel_sim_configure_text(text.c_str());
}

}  // extern "C"
