// What the simulated programmer refuses, what it logs, and the faults it
// injects on demand.

#include <cstring>

#include "sim_driver.h"

namespace ostrel::testing {
namespace {

using PacketChecks = SimDriver;

Packet withByte(Packet p, int at, uint8_t value) {
    p[at] = value;
    return p;
}
using Faults = SimDriver;

TEST_F(PacketChecks, OnlyIdentificationAndInformationWorkOutsideAJob) {
    struct Case {
        int flag;
        int code;
        bool accepted;
    };
    const Case cases[] = {
        {0, 9, true},  {0, 12, true},  {0, 13, true},  {1, 2, false}, {0, 5, false},
        {1, 8, false}, {0, 10, false}, {0, 11, false}, {0, 3, false}, {1, 12, false},
    };
    ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x1000, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        ostrel_sim_clear_protocol_errors();
        ASSERT_TRUE(open());
        Packet p = c.code == 9 ? setupPacket(9, 0, 256, 0x1000) : command(c.flag, c.code & 0xFF);
        if (c.code == 11) {
            p[2] = 3;
            p[3] = 1;
            p[4] = 0xB7;
        }
        const int result = send(p, false);
        EXPECT_EQ(ostrel_sim_protocol_error_count(), c.accepted ? 0 : 1);
        EXPECT_EQ(result, c.accepted ? kPacketSize : -32);
        usb.USB_bulk_close();
    }
}

TEST_F(PacketChecks, MalformedPacketsInsideAJobAreRefused) {
    ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x1000, nullptr);
    Packet setAddress = command(0, 5);
    put32(setAddress, 8, 0x100);
    Packet erase = command(1, 2);
    put16(erase, 26, 0x8000);
    struct Case {
        const char* what;
        Packet packet;
    };
    const Case cases[] = {
        {"set-address with flag 1", withByte(setAddress, 0, 1)},
        {"set-address with a stray byte", withByte(setAddress, 40, 1)},
        {"erase with flag 0", withByte(erase, 0, 0)},
        {"erase argument in the wrong byte order", withByte(withByte(erase, 26, 0), 27, 0x80)},
        {"end of job with a stray byte", withByte(command(1, 8), 2, 1)},
        {"raw SPI without a length", withByte(command(0, 11), 2, 3)},
        {"set-up of class 5", withByte(setupPacket(7, 0, 256, 0x1000), 2, 5)},
        {"a second set-up inside a job", setupPacket(7, 0, 256, 0x1000)},
        {"identification inside a job", setupPacket(9, 0, 256, 0x1000)},
        {"hardware information inside a job", command(0, 12)},
        {"unknown command", command(0, 6)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        begin(0, 256, 0x1000);
        ostrel_sim_clear_protocol_errors();
        Packet p = c.packet;
        EXPECT_EQ(send(p, false), -32);
        EXPECT_EQ(ostrel_sim_protocol_error_count(), 1);
        end();
    }
}

TEST_F(PacketChecks, DataStreamsNeedASetAddressAndWholeBlocksOneWay) {
    ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x1000, nullptr);
    std::vector<uint8_t> block(256, 0);
    begin(0, 256, 0x1000);
    EXPECT_EQ(usb.USB_bulk_write(block.data(), 256), -32) << "no set-address yet";
    EXPECT_EQ(usb.USB_bulk_read(block.data(), 256), -110) << "nothing to send";
    setAddress(0, true);
    EXPECT_EQ(usb.USB_bulk_read(block.data(), 128), -32) << "half a block";
    EXPECT_EQ(usb.USB_bulk_read(block.data(), 256), 256);
    EXPECT_EQ(usb.USB_bulk_write(block.data(), 256), -32) << "the stream reads";
    Packet poll = command(0, 10);
    send(poll, true);
    EXPECT_EQ(usb.USB_bulk_read(block.data(), 256), -110) << "a command ends the stream";
    uint8_t shortPacket[kPacketSize] = {0, 12};
    EXPECT_EQ(usb.USB_bulk_cmd(shortPacket, 32, 0), -32);
    end();
    EXPECT_EQ(ostrel_sim_protocol_error_count(), 6) << errors();
}

