// What a read looks like: each bad dump gives its warning, and real images
// (compiled code, compressed data, the codecs' own test files, a firmware
// padded with FF) give none.

#include "buffers/dump_check.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace ostrel {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes fileBytes(const std::string& path) {
    Bytes out;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t chunk[65536];
        std::size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            out.insert(out.end(), chunk, chunk + n);
        std::fclose(f);
    }
    return out;
}

Bytes noise(std::size_t n, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes out(n);
    for (uint8_t& b : out) b = static_cast<uint8_t>(random());
    return out;
}

Bytes repeated(const Bytes& unit, std::size_t times) {
    Bytes out;
    for (std::size_t i = 0; i < times; ++i) out.insert(out.end(), unit.begin(), unit.end());
    return out;
}

Bytes mapped(Bytes in, uint8_t keep) {
    for (uint8_t& b : in) b &= keep;
    return in;
}

Bytes deflated(const Bytes& in) {
    uLongf size = compressBound(static_cast<uLong>(in.size()));
    Bytes out(size);
    compress2(out.data(), &size, in.data(), static_cast<uLong>(in.size()), 9);
    out.resize(size);
    return out;
}

DumpWarning stuck(int bit, int at) {
    DumpWarning w{DumpLook::StuckBit};
    w.bit = bit;
    w.stuckAt = at;
    return w;
}

DumpWarning repeats(uint64_t period) {
    DumpWarning w{DumpLook::Repeats};
    w.period = period;
    return w;
}

DumpWarning pattern(const Bytes& bytes) {
    DumpWarning w{DumpLook::Pattern};
    w.period = bytes.size();
    w.pattern = bytes;
    return w;
}

TEST(DumpCheck, NamesEachBadDumpAndNothingInRealImages) {
    // Firmware as a chip holds it: code, then FF up to the end.
    Bytes firmware = noise(300000, 1);
    firmware.resize(std::size_t{1} << 20, 0xFF);
    Bytes withStuck0 = noise(1 << 20, 2);
    for (uint8_t& b : withStuck0) b &= 0xF7;
    Bytes withStuck1 = firmware;
    for (uint8_t& b : withStuck1) b |= 0x40;
    Bytes twoStuck = noise(8192, 3);
    for (uint8_t& b : twoStuck) b = static_cast<uint8_t>((b & 0x7E) | 0x01);
    Bytes threeSame = twoStuck;  // bit 6 at 0 too: small numbers, not a loose line
    for (uint8_t& b : threeSame) b &= 0xBF;
    Bytes text;
    for (int i = 0; i < 40000; ++i) text.push_back(static_cast<uint8_t>("The quick fox. "[i % 15]));
    Bytes oneOff = repeated(noise(2048, 4), 8);
    oneOff.back() ^= 1;
    Bytes halfMirror = repeated(firmware, 2);
    Bytes quarterOfPart = repeated(noise(4096, 5), 5);  // a part of 20 KiB, period 4 KiB
    Bytes eeprom = repeated(noise(256, 6), 8);          // a 24C02 chosen as a 24C16
    Bytes justOver = noise(127, 7);
    Bytes smallRepeats = repeated(justOver, 16);  // 127 is no chip size
    Bytes shortRead = Bytes(300, 0x5A);
    shortRead[7] = 0;  // too short to judge: no warning
    Bytes almostBlank(4096, 0xFF);
    almostBlank[4095] = 0xFE;

    const Bytes libc = fileBytes("/lib/x86_64-linux-gnu/libc.so.6");
    const Bytes widgets = fileBytes("/usr/lib/x86_64-linux-gnu/libQt6Widgets.so.6");
    const Bytes catalogue = fileBytes(OSTREL_BIN_DIR "/ostrel.Dat");
    const Bytes corpus = fileBytes(OSTREL_SOURCE_DIR "/tests/data/spi-flash-facts.tsv");

    struct Case {
        const char* name;
        Bytes data;
        std::vector<DumpWarning> warnings;
        bool real = false;  // a file read at test time: empty where the system lacks it
    } cases[] = {
        {"empty", {}, {}},
        {"blank", Bytes(1 << 20, 0xFF), {DumpWarning{DumpLook::Blank}}},
        {"one FF byte", Bytes(1, 0xFF), {DumpWarning{DumpLook::Blank}}},
        {"all 00", Bytes(1 << 20, 0x00), {DumpWarning{DumpLook::AllZero}}},
        {"all 00 but short", Bytes(3, 0x00), {DumpWarning{DumpLook::AllZero}}},
        {"almost blank", almostBlank, {}},
        {"bit 3 stuck at 0", withStuck0, {stuck(3, 0)}},
        {"bit 6 stuck at 1 in padded firmware", withStuck1, {stuck(6, 1)}},
        {"two lines stuck", twoStuck, {stuck(0, 1), stuck(7, 0)}},
        {"three bits the same", threeSame, {}},
        {"blank with a stuck bit is one byte over and over", Bytes(8192, 0xF7), {pattern({0xF7})}},
        {"clip pattern", repeated({0x12, 0x34, 0x56}, 10000), {pattern({0x12, 0x34, 0x56})}},
        {"text of 15 bytes", text, {pattern(Bytes(text.begin(), text.begin() + 15))}},
        {"D7 at 0 under bytes that are not text", mapped(noise(8192, 10), 0x7F), {stuck(7, 0)}},
        {"the last byte breaks the repetition", oneOff, {}},
        {"halves equal", halfMirror, {repeats(std::size_t{1} << 20)}},
        {"a part repeating after 4 KiB", quarterOfPart, {repeats(4096)}},
        {"24C02 as 24C16", eeprom, {repeats(256)}},
        {"period of 127 bytes", smallRepeats, {}},
        {"short read", shortRead, {}},
        {"noise", noise(4 << 20, 8), {}},
        {"firmware padded with FF", firmware, {}},
        {"compressed noise", deflated(noise(1 << 20, 9)), {}},
        {"libc", libc, {}, true},
        {"compressed libc", deflated(libc), {}, true},
        {"Qt Widgets", widgets, {}, true},
        {"the catalogue", catalogue, {}, true},
        {"the flash facts", corpus, {}, true},
    };
    std::size_t realBytes = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.real) realBytes += c.data.size();
        EXPECT_EQ(checkDump(c.data.data(), c.data.size()), c.warnings);
    }
#ifndef _WIN32
    EXPECT_GT(realBytes, std::size_t{8} << 20);
#endif
}

TEST(DumpCheck, WordsNameTheFindings) {
    const struct {
        DumpWarning warning;
        const char* english;
    } cases[] = {
        {stuck(3, 0),
         "Bit 3 is 0 in every byte while the other bits vary: a data line may be "
         "stuck or without contact."},
        {repeats(4 << 20),
         "The data repeats every 4 MiB: the chip is likely only 4 MiB, smaller than the one "
         "chosen."},
        {pattern({0xDE, 0xAD}),
         "One pattern of 2 bytes (DE AD) repeats over everything read: check the contact and "
         "the chip chosen."},
    };
    for (const auto& c : cases) EXPECT_EQ(dumpWarningText(c.warning, 2), c.english);
    EXPECT_EQ(byteSizeText(1536), "1.5 KiB");
    EXPECT_EQ(byteSizeText(128), "128 bytes");
}

}  // namespace
}  // namespace ostrel
