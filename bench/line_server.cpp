// The line server under a line's load: 8 stations of 8 programmers each (64
// threads, each with its own keep-alive connection, as 64 programmers of 8
// station processes would have) start chips with numbers from their
// station's leases and send their outcomes through one ostrel-line on a
// PostgreSQL server started for the run (Unix socket, committing to the
// disk). Every tenth chip fails.
//
// Printed: the time of one outcome request in the server (its Server-Timing
// header: from the request read to the answer, database included) and as a
// station sees it on the loopback, median and 99th percentile, for
// programmers that pause between chips and for programmers that never
// pause, and the server's resident memory sampled through the run.
//
//   bench_line_server [SECONDS per phase, default 30] [PAUSE in ms, default 100]

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "support/line_process.h"
#include "support/pg_server.h"
#include "support/temp_files.h"

namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr int kStations = 8;
constexpr int kProgrammers = 8;  // per station

long residentKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

// One station: its token and the numbers of its current lease, which its
// programmers draw from in turn.
struct Station {
    std::string name, token;
    std::mutex mutex;
    uint64_t next = 0, last = 0, sequence = 0;
    bool empty = true;
};

struct Phase {
    std::vector<double> outcomeMs;  // as the station sees it
    std::vector<double> serverMs;   // in the server (its Server-Timing)
    int failures = 0;
    std::string firstFailure;
};

httplib::Headers auth(const std::string& token) {
    return {{"Authorization", "Bearer " + token}};
}

// One programmer's chips until `until`; false at the first failed request.
void programmer(int port, Station& station, int index, Clock::time_point until,
                std::chrono::milliseconds pause, Phase& phase, std::mutex& phaseMutex) {
    httplib::Client client("127.0.0.1", port);
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true);
    const std::string serial = station.name + "-P" + std::to_string(index);
    auto fail = [&](const std::string& what) {
        std::lock_guard<std::mutex> lock(phaseMutex);
        if (phase.failures++ == 0) phase.firstFailure = what;
    };
    std::vector<double> times, serverTimes;
    for (int k = 0; Clock::now() < until; ++k) {
        uint64_t number = 0, sequence = 0;
        {
            std::lock_guard<std::mutex> lock(station.mutex);
            if (station.empty || station.next > station.last) {
                auto r = client.Post("/api/v1/leases", auth(station.token), R"({"product":"B"})",
                                     "application/json");
                if (!r || r->status != 201)
                    return fail("lease: " + (r ? r->body : httplib::to_string(r.error())));
                const json lease = json::parse(r->body)["lease"];
                station.next = lease["first"].get<uint64_t>();
                station.last = lease["last"].get<uint64_t>();
                station.empty = false;
            }
            number = station.next++;
            sequence = ++station.sequence;
        }
        const json start = {{"time", "2026-12-08T10:00:00Z"},
                            {"programmer", serial},
                            {"chip", "SPI_FLASH,MAKER,CHIP"},
                            {"chip_id", "ef4017"},
                            {"command", "auto"},
                            {"product", "B"},
                            {"serial", number},
                            {"sequence", sequence}};
        auto r =
            client.Post("/api/v1/chips", auth(station.token), start.dump(), "application/json");
        if (!r || r->status != 201)
            return fail("start: " + (r ? r->body : httplib::to_string(r.error())));
        const int64_t id = json::parse(r->body)["id"].get<int64_t>();
        const json outcome = {{"result", k % 10 == 9 ? "failed" : "done"},
                              {"cause", k % 10 == 9 ? "verify" : ""},
                              {"message", k % 10 == 9 ? "a byte differs" : ""},
                              {"bytes", 8388608},
                              {"crc32", "1234abcd"},
                              {"seconds", 12.5}};
        const auto begun = Clock::now();
        r = client.Post("/api/v1/chips/" + std::to_string(id) + "/outcome", auth(station.token),
                        outcome.dump(), "application/json");
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - begun).count();
        if (!r || r->status != 200)
            return fail("outcome: " + (r ? r->body : httplib::to_string(r.error())));
        times.push_back(ms);
        const std::string timing = r->get_header_value("Server-Timing");
        const std::size_t at = timing.find("dur=");
        if (at != std::string::npos) serverTimes.push_back(std::atof(timing.c_str() + at + 4));
        if (pause.count() > 0) std::this_thread::sleep_for(pause);
    }
    std::lock_guard<std::mutex> lock(phaseMutex);
    phase.outcomeMs.insert(phase.outcomeMs.end(), times.begin(), times.end());
    phase.serverMs.insert(phase.serverMs.end(), serverTimes.begin(), serverTimes.end());
}

