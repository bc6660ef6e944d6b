// Read, blank check, verify, erase and write against the simulator, with and
// without its injected faults.

#include <random>

#include "sim_fixture.h"

namespace ostrel::testing {
namespace {

using Streams = SimFixture;

std::vector<uint8_t> randomImage(std::size_t size, unsigned variant) {
    std::mt19937 random(variant);
    std::vector<uint8_t> image(size);
    for (auto& b : image) b = static_cast<uint8_t>(random());
    return image;
}

uint32_t addressSent(const ostrel_sim_log_entry& e) {
    return getField32(&e.bytes[8], true);
}

TEST_F(Streams, ReadTrimsTheDataLengthAndShowsTheChip) {
    useChip(ClassSpiFlash25, 0x10000, 256);
    for (uint32_t last : {0x1234u, 0x1235u}) {
        const uint8_t byte = 0x5A;
        ostrel_sim_chip_write(device, last, &byte, 1);
        ASSERT_NE(ops.openJob(), 0);
        EXPECT_EQ(ops.readFlash(), 1);
        ops.endJob();
        EXPECT_EQ(buffers().flashDataLength, 0x1236);
        EXPECT_EQ(flash()[last], 0x5A);
        EXPECT_EQ(buffers().flashView().DataSize(), 0x10000u);
        EXPECT_FALSE(ui.progressVisible);
    }
    EXPECT_EQ(ui.statusHistory.front(), "Read Flash ...");
    EXPECT_EQ(blocks(OSTREL_SIM_LOG_DATA_IN), 2 * 256);
}

TEST_F(Streams, ThirdTypeIsNeitherReadNorWritten) {
    useChip(ClassEeprom93, 0x100, 1);
    state->typeIndex = 2;
    flash()[0] = 0x11;
    buffers().flashDataLength = 0x100;
    EXPECT_EQ(ops.readFlash(), 0);
    EXPECT_EQ(ops.writeFlash(), 0);
    EXPECT_TRUE(log(0).empty());
    EXPECT_EQ(flash()[0], 0x11);
    EXPECT_EQ(ui.statusPanels[PanelState], "Write Flash ...");
    EXPECT_FALSE(ui.progressVisible);
}

TEST_F(Streams, VerifyRoundsTheRangeToPagesAndReportsTheFirstDifference) {
    useChip(ClassSpiFlash25, 0x1000, 256);
    buffers().rangeEnabled = true;
    buffers().rangeStart = 0x105;
    buffers().rangeEnd = 0x1FF;
    buffers().flashDataLength = 0x800;
    ASSERT_NE(ops.openJob(), 0);
    ostrel_sim_log_clear();
    EXPECT_EQ(ops.verifyFlash(), 1);
    EXPECT_EQ(addressSent(log(OSTREL_SIM_LOG_COMMAND)[0]), 0x100u);
    EXPECT_EQ(log(OSTREL_SIM_LOG_REPLY).size(), 1u) << "set-address is answered before a read";
    EXPECT_EQ(blocks(OSTREL_SIM_LOG_DATA_IN), 1);

    buffers().rangeEnabled = false;
    for (int language : {LangEnglish, LangSimplified}) {
        state->language = language;
        flash()[0x202] = 0x00;
        ui.boxes.clear();
        EXPECT_EQ(ops.verifyFlash(), 0);
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, text(Msg::MsgVerifyErrorAddress) + "202h");
        EXPECT_EQ(ui.boxes[0].caption, "Error");
        EXPECT_TRUE(ui.progressVisible);
    }
    ops.endJob();
}

TEST_F(Streams, WriteRoundsTheDataLengthToPages) {
    struct Case {
        uint16_t page;
        bool range;
        int32_t expectLength;
        uint32_t expectAddress;
        int expectBlocks, expectBlockSize;
    };
    const Case cases[] = {
        {256, false, 256, 0, 1, 256},
        {16, false, 112, 0, 2, 64},
        {256, true, 100, 0, 1, 256},  // range 0x10..0x1F becomes 0..256
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.page << (c.range ? " range" : ""));
        useChip(ClassEeprom24, 0x1000, c.page);
        buffers().flashDataLength = 100;
        buffers().rangeEnabled = c.range;
        buffers().rangeStart = 0x10;
        buffers().rangeEnd = 0x1F;
        ASSERT_NE(ops.openJob(), 0);
        ostrel_sim_log_clear();
        ui.pauses.clear();
        EXPECT_EQ(ops.writeFlash(), 1);
        ops.endJob();
        EXPECT_EQ(buffers().flashDataLength, c.expectLength);
        EXPECT_EQ(addressSent(log(OSTREL_SIM_LOG_COMMAND)[0]), c.expectAddress);
        EXPECT_TRUE(log(OSTREL_SIM_LOG_REPLY).empty()) << "no reply is read during a write";
        const auto out = log(OSTREL_SIM_LOG_DATA_OUT);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].blocks, c.expectBlocks);
        EXPECT_EQ(out[0].length, c.expectBlockSize);
        EXPECT_EQ(ui.pauses, std::vector<int>{100}) << "24-series settle after writing";
    }
}

