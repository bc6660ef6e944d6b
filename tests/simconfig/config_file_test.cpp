// The demonstration sets the simulator up through a configuration file named in
// its environment; the program itself only binds the library by name. This
// program touches no control function first, so the file is what counts.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <thread>

#include "operations/packets.h"
#include "support/temp_files.h"
#include "usb/programmer_identity.h"
#include "usb/usb_bulk.h"

namespace ostrel {
namespace {

// Longer than the simulator waits between two looks at its file.
constexpr std::chrono::milliseconds kLookedAgain{25};

// The file is followed while the program runs: a changed chip line is a chip
// taken out of the socket or put into it, seen at the next transfer once the
// simulator looks again; in the middle of a write the rest of it goes to the
// chip now in the socket.
TEST(SimulatorConfigurationFile, ThePresetProgrammerAndChipAnswerAndFollowTheFile) {
    testing::TempDir dir;
    const std::string image = dir.file("chip.img");
    const std::string programmer = "# one programmer with an 8 MiB flash\nprogrammer bus=1\n";
    struct Step {
        std::string chipLine;
        int kind;
        uint32_t id;
    } steps[] = {
        {"chip id=0xEF4017 size=0x800000 class=0 image=" + image + "\n", 1, 0xEF4017},
        {"", 0, 0},
        {"chip id=0xC22017 size=0x800000 class=0\n", 1, 0xC22017},
        {"# the socket emptied again\n", 0, 0},
    };
    testing::writeFile(dir.file("sim.conf"), programmer + steps[0].chipLine);
#ifdef _WIN32
    ASSERT_EQ(_putenv_s("OSTREL_SIM_CONFIG", dir.file("sim.conf").c_str()), 0);
#else
    ASSERT_EQ(setenv("OSTREL_SIM_CONFIG", dir.file("sim.conf").c_str(), 1), 0);
#endif

    TUsbBulk usb(OSTREL_SIM_LIBRARY);
    usb.setPause([](int) {});
    ASSERT_EQ(usb.prog_open(kProgrammerVendorId, kProgrammerVendorText, kProgrammerProductId,
                            kProgrammerProductText),
              1);
    ChipRecord chip{};
    chip.chipId = 0xEF4017;
    chip.flashSize = 0x800000;
    chip.flashPage = 256;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.chipLine);
        testing::writeFile(dir.file("sim.conf"), programmer + step.chipLine);
        std::this_thread::sleep_for(kLookedAgain);
        // A chip-ID exchange answers with the chip the file puts into the socket.
        Packet packet = chipSetupPacket(CmdReadId, chip, 0, usb.bigEndianFields());
        ASSERT_EQ(usb.USB_bulk_cmd(packet.data(), kPacketSize, 1), kPacketSize);
        const IdReply reply = parseIdReply(packet);
        EXPECT_EQ(reply.kind, step.kind);
        if (step.kind == 1) {
            EXPECT_EQ(reply.id, step.id);
        }
        Packet end = endJobPacket();
        EXPECT_EQ(usb.USB_bulk_cmd(end.data(), kPacketSize, 0), kPacketSize);
    }

    // A write of 64 KiB: half of it into a.img's chip, then the line names
    // b.img's (the same size, a one-letter change, as in place as an editor
    // writes it), and the other half goes there.
    const std::string data = testing::randomBytes(0x10000, 5);
    const auto chipLine = [&dir](char image) {
        return "chip id=0xEF4017 size=0x10000 class=0 image=" + dir.file(std::string(1, image)) +
               ".img\n";
    };
    testing::writeFile(dir.file("sim.conf"), programmer + chipLine('a'));
    std::this_thread::sleep_for(kLookedAgain);
    chip.flashSize = 0x10000;
    Packet begin = chipSetupPacket(CmdBeginJob, chip, 0, usb.bigEndianFields());
    ASSERT_EQ(usb.USB_bulk_cmd(begin.data(), kPacketSize, 1), kPacketSize);
    Packet address = setAddressPacket(0, usb.bigEndianFields());
    ASSERT_EQ(usb.USB_bulk_cmd(address.data(), kPacketSize, 0), kPacketSize);
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    for (int at = 0; at < 0x10000; at += 256) {
        if (at == 0x8000) {
            testing::writeFile(dir.file("sim.conf"), programmer + chipLine('b'));
            std::this_thread::sleep_for(kLookedAgain);
        }
        ASSERT_EQ(usb.USB_bulk_write(bytes + at, 256), 256) << at;
    }
    Packet end = endJobPacket();
    EXPECT_EQ(usb.USB_bulk_cmd(end.data(), kPacketSize, 0), kPacketSize);
    usb.USB_bulk_close();
    const std::string erased(0x8000, '\xFF');
    EXPECT_TRUE(testing::readFile(dir.file("a.img")) == data.substr(0, 0x8000) + erased);
    EXPECT_TRUE(testing::readFile(dir.file("b.img")) == erased + data.substr(0x8000));
}

}  // namespace
}  // namespace ostrel
