// A programmer that stops answering in the middle of an operation: the
// operation ends at the block that failed, says where, sends nothing more,
// and leaves the buffers as they were.

#include "sim_fixture.h"

namespace ostrel::testing {
namespace {

using TransferFailures = SimFixture;

enum class Op { Read, BlankCheck, Verify, Write };

TEST_F(TransferFailures, AFailedBlockStopsTheStreamThereAndTheBuffersKeepTheirBytes) {
    struct Case {
        Op op;
        int fault;
        int param;
        const char* name;
    };
    const Case cases[] = {
        {Op::Read, OSTREL_SIM_FAULT_UNPLUG, 0, "Read"},
        {Op::Read, OSTREL_SIM_FAULT_STALL, 0, "Read"},
        {Op::Read, OSTREL_SIM_FAULT_SHORT_READ, 10, "Read"},
        {Op::BlankCheck, OSTREL_SIM_FAULT_UNPLUG, 0, "Blank check"},
        {Op::BlankCheck, OSTREL_SIM_FAULT_READ_TIMEOUT, 0, "Blank check"},
        {Op::Verify, OSTREL_SIM_FAULT_STALL, 0, "Verify"},
        {Op::Verify, OSTREL_SIM_FAULT_SHORT_READ, 63, "Verify"},
        {Op::Write, OSTREL_SIM_FAULT_UNPLUG, 0, "Write"},
        {Op::Write, OSTREL_SIM_FAULT_STALL, 0, "Write"},
    };
    constexpr int kFailingBlock = 3;  // the block at 0x300
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " fault " + std::to_string(c.fault));
        restart();
        useChip(ClassSpiFlash25, 0x1000, 256);
        // A verify must see a chip equal to the buffer up to the failure.
        std::vector<uint8_t> chipBytes(0x1000, c.op == Op::Verify ? 0xEE : 0xFF);
        ostrel_sim_chip_write(device, 0, chipBytes.data(), 0x1000);
        std::memset(flash(), 0xEE, 0x1000);
        buffers().flashDataLength = 0x800;
        buffers().ShowFlash(0x1000);
        ASSERT_NE(ops.openJob(), 0);
        ostrel_sim_log_clear();
        // Transfers from here: the set-address and (for reads) its reply, then
        // the blocks; the read faults count reads only.
        const bool reading = c.op != Op::Write;
        const bool counted =
            c.fault == OSTREL_SIM_FAULT_SHORT_READ || c.fault == OSTREL_SIM_FAULT_READ_TIMEOUT;
        const int before = counted ? 1 + kFailingBlock : (reading ? 2 : 1) + kFailingBlock;
        ostrel_sim_set_fault(device, c.fault, counted ? before + 1 : before, c.param);
        const OpResult result = c.op == Op::Read         ? ops.readFlash()
                                : c.op == Op::BlankCheck ? ops.blankCheck()
                                : c.op == Op::Verify     ? ops.verifyFlash()
                                                         : ops.writeFlash();
        uint64_t bytesMoved = 0;
        for (const auto& e : log(reading ? OSTREL_SIM_LOG_DATA_IN : OSTREL_SIM_LOG_DATA_OUT))
            bytesMoved += e.total;
        ops.endJob();

        EXPECT_EQ(result, OpResult::Failed);
        EXPECT_EQ(failureBox(), std::string(c.name) +
                                    " stopped at address 300h: the programmer did not "
                                    "answer. The operation is not complete.");
        EXPECT_EQ(ops.moved().start, 0);
        EXPECT_EQ(ops.moved().end, kFailingBlock * 256) << "moved up to the failing block";
        // The blocks before the failing one and nothing after it (a short read
        // moved part of the failing block).
        EXPECT_EQ(bytesMoved / 256, static_cast<uint64_t>(kFailingBlock));
        EXPECT_LT(bytesMoved, (kFailingBlock + 1) * 256u);
        EXPECT_EQ(flash()[0], 0xEE) << "the read was not taken over";
        EXPECT_EQ(buffers().flashDataLength, 0x800);
        EXPECT_EQ(buffers().flashView().DataSize(), 0x1000u);
        EXPECT_EQ(buffers().flashView().byteAt(0), 0xEE);
        EXPECT_TRUE(ui.progressVisible) << "the bars stay where they stopped";
        if (!counted) {
            EXPECT_EQ(ui.statusPanels[PanelState], "Not connected");
        }
    }
}

TEST_F(TransferFailures, ErasePollsAndTheChipIdReplyAreCheckedToo) {
    // An erase still busy at its bound is not taken as finished.
    useChip(ClassSpiFlash25, 0x1000, 256, 0);
    ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_BUSY_FOREVER, 0, 0);
    ASSERT_NE(ops.openJob(), 0);
    EXPECT_EQ(ops.eraseChip(), OpResult::Failed);
    ops.endJob();
    EXPECT_EQ(failureBox(),
              "The erase did not finish: the chip was still busy after 2 "
              "status polls, or the programmer did not answer.");

    // A poll that gets no answer ends the erase at once.
    restart();
    useChip(ClassSpiFlash25, 0x1000, 256, 100);
    ASSERT_NE(ops.openJob(), 0);
    ostrel_sim_log_clear();
    ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_STALL, 2, 0);  // the erase and one poll
    EXPECT_EQ(ops.eraseChip(), OpResult::Failed);
    int polls = 0;
    for (int code : commands()) polls += code == CmdPollStatus;
    EXPECT_EQ(polls, 1);
    ops.endJob();
    EXPECT_EQ(ostrel_sim_timeouts(device), 2) << "the failed poll and the end of the job";

    // A chip-ID reply that is too short, or lost, is no answer: neither an ID
    // nor an empty socket.
    for (int fault : {OSTREL_SIM_FAULT_SHORT_READ, OSTREL_SIM_FAULT_READ_TIMEOUT}) {
        restart();
        useChip(ClassSpiFlash25, 0x1000, 256);
        ostrel_sim_set_fault(device, fault, 1, 3);
        const IdReply reply = ops.readChipId();
        EXPECT_EQ(reply.outcome, IdReply::Outcome::NoAnswer);
        EXPECT_FALSE(reply.countsAsChip());
        EXPECT_FALSE(reply.emptySocket());
        EXPECT_EQ(ostrel_sim_in_job(device), 0) << "the job was ended";
    }
}

}  // namespace
}  // namespace ostrel::testing
