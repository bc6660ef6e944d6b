#include "firmware/diagnosis.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "base/library_binding.h"
#include "base/platform.h"
#include "base/safe_file.h"
#include "base/text_format.h"
#include "base/texts.h"
#include "buffers/checksums.h"
#include "catalogue/catalogue.h"
#include "catalogue/chip_identification.h"
#include "catalogue/chip_lookup.h"
#include "catalogue/chip_selection.h"
#include "catalogue/gbk_text.h"
#include "firmware/firmware_upgrade.h"
#include "firmware/hid_device.h"
#include "operations/programmer_ops.h"
#include "usb/programmer_identity.h"
#include "usb/usb_bulk.h"
#include "usb/wire_trace.h"

namespace ostrel {
namespace {

// Where udev reads its rules, the administrator's folder first.
constexpr const char* kRuleFolders[] = {"/etc/udev/rules.d", "/run/udev/rules.d",
                                        "/usr/lib/udev/rules.d", "/lib/udev/rules.d",
                                        "/usr/local/lib/udev/rules.d"};

std::string joined(const std::vector<std::string>& parts, const char* separator) {
    std::string out;
    for (const std::string& part : parts) out += (out.empty() ? "" : separator) + part;
    return out;
}

// The value of KEY= in an os-release or session file.
std::string fieldOf(const std::string& text, const std::string& key) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.compare(0, key.size() + 1, key + "=") != 0) continue;
        std::string value = line.substr(key.size() + 1);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\''))
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return {};
}

}  // namespace

SystemProbe SystemProbe::real() {
    SystemProbe probe;
    probe.openReadWrite = [](const std::string& path) {
        const int fd = platform::openFile(path, O_RDWR);
        if (fd < 0) return errno;
        platform::closeFile(fd);
        return 0;
    };
    probe.exists = [](const std::string& path) { return platform::pathExists(path); };
    probe.listFolder = [](const std::string& path) { return platform::folderEntries(path); };
    probe.readLink = [](const std::string& path) { return platform::linkTarget(path); };
    probe.readFile = [](const std::string& path) { return readWholeFile(path).value_or(""); };
    probe.environment = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr ? std::string(value) : std::string();
    };
    probe.usbDevices = [] { return platform::usbDevices(); };
    return probe;
}

std::vector<platform::UsbDeviceEntry> devicesWithoutOurDriver(
    const std::vector<platform::UsbDeviceEntry>& listed, int vendorId, int productId) {
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "usb\\vid_%04x&pid_%04x", vendorId, productId);
    const std::string prefix = wanted;
    std::vector<platform::UsbDeviceEntry> found;
    for (const platform::UsbDeviceEntry& device : listed) {
        const bool ours = std::any_of(
            device.hardwareIds.begin(), device.hardwareIds.end(), [&](const std::string& id) {
                const std::string lower = asciiLower(id);
                return lower.compare(0, prefix.size(), prefix) == 0 &&
                       (lower.size() == prefix.size() || lower[prefix.size()] == '&');
            });
        if (ours && asciiLower(device.driver) != "libusb0") found.push_back(device);
    }
    return found;
}

ChipFinding describeChip(const IdReply& reply, const Catalogue& catalogue, int language,
                         int* position) {
    if (position != nullptr) *position = -1;
    if (reply.outcome == IdReply::Outcome::NoProgrammer)
        return {ChipFinding::NoProgrammer, programText(Txt::CliNoProgrammer, language)};
    if (!reply.answered())
        return {ChipFinding::NoAnswer, programText(Txt::ChipIdNoAnswer, language)};
    if (reply.silentId())
        return {ChipFinding::NoChip,
                fillIn(programText(Txt::NoChipAnswered, language), {spacedChipId(reply.id)})};
    if (reply.hasId()) {
        const int match = findChipById(catalogue, reply.id);
        if (match < 0) return {ChipFinding::Unknown, "unknown ID " + spacedChipId(reply.id)};
        if (position != nullptr) *position = match;
        return {ChipFinding::Known, gbkToUtf8(chipNamesOf(catalogue.at(match), match).joined())};
    }
    if (reply.typePosition() > 0) {
        // Identification chooses the second or the third entry of the Type list.
        std::vector<std::string> types;
        for (int i = 0; i < catalogue.count(); ++i) {
            const std::string type = chipNamesOf(catalogue.at(i), i).type;
            if (positionOf(types, type) < 0) types.push_back(type);
        }
        return {ChipFinding::TypeOnly, "type " + gbkToUtf8(entryAt(types, reply.typePosition()))};
    }
    return {ChipFinding::NoChip, "no chip"};
}

