// The control interface: the C entry points through which tests and the
// configuration build the bus, the chip and its image file, set faults and
// read the log.

#include <cstdio>
#include <cstring>
#include <string>

#include "sim_internal.h"

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

int ostrel_sim_set_null_interface_table(int index, int null) {
    LOCKED;
    DEVICE(index);
    d.nullInterfaceTable = null != 0;
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