TEST_F(PacketChecks, TheLogKeepsPacketsWholeAndMergesDataBlocks) {
    ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x10000, nullptr);
    begin(0, 256, 0x10000);
    ostrel_sim_log_clear();
    write(0x400, std::vector<uint8_t>(4 * 256, 0x00));
    read(0x400, 2 * 256);
    end();
    const auto commands = log(OSTREL_SIM_LOG_COMMAND);
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0].command, 5);
    EXPECT_EQ(commands[0].bytes[10], 0x04) << "0x400 most significant byte first";
    EXPECT_EQ(commands[2].command, 8);
    const auto out = log(OSTREL_SIM_LOG_DATA_OUT);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].blocks, 4);
    EXPECT_EQ(out[0].total, 1024u);
    EXPECT_EQ(out[0].address, 0x400u);
    EXPECT_EQ(out[0].endpoint, 1);
    const auto in = log(OSTREL_SIM_LOG_DATA_IN);
    ASSERT_EQ(in.size(), 1u);
    EXPECT_EQ(in[0].blocks, 2);
    EXPECT_EQ(in[0].endpoint, 0x82);
    EXPECT_EQ(log(OSTREL_SIM_LOG_REPLY).size(), 1u);
}

TEST_F(Faults, ATimedOutReadLosesItsBlockAndTheStreamGoesOn) {
    ostrel_sim_insert_chip(device, 1, 0, 0x400, nullptr);
    for (uint32_t a = 0; a < 0x400; a += 256) fillChip(a, 256, static_cast<uint8_t>(a >> 8));
    begin(1, 256, 0x400);
    setAddress(0, true);
    ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_READ_TIMEOUT, 1, 0);
    ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_SHORT_READ, 2, 10);
    std::vector<uint8_t> block(256, 0xEE);
    EXPECT_EQ(usb.USB_bulk_read(block.data(), 256), -110);
    EXPECT_EQ(block[0], 0xEE) << "no data";
    EXPECT_EQ(usb.USB_bulk_read(block.data(), 256), 10);
    EXPECT_EQ(block[9], 0x01);
    EXPECT_EQ(block[10], 0xEE);
    EXPECT_EQ(usb.USB_bulk_read(block.data(), 256), 256);
    EXPECT_EQ(block[0], 0x02) << "the address advanced past the lost blocks";
    end();
    EXPECT_EQ(errors(), "");
}

TEST_F(Faults, UnplugAfterNTransfers) {
    ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x1000, nullptr);
    ASSERT_TRUE(open());
    ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_UNPLUG, 2, 0);
    Packet setup = setupPacket(7, 0, 256, 0x1000);
    EXPECT_EQ(send(setup, true), kPacketSize);
    Packet p = command(0, 12);
    EXPECT_EQ(send(p, true), -19);
    EXPECT_EQ(usb.USB_bulk_read(p.data(), kPacketSize), -19);
    usb.USB_bulk_close();
    EXPECT_FALSE(open()) << "gone from the next scan";
}

TEST_F(Faults, BusyThatNeverClears) {
    ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x1000, nullptr);
    ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_BUSY_FOREVER, 0, 0);
    begin(0, 256, 0x1000);
    erase(0x8000);
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(pollBusy()) << "poll " << i;
    end();
}

TEST_F(Faults, AWriteProtectedChipIgnoresWritesAndErases) {
    ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x1000, nullptr);
    fillChip(0, 0x1000, 0x5A);
    ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_WRITE_PROTECT, 0, 0);
    begin(0, 256, 0x1000);
    erase(0x8000);
    write(0, std::vector<uint8_t>(256, 0x00));
    EXPECT_EQ(read(0, 256), std::vector<uint8_t>(256, 0x5A));
    end();
    EXPECT_EQ(errors(), "");
}

TEST_F(Faults, TheSameFaultsGiveTheSameLogEveryTime) {
    // Reads 1 and 2 are the replies to the set-up and the set-address; read 4
    // is the second block, read 6 the fourth.
    const std::vector<std::string> expected = {
        "cmd 7 BeginJob class=0 alg=0 page=256 delay=5 size=0x1000 id=0x000000 speed=0 "
        "volt=0/64/1",
        "reply 64 bytes to BeginJob/64/1",
        "cmd 5 SetAddress addr=0x0/64/1",
        "reply 64 bytes to SetAddress/64/1",
        "data in/256/1",
        "data in lost (time-out)/-110/1",
        "data in/256/1",
        "data in short (3 of 256)/3/1",
        "data in/256/12",
        "cmd 8 EndJob/64/1",
    };
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        ostrel_sim_reset();
        device = ostrel_sim_add_programmer(1);
        ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x1000, nullptr);
        ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_READ_TIMEOUT, 4, 0);
        ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_SHORT_READ, 6, 3);
        begin(0, 256, 0x1000);
        read(0, 0x1000);
        end();
        std::vector<std::string> texts;
        for (int i = 0; i < ostrel_sim_log_count(); ++i) {
            ostrel_sim_log_entry e{};
            ostrel_sim_log_get(i, &e);
            if (e.kind < OSTREL_SIM_LOG_COMMAND) continue;  // the device search and the bracket
            texts.push_back(std::string(e.text) + "/" + std::to_string(e.result) + "/" +
                            std::to_string(e.blocks));
        }
        EXPECT_EQ(texts, expected);
        EXPECT_EQ(errors(), "");
    }
}

