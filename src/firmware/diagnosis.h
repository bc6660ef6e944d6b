#pragma once
// Why the programmer does not work: a row of checks, each building on the one
// before, that the command line's `doctor` and the window's Diagnose command
// run alike. Each check says what it looked at, whether that was fine, and for
// a problem the one thing to do about it. A check that fails in a way that
// makes the later ones meaningless ends the row and says so.
//
//   1. the USB library binds
//   2. a programmer is on the bus (or, instead, its boot loader)
//   3. this user may open its device node
//   4. its interface can be claimed (or which process holds it)
//   5. it answers the hardware-information request
//   6. the chip in the socket, as Detect finds it
//   7. optionally, the chosen chip read twice and the two reads compared
//
// Nothing is ever written to the chip.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/platform.h"
#include "catalogue/id_read.h"

namespace ostrel {

class TUsbBulk;
class HidDevice;
class ProgrammerOps;

enum class CheckId { Library, Bus, Access, Claim, Hardware, Chip, ReadTest };

struct CheckLine {
    CheckId id = CheckId::Library;
    bool ok = false;
    std::string finding;  // what was checked and what was found
    std::string advice;   // for a problem: what to do; may be empty
};

// How the whole diagnosis ended, and the exit status of `ostrel-cli doctor`.
enum class DiagnosisVerdict {
    AllPassed = 0,           // every check passed
    ChipProblem = 1,         // no chip, an unknown chip, or two different reads
    ProgrammerUnusable = 3,  // one of checks 1 to 5 failed
};

struct Diagnosis {
    std::vector<CheckLine> lines;
    // Set when a check ended the row early: the text that says so.
    std::string stopped;
    DiagnosisVerdict verdict = DiagnosisVerdict::AllPassed;
    // The wire trace of the whole run.
    std::string trace;
};

// What the operating system tells about files and processes, as seams so that
// tests can script a device node, a udev rule or a process holding the node.
struct SystemProbe {
    // 0 when the file opens for reading and writing, else the errno (ENOENT for none).
    std::function<int(const std::string& path)> openReadWrite;
    std::function<bool(const std::string& path)> exists;
    // Names in a folder (empty when it cannot be read).
    std::function<std::vector<std::string>(const std::string& path)> listFolder;
    // Where a symbolic link points (empty when it is none or cannot be read).
    std::function<std::string(const std::string& path)> readLink;
    // A whole small file (empty when it cannot be read).
    std::function<std::string(const std::string& path)> readFile;
    std::function<std::string(const char* name)> environment;
    // The USB devices the system lists, driver or not (Windows); empty where
    // the USB library sees every device.
    std::function<std::vector<platform::UsbDeviceEntry>()> usbDevices;

    static SystemProbe real();
};

// The devices among `listed` with these IDs (a hardware ID of
// USB\VID_vvvv&PID_pppp, in any letter case) that the USB library cannot
// reach: without a driver, or with another one than libusb-win32's.
std::vector<platform::UsbDeviceEntry> devicesWithoutOurDriver(
    const std::vector<platform::UsbDeviceEntry>& listed, int vendorId, int productId);

// The chip as Detect finds it, in the words the front end prints for detect.
struct ChipFinding {
    enum Kind { NoProgrammer, NoAnswer, Known, Unknown, TypeOnly, NoChip } kind = NoChip;
    std::string line;  // the finding as `detect` prints it
};

class Catalogue;

// What an ID read found, described without choosing anything: the window's
// selection and buffers stay as they are. `position` receives the catalogue
// position of a known chip.
ChipFinding describeChip(const IdReply& reply, const Catalogue& catalogue, int language,
                         int* position = nullptr);

// The seams to the hardware steps that belong to other subsystems.
struct DiagnosisSteps {
    // The ID read and identification; a known chip becomes the selected one.
    std::function<ChipFinding()> detect;
    // The name of the chip the read test reads (chosen with -c, or detected),
    // or empty when there is none.
    std::function<std::string()> chosenChip;
    // Reads the chosen chip into the FLASH buffer and returns the CRC-32 of
    // the chip's bytes and the bytes read; false when the read failed.
    std::function<bool(uint32_t& crc, uint64_t& bytes)> readChip;
    std::function<int64_t()> monotonicMs;
};

class Doctor {
  public:
    Doctor(TUsbBulk& usb, HidDevice& hid, ProgrammerOps& ops, DiagnosisSteps steps,
           SystemProbe probe, int language);

    Diagnosis run(bool readTest);

    // Where the device nodes live: USB_DEVFS_PATH, as the USB library reads it,
    // or /dev/bus/usb.
    std::string nodePath(const std::string& busPath) const;
    // The processes that have `node` open, as "name (process id)"; those whose
    // files this user may not see are missed.
    std::vector<std::string> holdersOf(const std::string& node) const;
    // The udev rule that names the programmer's IDs, where udev reads rules;
    // empty when there is none.
    std::string installedRule() const;
    // Whether the user's login session is local (what the rule's uaccess
    // needs): 1 local, 0 remote, -1 unknown.
    int sessionIsLocal() const;

  private:
    void runChecks(Diagnosis& d, bool readTest);
    bool library(Diagnosis& d);
    bool bus(Diagnosis& d, std::string& busPath);
    bool access(Diagnosis& d, const std::string& busPath);
    bool claim(Diagnosis& d, const std::string& busPath);
    bool hardwareInfo(Diagnosis& d);
    bool chip(Diagnosis& d, bool readTest);
    void readTwice(Diagnosis& d);
    void add(Diagnosis& d, CheckId id, bool ok, std::string finding, std::string advice = {});

    TUsbBulk& usb_;
    HidDevice& hid_;
    ProgrammerOps& ops_;
    DiagnosisSteps steps_;
    SystemProbe probe_;
    int language_;
};

// The lines as the window shows them, in `language`: the check's mark ("ok"
// or "PROBLEM" and their Chinese forms), a tab, the finding; below a problem a
// tab and what to do; last the word that ended the row. The tab lines the
// findings up whatever the width of the marks.
std::string diagnosisText(const Diagnosis& diagnosis, int language);

// The JSON name of a check ("library", "bus", ...).
const char* checkName(CheckId id);

// The report `doctor --report` writes: the lines, the program's version, the
// system (kernel release, the distribution's name and version, the versions
// of the libraries in use) and the wire trace, with the user's home folder
// written as "~". Nothing else about the machine or the user.
struct ReportFacts {
    std::string programVersion;
    std::string toolkitVersion;  // "Qt 6.4.2" in the window; empty on the command line
};
std::string diagnosisReport(const Diagnosis& diagnosis, const ReportFacts& facts,
                            const SystemProbe& probe);

}  // namespace ostrel
