// ostrel-cli with several programmers, run as processes against the
// simulator: list, --device, programs running side by side on their own
// programmers, and a part of a chip with --start and --end.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

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

struct Process {
    pid_t pid = -1;
    std::string out, err, log;
};

class Programmers : public ::testing::Test {
  protected:
    // Starts ostrel-cli with the simulator configured by sim.conf; the run's
    // output and simulator log go to files named after `name`.
    Process start(const std::vector<std::string>& args, const std::string& name = "run",
                  const char* program = kProgram) {
        Process run{-1, dir.file(name + ".out"), dir.file(name + ".err"), dir.file(name + ".log")};
        run.pid = fork();
        if (run.pid == 0) {
            freopen(run.out.c_str(), "w", stdout);
            freopen(run.err.c_str(), "w", stderr);
            setenv("OSTREL_CLI", kProgram, 1);
            setenv("GANG_LOGS", gangLogs.c_str(), 1);
            setenv("TMPDIR", dir.file("tmp").c_str(), 1);
            // The simulated device nodes, held open by the process that claims them.
            if (devfs) setenv("USB_DEVFS_PATH", dir.file("devfs").c_str(), 1);
            execAgainstSimulator(program, args, dir.file("sim.conf"), run.log);
        }
        return run;
    }
    static int wait(const Process& run) { return waitForExit(run.pid); }
    // Runs to the end; the exit status, standard output and standard error.
    struct Outcome {
        int status;
        std::string out, err;
    };
    Outcome cli(const std::vector<std::string>& args) {
        const Process run = start(args);
        const int status = wait(run);
        return {status, readFile(run.out), readFile(run.err)};
    }
    // `count` programmers with serial numbers SER1, SER2, ..., the third on bus
    // 2, each with a W25X10 of its own in chipN.img.
    void programmers(int count, const std::string& extraForFirst = "") {
        std::string conf;
        for (int i = 1; i <= count; ++i) {
            conf += "programmer bus=" + std::to_string(i == 3 ? 2 : 1) + " serial=SER" +
                    std::to_string(i) + (i == 1 ? " " + extraForFirst : "") + "\n";
            conf += "chip id=0xEF3011 size=0x20000 class=0 image=\"" + image(i) + "\"\n";
        }
        writeFile(dir.file("sim.conf"), conf);
    }
    std::string image(int n) const { return dir.file("chip" + std::to_string(n) + ".img"); }

    static constexpr const char* kProgram = OSTREL_BIN_DIR "/ostrel-cli";
    TempDir dir;
    // Claims held through device nodes in a folder of their own, as the
    // kernel's are, instead of lock files beside the configuration.
    bool devfs = false;
    // Where scripts/gang keeps each run's messages; empty: its temporary folder.
    std::string gangLogs = dir.file("gang");
};

TEST_F(Programmers, ListPrintsEachAttachedProgrammer) {
    const struct {
        int count;
        const char* extra;  // for the first programmer
        int status;
        const char* out;
        const char* err;
    } cases[] = {
        {0, "", 3, "", "No programmer found"},
        {1, "", 0, "001/001\tSER1\t2.0.3\n", ""},
        {3, "claim=fail", 0, "001/001\t-\t-\tbusy\n001/002\tSER2\t2.0.3\n002/003\tSER3\t2.0.3\n",
         ""},
    };
    for (const auto& c : cases) {
        programmers(c.count, c.extra);
        const Outcome run = cli({"list"});
        EXPECT_EQ(run.status, c.status) << c.count << run.err;
        EXPECT_EQ(run.out, c.out) << c.count;
        EXPECT_TRUE(holds(run.err, c.err)) << c.count;
    }
    programmers(3);
    EXPECT_EQ(cli({"--json", "list"}).out.substr(0, 90),
              "{\"type\":\"programmer\",\"path\":\"001/001\",\"serial\":\"SER1\",\"firmware\":"
              "\"2.0.3\",\"state\":\"ready\"}\n");
}

