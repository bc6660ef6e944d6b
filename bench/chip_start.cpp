// From "chip placed" to the first byte the programmer is sent, on a station
// making a product with a serial pool: the chip's start (its number drawn
// from the station's lease in the journal and flushed, its row started on
// the database), the number stamped into the image, the programmer opened and
// the first command packet out. Each iteration is one Auto of a 64 KiB chip
// through the command runner, its production run and the simulator, as batch
// mode and `ostrel-cli auto --product` run it; the time is the wire trace's
// first packet out, counted from the runner's start. The chip's outcome is
// recorded after it, unmeasured.
//
// With the database there and with it away (the station then starts chips
// from its lease alone), on SQLite and on a PostgreSQL server started for the
// run (Unix socket, fsync on). Each case reports the median and the 99th
// percentile of its chips (counters median_ms and p99_ms), and the median of
// its last 100 chips beside its first 100 (the journal grows by a line a
// chip). The state folder and the SQLite file live in the temporary folder
// (TMPDIR), which should be on the disk to measure its flushes.
//
// BM_JournalDraw times a draw alone in journals of growing length.

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "../sim/ostrel_sim.h"
#include "base/quiet_ui.h"
#include "operations/command_runner.h"
#include "production/production_log.h"
#include "production/production_run.h"
#include "production/station_link.h"
#include "support/pg_server.h"
#include "support/temp_files.h"
#include "usb/usb_bulk.h"
#include "usb/wire_trace.h"

namespace {

using namespace ostrel;

constexpr uint32_t kChipSize = 0x10000;
constexpr int kChips = 400;            // per case
constexpr uint64_t kLeaseSize = 1000;  // more than a case's chips while the database is away
constexpr const char* kSimLibrary = OSTREL_SIM_DIR "/libusb-0.1.so.4";

ostrel::testing::TempDir& temp() {
    static ostrel::testing::TempDir dir;
    return dir;
}

ostrel::testing::PostgresServer& server() {
    static ostrel::testing::PostgresServer instance;
    return instance;
}

struct Sim {
    Sim() {
        void* handle = dlopen(kSimLibrary, RTLD_NOW);
        if (!handle) throw std::runtime_error("simulator not built");
        reset = reinterpret_cast<decltype(reset)>(dlsym(handle, "ostrel_sim_reset"));
        addProgrammer =
            reinterpret_cast<decltype(addProgrammer)>(dlsym(handle, "ostrel_sim_add_programmer"));
        insertChip =
            reinterpret_cast<decltype(insertChip)>(dlsym(handle, "ostrel_sim_insert_chip"));
    }
    decltype(&ostrel_sim_reset) reset;
    decltype(&ostrel_sim_add_programmer) addProgrammer;
    decltype(&ostrel_sim_insert_chip) insertChip;
};

// Keeps the last box, which says why a chip did not pass.
class BenchUi : public QuietUi {
  public:
    void messageBox(const std::string& text, const std::string&, BoxIcon) override {
        lastBox = text;
    }
    std::string lastBox;
};

// One station with one programmer, making the product "bench" of `url`.
struct Station {
    explicit Station(const std::string& url, const std::string& folder) : url(url), folder(folder) {
        sim.reset();
        sim.insertChip(sim.addProgrammer(1), ClassSpiFlash25, 0xEF4010, kChipSize, nullptr);
        ChipRecord& chip = state->catalogue.at(0);
        std::strcpy(chip.nameText, "SPI_FLASH,Maker,BENCH512");
        chip.chipId = 0xEF4010;
        chip.flashSize = kChipSize;
        chip.flashPage = 256;
        chip.chipClass = ClassSpiFlash25;
        chip.delay = 10;
        uint8_t* flash = state->buffers.flash();
        for (uint32_t i = 0; i < kChipSize; ++i) flash[i] = static_cast<uint8_t>(i * 7);
        state->buffers.flashDataLength = static_cast<int32_t>(kChipSize);
        usb.setPause([](int) {});
        run.programmer = "P1";
        runner.hook = &run;
    }

