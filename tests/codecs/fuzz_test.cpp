// Random and damaged input must never crash a reader or make it write outside
// its target, and a reader either succeeds silently or fails with one message.

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <random>

#include "codec_test_util.h"

namespace ostrel::testing {
namespace {

using Reader = int32_t (*)(const std::string&, uint8_t*, uint32_t, ScriptedUi&);

// A valid file of either kind over a small random image, as the starting point for mutations.
std::string validText(bool intel, std::mt19937& random) {
    std::vector<uint8_t> image(1 + random() % 300);
    for (uint8_t& byte : image) byte = static_cast<uint8_t>(random() % 4 ? random() : 0xFF);
    // An in-memory file keeps thousands of rounds off the disk.
    const int fd = ::memfd_create("codec-input", 0);
    if (intel)
        WriteIntelHex(fd, image.data(), static_cast<uint32_t>(image.size()));
    else
        WriteSRecord(fd, image.data(), static_cast<uint32_t>(image.size()));
    std::string text(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)), '\0');
    ::pread(fd, text.data(), text.size(), 0);
    ::close(fd);
    // Extended address records with random bases, so that offsets go far.
    if (intel && random() % 2) {
        const char* bases[] = {":02000004FFFFFC\r\n", ":020000021000EC\r\n", ":02000002FFFFFE\r\n",
                               ":020000040001F9\r\n"};
        text.insert(0, bases[random() % 4]);
    }
    return text;
}

std::string mutate(std::string text, std::mt19937& random) {
    static const char alphabet[] = ":S0123456789ABCDEFabcdef\r\n  G";
    const int edits = 1 + static_cast<int>(random() % 6);
    for (int e = 0; e < edits && !text.empty(); ++e) {
        const std::size_t at = random() % text.size();
        switch (random() % 5) {
            case 0:
                text[at] = alphabet[random() % (sizeof alphabet - 1)];
                break;
            case 1:
                text[at] = static_cast<char>(random());
                break;
            case 2:
                text.erase(at, 1 + random() % 40);  // truncates a line or joins two
                break;
            case 3:
                text.insert(at, std::string(1 + random() % 600, alphabet[random() % 24]));
                break;
            default:
                text.resize(at);  // the file ends early
                break;
        }
    }
    return text;
}

std::string randomLines(std::mt19937& random, bool intel) {
    std::string text;
    const int lines = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < lines; ++i) {
        text += intel ? ':' : 'S';
        const std::size_t length = random() % 120;
        for (std::size_t k = 0; k < length; ++k) text += "0123456789ABCDEF"[random() % 16];
        text += random() % 4 ? "\r\n" : "\n";
    }
    return text;
}

void checkReader(bool intel, uint32_t variant) {
    std::mt19937 random(variant);
    const Reader reader = intel ? readIntelText : readSRecordText;
    for (int round = 0; round < 20000; ++round) {
        const uint32_t limit = random() % 3 == 0 ? 0 : 1 + random() % 400;
        const std::string text =
            round % 3 == 0 ? randomLines(random, intel) : mutate(validText(intel, random), random);
        GuardedTarget target(limit);
        ScriptedUi ui;
        const int32_t result = reader(text, target.data(), limit, ui);
        ASSERT_TRUE(target.guardsIntact()) << "round " << round << ":\n" << text;
        ASSERT_GE(result, 0);
        ASSERT_LE(static_cast<uint32_t>(result), limit);
        if (result > 0) {
            ASSERT_TRUE(ui.boxes.empty()) << text;
        }
        ASSERT_LE(ui.boxes.size(), 2u);
    }
}

TEST(ReaderRobustness, IntelHexSurvivesDamagedInput) {
    checkReader(true, 1234);
}
TEST(ReaderRobustness, SRecordSurvivesDamagedInput) {
    checkReader(false, 4321);
}

}  // namespace
}  // namespace ostrel::testing
