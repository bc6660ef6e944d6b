// The load as Open runs it: the first input byte picks the file name's
// extension and the limit, the rest is the file. Raw and capsule files must
// arrive byte for byte or be refused as too big; ".hex" files and ".eep" or
// ".src" files starting with ":" or "S" must give what the record reader gives
// over the same bytes in memory, so the descriptor's line source cuts lines as
// the memory one does. A file under a raw name that is all record text is
// asked about once; answered No, it loads raw as any other.

#include <fcntl.h>
#include <stdlib.h>

#include <array>
#include <string>

#include "buffers/file_io.h"
#include "buffers/format_sniff.h"
#include "buffers/intel_hex.h"
#include "buffers/srecord.h"
#include "fuzz/fuzz_support.h"

namespace ostrel::fuzzing {
namespace {

const std::array<const char*, 8> kExtensions = {".eep", ".EEP", ".cap", ".hex",
                                                ".bin", ".rom", "",     ".src"};
const std::array<uint32_t, 4> kLimits = {kFlashLimit, 0, 256, 4096};

const std::string& folder() {
    static const std::string path = [] {
        const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/ostrel-fuzz-XXXXXX";
        require(::mkdtemp(pattern.data()) != nullptr, "mkdtemp");
        return pattern;
    }();
    return path;
}

void writeFile(const std::string& path, const uint8_t* data, std::size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    require(fd >= 0, "creating the input file");
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        require(n > 0, "writing the input file");
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

GuardedTarget& targetFor(std::size_t index) {
    static std::array<GuardedTarget*, kLimits.size()> targets{};
    if (targets[index] == nullptr) targets[index] = new GuardedTarget(kLimits[index]);
    return *targets[index];
}

// What a reader gives over the same bytes from memory, for comparison.
struct Reference {
    int32_t result;
    std::vector<std::string> boxes;
};

Reference readFromMemory(bool intel, const uint8_t* data, std::size_t size, uint32_t limit) {
    static GuardedTarget flash(kFlashLimit);
    LineReader lines(reinterpret_cast<const char*>(data), size);
    const RecordRead read =
        intel ? ReadIntelHex(lines, flash.data(), limit) : ReadSRecord(lines, flash.data(), limit);
    LoadResult result;
    result.fault = read.failed() ? FileFault::Record : FileFault::None;
    result.record = read.fault;
    result.format = intel ? FileFormat::IntelHex : FileFormat::SRecord;
    return {read.extent, loadFailureTexts(result, "")};
}

}  // namespace
}  // namespace ostrel::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace ostrel;
    using namespace ostrel::fuzzing;
    if (size == 0) return 0;
    const std::string extension = kExtensions[data[0] % kExtensions.size()];
    const std::size_t limitIndex = (data[0] >> 3) % kLimits.size();
    const uint32_t limit = kLimits[limitIndex];
    const uint8_t* content = data + 1;
    const std::size_t length = size - 1;
    const std::string path = folder() + "/input" + extension;
    writeFile(path, content, length);

    GuardedTarget& target = targetFor(limitIndex);
    // Asked as the window asks, and answered No.
    int questions = 0;
    LoadOptions options;
    options.readRecordTextAs = [&questions](FileFormat) {
        ++questions;
        return false;
    };
    const LoadResult loaded = loadFile(path, target.data(), limit, options);
    const int32_t result = loaded.count;
    require(target.guardsIntact(), "a byte outside the target was written");
    require(loaded.fault != FileFault::CannotOpen, "a file that is there could not be opened");
    require(result >= 0 && static_cast<uint32_t>(result) <= limit, "result outside 0..limit");
    const std::vector<std::string> errors = loadFailureTexts(loaded, path);
    if (result > 0) require(errors.empty(), "a load reported success after a failure");

    const std::string lower = fileExtension(path);
    const char first = length > 0 ? static_cast<char>(content[0]) : '\0';
    // ".eep" and ".src" files are read by their first character.
    const bool probed = lower == ".eep" || lower == ".src";
    const bool intel = lower == ".hex" || (probed && first == ':');
    const bool srecord = probed && first == 'S';
    if (intel || srecord) {
        require(questions == 0, "a record file's name was questioned");
        const Reference reference = readFromMemory(intel, content, length, limit);
        require(result == reference.result, "the file and the same bytes in memory read apart");
        require(errors == reference.boxes, "the file and the bytes in memory fail apart");
        return 0;
    }
    const std::size_t skip = lower == ".cap" ? kCapsuleHeaderSize : 0;
    const bool recordText = skip == 0 && recordTextFormat(reinterpret_cast<const char*>(content),
                                                          length) != FileFormat::Raw;
    require(questions == (recordText ? 1 : 0), "record text under a raw name not asked once");
    if (length > limit) {
        require(result == 0 &&
                    errors == std::vector<std::string>{programText(Txt::FileTooBigForBuffer, 0)},
                "a file larger than the limit was not refused");
        return 0;
    }
    require(errors.empty(), "a raw file that fits showed a box");
    const std::size_t expected = length > skip ? length - skip : 0;
    require(static_cast<std::size_t>(result) == expected, "a raw file loaded a wrong count");
    require(std::memcmp(target.data(), content + skip, expected) == 0,
            "a raw file loaded wrong bytes");
    return 0;
}
