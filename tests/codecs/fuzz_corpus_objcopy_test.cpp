// The round-trip fuzz corpus handed to objcopy: a sample of its inputs becomes
// images as the fuzz program makes them, our writers write each as Intel HEX
// and as S-record, and objcopy must read every file back to the same image.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "codec_test_util.h"
#include "fuzz/round_trip_input.h"
#include "support/temp_files.h"

namespace ostrel::testing {
namespace {

constexpr std::size_t kSample = 24;

std::vector<std::string> corpusSample() {
    std::vector<std::string> files;
    const std::filesystem::path folder =
        std::filesystem::path(OSTREL_SOURCE_DIR) / "tests/fuzz/corpus/round_trip";
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file()) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    if (files.size() <= kSample) return files;
    std::vector<std::string> sample;
    for (std::size_t i = 0; i < kSample; ++i) sample.push_back(files[i * files.size() / kSample]);
    return sample;
}

TEST(FuzzCorpusObjcopy, ObjcopyReadsOurFilesToTheSameImage) {
    if (std::system("command -v objcopy >/dev/null 2>&1") != 0) GTEST_SKIP() << "objcopy missing";
    const std::vector<std::string> sample = corpusSample();
    ASSERT_GE(sample.size(), 4u) << "the round-trip corpus is missing";
    TempDir dir;
    int images = 0;
    for (const std::string& input : sample) {
        const std::string bytes = readFile(input);
        const auto image =
            fuzzing::roundTripImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        if (image.length == 0) continue;
        std::vector<uint8_t> expected = fuzzing::imageBytes(image);
        // objcopy's binary output starts at the lowest address written: a data
        // byte at address 0 anchors it there.
        if (expected[0] == 0xFF) expected[0] = 0;
        const uint32_t count = static_cast<uint32_t>(expected.size());
        ASSERT_TRUE(WriteIntelHex(dir.file("ours.hex"), expected.data(), count));
        ASSERT_TRUE(WriteSRecord(dir.file("ours.src"), expected.data(), count));
        for (const char* format : {"ihex ours.hex", "srec ours.src"}) {
            const std::string command = "cd " + dir.path() + " && rm -f back.bin && objcopy -I " +
                                        format + " -O binary --gap-fill 0xFF --pad-to " +
                                        std::to_string(count) + " back.bin 2>&1";
            SCOPED_TRACE(input + ": " + command);
            ASSERT_EQ(std::system(command.c_str()), 0);
            EXPECT_EQ(readFile(dir.file("back.bin")),
                      std::string(expected.begin(), expected.end()));
        }
        ++images;
    }
    EXPECT_GE(images, 4);
}

}  // namespace
}  // namespace ostrel::testing