double percentile(std::vector<double>& values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * values.size()))];
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    const int pauseMs = argc > 2 ? std::atoi(argv[2]) : 100;
    ostrel::testing::TempDir dir;
    ostrel::testing::PostgresServer pg;
    std::string error;
    if (!pg.start(error, true)) {
        std::fprintf(stderr, "PostgreSQL: %s\n", error.c_str());
        return 1;
    }
    const std::string db = pg.uri();
    using ostrel::testing::LineProcess;
    std::vector<Station> stations(kStations);
    for (int s = 0; s < kStations; ++s) {
        stations[s].name = "S" + std::to_string(s + 1);
        stations[s].token = LineProcess::addToken(db, "station", stations[s].name, error);
    }
    const std::string admin = LineProcess::addToken(db, "admin", "bench", error);
    LineProcess server;
    if (admin.empty() || !server.start(db, dir.file("server.log"), error)) {
        std::fprintf(stderr, "ostrel-line: %s\n", error.c_str());
        return 1;
    }
    {
        httplib::Client client("127.0.0.1", server.port());
        const json product = {
            {"name", "B"},
            {"chip", "SPI_FLASH,MAKER,CHIP"},
            {"image_sha256", std::string(64, '0')},
            {"lease_size", 50},
            {"serial", {{"first", 1}, {"step", 1}, {"bytes", 4}, {"order", "le"}}}};
        auto r = client.Post("/api/v1/products", auth(admin), product.dump(), "application/json");
        if (!r || r->status != 201) {
            std::fprintf(stderr, "product: %s\n", r ? r->body.c_str() : "no answer");
            return 1;
        }
    }

    std::printf(
        "%d stations x %d programmers, one ostrel-line on PostgreSQL (fsync on), "
        "%d s a phase\n",
        kStations, kProgrammers, seconds);
    std::vector<long> memory = {residentKiB(server.pid())};
    int status = 0;
    for (const int pause : {pauseMs, 0}) {
        Phase phase;
        std::mutex phaseMutex;
        std::atomic<bool> running{true};
        std::thread sampler([&] {
            while (running) {
                std::this_thread::sleep_for(std::chrono::seconds(1));
                memory.push_back(residentKiB(server.pid()));
            }
        });
        const auto until = Clock::now() + std::chrono::seconds(seconds);
        std::vector<std::thread> threads;
        for (int s = 0; s < kStations; ++s)
            for (int p = 0; p < kProgrammers; ++p)
                threads.emplace_back(programmer, server.port(), std::ref(stations[s]), p, until,
                                     std::chrono::milliseconds(pause), std::ref(phase),
                                     std::ref(phaseMutex));
        for (std::thread& t : threads) t.join();
        running = false;
        sampler.join();
        const std::size_t count = phase.outcomeMs.size();
        const double median = percentile(phase.outcomeMs, 0.5);
        const double p99 = percentile(phase.outcomeMs, 0.99);
        const double serverMedian = percentile(phase.serverMs, 0.5);
        const double serverP99 = percentile(phase.serverMs, 0.99);
        std::printf(
            "pause %4d ms between chips: %zu outcomes (%.0f/s); in the server median "
            "%.2f ms, 99th percentile %.2f ms; at the station median %.2f ms, 99th "
            "percentile %.2f ms; failed requests %d%s%s\n",
            pause, count, count / double(seconds), serverMedian, serverP99, median, p99,
            phase.failures, phase.failures ? ": " : "", phase.firstFailure.c_str());
        if (phase.failures) status = 1;
    }
    std::printf(
        "resident memory of ostrel-line: %ld KiB before, %ld KiB most, %ld KiB at the "
        "end (%zu samples)\n",
        memory.front(), *std::max_element(memory.begin(), memory.end()), memory.back(),
        memory.size());
    return status;
}
