// The look at a read and the chip map on the largest buffer, 64 MiB, in CPU
// time (the machine is shared). Both must cost little beside the read: at
// least 1 GB/s, so under 70 ms for 64 MiB, whatever the bytes. The dumps are
// the kinds the checks meet: firmware (random bytes), firmware padded with
// FF, data only at the end of an erased chip (the repetition's peek cannot
// refuse it early), an image repeating after 32 MiB (one whole comparison
// and the halves below), a blank chip, and a stuck data line.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "buffers/chip_map.h"
#include "buffers/dump_check.h"

namespace {

constexpr std::size_t kSize = std::size_t{64} << 20;

std::vector<uint8_t> dump(int kind) {
    std::vector<uint8_t> b(kSize, 0xFF);
    std::mt19937_64 random(35);
    const auto fill = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; i += 8) {
            const uint64_t v = random();
            std::memcpy(b.data() + i, &v, 8);
        }
    };
    switch (kind) {
        case 0:  // firmware
            fill(0, kSize);
            break;
        case 1:  // firmware padded with FF
            fill(0, kSize / 8);
            break;
        case 2:  // data only at the end
            fill(kSize - 4096, kSize);
            b[kSize - 4096 - 5000] = 0x00;
            break;
        case 3:  // a 32 MiB chip chosen as 64 MiB
            fill(0, kSize / 2);
            std::memcpy(b.data() + kSize / 2, b.data(), kSize / 2);
            break;
        case 4:  // blank
            break;
        case 5:  // bit 3 stuck at 0
            fill(0, kSize);
            for (uint8_t& v : b) v &= 0xF7;
            break;
    }
    return b;
}

const char* const kNames[] = {"firmware", "padded", "data_at_end", "repeats", "blank", "stuck"};

void BM_CheckDump64MiB(benchmark::State& state) {
    const std::vector<uint8_t> bytes = dump(static_cast<int>(state.range(0)));
    state.SetLabel(kNames[state.range(0)]);
    for (auto _ : state) benchmark::DoNotOptimize(ostrel::checkDump(bytes.data(), bytes.size()));
    state.SetBytesProcessed(state.iterations() * int64_t{kSize});
}
BENCHMARK(BM_CheckDump64MiB)
    ->DenseRange(0, 5)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

void BM_ChipMap64MiB(benchmark::State& state) {
    const std::vector<uint8_t> bytes = dump(static_cast<int>(state.range(0)));
    state.SetLabel(kNames[state.range(0)]);
    const ostrel::ChipMapLayout layout(kSize);
    for (auto _ : state) benchmark::DoNotOptimize(ostrel::mapCells(bytes.data(), layout));
    state.SetBytesProcessed(state.iterations() * int64_t{kSize});
}
BENCHMARK(BM_ChipMap64MiB)
    ->DenseRange(0, 5)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
