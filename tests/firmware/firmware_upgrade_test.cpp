// The Hardware command's core against the simulated programmer and its boot
// loader: what is refused before the programmer is touched, the reports of a
// good upgrade, and every failure ending in a box and leaving a retry possible.

#include "firmware/firmware_upgrade.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "upgrade_fixture.h"

namespace ostrel::testing {
namespace {

using Upgrade = UpgradeFixture;

// A file the boot loader cannot take, or that cannot be read, is refused; one
// that would send only 0xFF is sent only when the user says so. Either way
// nothing reaches the programmer before that.
TEST_F(Upgrade, FilesWithoutAnImageAreRefusedBeforeTheProgrammerIsTouched) {
    struct Case {
        const char* name;
        std::function<std::string()> file;
        std::vector<std::string> boxes;  // each with the path in place of %s
    };
    std::string erased = readFile(firmwareFile(0x3000));
    erased.append(0x1D000, static_cast<char>(0xFF));
    const Case cases[] = {
        {"empty", [&] { return firmwareFile(0); }, {text(Txt::FirmwareFileEmpty)}},
        {"only the boot loader's part",
         [&] { return firmwareFile(12288); },
         {text(Txt::FirmwareFileNoImage)}},
        {"a chip image, erased beyond the boot loader's part",
         [&] {
             writeFile(dir.file("image.bin"), erased);
             return dir.file("image.bin");
         },
         {text(Txt::FirmwareFileErased)}},
        {"larger than 1 MiB",
         [&] { return firmwareFile(0x100001); },
         {fillIn(text(Txt::FirmwareFileTooBig), {"%s", "1048577", "1048576"})}},
        // Not too large: what it begins with is asked about.
        {"exactly 1 MiB, a stack pointer below RAM",
         [&] {
             return firmwareFile(0x100000, "fw.xpro", {0x20000000, 0x08003131});
         },
         {fillIn(text(Txt::FirmwareFileNotArm), {"%s", "20000000h", "08003131h"})}},
        {"a stack pointer above RAM",
         [&] {
             return firmwareFile(0x4000, "fw.xpro", {0x20030004, 0x08003131});
         },
         {fillIn(text(Txt::FirmwareFileNotArm), {"%s", "20030004h", "08003131h"})}},
        {"a stack pointer not word-aligned",
         [&] {
             return firmwareFile(0x4000, "fw.xpro", {0x2002FFFE, 0x08003131});
         },
         {fillIn(text(Txt::FirmwareFileNotArm), {"%s", "2002FFFEh", "08003131h"})}},
        {"an even reset address",
         [&] {
             return firmwareFile(0x4000, "fw.xpro", {0x20030000, 0x08003130});
         },
         {fillIn(text(Txt::FirmwareFileNotArm), {"%s", "20030000h", "08003130h"})}},
        {"a reset address in the boot loader",
         [&] {
             return firmwareFile(0x4000, "fw.xpro", {0x20030000, 0x08002FFF});
         },
         {fillIn(text(Txt::FirmwareFileNotArm), {"%s", "20030000h", "08002FFFh"})}},
        {"a reset address past the flash",
         [&] {
             return firmwareFile(0x4000, "fw.xpro", {0x20030000, 0x10000001});
         },
         {fillIn(text(Txt::FirmwareFileNotArm), {"%s", "20030000h", "10000001h"})}},
        {"a 128 KiB chip image",
         [&] {
             std::string image = randomBytes(0x20000, 9);
             image.replace(0x3000, 8, "\x12\x34\x56\x78\x9A\xBC\xDE\xF0");
             writeFile(dir.file("chip.bin"), image);
             return dir.file("chip.bin");
         },
         {fillIn(text(Txt::FirmwareFileNotArm), {"%s", "78563412h", "F0DEBC9Ah"})}},
        {"too short for the second word",
         [&] { return firmwareFile(0x3006); },
         {fillIn(text(Txt::FirmwareFileNotArm), {"%s", "20030000h", "FFFF3131h"})}},
        {"a HEX file with a broken record",
         [&] {
             writeFile(dir.file("bad.hex"), ":0200000012\n");
             return dir.file("bad.hex");
         },
         {text(Txt::IllegalCharInFile), text(Txt::FirmwareFileRefused)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui = ScriptedUi{};
        ui.defaultAnswer = false;
        ostrel_sim_log_clear();
        const std::string path = c.file();
        EXPECT_EQ(firmware.upgrade(path), UpgradeResult::FileRefused);
        std::vector<std::string> boxes;
        for (const std::string& box : c.boxes) boxes.push_back(fillIn(box, {path}));
        EXPECT_EQ(ui.boxTexts(), boxes);
        EXPECT_EQ(ostrel_sim_log_count(), 0) << "the programmer was touched";
        EXPECT_EQ(ostrel_sim_upgrade_requests(device), 0);
        EXPECT_TRUE(ui.log.empty());
    }
    // No file chosen, or one that is gone: nothing at all.
    EXPECT_EQ(firmware.upgrade(""), UpgradeResult::NoFile);
    EXPECT_EQ(firmware.upgrade(dir.file("missing.xpro")), UpgradeResult::NoFile);
    EXPECT_EQ(ostrel_sim_log_count(), 0);
    // Sent all the same when the user says so: 12,288 bytes give
    // ceil(12,288 / 62) data reports of 0xFF alone.
    ui = ScriptedUi{};
    ui.answers = {true};
    EXPECT_EQ(firmware.upgrade(firmwareFile(12288)), UpgradeResult::Done);
    std::vector<int> expected{IapStart, IapQuery, IapPrepare};
    expected.insert(expected.end(), 199, IapData);
    expected.push_back(IapFinish);
    EXPECT_EQ(reportCodes(), expected);
    EXPECT_EQ(bootImage(), std::vector<uint8_t>(199 * 62, 0xFF));
}

// 12,350 bytes: 200 data reports, the first with file bytes 12,288 to 12,349,
// the rest 0xFF; 13 blocks of 1,024 bytes.
TEST_F(Upgrade, AGoodFileGoesOutFromOffset0x3000AndTheProgrammerComesBack) {
    const std::string path = firmwareFile(12350);
    const std::string file = readFile(path);
    ostrel_sim_set_bootloader_query(device, 0x08004000, 1024);

    EXPECT_EQ(firmware.upgrade(path), UpgradeResult::Done);
    EXPECT_TRUE(ui.boxes.empty()) << ui.boxTexts()[0];
    EXPECT_EQ(ostrel_sim_upgrade_requests(device), 1);
    // The boot loader appeared at the third scan, 100 ms after each other.
    EXPECT_EQ(pausesOf(100), 3 + 1);  // and the settling pause after IapPrepare

    std::vector<int> expected{IapStart, IapQuery, IapPrepare};
    expected.insert(expected.end(), 200, IapData);
    expected.push_back(IapFinish);
    EXPECT_EQ(reportCodes(), expected);
    uint32_t target = 0, length = 0;
    int blocks = -1;
    ostrel_sim_bootloader_prepared(device, &target, &blocks, &length);
    EXPECT_EQ(target, 0x08004000u);
    EXPECT_EQ(blocks, 13);
    EXPECT_EQ(length, 12350u);

    const std::vector<uint8_t> image = bootImage();
    ASSERT_EQ(image.size(), 200u * 62);
    EXPECT_EQ(std::string(image.begin(), image.begin() + 62), file.substr(12288, 62));
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 62, image.end()),
              std::vector<uint8_t>(image.size() - 62, 0xFF));

    EXPECT_EQ(ui.progressMax, 12350);
    EXPECT_EQ(ui.progressPositions.size(), 200u + 2);
    EXPECT_EQ(ui.progressPositions[200], 199 * 62) << "the last data report's offset";
    EXPECT_EQ(ui.progressPosition, 0);
    EXPECT_TRUE(ui.progressVisible);
    EXPECT_EQ(ui.processEventsCalls, 200);
    EXPECT_EQ(ui.firstLogLine(),
              fillIn(text(Txt::FirmwareUpgradeComplete), {"12350"}) + " (" + ui.clockText + ")");

    EXPECT_FALSE(hid.isOpen());
    EXPECT_EQ(ostrel_sim_bootloader_finished(device), 1);
    EXPECT_EQ(ostrel_sim_bootloader_present(device), 0);
    EXPECT_EQ(usb.prog_open(kProgrammerVendorId, kProgrammerVendorText, kProgrammerProductId,
                            kProgrammerProductText),
              1)
        << "the programmer is back after IapFinish";
    usb.USB_bulk_close();
}

TEST_F(Upgrade, TheBlockCountCarriesItsLow8Bits) {
    struct Case {
        uint32_t fileSize;
        int blockSize;
        int blockByte;
    };
    // n = 12,350 in 1,024-byte blocks: 13; 20,000 bytes in 64-byte blocks: 313, sent as 57.
    for (const Case& c : {Case{12350, 1024, 13}, Case{20000, 64, 57}, Case{12289, 1, 1}}) {
        SCOPED_TRACE(c.fileSize);
        ostrel_sim_set_bootloader_present(device, 1);
        ostrel_sim_set_bootloader_query(device, 0x08003000, c.blockSize);
        EXPECT_EQ(firmware.upgrade(firmwareFile(c.fileSize)), UpgradeResult::Done);
        int blocks = -1;
        uint32_t length = 0;
        ostrel_sim_bootloader_prepared(device, nullptr, &blocks, &length);
        EXPECT_EQ(blocks, c.blockByte);
        EXPECT_EQ(length, c.fileSize);
    }
}

// Every failure of the boot loader ends the upgrade with its box, no success
// line and the device closed; the next upgrade finds the boot loader again.
TEST_F(Upgrade, FailuresEndInABoxAndTheNextUpgradeStillWorks) {
    struct Case {
        const char* name;
        std::function<void()> fault;
        UpgradeResult result;
        std::string box;
        std::vector<int> reportsTaken;  // the codes the boot loader took
    };
    const std::string noAnswer = text(Txt::UpgradeNoAnswer);
    const std::string failed = text(Txt::UpgradeTransferFailed);
    const int seconds = HidDevice::kReadTimeoutMs / 1000;
    const Case cases[] = {
        {"no answer to IapStart",
         [&] { ostrel_sim_set_bootloader_fault(device, OSTREL_SIM_BOOT_FAULT_SILENT_READ, 1); },
         UpgradeResult::TransferFailed,
         fillIn(noAnswer, {std::to_string(seconds), "0", "12350"}),
         {IapStart}},
        {"no answer to IapPrepare",
         [&] { ostrel_sim_set_bootloader_fault(device, OSTREL_SIM_BOOT_FAULT_SILENT_READ, 3); },
         UpgradeResult::TransferFailed,
         fillIn(noAnswer, {std::to_string(seconds), "0", "12350"}),
         {IapStart, IapQuery, IapPrepare}},
        {"the 10th data report fails",
         [&] { ostrel_sim_set_bootloader_fault(device, OSTREL_SIM_BOOT_FAULT_WRITE_FAILS, 13); },
         UpgradeResult::TransferFailed,
         fillIn(failed, {"558", "12350"}),
         {IapStart, IapQuery, IapPrepare, IapData, IapData, IapData, IapData, IapData, IapData,
          IapData, IapData, IapData}},
        {"the boot loader vanishes while answering IapQuery",
         [&] { ostrel_sim_set_bootloader_fault(device, OSTREL_SIM_BOOT_FAULT_VANISH, 3); },
         UpgradeResult::TransferFailed,
         fillIn(failed, {"0", "12350"}),
         {IapStart, IapQuery}},
        {"block size 0",
         [&] { ostrel_sim_set_bootloader_query(device, 0x08003000, 0); },
         UpgradeResult::BlockSizeZero,
         text(Txt::BootLoaderBlockSizeZero),
         {IapStart, IapQuery}},
    };
    const std::string path = firmwareFile(12350);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui = ScriptedUi{};
        ostrel_sim_log_clear();
        c.fault();
        EXPECT_EQ(firmware.upgrade(path), c.result);
        EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{c.box});
        EXPECT_TRUE(ui.log.empty());
        EXPECT_EQ(reportCodes(), c.reportsTaken);
        EXPECT_FALSE(hid.isOpen());
        EXPECT_EQ(ui.progressPosition, 0);
        EXPECT_EQ(ostrel_sim_bootloader_finished(device), 0);

