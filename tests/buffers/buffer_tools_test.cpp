// The buffer tools without a window: checksums against other programs'
// figures, finding bytes with and without a wrap, Go to's bounds, the hex
// text of copy and paste, and undo and redo across typed edits, pastes and fills.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "buffers/buffer_fill.h"
#include "buffers/byte_search.h"
#include "buffers/checksums.h"
#include "buffers/data_buffers.h"
#include "catalogue/chip_record.h"
#include "support/scripted_ui.h"

namespace ostrel {
namespace {

std::vector<uint8_t> bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

// The figures were computed by Python (zlib.crc32, hashlib.sha256, sum()).
TEST(Checksums, MatchTheKnownVectors) {
    const std::vector<uint8_t> allFF(std::size_t{64} << 20, 0xFF);
    const std::vector<uint8_t> digits = bytes("123456789");
    struct Case {
        const char* name;
        const uint8_t* data;
        std::size_t length;
        const char* crc32;
        const char* sha256;
        const char* sum32;
        const char* sum16;
    } cases[] = {
        {"empty", nullptr, 0, "00000000",
         "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", "00000000", "0000"},
        {"123456789", digits.data(), digits.size(), "cbf43926",
         "15e2b0d3c33891ebb0f1ef609ec419420c20e320ce94c65fbc8c3312448eb225", "000001DD", "01DD"},
        {"64 MiB of FF", allFF.data(), allFF.size(), "e709dfcc",
         "dd30d9e07e89c1749cd420e998190ab9e31d4b43d27b5862887320ba2a2b8b0f", "FC000000", "0000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Checksums sums = checksumsOf(c.data, c.length);
        EXPECT_EQ(sums.crc32Text(), c.crc32);
        EXPECT_EQ(sums.sha256Text(), c.sha256);
        EXPECT_EQ(sums.sum32Text(), c.sum32);
        EXPECT_EQ(sums.sum16Text(), c.sum16);
    }
    // The two ranges of the buffer: the data length and the chip, cut to the buffer.
    DataBuffers buffers;
    std::memcpy(buffers.flash(), "123456789", 9);
    const BufferChecksums two = flashChecksums(buffers.flash(), 9, 0x8000000);
    EXPECT_EQ(two.data.crc32Text(), "cbf43926");
    EXPECT_EQ(two.chip.length, std::size_t{64} << 20);

    // Edits still in the FLASH view count as Write would take them: the whole
    // view of a 16-byte chip, the buffer left as it was.
    testing::ScriptedUi ui;
    ChipRecord record{};
    std::strcpy(record.nameText, "SPI FLASH,Maker,Chip");
    record.flashSize = 16;
    buffers.ResetBuffersForChip(record, 0);
    const uint8_t typed[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    buffers.flashView().writeBytes(0, typed, sizeof typed);
    const BufferChecksums asWritten = flashChecksumsAsWritten(buffers, 16);
    EXPECT_EQ(asWritten.data.crc32Text(), "6ca11cb4");
    EXPECT_EQ(asWritten.chip.sum32Text(), "000008D6");
    EXPECT_EQ(buffers.flash()[0], 0xFF);
}

TEST(ByteSearch, FindsFromTheCursorAndWrapsOnce) {
    // "EF 40 17" at 2 and at 13, the buffer's last byte is 0x99.
    std::vector<uint8_t> data = {0x00, 0x01, 0xEF, 0x40, 0x17, 0x05, 0x06, 0x07, 0x08,
                                 0x09, 0x0A, 0x0B, 0x0C, 0xEF, 0x40, 0x17, 0x99};
    const std::vector<uint8_t> efPattern = {0xEF, 0x40, 0x17};
    const std::vector<uint8_t> last = {0x17, 0x99};
    const std::vector<uint8_t> absent = {0x40, 0x40};
    const std::vector<uint8_t> whole = data;  // as long as the buffer
    std::vector<uint8_t> tooLong = data;
    tooLong.push_back(0x00);
    struct Case {
        const std::vector<uint8_t>* pattern;
        std::size_t from;
        SearchDirection direction;
        bool found;
        std::size_t offset;
        bool wrapped;
    } cases[] = {
        {&efPattern, 0, SearchDirection::Forward, true, 2, false},
        {&efPattern, 2, SearchDirection::Forward, true, 2, false},
        {&efPattern, 3, SearchDirection::Forward, true, 13, false},
        {&efPattern, 14, SearchDirection::Forward, true, 2, true},
        {&efPattern, 17, SearchDirection::Forward, true, 2, true},
        {&efPattern, 13, SearchDirection::Backward, true, 2, false},
        {&efPattern, 2, SearchDirection::Backward, true, 13, true},
        {&last, 0, SearchDirection::Forward, true, 15, false},
        {&last, 16, SearchDirection::Forward, true, 15, true},
        {&last, 16, SearchDirection::Backward, true, 15, false},
        {&absent, 5, SearchDirection::Forward, false, 0, false},
        {&absent, 5, SearchDirection::Backward, false, 0, false},
        {&whole, 0, SearchDirection::Forward, true, 0, false},
        {&whole, 5, SearchDirection::Forward, true, 0, true},
        {&whole, 0, SearchDirection::Backward, true, 0, true},
        {&whole, 16, SearchDirection::Backward, true, 0, false},
        {&tooLong, 0, SearchDirection::Forward, false, 0, false},
        {&tooLong, 0, SearchDirection::Backward, false, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << hexBytesText(c.pattern->data(), c.pattern->size()) << " from " << c.from);
        const SearchHit hit = findBytes(data.data(), data.size(), *c.pattern, c.from, c.direction);
        EXPECT_EQ(hit.found, c.found);
        if (c.found) {
            EXPECT_EQ(hit.offset, c.offset);
            EXPECT_EQ(hit.wrapped, c.wrapped);
        }
    }
    // The last byte alone, in a buffer large enough for the backward slices.
    std::vector<uint8_t> large((3u << 20) + 5, 0xFF);
    large.back() = 0x42;
    const SearchHit end =
        findBytes(large.data(), large.size(), {0xFF, 0x42}, 0, SearchDirection::Backward);
    EXPECT_TRUE(end.found && end.wrapped);
    EXPECT_EQ(end.offset, large.size() - 2);
}

TEST(ByteSearch, HexTextAndGoToBounds) {
    struct Parse {
        const char* text;
        std::vector<uint8_t> want;  // empty: refused
    } parses[] = {
        {"EF 40 17", {0xEF, 0x40, 0x17}},
        {"0F 00", {0x0F, 0x00}},
        {"00", {0x00}},
        {"EF4017", {0xEF, 0x40, 0x17}},
        {" ef\t4017 ", {0xEF, 0x40, 0x17}},
        {"EF 4 17", {}},
        {"EF401", {}},
        {"EG", {}},
        {"", {}},
    };
    for (const Parse& p : parses) {
        SCOPED_TRACE(p.text);
        EXPECT_EQ(parseHexBytes(p.text).value_or(std::vector<uint8_t>{}), p.want);
    }
    const uint8_t copied[] = {0xEF, 0x40, 0x07};
    EXPECT_EQ(hexBytesText(copied, 3), "EF 40 07");

    struct Target {
        const char* text;
        std::size_t size;
        long long want;  // -1: refused
    } targets[] = {
        {"0", 0x100, 0},         {"FF", 0x100, 0xFF}, {"100", 0x100, -1},
        {"0x1a", 0x100, 0x1A},   {"-1", 0x100, -1},   {"", 0x100, -1},
        {"FFFFFFFF", 0x100, -1}, {"zz", 0x100, -1},   {"3FFFFFF", 0x4000000, 0x3FFFFFF},
    };
    for (const Target& t : targets) {
        SCOPED_TRACE(t.text);
        const auto target = goToTarget(t.text, t.size);
        EXPECT_EQ(target ? static_cast<long long>(*target) : -1, t.want);
    }
}

// Fill, type, paste and fill again (past what the buffer had made ready) in
// the FLASH view, then undo all four and redo them: each undo brings back the
// bytes, their change marks and the data length, and nothing else; a fill
// keeps the steps before it.
TEST(EditHistory, UndoAndRedoTypedEditsPastesAndFills) {
    DataBuffers buffers;
    testing::ScriptedUi ui;
    ChipRecord record{};
    std::strcpy(record.nameText, "SPI FLASH,Maker,Chip");
    record.flashSize = 0x100;
    buffers.ResetBuffersForChip(record, 0);
    HexDocument& view = buffers.flashView();

    FillInput fill;
    fill.byteText = "00";
    fill.startText = "10";
    fill.endText = "1F";
    ASSERT_TRUE(runFill(buffers, 0x100, fill, ui.epochSeconds()).filled());  // 0x10-0x1F = 00
    view.overwrite(0x12, 0xA0);                                              // typing "A5" at 0x12:
    view.overwrite(0x12, 0xA5);                                              //   both digits
    view.overwrite(0x13, 0x30);                                              //   and the next byte
    const uint8_t pasted[] = {0x11, 0x22, 0x33};
    EXPECT_EQ(view.writeBytes(0xFE, pasted, 3), 2u);  // cut at the end
    fill.startText = "180";
    fill.endText = "1FF";
    ASSERT_TRUE(runFill(buffers, 0x100, fill, ui.epochSeconds())
                    .filled());  // past the chip: the buffer only
    EXPECT_EQ(view.byteAt(0x12), 0xA5) << "the fill keeps the typed bytes";

    auto shown = [&](std::size_t at) { return view.byteAt(at); };
    struct Step {
        bool redo;
        uint8_t at12, at13, atFE, atFF, at180;
        bool marked12;
        int32_t dataLength;
    } steps[] = {
        {false, 0xA5, 0x30, 0x11, 0x22, 0xFF, true, 0x100},   // the second fill goes
        {false, 0xA5, 0x30, 0xFF, 0xFF, 0xFF, true, 0x100},   // the paste goes
        {false, 0x00, 0x00, 0xFF, 0xFF, 0xFF, false, 0x100},  // the typed run, in one step
        {false, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, false, 0},      // the first fill, with its length
        {true, 0x00, 0x00, 0xFF, 0xFF, 0xFF, false, 0x100},
        {true, 0xA5, 0x30, 0xFF, 0xFF, 0xFF, true, 0x100},
        {true, 0xA5, 0x30, 0x11, 0x22, 0xFF, true, 0x100},
        {true, 0xA5, 0x30, 0x11, 0x22, 0x00, true, 0x200},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(::testing::Message()
                     << (s.redo ? "redo" : "undo") << " to " << std::hex << int(s.at12) << " "
                     << int(s.atFE) << " " << int(s.at180));
        ASSERT_TRUE(s.redo ? buffers.redo(view) : buffers.undo(view));
        EXPECT_EQ(view.DataSize(), 0x100u);
        EXPECT_EQ(shown(0x12), s.at12);
        EXPECT_EQ(shown(0x13), s.at13);
        EXPECT_EQ(shown(0xFE), s.atFE);
        EXPECT_EQ(shown(0xFF), s.atFF);
        EXPECT_EQ(buffers.flashUpTo(0x200)[0x180], s.at180);
        EXPECT_EQ(view.isChanged(0x12), s.marked12);
        EXPECT_EQ(buffers.flashDataLength, s.dataLength);
    }
    EXPECT_FALSE(buffers.redo(view));
    EXPECT_EQ(buffers.flash()[0x11], 0x00);  // the fill is in the buffer again

    // Inserting and deleting bytes come back as they were, size included.
    view.insert(0x20, 0x77);
    view.remove(0x00, 2);
    ASSERT_TRUE(buffers.undo(view));
    ASSERT_TRUE(buffers.undo(view));
    EXPECT_EQ(view.DataSize(), 0x100u);
    EXPECT_EQ(shown(0x20), 0xFF);

    // One typed byte, both its digits, is a step one byte long of its own.
    view.overwrite(0x40, 0x10);
    view.overwrite(0x40, 0x1B);
    view.overwrite(0x42, 0x55);
    ASSERT_TRUE(buffers.undo(view));
    EXPECT_EQ(shown(0x42), 0xFF);
    EXPECT_EQ(shown(0x40), 0x1B);
    ASSERT_TRUE(buffers.undo(view));
    EXPECT_EQ(shown(0x40), 0xFF);
    ASSERT_TRUE(buffers.redo(view));
    EXPECT_EQ(shown(0x40), 0x1B);
    EXPECT_EQ(shown(0x41), 0xFF);

    // A reload (a read, an Open) forgets everything.
    buffers.ShowFlash(0x100);
    EXPECT_FALSE(buffers.undo(view));
    EXPECT_EQ(buffers.flashHistory().bytesHeld(), 0u);

    // Past the limit the oldest steps go.
    EditHistory small(8);
    for (std::size_t i = 0; i < 5; ++i) {
        EditStep step;
        step.offset = i * 10;
        step.length = 3;
        step.bytes.assign(3, 0);
        small.record(std::move(step));
    }
    EXPECT_EQ(small.undoCount(), 2u);
    EXPECT_EQ(small.bytesHeld(), 6u);
}

}  // namespace
}  // namespace ostrel
