// Jobs against the simulator: open, end, chip ID, hardware information, and
// the refusals that must send nothing.

#include <functional>

#include "sim_fixture.h"

namespace ostrel::testing {
namespace {

using JobSteps = SimFixture;

TEST_F(JobSteps, NoProgrammerShowsOneBoxAndSendsNothing) {
    // A device with the programmer's IDs and another product string: it is
    // looked at and put back, and nothing is sent to it.
    ostrel_sim_reset();
    device = ostrel_sim_add_device(1, 0x1FC8, 0x300B, "Ostrel Electronics", "Other Product");
    ui.statusPanels[PanelState] = "Not connected";
    EXPECT_EQ(ops.openJob(), 0);
    EXPECT_EQ(failureBox(), "Not connected");
    EXPECT_TRUE(ui.boxes.empty()) << "the operations show nothing themselves";
    EXPECT_TRUE(ui.statusHistory.empty());
    std::vector<int> kinds;
    for (const auto& e : log(0)) kinds.push_back(e.kind);
    EXPECT_EQ(kinds, (std::vector<int>{OSTREL_SIM_LOG_OPEN, OSTREL_SIM_LOG_CONTROL,
                                       OSTREL_SIM_LOG_CONTROL, OSTREL_SIM_LOG_CLOSE}));
}

TEST_F(JobSteps, JobResultFollowsTheChipClassAndTheSetUpGoesOutAsBuilt) {
    const std::pair<uint8_t, int> cases[] = {{ClassSpiFlash25, 6},
                                             {ClassEeprom24, 4},
                                             {ClassEeprom93, 1},
                                             {ClassEeprom95, 1},
                                             {ClassAvr, 1}};
    state->speed = 0x302;
    for (const auto& [chipClass, result] : cases) {
        SCOPED_TRACE(int(chipClass));
        useChip(chipClass, 0x80000, 256, 0x1234);
        chip().algorithm = 0x21;
        chip().voltage = 1;
        ostrel_sim_log_clear();
        ui.statusHistory.clear();
        EXPECT_EQ(ops.openJob(), result);
        EXPECT_EQ(ostrel_sim_in_job(device), 1);
        ops.endJob();
        EXPECT_EQ(ostrel_sim_in_job(device), 0);
        EXPECT_EQ(ostrel_sim_open_handles(device), 0);
        EXPECT_EQ(commands(), (std::vector<int>{CmdBeginJob, CmdEndJob}));
        // What the programmer decoded, field by field, against the record.
        ostrel_sim_setup setup{};
        ASSERT_EQ(ostrel_sim_last_setup(device, &setup), 0);
        EXPECT_EQ(setup.command, CmdBeginJob);
        EXPECT_EQ(setup.chipClass, chipClass);
        EXPECT_EQ(setup.algorithm, 0x21);
        EXPECT_EQ(setup.page, 256u);
        EXPECT_EQ(setup.delay, 0x1234u);
        EXPECT_EQ(setup.size, 0x80000u);
        EXPECT_EQ(setup.chipId, chip().chipId);
        EXPECT_EQ(setup.speed, 0x02) << "the low byte of the speed setting";
        EXPECT_EQ(setup.voltage, 1);
        EXPECT_EQ(ui.statusHistory, std::vector<std::string>{"Connected"});
    }
}

TEST_F(JobSteps, ChipIdIsAJobOfItsOwn) {
    useChip(ClassSpiFlash25, 0x400000, 256);
    IdReply reply = ops.readChipId();
    EXPECT_TRUE(reply.hasId());
    EXPECT_EQ(reply.id, 0xEF4016u);
    EXPECT_EQ(commands(), (std::vector<int>{CmdReadId, CmdEndJob}));
    EXPECT_EQ(ui.statusPanels[PanelState], "Connected");

    // An empty socket still answers: the kind tells the caller.
    ostrel_sim_remove_chip(device);
    reply = ops.readChipId();
    EXPECT_TRUE(reply.answered());
    EXPECT_FALSE(reply.hasId());

    // With an empty catalogue the set-up is a record of zeros, which the
    // programmer takes (the fixture fails on any protocol error).
    chip() = ChipRecord{};
    EXPECT_TRUE(ops.readChipId().answered());
    ostrel_sim_setup setup{};
    ASSERT_EQ(ostrel_sim_last_setup(device, &setup), 0);
    EXPECT_EQ(setup.command, CmdReadId);
    EXPECT_EQ(setup.size, 0u);
    EXPECT_EQ(setup.page, 0u);
    EXPECT_EQ(setup.chipClass, 0);

    ostrel_sim_reset();
    ui.statusHistory.clear();
    EXPECT_EQ(ops.readChipId().outcome, IdReply::Outcome::NoProgrammer);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(ui.statusHistory.empty());
}

TEST_F(JobSteps, HardwareInformationAndUpgradeRequest) {
    ostrel_sim_set_hardware_info(device, "V2.3", "1.2.34", "ABCDEFGHIJKLM");
    HardwareInfo info;
    ASSERT_TRUE(ops.readHardwareInfo(info));
    EXPECT_EQ(info.hardwareVersion, "V2.3");
    EXPECT_EQ(info.firmwareVersion, "1.2.3");
    EXPECT_EQ(info.serialNumber, "ABCDEFGHIJKLM");
    EXPECT_TRUE(ops.enterUpgrade());
    EXPECT_EQ(ostrel_sim_upgrade_requests(device), 1);
    EXPECT_EQ(commands(), (std::vector<int>{CmdHardwareInfo, CmdEnterUpgrade}));
    EXPECT_EQ(ostrel_sim_open_handles(device), 0);

    ostrel_sim_reset();
    info.serialNumber = "kept";
    EXPECT_FALSE(ops.readHardwareInfo(info));
    EXPECT_FALSE(ops.enterUpgrade());
    EXPECT_EQ(info.serialNumber, "kept");
    EXPECT_TRUE(ui.boxes.empty());
}

// Each stream sends 0xB7 before its set-address only for chips above 16 MiB.
TEST_F(JobSteps, FourByteAddressingOnlyAbove16MiB) {
    for (uint32_t size : {0x1000000u, 0x1000001u}) {
        SCOPED_TRACE(size);
        const bool expected = size > 0x1000000;
        useChip(ClassSpiFlash25, size, 256);
        buffers().flashDataLength = 256;
        const std::function<OpResult()> streams[] = {
            [this] { return ops.readFlash(); }, [this] { return ops.blankCheck(); },
            [this] { return ops.verifyFlash(); }, [this] { return ops.writeFlash(); }};
        for (const auto& stream : streams) {
            ASSERT_NE(ops.openJob(), 0);
            ostrel_sim_log_clear();
            stream();
            ops.endJob();
            const auto sent = commands();
            ASSERT_GE(sent.size(), 2u);
            EXPECT_EQ(sent[0] == CmdSpiRaw, expected);
            if (expected) {
                EXPECT_EQ(log(OSTREL_SIM_LOG_COMMAND)[0].bytes[4], 0xB7);
            }
            EXPECT_EQ(sent[expected ? 1 : 0], CmdSetAddress);
        }
    }
}

TEST_F(JobSteps, ChipAbove64MiBIsRefusedBeforeAnythingIsSent) {
    useChip(ClassSpiFlash25, 0x100000, 256);
    chip().flashSize = 0x4000001;
    buffers().flashDataLength = 0x100;
    EXPECT_EQ(ops.openJob(), 0);
    EXPECT_NE(failureBox().find("64 MB"), std::string::npos);
    EXPECT_TRUE(log(0).empty()) << "the programmer is not even opened";
    // Called without a job, the streams refuse too and touch nothing.
    const std::function<OpResult()> streams[] = {[this] { return ops.readFlash(); },
                                                 [this] { return ops.verifyFlash(); },
                                                 [this] { return ops.writeFlash(); }};
    for (const auto& stream : streams) {
        EXPECT_EQ(stream(), OpResult::Failed);
        EXPECT_NE(failureBox().find("64 MB"), std::string::npos);
    }
    EXPECT_TRUE(log(0).empty());
}

}  // namespace
}  // namespace ostrel::testing
