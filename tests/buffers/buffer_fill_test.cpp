#include "buffers/buffer_fill.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/messages.h"
#include "buffers/data_buffers.h"
#include "support/scripted_ui.h"

namespace ostrel {
namespace {

class BufferFillTest : public ::testing::Test {
  protected:
    BufferFillTest() { buffers.ShowFlash(kChip); }

    std::vector<uint8_t> flashBytes(uint32_t from, uint32_t count) const {
        return {buffers.flash() + from, buffers.flash() + from + count};
    }
    bool fill(FillKind kind, const char* start, const char* end) {
        input.kind = kind;
        input.startText = start;
        input.endText = end;
        return runShown(input);
    }

    // The dialog's OK: the fill, and a refusal in an error box.
    bool runShown(const FillInput& in) {
        const FillResult result = runFill(buffers, kChip, in, ui.epochSeconds());
        if (!result.filled()) ui.errorBox(fillRefusalText(result));
        return result.filled();
    }

    static constexpr uint32_t kChip = 65536;
    DataBuffers buffers;
    testing::ScriptedUi ui;
    FillInput input;
};

TEST_F(BufferFillTest, ByteFillShowsItsBytesKeepsTypedOnesAndSetsTheDataLength) {
    input.byteText = "00";
    ASSERT_TRUE(fill(FillKind::Byte, "0", "FF"));
    EXPECT_EQ(flashBytes(0, 256), std::vector<uint8_t>(256, 0));
    EXPECT_EQ(buffers.flash()[256], 0xFF);
    EXPECT_EQ(buffers.flashDataLength, 256);
    const HexDocument& view = buffers.flashView();
    EXPECT_EQ(view.DataSize(), kChip);
    EXPECT_EQ(view.byteAt(255), 0);
    EXPECT_FALSE(view.Modified());

    // A byte typed before a fill is not thrown away: it goes into the buffer
    // as Write would take it, and Write then sends the whole view.
    buffers.flashView().overwrite(0x300, 0x42);
    input.byteText = "11";
    ASSERT_TRUE(fill(FillKind::Byte, "0", "F"));
    EXPECT_EQ(view.byteAt(0x300), 0x42);
    EXPECT_EQ(buffers.flash()[0x300], 0x42);
    EXPECT_EQ(view.byteAt(0xF), 0x11);
    EXPECT_EQ(view.byteAt(0x10), 0x00);
    EXPECT_EQ(buffers.flashDataLength, static_cast<int32_t>(kChip));
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(BufferFillTest, DataLengthIsReplacedEvenWhenItWasLarger) {
    buffers.flashDataLength = 0x10000;
    input.byteText = "A5";
    ASSERT_TRUE(fill(FillKind::Byte, "100", "1FF"));
    EXPECT_EQ(buffers.flashDataLength, 0x200);
    EXPECT_EQ(buffers.flash()[0xFF], 0xFF);
    EXPECT_EQ(buffers.flash()[0x100], 0xA5);
    EXPECT_EQ(buffers.flash()[0x1FF], 0xA5);
    EXPECT_EQ(buffers.flash()[0x200], 0xFF);
}

TEST_F(BufferFillTest, WordFillStoresLowByteFirstFromTheEvenAddress) {
    struct Case {
        const char* start;
        const char* end;
        std::vector<uint8_t> first6;
    };
    const Case cases[] = {
        {"0", "3", {0x34, 0x12, 0x34, 0x12, 0xFF, 0xFF}},
        {"1", "4", {0x34, 0x12, 0x34, 0x12, 0xFF, 0xFF}},  // odd start: byte 0 written
        {"0", "4", {0x34, 0x12, 0x34, 0x12, 0xFF, 0xFF}},  // odd length: byte 4 kept
        {"2", "2", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},  // one byte: no whole word
        {"3", "4", {0xFF, 0xFF, 0x34, 0x12, 0xFF, 0xFF}},
    };
    input.wordText = "1234";
    input.byteText = "0";
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.start) + "-" + c.end);
        std::memset(buffers.flash(), 0xFF, 16);
        ASSERT_TRUE(fill(FillKind::Word, c.start, c.end));
        EXPECT_EQ(flashBytes(0, 6), c.first6);
    }
    EXPECT_EQ(buffers.flashDataLength, 5);
}

