// Our readers against files made by objcopy and srec_cat, and those tools
// reading what our writers make.

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "buffers/file_io.h"
#include "codec_test_util.h"
#include "support/temp_files.h"

namespace ostrel::testing {
namespace {

bool haveTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

bool run(const std::string& command) {
    return std::system((command + " 2>&1").c_str()) == 0;
}

struct Image {
    const char* name;
    std::size_t size;
    bool sparse;  // mostly 0xFF, with random islands; first and last bytes are data
};

void PrintTo(const Image& image, std::ostream* out) {
    *out << image.name;
}

std::vector<uint8_t> makeImage(const Image& shape) {
    std::mt19937 random(static_cast<unsigned>(shape.size));
    std::vector<uint8_t> image(shape.size, 0xFF);
    if (!shape.sparse) {
        for (uint8_t& byte : image) byte = static_cast<uint8_t>(random());
        return image;
    }
    auto island = [&](std::size_t at, std::size_t length) {
        for (std::size_t i = at; i < std::min(at + length, shape.size); ++i)
            image[i] = static_cast<uint8_t>(random() % 255);
    };
    island(0, 40);
    island(shape.size - 40, 40);
    for (int i = 0; i < 64; ++i) island(random() % shape.size, 1 + random() % 300);
    return image;
}

// Runs each tool command (which turns in.bin into the named file), loads the
// result through LoadFile and compares it with the image.
struct ToolToUs {
    const char* tool;
    const char* output;  // ".eep" files starting with "S" are S-records to LoadFile
    const char* command;
};

class Interoperation : public ::testing::TestWithParam<Image> {
  protected:
    void SetUp() override {
        if (!haveTool("objcopy") || !haveTool("srec_cat"))
            GTEST_SKIP() << "objcopy or srec_cat missing";
        image = makeImage(GetParam());
        writeFile(dir.file("in.bin"), std::string(image.begin(), image.end()));
    }

    TempDir dir;
    std::vector<uint8_t> image;
};

TEST_P(Interoperation, WeReadWhatTheToolsWrite) {
    const ToolToUs conversions[] = {
        {"objcopy", "o.hex", "objcopy -I binary -O ihex in.bin o.hex"},
        {"objcopy", "o.eep", "objcopy -I binary -O srec in.bin o.eep"},
        // The names other tools give the two formats.
        {"objcopy", "o.s19", "objcopy -I binary -O srec in.bin o.s19"},
        {"objcopy", "o.ihx", "objcopy -I binary -O ihex in.bin o.ihx"},
        {"srec_cat", "s.hex", "srec_cat in.bin -binary -o s.hex -intel"},
        // srec_cat ends S-records with a terminator only when given a start address.
        {"srec_cat", "s.eep",
         "srec_cat in.bin -binary -execution-start-address 0 -o s.eep -motorola"},
        // Without one, the file ends with its S5 or S6 count record.
        {"srec_cat", "s.srec", "srec_cat in.bin -binary -o s.srec -motorola"},
    };
    std::vector<uint8_t> target(kFlashBufferSize);
    for (const ToolToUs& c : conversions) {
        ASSERT_TRUE(run("cd " + dir.path() + " && " + c.command)) << c.command;
        std::fill(target.begin(), target.begin() + image.size() + 16, 0xFF);
        const LoadResult loaded = loadFile(dir.file(c.output), target.data(), kFlashBufferSize);
        EXPECT_EQ(loaded.count, static_cast<int32_t>(image.size())) << c.command;
        EXPECT_FALSE(loaded.failed()) << c.command;
        EXPECT_TRUE(std::equal(image.begin(), image.end(), target.begin())) << c.command;
        EXPECT_EQ(target[image.size()], 0xFF) << c.command;
    }
}

TEST_P(Interoperation, TheToolsReadWhatWeWrite) {
    for (const char* name : {"ours.hex", "ours.src", "ours.mot", "ours.ihex"})
        ASSERT_FALSE(
            saveFile(dir.file(name), image.data(), static_cast<uint32_t>(image.size())).failed());
    // Our writers skip erased records; the tools fill those gaps with 0xFF.
    const std::string size = std::to_string(image.size());
    const std::string commands[] = {
        "objcopy -I ihex -O binary --gap-fill 0xFF ours.hex back.bin",
        "objcopy -I srec -O binary --gap-fill 0xFF ours.src back.bin",
        "srec_cat ours.hex -intel -fill 0xFF 0 " + size + " -o back.bin -binary",
        "srec_cat ours.src -motorola -fill 0xFF 0 " + size + " -o back.bin -binary",
        "objcopy -I srec -O binary --gap-fill 0xFF ours.mot back.bin",
        "objcopy -I ihex -O binary --gap-fill 0xFF ours.ihex back.bin",
    };
    for (const std::string& command : commands) {
        ASSERT_TRUE(run("cd " + dir.path() + " && rm -f back.bin && " + command)) << command;
        EXPECT_EQ(readFile(dir.file("back.bin")), std::string(image.begin(), image.end()))
            << command;
    }
}

INSTANTIATE_TEST_SUITE_P(Images, Interoperation,
                         ::testing::Values(Image{"Random77KiB", 0x12345, false},
                                           Image{"Sparse192KiB", 0x30000, true},
                                           Image{"Random1MiBPlus", 0x100123, false},
                                           Image{"SparseAbove16MiB", 0x1000123, true}),
                         [](const ::testing::TestParamInfo<Image>& info) {
                             return std::string(info.param.name);
                         });

// srec_cat's default S-records end with a count record instead of a
// terminator: the count proves them whole. Cut after a data line, the same file
// is refused; the command-line tools say that it may be cut off.
TEST(InteroperationLimits, CountRecordEndsAFileOnlyWhenItMatches) {
    if (!haveTool("srec_cat")) GTEST_SKIP() << "srec_cat missing";
    TempDir dir;
    writeFile(dir.file("in.bin"), std::string(3000, '\x42'));
    ASSERT_TRUE(run("cd " + dir.path() + " && srec_cat in.bin -binary -o whole.srec -motorola"));
    const std::string whole = readFile(dir.file("whole.srec"));
    ASSERT_EQ(whole.find("S9"), std::string::npos) << "no terminator";
    const std::size_t count = whole.find("\nS5");
    ASSERT_NE(count, std::string::npos) << whole;
    // Cut after the last data line, and after one in the middle.
    writeFile(dir.file("cut.srec"), whole.substr(0, count + 1));
    writeFile(dir.file("cut2.srec"), whole.substr(0, whole.find('\n', 200) + 1));
    const struct {
        const char* file;
        int32_t count;
        std::vector<std::string> boxes;
        RecordFault fault;
    } cases[] = {
        {"whole.srec", 3000, {}, RecordFault::None},
        {"cut.srec", 0, {"File Read Operation Failed"}, RecordFault::FileEnded},
        {"cut2.srec", 0, {"File Read Operation Failed"}, RecordFault::FileEnded},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> target(3000);
        const LoadResult loaded = loadFile(dir.file(c.file), target.data(), 3000);
        EXPECT_EQ(loaded.count, c.count) << c.file;
        EXPECT_EQ(loaded.record, c.fault) << c.file;
        EXPECT_EQ(loadFailureTexts(loaded, dir.file(c.file)), c.boxes) << c.file;
    }
}

}  // namespace
}  // namespace ostrel::testing
