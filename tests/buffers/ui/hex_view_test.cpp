#include "buffers/ui/hex_view.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <vector>

#include "base/messages.h"
#include "buffers/data_buffers.h"
#include "buffers/ui/fill_dialog.h"
#include "support/scripted_ui.h"

namespace ostrel {
namespace {

class HexViewTest : public ::testing::Test {
  protected:
    HexViewTest() {
        view.resize(700, 400);
        view.show();
        bytes.resize(64);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
        view.LoadFromStream(bytes.data(), bytes.size());
        view.setFocus();
    }
    std::vector<uint8_t> shown() const {
        std::vector<uint8_t> out(view.DataSize());
        view.ReadBuffer(out.data(), 0, out.size());
        return out;
    }
    // Where the middle of a byte's hex or character cell is drawn.
    QPoint cellCenter(std::size_t address, bool charColumn) const {
        const HexLayout& layout = view.hexLayout();
        const std::size_t size = view.DataSize();
        const int column = HexLayout::columnOf(address);
        const int cell = charColumn ? layout.charX(size) + column
                                    : layout.hexX(size) + layout.hexCellOffset(column);
        const int row = static_cast<int>(HexLayout::rowOf(address) - view.firstVisibleRow());
        const int header = view.rulerVisible() ? view.rowHeight() : 0;
        return {4 + cell * view.charWidth() + view.charWidth() / 2,
                header + row * view.rowHeight() + view.rowHeight() / 2};
    }

    HexView view;
    std::vector<uint8_t> bytes;
};

TEST_F(HexViewTest, TypingHexDigitsEditsNibbleByNibbleAndSetsModified) {
    EXPECT_FALSE(view.Modified());
    QTest::keyClicks(&view, "a5g3");  // "g" is no hex digit and is ignored

    std::vector<uint8_t> expected = bytes;
    expected[0] = 0xA5;
    expected[1] = 0x31;  // high nibble typed, low nibble kept
    EXPECT_EQ(shown(), expected);
    EXPECT_TRUE(view.Modified());
    EXPECT_EQ(view.cursorAddress(), 1u);
    EXPECT_EQ(view.cursorNibble(), 1);
    EXPECT_TRUE(view.document().isChanged(0));
    EXPECT_TRUE(view.document().isChanged(1));
    EXPECT_FALSE(view.document().isChanged(2));

    view.setModified(false);
    EXPECT_FALSE(view.Modified());
    view.LoadFromStream(bytes.data(), bytes.size());
    EXPECT_EQ(view.document().changedCount(), 0u);
    EXPECT_EQ(view.cursorAddress(), 0u);
}

TEST_F(HexViewTest, CharacterColumnInsertAndDelete) {
    QTest::keyClick(&view, Qt::Key_Tab);
    ASSERT_TRUE(view.inCharColumn());
    QTest::keyClicks(&view, "Hi");
    EXPECT_EQ(view.document().byteAt(0), 'H');
    EXPECT_EQ(view.document().byteAt(1), 'i');
    EXPECT_EQ(view.DataSize(), 64u);

    QTest::keyClick(&view, Qt::Key_Insert);
    ASSERT_TRUE(view.insertMode());
    QTest::keyClicks(&view, "!");
    EXPECT_EQ(view.DataSize(), 65u);
    EXPECT_EQ(view.document().byteAt(2), '!');
    EXPECT_EQ(view.document().byteAt(3), 2);

    QTest::keyClick(&view, Qt::Key_Tab);  // back to hex: insert makes a new byte
    QTest::keyClicks(&view, "7");
    EXPECT_EQ(view.DataSize(), 66u);
    EXPECT_EQ(view.document().byteAt(3), 0x70);

    QTest::keyClick(&view, Qt::Key_Delete);  // the byte under the cursor (the new 0x70)
    EXPECT_EQ(view.DataSize(), 65u);
    EXPECT_EQ(view.document().byteAt(3), 2);
    QTest::keyClick(&view, Qt::Key_Backspace);  // the byte before it ('!')
    EXPECT_EQ(view.DataSize(), 64u);
    EXPECT_EQ(view.document().byteAt(2), 2);
    EXPECT_EQ(view.cursorAddress(), 2u);
}

TEST_F(HexViewTest, CursorKeys) {
    struct Step {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::size_t address;
    };
    const Step steps[] = {
        {Qt::Key_Right, Qt::NoModifier, 1},     {Qt::Key_Down, Qt::NoModifier, 17},
        {Qt::Key_End, Qt::NoModifier, 31},      {Qt::Key_Home, Qt::NoModifier, 16},
        {Qt::Key_Up, Qt::NoModifier, 0},        {Qt::Key_Up, Qt::NoModifier, 0},
        {Qt::Key_Left, Qt::NoModifier, 0},      {Qt::Key_End, Qt::ControlModifier, 63},
        {Qt::Key_Home, Qt::ControlModifier, 0}, {Qt::Key_PageDown, Qt::NoModifier, 63},
        {Qt::Key_PageUp, Qt::NoModifier, 15},
    };
    QSignalSpy moves(&view, &HexView::cursorMoved);
    for (const Step& s : steps) {
        QTest::keyClick(&view, s.key, s.modifiers);
        EXPECT_EQ(view.cursorAddress(), s.address) << QTest::toString(s.key);
    }
    EXPECT_GE(moves.count(), 8);
    EXPECT_EQ(moves.last().at(0).toULongLong(), 15u);
}

TEST_F(HexViewTest, MouseClickPlacesTheCursorInEitherColumn) {
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, cellCenter(0x12, false));
    EXPECT_EQ(view.cursorAddress(), 0x12u);
    EXPECT_FALSE(view.inCharColumn());
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, cellCenter(0x2F, true));
    EXPECT_EQ(view.cursorAddress(), 0x2Fu);
    EXPECT_TRUE(view.inCharColumn());
}