// The faults of a bad connection, as keys of the chip line: what the host
// reads of a chip whose content is known.
TEST_F(Faults, TheChipLineGivesABadConnection) {
    std::vector<uint8_t> content(0x1000);
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    const auto mapped = [&](uint8_t (*f)(uint8_t)) {
        std::vector<uint8_t> out(content);
        for (uint8_t& b : out) b = f(b);
        return out;
    };
    struct Case {
        const char* keys;
        std::vector<uint8_t> read;  // empty: a flaky read, checked below
        uint32_t id;
    } cases[] = {
        {"", content, 0xEF4017},
        {"stuck_bit=3", mapped([](uint8_t b) { return static_cast<uint8_t>(b & ~0x08); }),
         0xEF4017},
        {"stuck_bit=7 stuck_at=1", mapped([](uint8_t b) { return static_cast<uint8_t>(b | 0x80); }),
         0xEF4017},
        {"power=0", std::vector<uint8_t>(content.size(), 0x00), 0},
        {"flaky=512 seed=7", {}, 0xEF4017},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        std::vector<uint8_t> reads[3];
        for (int run = 0; run < 2; ++run) {
            ASSERT_EQ(
                ostrel_sim_configure_text(
                    (std::string("programmer\nchip id=0xEF4017 size=0x1000 ") + c.keys).c_str()),
                0);
            device = 0;
            ASSERT_EQ(ostrel_sim_chip_write(device, 0, content.data(), 0x1000), 0);
            begin(0, 256, 0x1000);
            reads[run] = read(0, 0x1000);
            if (run == 1) reads[2] = read(0, 0x1000);
            write(0, std::vector<uint8_t>(0x1000, 0x00));  // a chip without power keeps its bytes
            end();
            EXPECT_EQ(errors(), "");
        }
        ASSERT_TRUE(open());
        const Packet id = exchange(setupPacket(9, 0, 256, 0x1000));
        EXPECT_EQ(id[0], 1);
        EXPECT_EQ(uint32_t{id[1]} << 16 | uint32_t{id[2]} << 8 | id[3], c.id);
        end();
        if (std::string(c.keys) == "power=0") {
            EXPECT_EQ(chip(0, 0x1000), content);
        }
        if (!c.read.empty()) {
            EXPECT_EQ(reads[0], c.read);
            continue;
        }
        // The same seed, the same flips; the next read brings others. Each
        // flip is one bit, about one in every 512 bytes.
        EXPECT_EQ(reads[0], reads[1]);
        EXPECT_NE(reads[1], reads[2]);
        int flips = 0;
        for (std::size_t i = 0; i < content.size(); ++i) {
            const int bits = __builtin_popcount(reads[0][i] ^ content[i]);
            EXPECT_LE(bits, 1) << i;
            flips += bits;
        }
        EXPECT_GE(flips, 2);
        EXPECT_LE(flips, 24);
    }
}

using ProtocolOrder = SimDriver;

