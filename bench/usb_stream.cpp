// Streams a whole 8 MiB chip through TUsbBulk and the simulator, reading and
// writing in 256-byte blocks, to show the data path keeps up with the host.

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "usb/programmer_identity.h"
#include "usb/usb_bulk.h"

namespace {

constexpr uint32_t kChipSize = 0x800000;
constexpr int kBlock = 256;

// The simulator's control functions, found by name so this program needs only the core.
int configure(const char* text) {
    void* sim = dlopen(OSTREL_SIM_DIR "/libusb-0.1.so.4", RTLD_NOW);
    if (sim == nullptr) return -1;
    auto fn = reinterpret_cast<int (*)(const char*)>(dlsym(sim, "ostrel_sim_configure_text"));
    return fn != nullptr ? fn(text) : -1;
}

struct Job {
    ostrel::TUsbBulk usb{OSTREL_SIM_DIR "/libusb-0.1.so.4"};
    bool ok = false;
    Job() {
        usb.setPause([](int) {});
        ok = configure("programmer bus=1\nchip id=0xEF4017 size=0x800000 class=0\n") == 0 &&
             usb.prog_open(ostrel::kProgrammerVendorId, ostrel::kProgrammerVendorText,
                           ostrel::kProgrammerProductId, ostrel::kProgrammerProductText) == 1;
        uint8_t setup[ostrel::kPacketSize] = {0, 7, 0, 0, 0x01, 0x00, 0, 10, 0x00, 0x80, 0, 0};
        usb.USB_bulk_cmd(setup, ostrel::kPacketSize, 1);
    }
    void setAddress(bool reply) {
        uint8_t packet[ostrel::kPacketSize] = {0, 5};
        usb.USB_bulk_cmd(packet, ostrel::kPacketSize, reply ? 1 : 0);
    }
    ~Job() {
        uint8_t end[ostrel::kPacketSize] = {1, 8};
        usb.USB_bulk_cmd(end, ostrel::kPacketSize, 0);
        usb.USB_bulk_close();
    }
};

void ReadWholeChip(benchmark::State& state) {
    Job job;
    if (!job.ok) {
        state.SkipWithError("no simulated programmer");
        return;
    }
    std::vector<uint8_t> buffer(kChipSize);
    for (auto _ : state) {
        job.setAddress(true);
        for (uint32_t at = 0; at < kChipSize; at += kBlock) {
            job.usb.USB_bulk_read(buffer.data() + at, kBlock);
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kChipSize);
}
BENCHMARK(ReadWholeChip)->Unit(benchmark::kMillisecond);

void WriteWholeChip(benchmark::State& state) {
    Job job;
    if (!job.ok) {
        state.SkipWithError("no simulated programmer");
        return;
    }
    std::vector<uint8_t> buffer(kChipSize, 0x5A);
    for (auto _ : state) {
        job.setAddress(false);
        for (uint32_t at = 0; at < kChipSize; at += kBlock) {
            job.usb.USB_bulk_write(buffer.data() + at, kBlock);
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kChipSize);
}
BENCHMARK(WriteWholeChip)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
