#pragma once
// The simulator's model: busses, devices, the programmer's protocol state and
// the chip in its socket. Everything is guarded by one mutex; the program is
// single-threaded, the lock only keeps a test thread honest.

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ostrel_sim.h"
#include "usb/usb01.h"

namespace ostrel_sim {

// usb_device is also a function of the library; the typedef spares the elaborated name.
typedef struct usb_device UsbDevice;

inline constexpr int kPacket = 64;
// Error codes the Linux libusb 0.1 returns (negated errno values).
inline constexpr int kErrNoDevice = -19;
inline constexpr int kErrTimeout = -110;
inline constexpr int kErrStall = -32;
inline constexpr int kErrBusy = -16;
inline constexpr int kErrInvalid = -22;

struct Setup {
    int chipClass = 0;
    int algorithm = 0;
    uint32_t page = 0;
    uint32_t delay = 0;
    uint32_t size = 0;
    uint32_t id = 0;
    int speed = 0;
    int voltage = 0;
};

struct Chip {
    bool present = false;
    int chipClass = 0;
    uint32_t id = 0;
    std::vector<uint8_t> data;
    std::string imagePath;
    bool dirty = false;
    // The faults of a bad connection, on every read of the chip's bytes. A
    // contact that flips a bit now and then: on average one bit in every
    // `flakyEvery` bytes read (0: never), drawn from `random`, which the
    // chip line's seed starts, so the same reads bring the same flips.
    uint64_t flakyEvery = 0;
    uint64_t random = 1;
    uint64_t untilFlip = 0;  // bytes still to read before the next flip
    // A data line that does not follow the chip: bits in `stuckMask` read as
    // in `stuckValue`.
    uint8_t stuckMask = 0;
    uint8_t stuckValue = 0;
    // A chip without power: it reads 00, answers the ID with 00 00 00 and
    // takes no writes or erases.
    bool unpowered = false;
};

enum class Stream { None, In, Out };

struct Device {
    int index = 0;
    int bus = 1;
    int vendorId = 0;
    int productId = 0;
    std::u16string manufacturer;
    std::u16string product;
    bool hasManufacturer = true;
    bool hasProduct = true;
    bool programmer = false;
    bool winusb = false;
    bool openFails = false;
    bool claimFails = false;
    int configurations = 1;
    int interfaces = 1;
    int interfaceNumber = 0;
    bool nullInterfaceTable = false;  // the configurations' interface pointer is null
    std::string hardware = "V1.1";
    std::string firmware = "2.0.3";
    std::string serial = "OST000000001";
    bool plugged = true;
    Chip chip;
    int erasePolls = 2;
    int readDelayUs = 0;  // each bulk read answers this much later (a slow bus)
    int idKind = -1;      // a forced reply kind of the ID read, -1 for none

    // Faults, counted in transfers and bulk reads since the device was added.
    uint64_t transfers = 0;
    uint64_t reads = 0;
    uint64_t unplugAfter = UINT64_MAX;
    uint64_t dataBlocksOut = 0;                       // data blocks sent to the chip
    uint64_t unplugInWrite = UINT64_MAX;              // the data block that meets the unplug
    std::vector<std::array<uint64_t, 3>> readFaults;  // {kind, read number, param}
    bool busyForever = false;
    uint64_t stallAfter = UINT64_MAX;  // bulk transfers before the programmer stops answering
    uint64_t bulkTransfers = 0;
    int timeouts = 0;
    bool writeProtect = false;

    // The programmer's protocol state.
    bool inJob = false;
    Setup setup;
    int setupCommand = 0;  // the command that brought the last set-up; 0 before any
    bool fourByte = false;
    bool haveAddress = false;
    uint32_t address = 0;
    Stream stream = Stream::None;
    bool replyPending = false;
    int replyFor = 0;  // the command the pending reply answers
    std::array<uint8_t, kPacket> reply{};
    int busyPolls = 0;
    int upgradeRequests = 0;
    int openHandles = 0;
    // The HID node of this programmer's boot loader, or -1 when it has none: then
    // CmdEnterUpgrade is only counted and the programmer stays on the bus.
    int bootLoader = -1;

    // What the library lists for it; kept alive for the device's lifetime.
    std::unique_ptr<UsbDevice> usbDevice;
    std::unique_ptr<usb_config_descriptor[]> configs;
    std::unique_ptr<usb_interface[]> usbInterfaces;
    std::unique_ptr<usb_interface_descriptor> altsetting;