// Selecting with Shift and the mouse, copying as hex text, pasting it back
// (cut at the end of the view, one undo step through the buffers), and what a
// screen reader is told at the cursor.
TEST_F(HexViewTest, SelectCopyPasteUndoAndTheAccessibleCursor) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    QTest::keyClick(&view, Qt::Key_Right);  // cursor on 01
    QTest::keyClick(&view, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(&view, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(view.selectionStart(), 1u);
    EXPECT_EQ(view.selectionLength(), 3u);
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), "01 02 03");
    // A drag selects from the press to the release, backwards too.
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, cellCenter(0x21, false));
    QMouseEvent drag(QEvent::MouseMove, cellCenter(0x1E, false),
                     view.viewport()->mapToGlobal(cellCenter(0x1E, false)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &drag);
    EXPECT_EQ(view.selectedHexText(), "1E 1F 20 21");

    DataBuffers buffers;  // the history's owner, as the window's buffers are
    view.setDocument(&buffers.flashView());
    buffers.flashView().LoadFromStream(bytes.data(), bytes.size());
    view.onUndo = [&](bool redo) {
        return redo ? buffers.redo(view.document()) : buffers.undo(view.document());
    };
    view.goToAddress(0x3E);
    clipboard->setText("EF 40 17");
    QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(view.DataSize(), 64u);  // the 17 fell off the end
    EXPECT_EQ(view.document().byteAt(0x3E), 0xEF);
    EXPECT_EQ(view.document().byteAt(0x3F), 0x40);
    EXPECT_TRUE(view.document().isChanged(0x3F));
    EXPECT_TRUE(view.Modified());
    QSignalSpy notes(&view, &HexView::note);
    EXPECT_FALSE(view.pasteHexText("EF 4"));
    EXPECT_EQ(notes.count(), 1);
    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(view.document().byteAt(0x3E), 0x3E);
    EXPECT_EQ(view.document().byteAt(0x3F), 0x3F);
    QTest::keyClick(&view, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(view.document().byteAt(0x3F), 0x40);
    view.setReadOnly(true);  // a job holds the buffers: nothing changes
    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(view.document().byteAt(0x3F), 0x40);
    view.setReadOnly(false);

    view.goToAddress(0x12);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&view);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::EditableText);
    struct Said {
        int language;
        const char* name;
        const char* value;
    } said[] = {
        {2, "Hex view", "Address 12, byte 12"},
        {0, "十六进制视图", "地址 12，字节 12"},
    };
    for (const Said& s : said) {
        view.setLanguage(s.language);
        EXPECT_EQ(accessible->text(QAccessible::Name), QString::fromUtf8(s.name));
        EXPECT_EQ(accessible->text(QAccessible::Value), QString::fromUtf8(s.value));
    }
    QAccessibleTextInterface* row = accessible->textInterface();
    ASSERT_NE(row, nullptr);
    const QString rowText = row->text(0, row->characterCount());
    EXPECT_EQ(rowText, "0010  10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F  ................");
    EXPECT_EQ(rowText.mid(row->cursorPosition(), 2), "12");
}

TEST(HexViewLarge, SixtyFourMebibytesScrollByRows) {
    DataBuffers buffers;
    HexView view;
    view.resize(700, 400);
    view.show();
    view.setDocument(&buffers.flashView());
    buffers.ShowFlash(kFlashBufferSize);

    ASSERT_EQ(view.DataSize(), kFlashBufferSize);
    const int rows = view.visibleRows();
    EXPECT_EQ(view.verticalScrollBar()->maximum(), 0x400000 - rows);
    QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(view.cursorAddress(), kFlashBufferSize - 1);
    EXPECT_EQ(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());
    view.grab();
    EXPECT_EQ(view.lastPaintedRows().first, 0x400000u - static_cast<std::size_t>(rows));
    EXPECT_EQ(view.lastPaintedRows().count, static_cast<std::size_t>(rows))
        << "the last rows, and only they, are read";
    QTest::keyClicks(&view, "00");
    EXPECT_EQ(buffers.flashView().byteAt(kFlashBufferSize - 1), 0);

    // A reload through the buffers goes back to the top.
    buffers.ShowFlash(65536);
    EXPECT_EQ(view.DataSize(), 65536u);
    EXPECT_EQ(view.cursorAddress(), 0u);
    EXPECT_EQ(view.verticalScrollBar()->value(), 0);
}