TEST_F(Streams, EraseByClass) {
    struct Case {
        uint8_t chipClass;
        uint32_t size;
        uint16_t page, delay;
        std::vector<uint16_t> arguments;
        int polls;
    };
    std::vector<uint16_t> pages8, wrapping;
    for (uint16_t a = 0; a < 256; a += 8) pages8.push_back(a);
    for (uint32_t a = 0; a < 0x20000; a += 256) wrapping.push_back(static_cast<uint16_t>(a));
    const Case cases[] = {
        {ClassEeprom24, 256, 8, 0, pages8, 0},
        {ClassEeprom24, 0x20000, 256, 0, wrapping, 0},
        {ClassSpiFlash25, 0x1000, 256, 10, {0x8000}, 3},  // busy twice, then done
        {ClassEeprom93, 128, 1, 100, {100}, 0},
        {ClassEeprom95, 0x1000, 32, 10, {}, 0},
        {ClassAvr, 0x1000, 64, 10, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << int(c.chipClass) << " size " << c.size);
        useChip(c.chipClass, c.size, c.page, c.delay);
        ASSERT_NE(ops.openJob(), 0);
        ostrel_sim_log_clear();
        ui.pauses.clear();
        ops.eraseChip();
        std::vector<uint16_t> arguments;
        int polls = 0;
        for (const auto& e : log(OSTREL_SIM_LOG_COMMAND)) {
            if (e.command == CmdErase) arguments.push_back(getField16(&e.bytes[26], true));
            polls += e.command == CmdPollStatus;
        }
        ops.endJob();
        EXPECT_EQ(arguments, c.arguments);
        EXPECT_EQ(polls, c.polls);
        EXPECT_EQ(ui.pauses, std::vector<int>(static_cast<std::size_t>(c.polls), 50));
        EXPECT_FALSE(ui.progressVisible);
    }
    EXPECT_TRUE(ui.boxes.empty());

    // A 24-series record without a page size: refused, nothing sent, no endless loop.
    useChip(ClassEeprom24, 256, 0, 0);
    ASSERT_NE(ops.openJob(), 0);
    ostrel_sim_log_clear();
    ops.eraseChip();
    ops.endJob();
    EXPECT_EQ(commands(), std::vector<int>{CmdEndJob});
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "Error");
    EXPECT_FALSE(ui.progressVisible);
}

TEST_F(Streams, WriteVerifyReadRoundTrip) {
    useChip(ClassSpiFlash25, 0x40000, 256);
    const auto image = randomImage(0x40000, 7);
    std::memcpy(flash(), image.data(), image.size());
    buffers().flashDataLength = 0x40000;
    ASSERT_NE(ops.openJob(), 0);
    ops.eraseChip();
    EXPECT_EQ(ops.blankCheck(), 1);
    EXPECT_EQ(ops.writeFlash(), 1);
    EXPECT_EQ(ops.verifyFlash(), 1);
    std::memset(flash(), 0xFF, image.size());
    ops.readFlash();
    ops.endJob();
    EXPECT_EQ(0, std::memcmp(flash(), image.data(), image.size()));
    EXPECT_TRUE(ui.boxes.empty());

    // Written again over other data without an erase: NOR flash only clears bits.
    const auto other = randomImage(0x40000, 8);
    std::memcpy(flash(), other.data(), other.size());
    ASSERT_NE(ops.openJob(), 0);
    EXPECT_EQ(ops.blankCheck(), 0);
    ops.writeFlash();
    EXPECT_EQ(ops.verifyFlash(), 0);
    ops.endJob();
    std::size_t first = 0;
    while ((image[first] & other[first]) == other[first]) ++first;
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[0].text, text(Msg::MsgChipNotEmpty));
    char expected[16];
    std::snprintf(expected, sizeof expected, "%zXh", first);
    EXPECT_EQ(ui.boxes[1].text, text(Msg::MsgVerifyErrorAddress) + expected);
}

// The last block of a chip whose size is no multiple of the block reaches past
// the 64 MiB buffer: only what fits is stored (the sanitizer build watches).
TEST_F(Streams, LastBlockPastTheBufferEndIsCutAtTheBuffer) {
    useChip(ClassSpiFlash25, kFlashBufferSize, 0xFFFF);
    const uint8_t tail[2] = {0x12, 0x34};
    ostrel_sim_chip_write(device, kFlashBufferSize - 2, tail, 2);
    ASSERT_NE(ops.openJob(), 0);
    EXPECT_EQ(ops.readFlash(), 1);
    EXPECT_EQ(flash()[kFlashBufferSize - 1], 0x34);
    EXPECT_EQ(buffers().flashDataLength, static_cast<int32_t>(kFlashBufferSize));
    EXPECT_EQ(ops.verifyFlash(), 1);
    buffers().rangeEnabled = true;
    buffers().rangeStart = static_cast<int32_t>(kFlashBufferSize) - 4;
    buffers().rangeEnd = 0x7FFFFFFF;
    EXPECT_EQ(ops.writeFlash(), 1);
    ops.endJob();
    EXPECT_TRUE(ui.boxes.empty());
}

