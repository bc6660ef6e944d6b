// The chip in the simulated socket: how each class programs, erases, wraps its
// addresses and keeps its content between runs.

#include <cstdio>
#include <fstream>
#include <iterator>

#include "sim_driver.h"

namespace ostrel::testing {
namespace {

using ChipModel = SimDriver;

TEST_F(ChipModel, FlashProgramsOnlyOneToZeroWhileEepromsOverwrite) {
    struct Case {
        int chipClass;
        uint8_t result;
    };
    // 0xF0 on the chip, 0x3C written over it.
    for (const Case& c : {Case{0, 0x30}, Case{4, 0x30}, Case{1, 0x3C}, Case{3, 0x3C}}) {
        SCOPED_TRACE(c.chipClass);
        ASSERT_EQ(ostrel_sim_insert_chip(device, c.chipClass, 0xEF4014, 0x1000, nullptr), 0);
        fillChip(0, 0x1000, 0xF0);
        begin(c.chipClass, 256, 0x1000);
        write(0x100, std::vector<uint8_t>(256, 0x3C));
        EXPECT_EQ(read(0x100, 256), std::vector<uint8_t>(256, c.result));
        EXPECT_EQ(chip(0xFF, 1)[0], 0xF0) << "the byte before the block is untouched";
        EXPECT_EQ(chip(0x200, 1)[0], 0xF0) << "the byte after the block is untouched";
        end();
    }
    EXPECT_EQ(errors(), "");
}

TEST_F(ChipModel, AboveSixteenMebibytesAddressesWrapUntil0xB7) {
    const uint32_t size = 0x2000000;
    ostrel_sim_insert_chip(device, 0, 0xEF4019, size, nullptr);
    fillChip(0, 64, 0x11);
    fillChip(0x1000000, 64, 0x22);
    begin(0, 64, size);
    EXPECT_EQ(read(0x1000000, 64), std::vector<uint8_t>(64, 0x11)) << "24 address bits only";
    spiRaw(0xB7);
    EXPECT_EQ(ostrel_sim_four_byte_mode(device), 1);
    EXPECT_EQ(read(0x1000000, 64), std::vector<uint8_t>(64, 0x22));
    end();
    // The mode lasts for one job.
    begin(0, 64, size);
    EXPECT_EQ(ostrel_sim_four_byte_mode(device), 0);
    EXPECT_EQ(read(0x1000000, 64), std::vector<uint8_t>(64, 0x11));
    end();
    EXPECT_EQ(errors(), "");
}

TEST_F(ChipModel, AStreamPastTheEndOfTheChipWrapsToItsStart) {
    ostrel_sim_insert_chip(device, 1, 0, 256, nullptr);
    fillChip(0, 64, 0x5A);
    begin(1, 16, 256);  // page 16: blocks of 64
    std::vector<uint8_t> got = read(192, 128);
    EXPECT_EQ(got[0], 0xFF);
    EXPECT_EQ(got[64], 0x5A) << "block five lands on address 0";
    end();
}

TEST_F(ChipModel, ChipEraseBusyForTheConfiguredPolls) {
    ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x10000, nullptr);
    ostrel_sim_set_erase_busy_polls(device, 3);
    fillChip(0, 0x10000, 0x00);
    begin(0, 256, 0x10000);
    erase(0x8000);
    EXPECT_TRUE(pollBusy());
    EXPECT_TRUE(pollBusy());
    EXPECT_TRUE(pollBusy());
    EXPECT_FALSE(pollBusy());
    end();
    EXPECT_EQ(chip(0, 0x10000), std::vector<uint8_t>(0x10000, 0xFF));
    EXPECT_EQ(errors(), "");
}

TEST_F(ChipModel, TwentyFourSeriesErasesThePageHoldingTheArgument) {
    ostrel_sim_insert_chip(device, 1, 0, 0x1000, nullptr);
    fillChip(0, 0x1000, 0x00);
    begin(1, 32, 0x1000);
    erase(0x40);
    erase(0x85);  // inside the page at 0x80
    end();
    const std::vector<uint8_t> content = chip(0, 0x1000);
    for (uint32_t a = 0; a < 0x1000; ++a) {
        const bool erased = (a >= 0x40 && a < 0x60) || (a >= 0x80 && a < 0xA0);
        ASSERT_EQ(content[a], erased ? 0xFF : 0x00) << "address " << a;
    }
}

TEST_F(ChipModel, NinetyThreeSeriesEraseClearsTheWholeChip) {
    ostrel_sim_insert_chip(device, 2, 0, 128, nullptr);
    fillChip(0, 128, 0x00);
    begin(2, 16, 128);
    erase(5);  // the host sends its delay value
    end();
    EXPECT_EQ(chip(0, 128), std::vector<uint8_t>(128, 0xFF));
    EXPECT_EQ(errors(), "");
}

TEST_F(ChipModel, ReadIdTellsWhatSitsInTheSocket) {
    struct Case {
        int chipClass;  // -1 = empty socket
        Packet reply;
    };
    const Case cases[] = {
        {-1, {0, 0, 0, 0}}, {0, {1, 0xEF, 0x40, 0x17}}, {1, {2, 0, 0, 0}},
        {2, {3, 0, 0, 0}},  {4, {1, 0xEF, 0x40, 0x17}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chipClass);
        if (c.chipClass < 0) {
            ostrel_sim_remove_chip(device);
        } else {
            ostrel_sim_insert_chip(device, c.chipClass, 0xEF4017, 0x100, nullptr);
        }
        ASSERT_TRUE(open());
        const Packet reply = exchange(setupPacket(9, 0, 256, 0x800000));
        EXPECT_EQ(std::vector<uint8_t>(reply.begin(), reply.begin() + 4),
                  std::vector<uint8_t>(c.reply.begin(), c.reply.begin() + 4));
        end();
    }
    EXPECT_EQ(errors(), "");
}

TEST_F(ChipModel, AChipDrivenAsAnotherClassDoesNotAnswer) {
    ostrel_sim_insert_chip(device, 1, 0, 0x100, nullptr);
    fillChip(0, 0x100, 0x00);
    begin(0, 256, 0x100);
    EXPECT_EQ(read(0, 256), std::vector<uint8_t>(256, 0xFF));
    write(0, std::vector<uint8_t>(256, 0x12));
    end();
    EXPECT_EQ(chip(0, 0x100), std::vector<uint8_t>(0x100, 0x00));
}

TEST_F(ChipModel, HardwareInformationFillsItsThreeFields) {
    ostrel_sim_set_hardware_info(device, "V2.0", "3.1.4", "SN0000000042");
    ASSERT_TRUE(open());
    const Packet reply = exchange(command(0, 12));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&reply[42]), 4), "V2.0");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&reply[46]), 5), "3.1.4");
    EXPECT_STREQ(reinterpret_cast<const char*>(&reply[51]), "SN0000000042");
    exchange(command(0, 13));
    EXPECT_EQ(ostrel_sim_upgrade_requests(device), 1);
}