TEST(HexViewDocument, SurvivesItsDocumentGoingAway) {
    HexView view;
    {
        HexDocument doc;
        const uint8_t data[3] = {1, 2, 3};
        doc.LoadFromStream(data, 3);
        view.setDocument(&doc);
        EXPECT_EQ(view.DataSize(), 3u);
        view.grab();
        EXPECT_EQ(view.lastPaintedRows().count, 1u);
    }
    EXPECT_EQ(view.DataSize(), 0u);
    view.grab();
    EXPECT_EQ(view.lastPaintedRows().count, 0u) << "nothing is read from a document that is gone";
}

class FillDialogTest : public ::testing::Test {
  protected:
    DataBuffers buffers;
    testing::ScriptedUi ui;
    TForm4 form{buffers, ui};
};

TEST_F(FillDialogTest, EachOpeningResetsOnlyTheEndAddress) {
    EXPECT_EQ(form.size(), QSize(340, 286));
    QTimer::singleShot(0, &form, [this] {
        EXPECT_EQ(form.Edit4->text(), "FFFFF");
        form.Edit4->setText("123");
        form.Edit3->setText("10");
        form.RadioButton2->setChecked(true);
        form.BitBtn2->click();
    });
    EXPECT_EQ(form.showForChip(1048576), QDialog::Rejected);

    form.prepareForChip(1048576);
    EXPECT_EQ(form.Edit4->text(), "FFFFF");
    EXPECT_EQ(form.Edit3->text(), "10");
    EXPECT_TRUE(form.RadioButton2->isChecked());
    EXPECT_EQ(buffers.flash()[0x10], 0xFF);  // cancelling filled nothing
}

TEST_F(FillDialogTest, EditsTakeOnlyHexDigitsInUpperCase) {
    form.Edit3->clear();
    QTest::keyClicks(form.Edit3, "1g a-fZ9");
    EXPECT_EQ(form.Edit3->text(), "1AF9");
    QTest::keyClick(form.Edit3, Qt::Key_Backspace);
    EXPECT_EQ(form.Edit3->text(), "1AF");
    // Delete as X11 delivers it, with the text "\x7f".
    form.Edit3->setCursorPosition(0);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QString(QChar(0x7F)));
    QApplication::sendEvent(form.Edit3, &del);
    EXPECT_EQ(form.Edit3->text(), "AF");
    form.Edit1->clear();
    QTest::keyClicks(form.Edit1, "abc");
    EXPECT_EQ(form.Edit1->text(), "AB");
    form.Edit2->clear();
    QTest::keyClicks(form.Edit2, "12345");
    EXPECT_EQ(form.Edit2->text(), "1234");
}

TEST_F(FillDialogTest, OkFillsAndStaysOpenAndBadTextFillsNothing) {
    form.prepareForChip(65536);
    form.show();
    QSignalSpy filled(&form, &TForm4::filled);
    form.Edit1->setText("00");
    form.Edit3->setText("0");
    form.Edit4->setText("FF");
    form.BitBtn1->click();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(filled.count(), 1);
    EXPECT_EQ(buffers.flash()[0xFF], 0);
    EXPECT_EQ(buffers.flashDataLength, 256);
    EXPECT_EQ(buffers.flashView().DataSize(), 65536u);

    form.Edit2->clear();
    form.Edit1->setText("11");
    form.BitBtn1->click();
    EXPECT_EQ(filled.count(), 1);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "'0x' is not a valid integer value");
    EXPECT_EQ(buffers.flash()[0], 0);
}

TEST_F(FillDialogTest, CaptionsFollowTheLanguage) {
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8("填充"));
    form.setCaptions(LangEnglish);
    EXPECT_EQ(form.windowTitle(), "Fill");
    EXPECT_EQ(form.RadioButton2->text(), "Word(16bits)");
    EXPECT_EQ(form.BitBtn2->text(), "Cance");
    form.setCaptions(7);  // not a language: nothing changes
    EXPECT_EQ(form.windowTitle(), "Fill");
    form.setCaptions(LangTraditional);
    EXPECT_EQ(form.RadioButton3->text(), QString::fromUtf8("隨機"));
}

}  // namespace
}  // namespace ostrel
