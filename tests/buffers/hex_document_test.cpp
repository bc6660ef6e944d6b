#include "buffers/hex_document.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "buffers/hex_layout.h"

namespace ostrel {
namespace {

std::vector<uint8_t> content(const HexDocument& doc) {
    std::vector<uint8_t> bytes(doc.DataSize());
    doc.ReadBuffer(bytes.data(), 0, bytes.size());
    return bytes;
}

std::vector<std::size_t> marked(const HexDocument& doc) {
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < doc.DataSize(); ++i)
        if (doc.isChanged(i)) offsets.push_back(i);
    return offsets;
}

struct RecordingObserver : HexDocumentObserver {
    std::vector<Change> changes;
    HexDocument* destroyed = nullptr;
    void documentChanged(Change change) override { changes.push_back(change); }
    void documentDestroyed(HexDocument* document) override { destroyed = document; }
};

TEST(HexDocument, EditsMarkBytesAndSetModifiedUntilTheNextLoad) {
    const std::vector<uint8_t> source{1, 2, 3, 4, 5};
    RecordingObserver observer;  // outlives the document, which tells it when it goes
    HexDocument doc;
    doc.setObserver(&observer);
    doc.LoadFromStream(source.data(), source.size());
    EXPECT_FALSE(doc.Modified());
    EXPECT_TRUE(marked(doc).empty());

    doc.overwrite(1, 0xAA);           // 1 AA 3 4 5
    doc.insert(0, 0xBB);              // BB 1 AA 3 4 5
    doc.overwrite(6, 0xCC);           // appended at the end
    EXPECT_EQ(doc.remove(4, 1), 1u);  // BB 1 AA 3 5 CC

    EXPECT_EQ(content(doc), (std::vector<uint8_t>{0xBB, 1, 0xAA, 3, 5, 0xCC}));
    EXPECT_EQ(marked(doc), (std::vector<std::size_t>{0, 2, 5}));
    EXPECT_EQ(doc.changedCount(), 3u);
    EXPECT_TRUE(doc.Modified());
    doc.setModified(false);
    EXPECT_TRUE(doc.isChanged(0));  // the marks outlive the flag

    doc.LoadFromStream(source.data(), source.size());
    EXPECT_FALSE(doc.Modified());
    EXPECT_EQ(doc.changedCount(), 0u);
    EXPECT_EQ(content(doc), source);

    using C = HexDocumentObserver::Change;
    EXPECT_EQ(observer.changes, (std::vector<C>{C::Reloaded, C::Edited, C::Edited, C::Edited,
                                                C::Edited, C::Reloaded}));
    EXPECT_EQ(doc.version(), 6u);
}

TEST(HexDocument, OutOfRangeEditsAndReadsTouchNothing) {
    const std::vector<uint8_t> source{1, 2, 3};
    HexDocument doc;
    doc.LoadFromStream(source.data(), source.size());
    doc.overwrite(4, 9);
    doc.insert(4, 9);
    EXPECT_EQ(doc.remove(3, 1), 0u);
    EXPECT_EQ(doc.remove(1, 0), 0u);
    EXPECT_FALSE(doc.Modified());
    EXPECT_EQ(doc.remove(1, 100), 2u);
    EXPECT_EQ(content(doc), std::vector<uint8_t>{1});

    uint8_t out[4] = {7, 7, 7, 7};
    doc.ReadBuffer(out, 0, 4);  // only what exists is copied
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 7);
    doc.ReadBuffer(out, 5, 2);
    EXPECT_EQ(out[0], 1);
}

TEST(HexDocument, TellsItsObserverWhenItGoesAway) {
    RecordingObserver observer;
    HexDocument* address = nullptr;
    {
        HexDocument doc;
        address = &doc;
        doc.setObserver(&observer);
    }
    EXPECT_EQ(observer.destroyed, address);
}

// Marks across word boundaries, compared with a plain vector<bool> model.
TEST(ChangeMarks, ShiftsLikeAPlainVectorAcrossWordBoundaries) {
    ChangeMarks marks;
    std::vector<bool> model(200, false);
    marks.reset(model.size());
    for (std::size_t i : {0u, 1u, 63u, 64u, 65u, 127u, 128u, 199u}) {
        marks.set(i);
        model[i] = true;
    }
    struct Step {
        bool insert;
        std::size_t index, count;
        bool value;
    };
    const Step steps[] = {{true, 5, 1, true},   {true, 60, 70, false}, {false, 62, 3, false},
                          {true, 0, 64, true},  {false, 0, 1, false},  {false, 100, 90, false},
                          {true, 130, 1, false}};
    for (const Step& s : steps) {
        if (s.insert) {
            marks.insert(s.index, s.count, s.value);
            model.insert(model.begin() + static_cast<long>(s.index), s.count, s.value);
        } else {
            marks.erase(s.index, s.count);
            model.erase(model.begin() + static_cast<long>(s.index),
                        model.begin() + static_cast<long>(s.index + s.count));
        }
        ASSERT_EQ(marks.size(), model.size());
        for (std::size_t i = 0; i < model.size(); ++i) ASSERT_EQ(marks.test(i), model[i]) << i;
        EXPECT_EQ(marks.count(),
                  static_cast<std::size_t>(std::count(model.begin(), model.end(), true)));
    }
}

