// A production line on a real database, run as ostrel-cli processes against
// the simulator: stations (each its own state folder and host name) with
// simulated programmers program chips of one product against one PostgreSQL
// server of the test's own, or one SQLite file; faults are injected; the
// database is stopped in the middle; wrong images, chips and options are
// refused before anything is touched.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_process.h"
#include "support/pg_server.h"
#include "support/temp_files.h"

namespace ostrel {
namespace {

using testing::execAgainstSimulator;
using testing::PostgresServer;
using testing::randomBytes;
using testing::readFile;
using testing::TempDir;
using testing::waitForExit;
using testing::writeFile;

constexpr const char* kProgram = OSTREL_BIN_DIR "/ostrel-cli";

struct Outcome {
    int status;
    std::string out, err;
};

// What one chip's run said in its JSON result: its exit status, its row and
// its serial number (0: none).
struct Chip {
    int status = -1;
    long long row = 0;
    long long serial = 0;
    std::string station, programmer;
};

long long fieldOf(const std::string& json, const std::string& name) {
    const std::size_t at = json.rfind("\"" + name + "\":");
    return at == std::string::npos ? 0 : std::atoll(json.c_str() + at + name.size() + 3);
}

std::vector<QJsonObject> jsonLines(const std::string& text, const char* type) {
    std::vector<QJsonObject> objects;
    std::size_t from = 0;
    for (std::size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1) {
        const QJsonObject object =
            QJsonDocument::fromJson(QByteArray::fromStdString(text.substr(from, end - from)))
                .object();
        if (object.value("type").toString() == type) objects.push_back(object);
    }
    return objects;
}

class ProductionLine : public ::testing::Test {
  protected:
    // A simulator configuration of one programmer with its own chip; `fault`
    // goes on the programmer's line, or the chip's for "protect=1".
    std::string configure(const std::string& name, const std::string& serial,
                          const std::string& fault = "", uint32_t chipSize = 0x20000,
                          uint32_t chipId = 0xEF3011) {
        const bool onChip = fault == "protect=1";
        char chip[160];
        std::snprintf(chip, sizeof chip, "chip id=0x%06X size=0x%X class=0 %s image=\"%s\"\n",
                      chipId, chipSize, onChip ? fault.c_str() : "",
                      dir.file(name + ".img").c_str());
        const std::string path = dir.file(name + ".conf");
        writeFile(path,
                  "programmer bus=1 serial=" + serial + " " + (onChip ? "" : fault) + "\n" + chip);
        return path;
    }

    // Starts ostrel-cli as `station` (its state folder and host name) on the
    // programmer that `config` describes; output goes to files named `name`.
    pid_t start(const std::vector<std::string>& args, const std::string& name,
                const std::string& station = "st1", const std::string& config = "") {
        const pid_t pid = fork();
        if (pid == 0) {
            freopen(dir.file(name + ".out").c_str(), "w", stdout);
            freopen(dir.file(name + ".err").c_str(), "w", stderr);
            setenv("XDG_STATE_HOME", dir.file("state-" + station).c_str(), 1);
            setenv("OSTREL_STATION", station.c_str(), 1);
            execAgainstSimulator(kProgram, args, config.empty() ? dir.file("none.conf") : config,
                                 dir.file(name + ".sim"));
        }
        return pid;
    }
    Outcome cli(const std::vector<std::string>& args, const std::string& station = "st1",
                const std::string& config = "") {
        unlink(dir.file("run.sim").c_str());
        const int status = waitForExit(start(args, "run", station, config));
        return {status, readFile(dir.file("run.out")), readFile(dir.file("run.err"))};
    }

    // A product of a W25X10 with a 4 KiB image and a pool of serial numbers.
    void addProduct(const std::string& url) {
        writeFile(image(), randomBytes(0x1000, 7));
        const Outcome added = cli({"--db", url, "product", "add", "board", "-c", "W25X10",
                                   "--image", image(), "--serial", "0x100:4:1000"});
        ASSERT_EQ(added.status, 0) << added.err;
    }
    std::string image() const { return dir.file("board.bin"); }

