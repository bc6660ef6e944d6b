// The HID side of the simulator: the devices a HID scan lists, and the boot
// loader a programmer restarts into after CmdEnterUpgrade. The boot loader takes
// 64-byte reports (report ID 1, command code in byte 1), checks each against its
// command table and its order, keeps the image the data reports carry, and after
// IapFinish leaves the HID side so that the programmer comes back on the bus.
//
// The hidapi stand-in (hidapi/hidapi_standin.cpp) forwards every call here.

#ifdef _WIN32
// No HID library stands in on Windows (the program speaks to the system's HID
// driver there); the boot loader's model still serves the USB side's switch.
struct hid_device_info {
    char* path;
    unsigned short vendor_id;
    unsigned short product_id;
    wchar_t* serial_number;
    unsigned short release_number;
    wchar_t* manufacturer_string;
    wchar_t* product_string;
    unsigned short usage_page;
    unsigned short usage;
    int interface_number;
    struct hid_device_info* next;
};
typedef struct hid_device_ hid_device;
#else
#include <hidapi/hidapi.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "sim_internal.h"

struct hid_device_ {
    int node;
    uint64_t generation;
};

namespace ostrel_sim {
namespace {

constexpr int kBootVendorId = 0x28E9;
constexpr int kBootProductId = 0x028B;
constexpr const char* kBootManufacturer = "GigaDevice";
constexpr const char* kBootProduct = "GD32 USB IAP in FS Mode";
constexpr int kReportId = 1;
constexpr int kDataPerReport = 62;
// The boot loader takes no image larger than the host ever loads.
constexpr uint32_t kLargestImage = 0x100000;

// The new firmware as the programmer would hold it: the announced length of
// what the data reports carried, written where the configuration says.
void keepImage(const BootLoader& b) {
    if (b.imagePath.empty()) return;
    FILE* file = std::fopen(b.imagePath.c_str(), "wb");
    const size_t length = std::min<size_t>(b.length, b.image.size());
    if (file == nullptr || std::fwrite(b.image.data(), 1, length, file) != length) {
        std::fprintf(stderr, "ostrel-sim: cannot write %s\n", b.imagePath.c_str());
    }
    if (file != nullptr) std::fclose(file);
}

enum IapCode { IapStart = 1, IapPrepare = 2, IapData = 3, IapFinish = 4, IapQuery = 5 };

const char* iapName(int code) {
    switch (code) {
        case IapStart:
            return "IapStart";
        case IapPrepare:
            return "IapPrepare";
        case IapData:
            return "IapData";
        case IapFinish:
            return "IapFinish";
        case IapQuery:
            return "IapQuery";
        default:
            return "unknown";
    }
}

std::set<hid_device*>& liveHidHandles() {
    static std::set<hid_device*> handles;
    return handles;
}

std::u32string toUtf32(const char* text) {
    std::u32string out;
    for (char16_t unit : utf8ToUtf16(text)) out.push_back(unit);
    return out;
}

ostrel_sim_log_entry hidEntry(const HidNode& node, int kind, int length) {
    ostrel_sim_log_entry entry;
    std::memset(&entry, 0, sizeof entry);
    entry.device = node.index;
    entry.kind = kind;
    entry.length = length;
    entry.blocks = 1;
    entry.command = -1;
    return entry;
}

void hidProtocolError(const HidNode& node, const std::string& text) {
    world().protocolErrors.push_back("hid " + std::to_string(node.index) + ": " + text);
}

bool zeros(const uint8_t* p, int from, int to) {
    for (int i = from; i < to; ++i) {
        if (p[i] != 0) return false;
    }
    return true;
}

uint32_t little32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// The node behind a handle when it can still be talked to; null otherwise.
HidNode* liveNode(hid_device* handle) {
    if (handle == nullptr || liveHidHandles().count(handle) == 0) return nullptr;
    HidNode* node = hidNodeAt(handle->node);
    if (node == nullptr || !node->present || node->generation != handle->generation) return nullptr;
    return node;
}

// Counts a transfer against an armed vanishing; false when the boot loader has just gone.
bool countHidTransfer(HidNode& node) {
    BootLoader& b = node.boot;
    if (b.vanishAfter == 0) {
        node.present = false;
        return false;
    }
    if (b.vanishAfter != UINT64_MAX) --b.vanishAfter;
    return true;
}

void leaveHidSide(HidNode& node) {
    node.present = false;
    ++node.generation;
    node.boot.replyPending = false;
    if (Device* programmer = deviceAt(node.programmer)) {
        programmer->plugged = true;
        programmer->unplugAfter = UINT64_MAX;
        resetProtocol(*programmer);
    }
}

void queueBootReply(BootLoader& b, const std::array<uint8_t, kPacket>& reply) {
    b.reply = reply;
    b.replyPending = true;
}

// Checks and carries out one report; an empty text means it was taken.
std::string bootReport(HidNode& node, const uint8_t* p, char* summary, size_t summarySize) {
    BootLoader& b = node.boot;
    const int code = p[1];
    std::array<uint8_t, kPacket> reply{};
    reply[0] = kReportId;
    reply[1] = static_cast<uint8_t>(code);
    switch (code) {
        case IapStart:
            if (!zeros(p, 2, kPacket)) return "IapStart: stray bytes";
            b.stage = IapStage::Started;
            b.dataReports = 0;
            queueBootReply(b, reply);
            return {};
        case IapQuery:
            if (!zeros(p, 2, kPacket)) return "IapQuery: stray bytes";
            if (b.stage != IapStage::Started) return "IapQuery before IapStart";
            reply[1] = static_cast<uint8_t>(b.target);
            reply[2] = static_cast<uint8_t>(b.target >> 8);
            reply[3] = static_cast<uint8_t>(b.target >> 16);
            reply[4] = static_cast<uint8_t>(b.target >> 24);
            reply[5] = static_cast<uint8_t>(b.blockSize);
            reply[6] = static_cast<uint8_t>(b.blockSize >> 8);
            std::snprintf(summary, summarySize, "target=0x%08X block=%u", b.target, b.blockSize);
            b.stage = IapStage::Queried;
            queueBootReply(b, reply);
            return {};
        case IapPrepare: {
            if (!zeros(p, 11, kPacket)) return "IapPrepare: stray bytes";
            if (b.stage != IapStage::Queried) return "IapPrepare before IapQuery";
            const uint32_t target = little32(p + 2);
            const uint32_t length = little32(p + 7);
            std::snprintf(summary, summarySize, "target=0x%08X blocks=%d length=%u", target, p[6],
                          length);
            if (target != b.target) return "IapPrepare: target address not the one reported";
            if (length == 0 || length > kLargestImage) {
                return "IapPrepare: image length " + std::to_string(length);
            }
            if (b.blockSize == 0) return "IapPrepare: no block count exists for block size 0";
            const uint32_t blocks = (length + b.blockSize - 1) / b.blockSize;
            if (p[6] != (blocks & 0xFF)) {
                return "IapPrepare: block count " + std::to_string(p[6]) + ", expected " +
                       std::to_string(blocks & 0xFF);
            }
            b.preparedTarget = target;
            b.preparedBlockCount = p[6];
            b.length = length;
            b.dataReports = 0;
            b.image.clear();
            b.stage = IapStage::Prepared;
            queueBootReply(b, reply);
            return {};
        }
        case IapData: {
            if (b.stage != IapStage::Prepared) return "IapData before IapPrepare";
            const uint32_t expected = (b.length + kDataPerReport - 1) / kDataPerReport;
            if (b.dataReports >= expected) {
                return "IapData beyond the " + std::to_string(expected) + " reports announced";
            }
            ++b.dataReports;
            b.image.insert(b.image.end(), p + 2, p + kPacket);
            std::snprintf(summary, summarySize, "#%u", b.dataReports);
            return {};
        }
        case IapFinish: {
            if (!zeros(p, 2, kPacket)) return "IapFinish: stray bytes";
            if (b.stage != IapStage::Prepared) return "IapFinish before IapPrepare";
            const uint32_t expected = (b.length + kDataPerReport - 1) / kDataPerReport;
            if (b.dataReports != expected) {
                return "IapFinish after " + std::to_string(b.dataReports) + " of " +
                       std::to_string(expected) + " data reports";
            }
            b.stage = IapStage::Finished;
            ++b.finished;
            keepImage(b);
            return {};
        }
        default:
            return "unknown report code " + std::to_string(code);
    }
}

}  // namespace

HidNode* hidNodeAt(int index) {
    World& w = world();
    if (index < 0 || static_cast<size_t>(index) >= w.hidNodes.size()) return nullptr;
    return w.hidNodes[static_cast<size_t>(index)].get();
}

int addHidNodeLocked(int vendorId, int productId, const char* manufacturer, const char* product) {
    World& w = world();
    w.configured = true;
    auto node = std::make_unique<HidNode>();
    node->index = static_cast<int>(w.hidNodes.size());
    node->vendorId = vendorId & 0xFFFF;
    node->productId = productId & 0xFFFF;
    node->manufacturer = toUtf32(manufacturer != nullptr ? manufacturer : "");
    node->product = toUtf32(product != nullptr ? product : "");
    w.hidNodes.push_back(std::move(node));
    return static_cast<int>(w.hidNodes.size()) - 1;
}

int setBootLoaderLocked(Device& device, int delayScans) {
    if (!device.programmer) return -1;
    if (device.bootLoader < 0) {
        device.bootLoader =
            addHidNodeLocked(kBootVendorId, kBootProductId, kBootManufacturer, kBootProduct);
        HidNode& node = *hidNodeAt(device.bootLoader);
        node.present = false;
        node.programmer = device.index;
    }
    hidNodeAt(device.bootLoader)->boot.delayScans = delayScans;
    return 0;
}

void switchToBootLoader(Device& device) {
    HidNode* node = hidNodeAt(device.bootLoader);
    if (node == nullptr) return;
    device.plugged = false;
    BootLoader& b = node->boot;
    b.scansLeft = b.delayScans;
    b.stage = IapStage::Idle;
    b.replyPending = false;
}

void dropHidHandles() {
    for (hid_device* handle : liveHidHandles()) delete handle;
    liveHidHandles().clear();
}

}  // namespace ostrel_sim