TEST(FillRandom, FollowsTheLinearCongruentialSequence) {
    FillRandom random(12345);
    EXPECT_EQ(random.next(), 15301u);
    EXPECT_EQ(random.next(), 24996u);
    EXPECT_EQ(random.next(), 10921u);
    EXPECT_EQ(random.next(), 23577u);
    FillRandom started;
    started.randomize(12345);  // starting draws the first value
    EXPECT_EQ(started.next(), 24996u);
}

TEST_F(BufferFillTest, RandomFillRepeatsWithinASecondAndDiffersInAnother) {
    ASSERT_TRUE(fill(FillKind::Random, "10", "40F"));
    const std::vector<uint8_t> first = flashBytes(0x10, 0x400);
    EXPECT_EQ(flashBytes(0x10, 4), (std::vector<uint8_t>{0xF5, 0xAD, 0x55, 0x52}));
    EXPECT_EQ(buffers.flash()[0xF], 0xFF);
    EXPECT_EQ(buffers.flash()[0x410], 0xFF);

    ASSERT_TRUE(fill(FillKind::Random, "10", "40F"));
    EXPECT_EQ(flashBytes(0x10, 0x400), first);

    ++ui.nowSeconds;
    ASSERT_TRUE(fill(FillKind::Random, "10", "40F"));
    EXPECT_NE(flashBytes(0x10, 0x400), first);
}

TEST_F(BufferFillTest, BadRangesAreRefusedAndWriteNothing) {
    struct Case {
        const char* start;
        const char* end;
    };
    const Case cases[] = {
        {"10", "F"},             // start above end
        {"0", "4000000"},        // end just past the buffer
        {"4000000", "4000001"},  // all of it past the buffer
        {"FFFFFFFF", "10"},      // start reads as -1
        {"0", "80000000"},       // end reads as negative
    };
    buffers.flashDataLength = 123;
    input.byteText = "00";
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.start) + "-" + c.end);
        ui.boxes.clear();
        EXPECT_FALSE(fill(FillKind::Byte, c.start, c.end));
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].caption, "Error");
        EXPECT_EQ(ui.boxes[0].icon, BoxIcon::Error);
    }
    EXPECT_EQ(buffers.flashDataLength, 123);
    EXPECT_EQ(flashBytes(0, 32), std::vector<uint8_t>(32, 0xFF));
    EXPECT_EQ(buffers.flash()[kFlashBufferSize - 1], 0xFF);
}

TEST_F(BufferFillTest, LastAddressOfTheBufferCanBeFilled) {
    input.wordText = "BEEF";
    ASSERT_TRUE(fill(FillKind::Word, "3FFFFFE", "3FFFFFF"));
    EXPECT_EQ(buffers.flash()[kFlashBufferSize - 2], 0xEF);
    EXPECT_EQ(buffers.flash()[kFlashBufferSize - 1], 0xBE);
    EXPECT_EQ(buffers.flashDataLength, static_cast<int32_t>(kFlashBufferSize));
}

TEST_F(BufferFillTest, ConversionErrorStopsAtTheFirstBadEditInOrder) {
    struct Case {
        FillInput input;
        const char* error;
    };
    FillInput emptyWord;
    emptyWord.wordText = "";
    FillInput badByteAndStart;
    badByteAndStart.byteText = "1G";
    badByteAndStart.startText = "";
    FillInput longEnd;
    longEnd.endText = "100000000";
    const Case cases[] = {
        {emptyWord, "'0x' is not a valid integer value"},
        {badByteAndStart, "'0x1G' is not a valid integer value"},
        {longEnd, "'0x100000000' is not a valid integer value"},
    };
    buffers.flashDataLength = 9;
    const uint64_t version = buffers.flashView().version();
    for (const Case& c : cases) {
        ui.boxes.clear();
        EXPECT_FALSE(runShown(c.input));
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, c.error);
        EXPECT_EQ(ui.boxes[0].caption, "Error");
    }
    EXPECT_EQ(buffers.flashDataLength, 9);
    EXPECT_EQ(buffers.flashView().version(), version);  // the view was not reloaded
    EXPECT_EQ(flashBytes(0, 0x10000), std::vector<uint8_t>(0x10000, 0xFF));
}

TEST(FillDialogTexts, EndTextIsTheChipsLastAddressWithinTheBuffer) {
    EXPECT_EQ(fillEndText(1048576), "FFFFF");
    EXPECT_EQ(fillEndText(65536), "FFFF");
    EXPECT_EQ(fillEndText(0x8000000), "3FFFFFF");
}

}  // namespace
}  // namespace ostrel
