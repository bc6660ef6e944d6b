// Time per chip spent in the production database: taking a serial number
// with the chip's row and finishing the row with its outcome, with eight
// programmers at once (eight threads, each its own connection, as eight
// ostrel-cli processes would have), on SQLite and on a PostgreSQL server
// started for the run (on a Unix socket, committing to the disk; and, to show
// what the disk costs, once more with fsync off). Every tenth
// chip fails and gives its number back, which the next chip takes.
//
// A plain program rather than a Google Benchmark loop: what counts is the
// spread of single chips under contention, so it prints the median and the
// 99th percentile of all of them.

#include "production/production_store.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "support/pg_server.h"
#include "support/temp_files.h"

namespace {

using namespace ostrel;

constexpr int kProgrammers = 8;
constexpr int kChips = 250;  // per programmer

struct Figures {
    double median = 0, p99 = 0;
    int chips = 0;
    std::string error;
};

Figures measure(const std::string& url) {
    std::string error;
    {
        auto store = ProductionStore::open(url, error);
        SerialFormat pool;
        pool.address = 0x100;
        pool.bytes = 4;
        pool.start = 1;
        if (!store ||
            !store->addProduct({"bench", "SPI_FLASH,Winbond,W25Q64JV", std::string(64, '0'), pool},
                               error))
            return {0, 0, 0, error};
    }
    std::vector<std::vector<double>> times(kProgrammers);
    std::vector<std::string> errors(kProgrammers);
    std::vector<std::thread> threads;
    for (int p = 0; p < kProgrammers; ++p) {
        threads.emplace_back([&, p] {
            std::string why;
            auto store = ProductionStore::open(url, why);
            const std::string programmer = "P" + std::to_string(p);
            if (!store || !store->registerProgrammer("bench", programmer, why)) {
                errors[p] = why;
                return;
            }
            for (int k = 0; k < kChips; ++k) {
                ChipRow row;
                row.time = std::time(nullptr);
                row.station = "bench";
                row.programmer = programmer;
                row.chip = "SPI_FLASH,Winbond,W25Q64JV";
                row.chipId = "EF4017";
                row.command = "auto";
                row.product = "bench";
                const auto begun = std::chrono::steady_clock::now();
                bool finished = false;
                if (!store->startChip(row, why)) break;
                row.result = k % 10 == 9 ? "failed" : "done";
                row.bytes = 0x800000;
                row.seconds = 12.5;
                if (!store->finishChip(row, finished, why)) break;
                times[p].push_back(std::chrono::duration<double, std::milli>(
                                       std::chrono::steady_clock::now() - begun)
                                       .count());
            }
            errors[p] = why;
        });
    }
    for (std::thread& t : threads) t.join();
    std::vector<double> all;
    for (const auto& each : times) all.insert(all.end(), each.begin(), each.end());
    Figures figures;
    for (const std::string& e : errors)
        if (!e.empty()) figures.error = e;
    if (all.empty()) return figures;
    std::sort(all.begin(), all.end());
    figures.chips = static_cast<int>(all.size());
    figures.median = all[all.size() / 2];
    figures.p99 = all[std::min(all.size() - 1, all.size() * 99 / 100)];
    return figures;
}

void print(const char* name, const Figures& f) {
    std::printf("%-10s %5d chips  median %7.2f ms  99th percentile %7.2f ms%s%s\n", name, f.chips,
                f.median, f.p99, f.error.empty() ? "" : "  error: ", f.error.c_str());
}

}  // namespace

int main() {
    ostrel::testing::TempDir dir;
    std::printf("%d programmers at once, %d chips each: take a number and record the outcome\n",
                kProgrammers, kChips);
    print("SQLite", measure("sqlite:" + dir.file("line.db")));
    // The server as a line runs it, and once more without waiting for the
    // disk: the difference is what the disk's flushes cost.
    for (const bool durable : {true, false}) {
        ostrel::testing::PostgresServer server;
        std::string why;
        if (!server.start(why, durable)) {
            std::printf("PostgreSQL: %s\n", why.c_str());
            return 1;
        }
        print(durable ? "PostgreSQL" : "(no fsync)", measure(server.conninfo()));
    }
    return 0;
}
