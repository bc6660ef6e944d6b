// The diagnosis against the simulator, with the operating system's side (device
// node, udev rules, sessions, other processes) scripted: which check finds the
// fault, what it tells the user to do, where the row stops, and the verdict.

#include "firmware/diagnosis.h"

#include <cerrno>
#include <map>

#include "upgrade_fixture.h"

namespace ostrel::testing {
namespace {

// A small scripted system: files with their contents, links, folders.
struct FakeSystem {
    std::map<std::string, std::string> files;
    std::map<std::string, std::string> links;
    std::map<std::string, std::vector<std::string>> folders;
    std::map<std::string, std::string> env;
    int nodeError = 0;                                 // what opening the device node gives
    std::vector<platform::UsbDeviceEntry> usbDevices;  // as Windows lists them

    SystemProbe probe() const {
        SystemProbe p;
        p.openReadWrite = [this](const std::string&) { return nodeError; };
        p.exists = [](const std::string&) { return true; };
        p.listFolder = [this](const std::string& path) {
            auto it = folders.find(path);
            return it == folders.end() ? std::vector<std::string>() : it->second;
        };
        p.readLink = [this](const std::string& path) {
            auto it = links.find(path);
            return it == links.end() ? std::string() : it->second;
        };
        p.readFile = [this](const std::string& path) {
            auto it = files.find(path);
            return it == files.end() ? std::string() : it->second;
        };
        p.environment = [this](const char* name) {
            auto it = env.find(name);
            return it == env.end() ? std::string() : it->second;
        };
        p.usbDevices = [this] { return usbDevices; };
        return p;
    }
};

class DiagnosisTest : public UpgradeFixture {
  protected:
    Diagnosis diagnose(bool readTest, const FakeSystem& system, TUsbBulk* transport = nullptr,
                       bool flipSecondRead = false) {
        int reads = 0;
        DiagnosisSteps steps;
        steps.detect = [] { return ChipFinding{ChipFinding::Known, "SPI_FLASH,Winbond,W25Q64JV"}; };
        steps.chosenChip = [] { return std::string("W25Q64JV"); };
        steps.readChip = [&, this](uint32_t& crc, uint64_t& bytes) {
            // The first 256 bytes in blocks of 64 through the real transport;
            // with `flipSecondRead` the second read's first block (after the
            // replies to the set-up and the set-address) comes in flipped.
            if (++reads == 2 && flipSecondRead)
                ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_FLIP_READ, 3, 0);
            if (ops.openJob() == JobNotStarted) return false;
            uint8_t block[256] = {};
            bool ok = ops.setAddress(0, 1);
            for (int at = 0; ok && at < 256; at += 64) ok = usb.USB_bulk_read(block + at, 64) == 64;
            ops.endJob();
            crc = 0;
            for (uint8_t b : block) crc = crc * 31 + b;
            bytes = 256;
            return ok;
        };
        steps.monotonicMs = [] { return int64_t{0}; };
        Doctor doctor(transport != nullptr ? *transport : usb, hid, ops, steps, system.probe(),
                      LangEnglish);
        return doctor.run(readTest);
    }
};

TEST_F(DiagnosisTest, EachFaultIsFoundByItsCheckWhichSaysWhatToDo) {
    const std::string node = "/dev/bus/usb/001/001";
    const std::string rule = "/usr/lib/udev/rules.d/60-ostrel.rules";
    struct Case {
        const char* name;
        std::function<void(FakeSystem&)> arrange;
        CheckId failing;  // the last line's check
        bool flip;
        const char* finding;
        const char* advice;
        DiagnosisVerdict verdict;
    };
    const std::vector<Case> cases = {
        // Another device, and the programmer with libusb-win32's driver (which
        // the library would have found): neither is a programmer left unserved.
        {"no programmer",
         [&](FakeSystem& s) {
             ostrel_sim_set_plugged(device, 0);
             s.usbDevices = {{{"USB\\VID_1FC8&PID_300C&REV_0100"}, "Other", ""},
                             {{"USB\\VID_1FC8&PID_300BA"}, "Longer", ""},
                             {{"USB\\VID_1FC8&PID_300B"}, "Ostrel I", "LibUsb0"}};
         },
         CheckId::Bus, false, "USB bus: no programmer (1FC8:300B).", "lsusb must list 1FC8:300B",
         DiagnosisVerdict::ProgrammerUnusable},
        {"the programmer without a driver",
         [&](FakeSystem& s) {
             ostrel_sim_set_plugged(device, 0);
             s.usbDevices = {
                 {{"USB\\VID_1FC8&PID_300B&REV_0100", "USB\\VID_1FC8&PID_300B"}, "Ostrel I", ""}};
         },
         CheckId::Bus, false, "programmer (1FC8:300B) is attached (Ostrel I) but has no driver",
         "Install the libusb-win32 driver for it", DiagnosisVerdict::ProgrammerUnusable},
        {"the programmer with another driver",
         [&](FakeSystem& s) {
             ostrel_sim_set_plugged(device, 0);
             s.usbDevices = {{{"usb\\vid_1fc8&pid_300b"}, "Ostrel I", "WinUSB"}};
         },
         CheckId::Bus, false, "attached (Ostrel I) with the driver WinUSB",
         "choose the device 1FC8:300B", DiagnosisVerdict::ProgrammerUnusable},
        {"the boot loader alone",
         [&](FakeSystem&) {
             ostrel_sim_set_plugged(device, 0);
             ostrel_sim_set_bootloader_present(device, 1);
         },
         CheckId::Bus, false, "boot loader (28E9:028B) is there: a firmware upgrade did not finish",
         "ostrel-cli upgrade FILE", DiagnosisVerdict::ProgrammerUnusable},
        {"node not open to the user, no rule",
         [&](FakeSystem& s) {
             ostrel_sim_set_open_fails(device, 1);
             s.nodeError = EACCES;
         },
         CheckId::Access, false, "Device node /dev/bus/usb/001/001: this user cannot open it.",
         "The package installs it as /usr/lib/udev/rules.d/60-ostrel.rules (reinstall the "
         "package); for a build, install it from the source tree: sudo cp "
         "packaging/60-ostrel.rules /etc/udev/rules.d/",
         DiagnosisVerdict::ProgrammerUnusable},
        {"rule installed, remote session",
         [&](FakeSystem& s) {
             ostrel_sim_set_open_fails(device, 1);
             s.folders["/usr/lib/udev/rules.d"] = {"60-ostrel.rules", "99-other.rules"};
             s.files[rule] =
                 "ATTR{idVendor}==\"1fc8\", ATTR{idProduct}==\"300b\", TAG+=\"uaccess\"";
             s.env["XDG_SESSION_ID"] = "7";
             s.files["/run/systemd/sessions/7"] = "ACTIVE=1\nREMOTE=1\n";
         },
         CheckId::Access, false, "this user cannot open it", "GROUP=\"plugdev\"",
         DiagnosisVerdict::ProgrammerUnusable},
        {"rule installed, local session",
         [&](FakeSystem& s) {
             ostrel_sim_set_open_fails(device, 1);
             s.folders["/usr/lib/udev/rules.d"] = {"60-ostrel.rules"};
             s.files[rule] = "ATTR{idVendor}==\"1FC8\", ATTR{idProduct}==\"300B\"";
             s.env["XDG_SESSION_ID"] = "3";
             s.files["/run/systemd/sessions/3"] = "REMOTE=0\n";
         },
         CheckId::Access, false, "this user cannot open it",
         "The udev rule /usr/lib/udev/rules.d/60-ostrel.rules is installed",
         DiagnosisVerdict::ProgrammerUnusable},
        {"a name shorter than .rules beside the rule",
         [&](FakeSystem& s) {
             ostrel_sim_set_open_fails(device, 1);
             s.folders["/usr/lib/udev/rules.d"] = {"a", "rules", "60-ostrel.rules"};
             s.files[rule] = "ATTR{idVendor}==\"1fc8\", ATTR{idProduct}==\"300b\"";
             s.env["XDG_SESSION_ID"] = "3";
             s.files["/run/systemd/sessions/3"] = "REMOTE=0\n";
         },
         CheckId::Access, false, "this user cannot open it",
         "The udev rule /usr/lib/udev/rules.d/60-ostrel.rules is installed",
         DiagnosisVerdict::ProgrammerUnusable},
        {"interface held by another process",
         [&](FakeSystem& s) {
             ostrel_sim_set_claim_fails(device, 1);
             s.folders["/proc"] = {"self", "4711", "812"};
             s.folders["/proc/4711/fd"] = {"0", "1", "9"};
             s.links["/proc/4711/fd/9"] = node;
             s.files["/proc/4711/comm"] = "ostrel-cli\n";
             s.folders["/proc/812/fd"] = {"3"};
             s.links["/proc/812/fd/3"] = "/dev/null";
         },
         CheckId::Claim, false, "Interface 0 is held by another process: ostrel-cli (4711).",
         "Close that program", DiagnosisVerdict::ProgrammerUnusable},
        {"interface held by nobody this user sees",
         [&](FakeSystem&) { ostrel_sim_set_claim_fails(device, 1); }, CheckId::Claim, false,
         "could not be claimed", "sudo fuser -v /dev/bus/usb/001/001",
         DiagnosisVerdict::ProgrammerUnusable},
        {"no answer to the hardware request",
         [&](FakeSystem&) { ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_READ_TIMEOUT, 1, 0); },
         CheckId::Hardware, false, "does not answer its hardware-information request",
         "upgrade its firmware", DiagnosisVerdict::ProgrammerUnusable},
        {"two different reads",
         [&](FakeSystem&) { ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x800000, nullptr); },
         CheckId::ReadTest, true, "Read test: two reads of W25Q64JV differ", "Reseat the chip",
         DiagnosisVerdict::ChipProblem},
        {"everything fine",
         [&](FakeSystem&) { ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x800000, nullptr); },
         CheckId::ReadTest, false, "Read test: W25Q64JV read twice, CRC-32", "",
         DiagnosisVerdict::AllPassed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ostrel_sim_reset();
        device = ostrel_sim_add_programmer(1);
        ostrel_sim_set_bootloader(device, 2);
        FakeSystem system;
        c.arrange(system);
        const Diagnosis d = diagnose(true, system, nullptr, c.flip);
        ASSERT_FALSE(d.lines.empty());
        const CheckLine& last = d.lines.back();
        EXPECT_EQ(last.id, c.failing);
        EXPECT_NE(last.finding.find(c.finding), std::string::npos) << last.finding;
        EXPECT_NE(last.advice.find(c.advice), std::string::npos) << last.advice;
        EXPECT_EQ(last.ok, c.verdict == DiagnosisVerdict::AllPassed);
        EXPECT_EQ(d.verdict, c.verdict);
        // Every check before the failing one passed; a programmer that cannot
        // be used ends the row with a word that says so.
        for (size_t i = 0; i + 1 < d.lines.size(); ++i) EXPECT_TRUE(d.lines[i].ok) << i;
        EXPECT_EQ(d.stopped.empty(), c.verdict != DiagnosisVerdict::ProgrammerUnusable);
        // Nothing was written to the chip, and the device is let go.
        EXPECT_TRUE(simLog(OSTREL_SIM_LOG_DATA_OUT).empty());
        EXPECT_EQ(ostrel_sim_open_handles(device), 0);
    }
}

