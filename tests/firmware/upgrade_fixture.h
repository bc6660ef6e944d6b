#pragma once
// A programmer with a boot loader in the simulator, the transport and the HID
// device bound to the two stand-ins, and the Hardware command's core over them.

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "base/messages.h"
#include "firmware/firmware_upgrade.h"
#include "ostrel_sim.h"
#include "support/scripted_ui.h"
#include "support/sim_log.h"
#include "support/temp_files.h"

namespace ostrel::testing {

class UpgradeFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        ostrel_sim_reset();
        device = ostrel_sim_add_programmer(1);
        ostrel_sim_set_bootloader(device, 2);
        usb.setPause([](int) {});
        state->language = LangEnglish;
    }
    void TearDown() override {
        EXPECT_EQ(ostrel_sim_protocol_error_count(), 0)
            << (ostrel_sim_protocol_error_count() ? ostrel_sim_protocol_error(0) : "");
        ostrel_sim_reset();
    }

    // A raw firmware file whose byte i is i * 7 + 1 (low 8 bits), but for the
    // stack pointer and reset address of the programmer's firmware at 0x3000
    // (when the file reaches so far): `vectors`, little-endian.
    std::string firmwareFile(size_t size, const std::string& name = "fw.xpro",
                             std::array<uint32_t, 2> vectors = {0x20030000, 0x08003131}) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + 1);
        for (size_t i = 0; i < 8 && 0x3000 + i < size; ++i)
            bytes[0x3000 + i] = static_cast<char>(vectors[i / 4] >> (8 * (i % 4)));
        const std::string path = dir.file(name);
        writeFile(path, bytes);
        return path;
    }
    static std::vector<ostrel_sim_log_entry> log(int kind) { return simLog(kind); }
    // The codes of the reports the boot loader took, in order.
    static std::vector<int> reportCodes() {
        std::vector<int> codes;
        for (const auto& e : log(OSTREL_SIM_LOG_HID_WRITE))
            if (e.result > 0) codes.push_back(e.command);
        return codes;
    }
    std::vector<uint8_t> bootImage() const {
        std::vector<uint8_t> image(
            static_cast<size_t>(ostrel_sim_bootloader_image(device, nullptr, 0)));
        ostrel_sim_bootloader_image(device, image.data(), static_cast<int>(image.size()));
        return image;
    }
    int pausesOf(int ms) const {
        int n = 0;
        for (int p : ui.pauses) n += p == ms ? 1 : 0;
        return n;
    }
    std::string text(Txt key) const { return programText(key, LangEnglish); }

    TempDir dir;
    int device = -1;
    std::unique_ptr<MainState> state = std::make_unique<MainState>();
    ScriptedUi ui;
    TUsbBulk usb{OSTREL_SIM_DIR "/libusb-0.1.so.4"};
    ProgrammerOps ops{*state, usb, ui};
    HidDevice hid{OSTREL_SIM_DIR "/libhidapi-hidraw.so.0"};
    FirmwareUpgrade firmware{state->language, ops, hid, ui};
};

}  // namespace ostrel::testing