// A reply the protocol reads must be read before anything else happens on the
// device; the set-address reply only before a read stream.
TEST_F(ProtocolOrder, RepliesTheProtocolReadsAreRead) {
    ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x1000, nullptr);
    // Send: a packet of the code with its reply read; Leave: its reply left.
    enum Kind { Open, Send, Leave, Erase, Write, End, Close, Fault };
    struct Step {
        Kind kind;
        int value;
    };
    auto run = [this](const Step& step) {
        Packet p = step.value == 7 || step.value == 9 ? setupPacket(step.value, 0, 256, 0x1000)
                                                      : command(0, step.value);
        if (step.value == 11) p = withByte(withByte(withByte(p, 2, 3), 3, 1), 4, 0xB7);
        switch (step.kind) {
            case Open:
                ASSERT_TRUE(open());
                break;
            case Send:
            case Leave:
                send(p, step.kind == Send);
                break;
            case Erase:
                erase(0x8000);
                break;
            case Write:
                write(0x100, std::vector<uint8_t>(512, 0));
                break;
            case End:
                end();
                break;
            case Close:
                usb.USB_bulk_close();
                break;
            case Fault:
                ostrel_sim_set_fault(device, step.value, 1, 0);
                break;
        }
    };
    const std::string never = "device 0: reply to ";
    const struct {
        const char* what;
        std::vector<Step> steps;
        std::string errors;
    } cases[] = {
        {"set-up reply left for the set-address",
         {{Open, 0}, {Leave, 7}, {Send, 5}, {End, 0}},
         never + "BeginJob never read\n"},
        {"status left for the end of the job",
         {{Open, 0}, {Send, 7}, {Erase, 0}, {Leave, 10}, {End, 0}},
         never + "PollStatus never read\n"},
        {"raw SPI reply left for a write stream",
         {{Open, 0}, {Send, 7}, {Leave, 11}, {Write, 0}, {End, 0}},
         never + "SpiRaw never read\n"},
        {"identification reply left for the end of the job",
         {{Open, 0}, {Leave, 9}, {End, 0}},
         never + "ReadId never read\n"},
        {"information and upgrade replies left for the close",
         {{Open, 0}, {Leave, 12}, {Close, 0}, {Open, 0}, {Leave, 13}, {Close, 0}},
         never + "HardwareInfo never read\n" + never + "EnterUpgrade never read\n"},
        {"set-address before a write stream", {{Open, 0}, {Send, 7}, {Write, 0}, {End, 0}}, ""},
        {"set-address of a write of no blocks", {{Open, 0}, {Send, 7}, {Leave, 5}, {End, 0}}, ""},
        {"a reply lost to a time-out was asked for",
         {{Open, 0}, {Send, 7}, {Fault, OSTREL_SIM_FAULT_READ_TIMEOUT}, {Send, 10}, {End, 0}},
         ""},
        {"a reply the stalled programmer never sent",
         {{Open, 0}, {Fault, OSTREL_SIM_FAULT_STALL}, {Send, 7}, {End, 0}},
         ""},
        {"a reply the unplugged programmer never sent",
         {{Open, 0}, {Fault, OSTREL_SIM_FAULT_UNPLUG}, {Send, 7}, {Close, 0}},
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ostrel_sim_clear_protocol_errors();
        ostrel_sim_clear_faults(device);
        ostrel_sim_set_plugged(device, 1);
        for (const Step& step : c.steps) run(step);
        EXPECT_EQ(errors(), c.errors);
        EXPECT_EQ(ostrel_sim_in_job(device), 0);
    }
}

