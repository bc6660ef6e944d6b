#include "buffers/file_io.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "codec_test_util.h"
#include "support/temp_files.h"

namespace ostrel::testing {
namespace {

const std::string kEnd = ":00000001FF\r\n";

std::string bytes(std::size_t count, char value) {
    return std::string(count, value);
}

struct LoadCase {
    const char* name;
    const char* fileName;
    std::string content;
    uint32_t limit;
    int32_t result;
    std::string expectedStart;  // what target starts with afterwards
    std::vector<std::string> boxes;
};

void PrintTo(const LoadCase& c, std::ostream* out) {
    *out << c.name;
}

class LoadFileByExtension : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadFileByExtension, PicksTheFormatAndRespectsTheLimit) {
    const LoadCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.file(c.fileName);
    writeFile(path, c.content);
    GuardedTarget target(c.limit);
    const LoadResult loaded = loadFile(path, target.data(), c.limit);
    EXPECT_EQ(loaded.count, c.result);
    // Every failure is told; a load that tells nothing succeeded.
    EXPECT_EQ(loaded.failed(), !c.boxes.empty());
    EXPECT_NE(loaded.fault, FileFault::CannotOpen);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(target.data()), c.expectedStart.size()),
              c.expectedStart);
    EXPECT_EQ(loadFailureTexts(loaded, path), c.boxes);
    EXPECT_TRUE(target.guardsIntact());
}

const std::string kHexLine = ":0300000002337A4E\r\n";  // 02 33 7A at 0
const std::string kSrecLine = "S1060000010203F3\r\nS9030000FC\r\n";
const std::string kUntouched = "\xEE\xEE\xEE";

INSTANTIATE_TEST_SUITE_P(
    Files, LoadFileByExtension,
    ::testing::Values(
        // Raw names read raw, also after a record line (whole record text is asked about).
        LoadCase{"UpperCaseBin", "DUMP.BIN", kHexLine + "#", 0x100, 20, kHexLine, {}},
        LoadCase{"UpperCaseHex", "A.HEX", kHexLine + kEnd, 0x100, 3, "\x02\x33\x7A", {}},
        LoadCase{"EepWithColon", "a.eep", kHexLine + kEnd, 0x100, 3, "\x02\x33\x7A", {}},
        LoadCase{"EepWithS", "a.EEP", kSrecLine, 0x100, 3, "\x01\x02\x03", {}},
        LoadCase{"EepOther", "a.eep", "xyz", 0x100, 3, "xyz", {}},
        LoadCase{"EmptyEep", "a.eep", "", 0x100, 0, kUntouched, {}},
        LoadCase{"RomIsRaw", "bios.rom", kHexLine + kEnd + "#", 0x100, 33, kHexLine, {}},
        LoadCase{"SrcWithS", "a.SRC", kSrecLine, 0x100, 3, "\x01\x02\x03", {}},
        LoadCase{"SrcWithColon", "a.src", kHexLine + kEnd, 0x100, 3, "\x02\x33\x7A", {}},
        LoadCase{"SrcOther", "a.src", "xyz", 0x100, 3, "xyz", {}},
        LoadCase{"HexWithoutData", "a.hex", kEnd, 0x100, 0, kUntouched, {}},
        LoadCase{"SrecWithoutData", "a.eep", "S9030000FC\r\n", 0x100, 0, kUntouched, {}},
        LoadCase{"SrecReaderError",
                 "a.eep",
                 "S1060000010203F3\r\n",
                 0x100,
                 0,
                 "\x01\x02\x03",
                 {"File Read Operation Failed"}},
        LoadCase{"NoExtension", "image", "abc", 0x100, 3, "abc", {}},
        LoadCase{"DotInFolderOnly", "x.hex.d", "abc", 0x100, 3, "abc", {}},
        LoadCase{
            "RawFillsTheLimit", "a.bin", bytes(0x100, 'q'), 0x100, 0x100, bytes(0x100, 'q'), {}},
        LoadCase{"RawTooBig",
                 "a.bin",
                 bytes(0x101, 'q'),
                 0x100,
                 0,
                 kUntouched,
                 {"File is too big for Buffer"}},
        LoadCase{"CapsuleSkipsHeader",
                 "bios.CAP",
                 bytes(2048, 'h') + bytes(4096, 'd'),
                 0x2000,
                 4096,
                 bytes(4096, 'd') + "\xEE",
                 {}},
        LoadCase{"CapsuleOfHeaderOnly", "a.cap", bytes(2048, 'h'), 0x2000, 0, kUntouched, {}},
        LoadCase{"ShortCapsule", "a.cap", bytes(100, 'h'), 0x2000, 0, kUntouched, {}},
        // The whole file, header included, must fit.
        LoadCase{"CapsuleTooBig",
                 "a.cap",
                 bytes(2048, 'h') + bytes(4096, 'd'),
                 4096,
                 0,
                 kUntouched,
                 {"File is too big for Buffer"}},
        LoadCase{"ShortCapsuleTooBig",
                 "a.cap",
                 bytes(100, 'h'),
                 64,
                 0,
                 kUntouched,
                 {"File is too big for Buffer"}},
        LoadCase{"HexReaderError",
                 "a.hex",
                 kHexLine,
                 0x100,
                 0,
                 "\x02\x33\x7A",
                 {"File Read Operation Failed", "Error reading File"}}),
    [](const ::testing::TestParamInfo<LoadCase>& info) { return info.param.name; });

