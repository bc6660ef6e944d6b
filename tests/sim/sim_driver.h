#pragma once
// Drives the simulated programmer through TUsbBulk with hand-built packets, the
// way the host's command layer does, so the simulator's chip model and packet
// checks can be tested on their own.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ostrel_sim.h"
#include "support/sim_log.h"
#include "usb/programmer_identity.h"
#include "usb/usb_bulk.h"

namespace ostrel::testing {

using Packet = std::array<uint8_t, kPacketSize>;

class SimDriver : public ::testing::Test {
  protected:
    void SetUp() override {
        ostrel_sim_reset();
        device = ostrel_sim_add_programmer(1);
        usb.setPause([](int) {});
    }
    void TearDown() override {
        usb.USB_bulk_close();
        ostrel_sim_reset();
    }

    bool open() {
        const char* product = winusb ? "WinUSB1" : kProgrammerProductText;
        return usb.prog_open(kProgrammerVendorId, kProgrammerVendorText, kProgrammerProductId,
                             product) == 1;
    }
    void put16(Packet& p, int at, uint32_t v) const {
        const uint8_t hi = static_cast<uint8_t>(v >> 8), lo = static_cast<uint8_t>(v);
        p[at] = winusb ? lo : hi;
        p[at + 1] = winusb ? hi : lo;
    }
    void put32(Packet& p, int at, uint32_t v) const {
        put16(p, winusb ? at + 2 : at, v >> 16);
        put16(p, winusb ? at : at + 2, v & 0xFFFF);
    }
    Packet command(int flag, int code) const {
        Packet p{};
        p[0] = static_cast<uint8_t>(flag);
        p[1] = static_cast<uint8_t>(code);
        return p;
    }
    Packet setupPacket(int code, int chipClass, uint32_t page, uint32_t size, uint32_t delay = 5,
                       uint32_t id = 0) const {
        Packet p = command(0, code);
        p[2] = static_cast<uint8_t>(chipClass);
        put16(p, 4, page);
        put16(p, 6, delay);
        put32(p, 8, size);
        put32(p, 12, id);
        return p;
    }
    // Sends a packet; with a reply, returns it in place.
    int send(Packet& p, bool reply) { return usb.USB_bulk_cmd(p.data(), kPacketSize, reply); }
    Packet exchange(Packet p) {
        send(p, true);
        return p;
    }

    // Opens the device and begins a job for a chip of the given set-up.
    void begin(int chipClass, uint32_t page, uint32_t size) {
        ASSERT_TRUE(open());
        page_ = page;
        exchange(setupPacket(7, chipClass, page, size));
    }
    void setAddress(uint32_t address, bool reply) {
        Packet p = command(0, 5);
        put32(p, 8, address);
        send(p, reply);
    }
    void spiRaw(uint8_t opcode) {
        Packet p = command(0, 11);
        p[2] = 3;
        p[3] = 1;
        p[4] = opcode;
        exchange(p);
    }
    void erase(uint32_t argument) {
        Packet p = command(1, 2);
        put16(p, 26, argument);
        send(p, false);
    }
    bool pollBusy() { return (exchange(command(0, 10))[0] & 1) != 0; }
    void end() {
        Packet p = command(1, 8);
        send(p, false);
        usb.USB_bulk_close();
    }
    uint32_t block() const { return page_ < 64 ? 64 : page_; }
    // Reads `length` bytes (whole blocks) from `address`.
    std::vector<uint8_t> read(uint32_t address, uint32_t length) {
        setAddress(address, true);
        std::vector<uint8_t> out(length, 0);
        for (uint32_t at = 0; at < length; at += block()) {
            usb.USB_bulk_read(out.data() + at, static_cast<int>(block()));
        }
        return out;
    }
    void write(uint32_t address, const std::vector<uint8_t>& data) {
        setAddress(address, false);
        for (uint32_t at = 0; at < data.size(); at += block()) {
            usb.USB_bulk_write(data.data() + at, static_cast<int>(block()));
        }
    }
    std::vector<uint8_t> chip(uint32_t address, uint32_t length) const {
        std::vector<uint8_t> out(length);
        EXPECT_EQ(ostrel_sim_chip_read(device, address, out.data(), length), 0);
        return out;
    }
    void fillChip(uint32_t address, uint32_t length, uint8_t value) const {
        std::vector<uint8_t> bytes(length, value);
        ASSERT_EQ(ostrel_sim_chip_write(device, address, bytes.data(), length), 0);
    }
    static std::string errors() {
        std::string all;
        for (int i = 0; i < ostrel_sim_protocol_error_count(); ++i) {
            all += ostrel_sim_protocol_error(i);
            all += "\n";
        }
        return all;
    }
    static std::vector<ostrel_sim_log_entry> log(int kind) { return simLog(kind); }

    int device = -1;
    bool winusb = false;
    uint32_t page_ = 256;
    TUsbBulk usb{OSTREL_SIM_LIBRARY};
};

}  // namespace ostrel::testing