TEST_F(Programmers, DeviceChoosesByPathOrSerialAndRefusesOneGoneOrBusy) {
    programmers(3);
    // Another process holds the second programmer's claim, as the simulator
    // shares claims between processes.
    const int held = open((dir.file("sim.conf") + ".claim1").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    const struct {
        std::vector<std::string> args;
        int status;
        const char* out;
        const char* err;
    } cases[] = {
        {{"--device", "002/003", "info"}, 0, "serial: SER3\n", ""},
        {{"-d", "SER1", "info"}, 0, "serial: SER1\n", ""},
        {{"info"}, 0, "serial: SER1\n", "3 programmers are attached; using the first, 001/001"},
        {{"-d", "001/009", "info"}, 3, "", "No programmer is attached at 001/009."},
        {{"-d", "001/002", "info"}, 3, "", "The programmer at 001/002 is busy"},
        {{"-d", "SER2", "info"}, 3, "", "No free programmer has the serial number SER2"},
        {{"-d", "SER7", "-c", "W25X10", "blank"}, 3, "", "serial number SER7"},
        // doctor looks at the programmer chosen, not at the first one.
        {{"-d", "002/003", "doctor"}, 0, "USB bus: programmer 1FC8:300B at 002/003.\n", ""},
        {{"-d", "001/002", "doctor"}, 3, "PROBLEM   Interface 0 could not be claimed", ""},
        {{"-d", "001/009", "doctor"}, 3, "", "No programmer is attached at 001/009."},
    };
    for (const auto& c : cases) {
        const Outcome run = cli(c.args);
        EXPECT_EQ(run.status, c.status) << c.args[1] << run.err;
        EXPECT_TRUE(holds(run.out, c.out)) << c.args[1];
        EXPECT_TRUE(holds(run.err, c.err)) << c.args[1];
    }
    close(held);
    EXPECT_EQ(cli({"-d", "SER2", "info"}).status, 0);
}

TEST_F(Programmers, TwoProcessesProgramTwoProgrammersAtOnceEachItsOwnChip) {
    programmers(2);
    const std::string one = randomBytes(0x20000, 1), two = randomBytes(0x20000, 2);
    writeFile(dir.file("one.bin"), one);
    writeFile(dir.file("two.bin"), two);
    const Process a = start({"-d", "001/001", "-c", "W25X10", "auto", dir.file("one.bin")}, "a");
    const Process b = start({"-d", "SER2", "-c", "W25X10", "auto", dir.file("two.bin")}, "b");
    EXPECT_EQ(wait(a), 0) << readFile(a.err);
    EXPECT_EQ(wait(b), 0) << readFile(b.err);
    EXPECT_TRUE(readFile(image(1)) == one);
    EXPECT_TRUE(readFile(image(2)) == two);
    // Each claimed only its own programmer (asking for a serial number claims
    // each one for a moment: b may have asked the first).
    const std::string logA = readFile(a.log);
    for (size_t at = logA.find("dev 1 "); at != std::string::npos; at = logA.find("dev 1 ", at + 1))
        EXPECT_EQ(logA.substr(at, logA.find('\n', at) - at).find("claim"), std::string::npos);
    EXPECT_NE(readFile(b.log).find("state dev 1 in_job=0 open_handles=0"), std::string::npos);
}

TEST_F(Programmers, GangProgramsEveryFreeProgrammerAndReportsEach) {
    programmers(3, "claim=fail");
    const std::string data = randomBytes(0x20000, 3);
    writeFile(dir.file("data.bin"), data);
    const Process gang =
        start({"-c", "W25X10", dir.file("data.bin")}, "gang", OSTREL_SOURCE_DIR "/scripts/gang");
    EXPECT_EQ(wait(gang), 1) << readFile(gang.err);
    EXPECT_EQ(readFile(gang.out),
              "001/001\t-\tskipped: busy\n"
              "001/002\tSER2\tok\n"
              "002/003\tSER3\tok\n");
    EXPECT_TRUE(readFile(image(2)) == data);
    EXPECT_TRUE(readFile(image(3)) == data);
    EXPECT_NE(readFile(dir.file("gang/002-003.log")).find("Erased, wrote and verified"),
              std::string::npos);
    // Without GANG_LOGS the messages go to a temporary folder that does not
    // outlive the run; a failed run's are shown instead.
    gangLogs.clear();
    std::filesystem::create_directory(dir.file("tmp"));
    writeFile(dir.file("data.bin"), randomBytes(0x20001, 3));  // too long for the chip
    const Process failing =
        start({"-c", "W25X10", dir.file("data.bin")}, "gang2", OSTREL_SOURCE_DIR "/scripts/gang");
    EXPECT_EQ(wait(failing), 1);
    EXPECT_NE(readFile(failing.out).find("001/002\tSER2\tfailed (exit 2): "), std::string::npos)
        << readFile(failing.out);
    EXPECT_NE(readFile(failing.err).find("gang: 001/002:\n    "), std::string::npos)
        << readFile(failing.err);
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("tmp")));
}

