// The demonstration sets the simulator up through a configuration file named in
// its environment; the program itself only binds the library by name. This
// program touches no control function first, so the file is what counts.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "operations/packets.h"
#include "support/temp_files.h"
#include "usb/programmer_identity.h"
#include "usb/usb_bulk.h"

namespace ostrel {
namespace {

// The file is followed while the program runs: a changed chip line is a chip
// taken out of the socket or put into it, seen at the next transfer.
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
    usb.USB_bulk_close();
}

}  // namespace
}  // namespace ostrel