TEST(ChangeMarks, CleanInsertsAndErasesNeedNoBitmap) {
    ChangeMarks marks;
    marks.reset(1000);
    marks.insert(10, 5, false);
    marks.erase(0, 20);
    EXPECT_EQ(marks.size(), 985u);
    EXPECT_EQ(marks.count(), 0u);
    EXPECT_FALSE(marks.test(984));
    EXPECT_FALSE(marks.test(5000));
}

TEST(HexLayout, OffsetTextsUseTheDigitsOfTheOffsetPastTheLastRow) {
    struct Case {
        OffsetStyle style;
        std::size_t dataSize, row;
        const char* text;
    };
    const Case cases[] = {
        {OffsetStyle::Zeros, 65536, 0, "0000000"},
        {OffsetStyle::Zeros, 65536, 0xFFF0, "000FFF0"},
        {OffsetStyle::Zeros, 65535, 0xFFF0, "000FFF0"},  // still 0x10000 past the last row
        {OffsetStyle::Zeros, 0x4000000, 0x3FFFFF0, "003FFFFF0"},
        {OffsetStyle::Zeros, 0xF0, 0x10, "0010"},
        {OffsetStyle::Zeros, 0xF1, 0x10, "00010"},
        {OffsetStyle::HexPrefix, 256, 0xF0, "0x0F0"},
        {OffsetStyle::HexPrefix, 8192, 0x1FF0, "0x1FF0"},
        {OffsetStyle::HexPrefix, 0, 0, "0x00"},  // an empty view still shows its one row
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(HexLayout(1, c.style).offsetText(c.row, c.dataSize), c.text);
    }
}

TEST(HexLayout, AddressesRowsAndColumns) {
    EXPECT_EQ(HexLayout::rowCount(0), 1u);
    EXPECT_EQ(HexLayout::rowCount(16), 1u);
    EXPECT_EQ(HexLayout::rowCount(17), 2u);
    EXPECT_EQ(HexLayout::rowCount(0x4000000), 0x400000u);  // 4 Mi rows fit a scroll bar
    EXPECT_EQ(HexLayout::rowOf(0x123), 0x12u);
    EXPECT_EQ(HexLayout::columnOf(0x123), 3);
    EXPECT_EQ(HexLayout::addressAt(0x12, 3), 0x123u);

    HexLayout flash(1, OffsetStyle::Zeros), eeprom(2, OffsetStyle::HexPrefix);
    EXPECT_EQ(flash.hexCellOffset(1), 3);   // "FF FF"
    EXPECT_EQ(eeprom.hexCellOffset(1), 2);  // "FFFF FFFF"
    EXPECT_EQ(eeprom.hexCellOffset(2), 5);
    EXPECT_EQ(flash.hexWidth(), 47);
    EXPECT_EQ(eeprom.hexWidth(), 39);
    EXPECT_EQ(eeprom.groupOf(5), 2);
    EXPECT_EQ(flash.groupOf(5), 5);
    // 65,536 bytes: "0000000" (7 cells), a gap, 47 hex cells, a gap, 16 characters.
    EXPECT_EQ(flash.hexX(65536), 9);
    EXPECT_EQ(flash.charX(65536), 58);
    EXPECT_EQ(flash.totalWidth(65536), 74);
}

TEST(HexLayout, HitTestingFindsTheByteAndNibble) {
    HexLayout flash(1, OffsetStyle::Zeros), eeprom(2, OffsetStyle::HexPrefix);
    struct Case {
        const HexLayout* layout;
        double x;
        HexHit::Area area;
        int column, nibble;
    };
    // FLASH hex column starts at cell 9, characters at 58; EEPROM (256 bytes) at 7 and 48.
    const Case cases[] = {
        {&flash, 3, HexHit::Offset, 0, 0},  {&flash, 7.5, HexHit::Hex, 0, 0},
        {&flash, 9.2, HexHit::Hex, 0, 0},   {&flash, 10.9, HexHit::Hex, 0, 1},
        {&flash, 11.5, HexHit::Hex, 1, 0},  {&flash, 55.5, HexHit::Hex, 15, 1},
        {&flash, 56.2, HexHit::Hex, 15, 1}, {&flash, 57.5, HexHit::Char, 0, 0},
        {&flash, 60.5, HexHit::Char, 2, 0}, {&flash, 200, HexHit::Char, 15, 0},
        {&eeprom, 10.5, HexHit::Hex, 1, 1}, {&eeprom, 11.5, HexHit::Hex, 2, 0},
        {&eeprom, 12.5, HexHit::Hex, 2, 0}, {&eeprom, 48.5, HexHit::Char, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        const std::size_t size = c.layout == &flash ? 65536 : 256;
        HexHit hit = c.layout->hitTest(c.x, size);
        EXPECT_EQ(hit.area, c.area);
        if (hit.area == HexHit::Offset) continue;
        EXPECT_EQ(hit.column, c.column);
        if (hit.area == HexHit::Hex) {
            EXPECT_EQ(hit.nibble, c.nibble);
        }
    }
}

}  // namespace
}  // namespace ostrel