using namespace ostrel_sim;

#define LOCKED std::lock_guard<std::mutex> lock(world().mutex)
#ifdef _WIN32
#define SIM_API extern "C" __declspec(dllexport)
#else
#define SIM_API extern "C" __attribute__((visibility("default")))
#endif

// ---- What the hidapi stand-in forwards ---------------------------------------------------

SIM_API struct hid_device_info* ostrel_simhid_enumerate(unsigned short vendorId,
                                                        unsigned short productId) {
    LOCKED;
    hid_device_info* head = nullptr;
    hid_device_info** tail = &head;
    for (auto& n : world().hidNodes) {
        BootLoader& b = n->boot;
        // A boot loader on its way shows up once its delay has passed.
        if (!n->present && b.scansLeft >= 0) {
            if (b.scansLeft == 0) {
                n->present = true;
                b.scansLeft = -1;
            } else {
                --b.scansLeft;
            }
        }
        if (!n->present) continue;
        if (vendorId != 0 && vendorId != n->vendorId) continue;
        if (productId != 0 && productId != n->productId) continue;
        auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
        char path[32];
        std::snprintf(path, sizeof path, "sim-hid:%d", n->index);
        info->path = strdup(path);
        info->vendor_id = static_cast<unsigned short>(n->vendorId);
        info->product_id = static_cast<unsigned short>(n->productId);
        info->interface_number = 0;
        *tail = info;
        tail = &info->next;
    }
    return head;
}

