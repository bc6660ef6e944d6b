#pragma once
// Helpers shared by the codec tests: a target with guard bytes on both sides,
// and readers run over text held in memory.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "buffers/codec_io.h"
#include "buffers/file_io.h"
#include "buffers/intel_hex.h"
#include "buffers/srecord.h"
#include "support/scripted_ui.h"

namespace ostrel::testing {

// `size` bytes of 0xEE between two guards of 0x5A: a reader may change the
// inside only.
class GuardedTarget {
  public:
    static constexpr std::size_t kGuard = 64;
    explicit GuardedTarget(std::size_t size) : bytes_(size + 2 * kGuard, 0x5A), size_(size) {
        std::fill(bytes_.begin() + kGuard, bytes_.begin() + kGuard + size, 0xEE);
    }
    uint8_t* data() { return bytes_.data() + kGuard; }
    uint8_t at(std::size_t offset) const { return bytes_[kGuard + offset]; }
    std::size_t size() const { return size_; }
    bool guardsIntact() const {
        for (std::size_t i = 0; i < kGuard; ++i)
            if (bytes_[i] != 0x5A || bytes_[kGuard + size_ + i] != 0x5A) return false;
        return true;
    }

  private:
    std::vector<uint8_t> bytes_;
    std::size_t size_;
};

// A reader's fault in the window's boxes, as the Open command shows it.
inline void showReadFault(const RecordRead& read, FileFormat format, ScriptedUi& ui) {
    if (!read.failed()) return;
    LoadResult result;
    result.fault = FileFault::Record;
    result.record = read.fault;
    result.line = read.line;
    result.format = format;
    for (const std::string& text : loadFailureTexts(result, "")) ui.errorBox(text);
}

inline int32_t readIntelText(const std::string& text, uint8_t* target, uint32_t limit,
                             ScriptedUi& ui) {
    LineReader lines(text.data(), text.size());
    const RecordRead read = ReadIntelHex(lines, target, limit);
    showReadFault(read, FileFormat::IntelHex, ui);
    return read.extent;
}

inline int32_t readSRecordText(const std::string& text, uint8_t* target, uint32_t limit,
                               ScriptedUi& ui) {
    LineReader lines(text.data(), text.size());
    const RecordRead read = ReadSRecord(lines, target, limit);
    showReadFault(read, FileFormat::SRecord, ui);
    return read.extent;
}

// One row of a reader table: the file text, the limit, what the reader must
// return and show, and bytes that must be in place afterwards.
struct Placed {
    uint32_t offset;
    std::vector<uint8_t> bytes;  // 0xEE: left as it was
};

struct ReaderCase {
    const char* name;
    std::string text;
    uint32_t limit;
    int32_t result;
    std::vector<std::string> boxes;
    std::vector<Placed> expected;
};

// Test listings show the row's name rather than its bytes.
inline void PrintTo(const ReaderCase& c, std::ostream* out) {
    *out << c.name;
}

using TextReader = int32_t (*)(const std::string&, uint8_t*, uint32_t, ScriptedUi&);

// Runs a row through a reader into a guarded target and checks everything.
inline void expectReaderCase(const ReaderCase& c, TextReader read) {
    GuardedTarget target(0x20000);
    ScriptedUi ui;
    EXPECT_EQ(read(c.text, target.data(), c.limit, ui), c.result);
    EXPECT_EQ(ui.boxTexts(), c.boxes);
    for (const ShownBox& box : ui.boxes) {
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.icon, BoxIcon::Error);
    }
    for (const Placed& placed : c.expected)
        for (std::size_t i = 0; i < placed.bytes.size(); ++i)
            EXPECT_EQ(target.at(placed.offset + i), placed.bytes[i])
                << "offset " << std::hex << placed.offset + i;
    EXPECT_TRUE(target.guardsIntact());
}

}  // namespace ostrel::testing
