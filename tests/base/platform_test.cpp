// The system layer as the rest of the program relies on it, the same on every
// system: files named in UTF-8 replaced whole, dates, large buffers.
#include "base/platform.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/safe_file.h"
#include "support/temp_files.h"

namespace ostrel {
namespace {

TEST(Platform, FilesNamedInUtf8AreReplacedWhole) {
    const testing::TempDir dir;
    const char* const names[] = {"plain.bin", "芯片备份-读出.bin", "編程器 image.hex",
                                 "données.srec"};
    for (const char* name : names) {
        const std::string path = dir.file(name);
        for (const std::string& content : {std::string("first"), std::string(70000, '\x5A')}) {
            FileReplacement file(path);
            ASSERT_TRUE(file.ready()) << name << ": " << file.error();
            ASSERT_TRUE(writeAll(file.fd(), content.data(), content.size())) << name;
            ASSERT_TRUE(file.commit()) << name << ": " << file.error();
            EXPECT_EQ(readWholeFile(path).value_or("(none)"), content) << name;
            const auto info = platform::pathInfo(path);
            ASSERT_TRUE(info.has_value()) << name;
            EXPECT_TRUE(info->regular) << name;
            EXPECT_EQ(info->size, static_cast<int64_t>(content.size())) << name;
        }
        const auto resolved = platform::resolvedPath(path);
        ASSERT_TRUE(resolved.has_value()) << name;
        EXPECT_EQ(resolved->substr(resolved->size() - std::strlen(name)), name);
    }
    // Each replacement took the place of the old file: nothing else is left.
    std::vector<std::string> entries = platform::folderEntries(dir.path());
    std::sort(entries.begin(), entries.end());
    std::vector<std::string> expected(std::begin(names), std::end(names));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(entries, expected);
}

// The answers a stand-in write() gives, one a call: a count, or -1 with an
// errno. Past the script it fails with EDOM, so that a loop that never ends
// shows as a wrong errno instead of a hang.
struct WriteScript {
    std::vector<std::pair<long, int>> answers;
    std::size_t calls = 0;
    std::string written;
};
WriteScript* script = nullptr;

long scriptedWrite(int, const void* data, std::size_t count) {
    if (script->calls == script->answers.size()) {
        errno = EDOM;
        return -1;
    }
    const auto [done, error] = script->answers[script->calls++];
    if (done < 0) {
        errno = error;
        return -1;
    }
    const std::size_t taken = std::min<std::size_t>(count, static_cast<std::size_t>(done));
    script->written.append(static_cast<const char*>(data), taken);
    return static_cast<long>(taken);
}

// Short and interrupted writes are carried on; a write that takes nothing
// without an error ends it (retried, it would loop for ever), with an errno
// of its own rather than whatever an earlier call left.
TEST(Platform, WriteAllCarriesOnAfterShortWritesAndStopsAtOneThatTakesNothing) {
    const std::string data = "0123456789";
    const struct {
        const char* what;
        std::vector<std::pair<long, int>> answers;
        bool ok;
        int error;  // errno after a failure
        std::size_t calls;
    } cases[] = {
        {"whole", {{10, 0}}, true, 0, 1},
        {"short, then the rest", {{3, 0}, {7, 0}}, true, 0, 2},
        {"interrupted", {{-1, EINTR}, {10, 0}}, true, 0, 2},
        {"nothing taken", {{4, 0}, {0, 0}, {6, 0}}, false, EIO, 2},
        {"no space", {{-1, ENOSPC}}, false, ENOSPC, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteScript run{c.answers, 0, {}};
        script = &run;
        errno = 0;
        EXPECT_EQ(writeAllWith(scriptedWrite, 3, data.data(), data.size()), c.ok);
        if (!c.ok) {
            EXPECT_EQ(errno, c.error);
        }
        EXPECT_EQ(run.calls, c.calls);
        if (c.ok) {
            EXPECT_EQ(run.written, data);
        }
    }
    script = nullptr;
}

TEST(Platform, UtcDatesRoundTripAndNormalise) {
    struct Case {
        int year, month, day, hour;
        std::time_t expected;
    };
    const Case cases[] = {
        {1970, 1, 1, 0, 0},
        {2024, 2, 29, 12, 1709208000},
        {2040, 6, 1, 0, 2222121600},   // past what 32 bits of seconds hold
        {2026, 2, 30, 0, 1772409600},  // the 30th of February is the 2nd of March
    };
    for (const Case& c : cases) {
        std::tm parts{};
        parts.tm_year = c.year - 1900;
        parts.tm_mon = c.month - 1;
        parts.tm_mday = c.day;
        parts.tm_hour = c.hour;
        EXPECT_EQ(platform::timeFromUtc(parts), c.expected) << c.year << "-" << c.month;
        const std::tm back = platform::utcTime(c.expected);
        EXPECT_EQ(back.tm_mday, parts.tm_mday) << c.year << "-" << c.month;
        EXPECT_EQ(back.tm_mon, parts.tm_mon) << c.year << "-" << c.month;
        EXPECT_EQ(back.tm_hour, c.hour) << c.year << "-" << c.month;
    }
}

TEST(Platform, LargeAreaIsAlignedAndDiscardedPagesReadAsZero) {
    constexpr std::size_t kAlign = 2 * 1024 * 1024;
    constexpr std::size_t kSize = 4 * kAlign;
    uint8_t* area = platform::reserveArea(kSize, kAlign);
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(area) % kAlign, 0u);
    std::memset(area, 0xFF, kSize);
    platform::discardPages(area, kSize / 2);
    EXPECT_EQ(std::count(area, area + kSize / 2, 0), static_cast<std::ptrdiff_t>(kSize / 2));
    EXPECT_EQ(area[kSize / 2], 0xFF);
    EXPECT_EQ(area[kSize - 1], 0xFF);
    platform::releaseArea(area, kSize);
}

TEST(Platform, FindsTheLastByte) {
    const uint8_t bytes[] = {1, 2, 3, 2, 1};
    EXPECT_EQ(platform::findLastByte(bytes, 2, 5), bytes + 3);
    EXPECT_EQ(platform::findLastByte(bytes, 2, 3), bytes + 1);
    EXPECT_EQ(platform::findLastByte(bytes, 1, 1), bytes);
    EXPECT_EQ(platform::findLastByte(bytes, 9, 5), nullptr);
    EXPECT_EQ(platform::findLastByte(bytes, 1, 0), nullptr);
}

// Reads and writes at an offset leave the file position where it was, and a
// count past what a system call takes is done in part, not cut to its low bits.
TEST(Platform, ReadAndWriteAtAnOffsetLeaveThePositionAlone) {
    const testing::TempDir dir;
    const int fd = platform::openFile(dir.file("at.bin"), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(platform::writeAt(fd, "0123456789", 10, 0), 10);
    const struct {
        std::size_t count;
        int64_t offset;
        long done;
        const char* bytes;
    } reads[] = {
        {4, 3, 4, "3456"},
        {4, 8, 2, "89"},
        {4, 10, 0, ""},
        // 4 GiB and 2 bytes: a count cut to 32 bits would read 2.
        {(std::size_t{1} << 32) + 2, 0, 10, "0123456789"},
    };
    // Room for the most one call reads: Windows checks the whole buffer.
    uint8_t* const area = platform::reserveArea(platform::kMostPerCall, 1 << 16);
    ASSERT_NE(area, nullptr);
    const auto text = [area] { return std::string(reinterpret_cast<const char*>(area)); };
    for (const auto& r : reads) {
        SCOPED_TRACE(r.offset);
        std::memset(area, 0, 16);
        EXPECT_EQ(platform::readAt(fd, area, r.count, r.offset), r.done);
        EXPECT_EQ(text(), r.bytes);
        EXPECT_EQ(platform::filePosition(fd), 0);
    }
    ASSERT_EQ(platform::writeAt(fd, "AB", 2, 4), 2);
    EXPECT_EQ(platform::filePosition(fd), 0);
    // A read at the position moves it; the count is capped as above.
    std::memset(area, 0, 16);
    EXPECT_EQ(platform::readSome(fd, area, (std::size_t{1} << 32) + 2), 10);
    EXPECT_EQ(text(), "0123AB6789");
    EXPECT_EQ(platform::filePosition(fd), 10);
    platform::releaseArea(area, platform::kMostPerCall);
    platform::closeFile(fd);
}

// Two descriptors that append to one file (the production log, the spool):
// each write lands at the end, and a descriptor opened to append can be
// locked.
TEST(Platform, AppendedWritesLandAtTheEndAndTheFileCanBeLocked) {
    const testing::TempDir dir;
    const std::string path = dir.file("log.jsonl");
    const int first = platform::openFile(path, O_WRONLY | O_APPEND | O_CREAT, 0644);
    const int second = platform::openFile(path, O_WRONLY | O_APPEND | O_CREAT, 0644);
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    const struct {
        int fd;
        const char* text;
    } writes[] = {{first, "a"}, {second, "bb"}, {first, "c"}};
    for (const auto& w : writes)
        ASSERT_EQ(platform::writeSome(w.fd, w.text, std::strlen(w.text)),
                  static_cast<long>(std::strlen(w.text)));
    EXPECT_EQ(testing::readFile(path), "abbc");
    // A part written is cut off again through the descriptor that appends.
    EXPECT_TRUE(platform::truncateFile(second, 3));
    EXPECT_EQ(testing::readFile(path), "abb");
    EXPECT_TRUE(platform::lockFile(first, true));
    // Windows' lock wants a handle that may read or write; Wine does not
    // check that for a lock, but does for a read.
    if (platform::kWindows) {
        char bytes[8] = {};
        EXPECT_EQ(platform::readAt(first, bytes, sizeof bytes, 0), 3);
        EXPECT_EQ(std::string(bytes), "abb");
    }
    platform::closeFile(first);
    EXPECT_TRUE(platform::lockFile(second, false));
    platform::closeFile(second);
}

}  // namespace
}  // namespace ostrel