SIM_API void ostrel_simhid_free_enumeration(struct hid_device_info* devices) {
    while (devices != nullptr) {
        hid_device_info* next = devices->next;
        std::free(devices->path);
        std::free(devices);
        devices = next;
    }
}

SIM_API hid_device* ostrel_simhid_open_path(const char* path) {
    LOCKED;
    int index = -1;
    if (path == nullptr || std::sscanf(path, "sim-hid:%d", &index) != 1) return nullptr;
    HidNode* node = hidNodeAt(index);
    if (node == nullptr) return nullptr;
    ostrel_sim_log_entry entry = hidEntry(*node, OSTREL_SIM_LOG_HID_OPEN, 0);
    std::snprintf(entry.text, sizeof entry.text, "hid open %s", path);
    if (!node->present || node->openFails) {
        entry.result = -1;
        addLog(entry);
        return nullptr;
    }
    auto* handle = new hid_device{index, node->generation};
    liveHidHandles().insert(handle);
    addLog(entry);
    return handle;
}

SIM_API void ostrel_simhid_close(hid_device* handle) {
    LOCKED;
    if (handle == nullptr || liveHidHandles().count(handle) == 0) return;
    if (HidNode* node = hidNodeAt(handle->node)) {
        ostrel_sim_log_entry entry = hidEntry(*node, OSTREL_SIM_LOG_HID_CLOSE, 0);
        std::snprintf(entry.text, sizeof entry.text, "hid close");
        addLog(entry);
    }
    liveHidHandles().erase(handle);
    delete handle;
}

