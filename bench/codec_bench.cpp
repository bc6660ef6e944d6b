// Intel HEX and S-record writing and reading of a 64 MiB image, random or
// mostly blank, through real files; throughput in bytes of image per second.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "buffers/data_buffers.h"
#include "buffers/file_io.h"
#include "buffers/intel_hex.h"
#include "buffers/srecord.h"

namespace {

using namespace ostrel;

constexpr uint32_t kImageSize = kFlashBufferSize;

// Random bytes, or 0xFF with a random 4 KiB island in every 256 KiB.
const uint8_t* image(bool sparse) {
    static std::unique_ptr<uint8_t[]> images[2];
    auto& slot = images[sparse ? 1 : 0];
    if (!slot) {
        slot.reset(new uint8_t[kImageSize]);
        std::mt19937_64 random(sparse ? 2 : 1);
        for (uint32_t i = 0; i < kImageSize; i += 8) {
            uint64_t word = random();
            std::memcpy(slot.get() + i, &word, 8);
        }
        if (sparse)
            for (uint32_t block = 0; block < kImageSize; block += 0x40000)
                std::memset(slot.get() + block + 0x1000, 0xFF, 0x40000 - 0x1000);
    }
    return slot.get();
}

std::string scratchPath(const char* name) {
    const char* folder = std::getenv("TMPDIR");
    return std::string(folder != nullptr ? folder : "/tmp") + "/ostrel-bench-" + name;
}

template <bool Intel>
void Write(benchmark::State& state) {
    const bool sparse = state.range(0) != 0;
    const uint8_t* source = image(sparse);
    const std::string path = scratchPath(Intel ? "w.hex" : "w.src");
    for (auto _ : state) {
        bool ok = Intel ? WriteIntelHex(path, source, kImageSize)
                        : WriteSRecord(path, source, kImageSize);
        if (!ok) state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(int64_t{kImageSize} * state.iterations());
    state.SetLabel(sparse ? "mostly blank" : "random");
    ::unlink(path.c_str());
}

template <bool Intel>
void Read(benchmark::State& state) {
    const bool sparse = state.range(0) != 0;
    // Read through LoadFile, as the program does: S-records only reach it as ".eep".
    const std::string path = scratchPath(Intel ? "r.hex" : "r.eep");
    if (Intel)
        WriteIntelHex(path, image(sparse), kImageSize);
    else
        WriteSRecord(path, image(sparse), kImageSize);
    std::unique_ptr<uint8_t[]> target(new uint8_t[kImageSize]);
    std::memset(target.get(), 0xFF, kImageSize);
    for (auto _ : state) {
        if (loadFile(path, target.get(), kImageSize).count != static_cast<int32_t>(kImageSize))
            state.SkipWithError("read failed");
    }
    state.SetBytesProcessed(int64_t{kImageSize} * state.iterations());
    state.SetLabel(sparse ? "mostly blank" : "random");
    ::unlink(path.c_str());
}

// Ensure the last byte is data, so the extent is the whole image.
const bool kLastByteSet = [] {
    const_cast<uint8_t*>(image(true))[kImageSize - 1] = 0x00;
    return true;
}();

BENCHMARK(Write<true>)->Name("IntelHexWrite64MiB")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Read<true>)->Name("IntelHexRead64MiB")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Write<false>)->Name("SRecordWrite64MiB")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Read<false>)->Name("SRecordRead64MiB")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
