// The production line in bad weather: three stations of four simulated
// programmers each program chips of one product against a PostgreSQL server
// of the test's own, one ostrel-cli process a chip as a station runs them,
// while the server is stopped hard and started again, chip processes are
// killed in the middle of a chip, programmers are unplugged during a write
// and write-protected chips come by, each at a place of the run drawn from
// one seed. When every station has reported in, the chips (read back from
// their images), the database's rows, the pool's numbers, the stations'
// journals and their spools must tell the same story.
//
// The short form (100 chips) runs with the other tests. The long form (600
// chips, and the same run without faults to compare with) runs by hand and
// prints its figures:
//   OSTREL_CHAOS=long build/tests/test_line_chaos
// The seed is printed always; OSTREL_CHAOS_SEED=N runs a seed's plan again.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_process.h"
#include "support/pg_server.h"
#include "support/temp_files.h"

namespace ostrel {
namespace {

using Clock = std::chrono::steady_clock;
using testing::execAgainstSimulator;
using testing::PostgresServer;
using testing::randomBytes;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

constexpr const char* kProgram = OSTREL_BIN_DIR "/ostrel-cli";
constexpr const char* kPsql = "/usr/lib/postgresql/15/bin/psql";
// Whether ostrel-cli has `records --gaps`, the numbers of a product that no
// passed chip holds, each with why. Without it the pool's numbers are
// accounted for by SQL over the database alone.
constexpr bool kGapsCommand = true;

constexpr int kStations = 3;
constexpr int kProgrammers = 4;
constexpr uint32_t kSerialAddress = 0x100;  // 4 bytes, least significant first
constexpr uint64_t kFirstSerial = 1000;
constexpr std::size_t kImageSize = 0x10000;
constexpr int kWriteBlocks = kImageSize / 256;  // the W25X10's pages

enum class Fault { None, Protected, Unplugged, Killed };

struct ChipPlan {
    Fault fault = Fault::None;
    int unplugBlock = 0;  // the data block of the write that meets the unplug
    std::string killAt;   // the operation whose first progress line the kill follows
};

struct Outage {
    int atChip = 0;  // the server stops once this many chips were started
    double seconds = 0;
};

struct Plan {
    uint64_t seed = 0;
    int chips = 0;
    uint64_t lease = 0;
    std::vector<ChipPlan> chip;  // by the order the chips start in
    std::vector<Outage> outages;
    std::chrono::seconds backAtLeast{0};  // between outages
};

// The faults of a run, drawn from its seed: chips that meet a fault by the
// order they start in, and the server's outages by the chips started before.
Plan makePlan(uint64_t seed, bool longForm, bool faults) {
    std::mt19937_64 random(seed);
    const auto between = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    Plan plan;
    plan.seed = seed;
    plan.chips = longForm ? 600 : 100;
    // A station programs some three chips a second: the lease rides through
    // the longest outage after it fell to half.
    plan.lease = longForm ? 150 : 40;
    plan.backAtLeast = std::chrono::seconds(longForm ? 10 : 3);
    plan.chip.resize(static_cast<std::size_t>(plan.chips));
    if (!faults) return plan;
    const int each = longForm ? 10 : 3;
    for (const Fault fault : {Fault::Protected, Fault::Unplugged, Fault::Killed}) {
        for (int placed = 0; placed < each;) {
            ChipPlan& chip = plan.chip[static_cast<std::size_t>(between(4, plan.chips - 4))];
            if (chip.fault != Fault::None) continue;
            chip.fault = fault;
            chip.unplugBlock = between(1, kWriteBlocks);
            static const char* const kPhases[] = {"erase", "write", "verify"};
            chip.killAt = kPhases[between(0, 2)];
            ++placed;
        }
    }
    const int outages = longForm ? 4 : 2;
    for (int i = 0; i < outages; ++i) {
        const int span = plan.chips * 7 / 10 / outages;
        Outage outage;
        outage.atChip = plan.chips / 10 + i * span + between(0, span / 2);
        outage.seconds = longForm ? between(2000, 20000) / 1000.0 : between(1000, 3000) / 1000.0;
        plan.outages.push_back(outage);
    }
    return plan;
}

// One chip's process and what came of it.
struct ChipRun {
    std::string name;
    int station = 0;
    ChipPlan plan;
    int status = -1;  // exit status, 128 + the signal that ended it
    uint64_t serial = 0;
    bool killed = false;
    bool serverAway = false;  // the server was down at some time during the chip
    std::string err;
    std::string result;  // its JSON result line
};

struct Figures {
    double minutes = 0;
    int passed = 0;
    int refusedWhileAway = 0;    // with numbers left in the station's lease
    int refusedUsedUp = 0;       // the lease used up while the server was away
    std::size_t outages = 0;     // that happened
    double longestRecovery = 0;  // seconds from the server's return to empty spools
};

// A field of a JSON line as a number (0: none).
uint64_t numberField(const std::string& json, const std::string& name) {
    const std::size_t at = json.rfind("\"" + name + "\":");
    return at == std::string::npos
               ? 0
               : std::strtoull(json.c_str() + at + name.size() + 3, nullptr, 10);
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> tabbed(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t from = 0;
    for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
        fields.push_back(line.substr(from, tab - from));
    fields.push_back(line.substr(from));
    return fields;
}

class LineChaos : public ::testing::Test {
  protected:
    // The run of `plan` against a server of its own, checked when every
    // station has reported in.
    Figures run(const Plan& plan);

  private:
    struct Slot {
        int station = 0, programmer = 0;
        pid_t pid = -1;
        int out = -1;
        std::string said;
        std::size_t chip = 0;
    };
    void launch(Slot& slot, std::size_t index, const std::string& url);
    std::string stateOf(int station) const {
        return dir_->file("state-" + std::to_string(station) + "/ostrel");
    }
    bool spoolsEmpty() const;
    std::vector<std::string> sql(const PostgresServer& server, const std::string& query);
    void check(const PostgresServer& server, const Plan& plan);

    std::unique_ptr<TempDir> dir_;  // of the run
    std::string image_;
    std::vector<ChipRun> chips_;
};

void LineChaos::launch(Slot& slot, std::size_t index, const std::string& url) {
    ChipRun& chip = chips_[index];
    char name[32];
    std::snprintf(name, sizeof name, "s%dp%d-%04zu", slot.station, slot.programmer, index);
    chip.name = name;
    chip.station = slot.station;
    // A fresh chip in the socket: an image of its own, blank at first.
    const std::string config = dir_->file(chip.name + ".conf");
    writeFile(config, "programmer bus=1 serial=S" + std::to_string(slot.station) + "P" +
                          std::to_string(slot.programmer) +
                          (chip.plan.fault == Fault::Unplugged
                               ? " unplug_in_write=" + std::to_string(chip.plan.unplugBlock)
                               : "") +
                          "\nchip id=0xEF3011 size=0x20000 class=0" +
                          (chip.plan.fault == Fault::Protected ? " protect=1" : "") + " image=\"" +
                          dir_->file(chip.name + ".img") + "\"\n");
    int pipeEnds[2];
    ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC), 0);
    const std::string station = "line" + std::to_string(slot.station);
    const std::string state = dir_->file("state-" + std::to_string(slot.station));
    const std::string err = dir_->file(chip.name + ".err");
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeEnds[1], 1);
        if (freopen(err.c_str(), "w", stderr) == nullptr) _exit(127);
        setenv("XDG_STATE_HOME", state.c_str(), 1);
        setenv("OSTREL_STATION", station.c_str(), 1);
        execAgainstSimulator(
            kProgram,
            {"--json", "--db", url, "-d", "001/001", "auto", "--product", "board", image_}, config,
            "/dev/null");
    }
    close(pipeEnds[1]);
    fcntl(pipeEnds[0], F_SETFL, O_NONBLOCK);
    slot.pid = pid;
    slot.out = pipeEnds[0];
    slot.said.clear();
    slot.chip = index;
}

