// ostrel-cli run as a process against the simulator, as a script would run it:
// exit statuses, what goes to standard output and standard error, the files it
// writes, and what the programmer saw (the simulator's log at exit).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/catalogue_file.h"
#include "catalogue/name_text.h"
#include "support/cli_process.h"
#include "support/temp_files.h"

namespace ostrel {
namespace {

using testing::execAgainstSimulator;
using testing::holds;
using testing::randomBytes;
using testing::readFile;
using testing::TempDir;
using testing::waitForExit;
using testing::writeFile;

struct Outcome {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};

// Runs `program` with `args`, the simulator configured by `config`, its log
// written to `log`. `onOutLine` sees every line of standard output as it comes
// and may return true to have SIGINT sent to the program.
Outcome runProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& config, const std::string& log,
                   const std::function<bool(const std::string&)>& onOutLine = {},
                   const std::string& input = {}) {
    int out[2], err[2], in[2];
    if (pipe(out) != 0 || pipe(err) != 0 || pipe(in) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        if (!input.empty()) dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(in[1]);
        close(out[0]);
        close(err[0]);
        execAgainstSimulator(program, args, config, log);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    // Standard input, when given, comes through a pipe, written while the
    // program runs; a program that stops reading early must not hang the test.
    signal(SIGPIPE, SIG_IGN);
    std::thread feeder([&input, fd = in[1]] {
        std::size_t done = 0;
        while (done < input.size()) {
            const ssize_t n = write(fd, input.data() + done, input.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        close(fd);
    });
    Outcome run;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string pending;
    bool signalled = false;
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, 30000) <= 0) break;
        for (pollfd& fd : fds) {
            if (fd.fd < 0 || (fd.revents & (POLLIN | POLLHUP)) == 0) continue;
            char chunk[4096];
            const ssize_t n = read(fd.fd, chunk, sizeof chunk);
            if (n <= 0) {
                close(fd.fd);
                fd.fd = -1;
                --open;
                continue;
            }
            if (fd.fd == out[0]) {
                run.out.append(chunk, static_cast<size_t>(n));
                pending.append(chunk, static_cast<size_t>(n));
                size_t end;
                while ((end = pending.find('\n')) != std::string::npos) {
                    if (onOutLine && !signalled && onOutLine(pending.substr(0, end))) {
                        kill(pid, SIGINT);
                        signalled = true;
                    }
                    pending.erase(0, end + 1);
                }
            } else {
                run.err.append(chunk, static_cast<size_t>(n));
            }
        }
    }
    run.status = waitForExit(pid);
    feeder.join();
    return run;
}

std::string hexByte(char byte) {
    char text[8];
    std::snprintf(text, sizeof text, "%02Xh", static_cast<unsigned char>(byte));
    return text;
}

// The little-endian word at `at`, as the firmware check names it: "2002FFF0h".
std::string hexWord(const std::string& bytes, std::size_t at) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02Xh", static_cast<unsigned char>(bytes[at + 3]),
                  static_cast<unsigned char>(bytes[at + 2]),
                  static_cast<unsigned char>(bytes[at + 1]), static_cast<unsigned char>(bytes[at]));
    return text;
}

std::string joined(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& a : args) text += a + " ";
    return text;
}

ChipRecord chip(const std::string& name, uint32_t id, uint32_t size) {
    ChipRecord record{};
    setNameText(record, name);
    record.chipId = id;
    record.flashSize = size;
    record.flashPage = 256;
    record.chipClass = 0;
    record.delay = 60;
    return record;
}

// One programmer with one chip whose content lives in chip.img, and the
// program itself: the built one with the default catalogue, or a copy beside
// a catalogue of the test's own.
class Cli : public ::testing::Test {
  protected:
    void setUp(const std::string& simConfig) { writeFile(dir.file("sim.conf"), simConfig); }
    void chipInSocket(uint32_t id, uint32_t size, const std::string& extra = "") {
        char line[200];
        std::snprintf(line, sizeof line, "chip id=0x%06X size=0x%X class=0 image=\"%s\"\n", id,
                      size, dir.file("chip.img").c_str());
        setUp("programmer bus=1 " + extra + "\n" + line);
    }
    void ownCatalogue(const std::vector<ChipRecord>& records) {
        program = dir.file("ostrel-cli");
        std::filesystem::copy_file(OSTREL_BIN_DIR "/ostrel-cli", program);
        Catalogue catalogue;
        for (size_t i = 0; i < records.size(); ++i) catalogue.at(static_cast<int>(i)) = records[i];
        ASSERT_TRUE(
            saveCatalogueFile(dir.file("ostrel.Dat"), catalogue, static_cast<int>(records.size())));
    }
    Outcome cli(const std::vector<std::string>& args,
                const std::function<bool(const std::string&)>& onOutLine = {},
                const std::string& input = {}) {
        std::filesystem::remove(dir.file("sim.log"));
        return runProgram(program, args, dir.file("sim.conf"), dir.file("sim.log"), onOutLine,
                          input);
    }
    std::string chipContent() { return readFile(dir.file("chip.img")); }
    std::string simLog() { return readFile(dir.file("sim.log")); }

    TempDir dir;
    std::string program = OSTREL_BIN_DIR "/ostrel-cli";
};

