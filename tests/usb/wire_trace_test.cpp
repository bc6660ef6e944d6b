// The wire trace of a detect, line by line against the simulator's own log of
// the same transfers.

#include "usb/wire_trace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "base/quiet_ui.h"
#include "operations/main_state.h"
#include "operations/programmer_ops.h"
#include "ostrel_sim.h"
#include "support/sim_log.h"
#include "support/temp_files.h"
#include "usb/usb_bulk.h"

namespace ostrel {
namespace {

std::string hex(const uint8_t* bytes, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        char digits[4];
        std::snprintf(digits, sizeof digits, i == 0 ? "%02X" : " %02X", bytes[i]);
        text += digits;
    }
    return text;
}

TEST(WireTrace, ADetectIsTracedTransferByTransferAsTheProgrammerSawIt) {
    ostrel_sim_reset();
    const int device = ostrel_sim_add_programmer(1);
    ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x800000, nullptr);
    testing::TempDir dir;
    auto trace = WireTrace::toFile(dir.file("trace.txt"));
    ASSERT_TRUE(trace);
    EXPECT_FALSE(WireTrace::toFile(dir.file("no/such/folder/trace.txt")));

    MainState state;
    QuietUi ui;
    TUsbBulk usb(OSTREL_SIM_LIBRARY);
    usb.setPause([](int) {});
    usb.setTrace(trace.get());
    ProgrammerOps ops(state, usb, ui);
    const IdReply reply = ops.readChipId();
    ASSERT_TRUE(reply.answered());
    trace->note("detect done");
    trace.reset();

    // What the trace calls each kind of the simulator's log.
    const struct {
        int kind;
        const char* what;
        const char* endpoint;
        bool wholePacket;
    } kinds[] = {
        {OSTREL_SIM_LOG_OPEN, "open", "-", false},
        {OSTREL_SIM_LOG_CONTROL, "ctl", "-", false},
        {OSTREL_SIM_LOG_CLAIM, "claim", "-", false},
        {OSTREL_SIM_LOG_COMMAND, "out", "02", true},
        {OSTREL_SIM_LOG_REPLY, "in", "82", true},
        {OSTREL_SIM_LOG_RELEASE, "release", "-", false},
        {OSTREL_SIM_LOG_CLOSE, "close", "-", false},
    };
    std::istringstream lines(testing::readFile(dir.file("trace.txt")));
    std::vector<std::string> whats;
    long long lastMicros = -1;
    for (const ostrel_sim_log_entry& e : testing::simLog(0)) {
        std::string line;
        ASSERT_TRUE(std::getline(lines, line)) << "no line for " << e.text;
        std::istringstream fields(line);
        long long micros = -1;
        std::string what, endpoint;
        int length = -1, result = 0;
        fields >> micros >> what >> endpoint >> length >> result;
        std::string bytes;
        std::getline(fields >> std::ws, bytes);
        EXPECT_GE(micros, lastMicros) << line;
        lastMicros = micros;
        whats.push_back(what);
        EXPECT_EQ(result, e.result) << line;
        for (const auto& k : kinds) {
            if (k.kind != e.kind) continue;
            EXPECT_EQ(what, k.what) << line << " / " << e.text;
            EXPECT_EQ(endpoint, k.endpoint) << line;
            if (k.wholePacket) {
                EXPECT_EQ(length, 64) << line;
                EXPECT_EQ(bytes, hex(e.bytes, 64)) << e.text;
            }
        }
        if (e.kind == OSTREL_SIM_LOG_OPEN) {
            EXPECT_EQ(bytes, "001/001");
        }
    }
    EXPECT_EQ(whats, (std::vector<std::string>{"open", "ctl", "ctl", "claim", "out", "in", "out",
                                               "release", "close"}));
    std::string rest;
    std::getline(lines, rest);
    EXPECT_EQ(rest, "# detect done");
    // The reply carries the kind and the chip's ID.
    EXPECT_EQ(reply.kind, 1);
    EXPECT_EQ(reply.id, 0xEF4017u);
    ostrel_sim_reset();
}

}  // namespace
}  // namespace ostrel
