// Chip selection refills all 64 MiB of the FLASH buffer and reloads the view;
// both must stay well under a tenth of a second for the largest chip.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "buffers/buffer_fill.h"
#include "buffers/data_buffers.h"
#include "buffers/file_io.h"
#include "catalogue/chip_record.h"
#include "operations/main_state.h"

namespace {

// The benchmarks show nothing; a chip that fits never asks anything either.

ostrel::DataBuffers& buffers() {
    static ostrel::DataBuffers instance;
    return instance;
}

void BM_ResetBuffersForChip64MiB(benchmark::State& state) {
    ostrel::ChipRecord record{};
    std::strcpy(record.nameText, "SPI FLASH,Maker,Big");
    record.flashSize = ostrel::kFlashBufferSize;
    record.eepromSize = ostrel::kEepromBufferSize;
    for (auto _ : state) {
        ostrel::ChipReset reset = buffers().ResetBuffersForChip(record, 0);
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

// Open stages the file in a second 64 MiB buffer that starts as a copy of the
// FLASH buffer, so even a small file costs a copy of all of it and a view reload.
void BM_OpenSmallFileOn64MiBChip(benchmark::State& state) {
    static ostrel::MainState main;
    ostrel::ChipRecord& record = main.catalogue.at(0);
    std::strcpy(record.nameText, "SPI FLASH,Maker,Big");
    record.flashSize = ostrel::kFlashBufferSize;
    const std::string path = "/tmp/ostrel_bench_open.bin";
    std::vector<uint8_t> bytes(1024, 0x5A);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        state.SkipWithError("cannot write the file to open");
        if (file != nullptr) std::fclose(file);
        return;
    }
    std::fclose(file);
    for (auto _ : state) {
        ostrel::FileOpen open(main.selectedRecord(), main.buffers, ostrel::ActivePage::Flash);
        if (open.load(path).failed()) state.SkipWithError("open failed");
        open.commit();
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_OpenSmallFileOn64MiBChip)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