    // Stations x programmers, each programmer one process that runs `chips`
    // chips one after the other; every tenth chip meets a write-protected
    // chip, an unplug or a stall. Stations are named `line` and a number.
    // The processes, to wait for.
    std::vector<pid_t> startLine(const std::string& url, const std::string& line, int stations,
                                 int programmers, int chips) {
        std::vector<pid_t> workers;
        for (int s = 0; s < stations; ++s) {
            for (int p = 0; p < programmers; ++p) {
                const std::string station = line + std::to_string(s + 1);
                const std::string name = station + "p" + std::to_string(p + 1);
                const pid_t pid = fork();
                if (pid == 0) {
                    std::string said;
                    for (int k = 0; k < chips; ++k) {
                        static const char* const kFaults[] = {"",
                                                              "",
                                                              "",
                                                              "protect=1",
                                                              "",
                                                              "",
                                                              "unplug_after=38",
                                                              "",
                                                              "",
                                                              "stall_after=28"};
                        const std::string config = configure(name, name, kFaults[(k + p) % 10]);
                        const int status =
                            waitForExit(start({"--json", "--db", url, "-d", "001/001", "auto",
                                               "--product", "board", image()},
                                              name, station, config));
                        const std::string out = readFile(dir.file(name + ".out"));
                        said += std::to_string(status) + " " + std::to_string(fieldOf(out, "row")) +
                                " " + std::to_string(fieldOf(out, "serial")) + "\n";
                    }
                    writeFile(dir.file(name + ".chips"), said);
                    _exit(0);
                }
                workers.push_back(pid);
            }
        }
        return workers;
    }
    // What each chip's run of the line said.
    std::vector<Chip> chipsOf(const std::string& line, int stations, int programmers) {
        std::vector<Chip> all;
        for (int s = 0; s < stations; ++s) {
            for (int p = 0; p < programmers; ++p) {
                const std::string station = line + std::to_string(s + 1);
                const std::string name = station + "p" + std::to_string(p + 1);
                std::istringstream said(readFile(dir.file(name + ".chips")));
                Chip chip;
                while (said >> chip.status >> chip.row >> chip.serial) {
                    chip.station = station;
                    chip.programmer = name;
                    all.push_back(chip);
                }
            }
        }
        return all;
    }