// Every field of the set-up is decoded in the personality's byte order and
// shown in the log; a detection with an empty catalogue sends a record of zeros.
TEST_F(ProtocolOrder, TheSetUpIsDecodedFieldByField) {
    ostrel_sim_setup setup{};
    ASSERT_EQ(ostrel_sim_last_setup(device, &setup), 0);
    EXPECT_EQ(setup.command, 0) << "none yet";
    EXPECT_EQ(ostrel_sim_last_setup(device + 1, &setup), -1);

    const struct {
        bool winusb;
        int code;
        ostrel_sim_setup fields;
        std::string text;
    } cases[] = {
        {false,
         7,
         {7, 3, 0x5A, 0x0102, 0x0304, 0x50607, 0xC22018, 0x77, 0x21},
         "cmd 7 BeginJob class=3 alg=90 page=258 delay=772 size=0x50607 id=0xC22018 speed=119 "
         "volt=33"},
        {true,
         7,
         {7, 4, 1, 0x0180, 0x0011, 0x1000000, 0x1E950F, 2, 5},
         "cmd 7 BeginJob class=4 alg=1 page=384 delay=17 size=0x1000000 id=0x1E950F speed=2 "
         "volt=5"},
        {false,
         9,
         {9, 0, 0, 0, 0, 0, 0, 0, 0},
         "cmd 9 ReadId class=0 alg=0 page=0 delay=0 size=0x0 id=0x000000 speed=0 volt=0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ostrel_sim_set_winusb(device, c.winusb ? 1 : 0);
        winusb = c.winusb;
        ASSERT_TRUE(open());
        ostrel_sim_log_clear();
        const ostrel_sim_setup& f = c.fields;
        Packet p = setupPacket(c.code, f.chipClass, f.page, f.size, f.delay, f.chipId);
        p[3] = static_cast<uint8_t>(f.algorithm);
        p[16] = static_cast<uint8_t>(f.speed);
        p[28] = static_cast<uint8_t>(f.voltage);
        EXPECT_EQ(send(p, true), kPacketSize);
        end();
        EXPECT_EQ(errors(), "");
        ASSERT_EQ(ostrel_sim_last_setup(device, &setup), 0);
        EXPECT_EQ(0, std::memcmp(&setup, &c.fields, sizeof setup));
        const auto sent = log(OSTREL_SIM_LOG_COMMAND);
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(std::string(sent[0].text), c.text);
    }
}

// A ticked range may reach past the chip: the programmer takes the address and
// the chip, which ignores the address bits above its size, wraps it.
TEST_F(ProtocolOrder, ASetAddressPastTheChipWrapsOnTheChip) {
    ostrel_sim_insert_chip(device, 1, 0, 0x1000, nullptr);
    fillChip(0, 0x1000, 0x00);
    fillChip(0x100, 64, 0x5A);
    const struct {
        uint32_t setupSize;
        uint32_t address;
        uint8_t read;    // the first byte read from there
        uint32_t wrote;  // where a block written there lands on the chip
        const char* text;
    } cases[] = {
        {0x1000, 0x1100, 0x5A, 0x100, "cmd 5 SetAddress addr=0x1100 past the set-up's size 0x1000"},
        {0x1000, 0x3100, 0x5A, 0x100, "cmd 5 SetAddress addr=0x3100 past the set-up's size 0x1000"},
        {0x0, 0x100, 0x5A, 0x100, "cmd 5 SetAddress addr=0x100 past the set-up's size 0x0"},
        {0x1000, 0xFC0, 0x00, 0xFC0, "cmd 5 SetAddress addr=0xFC0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        begin(1, 64, c.setupSize);
        ostrel_sim_log_clear();
        EXPECT_EQ(read(c.address, 64)[0], c.read);
        EXPECT_EQ(std::string(log(OSTREL_SIM_LOG_COMMAND)[0].text), c.text);
        write(c.address, std::vector<uint8_t>(64, 0xC3));
        end();
        EXPECT_EQ(chip(c.wrote, 64), std::vector<uint8_t>(64, 0xC3));
        fillChip(c.wrote, 64, c.read);
        EXPECT_EQ(errors(), "");
    }
}

TEST(SimConfiguration, ReportsTheFirstLineItCannotUnderstand) {
    struct Case {
        const char* text;
        int result;
    };
    const Case cases[] = {
        {"# nothing\n\nprogrammer bus=2 winusb=1\nchip id=0xEF4017 size=0x800000\n", 0},
        {"device bus=1 vid=0x1234 pid=0x5678 manufacturer=\"A B\" product=\"C\"\n", 0},
        {"chip size=0x100\n", 1},           // no programmer yet
        {"programmer\nchip class=0\n", 2},  // no size
        {"programmer bus=x\n", 1},
        {"programmer product=\"open\n", 1},
        {"device bus=1\n", 1},  // no IDs
        {"socket 1\n", 1},
        // Counts a descriptor cannot carry, and a bus number that only fits after a cut.
        {"programmer interfaces=2000000000\n", 1},
        {"programmer configurations=256\n", 1},
        {"programmer bus=4294967297\n", 1},
        // The faults of a bad connection out of their range.
        {"programmer\nchip size=0x100 stuck_bit=8\n", 2},
        {"programmer\nchip size=0x100 stuck_bit=1 stuck_at=2\n", 2},
        {"programmer\nchip size=0x100 flaky=-1\n", 2},
        {"programmer\nchip size=0x100 power=2\n", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ostrel_sim_configure_text(c.text), c.result);
    }
    ASSERT_EQ(ostrel_sim_configure_text("programmer bus=3 manufacturer=\"Other Maker\" claim=fail\n"
                                        "chip id=0xC22018 size=0x1000000 class=0 protect=1\n"),
              0);
    EXPECT_EQ(ostrel_sim_chip_size(0), 0x1000000u);
    ostrel_sim_reset();
}

}  // namespace
}  // namespace ostrel::testing
