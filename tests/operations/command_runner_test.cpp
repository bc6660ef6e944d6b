// The chip commands as the user runs them: what each logs, when it beeps, what
// a failure leaves, one command at a time, and batch mode from press to release.

#include "operations/command_runner.h"

#include <stdexcept>

#include "operations/window_presenter.h"
#include "sim_fixture.h"

namespace ostrel::testing {
namespace {

class Runner : public SimFixture {
  protected:
    void SetUp() override {
        SimFixture::SetUp();
        useChip(ClassSpiFlash25, 0x1000, 256);
        // Bytes that do not repeat, so that a read of them gives no warning.
        for (int i = 0; i < 0x1000; ++i) flash()[i] = static_cast<uint8_t>(i * 5 + (i >> 8));
        buffers().flashDataLength = 0x1000;
        ui.clockText = "14:03:27";
        ui.onProcessEvents = [this] { ui.nowMs += 400; };
        runner.presenter = &presenter;
    }
};

TEST_F(Runner, EachCommandLogsOnlyWhatItCompleted) {
    // Every event the fixture processes takes 400 ms, every pause its time:
    // 16 blocks are 6.4 s, the erase three polls of 450 ms, Auto both and 350 ms.
    struct Case {
        ChipCommand command;
        int fault;  // armed after the set-up, 0 for none
        CommandStatus status;
        const char* line;  // the completion line, "" for none
        int beeps;
        const char* elapsed;  // panel 3 afterwards, "untouched" when not shown
        bool lineBeforeBeep;
    };
    const Case cases[] = {
        {ChipCommand::Auto, 0, CommandStatus::Done, "AUTO Complete! (14:03:27)", 1, "00:00:14",
         true},
        {ChipCommand::Verify, 0, CommandStatus::Done, "Verify Complete! (14:03:27)", 1, "00:00:06",
         true},
        {ChipCommand::Read, 0, CommandStatus::Done, "Read Complete! (14:03:27)", 1, "00:00:06",
         false},
        {ChipCommand::Erase, 0, CommandStatus::Done, "Erase Complete! (14:03:27)", 1, "00:00:01",
         false},
        {ChipCommand::BlankCheck, 0, CommandStatus::Done, "Bank Complete! (14:03:27)", 1,
         "00:00:06", true},
        {ChipCommand::Write, 0, CommandStatus::Done, "Write Complete! (14:03:27)", 1, "00:00:06",
         false},
        // A verify difference at 0x7FF, in the eighth block: no line, yet the time and the beep.
        {ChipCommand::Verify, 0, CommandStatus::Mismatch, "", 1, "00:00:02", false},
        {ChipCommand::Write, OSTREL_SIM_FAULT_UNPLUG, CommandStatus::Failed, "", 0, "untouched",
         false},
        {ChipCommand::Read, OSTREL_SIM_FAULT_STALL, CommandStatus::Failed, "", 0, "untouched",
         false},
        {ChipCommand::Auto, OSTREL_SIM_FAULT_BUSY_FOREVER, CommandStatus::Failed, "", 0,
         "untouched", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << static_cast<int>(c.command) << " fault " << c.fault);
        ui.log.clear();
        ui.beeps = 0;
        ui.boxes.clear();
        ui.statusPanels[PanelElapsed] = "untouched";
        ostrel_sim_set_plugged(device, 1);
        ostrel_sim_clear_faults(device);
        if (c.status == CommandStatus::Mismatch) {
            const uint8_t other = 0x00;
            ostrel_sim_chip_write(device, 0x7FF, &other, 1);
        }
        if (c.fault != 0) ostrel_sim_set_fault(device, c.fault, 4, 0);
        const CommandStatus status = runner.run(c.command).status;
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(ui.log,
                  c.line[0] ? std::vector<std::string>{c.line} : std::vector<std::string>{});
        EXPECT_EQ(ui.beeps, c.beeps);
        EXPECT_EQ(ui.statusPanels[PanelElapsed], c.elapsed);
        if (c.beeps == 1) {
            EXPECT_EQ(ui.logLinesAtBeep, c.lineBeforeBeep ? 1u : 0u);
        }
        EXPECT_EQ(ui.boxes.empty(), c.status == CommandStatus::Done);
        EXPECT_FALSE(runner.lock().jobRunning());
        EXPECT_EQ(ostrel_sim_in_job(device), 0);
    }
}

// Read and Write of the third type, Auto and batch mode with it, and Erase of a
// class without an erase move nothing: the box says so in the window's
// language, and nothing is timed, beeped or logged as complete.
TEST_F(Runner, ACommandThatWouldMoveNothingSaysSoAndCompletesNothing) {
    struct Case {
        ChipCommand command;
        uint8_t chipClass;
        int32_t typeIndex;
        int language;
        const char* type;
        const char* box;
    };
    const Case cases[] = {
        {ChipCommand::Read, ClassEeprom93, 2, LangEnglish, "93_EEPROM",
         "This programmer cannot read or write chips of the type 93_EEPROM; nothing was "
         "transferred."},
        {ChipCommand::Write, ClassEeprom93, 2, LangSimplified, "93_EEPROM",
         "本编程器不能读写 93_EEPROM 类型的芯片，什么也没有传送。"},
        {ChipCommand::Auto, ClassEeprom93, 2, LangTraditional, "93_EEPROM",
         "本編程器不能讀寫 93_EEPROM 類型的晶片，什麼也沒有傳送。"},
        {ChipCommand::Erase, ClassEeprom95, 3, LangEnglish, "95_EEPROM",
         "This programmer cannot erase chips of the type 95_EEPROM; nothing was erased."},
        {ChipCommand::Erase, ClassAvr, 4, LangEnglish, "AVR",
         "This programmer cannot erase chips of the type AVR; nothing was erased."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        useChip(c.chipClass, 0x100, 16);
        const uint8_t held[2] = {0x12, 0x34};
        ostrel_sim_chip_write(device, 0, held, 2);
        flash()[0] = 0x56;
        buffers().flashDataLength = 0x100;
        state->typeIndex = c.typeIndex;
        state->language = c.language;
        presenter.typeText = [&c] { return std::string(c.type); };
        ui = ScriptedUi{};
        ui.statusPanels[PanelElapsed] = "untouched";
        ostrel_sim_log_clear();
        EXPECT_EQ(runner.run(c.command).status, CommandStatus::Skipped);
        EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{c.box});
        EXPECT_TRUE(ui.log.empty());
        EXPECT_EQ(ui.beeps, 0);
        EXPECT_EQ(ui.statusPanels[PanelElapsed], "untouched");
        EXPECT_EQ(commands(), (std::vector<int>{CmdBeginJob, CmdEndJob}))
            << "nothing but the set-up and the end";
        uint8_t chipNow[2] = {};
        ostrel_sim_chip_read(device, 0, chipNow, 2);
        EXPECT_EQ(chipNow[0], 0x12);
        EXPECT_EQ(flash()[0], 0x56);
    }

    // Blank check of the third type reads the chip, and completes.
    useChip(ClassEeprom93, 0x100, 16);
    state->typeIndex = 2;
    ui = ScriptedUi{};
    EXPECT_EQ(runner.run(ChipCommand::BlankCheck).status, CommandStatus::Done);
    EXPECT_EQ(ui.log.size(), 1u);

    // Batch mode with the third type: the Auto of the first chip says so and
    // ends batch mode; nothing but ID reads reached the programmer.
    state->language = LangEnglish;
    presenter.typeText = [] { return std::string("93_EEPROM"); };
    ui = ScriptedUi{};
    int polls = 0;
    ui.onProcessEvents = [&] {
        if (++polls > 50) runner.stopBatch();
    };
    ostrel_sim_log_clear();
    runner.startBatch();
    EXPECT_FALSE(runner.lock().batchActive());
    EXPECT_LE(polls, 50) << "batch mode went on polling";
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].text.find("cannot read or write chips of the type 93_EEPROM"),
              std::string::npos);
    EXPECT_TRUE(ui.log.empty());
    for (int code : commands())
        EXPECT_TRUE(code == CmdBeginJob || code == CmdReadId || code == CmdEndJob) << code;
}