    TempDir dir;
};

// Every chip that started has exactly one finished row, with its own
// result; no number is in two chips that passed; numbers that failed chips
// spent are never used again; the summary adds up to the rows.
TEST_F(ProductionLine, StationsShareOneSeriesOfSerialNumbers) {
    PostgresServer server;
    std::string why;
    ASSERT_TRUE(server.start(why)) << why;
    const struct {
        std::string url;
        std::string name;  // of its stations
        int stations;
        int programmers;  // each
    } lines[] = {
        {server.uri(), "pg", 2, 4},
        {"sqlite:" + dir.file("line.db"), "lite", 1, 8},
    };
    // Both lines run at once: the chips wait for the programmers, not the processor.
    std::vector<pid_t> workers;
    for (const auto& line : lines) {
        addProduct(line.url);
        const std::vector<pid_t> started =
            startLine(line.url, line.name, line.stations, line.programmers,
                      200 / (line.stations * line.programmers));
        workers.insert(workers.end(), started.begin(), started.end());
    }
    for (const pid_t pid : workers) waitForExit(pid);
    for (const auto& line : lines) {
        SCOPED_TRACE(line.url);
        const std::vector<Chip> chips = chipsOf(line.name, line.stations, line.programmers);
        ASSERT_EQ(chips.size(), 200u);

        const Outcome listed = cli({"--json", "--db", line.url, "records"});
        ASSERT_EQ(listed.status, 0) << listed.err;
        std::map<long long, QJsonObject> rows;
        for (const QJsonObject& row : jsonLines(listed.out, "record"))
            rows[row.value("row").toInteger()] = row;
        std::set<long long> passedSerials;
        std::set<long long> givenBack;
        std::map<std::string, int> started;  // programmer: chips with a row
        int passed = 0;
        for (const Chip& chip : chips) {
            if (chip.row == 0) {
                EXPECT_NE(chip.status, 0) << "a chip reported done without its row";
                continue;
            }
            ++started[chip.station + "/" + chip.programmer];
            ASSERT_EQ(rows.count(chip.row), 1u) << chip.row;
            const QJsonObject& row = rows[chip.row];
            EXPECT_EQ(row.value("result").toString(), chip.status == 0   ? "done"
                                                      : chip.status == 1 ? "different"
                                                                         : "failed")
                << chip.row;
            EXPECT_EQ(row.value("serial").toInteger(), chip.serial);
            EXPECT_EQ(row.value("station").toString().toStdString(), chip.station);
            if (chip.status == 0) {
                ++passed;
                EXPECT_TRUE(passedSerials.insert(chip.serial).second)
                    << "serial " << chip.serial << " in two chips that passed";
            } else {
                givenBack.insert(chip.serial);
            }
        }
        int started_total = 0;
        for (const auto& [who, count] : started) started_total += count;
        EXPECT_EQ(static_cast<int>(rows.size()), started_total) << "a row without its chip";
        EXPECT_GT(passed, 100);
        // Every fault here meets the chip once its write has begun (a
        // protected chip differs, the unplug and the stall come after the
        // erase): the failed chips' numbers are spent, not given again.
        int reused = 0;
        for (const long long serial : givenBack) reused += passedSerials.count(serial);
        EXPECT_EQ(reused, 0) << "a number spent on a failed chip went to a chip that passed";

        const Outcome summary = cli({"--json", "--db", line.url, "records", "--summary"});
        ASSERT_EQ(summary.status, 0) << summary.err;
        int chipsInSummary = 0, passedInSummary = 0;
        std::map<std::string, int> perProgrammer;
        for (const QJsonObject& s : jsonLines(summary.out, "summary")) {
            const int count = s.value("chips").toInt();
            EXPECT_EQ(count, s.value("passed").toInt() + s.value("failed").toInt());
            chipsInSummary += count;
            passedInSummary += s.value("passed").toInt();
            perProgrammer[s.value("station").toString().toStdString() + "/" +
                          s.value("programmer").toString().toStdString()] = count;
        }
        EXPECT_EQ(chipsInSummary, static_cast<int>(rows.size()));
        EXPECT_EQ(passedInSummary, passed);
        EXPECT_EQ(perProgrammer, started);
        EXPECT_EQ(static_cast<int>(perProgrammer.size()), line.stations * line.programmers);
    }
}

// The server stops at once while a chip is programmed: the chip's outcome
// goes to the spool and the user is told; the next chip is not started; the
// next connection, by any URL of that database, writes the spool, once.
TEST_F(ProductionLine, DatabaseStoppedInTheMiddleLosesNoChipAndCountsNoneTwice) {
    PostgresServer server;
    std::string why;
    ASSERT_TRUE(server.start(why)) << why;
    const std::string url = server.conninfo();
    addProduct(url);
    // A chip of 8 MiB takes long enough to stop the server in the middle.
    writeFile(dir.file("big.bin"), randomBytes(0x800000, 9));
    ASSERT_EQ(cli({"--db", url, "product", "add", "big", "-c", "W25Q64JV", "--image",
                   dir.file("big.bin"), "--serial", "0x10:4:1"})
                  .status,
              0);
    const std::string config = configure("big", "P1", "", 0x800000, 0xEF4017);
    const pid_t chip =
        start({"--json", "--db", url, "auto", "--product", "big", dir.file("big.bin")}, "big",
              "st1", config);
    for (int i = 0;
         i < 3000 && readFile(dir.file("big.out")).find("\"write\"") == std::string::npos; ++i)
        usleep(2000);
    server.stop(true);
    EXPECT_EQ(waitForExit(chip), 0) << readFile(dir.file("big.err"));
    const long long row = fieldOf(readFile(dir.file("big.out")), "row");
    ASSERT_GT(row, 0);
    EXPECT_NE(readFile(dir.file("big.err")).find("It is kept in "), std::string::npos)
        << readFile(dir.file("big.err"));

    // A station that never reached the database holds no lease to go on from.
    const Outcome away =
        cli({"--db", url, "auto", "--product", "big", dir.file("big.bin")}, "st2", config);
    EXPECT_EQ(away.status, 2);
    EXPECT_NE(away.err.find("cannot be used: connection to server"), std::string::npos) << away.err;
    EXPECT_EQ(away.err.find_first_of("\t\n"), away.err.size() - 1) << "not one line: " << away.err;
    EXPECT_EQ(away.err.find("?."), std::string::npos) << away.err;
    EXPECT_EQ(away.err.rfind(". The chip was not started.\n"), away.err.size() - 28) << away.err;
    EXPECT_EQ(readFile(dir.file("run.sim")).find("cmd "), std::string::npos)
        << "the programmer was touched";

    // The outcome was kept under the database, not under the URL's spelling:
    // the same database reached by its URI takes it.
    ASSERT_TRUE(server.startAgain(why)) << why;
    const Outcome first = cli({"--json", "--db", server.uri(), "records"});
    EXPECT_NE(first.err.find("were written to it: 1."), std::string::npos) << first.err;
    const Outcome second = cli({"--json", "--db", server.uri(), "records"});
    EXPECT_EQ(second.err, "");
    const std::vector<QJsonObject> rows = jsonLines(second.out, "record");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].value("row").toInteger(), row);
    EXPECT_EQ(rows[0].value("result").toString(), "done");
    EXPECT_EQ(rows[0].value("bytes").toInteger(), 0x800000);
}