        // The programmer stays in its boot loader (a vanished one is plugged in again).
        ostrel_sim_set_bootloader_present(device, 1);
        ostrel_sim_set_bootloader_query(device, 0x08003000, 1024);
        ui = ScriptedUi{};
        EXPECT_EQ(firmware.upgrade(path), UpgradeResult::Done);
        EXPECT_TRUE(ui.boxes.empty());
        EXPECT_EQ(ostrel_sim_bootloader_finished(device), 1);
        ostrel_sim_reset();
        device = ostrel_sim_add_programmer(1);
        ostrel_sim_set_bootloader(device, 2);
    }
}

TEST_F(Upgrade, ABootLoaderThatNeverAppearsEndsAfter500AttemptsWithABox) {
    ostrel_sim_set_bootloader(device, -1);
    const std::string path = firmwareFile(13000);
    EXPECT_EQ(firmware.upgrade(path), UpgradeResult::BootLoaderMissing);
    EXPECT_EQ(pausesOf(100), 500);
    EXPECT_EQ(ui.boxTexts(),
              std::vector<std::string>{fillIn(text(Txt::BootLoaderNotFound), {"500"})});
    EXPECT_EQ(ostrel_sim_upgrade_requests(device), 1);
    EXPECT_TRUE(log(OSTREL_SIM_LOG_HID_WRITE).empty());

    // It shows up late: the programmer has gone, the search still finds it.
    ostrel_sim_set_bootloader_present(device, 1);
    ui = ScriptedUi{};
    EXPECT_EQ(firmware.upgrade(path), UpgradeResult::Done);
    EXPECT_EQ(pausesOf(100), 1 + 1);
    EXPECT_TRUE(ui.boxes.empty());
}

}  // namespace
}  // namespace ostrel::testing