const char* checkName(CheckId id) {
    switch (id) {
        case CheckId::Library:
            return "library";
        case CheckId::Bus:
            return "bus";
        case CheckId::Access:
            return "access";
        case CheckId::Claim:
            return "claim";
        case CheckId::Hardware:
            return "hardware";
        case CheckId::Chip:
            return "chip";
        case CheckId::ReadTest:
            return "read-test";
    }
    return "";
}

Doctor::Doctor(TUsbBulk& usb, HidDevice& hid, ProgrammerOps& ops, DiagnosisSteps steps,
               SystemProbe probe, int language)
    : usb_(usb),
      hid_(hid),
      ops_(ops),
      steps_(std::move(steps)),
      probe_(std::move(probe)),
      language_(language) {}

void Doctor::add(Diagnosis& d, CheckId id, bool ok, std::string finding, std::string advice) {
    d.lines.push_back({id, ok, std::move(finding), std::move(advice)});
}

Diagnosis Doctor::run(bool readTest) {
    Diagnosis d;
    // Everything that goes over the wire meanwhile is kept for the report.
    const CapturedTrace trace(usb_);
    runChecks(d, readTest);
    d.trace = trace.text();
    return d;
}

void Doctor::runChecks(Diagnosis& d, bool readTest) {
    std::string busPath;
    const bool usable =
        library(d) && bus(d, busPath) && access(d, busPath) && claim(d, busPath) && hardwareInfo(d);
    if (!usable) {
        d.verdict = DiagnosisVerdict::ProgrammerUnusable;
        d.stopped = programText(Txt::DoctorStopped, language_);
        return;
    }
    if (!chip(d, readTest)) {
        d.verdict = DiagnosisVerdict::ChipProblem;
        // The read test cannot run on a chip that was not found.
        if (readTest) d.stopped = programText(Txt::DoctorStopped, language_);
        return;
    }
    if (readTest) readTwice(d);
    for (const CheckLine& line : d.lines)
        if (!line.ok) d.verdict = DiagnosisVerdict::ChipProblem;
}

bool Doctor::library(Diagnosis& d) {
    const UsbLibraryState state = usb_.probeLibrary();
    if (!state.loaded) {
        add(d, CheckId::Library, false, programText(Txt::DoctorLibraryMissing, language_),
            programText(Txt::DoctorLibraryInstall, language_));
        return false;
    }
    if (!state.missing.empty()) {
        add(d, CheckId::Library, false,
            fillIn(programText(Txt::DoctorLibraryIncomplete, language_),
                   {state.file, joined(state.missing, ", ")}),
            programText(Txt::DoctorLibraryReinstall, language_));
        return false;
    }
    add(d, CheckId::Library, true,
        fillIn(programText(Txt::DoctorLibraryOk, language_), {state.file}));
    return true;
}

