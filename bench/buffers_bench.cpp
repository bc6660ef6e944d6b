// Chip selection refills all 64 MiB of the FLASH buffer and reloads the view;
// both must stay well under a tenth of a second for the largest chip.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "base/quiet_ui.h"
#include "buffers/buffer_fill.h"
#include "buffers/data_buffers.h"
#include "catalogue/chip_record.h"

namespace {

// The benchmarks show nothing; a chip that fits never asks anything either.
using SilentUi = ostrel::QuietUi;

ostrel::DataBuffers& buffers() {
    static ostrel::DataBuffers instance;
    return instance;
}

void BM_ResetBuffersForChip64MiB(benchmark::State& state) {
    ostrel::ChipRecord record{};
    std::strcpy(record.nameText, "SPI FLASH,Maker,Big");
    record.flashSize = ostrel::kFlashBufferSize;
    record.eepromSize = ostrel::kEepromBufferSize;
    SilentUi ui;
    for (auto _ : state) {
        ostrel::ChipReset reset = buffers().ResetBuffersForChip(record, 0, ui);
        benchmark::DoNotOptimize(reset);
    }
    state.SetBytesProcessed(state.iterations() * int64_t{ostrel::kFlashBufferSize});
}
BENCHMARK(BM_ResetBuffersForChip64MiB)->Unit(benchmark::kMillisecond);

void BM_LoadFromStream64MiB(benchmark::State& state) {
    ostrel::HexDocument& view = buffers().flashView();
    for (auto _ : state) {
        view.LoadFromStream(buffers().flash(), ostrel::kFlashBufferSize);
        benchmark::DoNotOptimize(view.DataSize());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{ostrel::kFlashBufferSize});
}
BENCHMARK(BM_LoadFromStream64MiB)->Unit(benchmark::kMillisecond);

// The first edit after a load allocates the change bitmap (8 MiB for 64 MiB).
void BM_FirstEditAfterLoad64MiB(benchmark::State& state) {
    ostrel::HexDocument& view = buffers().flashView();
    for (auto _ : state) {
        state.PauseTiming();
        view.LoadFromStream(buffers().flash(), ostrel::kFlashBufferSize);
        state.ResumeTiming();
        view.overwrite(0x1234, 0);
    }
}
BENCHMARK(BM_FirstEditAfterLoad64MiB)->Unit(benchmark::kMillisecond);

// Inserting a byte near the start moves the whole 64 MiB once.
void BM_InsertNearStart64MiB(benchmark::State& state) {
    ostrel::HexDocument& view = buffers().flashView();
    view.LoadFromStream(buffers().flash(), ostrel::kFlashBufferSize);
    view.overwrite(0, 0);
    for (auto _ : state) {
        view.insert(16, 0x55);
        view.remove(16, 1);
    }
}
BENCHMARK(BM_InsertNearStart64MiB)->Unit(benchmark::kMillisecond);

void BM_RandomFill1MiB(benchmark::State& state) {
    for (auto _ : state) ostrel::fillRandom(buffers().flash(), 0, 0xFFFFF, 1700000000);
    state.SetBytesProcessed(state.iterations() * int64_t{0x100000});
}
BENCHMARK(BM_RandomFill1MiB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