    // Adds the product and connects the station; false with `error`.
    bool prepare(std::string& error) {
        {
            auto store = ProductionStore::open(url, error);
            Product product{"bench", "SPI_FLASH,Maker,BENCH512", std::string(64, '0'),
                            SerialFormat{0x100, 4, 1, 1, false}, kLeaseSize};
            if (!store || !store->addProduct(product, error)) return false;
        }
        return attach(error) && link->store().registerProgrammer(link->station, "P1", error);
    }

    // A link as a station that starts has: connected when it can be.
    bool attach(std::string& error) {
        link = std::make_unique<StationLink>(url, folder);
        link->station = "bench";
        run.database = link.get();
        if (!link->connect(error) && !link->goOffline()) return false;
        return link->findProduct("bench", link->product, error) && link->product;
    }

    // One chip: the milliseconds to its first packet out; negative when
    // none went out or the chip did not pass.
    double chip() {
        char* text = nullptr;
        std::size_t length = 0;
        std::FILE* out = open_memstream(&text, &length);
        double ms = -1;
        {
            WireTrace trace(out);
            usb.setTrace(&trace);
            const CommandReport report = runner.run(ChipCommand::Auto);
            usb.setTrace(nullptr);
            std::fflush(out);
            long long micros = 0;
            char kind[16];
            for (const char* line = text; line && *line; line = std::strchr(line, '\n')) {
                if (*line == '\n') ++line;
                if (std::sscanf(line, "%lld %15s", &micros, kind) == 2 &&
                    std::strcmp(kind, "out") == 0) {
                    ms = micros / 1000.0;
                    break;
                }
            }
            if (report.status != CommandStatus::Done) {
                why = std::string(report.failure ? causeName(report.failure->cause) : "none") +
                      ": " + ui.lastBox;
                ms = -1;
            }
        }
        std::fclose(out);
        std::free(text);
        return ms;
    }