static int hidString(hid_device* handle, bool manufacturer, wchar_t* out, size_t size) {
    LOCKED;
    HidNode* node = liveNode(handle);
    if (node == nullptr || node->stringsFail || out == nullptr || size == 0) return -1;
    const std::u32string& text = manufacturer ? node->manufacturer : node->product;
    size_t n = 0;
    for (; n < text.size() && n + 1 < size; ++n) out[n] = static_cast<wchar_t>(text[n]);
    out[n] = 0;
    return 0;
}

SIM_API int ostrel_simhid_get_manufacturer_string(hid_device* handle, wchar_t* out, size_t size) {
    return hidString(handle, true, out, size);
}

SIM_API int ostrel_simhid_get_product_string(hid_device* handle, wchar_t* out, size_t size) {
    return hidString(handle, false, out, size);
}

SIM_API int ostrel_simhid_write(hid_device* handle, const unsigned char* data, size_t length) {
    LOCKED;
    HidNode* node = liveNode(handle);
    if (node == nullptr || data == nullptr) return -1;
    ostrel_sim_log_entry entry =
        hidEntry(*node, OSTREL_SIM_LOG_HID_WRITE, static_cast<int>(length));
    std::memcpy(entry.bytes, data, length < kPacket ? length : kPacket);
    entry.command = length >= 2 ? data[1] : -1;
    std::snprintf(entry.text, sizeof entry.text, "hid report %s",
                  length >= 2 ? iapName(data[1]) : "?");
    auto refuse = [&](const std::string& why) {
        hidProtocolError(*node, why);
        entry.protocolError = 1;
        entry.result = -1;
        const size_t used = std::strlen(entry.text);
        std::snprintf(entry.text + used, sizeof entry.text - used, " REFUSED: %s", why.c_str());
        addLog(entry);
        return -1;
    };
    if (!countHidTransfer(*node)) {
        entry.result = -1;
        std::snprintf(entry.text, sizeof entry.text, "hid write: the device has gone");
        addLog(entry);
        return -1;
    }
    BootLoader& b = node->boot;
    ++b.writes;
    if (b.failWrite != 0 && b.writes == b.failWrite) {
        entry.result = -1;
        std::snprintf(entry.text, sizeof entry.text, "hid write failed (fault)");
        addLog(entry);
        return -1;
    }
    if (node->programmer < 0) return refuse("this device takes no reports");
    if (length != kPacket) return refuse("report of " + std::to_string(length) + " bytes");
    if (data[0] != kReportId) return refuse("report ID " + std::to_string(data[0]));
    if (b.stage == IapStage::Finished) return refuse("report after IapFinish");
    // A reply nobody read is dropped by the next report.
    b.replyPending = false;
    char summary[80] = "";
    const std::string why = bootReport(*node, data, summary, sizeof summary);
    if (!why.empty()) return refuse(why);
    if (summary[0] != '\0') {
        const size_t used = std::strlen(entry.text);
        std::snprintf(entry.text + used, sizeof entry.text - used, " %s", summary);
    }
    entry.result = static_cast<int>(length);
    addLog(entry);
    // After IapFinish the boot loader starts the new firmware: the programmer is back.
    if (b.stage == IapStage::Finished) leaveHidSide(*node);
    return static_cast<int>(length);
}

SIM_API int ostrel_simhid_read_timeout(hid_device* handle, unsigned char* data, size_t length,
                                       int milliseconds) {
    LOCKED;
    world().lastHidReadTimeout = milliseconds;
    HidNode* node = liveNode(handle);
    if (node == nullptr || data == nullptr) return -1;
    ostrel_sim_log_entry entry = hidEntry(*node, OSTREL_SIM_LOG_HID_READ, static_cast<int>(length));
    if (!countHidTransfer(*node)) {
        entry.result = -1;
        std::snprintf(entry.text, sizeof entry.text, "hid read: the device has gone");
        addLog(entry);
        return -1;
    }
    BootLoader& b = node->boot;
    ++b.reads;
    const bool silent = b.silentRead != 0 && b.reads == b.silentRead;
    if (!b.replyPending || silent) {
        // Nothing comes: the read runs into its time-out (which a test need not wait for).
        if (!b.replyPending) hidProtocolError(*node, "read with nothing to answer");
        entry.protocolError = b.replyPending ? 0 : 1;
        b.replyPending = false;
        entry.result = 0;
        std::snprintf(entry.text, sizeof entry.text, "hid read: no answer within %d ms",
                      milliseconds);
        addLog(entry);
        return 0;
    }
    b.replyPending = false;
    const size_t n = length < kPacket ? length : kPacket;
    std::memcpy(data, b.reply.data(), n);
    std::memcpy(entry.bytes, b.reply.data(), kPacket);
    entry.command = b.reply[1];
    entry.result = static_cast<int>(n);
    std::snprintf(entry.text, sizeof entry.text, "hid reply %zu bytes", n);
    addLog(entry);
    return static_cast<int>(n);
}

