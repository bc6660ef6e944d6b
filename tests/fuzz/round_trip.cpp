// Any buffer written as Intel HEX and as S-record must read back to the same
// bytes, with no message, and the reader must report an extent that covers
// every byte that is not erased.

#include <algorithm>
#include <cstring>
#include <string>

#include "buffers/intel_hex.h"
#include "buffers/srecord.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/round_trip_input.h"

namespace ostrel::fuzzing {
namespace {

// The image in one 64 MiB buffer of 0xFF, the data put in and taken out again
// for each input.
uint8_t* source() {
    static uint8_t* bytes = [] {
        auto* b = new uint8_t[kRoundTripLimit];
        std::memset(b, 0xFF, kRoundTripLimit);
        return b;
    }();
    return bytes;
}

__attribute__((no_sanitize("coverage"), noinline)) bool allErasedIn(const uint8_t* bytes,
                                                                    std::size_t from,
                                                                    std::size_t to) {
    uint8_t all = 0xFF;
    for (std::size_t i = from; i < to; ++i) all &= bytes[i];
    return all == 0xFF;
}

void roundTrip(bool intel, const RoundTripImage& image) {
    static GuardedTarget target(kRoundTripLimit);
    const uint32_t count = static_cast<uint32_t>(image.count());
    MemoryFile file = MemoryFile::empty();
    const bool written = intel ? WriteIntelHex(file.fd(), source(), count)
                               : WriteSRecord(file.fd(), source(), count);
    require(written, "writing to an in-memory file failed");
    // Read back through the line source over memory: the loader's fuzz program
    // checks that it cuts lines as the one over a descriptor does.
    std::string text(static_cast<std::size_t>(::lseek(file.fd(), 0, SEEK_END)), '\0');
    require(::pread(file.fd(), text.data(), text.size(), 0) == static_cast<ssize_t>(text.size()),
            "reading the written file back");
    LineReader lines(text.data(), text.size());
    const RecordRead read = intel ? ReadIntelHex(lines, target.data(), count)
                                  : ReadSRecord(lines, target.data(), count);
    require(!read.failed(), "our own file failed in a reader");
    const int32_t extent = read.extent;
    require(target.guardsIntact(), "a byte outside the target was written");

    // Every byte the reader may have touched lies within a record of the data.
    const std::size_t from = image.gap >= 64 ? image.gap - 64 : 0;
    const std::size_t to = std::min<std::size_t>(count, image.gap + image.length + 64);
    std::size_t last = 0;  // one past the last byte that is not erased
    for (std::size_t i = image.length; i > 0; --i)
        if (image.data[i - 1] != 0xFF) {
            last = image.gap + i;
            break;
        }
    require(extent >= 0 && static_cast<uint32_t>(extent) <= count, "an extent past the image");
    require(static_cast<std::size_t>(extent) >= last, "an extent short of the data");
    require(allErasedIn(target.data(), from, image.gap), "bytes before the data changed");
    require(std::memcmp(target.data() + image.gap, image.data, image.length) == 0,
            "the data read back differ from the data written");
    require(allErasedIn(target.data(), image.gap + image.length, to),
            "bytes after the data changed");
    std::memset(target.data() + from, 0xFF, to - from);
}

}  // namespace
}  // namespace ostrel::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace ostrel::fuzzing;
    const RoundTripImage image = roundTripImage(data, size);
    if (image.length == 0) return 0;
    uint8_t* const bytes = source();
    std::memcpy(bytes + image.gap, image.data, image.length);
    roundTrip(true, image);
    roundTrip(false, image);
    std::memset(bytes + image.gap, 0xFF, image.length);
    return 0;
}