// Every command in the order a bench would use them, on one 128 KiB chip of
// the default catalogue: each step's exit status and what it says.
TEST_F(Cli, EveryCommandOnOneChipGivesItsExitStatusAndItsResult) {
    chipInSocket(0xEF3011, 0x20000,
                 "bootloader=0 firmware_image=\"" + dir.file("upgraded.bin") + "\"");
    const std::string data = randomBytes(0x20000, 7);
    writeFile(dir.file("data.bin"), data);
    std::string changed = data;
    changed[0x1234] = static_cast<char>(changed[0x1234] ^ 0x01);
    writeFile(dir.file("changed.bin"), changed);
    // Firmware begins at 0x3000 with its stack pointer and reset address.
    std::string firmware = randomBytes(0x3000 + 1000, 3);
    firmware.replace(0x3000, 8, std::string("\x00\x00\x03\x20\x01\x31\x00\x08", 8));
    writeFile(dir.file("firmware.xpro"), firmware);
    writeFile(dir.file("image.bin"), randomBytes(0x3000, 4) + std::string(0x1D000, '\xFF'));

    struct Step {
        std::vector<std::string> args;
        int status;
        std::string out;         // in standard output
        std::string err;         // in standard error
        std::string input = {};  // piped into standard input
    } steps[] = {
        {{"chips", "W25X1"}, 0, "SPI_FLASH,Winbond,W25X10\t131072\t256\tEF3011\n", ""},
        {{"chips", "w25x1"}, 0, "SPI_FLASH,Winbond,W25X10\t131072\t256\tEF3011\n", ""},
        {{"detect"}, 0, "SPI_FLASH,Winbond,W25X10\n", ""},
        {{"info"}, 0, "hardware: V1.1\nfirmware: 2.0.3\nserial: OST000000001\n", ""},
        {{"-c", "W25X10", "blank"}, 0, "", "W25X10 is blank.\n"},
        {{"-c", "W25X10", "write", dir.file("data.bin")},
         0,
         "",
         "Wrote 128 KiB of " + dir.file("data.bin") + " (raw binary) to W25X10 in "},
        {{"-c", "W25X10", "verify", dir.file("data.bin")},
         0,
         "",
         "Verified 128 KiB of W25X10: the same as " + dir.file("data.bin") + " (raw binary), in "},
        {{"-c", "W25X10", "verify", dir.file("changed.bin")},
         1,
         "",
         "at address 1234h: the chip holds " + hexByte(data[0x1234]) + ", the file " +
             hexByte(changed[0x1234]) + ".\n"},
        {{"-c", "W25X10", "blank"}, 1, "", "not empty"},
        {{"--detect", "read", dir.file("back.bin")},
         0,
         "",
         "Read 128 KiB of W25X10 into " + dir.file("back.bin") + " (raw binary) in "},
        {{"-c", "W25X10", "read", dir.file("back.bin")}, 2, "", "add --force"},
        {{"-c", "W25X10", "read", dir.file("no/such/folder.bin")},
         2,
         "",
         "Cannot create file " + dir.file("no/such/folder.bin") + "; the chip was not read."},
        {{"-f", "-c", "W25X10", "read", dir.path()},
         2,
         "",
         dir.path() + " is a folder; the chip was not read."},
        // A file whose folder takes no new file cannot be replaced.
        {{"-f", "-c", "W25X10", "read", "/proc/self/comm"},
         2,
         "",
         "/proc/self/comm cannot be replaced ("},
        // A device is written in place, and its error told.
        {{"-f", "-c", "W25X10", "read", "/dev/full"},
         2,
         "",
         "Error writing file /dev/full: No space left on device"},
        {{"-c", "W25X10", "erase"}, 0, "", "Erased W25X10 in "},
        {{"-c", "w25x10", "blank"}, 0, "", "W25X10 is blank.\n"},
        // Standard input: a pipe of more than 64 KiB arrives whole.
        {{"-c", "W25X10", "write", "-"},
         0,
         "",
         "Wrote 128 KiB of standard input (raw binary) to W25X10",
         data},
        {{"-c", "W25X10", "verify", "-"},
         0,
         "",
         "Verified 128 KiB of W25X10: the same as standard input (raw binary)",
         data},
        {{"-c", "W25X10", "read", "-"}, 0, data, "Read 128 KiB of W25X10 into standard output"},
        {{"--json", "-c", "W25X10", "read", "-"},
         2,
         R"("command":"read","status":"error","exit":2)",
         "--json takes standard output, so read cannot save to it (-); the chip was not read."},
        {{"-c", "W25X10", "auto", dir.file("changed.bin")},
         0,
         "",
         "Erased, wrote and verified 128 KiB of " + dir.file("changed.bin") +
             " (raw binary) on W25X10 in "},
        {{"-q", "-c", "W25X10", "verify", dir.file("changed.bin")}, 0, "", ""},
        {{"-c", "W25X10", "write", dir.file("missing.bin")},
         2,
         "",
         "Cannot open file " + dir.file("missing.bin") + ": No such file or directory"},
        {{"-c", "W25X10", "frobnicate"}, 2, "", "unknown command"},
        {{"-c", "W25X10", "erase", dir.file("data.bin")}, 2, "", "too many arguments for erase"},
        {{"-c", "W25X10", "--start", "0", "auto", dir.file("data.bin")},
         2,
         "",
         "--start and --end go with read, write, verify and blank"},
        {{"blank"}, 2, "", "--chip NAME or --detect"},
        {{"upgrade", dir.file("missing.xpro")}, 2, "", "missing.xpro"},
        {{"upgrade", dir.file("image.bin")},
         2,
         "",
         "holds only FF bytes: the boot loader would get no firmware. Send it all the same? -> "
         "no (--force answers yes)\n"},
        {{"upgrade", dir.file("data.bin")},
         2,
         "",
         "is not the programmer's firmware: from offset 0x3000 on it should begin with a "
         "word-aligned stack pointer in RAM (20000000h to 20030000h) and an odd start address in "
         "the flash from 08003000h on, but it begins with " +
             hexWord(data, 0x3000) + " and " + hexWord(data, 0x3004) +
             ". Send it all the same? -> no (--force answers yes)\n"},
        // Last: the programmer leaves the bus for its boot loader.
        {{"upgrade", dir.file("firmware.xpro")}, 0, "", "Firmware upgrade complete, 13288 bytes"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(joined(step.args));
        const Outcome run = cli(step.args, {}, step.input);
        EXPECT_EQ(run.status, step.status) << run.err;
        EXPECT_TRUE(holds(run.out, step.out));
        EXPECT_TRUE(holds(run.err, step.err));
        // A command that failed never says that it completed, and the window's
        // log lines with their clock times are not the command line's.
        if (step.status != 0) {
            for (const char* done : {"Read ", "Wrote ", "Verified ", "Erased ", " is blank"})
                EXPECT_EQ(run.err.find(done), std::string::npos) << run.err;
        }
        EXPECT_EQ(run.err.find("Complete!"), std::string::npos) << run.err;
        // No clock time of any hour: the command line's lines are its own,
        // not the window's log lines.
        EXPECT_FALSE(
            QString::fromStdString(run.err).contains(QRegularExpression(R"(\(\d\d:\d\d:\d\d\))")))
            << run.err;
        // An output that cannot be created is refused before a packet is sent.
        if (step.err.find("the chip was not read") != std::string::npos ||
            step.err.find("cannot be replaced") != std::string::npos) {
            EXPECT_EQ(simLog().find("cmd "), std::string::npos) << simLog();
        }
        if (step.args[0] == "-q") {
            EXPECT_EQ(run.err, "");  // quiet: only errors
        }
    }
    EXPECT_NE(simLog().find("upgrades=1"), std::string::npos);
    // The boot loader kept what it received: the file from 0x3000 on.
    EXPECT_EQ(readFile(dir.file("upgraded.bin")).substr(0, 1000), firmware.substr(0x3000));
    EXPECT_TRUE(readFile(dir.file("back.bin")) == data);
    EXPECT_TRUE(chipContent() == changed);
    EXPECT_EQ(std::filesystem::status("/dev/full").type(), std::filesystem::file_type::character);
}

// --lang: the command line's own words and the window's messages it passes
// on, in the language asked for; Traditional Chinese with its own words for
// chip and file (晶片, 檔案) where the window's messages keep 芯片 and 文件.
TEST_F(Cli, EachLanguageSpeaksItsOwnWords) {
    chipInSocket(0xEF3011, 0x20000);
    writeFile(dir.file("chip.img"), randomBytes(0x20000, 2));
    writeFile(dir.file("data.bin"), randomBytes(0x20000, 3));
    writeFile(dir.file("long.bin"), randomBytes(0x20001, 3));
    const struct {
        std::vector<std::string> args;
        int status;
        const char* err;
    } cases[] = {
        {{"--lang", "zh_TW", "-c", "W25X10", "blank"}, 1, "晶片沒有擦空"},
        {{"--lang", "zh_TW", "-f", "-c", "W25X10", "verify", dir.file("long.bin")},
         2,
         "提示: 檔案長度大於晶片容量,是否繼續調入檔案 -> 否（加 --cut-file 即回答「是」）"},
        {{"--lang", "zh_CN", "--cut-file", "-c", "W25X10", "verify", dir.file("long.bin")},
         1,
         "提示: 文件长度大于芯片容量,是否继续调入文件 -> 是（--cut-file）"},
        {{"--lang", "zh_CN", "-c", "W25X10", "auto", dir.file("data.bin")}, 0, "（二进制）"},
        {{"--lang", "zh_TW", "-c", "W25X10", "verify", dir.file("data.bin")}, 0, "（二進位）"},
        {{"--lang", "en", "-c", "W25X10", "verify", dir.file("data.bin")}, 0, "(raw binary)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(joined(c.args));
        const Outcome run = cli(c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_TRUE(holds(run.err, c.err));
        if (c.args[1] == "zh_TW") {
            EXPECT_EQ(run.err.find("芯片"), std::string::npos) << run.err;
            EXPECT_EQ(run.err.find("文件"), std::string::npos) << run.err;
        }
        if (c.args[1] != "en") {
            for (const char* english : {"Info:", "(raw binary)", "--cut-file)", "answers yes"})
                EXPECT_EQ(run.err.find(english), std::string::npos) << run.err;
        }
    }
}

// Choosing the chip: by name, by the whole text, with the maker, by its ID.
TEST_F(Cli, ChipChoiceByNameMakerAndIdRefusesWhatIsNotOneKnownChip) {
    ownCatalogue({chip("SPI_FLASH,Alpha,X25T1", 0xAA0001, 0x10000),
                  chip("SPI_FLASH,Beta,X25T1", 0xBB0001, 0x20000),
                  chip("SPI_FLASH,Beta,X25T2", 0xBB0002, 0x20000),
                  chip("24_EEPROM,Gamma,G24C01", 0, 0x80)});
    struct Case {
        uint32_t idInSocket;
        std::vector<std::string> args;
        int status;
        const char* out;
        const char* err;
    } cases[] = {
        {0xBB0001,
         {"-c", "X25T1", "erase"},
         2,
         "",
         "SPI_FLASH,Alpha,X25T1\n  SPI_FLASH,Beta,X25T1"},
        {0xBB0001, {"-c", "X25T1", "-m", "Beta", "erase"}, 0, "", "Erased X25T1 in "},
        {0xAA0001, {"-c", "SPI_FLASH,Alpha,X25T1", "erase"}, 0, "", "Erased X25T1 in "},
        {0xBB0001,
         {"-c", "X25T9", "erase"},
         2,
         "",
         "no chip named X25T9 (ostrel-cli chips lists them all).\nDid you mean: X25T1, X25T2\n"},
        {0xBB0001, {"-c", "X25T2", "-m", "Alpha", "erase"}, 2, "", "not made by Alpha; Beta makes"},
        {0xBB0002, {"--detect", "erase"}, 0, "", "Erased X25T2 in "},
        {0x123456, {"--detect", "erase"}, 1, "", "unknown ID 12 34 56"},
        {0xBB0002, {"detect"}, 0, "SPI_FLASH,Beta,X25T2\n", ""},
        {0x123456, {"detect"}, 1, "unknown ID 12 34 56\n", ""},
        // No chip answered: G24C01, whose record has no ID, is never found by one.
        {0x000000,
         {"detect"},
         1,
         "no chip\n",
         "No chip answered the ID read (ID 00 00 00): check the chip's seating, its power and the "
         "clip."},
        {0xFFFFFF, {"--detect", "erase"}, 1, "", "No chip answered the ID read (ID FF FF FF)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(joined(c.args));
        chipInSocket(c.idInSocket, 0x20000);
        const Outcome run = cli(c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_TRUE(holds(run.out, c.out));
        EXPECT_TRUE(holds(run.err, c.err));
        // A refused choice never reaches a job that changes the chip.
        const bool erased = simLog().find("cmd 2 Erase") != std::string::npos;
        EXPECT_EQ(erased, c.status == 0 && c.args.back() == "erase");
    }
    setUp("");  // an empty socket
    chipInSocket(0, 0);
    setUp("programmer bus=1\n");
    const Outcome empty = cli({"detect"});
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.out, "no chip\n");
}

// A chip read into each format and written back from it gives the same chip.
TEST_F(Cli, ReadToEachFormatAndWriteBackGivesTheSameChip) {
    chipInSocket(0xEF3010, 0x10000);
    const std::string data = randomBytes(0x10000, 11);
    writeFile(dir.file("chip.img"), data);
    for (const char* extension : {".bin", ".hex", ".src"}) {
        SCOPED_TRACE(extension);
        const std::string file = dir.file(std::string("copy") + extension);
        ASSERT_EQ(cli({"-c", "W25X05", "read", file}).status, 0);
        ASSERT_EQ(cli({"-c", "W25X05", "erase"}).status, 0);
        ASSERT_TRUE(chipContent() == std::string(0x10000, static_cast<char>(0xFF)));
        const Outcome back = cli({"-c", "W25X05", "write", file});
        EXPECT_EQ(back.status, 0) << back.err;
        EXPECT_TRUE(chipContent() == data);
    }
    EXPECT_EQ(readFile(dir.file("copy.hex")).substr(0, 1), ":");
    EXPECT_EQ(readFile(dir.file("copy.src")).substr(0, 1), "S");
    // --force replaces the file that is there.
    writeFile(dir.file("copy.bin"), "old");
    EXPECT_EQ(cli({"-f", "-c", "W25X05", "read", dir.file("copy.bin")}).status, 0);
    EXPECT_TRUE(readFile(dir.file("copy.bin")) == data);
}

// Before a chip command the chip's ID is read in a job of its own: an empty
// socket, a chip of another type or another ID, and an ID of 00 00 00 or
// FF FF FF (no chip answered) are refused, naming what was found and what was
// chosen and the option that goes on, and no job of the command begins;
// --any-chip goes on, --force (which replaces files) does not.
// A file is read as its extension says, also under the names other tools give
// the formats, and record text under a raw name is refused until --format
// says how to read it.
TEST_F(Cli, TheWrongChipOrTheWrongFileIsRefusedBeforeTheChipIsTouched) {
    const std::string data = randomBytes(0x10000, 21);
    writeFile(dir.file("data.bin"), data);
    const std::string d = "cd " + dir.path() + " && ";
    ASSERT_EQ(std::system((d + "objcopy -I binary -O srec data.bin data.s19").c_str()), 0);
    ASSERT_EQ(std::system((d + "objcopy -I binary -O ihex data.bin data.ihx").c_str()), 0);
    ASSERT_EQ(std::system((d + "objcopy -I binary -O ihex data.bin hexas.bin").c_str()), 0);
    // Cut after its first line, and damaged in its second.
    const std::string s19 = readFile(dir.file("data.s19"));
    writeFile(dir.file("cut.s19"), s19.substr(0, s19.find('\n') + 1));
    std::string damaged = s19;
    damaged[s19.find('\n') + 9] = 'x';
    writeFile(dir.file("damaged.s19"), damaged);
    const std::string w25x05 = "chip id=0xEF3010 size=0x10000 class=0";
    const std::string w25x10 = "chip id=0xEF3011 size=0x20000 class=0";
    struct Case {
        std::string socket;
        std::vector<std::string> args;
        int status;
        std::string err;
        bool commandRan;  // a job of the command itself began
    } cases[] = {
        {w25x05, {"-c", "W25X05", "erase"}, 0, "Erased W25X05 in ", true},
        {w25x10,
         {"-c", "W25X05", "erase"},
         1,
         "The socket holds W25X10 (ID EF 30 11), but W25X05 (ID EF 30 10) was chosen; "
         "--any-chip goes on regardless.",
         false},
        {"chip id=0 size=0x10000 class=0",
         {"-c", "W25X05", "erase"},
         1,
         "No chip answered the ID read (ID 00 00 00), but W25X05 (ID EF 30 10) was chosen: check "
         "the chip's seating, its power and the clip; --any-chip goes on regardless.",
         false},
        {"chip id=0xFFFFFF size=0x10000 class=0",
         {"-c", "W25X05", "erase"},
         1,
         "No chip answered the ID read (ID FF FF FF)",
         false},
        {"",
         {"-c", "W25X05", "read", dir.file("out.bin")},
         1,
         "The socket holds no chip, but W25X05 (ID EF 30 10) was chosen",
         false},
        {"chip id=0 size=0x80 class=1",
         {"-c", "W25X05", "erase"},
         1,
         "The socket holds a chip of the type 24_EEPROM (without an ID), but W25X05",
         false},
        {w25x10, {"-f", "-c", "W25X05", "erase"}, 1, "--any-chip goes on regardless.", false},
        {w25x10, {"--any-chip", "-c", "W25X05", "erase"}, 0, "Erased W25X05 in ", true},
        {w25x05,
         {"-c", "W25X05", "write", dir.file("data.s19")},
         0,
         "Wrote 64 KiB of " + dir.file("data.s19") + " (S-record) to W25X05",
         true},
        {w25x05,
         {"-c", "W25X05", "verify", dir.file("data.ihx")},
         0,
         "the same as " + dir.file("data.ihx") + " (Intel HEX)",
         true},
        {w25x05,
         {"-c", "W25X05", "write", dir.file("hexas.bin")},
         2,
         dir.file("hexas.bin") +
             " holds Intel HEX text, but its extension reads it as raw binary; choose how to "
             "read it with --format bin|hex|srec.",
         false},
        {w25x05,
         {"-c", "W25X05", "--format", "hex", "verify", dir.file("hexas.bin")},
         0,
         "the same as " + dir.file("hexas.bin") + " (Intel HEX)",
         true},
        {w25x05,
         {"-c", "W25X05", "write", dir.file("cut.s19")},
         2,
         "the file ends before its end record; it may be cut off",
         false},
        {w25x05,
         {"-c", "W25X05", "write", dir.file("damaged.s19")},
         2,
         "line 2: Illegal Char in File",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(joined(c.args));
        setUp("programmer bus=1\n" +
              (c.socket.empty() ? "" : c.socket + " image=\"" + dir.file("chip.img") + "\"\n"));
        const Outcome run = cli(c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_TRUE(holds(run.err, c.err));
        EXPECT_EQ(simLog().find("BeginJob") != std::string::npos, c.commandRan) << simLog();
    }
    EXPECT_TRUE(chipContent() == data);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.bin")));
}

// A file is on the disk when the command that wrote it ends, as strace sees
// the calls: a replaced file is flushed before its rename and its folder after
// it; a file appended to (the production log, the serial counter) is flushed,
// and its folder when the file is new, so that a power cut right after the
// command keeps both the name and the bytes.
TEST_F(Cli, EveryFileWrittenIsOnTheDiskWhenTheCommandEnds) {
    chipInSocket(0xEF3011, 0x20000);
    writeFile(dir.file("chip.img"), randomBytes(0x20000, 9));
    writeFile(dir.file("data.bin"), randomBytes(0x8000, 3));
    writeFile(dir.file("old.hex"), "old");
    const std::string convert = OSTREL_BIN_DIR "/ostrel-convert";
    const std::string log = dir.file("prod.jsonl");
    const struct {
        std::string program;
        std::vector<std::string> args;
        std::string file;
        bool replaced;  // else appended to, and new
    } cases[] = {
        {program, {"-c", "W25X10", "read", dir.file("new.bin")}, "new.bin", true},
        {program, {"-f", "-c", "W25X10", "read", dir.file("old.hex")}, "old.hex", true},
        {convert, {dir.file("data.bin"), dir.file("data.srec")}, "data.srec", true},
        {program, {"--log", log, "-c", "W25X10", "erase"}, "prod.jsonl", false},
        // The log is there now: the new file is the counter.
        {program,
         {"--log", log, "--serial", "0x10:2:1", "-c", "W25X10", "auto", dir.file("data.bin")},
         "prod.jsonl.counter",
         false},
    };
    const std::string trace = dir.file("calls.txt");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        // LeakSanitizer cannot run under ptrace: in the sanitizer build the
        // traced program looks for no leaks here (every other test looks).
        std::vector<std::string> args = {"-f",
                                         "-qq",
                                         "-y",
                                         "-e",
                                         "trace=fsync,fdatasync,rename,renameat,renameat2",
                                         "-E",
                                         "ASAN_OPTIONS=detect_leaks=0",
                                         "-o",
                                         trace,
                                         c.program};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome run =
            runProgram("/usr/bin/strace", args, dir.file("sim.conf"), dir.file("sim.log"));
        ASSERT_EQ(run.status, 0) << run.err;
        std::vector<std::string> calls;
        std::istringstream lines(readFile(trace));
        for (std::string line; std::getline(lines, line);) calls.push_back(line);
        const auto find = [&](std::size_t from, const std::string& a, const std::string& b) {
            for (std::size_t i = from; i < calls.size(); ++i)
                if (calls[i].find(a) != std::string::npos && calls[i].find(b) != std::string::npos)
                    return i;
            return calls.size();
        };
        const std::string folderFlush = "<" + dir.path() + ">)";
        if (c.replaced) {
            const std::size_t renamed = find(0, "rename", "\"" + dir.file(c.file) + "\")");
            ASSERT_LT(renamed, calls.size()) << "no rename to " << c.file;
            EXPECT_LT(find(0, "fsync(", "/." + c.file + "."), renamed) << "not flushed first";
            EXPECT_LT(find(renamed, "fsync(", folderFlush), calls.size())
                << "folder not flushed after the rename";
        } else {
            EXPECT_LT(find(0, "fsync(", "<" + dir.file(c.file) + ">)"), calls.size());
            EXPECT_LT(find(0, "fsync(", folderFlush), calls.size()) << "new file's folder";
        }
    }
}

// Failures of the programmer: none there, or gone in the middle of a stream.
TEST_F(Cli, ProgrammerMissingOrUnpluggedStopsWithItsExitStatusAndNothingDone) {
    writeFile(dir.file("data.bin"), randomBytes(0x20000, 5));
    struct Case {
        const char* programmer;
        std::vector<std::string> args;
        int status;
        const char* err;
    } cases[] = {
        {"", {"-c", "W25X10", "read", dir.file("out.bin")}, 3, "lsusb"},
        {"", {"info"}, 3, "No programmer found"},
        {"programmer bus=1 claim=fail", {"info"}, 3, "60-ostrel.rules"},
        {"programmer bus=1 open=fail",
         {"-c", "W25X10", "read", dir.file("out.bin")},
         3,
         "is attached (USB 1FC8:300B) but could not be opened"},
        {"programmer bus=1 unplug_after=150",
         {"-c", "W25X10", "read", dir.file("out.bin")},
         4,
         "Read stopped at address"},
        {"programmer bus=1 unplug_after=150",
         {"-c", "W25X10", "write", dir.file("data.bin")},
         4,
         "Write stopped at address"},
        {"programmer bus=1 unplug_after=150",
         {"-c", "W25X10", "auto", dir.file("data.bin")},
         4,
         "stopped at address"},
        // Found, then silent from the chip set-up on: no advice for a
        // programmer that is not there.
        {"programmer bus=1 timeout_read=1",
         {"--any-chip", "-c", "W25X10", "read", dir.file("out.bin")},
         3,
         "stopped answering at the chip set-up. Unplug it, plug it in again"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(joined(c.args));
        std::filesystem::remove(dir.file("out.bin"));
        std::string config = c.programmer;
        if (!config.empty())
            config +=
                "\nchip id=0xEF3011 size=0x20000 class=0 image=\"" + dir.file("chip.img") + "\"\n";
        setUp(config);
        const Outcome run = cli(c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_TRUE(holds(run.err, c.err));
        EXPECT_EQ(run.err.find("lsusb") != std::string::npos, config.empty()) << run.err;
        EXPECT_EQ(run.err.find("Complete"), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(dir.file("out.bin")));
    }
}

// Memory that cannot be had ends the command with one line naming what
// failed and exit status 2, not with an abort, and leaves no output file;
// with --json standard output still ends in the result object.
TEST_F(Cli, WhatEscapesACommandIsOneLineAndExitStatus2) {
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer reserves terabytes of shadow memory at start, so a
    // limit on the address space stops it before the program runs at all.
    GTEST_SKIP() << "an address-space limit cannot hold a program built with AddressSanitizer";
#endif
    chipInSocket(0xEF3011, 0x20000);
    // Less address space than the 64 MiB FLASH buffer.
    program = "/usr/bin/prlimit";
    const struct {
        const char* option;
        const char* out;
    } cases[] = {
        {"-q", ""},
        {"--json",
         "{\"type\":\"error\",\"message\":\"read failed: out of memory\"}\n"
         "{\"type\":\"result\",\"command\":\"read\",\"status\":\"error\",\"exit\":2,"
         "\"message\":\"read failed: out of memory\",\"elapsed\":0.000}\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        const Outcome run = cli({"--as=67108864", OSTREL_BIN_DIR "/ostrel-cli", c.option, "-c",
                                 "W25X10", "read", dir.file("out.bin")});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, "ostrel-cli: read failed: out of memory\n");
        EXPECT_EQ(run.out, c.out);
        EXPECT_FALSE(std::filesystem::exists(dir.file("out.bin")));
    }
}

// --json: every line of standard output is one JSON object; the last is the result.
TEST_F(Cli, JsonLinesAreObjectsEndingInTheResult) {
    chipInSocket(0xEF3011, 0x20000);
    writeFile(dir.file("data.bin"), randomBytes(0x20000, 9));
    writeFile(dir.file("other.bin"), randomBytes(0x20000, 10));
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* lastStatus;
        const char* firstType;
    } cases[] = {
        {{"--json", "chips", "W25X"}, 0, "ok", "chip"},
        {{"--json", "-c", "W25X10", "write", dir.file("data.bin")}, 0, "ok", "progress"},
        {{"--json", "-c", "W25X10", "blank"}, 1, "no", "progress"},
        {{"--json", "--chip=W25X10", "verify", dir.file("data.bin")}, 0, "ok", "progress"},
        {{"--json", "-c", "W25X10", "verify", dir.file("other.bin")}, 1, "no", "progress"},
        {{"--json", "-c", "W25X10", "erase"}, 0, "ok", "progress"},
        {{"--json", "info"}, 0, "ok", "info"},
        {{"--json", "frobnicate"}, 2, "error", "error"},
        {{"--json", "-c", "W25X10", "--format", "elf", "verify", "x"}, 2, "error", "error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(joined(c.args));
        const Outcome run = cli(c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        std::vector<QJsonObject> objects;
        size_t start = 0, end;
        while ((end = run.out.find('\n', start)) != std::string::npos) {
            QJsonParseError error{};
            const QJsonDocument doc = QJsonDocument::fromJson(
                QByteArray::fromStdString(run.out.substr(start, end - start)), &error);
            EXPECT_EQ(error.error, QJsonParseError::NoError) << run.out.substr(start, end - start);
            EXPECT_TRUE(doc.isObject());
            objects.push_back(doc.object());
            start = end + 1;
        }
        ASSERT_GE(objects.size(), 2u);
        EXPECT_EQ(objects.front()["type"].toString().toStdString(), c.firstType);
        const QJsonObject result = objects.back();
        EXPECT_EQ(result["type"].toString(), "result");
        EXPECT_EQ(result["status"].toString().toStdString(), c.lastStatus);
        EXPECT_EQ(result["exit"].toInt(), c.status);
        EXPECT_TRUE(result["elapsed"].isDouble());
        // A command that did not succeed says why in its result.
        if (c.status != 0) {
            EXPECT_FALSE(result["message"].toString().isEmpty());
        }
        EXPECT_FALSE(result["message"].toString().contains(QRegularExpression("\\d\\d:\\d\\d")))
            << result["message"].toString().toStdString();
        // Each operation's last progress object reaches its total, counted in
        // the unit it names.
        const QJsonObject* lastProgress = nullptr;
        auto reachedTotal = [](const QJsonObject& o) {
            EXPECT_EQ(o["done"].toInteger(), o["total"].toInteger())
                << o["operation"].toString().toStdString();
        };
        for (const QJsonObject& o : objects) {
            if (o["type"].toString() != "progress") continue;
            const QString operation = o["operation"].toString();
            if (lastProgress != nullptr && (*lastProgress)["operation"].toString() != operation &&
                c.status == 0)
                reachedTotal(*lastProgress);
            EXPECT_LE(o["done"].toInteger(), o["total"].toInteger());
            EXPECT_EQ(o["unit"].toString(), operation == "erase" ? "polls" : "bytes");
            lastProgress = &o;
        }
        if (lastProgress != nullptr && c.status == 0) reachedTotal(*lastProgress);
        // A verify difference: its address and both bytes.
        if (c.args.back() == dir.file("other.bin")) {
            const QJsonObject error = objects[objects.size() - 2];
            EXPECT_EQ(error["type"].toString(), "error");
            const std::string chipImage = chipContent(), other = readFile(dir.file("other.bin"));
            const auto at = static_cast<size_t>(error["address"].toInteger(-1));
            ASSERT_LT(at, other.size());
            EXPECT_NE(chipImage[at], other[at]);
            EXPECT_EQ(std::string(chipImage, 0, at), std::string(other, 0, at));
            EXPECT_EQ(error["chip"].toInt(), static_cast<unsigned char>(chipImage[at]));
            EXPECT_EQ(error["file"].toInt(), static_cast<unsigned char>(other[at]));
        }
    }
}

// --log and --serial: a line per chip command with its serial number and the
// CRC-32 (from Python's zlib) of what went to or came from the chip; the
// counter, named after its log, goes on in the next process; a log or a
// serial number that cannot be used refuses the command before anything is
// sent to the programmer.
TEST_F(Cli, ProductionLogRecordsEveryChipAndRefusesBeforeTheChipWhenUnwritable) {
    chipInSocket(0xEF3011, 0x20000);
    writeFile(dir.file("data.bin"), randomBytes(0x8000, 11));
    writeFile(dir.file("other.bin"), randomBytes(0x8000, 12));
    const std::string log = dir.file("production.jsonl");
    const std::string other = dir.file("other.jsonl");
    const std::vector<std::string> serial = {"--serial", "0x10:2:7:be"};
    std::filesystem::create_directory(dir.file("blocked.jsonl.counter"));
    writeFile(dir.file("full.jsonl.counter"), "00000000000000000256\n");
    struct Step {
        std::vector<std::string> args;
        int status;
        const char* line;  // in the log's last line; "" when no line is due
        const char* err;   // in standard error
    } steps[] = {
        {{"--log", log, serial[0], serial[1], "auto", dir.file("data.bin")},
         0,
         "\"command\":\"auto\",\"result\":\"done\",\"message\":\"\",\"bytes\":32768,"
         "\"crc32\":\"7061d8e8\",",
         "Erased, wrote and verified"},
        {{"--log", log, serial[0], serial[1], "auto", dir.file("data.bin")},
         0,
         "\"serial\":8}",
         "Erased, wrote and verified"},
        {{"--log", log, "-f", "read", dir.file("back.bin")},
         0,
         "\"command\":\"read\",\"result\":\"done\",\"message\":\"\",\"bytes\":131072,"
         "\"crc32\":\"8eb9e4ee\",",
         "Read 128 KiB"},
        // A part of the chip: its own bytes and CRC-32, not the whole chip's.
        {{"--log", log, "-f", "--start", "1000", "--end", "1FFF", "read", dir.file("part.bin")},
         0,
         "\"command\":\"read\",\"result\":\"done\",\"message\":\"\",\"bytes\":4096,"
         "\"crc32\":\"3a922f2b\",",
         "Read 4 KiB"},
        // An unaligned part: the chip gave whole pages, but the file, its
        // record and the line hold the part asked for.
        {{"--log", log, "-f", "--start", "1001", "--end", "1FFE", "read", dir.file("odd.bin")},
         0,
         "\"command\":\"read\",\"result\":\"done\",\"message\":\"\",\"bytes\":4094,"
         "\"crc32\":\"db762fb6\",",
         "Read 3.9 KiB"},
        // Whatever the language of the command line, the record speaks English.
        {{"--log", log, "--lang", "zh_CN", "verify", dir.file("other.bin")},
         1,
         "\"result\":\"different\",\"message\":\"Flash check error address:0h: the chip holds 85h, "
         "the file 4Bh\",",
         "地址 0h"},
        // Another product's log in the same folder counts on its own.
        {{"--log", other, serial[0], serial[1], "auto", dir.file("data.bin")},
         0,
         "\"serial\":7}",
         "Erased, wrote and verified"},
        {{"--log", dir.file("no/such/production.jsonl"), "erase"},
         2,
         "",
         "no/such/production.jsonl"},
        {{"--log", log, "erase", serial[0], serial[1]}, 2, "", "--serial goes with auto"},
        {{"--log", log, "--serial", "0x1FFFF:2:1", "auto", dir.file("data.bin")},
         2,
         "",
         "The serial number at address 1FFFFh (2 bytes) lies outside the chip (131072 bytes)."},
        {{"--log", dir.file("blocked.jsonl"), serial[0], serial[1], "auto", dir.file("data.bin")},
         2,
         "",
         "blocked.jsonl.counter cannot be read or advanced"},
        {{"--log", dir.file("full.jsonl"), "--serial", "0:1:1", "auto", dir.file("data.bin")},
         2,
         "",
         "the number 256 does not fit in 1 bytes"},
    };
    std::map<std::string, std::size_t> lines;
    for (Step& step : steps) {
        SCOPED_TRACE(joined(step.args));
        const std::string file = step.args[1];
        step.args.insert(step.args.begin(), {"-c", "W25X10"});
        const Outcome run = cli(step.args);
        EXPECT_EQ(run.status, step.status) << run.err;
        EXPECT_TRUE(holds(run.err, step.err));
        const std::string written = readFile(file);
        const std::size_t count =
            static_cast<std::size_t>(std::count(written.begin(), written.end(), '\n'));
        if (*step.line == '\0') {
            EXPECT_EQ(count, lines[file]) << "a refused command left a line";
            EXPECT_EQ(simLog().find("cmd "), std::string::npos)
                << "a command reached the programmer";
            continue;
        }
        EXPECT_EQ(count, ++lines[file]);
        const std::string last = written.substr(written.rfind('\n', written.size() - 2) + 1);
        EXPECT_NE(last.find(step.line), std::string::npos) << last;
        EXPECT_NE(last.find(step.status == 0 ? "\"cause\":null" : "\"cause\":\"difference\""),
                  std::string::npos)
            << last;
        EXPECT_NE(last.find("\"programmer\":\"OST000000001\",\"chip\":\"SPI_FLASH,Winbond,"
                            "W25X10\",\"id\":\"EF3011\""),
                  std::string::npos)
            << last;
    }
    EXPECT_EQ(readFile(dir.file("production.jsonl.counter")), "00000000000000000009\n");
    EXPECT_EQ(readFile(dir.file("other.jsonl.counter")), "00000000000000000008\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("serial-counter")));
    // The one counter that the logs of a folder shared before: a log's new
    // counter goes on from it, so that no number comes twice.
    writeFile(dir.file("serial-counter"), "00000000000000000050\n");
    const Outcome later = cli({"-c", "W25X10", "--log", dir.file("later.jsonl"), serial[0],
                               serial[1], "auto", dir.file("data.bin")});
    EXPECT_EQ(later.status, 0) << later.err;
    EXPECT_NE(readFile(dir.file("later.jsonl")).find("\"serial\":50}"), std::string::npos);
    EXPECT_EQ(readFile(dir.file("later.jsonl.counter")), "00000000000000000051\n");
}

// Ctrl+C during a read of a 64 MiB chip: the read stops after a block, the
// job ends (the programmer sees the end packet and is closed) and no file is
// written.
TEST_F(Cli, InterruptDuringReadEndsTheJobAndExits130) {
    chipInSocket(0xEF4020, 0x4000000);
    const Outcome run = cli({"--json", "-c", "W25Q512JV", "read", dir.file("out.bin")},
                            [](const std::string& line) {
                                return line.find("\"progress\"") != std::string::npos &&
                                       line.find("\"done\":0,") == std::string::npos;
                            });
    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_NE(run.err.find("stopped on request"), std::string::npos) << run.err;
    // The time until the stop is measured, not left at nothing.
    const size_t resultAt = run.out.rfind("{\"type\":\"result\"");
    ASSERT_NE(resultAt, std::string::npos);
    EXPECT_GT(QJsonDocument::fromJson(QByteArray::fromStdString(run.out.substr(resultAt)))
                  .object()["elapsed"]
                  .toDouble(),
              0.0)
        << run.out.substr(resultAt);
    EXPECT_EQ(run.err.find("Complete"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.bin")));
    const std::string log = simLog();
    const size_t lastData = log.rfind("data in");
    ASSERT_NE(lastData, std::string::npos);
    EXPECT_NE(log.find("cmd 8 EndJob", lastData), std::string::npos) << log;
    EXPECT_NE(log.find("state dev 0 in_job=0 open_handles=0"), std::string::npos) << log;
    // It stopped well before the end of the chip.
    EXPECT_LT(run.out.find("\"type\":\"result\""), std::string::npos);
}

// Three IDs of the default catalogue's newer chips: one that two parts
// answer with, a 1.8 V part and a part above 16 MiB. Detect takes the first
// record with the ID, and chips --id lists every record with it in that order.
TEST_F(Cli, DetectTakesTheFirstChipWithTheIdThatChipsIdListsFirst) {
    struct Case {
        uint32_t id;
        uint32_t size;
        const char* idArgument;
        const char* detected;
        const char* listed;
    } cases[] = {
        {0x374016, 0x400000, "374016", "SPI_FLASH,AMIC,A25LQ032\n",
         "SPI_FLASH,AMIC,A25LQ032\t4194304\t256\t374016\n"
         "SPI_FLASH,AMIC,A25LQ32A\t4194304\t256\t374016\n"},
        {0xEF5014, 0x100000, "EF5014", "SPI_FLASH,Winbond,W25Q80BW\n",
         "SPI_FLASH,Winbond,W25Q80BW\t1048576\t256\tEF5014\n"},
        {0xC84319, 0x2000000, "c84319", "SPI_FLASH,GigaDevice,GD25F256F\n",
         "SPI_FLASH,GigaDevice,GD25F256F\t33554432\t256\tC84319\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.detected);
        chipInSocket(c.id, c.size);
        const Outcome detect = cli({"detect"});
        EXPECT_EQ(detect.status, 0) << detect.err;
        EXPECT_EQ(detect.out, c.detected);
        const Outcome list = cli({"chips", "--id", c.idArgument});
        EXPECT_EQ(list.status, 0) << list.err;
        EXPECT_EQ(list.out, c.listed);
    }
    EXPECT_EQ(cli({"chips", "--id", "123456"}).out, "");
    EXPECT_EQ(cli({"chips", "--id", "37401"}).status, 2);
    EXPECT_EQ(cli({"chips", "--id", "37401G"}).status, 2);
    EXPECT_EQ(cli({"--id", "374016", "detect"}).status, 2);
}

// doctor: each chip outcome and the read test as the command line prints them,
// with the exit status a script acts on; nothing is ever written to the chip.
TEST_F(Cli, DoctorTellsEachChipOutcomeAndTheReadTestWithItsExitStatus) {
    struct Case {
        const char* config;
        std::vector<std::string> args;
        int status;
        const char* line;
    } cases[] = {
        {"programmer bus=1\nchip id=0xEF3011 size=0x20000 class=0\n",
         {"doctor", "--read-test"},
         0,
         "ok        Read test: W25X10 read twice, CRC-32 "},
        {"programmer bus=1\nchip id=0xEF3011 size=0x20000 class=0\n",
         {"doctor"},
         0,
         "ok        SPI_FLASH,Winbond,W25X10\n"},
        {"programmer bus=1\nchip id=0x123456 size=0x20000 class=0\n",
         {"doctor", "--read-test"},
         1,
         "PROBLEM   unknown ID 12 34 56\n          This ID is not in the catalogue"},
        {"programmer bus=1\n", {"doctor"}, 1, "PROBLEM   no chip\n          Seat the chip"},
        {"programmer bus=1 flip_read=40\nchip id=0xEF3011 size=0x20000 class=0\n",
         {"-c", "W25X10", "doctor", "--read-test"},
         1,
         "PROBLEM   Read test: two reads of W25X10 differ"},
        {"", {"doctor"}, 3, "PROBLEM   USB bus: no programmer (1FC8:300B).\n"},
        {"programmer bus=1 timeout_read=1\n",
         {"doctor"},
         3,
         "PROBLEM   The programmer does not answer its hardware-information request."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.config) + joined(c.args));
        setUp(c.config);
        const Outcome run = cli(c.args);
        EXPECT_EQ(run.status, c.status) << run.out << run.err;
        EXPECT_NE(run.out.find(c.line), std::string::npos) << run.out;
        EXPECT_EQ(simLog().find("data out"), std::string::npos);
    }
    // --json: one object a check, then the result; --report writes the lines.
    setUp("programmer bus=1\nchip id=0xEF3011 size=0x20000 class=0\n");
    const Outcome run = cli({"--json", "doctor", "--report", dir.file("report.txt")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("{\"type\":\"check\",\"check\":\"claim\",\"ok\":true,"),
              std::string::npos)
        << run.out;
    const std::string report = readFile(dir.file("report.txt"));
    EXPECT_NE(report.find("[ok] chip: SPI_FLASH,Winbond,W25X10\n"), std::string::npos) << report;
    // The wire trace of the whole run: the first open of the programmer, and
    // the hardware-information request (command 12) with its reply.
    const std::size_t trace = report.find("\nWire trace:\n");
    EXPECT_NE(report.find(" open - 0 0 001/001", trace), std::string::npos) << report;
    EXPECT_NE(report.find(" out 02 64 64 00 0C ", trace), std::string::npos) << report;
}

// The buffer tools of the command line: every difference of a verify, a write
// that checks itself on a write-protected chip, and the checksums of a file
// (the figures computed by Python's zlib.crc32 and hashlib.sha256).
TEST_F(Cli, VerifyAllWriteCheckAndChecksumsSayWhatTheChipHolds) {
    const std::string data = randomBytes(0x20000, 7);
    writeFile(dir.file("chip.img"), data);
    writeFile(dir.file("data.bin"), data);
    std::string changed = data;
    for (int a = 0x100; a < 0x110; ++a) changed[a] = static_cast<char>(changed[a] ^ 0x01);
    changed[0x5000] = static_cast<char>(changed[0x5000] ^ 0xFF);
    changed[0x1FFFF] = static_cast<char>(changed[0x1FFFF] ^ 0x02);
    writeFile(dir.file("changed.bin"), changed);
    const std::string erased(0x20000, static_cast<char>(0xFF));
    writeFile(dir.file("digits.bin"), "123456789");
    std::string scattered = data;  // 150 single-byte ranges
    for (int i = 0; i < 150; ++i) scattered[i * 2] = static_cast<char>(scattered[i * 2] ^ 0x80);
    writeFile(dir.file("scattered.bin"), scattered);
    // The cause the first difference of changed.bin on the write-protected
    // chip (at 100h, bit 0 flipped) points to: a 1 the chip kept where the
    // file has a 0, or a 0 it held where the file has a 1.
    const std::string notTaken = (data[0x100] & 1) != 0
                                     ? "ostrel-cli: The chip kept a 1 bit where the data has a 0: "
                                       "the write did not take. The chip "
                                       "may be write-protected.\n"
                                     : "ostrel-cli: The chip holds a 0 bit where the data has a 1: "
                                       "it was not erased. A write only "
                                       "clears bits: erase the chip first, or use AUTO.\n";
    // After an erase the chip must be blank: a write-protected one kept its
    // bytes, the first of them where the data is not FF. Under AUTO the same
    // 0 bit is no reason to erase first: the erase ran and did not take.
    char firstKept[16];
    std::snprintf(firstKept, sizeof firstKept, "%Xh",
                  static_cast<unsigned>(data.find_first_not_of('\xFF')));
    const std::string eraseNotTaken =
        std::string("ostrel-cli: The erase did not take at address ") + firstKept +
        ": the chip is likely write-protected.\n";
    const std::string autoProtected =
        (data[0x100] & 1) != 0 ? notTaken
                               : "ostrel-cli: The erase did not take at address 100h: the chip "
                                 "is likely write-protected.\n";

    struct Case {
        const char* socket;  // extra words of the chip line
        std::vector<std::string> args;
        int status;
        std::vector<std::string> out;  // each in standard output
        const char* err;
        const std::string* chipAfter;
    } cases[] = {
        {"",
         {"-c", "W25X10", "verify", "--all", dir.file("changed.bin")},
         1,
         {"100-10F 16\n5000-5000 1\n1FFFF-1FFFF 1\n18 bytes differ\n"},
         "address:100h",
         &data},
        {"",
         {"-c", "W25X10", "verify", "--all", dir.file("scattered.bin")},
         1,
         {"0-0 1\n2-2 1\n", "\nC6-C6 1\n... and 50 more differing ranges\n150 bytes differ\n"},
         "address:0h",
         &data},
        {"",
         {"--json", "-c", "W25X10", "verify", "--all", dir.file("data.bin")},
         0,
         {"\"crc32\":\"", "\"status\":\"ok\""},
         "Verified 128 KiB of W25X10",
         &data},
        {"protect=1",
         {"-c", "W25X10", "write", dir.file("changed.bin")},
         1,
         {""},
         notTaken.c_str(),
         &data},
        {"protect=1",
         {"-c", "W25X10", "--no-verify", "write", dir.file("changed.bin")},
         0,
         {""},
         "Wrote 128 KiB of",
         &data},
        {"protect=1", {"-c", "W25X10", "erase"}, 1, {""}, eraseNotTaken.c_str(), &data},
        {"protect=1", {"-c", "W25X10", "--no-verify", "erase"}, 0, {""}, "Erased W25X10", &data},
        {"protect=1",
         {"-c", "W25X10", "auto", dir.file("changed.bin")},
         1,
         {""},
         autoProtected.c_str(),
         &data},
        {"", {"-c", "W25X10", "erase"}, 0, {""}, "Erased W25X10 in", &erased},
        {"",
         {"-c", "W25X10", "write", dir.file("changed.bin")},
         0,
         {""},
         "Wrote 128 KiB of",
         &changed},
        {"",
         {"-c", "W25X10", "checksum", dir.file("digits.bin")},
         0,
         {"data 9 bytes: crc32 cbf43926 sha256 "
          "15e2b0d3c33891ebb0f1ef609ec419420c20e320ce94c65fbc8c3312448eb225 sum32 000001DD sum16 "
          "01DD\nfile padded with FF to W25X10's 128 KiB: crc32 "},
         "",
         &changed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(joined(c.args));
        chipInSocket(0xEF3011, 0x20000, "");
        if (c.socket[0]) {
            char line[200];
            std::snprintf(
                line, sizeof line,
                "programmer bus=1\nchip id=0xEF3011 size=0x20000 class=0 image=\"%s\" %s\n",
                dir.file("chip.img").c_str(), c.socket);
            setUp(line);
        }
        const Outcome run = cli(c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        for (const std::string& out : c.out) EXPECT_TRUE(holds(run.out, out));
        EXPECT_TRUE(holds(run.err, c.err));
        if (c.status != 0) {
            EXPECT_EQ(run.err.find("Complete"), std::string::npos) << run.err;
        }
        EXPECT_TRUE(chipContent() == *c.chipAfter);
    }
}

// A dump one can trust: a flaky contact caught by read --twice (exit 1, no
// file), the warnings after a read of a chip with a stuck data line, a chip
// smaller than its ID says and one without power, and the map of a file and
// of a chip.
TEST_F(Cli, ReadTwiceAndTheWarningsSayWhenAReadCannotBeTrusted) {
    const std::string data = randomBytes(0x20000, 11);
    std::string firmware = randomBytes(0x3000, 12);
    firmware.resize(0x20000, static_cast<char>(0xFF));
    writeFile(dir.file("firmware.bin"), firmware);
    struct Case {
        const char* chipLine;  // extra words of the chip line
        std::vector<std::string> args;
        int status;
        std::vector<std::string> err;  // each in standard error
        std::vector<std::string> out;  // each in standard output
        bool saved;                    // out.* exists afterwards
    } cases[] = {
        {"flaky=4096 seed=3",
         {"-c", "W25X10", "read", "--twice", dir.file("out.bin")},
         1,
         {"ostrel-cli: The two reads differ in ", " blocks, the first at address ",
          "A contact that is not firm (a slipping clip) is the likely cause.",
          "Nothing was saved to " + dir.file("out.bin")},
         {""},
         false},
        {"flaky=4096 seed=3",
         {"--json", "-c", "W25X10", "read", "--twice", dir.file("out.hex")},
         1,
         {"The two reads differ"},
         {"\"reads_matched\":false,\"differing_bytes\":", "\"status\":\"no\",\"exit\":1"},
         false},
        {"",
         {"-c", "W25X10", "--start", "1000", "--end", "2FFF", "read", "--twice",
          dir.file("out.srec")},
         0,
         {"Read 8 KiB of W25X10 into", "The chip was read twice and the reads matched."},
         {""},
         true},
        {"",
         {"--json", "-c", "W25X10", "read", "--twice", dir.file("out.hex")},
         0,
         {"The chip was read twice and the reads matched."},
         {"\"reads_matched\":true,\"warnings\":[]"},
         true},
        {"stuck_bit=5",
         {"--json", "-c", "W25X10", "read", dir.file("out.bin")},
         0,
         {"Bit 5 is 0 in every byte while the other bits vary: a data line may be stuck"},
         {"\"warnings\":[{\"kind\":\"stuck_bit\",\"message\":\"Bit 5 is 0",
          "\"bit\":5,\"value\":0}]"},
         true},
        {"size=0x8000",
         {"-c", "W25X10", "read", dir.file("out.bin")},
         0,
         {"The data repeats every 32 KiB: the chip is likely only 32 KiB, smaller than the one "
          "chosen."},
         {""},
         true},
        {"power=0",
         {"--any-chip", "-c", "W25X10", "read", dir.file("out.bin")},
         0,
         {"Every byte read is 00: the chip may have no power or no contact."},
         {""},
         true},
        {"power=0", {"-c", "W25X10", "read", dir.file("out.bin")}, 1, {"00 00 00"}, {""}, false},
        {"",
         {"map", dir.file("firmware.bin")},
         0,
         {""},
         {"Map of " + dir.file("firmware.bin") +
              " (128 KiB), one character for 4 KiB:\n"
              "000000  ###.............................\n"
              "Data lies from 0 to 2FFF (--start and --end).\n"
              ".",
          "# data"},
         false},
        {"",
         {"--json", "map", dir.file("firmware.bin")},
         0,
         {""},
         {"{\"type\":\"map\",\"size\":131072,\"cell_bytes\":4096,\"cells\":\"###......",
          "\"data_start\":0,\"data_end\":12287}"},
         false},
        {"",
         {"map", dir.file("missing.bin")},
         2,
         {"Cannot open file " + dir.file("missing.bin")},
         {""},
         false},
        {"flaky=2000 seed=5",
         {"-c", "W25X10", "map", "--twice"},
         1,
         {"The two reads differ"},
         {"Map of W25X10 (128 KiB), one character for 4 KiB:\n000000  ", "!",
          "differed between the two reads"},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.chipLine) + " " + joined(c.args));
        for (const char* name : {"out.bin", "out.hex", "out.srec"})
            std::filesystem::remove(dir.file(name));
        writeFile(dir.file("chip.img"), data);
        const std::string size =
            std::string(c.chipLine).rfind("size=", 0) == 0 ? "" : "size=0x20000 ";
        setUp("programmer bus=1\nchip id=0xEF3011 class=0 " + size + "image=\"" +
              dir.file("chip.img") + "\" " + c.chipLine + "\n");
        const Outcome run = cli(c.args);
        EXPECT_EQ(run.status, c.status) << run.err << run.out;
        for (const std::string& err : c.err) EXPECT_TRUE(holds(run.err, err));
        for (const std::string& out : c.out) EXPECT_TRUE(holds(run.out, out));
        const bool saved = std::filesystem::exists(dir.file("out.bin")) ||
                           std::filesystem::exists(dir.file("out.hex")) ||
                           std::filesystem::exists(dir.file("out.srec"));
        EXPECT_EQ(saved, c.saved);
        EXPECT_EQ(run.err.find("Complete"), std::string::npos);
    }
}

}  // namespace
}  // namespace ostrel