bool LineChaos::spoolsEmpty() const {
    for (int s = 1; s <= kStations; ++s) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(stateOf(s), ec)) {
            const std::string file = entry.path().filename().string();
            if (file.rfind("production-spool-", 0) == 0 && entry.file_size(ec) > 0) return false;
        }
    }
    return true;
}

std::vector<std::string> LineChaos::sql(const PostgresServer& server, const std::string& query) {
    const std::string command = std::string(kPsql) + " -X -At -F '\t' '" + server.conninfo() +
                                "' -c \"" + query + "\" 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string text;
    char block[4096];
    for (std::size_t n; pipe != nullptr && (n = fread(block, 1, sizeof block, pipe)) > 0;)
        text.append(block, n);
    const int status = pipe != nullptr ? pclose(pipe) : -1;
    EXPECT_EQ(status, 0) << query << ": " << text;
    return linesOf(text);
}

Figures LineChaos::run(const Plan& plan) {
    Figures figures;
    dir_ = std::make_unique<TempDir>();
    PostgresServer server;
    std::string why;
    // The line's database is a real server: a run without one fails.
    if (!server.start(why)) {
        ADD_FAILURE() << "PostgreSQL did not start: " << why;
        return figures;
    }
    const std::string url = server.uri();
    image_ = dir_->file("board.bin");
    writeFile(image_, randomBytes(kImageSize, static_cast<uint32_t>(plan.seed)));
    {
        const std::string added = dir_->file("add.err");
        const pid_t pid = fork();
        if (pid == 0) {
            if (freopen(added.c_str(), "w", stderr) == nullptr) _exit(127);
            setenv("XDG_STATE_HOME", dir_->file("state-admin").c_str(), 1);
            execAgainstSimulator(kProgram,
                                 {"--db", url, "product", "add", "board", "-c", "W25X10", "--image",
                                  image_, "--serial", "0x100:4:" + std::to_string(kFirstSerial),
                                  "--lease", std::to_string(plan.lease)},
                                 dir_->file("none.conf"), "/dev/null");
        }
        if (testing::waitForExit(pid) != 0) {
            ADD_FAILURE() << "product add: " << readFile(added);
            return figures;
        }
    }

    chips_.assign(static_cast<std::size_t>(plan.chips), ChipRun{});
    for (std::size_t i = 0; i < chips_.size(); ++i) chips_[i].plan = plan.chip[i];
    std::vector<Slot> slots;
    for (int s = 1; s <= kStations; ++s)
        for (int p = 1; p <= kProgrammers; ++p) {
            slots.emplace_back();
            slots.back().station = s;
            slots.back().programmer = p;
        }

    // The short form must end within a few minutes whatever happens.
    const auto deadline = Clock::now() + std::chrono::minutes(plan.chips > 100 ? 40 : 6);
    const auto began = Clock::now();
    std::size_t started = 0;
    std::size_t& nextOutage = figures.outages;
    bool away = false, recovering = false;
    std::set<int> leased;  // the stations that passed a chip
    Clock::time_point wentAway, cameBack;
    auto finished = began;
    for (;;) {
        const auto now = Clock::now();
        if (now > deadline) {
            for (Slot& slot : slots)
                if (slot.pid > 0) kill(slot.pid, SIGKILL);
            ADD_FAILURE() << "the run did not end in time (seed " << plan.seed << ")";
            return figures;
        }
        // A station's first chip takes its first lease: the server goes
        // away only once every station has one.
        // And it stays back a while between outages, as a line's server does.
        if (!away && nextOutage < plan.outages.size() && leased.size() == kStations &&
            (nextOutage == 0 || now - cameBack >= plan.backAtLeast) &&
            started >= static_cast<std::size_t>(plan.outages[nextOutage].atChip)) {
            server.stop(true);
            away = true;
            wentAway = Clock::now();
            for (Slot& slot : slots)
                if (slot.pid > 0) chips_[slot.chip].serverAway = true;
        }
        if (away && std::chrono::duration<double>(now - wentAway).count() >=
                        plan.outages[nextOutage].seconds) {
            if (!server.startAgain(why)) {
                ADD_FAILURE() << "PostgreSQL did not start again: " << why;
                return figures;
            }
            away = false;
            recovering = true;
            cameBack = Clock::now();
            ++nextOutage;
        }
        if (recovering && spoolsEmpty()) {
            recovering = false;
            figures.longestRecovery =
                std::max(figures.longestRecovery,
                         std::chrono::duration<double>(Clock::now() - cameBack).count());
        }

        std::vector<pollfd> waiting;
        bool running = false;
        for (Slot& slot : slots) {
            if (slot.pid < 0 && started < chips_.size()) {
                launch(slot, started++, url);
                if (away) chips_[slot.chip].serverAway = true;
            }
            if (slot.pid > 0) running = true;
            if (slot.out >= 0) waiting.push_back({slot.out, POLLIN, 0});
        }
        // Outages still to come when the chips are done are left out.
        if (!running && started == chips_.size() && !away) break;
        poll(waiting.data(), waiting.size(), 10);
        for (Slot& slot : slots) {
            if (slot.pid < 0) continue;
            ChipRun& chip = chips_[slot.chip];
            char block[4096];
            long n = 0;
            while (slot.out >= 0 && (n = read(slot.out, block, sizeof block)) > 0)
                slot.said.append(block, static_cast<std::size_t>(n));
            // Killed in the middle of the chip: once it said it began the
            // operation the plan names.
            if (chip.plan.fault == Fault::Killed && !chip.killed &&
                slot.said.find("\"operation\":\"" + chip.plan.killAt + "\"") != std::string::npos) {
                kill(slot.pid, SIGKILL);
                chip.killed = true;
            }
            if (slot.out >= 0 && n == 0) {
                close(slot.out);
                slot.out = -1;
            }
            if (slot.out >= 0) continue;
            chip.status = testing::waitForExit(slot.pid);
            slot.pid = -1;
            if (away) chip.serverAway = true;
            for (const std::string& line : linesOf(slot.said)) {
                if (line.find("\"type\":\"result\"") == std::string::npos) continue;
                chip.serial = numberField(line, "serial");
                chip.result = line;
            }
            chip.err = readFile(dir_->file(chip.name + ".err"));
            if (chip.status == 0) leased.insert(chip.station);
            finished = Clock::now();
        }
    }
    figures.minutes = std::chrono::duration<double>(finished - began).count() / 60.0;

    // Every station reports in: its next connection writes what waits.
    for (int s = 1; s <= kStations; ++s) {
        const std::string out = dir_->file("report.err");
        const pid_t pid = fork();
        if (pid == 0) {
            if (freopen(out.c_str(), "w", stderr) == nullptr ||
                freopen("/dev/null", "w", stdout) == nullptr)
                _exit(127);
            setenv("XDG_STATE_HOME", dir_->file("state-" + std::to_string(s)).c_str(), 1);
            setenv("OSTREL_STATION", ("line" + std::to_string(s)).c_str(), 1);
            execAgainstSimulator(kProgram, {"--db", url, "records", "--product", "board"},
                                 dir_->file("none.conf"), "/dev/null");
        }
        EXPECT_EQ(testing::waitForExit(pid), 0) << readFile(out);
        EXPECT_EQ(readFile(out).find("set aside"), std::string::npos) << readFile(out);
    }
    if (recovering)
        figures.longestRecovery =
            std::max(figures.longestRecovery,
                     std::chrono::duration<double>(Clock::now() - cameBack).count());

    for (const ChipRun& chip : chips_) {
        figures.passed += chip.status == 0;
        const bool refused = chip.status == 2 && chip.serverAway;
        const bool usedUp = chip.err.find("are used up") != std::string::npos;
        figures.refusedWhileAway += refused && !usedUp;
        figures.refusedUsedUp += refused && usedUp;
    }
    check(server, plan);
    // OSTREL_CHAOS_KEEP=FOLDER keeps the run's files there to look into.
    if (const char* keep = std::getenv("OSTREL_CHAOS_KEEP")) {
        std::error_code ec;
        std::filesystem::create_directories(keep, ec);
        std::filesystem::copy(dir_->path(),
                              std::string(keep) + (plan.outages.empty() ? "/calm" : "/faults"),
                              std::filesystem::copy_options::recursive, ec);
    }
    return figures;
}