    Sim sim;
    std::string url, folder;
    std::unique_ptr<MainState> state = std::make_unique<MainState>();
    BenchUi ui;
    std::string why;  // of the last chip that did not pass
    TUsbBulk usb{kSimLibrary};
    ProgrammerOps ops{*state, usb, ui};
    CommandRunner runner{*state, ops, ui};
    ProductionLog log;
    ProductionRun run{*state, ops, runner, ui, log};
    std::unique_ptr<StationLink> link;
};

double at(std::vector<double> times, double fraction) {
    std::sort(times.begin(), times.end());
    return times[std::min(times.size() - 1, static_cast<std::size_t>(times.size() * fraction))];
}

void measure(benchmark::State& state, Station& station, bool offline) {
    std::vector<double> times;
    for (auto _ : state) {
        const double ms = station.chip();
        if (ms < 0) {
            state.SkipWithError(("the chip did not pass: " + station.why).c_str());
            return;
        }
        if (station.link->offline() != offline) {
            state.SkipWithError(offline ? "the station reached the database it should miss"
                                        : "the station lost its database");
            return;
        }
        state.SetIterationTime(ms / 1000.0);
        times.push_back(ms);
    }
    state.counters["median_ms"] = at(times, 0.5);
    state.counters["p99_ms"] = at(times, 0.99);
    const std::size_t n = std::min<std::size_t>(100, times.size());
    state.counters["first100_median_ms"] =
        at(std::vector<double>(times.begin(), times.begin() + n), 0.5);
    state.counters["last100_median_ms"] =
        at(std::vector<double>(times.end() - n, times.end()), 0.5);
    uint64_t left = 0;
    int waiting = 0;
    if (station.link->holding(left, waiting)) {
        state.counters["lease_left"] = static_cast<double>(left);
        state.counters["waiting"] = waiting;
    }
}

// The station of each database, made by its first case and kept for the
// case with the database away.
std::unique_ptr<Station> sqliteStation, postgresStation;

void BM_SqliteThere(benchmark::State& state) {
    std::filesystem::create_directories(temp().file("db"));
    sqliteStation = std::make_unique<Station>("sqlite:" + temp().file("db/line.db"),
                                              temp().file("state-sqlite"));
    std::filesystem::create_directories(sqliteStation->folder);
    std::string error;
    if (!sqliteStation->prepare(error)) return state.SkipWithError(error.c_str());
    measure(state, *sqliteStation, false);
}

// The database file's folder moved away: the station, started again, cannot
// open it and goes on from its lease.
void BM_SqliteAway(benchmark::State& state) {
    if (!sqliteStation) return state.SkipWithError("no station");
    std::filesystem::rename(temp().file("db"), temp().file("db-away"));
    std::string error;
    if (!sqliteStation->attach(error)) return state.SkipWithError(error.c_str());
    measure(state, *sqliteStation, true);
    std::filesystem::rename(temp().file("db-away"), temp().file("db"));
}

void BM_PostgresThere(benchmark::State& state) {
    postgresStation = std::make_unique<Station>(server().conninfo(), temp().file("state-postgres"));
    std::filesystem::create_directories(postgresStation->folder);
    std::string error;
    if (!postgresStation->prepare(error)) return state.SkipWithError(error.c_str());
    measure(state, *postgresStation, false);
}

// The server stopped at once: the first chip finds its connection lost, and
// every chip after it tries to connect again before it starts from the lease.
void BM_PostgresAway(benchmark::State& state) {
    if (!postgresStation) return state.SkipWithError("no station");
    server().stop(true);
    postgresStation->chip();  // finds the server gone
    measure(state, *postgresStation, true);
}

// The server's socket there but nothing answering on it, as a server that
// hangs or a network that drops the packets after the connection is made:
// each chip waits for the connection attempt to give up before it starts
// from the lease.
void BM_PostgresUnanswered(benchmark::State& state) {
    if (!postgresStation) return state.SkipWithError("no station");
    const std::string conninfo = server().conninfo();
    const std::size_t host = conninfo.find("host=") + 5;
    const std::string path =
        conninfo.substr(host, conninfo.find(' ', host) - host) + "/.s.PGSQL.5432";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (listener < 0 ||
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 16) != 0)
        return state.SkipWithError(("cannot listen on " + path).c_str());
    measure(state, *postgresStation, true);
    ::close(listener);
    ::unlink(path.c_str());
}

// A draw alone, after `lines` draws in the journal (each chip adds one).
void BM_JournalDraw(benchmark::State& state) {
    const std::string path = temp().file("draw-" + std::to_string(state.range(0)) + ".tsv");
    const StationJournal journal(path, "bench-db", "bench");
    std::string error;
    Lease lease;
    lease.id = 1;
    lease.product = "p";
    lease.station = "bench";
    lease.first = 1;
    lease.last = lease.numbers = 10000000;
    uint64_t sequence = 0, number = 0, left = 0;
    if (!journal.addLease(lease, error)) return state.SkipWithError(error.c_str());
    for (int64_t i = 0; i < state.range(0); ++i)
        if (!journal.draw("p", sequence, number, left, error))
            return state.SkipWithError(error.c_str());
    for (auto _ : state)
        if (!journal.draw("p", sequence, number, left, error))
            return state.SkipWithError(error.c_str());
}

BENCHMARK(BM_SqliteThere)->Iterations(kChips)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteAway)->Iterations(kChips)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PostgresThere)->Iterations(kChips)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PostgresAway)->Iterations(kChips)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PostgresUnanswered)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JournalDraw)
    ->Arg(0)
    ->Arg(1000)
    ->Arg(2000)
    ->Iterations(200)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    if (!server().start(error, true)) {
        std::fprintf(stderr, "PostgreSQL: %s\n", error.c_str());
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