TEST_F(DiagnosisTest, AMissingLibraryIsTheFirstAndOnlyLine) {
    TUsbBulk missing("libusb-absent.so.4");
    const Diagnosis d = diagnose(false, FakeSystem(), &missing);
    ASSERT_EQ(d.lines.size(), 1u);
    EXPECT_EQ(d.lines[0].finding, "USB library: libusb-0.1.so.4 could not be loaded.");
    EXPECT_EQ(d.lines[0].advice, "Install the package libusb-0.1-4: sudo apt install libusb-0.1-4");
    EXPECT_EQ(d.verdict, DiagnosisVerdict::ProgrammerUnusable);
}

TEST_F(DiagnosisTest, TheReportHoldsItsSectionsAndNoPathOfTheHomeFolder) {
    FakeSystem system;
    system.env["HOME"] = "/home/ada";
    system.files["/etc/os-release"] =
        "NAME=Debian\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n";
    Diagnosis d;
    d.lines.push_back(
        {CheckId::Library, true, "USB library: loaded /home/ada/build/libusb.so.", ""});
    d.lines.push_back({CheckId::Bus, false, "USB bus: no programmer (1FC8:300B).", "Plug it in."});
    d.stopped = "Stopped here.";
    d.trace = "0.000123 out ep 0x02 64 64 07 00\n";
    const std::string report = diagnosisReport(d, {"1.2.0", "Qt 6.4.2"}, system.probe());
    for (const char* part :
         {"Program: ostrel 1.2.0\n", "Kernel: ", "Distribution: Debian GNU/Linux 12 (bookworm)\n",
          "Toolkit: Qt 6.4.2\n", "USB library: ", "\nChecks:\n",
          "[ok] library: USB library: loaded ~/build/libusb.so.\n",
          "[problem] bus: USB bus: no programmer (1FC8:300B).\n    Plug it in.\n",
          "Stopped here.\n", "\nWire trace:\n0.000123 out ep 0x02 64 64 07 00\n"})
        EXPECT_NE(report.find(part), std::string::npos) << part;
    EXPECT_EQ(report.find("/home/ada"), std::string::npos);
}

}  // namespace
}  // namespace ostrel::testing