void LineChaos::check(const PostgresServer& server, const Plan& plan) {
    SCOPED_TRACE("seed " + std::to_string(plan.seed));
    // What each chip that passed holds, read back from its image: the
    // product's image with its own number; and which chips hold a number at
    // all (a failed chip may hold a part of its write).
    const std::string product = readFile(image_);
    std::map<uint64_t, std::vector<std::string>> holders;
    std::set<uint64_t> passedNumbers;
    int refused = 0;
    for (const ChipRun& chip : chips_) {
        SCOPED_TRACE(chip.name);
        switch (chip.plan.fault) {
            case Fault::None:
                // A chip without a fault passes, or is refused before it is
                // touched (the database away and no number leased).
                EXPECT_TRUE(chip.status == 0 || chip.status == 2) << chip.status << chip.err;
                refused += chip.status == 2;
                if (chip.status == 2)
                    std::printf("[ chaos    ] %s refused: %s%s\n", chip.name.c_str(),
                                chip.err.c_str(), chip.result.c_str());
                break;
            // Each fault unless the chip was refused before it began.
            case Fault::Protected:
                EXPECT_TRUE(chip.status == 1 || chip.status == 2) << chip.status << chip.err;
                break;
            case Fault::Unplugged:
                EXPECT_TRUE(chip.status == 3 || chip.status == 4 || chip.status == 2)
                    << chip.status << chip.err;
                break;
            case Fault::Killed:
                EXPECT_TRUE(chip.killed || chip.status == 2) << chip.status << chip.err;
                break;
        }
        const std::string held = readFile(dir_->file(chip.name + ".img"));
        if (held.size() < kSerialAddress + 4) continue;
        uint64_t number = 0;
        for (int i = 3; i >= 0; --i)
            number = number << 8 | static_cast<uint8_t>(held[kSerialAddress + i]);
        if (number != 0xFFFFFFFFu) holders[number].push_back(chip.name);
        if (chip.status != 0) continue;
        EXPECT_EQ(number, chip.serial) << "the chip holds another number than it said";
        std::string expected = product;
        expected.replace(kSerialAddress, 4, held.substr(kSerialAddress, 4));
        EXPECT_EQ(held.substr(0, kImageSize), expected) << "the chip does not hold the image";
        passedNumbers.insert(number);
    }
    for (const uint64_t number : passedNumbers)
        EXPECT_EQ(holders[number].size(), 1u)
            << "number " << number << " is on " << holders[number].size() << " chips";
    int passed = 0;
    for (const ChipRun& chip : chips_) passed += chip.status == 0;
    EXPECT_EQ(static_cast<int>(passedNumbers.size()), passed);
    std::printf("[ chaos    ] seed %llu: %d chips, %d passed, %d refused\n",
                static_cast<unsigned long long>(plan.seed), plan.chips, passed, refused);

    // The rows: none left started, one done row for each chip that passed,
    // with its number, and none for a chip that did not.
    std::multiset<uint64_t> doneNumbers;
    std::set<uint64_t> spentNumbers;
    std::map<std::pair<std::string, uint64_t>, uint64_t> rowBySequence;
    for (const std::string& line : sql(server,
                                       "SELECT station, COALESCE(sequence, 0), "
                                       "COALESCE(serial, 0), result, cause FROM chips "
                                       "WHERE product = 'board' ORDER BY id")) {
        const std::vector<std::string> f = tabbed(line);
        ASSERT_EQ(f.size(), 5u) << line;
        const uint64_t number = std::strtoull(f[2].c_str(), nullptr, 10);
        EXPECT_NE(f[3], "started") << "a row left started: " << line;
        if (f[3] == "done")
            doneNumbers.insert(number);
        else
            spentNumbers.insert(number);
        rowBySequence[{f[0], std::strtoull(f[1].c_str(), nullptr, 10)}] = number;
    }
    EXPECT_EQ(std::set<uint64_t>(doneNumbers.begin(), doneNumbers.end()), passedNumbers);
    EXPECT_EQ(doneNumbers.size(), passedNumbers.size()) << "a number in two done rows";
    for (const uint64_t number : passedNumbers)
        EXPECT_EQ(spentNumbers.count(number), 0u)
            << "number " << number << " of a failed chip is on a chip that passed";

    // Every number the pool gave is in exactly one lease, the leases one
    // after the other from the pool's start to its next number.
    const std::vector<std::string> pool =
        sql(server, "SELECT start_value, next_value FROM serial_pools WHERE product = 'board'");
    ASSERT_EQ(pool.size(), 1u);
    const std::vector<std::string> ends = tabbed(pool[0]);
    const uint64_t start = std::strtoull(ends[0].c_str(), nullptr, 10);
    const uint64_t next = std::strtoull(ends[1].c_str(), nullptr, 10);
    uint64_t expectedFirst = start;
    for (const std::string& line : sql(server,
                                       "SELECT first_value, last_value FROM leases WHERE "
                                       "product = 'board' ORDER BY first_value")) {
        const std::vector<std::string> f = tabbed(line);
        EXPECT_EQ(std::strtoull(f[0].c_str(), nullptr, 10), expectedFirst) << line;
        expectedFirst = std::strtoull(f[1].c_str(), nullptr, 10) + 1;
    }
    EXPECT_EQ(expectedFirst, next) << "the pool's next number is not past its last lease";
    for (const uint64_t number : passedNumbers) EXPECT_TRUE(number >= start && number < next);

    if (kGapsCommand) {
        // Each number of the pool is on a passed chip or in the gaps, once.
        const std::string out = dir_->file("gaps.out");
        const pid_t pid = fork();
        if (pid == 0) {
            if (freopen(out.c_str(), "w", stdout) == nullptr) _exit(127);
            setenv("XDG_STATE_HOME", dir_->file("state-admin").c_str(), 1);
            execAgainstSimulator(
                kProgram,
                {"--json", "--db", server.uri(), "records", "--gaps", "--product", "board"},
                dir_->file("none.conf"), "/dev/null");
        }
        EXPECT_EQ(testing::waitForExit(pid), 0);
        std::map<uint64_t, int> accounted;
        for (const uint64_t number : passedNumbers) ++accounted[number];
        for (const std::string& line : linesOf(readFile(out))) {
            if (line.find("\"type\":\"gap\"") == std::string::npos) continue;
            ++accounted[numberField(line, "serial")];
            EXPECT_EQ(line.find("\"reason\":\"pending\""), std::string::npos)
                << "an outcome still pending after every station reported in: " << line;
        }
        for (uint64_t number = start; number < next; ++number)
            EXPECT_EQ(accounted[number], 1) << "number " << number;
        EXPECT_EQ(accounted.size(), next - start);
    }

    // Every number a station drew and did not give back has its row, and
    // no spool holds an outcome that was not written.
    for (int s = 1; s <= kStations; ++s) {
        const std::string station = "line" + std::to_string(s);
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(stateOf(s), ec)) {
            const std::string file = entry.path().filename().string();
            if (file.rfind("production-spool-", 0) == 0) {
                EXPECT_EQ(readFile(entry.path().string()), "") << file;
                EXPECT_EQ(file.find("set-aside"), std::string::npos) << file;
            }
            if (file.rfind("production-journal-", 0) != 0) continue;
            std::map<uint64_t, uint64_t> drawn;  // number by sequence
            for (const std::string& line : linesOf(readFile(entry.path().string()))) {
                const std::vector<std::string> f = tabbed(line);
                if (f[0] == "draw" && f.size() >= 5)
                    drawn[std::strtoull(f[2].c_str(), nullptr, 10)] =
                        std::strtoull(f[3].c_str(), nullptr, 10);
                if (f[0] == "back") drawn.erase(std::strtoull(f[1].c_str(), nullptr, 10));
            }
            for (const auto& [sequence, number] : drawn) {
                const auto row = rowBySequence.find({station, sequence});
                if (row == rowBySequence.end()) {
                    ADD_FAILURE() << station << " drew " << number << " for its chip " << sequence
                                  << ", which has no row";
                    continue;
                }
                EXPECT_EQ(row->second, number) << station << " chip " << sequence;
            }
        }
    }
}