// Batch mode's count: kinds 1 to 127 count a chip, 0 (an empty socket) starts
// again, and 128 to 255 neither count nor start again.
TEST_F(Runner, BatchKindsAbove127NeitherCountNorReset) {
    struct Case {
        const char* what;
        std::vector<int> kinds;  // the kind each poll answers with, in order
        int32_t count;           // batchCount after the last of them
    };
    const Case cases[] = {
        {"five chips", {1, 1, 1, 1, 1}, 5},         {"a socket emptied", {1, 1, 1, 0, 1}, 1},
        {"kind 128 in between", {1, 1, 128, 1}, 3}, {"kind 255 alone", {255, 255, 255}, 0},
        {"kind 127 counts", {127, 200, 127}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::size_t poll = 0;
        int32_t count = -1;
        ostrel_sim_set_id_kind(device, c.kinds[0]);
        ui.onProcessEvents = [&] {
            if (runner.lock().jobRunning()) return;
            if (++poll == c.kinds.size()) {
                count = runner.batchCount();
                runner.stopBatch();
                return;
            }
            ostrel_sim_set_id_kind(device, c.kinds[poll]);
        };
        runner.startBatch();
        EXPECT_EQ(count, c.count);
        EXPECT_TRUE(ui.log.empty()) << "no Auto ran";
    }
}

TEST(RunnerElapsedText, HoursMinutesAndSecondsOfTheMilliseconds) {
    struct Case {
        int64_t ms;
        const char* text;
    } cases[] = {
        {0, "00:00:00"},        {999, "00:00:00"},        {59999, "00:00:59"},
        {60000, "00:01:00"},    {3599999, "00:59:59"},    {3600000, "01:00:00"},
        {86399999, "23:59:59"}, {360000000, "100:00:00"},
    };
    for (const Case& c : cases) EXPECT_EQ(elapsedText(c.ms), c.text) << c.ms;
}

TEST_F(Runner, ACommandThatArrivesDuringAnotherIsRefused) {
    std::vector<CommandStatus> refused;
    std::vector<bool> busy;
    int changes = 0;
    runner.lock().onChanged = [&] { ++changes; };
    ui.onProcessEvents = [&] {
        busy.push_back(runner.lock().jobRunning());
        refused.push_back(runner.run(ChipCommand::Erase).status);
        runner.startBatch();  // refused as well: returns at once
    };
    EXPECT_EQ(runner.run(ChipCommand::Read).status, CommandStatus::Done);
    ASSERT_EQ(refused.size(), 16u);
    for (std::size_t i = 0; i < refused.size(); ++i) {
        EXPECT_EQ(refused[i], CommandStatus::NotRun);
        EXPECT_TRUE(busy[i]);
    }
    EXPECT_EQ(changes, 2) << "busy, then idle";
    // The read's line and, the chip being blank, the line that says so.
    EXPECT_EQ(ui.log, (std::vector<std::string>{"Read Complete! (14:03:27)",
                                                "Every byte read is FF: the chip is blank."}));
    // No packet of a second job went out inside the first: the simulator
    // checks every packet against the job it is in.
}

TEST_F(Runner, AnExceptionInTheMiddleStillEndsTheJobAndFreesTheControls) {
    ui.onProcessEvents = [] { throw std::runtime_error("escaped from an event"); };
    EXPECT_THROW(runner.run(ChipCommand::Read).status, std::runtime_error);
    EXPECT_FALSE(runner.lock().jobRunning());
    EXPECT_EQ(ostrel_sim_in_job(device), 0);
    EXPECT_EQ(ostrel_sim_open_handles(device), 0);
    EXPECT_THROW(runner.startBatch(), std::runtime_error);
    EXPECT_FALSE(runner.lock().batchActive());
    ui.onProcessEvents = nullptr;
    EXPECT_EQ(runner.run(ChipCommand::Read).status, CommandStatus::Done)
        << "nothing is left locked";
}

TEST_F(Runner, NothingToWriteOrVerifyRunsNoJob) {
    buffers().flashDataLength = 0;
    for (ChipCommand command : {ChipCommand::Write, ChipCommand::Verify, ChipCommand::Auto})
        EXPECT_EQ(runner.run(command).status, CommandStatus::NotRun);
    EXPECT_TRUE(log(0).empty());
    EXPECT_TRUE(ui.boxes.empty());
}

// Batch mode from press to release: polls that count a chip, Auto on the
// sixth, a chip taken out and another put in, release in the middle of an
// Auto, and a failure that ends batch mode by itself.
TEST_F(Runner, BatchModeProgramsEachChipOnceAndEndsOnReleaseOrFailure) {
    std::vector<bool> active;
    runner.lock().onChanged = [&] { active.push_back(runner.lock().batchActive()); };
    int polls = 0;
    int autoStarts = 0;
    bool inAuto = false;
    ui.onProcessEvents = [&] {
        if (runner.lock().jobRunning()) {
            if (!inAuto) ++autoStarts;
            inAuto = true;
            // The release comes while the second chip is being programmed.
            if (autoStarts == 2 && runner.lock().batchActive()) runner.stopBatch();
            return;
        }
        inAuto = false;
        if (++polls > 100) {
            ADD_FAILURE() << "batch mode does not end";
            runner.stopBatch();
        }
        // The socket is emptied after the first Auto and filled again two polls later.
        if (polls == 8) ostrel_sim_remove_chip(device);
        if (polls == 10) ostrel_sim_insert_chip(device, ClassSpiFlash25, 0xEF4016, 0x1000, nullptr);
    };
    ui.log.clear();
    runner.startBatch();
    int autos = 0;
    for (const auto& line : ui.log) autos += line.rfind("AUTO Complete!", 0) == 0;
    EXPECT_FALSE(runner.lock().batchActive());
    EXPECT_EQ(runner.batchCount(), 0);
    // Polls 1-5 count the chip and poll 6 runs Auto; the poll after the chip
    // was taken out (9) resets the count; the new chip counts from poll 11 and
    // runs Auto at 16, and the release inside that Auto lets it finish before
    // the loop ends.
    EXPECT_EQ(autos, 2);
    EXPECT_EQ(polls, 16);
    ASSERT_FALSE(active.empty());
    EXPECT_EQ(active.front(), true);
    EXPECT_EQ(active.back(), false);
    int pauses150 = 0;
    for (int p : ui.pauses) pauses150 += p == 150;
    EXPECT_EQ(pauses150, 15);

    // A transfer failure in the Auto of batch mode ends batch mode too.
    int guard = 0;
    ui.onProcessEvents = [&] {
        if (++guard > 10000) runner.stopBatch();
    };
    ui.boxes.clear();
    ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_WRITE_PROTECT, 0, 0);
    ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_STALL, 6 * 4 + 6, 0);
    runner.startBatch();
    EXPECT_LT(guard, 10000) << "batch mode went on after the failure";
    EXPECT_FALSE(runner.lock().batchActive());
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].text.find("did not answer"), std::string::npos);
}

// A read replaces what the views showed: nothing typed before it can be taken back.
TEST_F(Runner, AReadForgetsTheUndoHistory) {
    HexDocument& view = buffers().flashView();
    buffers().ShowFlash(0x1000);
    view.overwrite(0x10, 0x42);
    ASSERT_TRUE(buffers().flashHistory().canUndo());
    ASSERT_EQ(runner.run(ChipCommand::Read).status, CommandStatus::Done);
    EXPECT_FALSE(buffers().undo(view));
    EXPECT_EQ(view.byteAt(0x10), flash()[0x10]);
}

}  // namespace
}  // namespace ostrel::testing
