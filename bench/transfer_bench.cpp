// Host-side speed of read, write and verify of a 16 MiB chip through the
// transport and the programmer simulator (no simulated latency). The
// programmer's full-speed link moves at most about 1.2 MB/s, so the host has
// to be far faster than that never to be what limits a job.

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <QCoreApplication>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>

#include "../sim/ostrel_sim.h"
#include "base/quiet_ui.h"
#include "operations/programmer_ops.h"

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
    }
    void* handle;
    decltype(&ostrel_sim_reset) reset;
    decltype(&ostrel_sim_add_programmer) addProgrammer;
    decltype(&ostrel_sim_insert_chip) insertChip;
    decltype(&ostrel_sim_chip_write) chipWrite;
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
};

Rig& rig() {
    static Rig instance;
    return instance;
}

template <typename Operation>
void runJobs(benchmark::State& state, Operation operation) {
    Rig& r = rig();
    for (auto _ : state) {
        if (r.ops.openJob() == 0) {
            state.SkipWithError("no programmer");
            return;
        }
        operation(r);
        r.ops.endJob();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kChipSize);
    state.counters["events/job"] =
        static_cast<double>(r.ui.events) / static_cast<double>(state.iterations());
    r.ui.events = 0;
}

void BM_ReadFlash(benchmark::State& state) {
    runJobs(state, [](Rig& r) { benchmark::DoNotOptimize(r.ops.readFlash()); });
    // The read replaced the buffer with the chip's content; put the image back.
    Rig& r = rig();
    std::mt19937 random(1);
    for (uint32_t i = 0; i < kChipSize; ++i)
        r.state->buffers.flash()[i] = static_cast<uint8_t>(random());
    r.state->buffers.flashDataLength = static_cast<int32_t>(kChipSize);
}

void BM_WriteFlash(benchmark::State& state) {
    runJobs(state, [](Rig& r) { benchmark::DoNotOptimize(r.ops.writeFlash()); });
}

void BM_VerifyFlash(benchmark::State& state) {
    Rig& r = rig();
    r.sim.chipWrite(r.device, 0, r.state->buffers.flash(), kChipSize);
    runJobs(state, [&state](Rig& rig) {
        if (rig.ops.verifyFlash() != 1) state.SkipWithError(rig.ui.lastBox.c_str());
    });
}

BENCHMARK(BM_ReadFlash)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_WriteFlash)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_VerifyFlash)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