    int inEndpoint() const { return winusb ? 0x81 : 0x82; }
    int dataEndpoint() const { return winusb ? 2 : 1; }
    int commandEndpoint() const { return winusb ? 1 : 2; }
    uint32_t blockSize() const { return setup.page < 64 ? 64 : setup.page; }
};

// The boot loader's side of a firmware upgrade, in the order its reports must come.
enum class IapStage { Idle, Started, Queried, Prepared, Finished };

struct BootLoader {
    int delayScans = 0;  // HID scans that still miss it after the switch; < 0: never appears
    int scansLeft = -1;  // counting down after a switch; -1 when not appearing
    uint32_t target = 0x08003000;
    uint32_t blockSize = 1024;
    // Faults, counted in reports since the fault was armed.
    uint64_t writes = 0;
    uint64_t reads = 0;
    uint64_t silentRead = 0;            // this read gets no answer (0: none)
    uint64_t failWrite = 0;             // this write fails (0: none)
    uint64_t vanishAfter = UINT64_MAX;  // after this many transfers it is gone
    // The protocol.
    IapStage stage = IapStage::Idle;
    bool replyPending = false;
    std::array<uint8_t, kPacket> reply{};
    uint32_t preparedTarget = 0;
    int preparedBlockCount = 0;
    uint32_t length = 0;
    uint32_t dataReports = 0;
    std::vector<uint8_t> image;  // what the IapData reports carried, in order
    int finished = 0;            // upgrades completed with IapFinish
    std::string imagePath;       // where a finished upgrade's image is kept, "" for nowhere
};

// A device on the HID side: the boot loader of a programmer, or any other one.
struct HidNode {
    int index = 0;
    int vendorId = 0;
    int productId = 0;
    std::u32string manufacturer;
    std::u32string product;
    bool present = true;
    bool openFails = false;
    bool stringsFail = false;
    int programmer = -1;  // the USB device whose boot loader this is, or -1
    BootLoader boot;
    uint64_t generation = 0;  // a handle opened before the node left stays dead
};

struct World {
    std::mutex mutex;
    std::vector<std::unique_ptr<Device>> devices;
    std::vector<std::unique_ptr<usb_bus>> busses;  // rebuilt at every scan
    std::vector<ostrel_sim_log_entry> log;
    std::vector<std::string> protocolErrors;
    std::string lastError = "no error";
    bool configured = false;
    // Configured from a file: claims hold lock files named after it (sim_bus.cpp).
    std::string claimLockBase;
    std::vector<std::unique_ptr<HidNode>> hidNodes;
    int lastHidReadTimeout = 0;
    // Each programmer of the configuration in its order, with its chip line
    // ("" for an empty socket), so that a changed file can be followed.
    struct ConfiguredSocket {
        int device = -1;
        std::string chipLine;
    };
    std::vector<ConfiguredSocket> sockets;
    // The configuration file followed while the program runs, its text when
    // last read (a changed chip line is a chip taken out or put in), and when
    // it was last looked at.
    std::string configPath;
    std::string configText;
    std::chrono::steady_clock::time_point configLooked{};
};

World& world();
Device* deviceAt(int index);  // null when out of range; caller holds the lock

std::u16string utf8ToUtf16(const char* text);
void addLog(const ostrel_sim_log_entry& entry);
ostrel_sim_log_entry newEntry(const Device& device, int kind, int endpoint, int length);
void protocolError(Device& device, const std::string& text);
void flushImage(Device& device);
void resetProtocol(Device& device);
// A reply still waiting where the protocol reads it is a protocol error; the
// text for the log (empty when all is well). Drops the pending reply.
std::string unreadReply(Device& device);
void resetLocked();
void dropHandles();
void rescan();

// Building the world (sim_state.cpp), for the control interface and the
// configuration alike; the caller holds the lock. -1 for what cannot be built.
int addDeviceLocked(int bus, int vendorId, int productId, const char* manufacturer,
                    const char* product);
int addProgrammerLocked(int bus);
int insertChipLocked(Device& device, int chipClass, uint32_t chipId, uint32_t size,
                     const char* imagePath);
int setFaultLocked(Device& device, int fault, int at, int param);

// The USB descriptors (sim_descriptors.cpp), rebuilt after any change of a
// device's IDs, strings or shape.
void rebuildDescriptors(Device& device);
// Whether a shape fits the descriptors' one-byte counts and numbers.
bool descriptorShapeValid(long long configurations, long long interfaces,
                          long long interfaceNumber);

// The text configuration (sim_config.cpp): 0, or the number of the first line
// that could not be taken.
int configureTextLocked(const char* text);
// The whole file at `path` in `text`; false when it cannot be read.
bool readConfigFile(const char* path, std::string* text);
// How often a transfer looks at the file followed: a transfer costs a few
// microseconds, a look at the file more than that.
inline constexpr std::chrono::milliseconds kConfigLookInterval{20};
// At every bus scan, and at a transfer when the file was looked at
// kConfigLookInterval ago or longer: when the file followed has changed, its
// chip lines take effect (chips out of and into the sockets); the rest of the
// file waits for the next start.
void followConfigFileLocked(bool atOnce);

// The HID side (sim_hid.cpp): the boot loader a programmer may switch to.
HidNode* hidNodeAt(int index);  // null when out of range; caller holds the lock
int addHidNodeLocked(int vendorId, int productId, const char* manufacturer, const char* product);
int setBootLoaderLocked(Device& device, int delayScans);
// CmdEnterUpgrade on a programmer with a boot loader: it leaves the bus.
void switchToBootLoader(Device& device);
void dropHidHandles();

// The programmer's side of the three bulk endpoints (sim_programmer.cpp).
int programmerWrite(Device& device, int endpoint, const uint8_t* bytes, int size);
int programmerRead(Device& device, int endpoint, uint8_t* bytes, int size);
// True (and the time-out counted) when a stalled programmer lets this bulk transfer time out.
bool stalled(Device& device);

}  // namespace ostrel_sim
