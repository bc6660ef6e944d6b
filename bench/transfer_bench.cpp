// Host-side speed of the Read, Write and Verify commands of a 16 MiB chip,
// run by the command runner through the transport and the programmer
// simulator (no simulated latency), with real event processing between blocks. The
// programmer's full-speed link moves at most about 1.2 MB/s, so the host has
// to be far faster than that never to be what limits a job.

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <QCoreApplication>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>

#include "../sim/ostrel_sim.h"
#include "base/quiet_ui.h"
#include "buffers/file_io.h"
#include "operations/command_runner.h"

namespace {

using namespace ostrel;

constexpr uint32_t kChipSize = 0x1000000;
constexpr const char* kSimLibrary = OSTREL_SIM_DIR "/libusb-0.1.so.4";

// Between blocks the operations process pending events, as the window does: here
// through a real Qt event loop with nothing pending, the program's idle case.
class BenchUi : public QuietUi {
  public:
    void messageBox(const std::string& text, const std::string&, BoxIcon) override {
        lastBox = text;
    }
    void setStatusText(int, const std::string& text) override { status = text; }
    std::string statusText(int) const override { return status; }
    void setProgressVisible(bool visible) override { progressVisible = visible; }
    void setProgressMax(int64_t max) override { progressMax = max; }
    void setProgressPosition(int64_t position) override { progress = position; }
    void processEvents() override {
        QCoreApplication::processEvents();
        ++events;
    }

    std::string lastBox, status;
    bool progressVisible = false;
    int64_t progressMax = 0, progress = 0;
    uint64_t events = 0;
};

// The simulator's control functions, from the same library the transport binds.
struct Sim {
    Sim() {
        handle = dlopen(kSimLibrary, RTLD_NOW);
        if (!handle) throw std::runtime_error("simulator not built");
        reset = reinterpret_cast<decltype(reset)>(dlsym(handle, "ostrel_sim_reset"));
        addProgrammer =
            reinterpret_cast<decltype(addProgrammer)>(dlsym(handle, "ostrel_sim_add_programmer"));
        insertChip =
            reinterpret_cast<decltype(insertChip)>(dlsym(handle, "ostrel_sim_insert_chip"));
        chipWrite = reinterpret_cast<decltype(chipWrite)>(dlsym(handle, "ostrel_sim_chip_write"));
        setFault = reinterpret_cast<decltype(setFault)>(dlsym(handle, "ostrel_sim_set_fault"));
        clearFaults =
            reinterpret_cast<decltype(clearFaults)>(dlsym(handle, "ostrel_sim_clear_faults"));
        timeouts = reinterpret_cast<decltype(timeouts)>(dlsym(handle, "ostrel_sim_timeouts"));
    }
    void* handle;
    decltype(&ostrel_sim_reset) reset;
    decltype(&ostrel_sim_add_programmer) addProgrammer;
    decltype(&ostrel_sim_insert_chip) insertChip;
    decltype(&ostrel_sim_chip_write) chipWrite;
    decltype(&ostrel_sim_set_fault) setFault;
    decltype(&ostrel_sim_clear_faults) clearFaults;
    decltype(&ostrel_sim_timeouts) timeouts;
};

struct Rig {
    Rig() {
        sim.reset();
        device = sim.addProgrammer(1);
        sim.insertChip(device, ClassSpiFlash25, 0xEF4018, kChipSize, nullptr);
        ChipRecord& chip = state->catalogue.at(0);
        std::strcpy(chip.nameText, "SPI_FLASH,Maker,BENCH128");
        chip.chipId = 0xEF4018;
        chip.flashSize = kChipSize;
        chip.flashPage = 256;
        chip.chipClass = ClassSpiFlash25;
        chip.delay = 10;
        std::mt19937 random(1);
        uint8_t* flash = state->buffers.flash();
        for (uint32_t i = 0; i < kChipSize; ++i) flash[i] = static_cast<uint8_t>(random());
        state->buffers.flashDataLength = static_cast<int32_t>(kChipSize);
        usb.setPause([](int) {});
    }
    Sim sim;
    int device = 0;
    std::unique_ptr<MainState> state = std::make_unique<MainState>();
    BenchUi ui;
    TUsbBulk usb{kSimLibrary};
    ProgrammerOps ops{*state, usb, ui};
    CommandRunner runner{*state, ops, ui};
};

Rig& rig() {
    static Rig instance;
    return instance;
}

void runCommand(benchmark::State& state, ChipCommand command) {
    Rig& r = rig();
    for (auto _ : state) {
        const CommandStatus status = r.runner.run(command).status;
        if (status != CommandStatus::Done) {
            state.SkipWithError(r.ui.lastBox.empty() ? "command failed" : r.ui.lastBox.c_str());
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kChipSize);
    state.counters["events/job"] =
        static_cast<double>(r.ui.events) / static_cast<double>(state.iterations());
    r.ui.events = 0;
}

// A read replaces the buffer with the chip's content; this puts the image back.
void restoreImage() {
    Rig& r = rig();
    std::mt19937 random(1);
    for (uint32_t i = 0; i < kChipSize; ++i)
        r.state->buffers.flash()[i] = static_cast<uint8_t>(random());
    r.state->buffers.flashDataLength = static_cast<int32_t>(kChipSize);
}

void BM_ReadCommand(benchmark::State& state) {
    runCommand(state, ChipCommand::Read);
    restoreImage();
}

// Read as `ostrel-cli read` runs it: the chip, then its file saved whole and
// flushed to the disk (in the temporary folder, which TMPDIR may put on the
// disk to measure).
void BM_ReadAndSave(benchmark::State& state) {
    Rig& r = rig();
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "read_bench.bin";
    for (auto _ : state) {
        if (r.runner.run(ChipCommand::Read).status != CommandStatus::Done ||
            saveFile(file.string(), r.state->buffers.flash(), kChipSize).failed()) {
            state.SkipWithError("the read or its save failed");
            break;
        }
    }
    std::filesystem::remove(file);
    restoreImage();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kChipSize);
}

void BM_WriteCommand(benchmark::State& state) {
    runCommand(state, ChipCommand::Write);
}

void BM_VerifyCommand(benchmark::State& state) {
    Rig& r = rig();
    r.sim.chipWrite(r.device, 0, r.state->buffers.flash(), kChipSize);
    runCommand(state, ChipCommand::Verify);
}

// A programmer that stops answering at the tenth block of a read: the command
// must end after at most two transfer time-outs (the block and the end of the
// job), each of which costs the host 5 s on a real bus.
void BM_ReadStalledAtBlock10(benchmark::State& state) {
    Rig& r = rig();
    int timeouts = 0;
    for (auto _ : state) {
        r.sim.clearFaults(r.device);
        const int before = r.sim.timeouts(r.device);
        // Transfers before block 10: the set-up and its reply, the set-address
        // and its reply, then nine blocks.
        r.sim.setFault(r.device, OSTREL_SIM_FAULT_STALL, 4 + 9, 0);
        if (r.runner.run(ChipCommand::Read).status != CommandStatus::Failed) {
            state.SkipWithError("the stalled read did not fail");
            return;
        }
        timeouts = r.sim.timeouts(r.device) - before;
    }
    r.sim.clearFaults(r.device);
    state.counters["timeouts"] = timeouts;
    state.counters["bus_seconds"] = timeouts * 5.0;
}

BENCHMARK(BM_ReadCommand)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_ReadAndSave)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_WriteCommand)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_VerifyCommand)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_ReadStalledAtBlock10)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
