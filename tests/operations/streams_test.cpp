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
        EXPECT_EQ(ops.readFlash(), OpResult::Done);
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
    ASSERT_NE(ops.openJob(), 0);
    ostrel_sim_log_clear();
    EXPECT_EQ(ops.readFlash(), OpResult::Skipped);
    EXPECT_EQ(ops.writeFlash(), OpResult::Skipped);
    EXPECT_TRUE(log(0).empty()) << "nothing sent inside the job";
    EXPECT_EQ(ui.statusPanels[PanelState], "Write Flash ...");
    ops.endJob();
    EXPECT_EQ(flash()[0], 0x11);
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
    EXPECT_EQ(ops.verifyFlash(), OpResult::Done);
    EXPECT_EQ(addressSent(log(OSTREL_SIM_LOG_COMMAND)[0]), 0x100u);
    EXPECT_EQ(log(OSTREL_SIM_LOG_REPLY).size(), 1u) << "set-address is answered before a read";
    EXPECT_EQ(blocks(OSTREL_SIM_LOG_DATA_IN), 1);

    buffers().rangeEnabled = false;
    for (int language : {LangEnglish, LangSimplified}) {
        state->language = language;
        flash()[0x202] = 0x00;
        EXPECT_EQ(ops.verifyFlash(), OpResult::Mismatch);
        EXPECT_EQ(failureBox(), text(Msg::MsgVerifyErrorAddress) + "202h");
        ASSERT_TRUE(ops.difference());
        EXPECT_EQ(ops.difference()->address, 0x202);
        EXPECT_EQ(ops.difference()->fileByte, 0x00);
        EXPECT_NE(ops.difference()->chipByte, 0x00);
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
        EXPECT_EQ(ops.writeFlash(), OpResult::Done);
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
        OpResult result = OpResult::Done;
    };
    std::vector<uint16_t> pages8, wrapping;
    for (uint16_t a = 0; a < 256; a += 8) pages8.push_back(a);
    for (uint32_t a = 0; a < 0x20000; a += 256) wrapping.push_back(static_cast<uint16_t>(a));
    const Case cases[] = {
        {ClassEeprom24, 256, 8, 0, pages8, 0},
        {ClassEeprom24, 0x20000, 256, 0, wrapping, 0},
        {ClassSpiFlash25, 0x1000, 256, 10, {0x8000}, 3},  // busy twice, then done
        {ClassEeprom93, 128, 1, 100, {100}, 0},
        // No erase for these: nothing is sent, and the runner says so.
        {ClassEeprom95, 0x1000, 32, 10, {}, 0, OpResult::Skipped},
        {ClassAvr, 0x1000, 64, 10, {}, 0, OpResult::Skipped},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << int(c.chipClass) << " size " << c.size);
        useChip(c.chipClass, c.size, c.page, c.delay);
        ASSERT_NE(ops.openJob(), 0);
        ostrel_sim_log_clear();
        ui.pauses.clear();
        EXPECT_EQ(ops.eraseChip(), c.result);
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
        if (c.result == OpResult::Done) {
            EXPECT_EQ(failureBox(), "");
        }
    }

    // A 24-series record without a page size: refused, nothing sent, no endless loop.
    useChip(ClassEeprom24, 256, 0, 0);
    ASSERT_NE(ops.openJob(), 0);
    ostrel_sim_log_clear();
    ops.eraseChip();
    ops.endJob();
    EXPECT_EQ(commands(), std::vector<int>{CmdEndJob});
    EXPECT_EQ(failureBox(), "The chip's page size is 0, so its pages cannot be erased.");
    EXPECT_FALSE(ui.progressVisible);
}

TEST_F(Streams, WriteVerifyReadRoundTrip) {
    useChip(ClassSpiFlash25, 0x40000, 256);
    const auto image = randomImage(0x40000, 7);
    std::memcpy(flash(), image.data(), image.size());
    buffers().flashDataLength = 0x40000;
    ASSERT_NE(ops.openJob(), 0);
    ops.eraseChip();
    EXPECT_EQ(ops.blankCheck(), OpResult::Done);
    EXPECT_EQ(ops.writeFlash(), OpResult::Done);
    EXPECT_EQ(ops.verifyFlash(), OpResult::Done);
    std::memset(flash(), 0xFF, image.size());
    ops.readFlash();
    EXPECT_EQ(failureBox(), "");
    ops.endJob();
    EXPECT_EQ(0, std::memcmp(flash(), image.data(), image.size()));

    // Written again over other data without an erase: NOR flash only clears bits.
    const auto other = randomImage(0x40000, 8);
    std::memcpy(flash(), other.data(), other.size());
    ASSERT_NE(ops.openJob(), 0);
    EXPECT_EQ(ops.blankCheck(), OpResult::Mismatch);
    EXPECT_EQ(failureBox(), text(Msg::MsgChipNotEmpty));
    std::size_t used = 0;
    while (image[used] == 0xFF) ++used;
    EXPECT_EQ(ops.failure()->address, static_cast<int64_t>(used)) << "the first byte not blank";
    ops.writeFlash();
    EXPECT_EQ(ops.verifyFlash(), OpResult::Mismatch);
    ops.endJob();
    std::size_t first = 0;
    while ((image[first] & other[first]) == other[first]) ++first;
    char expected[16];
    std::snprintf(expected, sizeof expected, "%zXh", first);
    EXPECT_EQ(failureBox(), text(Msg::MsgVerifyErrorAddress) + expected);
    EXPECT_EQ(ops.difference()->chipByte, image[first] & other[first]);
    EXPECT_EQ(ops.difference()->fileByte, other[first]);
}

// The last block of a chip whose size is no multiple of the block reaches past
// the 64 MiB buffer: only what fits is stored (the sanitizer build watches).
TEST_F(Streams, LastBlockPastTheBufferEndIsCutAtTheBuffer) {
    useChip(ClassSpiFlash25, kFlashBufferSize, 0xFFFF);
    const uint8_t tail[2] = {0x12, 0x34};
    ostrel_sim_chip_write(device, kFlashBufferSize - 2, tail, 2);
    ASSERT_NE(ops.openJob(), 0);
    EXPECT_EQ(ops.readFlash(), OpResult::Done);
    EXPECT_EQ(flash()[kFlashBufferSize - 1], 0x34);
    EXPECT_EQ(buffers().flashDataLength, static_cast<int32_t>(kFlashBufferSize));
    EXPECT_EQ(ops.verifyFlash(), OpResult::Done);
    buffers().rangeEnabled = true;
    buffers().rangeStart = static_cast<int32_t>(kFlashBufferSize) - 4;
    buffers().rangeEnd = 0x7FFFFFFF;
    EXPECT_EQ(ops.writeFlash(), OpResult::Done);
    ops.endJob();
    EXPECT_EQ(failureBox(), "");
}

}  // namespace
}  // namespace ostrel::testing