bool Doctor::bus(Diagnosis& d, std::string& busPath) {
    std::vector<std::string> paths = usb_.busPaths(kProgrammerVendorId, kProgrammerProductId);
    // A programmer chosen by its bus path is the one diagnosed, whatever else is attached.
    const std::string& chosen = usb_.devicePath();
    if (!chosen.empty())
        paths = std::find(paths.begin(), paths.end(), chosen) != paths.end()
                    ? std::vector<std::string>{chosen}
                    : std::vector<std::string>{};
    if (!paths.empty()) {
        busPath = paths.front();
        add(d, CheckId::Bus, true,
            fillIn(programText(Txt::DoctorBusOk, language_), {joined(paths, ", ")}));
        return true;
    }
    // No programmer: perhaps its boot loader, left there by an upgrade that
    // did not reach its end.
    const bool bootLoader = hid_.findAndOpen(kBootLoaderVendorId, kBootLoaderManufacturer,
                                             kBootLoaderProductId, kBootLoaderProduct) == HidFound;
    hid_.close();
    // Or there, but without the driver through which the USB library reaches it.
    const std::vector<platform::UsbDeviceEntry> unserved =
        probe_.usbDevices ? devicesWithoutOurDriver(probe_.usbDevices(), kProgrammerVendorId,
                                                    kProgrammerProductId)
                          : std::vector<platform::UsbDeviceEntry>{};
    if (bootLoader) {
        add(d, CheckId::Bus, false, programText(Txt::DoctorBusBootLoader, language_),
            programText(Txt::DoctorBusFinishUpgrade, language_));
    } else if (!unserved.empty()) {
        const platform::UsbDeviceEntry& device = unserved.front();
        add(d, CheckId::Bus, false,
            device.driver.empty()
                ? fillIn(programText(Txt::DoctorBusNoDriver, language_), {device.name})
                : fillIn(programText(Txt::DoctorBusOtherDriver, language_),
                         {device.name, device.driver}),
            programText(Txt::DoctorBusInstallDriver, language_));
    } else {
        add(d, CheckId::Bus, false, programText(Txt::DoctorBusNone, language_),
            programText(Txt::DoctorBusPlugIn, language_));
    }
    return false;
}

std::string Doctor::nodePath(const std::string& busPath) const {
    std::string root = probe_.environment("USB_DEVFS_PATH");
    if (root.empty()) root = "/dev/bus/usb";
    return root + "/" + busPath;
}

std::string Doctor::installedRule() const {
    for (const char* folder : kRuleFolders) {
        for (const std::string& name : probe_.listFolder(folder)) {
            if (name.size() < 6 || name.compare(name.size() - 6, 6, ".rules") != 0) continue;
            const std::string path = std::string(folder) + "/" + name;
            const std::string text = asciiLower(probe_.readFile(path));
            if (text.find("1fc8") != std::string::npos && text.find("300b") != std::string::npos)
                return path;
        }
    }
    return {};
}

int Doctor::sessionIsLocal() const {
    const std::string id = probe_.environment("XDG_SESSION_ID");
    if (id.empty()) return probe_.environment("SSH_CONNECTION").empty() ? -1 : 0;
    const std::string session = probe_.readFile("/run/systemd/sessions/" + id);
    const std::string remote = fieldOf(session, "REMOTE");
    if (remote.empty()) return probe_.environment("SSH_CONNECTION").empty() ? -1 : 0;
    return remote == "0" ? 1 : 0;
}

bool Doctor::access(Diagnosis& d, const std::string& busPath) {
    const std::string node = nodePath(busPath);
    // The library's own open is what counts; the node itself, where there is
    // one, tells why it failed.
    usb_.prog_open(kProgrammerVendorId, kProgrammerVendorText, kProgrammerProductId,
                   kProgrammerProductText);
    // Windows has no device nodes, rules or groups: whether the driver lets
    // this program have the programmer is the claim's finding.
    if (platform::kWindows) return true;
    const OpenFailure failure = usb_.lastOpenFailure();
    const bool nodeDenied = probe_.exists(node) && probe_.openReadWrite(node) == EACCES;
    if (failure != OpenFailure::NotAccessible && !nodeDenied) {
        add(d, CheckId::Access, true, fillIn(programText(Txt::DoctorAccessOk, language_), {node}));
        return true;
    }
    usb_.USB_bulk_close();
    const std::string rule = installedRule();
    std::string advice;
    if (rule.empty())
        advice = programText(Txt::DoctorAccessNoRule, language_);
    else if (sessionIsLocal() == 0)
        advice = fillIn(programText(Txt::DoctorAccessRemote, language_), {rule});
    else
        advice = fillIn(programText(Txt::DoctorAccessReplug, language_), {rule});
    add(d, CheckId::Access, false, fillIn(programText(Txt::DoctorAccessDenied, language_), {node}),
        advice);
    return false;
}