TEST_F(ChipModel, TheImageKeepsTheContentAcrossConfigurations) {
    const std::string image = ::testing::TempDir() + "ostrel_sim_image_test.img";
    std::remove(image.c_str());
    const std::string config =
        "programmer bus=1\nchip id=0xEF4017 size=0x10000 class=0 image=\"" + image + "\"\n";
    ASSERT_EQ(ostrel_sim_configure_text(config.c_str()), 0);
    device = 0;
    EXPECT_EQ(chip(0, 16), std::vector<uint8_t>(16, 0xFF)) << "a new image starts erased";
    begin(0, 256, 0x10000);
    write(0x200, std::vector<uint8_t>(256, 0xA5));
    end();

    ASSERT_EQ(ostrel_sim_configure_text(config.c_str()), 0);
    EXPECT_EQ(chip(0x200, 256), std::vector<uint8_t>(256, 0xA5));
    std::ifstream file(image, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                     std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 0x10000u);
    EXPECT_EQ(bytes[0x1FF], 0xFF);
    EXPECT_EQ(bytes[0x200], 0xA5);
    std::remove(image.c_str());
}

TEST_F(ChipModel, TheLittleEndianPersonalityReadsItsFieldsThatWay) {
    ostrel_sim_set_winusb(device, 1);
    winusb = true;
    ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x10000, nullptr);
    fillChip(0x1200, 256, 0x77);
    begin(0, 256, 0x10000);
    EXPECT_EQ(read(0x1200, 256), std::vector<uint8_t>(256, 0x77));
    erase(0x8000);
    end();
    EXPECT_EQ(chip(0x1200, 1)[0], 0xFF);
    EXPECT_EQ(errors(), "");
}

}  // namespace
}  // namespace ostrel::testing