TEST(LoadFile, TellsWhenTheFileCannotBeOpenedOrRead) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("folder.bin"));
    const struct {
        std::string path;
        FileFault fault;
        int error;
        std::string box;
    } cases[] = {
        {dir.file("missing.bin"), FileFault::CannotOpen, ENOENT,
         "Cannot open file " + dir.file("missing.bin")},
        {dir.file("missing.hex"), FileFault::CannotOpen, ENOENT,
         "Cannot open file " + dir.file("missing.hex")},
        {dir.file("folder.bin"), FileFault::CannotOpen, EISDIR,
         "Cannot open file " + dir.file("folder.bin")},
        // ".eep" and ".src" files are probed first, with a message of their own.
        {dir.file("missing.eep"), FileFault::CannotOpen, ENOENT, "Can't open File"},
        {dir.file("missing.src"), FileFault::CannotOpen, ENOENT, "Can't open File"},
#ifndef _WIN32  // files of /proc and /sys
        // Opens, and every read of it fails: an error, not an empty file.
        {"/proc/self/mem", FileFault::ReadFailed, EIO, "Error reading File"},
        // Says 4096 bytes and gives a few: the short read is an error, not a load.
        {"/sys/devices/system/cpu/online", FileFault::ReadFailed, 0, "Error reading File"},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::vector<uint8_t> target(8192);
        const LoadResult loaded = loadFile(c.path, target.data(), 8192);
        EXPECT_EQ(loaded.fault, c.fault);
        EXPECT_EQ(loaded.error, c.error);
        EXPECT_EQ(loaded.count, 0);
        EXPECT_EQ(loadFailureTexts(loaded, c.path), std::vector<std::string>{c.box});
    }
}