std::vector<std::string> Doctor::holdersOf(const std::string& node) const {
    std::vector<std::string> holders;
    const std::string self = std::to_string(platform::processId());
    for (const std::string& pid : probe_.listFolder("/proc")) {
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
        const std::string fds = "/proc/" + pid + "/fd";
        for (const std::string& fd : probe_.listFolder(fds)) {
            if (probe_.readLink(fds + "/" + fd) != node) continue;
            std::string name = probe_.readFile("/proc/" + pid + "/comm");
            while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
            holders.push_back(name + " (" + pid + ")");
            break;
        }
    }
    return holders;
}

bool Doctor::claim(Diagnosis& d, const std::string& busPath) {
    const OpenFailure failure = usb_.lastOpenFailure();
    const std::string interface = std::to_string(usb_.interfaceNumberValue());
    if (failure == OpenFailure::None && usb_.isOpen()) {
        usb_.USB_bulk_close();
        add(d, CheckId::Claim, true,
            fillIn(programText(Txt::DoctorClaimOk, language_), {interface}));
        return true;
    }
    usb_.USB_bulk_close();
    const std::string node = nodePath(busPath);
    const std::vector<std::string> holders = holdersOf(node);
    if (!holders.empty())
        add(d, CheckId::Claim, false,
            fillIn(programText(Txt::DoctorClaimHeld, language_),
                   {interface, joined(holders, ", ")}),
            programText(Txt::DoctorClaimCloseIt, language_));
    else
        add(d, CheckId::Claim, false,
            fillIn(programText(Txt::DoctorClaimUnknown, language_), {interface}),
            fillIn(programText(Txt::DoctorClaimFindIt, language_), {node}));
    return false;
}

bool Doctor::hardwareInfo(Diagnosis& d) {
    HardwareInfo texts;
    if (!ops_.readHardwareInfo(texts)) {
        add(d, CheckId::Hardware, false, programText(Txt::DoctorHardwareSilent, language_),
            programText(Txt::DoctorHardwareReplug, language_));
        return false;
    }
    add(d, CheckId::Hardware, true,
        fillIn(programText(Txt::DoctorHardwareOk, language_),
               {texts.hardwareVersion, texts.firmwareVersion, texts.serialNumber}));
    return true;
}

bool Doctor::chip(Diagnosis& d, bool readTest) {
    const ChipFinding finding = steps_.detect();
    switch (finding.kind) {
        case ChipFinding::Known:
            add(d, CheckId::Chip, true, finding.line);
            return true;
        case ChipFinding::TypeOnly:
            add(d, CheckId::Chip, true, finding.line);
            return true;
        case ChipFinding::Unknown:
            add(d, CheckId::Chip, false, finding.line,
                programText(Txt::DoctorChipUnknownAdvice, language_));
            // A chip chosen by name can still be read.
            return readTest && !steps_.chosenChip().empty();
        case ChipFinding::NoChip:
            add(d, CheckId::Chip, false, finding.line, programText(Txt::DoctorChipSeat, language_));
            return false;
        case ChipFinding::NoProgrammer:
        case ChipFinding::NoAnswer:
            add(d, CheckId::Chip, false, finding.line,
                programText(Txt::DoctorHardwareReplug, language_));
            return false;
    }
    return false;
}

