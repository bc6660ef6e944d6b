#pragma once
// A programmer simulator on bus 1, the program's core with its transport bound
// to it and one selected chip, a scripted UI and the window's presenter over
// it; plus readers for the simulator's packet log.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "operations/core.h"
#include "operations/failure_words.h"
#include "operations/programmer_ops.h"
#include "operations/window_presenter.h"
#include "ostrel_sim.h"
#include "support/scripted_ui.h"
#include "support/sim_log.h"

namespace ostrel::testing {

class SimFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        restart();
        usb.setPause([](int) {});
        std::strcpy(state->catalogue.at(0).nameText, "SPI_FLASH,Maker,TEST");
        state->language = LangEnglish;
    }
    void TearDown() override {
        EXPECT_EQ(ostrel_sim_protocol_error_count(), 0)
            << (ostrel_sim_protocol_error_count() ? ostrel_sim_protocol_error(0) : "");
        ostrel_sim_reset();
    }

    // A fresh simulator with one programmer and an empty socket, and a fresh UI.
    void restart() {
        ostrel_sim_reset();
        device = ostrel_sim_add_programmer(1);
        ui = ScriptedUi{};
    }
    ChipRecord& chip() { return state->catalogue.at(0); }
    // Selects a chip and puts the same chip into the simulator's socket.
    void useChip(uint8_t chipClass, uint32_t size, uint16_t page, uint16_t delay = 10) {
        chip().chipClass = chipClass;
        chip().flashSize = size;
        chip().flashPage = page;
        chip().delay = delay;
        chip().chipId = chipClass == ClassSpiFlash25 ? 0xEF4016 : 0;
        ostrel_sim_insert_chip(device, chipClass, chip().chipId, size, nullptr);
    }
    uint8_t* flash() { return state->buffers.flash(); }
    DataBuffers& buffers() { return state->buffers; }

    static std::vector<ostrel_sim_log_entry> log(int kind) { return simLog(kind); }
    // Command codes sent, in order.
    static std::vector<int> commands() {
        std::vector<int> codes;
        for (const auto& e : log(OSTREL_SIM_LOG_COMMAND)) codes.push_back(e.command);
        return codes;
    }
    static int blocks(int kind) {
        int n = 0;
        for (const auto& e : log(kind)) n += e.blocks;
        return n;
    }
    std::string text(Msg key) const { return messageText(key, state->language); }
    // The box the window shows for the last operation's failure; "" for none.
    std::string failureBox() const {
        return ops.failure() ? failureText(*ops.failure(), state->language, "") : std::string();
    }

    int device = -1;
    ScriptedUi ui;
    Core core{ui, OSTREL_SIM_LIBRARY};
    MainState* const state = &core.state();
    TUsbBulk& usb = core.usb();
    ProgrammerOps& ops = core.ops();
    CommandRunner& runner = core.runner();
    WindowPresenter presenter{ui, state->language};
};

}  // namespace ostrel::testing