#ifndef _WIN32  // POSIX pipes
// Every input is read once, from its start: a pipe loads whole, and record
// text under a raw name is found in the bytes already read. A pipe of record
// text is refused, or read as records when a format is chosen.
TEST(LoadFile, ReadsAPipeOnceAndWhole) {
    const std::string image = randomBytes(0x30000, 5);  // several pipe buffers' worth
    const std::string hex = ":03000000010203F7\r\n:00000001FF\r\n";
    LoadOptions asHex;
    asHex.chosen = true;
    asHex.format = FileFormat::IntelHex;
    const struct {
        const char* name;
        std::string content;
        LoadOptions options;
        FileFault fault;
        std::string loaded;
    } cases[] = {
        {"raw image", image, {}, FileFault::None, image},
        {"record text refused", hex, {}, FileFault::RecordText, ""},
        {"record text chosen", hex, asHex, FileFault::None, "\x01\x02\x03"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        std::thread writer([&] {
            writeAll(ends[1], c.content.data(), c.content.size());
            ::close(ends[1]);
        });
        std::vector<uint8_t> target(0x40000, 0xEE);
        const LoadResult loaded = loadFile("/dev/fd/" + std::to_string(ends[0]), target.data(),
                                           static_cast<uint32_t>(target.size()), c.options);
        // Whatever the load took, the writer must be able to finish.
        std::vector<char> rest(0x10000);
        while (::read(ends[0], rest.data(), rest.size()) > 0) {
        }
        writer.join();
        ::close(ends[0]);
        EXPECT_EQ(loaded.fault, c.fault);
        EXPECT_EQ(loaded.count, static_cast<int32_t>(c.loaded.size()));
        EXPECT_EQ(std::string(target.begin(), target.begin() + c.loaded.size()), c.loaded);
    }
}
#endif

using testing::filesIn;

TEST(SaveFile, WritesTheFormatOfTheExtension) {
    TempDir dir;
    const uint8_t data[16] = {};
    const std::string zeros32(32, '0');
    const struct {
        const char* name;
        std::string content;
    } cases[] = {
        {"a.hex", ":10000000" + zeros32 + "F0\r\n" + kEnd},
        {"B.HEX", ":10000000" + zeros32 + "F0\r\n" + kEnd},
        {"a.src", "S00600004844521B\r\nS1130000" + zeros32 + "EC\r\nS9030000FC\r\n"},
        {"a.SRC", "S00600004844521B\r\nS1130000" + zeros32 + "EC\r\nS9030000FC\r\n"},
        {"a.cap", std::string(16, '\0')},
        {"a.eep", std::string(16, '\0')},
        {"a.bin", std::string(16, '\0')},
        {"noext", std::string(16, '\0')},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(saveFile(dir.file(c.name), data, 16).failed()) << c.name;
        EXPECT_EQ(readFile(dir.file(c.name)), c.content) << c.name;
    }
}

#ifndef _WIN32  // FIFOs, /dev/full, file modes and symbolic links
// Only a regular file is replaced through a new file and a rename: a device
// or a FIFO stays what it is and is written in place, with its errors told;
// a folder is refused.
TEST(SaveFile, ReplacesOnlyARegularFile) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("folder.bin"));
    ASSERT_EQ(::mkfifo(dir.file("pipe.bin").c_str(), 0600), 0);
    const uint8_t data[4] = {1, 2, 3, 4};
    const struct {
        std::string path;
        FileFault fault;
        int error;
        std::filesystem::file_type stays;
    } cases[] = {
        {dir.file("folder.bin"), FileFault::IsFolder, EISDIR,
         std::filesystem::file_type::directory},
        {"/dev/null", FileFault::None, 0, std::filesystem::file_type::character},
        {"/dev/full", FileFault::WriteFailed, ENOSPC, std::filesystem::file_type::character},
        {dir.file("pipe.bin"), FileFault::None, 0, std::filesystem::file_type::fifo},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string drained;
        std::thread reader;
        if (c.stays == std::filesystem::file_type::fifo)
            reader = std::thread([&] { drained = readFile(c.path); });
        const SaveResult saved = saveFile(c.path, data, 4);
        if (reader.joinable()) reader.join();
        EXPECT_EQ(saved.fault, c.fault);
        EXPECT_EQ(saved.error, c.error);
        EXPECT_EQ(std::filesystem::status(c.path).type(), c.stays);
        if (c.stays == std::filesystem::file_type::fifo) {
            EXPECT_EQ(drained, "\x01\x02\x03\x04");
        }
    }
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"folder.bin", "pipe.bin"}));
}

TEST(SaveFile, KeepsPermissionsAndLinksOfTheOldFile) {
    TempDir dir;
    const std::string real = dir.file("real.bin");
    writeFile(real, "old");
    ::chmod(real.c_str(), 0640);
    std::filesystem::create_symlink(real, dir.file("link.bin"));
    const uint8_t data[2] = {'n', 'w'};
    EXPECT_FALSE(saveFile(dir.file("link.bin"), data, 2).failed());
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.bin")));
    EXPECT_EQ(readFile(real), "nw");
    struct stat info;
    ASSERT_EQ(::stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}
#endif

}  // namespace
}  // namespace ostrel::testing