uint64_t seedOfRun() {
    const char* given = std::getenv("OSTREL_CHAOS_SEED");
    if (given != nullptr && *given != '\0') return std::strtoull(given, nullptr, 10);
    return std::random_device{}() ^ static_cast<uint64_t>(Clock::now().time_since_epoch().count());
}

bool longForm() {
    const char* form = std::getenv("OSTREL_CHAOS");
    return form != nullptr && std::string(form) == "long";
}

TEST_F(LineChaos, EveryNumberIsOnOneChipAndEveryOutcomeIsWrittenOnce) {
    // The children inherit no lines this process has not written yet.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const uint64_t seed = seedOfRun();
    const bool full = longForm();
    std::printf("[ chaos    ] seed %llu (OSTREL_CHAOS_SEED=%llu runs it again)\n",
                static_cast<unsigned long long>(seed), static_cast<unsigned long long>(seed));
    std::fflush(stdout);
    RecordProperty("seed", std::to_string(seed));
    const Plan plan = makePlan(seed, full, true);
    for (const Outage& outage : plan.outages)
        std::printf("[ chaos    ] server stopped after chip %d for %.1f s\n", outage.atChip,
                    outage.seconds);
    std::fflush(stdout);
    const Figures faults = run(plan);
    std::printf(
        "[ chaos    ] with faults: %.1f chips a minute (%d passed in %.2f min), %zu outages, "
        "%d refused while the server was away with numbers leased, %d with the lease used "
        "up, %.1f s at most from the server's return to empty spools\n",
        faults.passed / std::max(faults.minutes, 1e-9), faults.passed, faults.minutes,
        faults.outages, faults.refusedWhileAway, faults.refusedUsedUp, faults.longestRecovery);

    if (!full) return;
    const Figures calm = run(makePlan(seed, true, false));
    std::printf("[ chaos    ] without faults: %.1f chips a minute (%d passed in %.2f min)\n",
                calm.passed / std::max(calm.minutes, 1e-9), calm.passed, calm.minutes);
}

}  // namespace
}  // namespace ostrel