// ---- The control interface -----------------------------------------------------------------

#define BOOT_LOADER(index)                             \
    Device* device = deviceAt(index);                  \
    if (device == nullptr) return -1;                  \
    HidNode* bootNode = hidNodeAt(device->bootLoader); \
    if (bootNode == nullptr) return -1;                \
    BootLoader& b = bootNode->boot

extern "C" {

int ostrel_sim_add_hid_device(int vendorId, int productId, const char* manufacturer,
                              const char* product) {
    LOCKED;
    return addHidNodeLocked(vendorId, productId, manufacturer, product);
}

int ostrel_sim_set_hid_fails(int hid, int openFails, int stringsFail) {
    LOCKED;
    HidNode* node = hidNodeAt(hid);
    if (node == nullptr) return -1;
    node->openFails = openFails != 0;
    node->stringsFail = stringsFail != 0;
    return 0;
}

int ostrel_sim_set_bootloader(int index, int delayScans) {
    LOCKED;
    Device* device = deviceAt(index);
    if (device == nullptr) return -1;
    return setBootLoaderLocked(*device, delayScans);
}

int ostrel_sim_bootloader_hid(int index) {
    LOCKED;
    BOOT_LOADER(index);
    (void)b;
    return bootNode->index;
}

int ostrel_sim_set_bootloader_query(int index, uint32_t target, int blockSize) {
    LOCKED;
    BOOT_LOADER(index);
    if (blockSize < 0 || blockSize > 0xFFFF) return -1;
    b.target = target;
    b.blockSize = static_cast<uint32_t>(blockSize);
    return 0;
}

int ostrel_sim_set_bootloader_fault(int index, int fault, int at) {
    LOCKED;
    BOOT_LOADER(index);
    if (at < 1 && fault != OSTREL_SIM_BOOT_FAULT_VANISH) return -1;
    switch (fault) {
        case OSTREL_SIM_BOOT_FAULT_SILENT_READ:
            b.silentRead = b.reads + static_cast<uint64_t>(at);
            return 0;
        case OSTREL_SIM_BOOT_FAULT_WRITE_FAILS:
            b.failWrite = b.writes + static_cast<uint64_t>(at);
            return 0;
        case OSTREL_SIM_BOOT_FAULT_VANISH:
            if (at < 0) return -1;
            b.vanishAfter = static_cast<uint64_t>(at);
            return 0;
        default:
            return -1;
    }
}

int ostrel_sim_set_bootloader_present(int index, int present) {
    LOCKED;
    BOOT_LOADER(index);
    bootNode->present = present != 0;
    b.scansLeft = -1;
    b.vanishAfter = UINT64_MAX;
    if (!bootNode->present) ++bootNode->generation;
    return 0;
}

int ostrel_sim_bootloader_present(int index) {
    LOCKED;
    BOOT_LOADER(index);
    (void)b;
    return bootNode->present ? 1 : 0;
}

int ostrel_sim_bootloader_finished(int index) {
    LOCKED;
    BOOT_LOADER(index);
    return b.finished;
}

int ostrel_sim_bootloader_prepared(int index, uint32_t* target, int* blockCount, uint32_t* length) {
    LOCKED;
    BOOT_LOADER(index);
    if (target != nullptr) *target = b.preparedTarget;
    if (blockCount != nullptr) *blockCount = b.preparedBlockCount;
    if (length != nullptr) *length = b.length;
    return 0;
}

int ostrel_sim_bootloader_image(int index, uint8_t* out, int size) {
    LOCKED;
    BOOT_LOADER(index);
    if (out != nullptr && size > 0) {
        const size_t n = std::min(static_cast<size_t>(size), b.image.size());
        std::memcpy(out, b.image.data(), n);
    }
    return static_cast<int>(b.image.size());
}

int ostrel_sim_hid_last_read_timeout(void) {
    LOCKED;
    return world().lastHidReadTimeout;
}

}  // extern "C"