TEST_F(Programmers, StartAndEndReadWriteVerifyAndBlankAPartOfTheChip) {
    programmers(1);
    // The part is erased; around it the chip holds data that must stay.
    std::string before = randomBytes(0x20000, 5);
    before.replace(0x1000, 0x1000, std::string(0x1000, '\xFF'));
    const std::string file = randomBytes(0x1000, 6);
    writeFile(image(1), before);
    writeFile(dir.file("file.bin"), file);
    std::string expected = before;
    expected.replace(0x1000, 0x1000, file);

    const std::vector<std::string> part = {"-c", "W25X10", "--start", "1000", "--end", "0x1FFF"};
    auto with = [&](std::vector<std::string> args) {
        args.insert(args.begin(), part.begin(), part.end());
        return args;
    };
    const Outcome write = cli(with({"write", dir.file("file.bin")}));
    ASSERT_EQ(write.status, 0) << write.err;
    EXPECT_TRUE(readFile(image(1)) == expected);
    EXPECT_EQ(cli(with({"verify", dir.file("file.bin")})).status, 0);

    const Outcome read = cli(with({"read", dir.file("part.bin")}));
    ASSERT_EQ(read.status, 0) << read.err;
    EXPECT_TRUE(readFile(dir.file("part.bin")) == file);

    // Blank: only the part is checked; one page widened from a single address.
    std::string blankPart = expected;
    blankPart.replace(0x3000, 0x100, std::string(0x100, '\xFF'));
    writeFile(image(1), blankPart);
    EXPECT_EQ(cli({"-c", "W25X10", "--start", "30FF", "--end", "3000", "blank"}).status, 2);
    EXPECT_EQ(cli({"-c", "W25X10", "--start", "3000", "--end", "30FF", "blank"}).status, 0);
    EXPECT_EQ(cli({"-c", "W25X10", "--start", "3000", "--end", "3100", "blank"}).status, 1);

    const struct {
        std::vector<std::string> args;
        const char* err;
    } refusals[] = {
        {{"--start", "2000", "--end", "1FFF", "blank"}, "its start is above its end"},
        {{"--start", "1000", "--end", "20000", "blank"}, "the chip's last address is 0x1FFFF"},
        {{"--start", "20000", "blank"},
         "The part from 0x20000 cannot be used: it starts past the chip's end (its last address "
         "is 0x1FFFF)."},
        {{"--start", "30000", "--end", "10000", "blank"}, "it starts past the chip's end"},
        {{"--end", "1G", "blank"}, "'1G' is not a valid integer value"},
        {{"--start", "80000000", "blank"}, "not a valid integer value"},
        {{"--start", "0", "erase"}, "--start and --end go with read, write, verify and blank"},
    };
    for (const auto& r : refusals) {
        std::vector<std::string> args = {"-c", "W25X10"};
        args.insert(args.end(), r.args.begin(), r.args.end());
        const Outcome run = cli(args);
        EXPECT_EQ(run.status, 2) << r.err;
        EXPECT_NE(run.err.find(r.err), std::string::npos) << run.err;
    }
    EXPECT_TRUE(readFile(image(1)) == blankPart) << "a refused part changes nothing";
}

// doctor names the process that holds the programmer: another ostrel-cli in
// the middle of an erase that never ends, found through the device node it
// holds open.
TEST_F(Programmers, DoctorNamesTheProcessThatHoldsTheProgrammer) {
    devfs = true;
    writeFile(
        dir.file("sim.conf"),
        "programmer bus=1 serial=SER1 busy=forever\nchip id=0xEF4017 size=0x800000 class=0\n");
    const Process eraser = start({"--json", "-c", "W25Q64JV", "erase"}, "eraser");
    for (int i = 0; i < 1000 && readFile(eraser.out).find("\"progress\"") == std::string::npos; ++i)
        usleep(10000);
    const Outcome doctor = cli({"doctor"});
    kill(eraser.pid, SIGINT);
    EXPECT_EQ(wait(eraser), 130);
    EXPECT_EQ(doctor.status, 3) << doctor.out << doctor.err;
    EXPECT_NE(doctor.out.find("PROBLEM   Interface 0 is held by another process: ostrel-cli (" +
                              std::to_string(eraser.pid) + ").\n          Close that program"),
              std::string::npos)
        << doctor.out;
}

}  // namespace
}  // namespace ostrel