// While the database is away a station goes on from its lease, started
// again for every chip as the command line is: as many chips as the lease
// still holds pass, each saying what is left and what waits; the next is
// refused, saying the lease is used up. When the database is back, those
// chips are written once, in the order they ran, with their own numbers.
TEST_F(ProductionLine, StationGoesOnFromItsLeaseWhileTheDatabaseIsAway) {
    PostgresServer server;
    std::string why;
    ASSERT_TRUE(server.start(why)) << why;
    const std::string file = dir.file("line.db");
    const struct {
        const char* name;
        std::string url;
        std::function<void()> away, back;
    } cases[] = {
        {"sqlite", "sqlite:" + file,
         [&] {
             ASSERT_EQ(rename(file.c_str(), (file + ".away").c_str()), 0);
             ASSERT_EQ(mkdir(file.c_str(), 0700), 0);  // nothing SQLite can open
         },
         [&] {
             ASSERT_EQ(rmdir(file.c_str()), 0);
             ASSERT_EQ(rename((file + ".away").c_str(), file.c_str()), 0);
         }},
        {"postgresql", server.conninfo(), [&] { server.stop(true); },
         [&] { ASSERT_TRUE(server.startAgain(why)) << why; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string station = std::string("st-") + c.name;
        addProduct(c.url);
        ASSERT_EQ(cli({"--db", c.url, "product", "set", "board", "--lease", "4"}).status, 0);
        const std::string config = configure(station, "P1");
        const std::vector<std::string> chip = {"--json",    "--db",  c.url,  "auto",
                                               "--product", "board", image()};
        // The first chip takes the lease with the database there.
        const Outcome first = cli(chip, station, config);
        ASSERT_EQ(first.status, 0) << first.err;
        EXPECT_NE(first.err.find("Numbers left in the lease: 3; records waiting for the "
                                 "database: 0."),
                  std::string::npos)
            << first.err;
        std::vector<long long> serials = {fieldOf(first.out, "serial")};

        c.away();
        for (int left = 2; left >= 0; --left) {
            const Outcome away = cli(chip, station, config);
            ASSERT_EQ(away.status, 0) << away.err;
            EXPECT_NE(away.err.find("goes on with the serial numbers leased"), std::string::npos)
                << away.err;
            EXPECT_NE(away.err.find(
                          "Numbers left in the lease: " + std::to_string(left) +
                          "; records waiting for the database: " + std::to_string(3 - left) + "."),
                      std::string::npos)
                << away.err;
            serials.push_back(fieldOf(away.out, "serial"));
        }
        const Outcome usedUp = cli(chip, station, config);
        EXPECT_EQ(usedUp.status, 2);
        EXPECT_NE(usedUp.err.find("are used up: the lease gave 4 chips"), std::string::npos)
            << usedUp.err;
        EXPECT_EQ(std::set<long long>(serials.begin(), serials.end()).size(), 4u);

        c.back();
        // The station reports in: its next run writes what waits.
        const Outcome written = cli({"--json", "--db", c.url, "records"}, station);
        EXPECT_NE(written.err.find("were written to it: 3."), std::string::npos)
            << written.err << written.out;
        const Outcome again = cli({"--json", "--db", c.url, "records"}, station);
        EXPECT_EQ(again.err, "");
        std::vector<long long> recorded;
        for (const QJsonObject& row : jsonLines(again.out, "record")) {
            EXPECT_EQ(row.value("result").toString(), "done");
            EXPECT_EQ(row.value("station").toString().toStdString(), station);
            recorded.push_back(row.value("serial").toInteger());
        }
        EXPECT_EQ(recorded, serials) << "each chip once, in the order they ran";
        // The station reported its journal in: its lease is used up, by
        // passed chips only, and no number of the pool is without a chip.
        const std::vector<QJsonObject> stations = jsonLines(again.out, "station");
        ASSERT_EQ(stations.size(), 1u) << again.out;
        EXPECT_EQ(stations[0].value("lease_left").toInt(), 0);
        EXPECT_EQ(stations[0].value("waiting").toInt(), 0);
        EXPECT_TRUE(stations[0].value("reported").isString());
        const Outcome leases = cli({"--json", "--db", c.url, "product", "leases"});
        const std::vector<QJsonObject> leased = jsonLines(leases.out, "lease");
        ASSERT_EQ(leased.size(), 1u) << leases.out << leases.err;
        EXPECT_EQ(leased[0].value("station").toString().toStdString(), station);
        EXPECT_EQ(leased[0].value("numbers").toInt(), 4);
        EXPECT_EQ(leased[0].value("used").toInt(), 4);
        EXPECT_EQ(leased[0].value("left").toInt(), 0);
        EXPECT_TRUE(leased[0].value("reclaimed").isNull());
        const Outcome gaps =
            cli({"--db", c.url, "records", "--gaps", "--product", "board"}, station);
        EXPECT_EQ(gaps.status, 0) << gaps.err;
        EXPECT_EQ(gaps.out, "serial\treason\tstation\tcause\n");
    }
}

// A product's image and chip are checked before the programmer is touched;
// bad input to every option of the database is refused, naming the option,
// and leaves no file behind.
TEST_F(ProductionLine, WrongImageChipOrInputIsRefusedAndTouchesNothing) {
    const std::string url = "sqlite:" + dir.file("line.db");
    addProduct(url);
    writeFile(dir.file("other.bin"), randomBytes(0x1000, 8));
    const std::string config = configure("p1", "P1");
    // Refused before any connection: a server that is not there would say so.
    const std::string fresh = "postgresql://line:s3cret@/line?host=" + dir.file("no-server");
    const std::string img = image();
    // A line server where none listens, and a token that must not be shown.
    const std::string away = "http://127.0.0.1:1";
    writeFile(dir.file("token"), "s3cret0123\n");
    const std::string token = dir.file("token");
    const struct {
        std::vector<std::string> args;
        const char* err;
    } cases[] = {
        {{"--db", url, "auto", "--product", "board", dir.file("other.bin")},
         "The image is not product board's"},
        {{"--db", url, "-c", "W25X20", "auto", "--product", "board", img},
         "Product board is made with SPI_FLASH,Winbond,W25X10, not with"},
        {{"--db", url, "auto", "--product", "nothing", img}, "no product named nothing"},
        {{"--db", "mysql://line", "records"}, "--db: 'mysql://line' is neither sqlite:PATH"},
        {{"--db", "sqlite:", "records"}, "--db: sqlite: needs the database file's path"},
        {{"--db", "host='x dbname=y", "records"}, "--db: host='x dbname=y: "},
        {{"--db", "postgresql://u:s3cret@h/x?sslmode", "records"}, "postgresql://u:***@h/x"},
        {{"--db", "postgresq://line:s3cret@db/line", "records"},
         "--db: 'postgresq://line:***@db/line' is neither"},
        {{"--db", "host=db pasword=s3cret", "records"}, "host=db pasword=***: "},
        {{"--db", "postgresql://line:s3%zzcret@db/line", "records"}, "token: \"***\""},
        {{"--dbx=postgresql://line:s3cret@db/line", "records"}, "--dbx=postgresql://line:***@db"},
        {{"--db", fresh, "records"}, "The production database postgresql://line:***@/line?host="},
        {{"--db", fresh, "-c", "W25X10", "auto", img}, ". The chip was not started."},
        {{"records"}, "records needs --db URL"},
        {{"--db", fresh, "info"}, "--db goes with the chip commands, product and records"},
        {{"--db", fresh, "records", "--since", "2026-02-31"}, "--since takes YYYY-MM-DD"},
        {{"--db", fresh, "records", "--since", "yesterday"}, "not 'yesterday'"},
        {{"--db", fresh, "records", "--result", "ok"}, "--result takes started, done"},
        {{"--db", fresh, "records", "--serial", "12x"}, "--serial with records takes a serial"},
        {{"--db", fresh, "records", "--csv", "--json"}, "--csv and --json exclude each other"},
        {{"--db", fresh, "--summary", "-c", "W25X10", "erase"},
         "--summary and --gaps go with records"},
        {{"--db", fresh, "product"}, "product takes add NAME, set NAME, list, leases or reclaim"},
        {{"--db", fresh, "product", "remove", "x"},
         "product takes add NAME, set NAME, list, leases or reclaim, not remove"},
        {{"--db", fresh, "product", "add", "p", "-c", "W25X10", "--image", img, "--lease", "0"},
         "--lease takes how many serial numbers a station leases at once (1 or more), not '0'"},
        {{"--db", fresh, "--lease", "5", "records"},
         "--lease goes with product add and product set"},
        {{"--db", fresh, "product", "set", "board"}, "product set needs --lease N"},
        {{"--db", fresh, "product", "set", "board", "--lease", "5", "-c", "W25X10"},
         "product set changes --lease only"},
        {{"--db", url, "product", "set", "board", "--lease", "5000000000"},
         "the pool of board has 4294966296 numbers left, fewer than a lease of 5000000000"},
        {{"--db", fresh, "product", "add", "-", "-c", "W25X10", "--image", img},
         "product add: '-' is not a product's name"},
        {{"--db", fresh, "product", "add", "p", "--image", img}, "product add needs --chip"},
        {{"--db", fresh, "product", "add", "p", "-c", "W25X10"}, "product add needs --image"},
        {{"--db", fresh, "product", "add", "p", "-c", "W25X10", "--image", dir.file("no.bin")},
         "no.bin"},
        {{"--db", fresh, "product", "add", "p", "-c", "W25X10", "--image", img, "--serial",
          "0x1FFFF:4:1"},
         "at address 1FFFFh (4 bytes) lies outside the chip"},
        {{"--db", fresh, "product", "add", "p", "-c", "W25X10", "--image", img, "--serial",
          "0:9:1"},
         "--serial: the serial number takes 1 to 8 bytes"},
        {{"--db", fresh, "--image", img, "-c", "W25X10", "auto", img},
         "--image goes with product add"},
        {{"--product", "board", "auto", img}, "--product needs --db URL"},
        {{"--db", fresh, "--product", "", "auto", img}, "--product needs a value"},
        {{"--db", fresh, "--product", "board", "--detect", "auto", img},
         "--product chooses the chip"},
        {{"--db", fresh, "--product", "board", "-c", "W25X10", "read", img},
         "--product goes with auto, records, product leases and product reclaim"},
        {{"--db", fresh, "--log", dir.file("p.jsonl"), "--serial", "0:4:1", "-c", "W25X10", "auto",
          img},
         "--serial and --db"},
        {{"--line", "ftp://line", "-c", "W25X10", "auto", img},
         "--line: a line server's URL begins with http:// or https://"},
        {{"--line", away, "records"}, "records needs --db URL: a line server's station has"},
        {{"--line", away, "product", "add", "p", "-c", "W25X10", "--image", img},
         "product add needs --db URL"},
        {{"--line", away, "--db", url, "-c", "W25X10", "auto", img},
         "--line and --db exclude each other"},
        {{"--line-token-file", token, "-c", "W25X10", "auto", img},
         "--line-token-file goes with --line"},
        {{"--line", away, "-c", "W25X10", "auto", img},
         "a line server needs the station's token in OSTREL_LINE_TOKEN"},
        {{"--line", away, "--line-token-file", token, "-c", "W25X10", "auto", img},
         "http://127.0.0.1:1 cannot be used: the line server does not answer: no connection"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        const Outcome run = cli(c.args, "st9", config);
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("s3cret"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\t'), std::string::npos) << run.err;
        EXPECT_EQ(readFile(dir.file("run.sim")).find("cmd "), std::string::npos)
            << "the programmer was touched";
        struct stat st;
        EXPECT_NE(stat(dir.file("p.jsonl").c_str(), &st), 0) << "a log was made";
    }
    const Outcome rows = cli({"--db", url, "records"});
    EXPECT_EQ(rows.out,
              "row\ttime\tstation\tprogrammer\tchip\tid\tcommand\tresult\tcause\tserial\tbytes\t"
              "crc32\tseconds\tproduct\tmessage\tspent\n")
        << "a refused chip has a row";
    // The lease size that was refused above is changed within the pool.
    const Outcome set = cli({"--db", url, "product", "set", "board", "--lease", "7"});
    EXPECT_EQ(set.status, 0) << set.err;
    const Outcome listed = cli({"--db", url, "product", "list"});
    EXPECT_NE(listed.out.find("\t0x100:4:1000:1:le\t7\n"), std::string::npos) << listed.out;
}

}  // namespace
}  // namespace ostrel
