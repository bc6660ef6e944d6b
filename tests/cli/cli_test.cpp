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
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "catalogue/catalogue_file.h"
#include "catalogue/name_text.h"
#include "support/temp_files.h"

namespace ostrel {
namespace {

using testing::readFile;
using testing::TempDir;
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
                   const std::function<bool(const std::string&)>& onOutLine = {}) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(err[0]);
        setenv("LD_LIBRARY_PATH", OSTREL_SIM_DIR, 1);
        setenv("OSTREL_SIM_CONFIG", config.c_str(), 1);
        setenv("OSTREL_SIM_LOG", log.c_str(), 1);
        setenv("LANG", "C", 1);
        unsetenv("LC_ALL");
        unsetenv("LC_MESSAGES");
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
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
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
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
                const std::function<bool(const std::string&)>& onOutLine = {}) {
        std::filesystem::remove(dir.file("sim.log"));
        return runProgram(program, args, dir.file("sim.conf"), dir.file("sim.log"), onOutLine);
    }
    std::string chipContent() { return readFile(dir.file("chip.img")); }
    std::string simLog() { return readFile(dir.file("sim.log")); }

    TempDir dir;
    std::string program = OSTREL_BIN_DIR "/ostrel-cli";
};

std::string randomBytes(size_t count, uint32_t seed) {
    std::string bytes(count, '\0');
    for (char& b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<char>(seed >> 16);
    }
    return bytes;
}

// Every command in the order a bench would use them, on one 128 KiB chip of
// the default catalogue: each step's exit status and what it says.
TEST_F(Cli, EveryCommandOnOneChipGivesItsExitStatusAndItsResult) {
    chipInSocket(0xEF3011, 0x20000, "bootloader=0");
    const std::string data = randomBytes(0x20000, 7);
    writeFile(dir.file("data.bin"), data);
    std::string changed = data;
    changed[0x1234] = static_cast<char>(changed[0x1234] ^ 0x01);
    writeFile(dir.file("changed.bin"), changed);
    writeFile(dir.file("firmware.xpro"), randomBytes(0x3000 + 1000, 3));

    struct Step {
        std::vector<std::string> args;
        int status;
        const char* out;  // in standard output
        const char* err;  // in standard error
    } steps[] = {
        {{"chips", "W25X1"}, 0, "SPI_FLASH,Winbond,W25X10\t131072\t256\tEF3011\n", ""},
        {{"detect"}, 0, "SPI_FLASH,Winbond,W25X10\n", ""},
        {{"info"}, 0, "hardware: V1.1\nfirmware: 2.0.3\nserial: OST000000001\n", ""},
        {{"-c", "W25X10", "blank"}, 0, "", "Bank Complete!"},
        {{"-c", "W25X10", "write", dir.file("data.bin")}, 0, "", "Write Complete!"},
        {{"-c", "W25X10", "verify", dir.file("data.bin")}, 0, "", "Verify Complete!"},
        {{"-c", "W25X10", "verify", dir.file("changed.bin")}, 1, "", "address:1234h"},
        {{"-c", "W25X10", "blank"}, 1, "", "not empty"},
        {{"--detect", "read", dir.file("back.bin")}, 0, "", "Read Complete!"},
        {{"-c", "W25X10", "read", dir.file("back.bin")}, 2, "", "add --force"},
        {{"-c", "W25X10", "read", dir.file("no/such/folder.bin")}, 2, "", "Cannot create file"},
        {{"-c", "W25X10", "erase"}, 0, "", "Erase Complete!"},
        {{"-c", "w25x10", "blank"}, 0, "", "Bank Complete!"},
        {{"-c", "W25X10", "auto", dir.file("changed.bin")}, 0, "", "AUTO Complete!"},
        {{"-q", "-c", "W25X10", "verify", dir.file("changed.bin")}, 0, "", ""},
        {{"-c", "W25X10", "write", dir.file("missing.bin")}, 2, "", "missing.bin"},
        {{"-c", "W25X10", "frobnicate"}, 2, "", "unknown command"},
        {{"blank"}, 2, "", "--chip NAME or --detect"},
        {{"upgrade", dir.file("missing.xpro")}, 2, "", "missing.xpro"},
        // Last: the programmer leaves the bus for its boot loader.
        {{"upgrade", dir.file("firmware.xpro")}, 0, "", ""},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(joined(step.args));
        const Outcome run = cli(step.args);
        EXPECT_EQ(run.status, step.status) << run.err;
        EXPECT_NE(run.out.find(step.out), std::string::npos) << run.out;
        EXPECT_NE(run.err.find(step.err), std::string::npos) << run.err;
        // A command that failed never says that it completed.
        if (step.status != 0) {
            EXPECT_EQ(run.err.find("Complete"), std::string::npos) << run.err;
        }
        if (step.args[0] == "-q") {
            EXPECT_EQ(run.err, "");  // quiet: only errors
        }
    }
    EXPECT_NE(simLog().find("upgrades=1"), std::string::npos);
    EXPECT_TRUE(readFile(dir.file("back.bin")) == data);
    EXPECT_TRUE(chipContent() == changed);
}

