// The buffer tools on the largest buffer. Checksums side by side with other
// programs on the same 64 MiB: Debian's sha256sum (the whole process's CPU
// time, reading the file from the page cache) and Python's zlib.crc32 (its
// CPU time inside Python, on bytes already in memory). Every figure here is
// CPU time, since the machine is shared and wall time says more about the
// neighbours than about the code. Find of a pattern that does not occur must
// keep at least 2 GB/s; the undo of a 64 MiB fill must cost no more than the
// fill's bytes and take under 50 ms.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "base/quiet_ui.h"
#include "buffers/buffer_fill.h"
#include "buffers/byte_search.h"
#include "buffers/checksums.h"
#include "buffers/data_buffers.h"
#include "catalogue/chip_record.h"

namespace {

constexpr std::size_t kSize = std::size_t{64} << 20;

const std::vector<uint8_t>& randomBytes() {
    static const std::vector<uint8_t> bytes = [] {
        std::vector<uint8_t> b(kSize);
        std::mt19937_64 random(18);
        for (std::size_t i = 0; i < kSize; i += 8) {
            const uint64_t v = random();
            std::memcpy(b.data() + i, &v, 8);
        }
        return b;
    }();
    return bytes;
}

// The same bytes in a file, for the other programs.
const std::string& randomFile() {
    static const std::string path = [] {
        char name[] = "/tmp/ostrel-bench-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0 || write(fd, randomBytes().data(), kSize) != static_cast<ssize_t>(kSize))
            std::abort();
        close(fd);
        std::atexit([] { std::remove(randomFile().c_str()); });
        return std::string(name);
    }();
    return path;
}

double childSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The CPU time a command took.
double secondsOf(const std::string& command) {
    const double before = childSeconds();
    if (std::system(command.c_str()) != 0) return -1;
    return childSeconds() - before;
}

void BM_Crc32_Ours(benchmark::State& state) {
    const auto& bytes = randomBytes();
    for (auto _ : state) benchmark::DoNotOptimize(ostrel::crc32Of(bytes.data(), bytes.size()));
    state.SetBytesProcessed(state.iterations() * int64_t{kSize});
}
BENCHMARK(BM_Crc32_Ours)->Unit(benchmark::kMillisecond);

// Python reads the file, then times zlib.crc32 alone on the bytes in memory.
void BM_Crc32_PythonZlib(benchmark::State& state) {
    const std::string script =
        "python3 -c \"import sys,time,zlib; d=open(sys.argv[1],'rb').read(); "
        "t=time.process_time(); zlib.crc32(d); print(time.process_time()-t)\" " +
        randomFile();
    for (auto _ : state) {
        FILE* pipe = popen(script.c_str(), "r");
        double seconds = -1;
        if (!pipe || std::fscanf(pipe, "%lf", &seconds) != 1) state.SkipWithError("python3");
        if (pipe) pclose(pipe);
        state.SetIterationTime(seconds);
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kSize});
}
BENCHMARK(BM_Crc32_PythonZlib)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_Sha256_Ours(benchmark::State& state) {
    const auto& bytes = randomBytes();
    for (auto _ : state) benchmark::DoNotOptimize(ostrel::sha256Of(bytes.data(), bytes.size()));
    state.SetBytesProcessed(state.iterations() * int64_t{kSize});
}
BENCHMARK(BM_Sha256_Ours)->Unit(benchmark::kMillisecond);

void BM_Sha256_Sha256sum(benchmark::State& state) {
    const std::string command = "sha256sum " + randomFile() + " >/dev/null";
    secondsOf(command);  // the file into the page cache
    for (auto _ : state) {
        const double seconds = secondsOf(command);
        if (seconds < 0) state.SkipWithError("sha256sum");
        state.SetIterationTime(seconds);
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kSize});
}
BENCHMARK(BM_Sha256_Sha256sum)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// What the checksum dialog and ostrel-cli checksum compute for one range.
void BM_AllFigures_Ours(benchmark::State& state) {
    const auto& bytes = randomBytes();
    for (auto _ : state) benchmark::DoNotOptimize(ostrel::checksumsOf(bytes.data(), bytes.size()));
    state.SetBytesProcessed(state.iterations() * int64_t{kSize});
}
BENCHMARK(BM_AllFigures_Ours)->Unit(benchmark::kMillisecond);

// Eight random bytes occur nowhere in 64 MiB (checked): the whole buffer is searched.
void BM_FindAbsent64MiB(benchmark::State& state) {
    const auto& bytes = randomBytes();
    const std::vector<uint8_t> pattern = {0x45, 0x46, 0x34, 0x30, 0x31, 0x37, 0x9A, 0x5C};
    for (auto _ : state) {
        const auto hit = ostrel::findBytes(bytes.data(), bytes.size(), pattern, 0x123456,
                                           ostrel::SearchDirection::Forward);
        if (hit.found) state.SkipWithError("the pattern occurs");
        benchmark::DoNotOptimize(hit);
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kSize});
}
BENCHMARK(BM_FindAbsent64MiB)->Unit(benchmark::kMillisecond);

// An erased chip and a pattern that almost matches everywhere.
void BM_FindAbsentInErased64MiB(benchmark::State& state) {
    const std::vector<uint8_t> erased(kSize, 0xFF);
    const std::vector<uint8_t> pattern = {0xFF, 0xFF, 0xFF, 0x00};
    for (auto _ : state) {
        benchmark::DoNotOptimize(ostrel::findBytes(erased.data(), erased.size(), pattern, 0,
                                                   ostrel::SearchDirection::Forward));
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kSize});
}
BENCHMARK(BM_FindAbsentInErased64MiB)->Unit(benchmark::kMillisecond);

void BM_FindBackwardAbsent64MiB(benchmark::State& state) {
    const auto& bytes = randomBytes();
    const std::vector<uint8_t> pattern = {0x45, 0x46, 0x34, 0x30, 0x31, 0x37, 0x9A, 0x5C};
    for (auto _ : state) {
        benchmark::DoNotOptimize(ostrel::findBytes(bytes.data(), bytes.size(), pattern, 0x123456,
                                                   ostrel::SearchDirection::Backward));
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kSize});
}
BENCHMARK(BM_FindBackwardAbsent64MiB)->Unit(benchmark::kMillisecond);

long residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// A fill of all 64 MiB, then its undo: the history holds the old bytes once,
// and the undo swaps them back in place.
void BM_UndoFill64MiB(benchmark::State& state) {
    ostrel::QuietUi ui;
    ostrel::DataBuffers buffers;
    ostrel::ChipRecord record{};
    std::strcpy(record.nameText, "SPI FLASH,Maker,Big");
    record.flashSize = ostrel::kFlashBufferSize;
    buffers.ResetBuffersForChip(record, 0);
    ostrel::FillInput fill;
    fill.kind = ostrel::FillKind::Random;
    fill.startText = "0";
    fill.endText = "3FFFFFF";
    double grownMiB = 0;
    for (auto _ : state) {
        state.PauseTiming();
        buffers.flashHistory().clear();
        const long before = residentBytes();
        if (!ostrel::runFill(buffers, record.flashSize, fill, ui.epochSeconds()).filled())
            state.SkipWithError("fill");
        grownMiB = static_cast<double>(residentBytes() - before) / (1 << 20);
        state.ResumeTiming();
        if (!buffers.undo(buffers.flashView())) state.SkipWithError("undo");
    }
    state.counters["grown_MiB"] = grownMiB;
    state.counters["held_MiB"] =
        static_cast<double>(buffers.flashHistory().bytesHeld()) / (1 << 20);
}
BENCHMARK(BM_UndoFill64MiB)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