struct FaultCase {
    const char* name;
    int fault, at, param;
};

// Faults in a stream: the program goes on, nothing outside the buffer is
// touched, and the checks say that the chip's content did not arrive.
TEST_F(Streams, FaultsDuringReadAndChecks) {
    const FaultCase cases[] = {
        // Counted from the set-address: its packet (for the unplug), its reply,
        // then the blocks; `at` 3 hits the block at 0x100.
        {"time-out", OSTREL_SIM_FAULT_READ_TIMEOUT, 3, 0},
        {"short read", OSTREL_SIM_FAULT_SHORT_READ, 3, 10},
        {"unplugged", OSTREL_SIM_FAULT_UNPLUG, 3, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        useChip(ClassSpiFlash25, 0x1000, 256);
        std::vector<uint8_t> zeros(0x1000, 0);
        ostrel_sim_chip_write(device, 0, zeros.data(), 0x1000);
        std::memset(flash(), 0xEE, 0x1000);
        ASSERT_NE(ops.openJob(), 0);
        ostrel_sim_set_fault(device, c.fault, c.at, c.param);
        EXPECT_EQ(ops.readFlash(), 0);
        ops.endJob();
        // The block at 0x100 kept what the buffer held where it did not arrive.
        EXPECT_EQ(flash()[0xFF], 0);
        EXPECT_EQ(flash()[0x1FF], 0xEE);
        EXPECT_EQ(flash()[0x100], c.fault == OSTREL_SIM_FAULT_SHORT_READ ? 0 : 0xEE);

        for (auto check : {&ProgrammerOps::blankCheck, &ProgrammerOps::verifyFlash}) {
            restart();
            useChip(ClassSpiFlash25, 0x1000, 256);
            std::memset(flash(), 0xFF, 0x1000);
            buffers().flashDataLength = 0x1000;
            ASSERT_NE(ops.openJob(), 0);
            ostrel_sim_set_fault(device, c.fault, c.at - 1, c.param);
            EXPECT_EQ((ops.*check)(), 0);
            ops.endJob();
            ASSERT_EQ(ui.boxes.size(), 1u);
            const bool blank = check == &ProgrammerOps::blankCheck;
            const std::string at = c.fault == OSTREL_SIM_FAULT_SHORT_READ ? "Ah" : "0h";
            EXPECT_EQ(ui.boxes[0].text,
                      blank ? text(Msg::MsgChipNotEmpty) : text(Msg::MsgVerifyErrorAddress) + at);
        }
    }
}

TEST_F(Streams, FaultsDuringEraseAndWrite) {
    // An erase that never ends stops after delay + 2 polls, silently.
    useChip(ClassSpiFlash25, 0x1000, 256, 0);
    ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_BUSY_FOREVER, 0, 0);
    ASSERT_NE(ops.openJob(), 0);
    ostrel_sim_log_clear();
    ops.eraseChip();
    ops.endJob();
    int polls = 0;
    for (int code : commands()) polls += code == CmdPollStatus;
    EXPECT_EQ(polls, 2);
    EXPECT_TRUE(ui.boxes.empty());

    // A write-protected chip takes the write silently; verify finds it.
    restart();
    useChip(ClassSpiFlash25, 0x1000, 256);
    ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_WRITE_PROTECT, 0, 0);
    std::memset(flash(), 0xFF, 0x1000);
    flash()[0x345] = 0;
    buffers().flashDataLength = 0x1000;
    ASSERT_NE(ops.openJob(), 0);
    EXPECT_EQ(ops.writeFlash(), 1);
    EXPECT_EQ(ops.verifyFlash(), 0);
    ops.endJob();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, text(Msg::MsgVerifyErrorAddress) + "345h");

    // Unplugged in the middle of a write: the write runs to its end; the next
    // job finds no programmer.
    restart();
    useChip(ClassSpiFlash25, 0x1000, 256);
    buffers().flashDataLength = 0x1000;
    ASSERT_NE(ops.openJob(), 0);
    ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_UNPLUG, 3, 0);
    EXPECT_EQ(ops.writeFlash(), 1);
    ops.endJob();
    EXPECT_EQ(ui.processEventsCalls, 16);
    EXPECT_EQ(ops.openJob(), 0);
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Not connected"});
}

}  // namespace
}  // namespace ostrel::testing