void Doctor::readTwice(Diagnosis& d) {
    const std::string name = steps_.chosenChip();
    if (name.empty()) {
        add(d, CheckId::ReadTest, false, programText(Txt::DoctorReadNoChip, language_));
        return;
    }
    uint32_t crc[2] = {};
    uint64_t bytes = 0;
    const int64_t start = steps_.monotonicMs();
    for (uint32_t& value : crc) {
        if (!steps_.readChip(value, bytes)) {
            add(d, CheckId::ReadTest, false,
                fillIn(programText(Txt::DoctorReadFailed, language_), {name}),
                programText(Txt::DoctorReadReseat, language_));
            return;
        }
    }
    if (crc[0] != crc[1]) {
        add(d, CheckId::ReadTest, false,
            fillIn(programText(Txt::DoctorReadDiffer, language_),
                   {name, crc32Text(crc[0]), crc32Text(crc[1])}),
            programText(Txt::DoctorReadReseat, language_));
        return;
    }
    const int64_t ms = std::max<int64_t>(1, steps_.monotonicMs() - start);
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f",
                  static_cast<double>(2 * bytes) / 1e6 / (static_cast<double>(ms) / 1000.0));
    add(d, CheckId::ReadTest, true,
        fillIn(programText(Txt::DoctorReadSame, language_), {name, crc32Text(crc[0]), rate}));
}

std::string diagnosisText(const Diagnosis& diagnosis, int language) {
    std::string text;
    for (const CheckLine& line : diagnosis.lines) {
        text += programText(line.ok ? Txt::DiagnoseCheckOk : Txt::DiagnoseCheckProblem, language) +
                "\t" + line.finding + "\n";
        if (!line.advice.empty()) text += "\t" + line.advice + "\n";
    }
    if (!diagnosis.stopped.empty()) text += diagnosis.stopped + "\n";
    return text;
}

std::string diagnosisReport(const Diagnosis& diagnosis, const ReportFacts& facts,
                            const SystemProbe& probe) {
    std::ostringstream out;
    out << "Ostrel I diagnosis report\n\n";
    out << "Program: ostrel " << facts.programVersion << "\n";
    const std::string system = platform::systemDescription();
    if (!system.empty()) out << (platform::kWindows ? "System: " : "Kernel: ") << system << "\n";
    if (!platform::kWindows) {
        const std::string release = probe.readFile("/etc/os-release");
        const std::string name = fieldOf(release, "PRETTY_NAME");
        out << "Distribution: " << (name.empty() ? "unknown" : name) << "\n";
    }
    if (!facts.toolkitVersion.empty()) out << "Toolkit: " << facts.toolkitVersion << "\n";
    const std::string usb = libraryFileOf(platform::usbLibraryName());
    const std::string hid = libraryFileOf(platform::hidLibraryName());
    out << "USB library: " << (usb.empty() ? "not found" : usb) << "\n";
    out << "HID library: " << (hid.empty() ? "not found" : hid) << "\n";
    out << "\nChecks:\n";
    for (const CheckLine& line : diagnosis.lines) {
        out << "[" << (line.ok ? "ok" : "problem") << "] " << checkName(line.id) << ": "
            << line.finding << "\n";
        if (!line.advice.empty()) out << "    " << line.advice << "\n";
    }
    if (!diagnosis.stopped.empty()) out << diagnosis.stopped << "\n";
    out << "\nWire trace:\n" << (diagnosis.trace.empty() ? "(none)\n" : diagnosis.trace);
    // The user's home folder is theirs: it is written as "~".
    std::string text = out.str();
    const std::string home = probe.environment("HOME");
    if (home.size() > 1)
        for (std::size_t at = text.find(home); at != std::string::npos; at = text.find(home, at))
            text.replace(at, home.size(), "~");
    return text;
}

}  // namespace ostrel