// Choosing the chip: by name, by the whole text, with the maker, by its ID.
TEST_F(Cli, ChipChoiceByNameMakerAndIdRefusesWhatIsNotOneKnownChip) {
    ownCatalogue({chip("SPI_FLASH,Alpha,X25T1", 0xAA0001, 0x10000),
                  chip("SPI_FLASH,Beta,X25T1", 0xBB0001, 0x20000),
                  chip("SPI_FLASH,Beta,X25T2", 0xBB0002, 0x20000)});
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
        {0xBB0001, {"-c", "X25T1", "-m", "Beta", "erase"}, 0, "", "Erase Complete!"},
        {0xBB0001, {"-c", "SPI_FLASH,Alpha,X25T1", "erase"}, 0, "", "Erase Complete!"},
        {0xBB0001, {"-c", "X25T9", "erase"}, 2, "", "no chip named X25T9"},
        {0xBB0001, {"-c", "X25T2", "-m", "Alpha", "erase"}, 2, "", "no chip named X25T2"},
        {0xBB0002, {"--detect", "erase"}, 0, "", "Erase Complete!"},
        {0x123456, {"--detect", "erase"}, 1, "", "unknown ID 12 34 56"},
        {0xBB0002, {"detect"}, 0, "SPI_FLASH,Beta,X25T2\n", ""},
        {0x123456, {"detect"}, 1, "unknown ID 12 34 56\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(joined(c.args));
        chipInSocket(c.idInSocket, 0x20000);
        const Outcome run = cli(c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
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
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("Complete"), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(dir.file("out.bin")));
    }
}

// --json: every line of standard output is one JSON object; the last is the result.
TEST_F(Cli, JsonLinesAreObjectsEndingInTheResult) {
    chipInSocket(0xEF3011, 0x20000);
    writeFile(dir.file("data.bin"), randomBytes(0x20000, 9));
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
        {{"--json", "info"}, 0, "ok", "info"},
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
    }
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
         "",
         &data},
        {"protect=1",
         {"-c", "W25X10", "write", dir.file("changed.bin")},
         1,
         {""},
         "The write did not take: the chip differs from",
         &data},
        {"protect=1",
         {"-c", "W25X10", "--no-verify", "write", dir.file("changed.bin")},
         0,
         {""},
         "Write Complete!",
         &data},
        {"", {"-c", "W25X10", "erase"}, 0, {""}, "Erase Complete!", &erased},
        {"",
         {"-c", "W25X10", "write", dir.file("changed.bin")},
         0,
         {""},
         "Verify Complete!",
         &changed},
        {"",
         {"-c", "W25X10", "checksum", dir.file("digits.bin")},
         0,
         {"data 9 bytes: crc32 CBF43926 sha256 "
          "15e2b0d3c33891ebb0f1ef609ec419420c20e320ce94c65fbc8c3312448eb225 sum32 000001DD sum16 "
          "01DD\nchip 131072 bytes: crc32 "},
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
        for (const std::string& out : c.out)
            EXPECT_NE(run.out.find(out), std::string::npos) << run.out;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        if (c.status != 0) {
            EXPECT_EQ(run.err.find("Complete"), std::string::npos) << run.err;
        }
        EXPECT_TRUE(chipContent() == *c.chipAfter);
    }
}

}  // namespace
}  // namespace ostrel
