// The text configuration (sim.conf): one statement a line, building the bus,
// the programmer, its chip and its faults through the same calls as the
// control interface.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "sim_internal.h"

namespace ostrel_sim {

namespace {

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
        if (!getNumber("read_delay_us", 0, &value) || value < 0 || value > 1000000) return false;
        d.readDelayUs = static_cast<int>(value);
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
        if (get("stall_after", &text)) {
            if (!number(text, &value) ||
                setFaultLocked(d, OSTREL_SIM_FAULT_STALL, static_cast<int>(value), 0) != 0) {
                return false;
            }
        }
        if (get("unplug_in_write", &text)) {
            if (!number(text, &value) || setFaultLocked(d, OSTREL_SIM_FAULT_UNPLUG_IN_WRITE,
                                                        static_cast<int>(value), 0) != 0) {
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
        if (isProgrammer) {
            *programmer = index;
            world().sockets.push_back({index, std::string()});
        }
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
        // The faults of a bad connection.
        long long flaky, seed, stuckBit, stuckAt, power;
        if (!getNumber("flaky", 0, &flaky) || !getNumber("seed", 1, &seed) ||
            !getNumber("stuck_bit", -1, &stuckBit) || !getNumber("stuck_at", 0, &stuckAt) ||
            !getNumber("power", 1, &power) || flaky < 0 || stuckBit < -1 || stuckBit > 7 ||
            (stuckAt != 0 && stuckAt != 1) || (power != 0 && power != 1)) {
            return false;
        }
        d.chip.flakyEvery = static_cast<uint64_t>(flaky);
        d.chip.random = static_cast<uint64_t>(seed);
        if (stuckBit >= 0) {
            d.chip.stuckMask = static_cast<uint8_t>(1u << stuckBit);
            d.chip.stuckValue = stuckAt != 0 ? d.chip.stuckMask : 0;
        }
        d.chip.unpowered = power == 0;
        return true;
    }
    return false;
}

// A chip line as compared between two readings of the file: its words.
std::string chipLineOf(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words) line += (line.empty() ? "" : " ") + word;
    return line;
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
        if (words[0] == "chip") world().sockets.back().chipLine = chipLineOf(words);
    }
    return 0;
}

bool readConfigFile(const char* path, std::string* text) {
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    text->clear();
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text->append(chunk, n);
    const bool read = std::ferror(file) == 0;
    std::fclose(file);
    return read;
}

void followConfigFileLocked(bool atOnce) {
    World& w = world();
    if (w.configPath.empty()) return;
    const auto now = std::chrono::steady_clock::now();
    if (!atOnce && now - w.configLooked < kConfigLookInterval) return;
    w.configLooked = now;
    // The text itself is compared, not the file's time: two writes within
    // one tick of the file system's clock, of the same length, differ too.
    std::string text;
    if (!readConfigFile(w.configPath.c_str(), &text) || text == w.configText) return;
    w.configText = text;

    // The chip line of each programmer, in the programmers' order.
    std::vector<std::vector<std::string>> chips;
    std::istringstream in(text);
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        std::vector<std::string> words;
        if (!splitWords(line, &words) || (!words.empty() && words[0] == "chip" && chips.empty())) {
            std::fprintf(stderr, "ostrel-sim: %s: line %d not understood\n", w.configPath.c_str(),
                         lineNumber);
            return;
        }
        if (words.empty()) continue;
        if (words[0] == "programmer") chips.emplace_back();
        if (words[0] == "chip") chips.back() = words;
    }
    if (chips.size() != w.sockets.size())
        std::fprintf(stderr,
                     "ostrel-sim: %s: programmers added or removed count from the next start; "
                     "chip lines take effect now\n",
                     w.configPath.c_str());
    for (size_t i = 0; i < chips.size() && i < w.sockets.size(); ++i) {
        World::ConfiguredSocket& socket = w.sockets[i];
        const std::string now = chipLineOf(chips[i]);
        if (now == socket.chipLine) continue;
        socket.chipLine = now;
        Device& d = *deviceAt(socket.device);
        flushImage(d);
        d.chip = Chip{};
        d.writeProtect = false;
        int programmer = socket.device;
        if (!chips[i].empty() && !configureLine(chips[i], &programmer))
            std::fprintf(stderr, "ostrel-sim: %s: the chip line of programmer %zu not understood\n",
                         w.configPath.c_str(), i + 1);
    }
}

}  // namespace ostrel_sim
