#pragma once
// The editable hex view of the FLASH and EEPROM pages: an offset column, a
// hexadecimal column and a character column over a HexDocument. It paints only
// the rows on screen and scrolls by rows, so a 64 MiB document (4 Mi rows)
// opens, scrolls and edits as fast as a small one.

#include <QAbstractScrollArea>
#include <QColor>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "buffers/hex_document.h"
#include "buffers/hex_layout.h"

namespace ostrel {

class HexView : public QAbstractScrollArea, private HexDocumentObserver {
    Q_OBJECT

  public:
    explicit HexView(QWidget* parent = nullptr);
    ~HexView() override;

    // Shows `document` (not owned); nullptr goes back to the view's own one.
    void setDocument(HexDocument* document);
    HexDocument& document() { return *doc_; }
    const HexDocument& document() const { return *doc_; }

    // The operations the buffers need, forwarded to the document.
    void LoadFromStream(const uint8_t* data, std::size_t count) {
        doc_->LoadFromStream(data, count);
    }
    bool Modified() const { return doc_->Modified(); }
    void setModified(bool modified) { doc_->setModified(modified); }
    std::size_t DataSize() const { return doc_->DataSize(); }
    void ReadBuffer(uint8_t* destination, std::size_t index, std::size_t count) const {
        doc_->ReadBuffer(destination, index, count);
    }

    // The two looks: FLASH (single bytes, "00" offsets, ruler) and EEPROM
    // (byte pairs, "0x" offsets, no ruler).
    void configureFlash();
    void configureEeprom();
    void setHexLayout(const HexLayout& layout);
    const HexLayout& hexLayout() const { return layout_; }
    void setRulerVisible(bool visible);
    bool rulerVisible() const { return ruler_; }

    std::size_t cursorAddress() const { return cursor_; }
    int cursorNibble() const { return nibble_; }
    bool inCharColumn() const { return charColumn_; }
    bool insertMode() const { return insertMode_; }
    // A read-only view moves its cursor but takes no edits (while a job uses
    // the buffer behind it).
    void setReadOnly(bool readOnly) { readOnly_ = readOnly; }
    bool isReadOnly() const { return readOnly_; }
    void setInsertMode(bool on);
    // Moves the cursor (cut to the document) and scrolls it into sight.
    void goToAddress(std::size_t address);
    // Ctrl+G: asks for a hexadecimal address.
    void showGoToDialog();

    // The selection: Shift with the cursor keys or a drag of the mouse, from
    // the byte where it began to the cursor's byte, both included.
    bool hasSelection() const { return hasSelection_; }
    std::size_t selectionStart() const;
    std::size_t selectionLength() const;
    // Selects `count` bytes from `offset`, the cursor on the first, and
    // scrolls them into sight (a found byte string).
    void selectBytes(std::size_t offset, std::size_t count);
    void clearSelection();
    // Ctrl+C: the selected bytes, or the byte under the cursor, as "EF 40 17".
    QString selectedHexText() const;
    void copySelection();
    // Ctrl+V: hex text written over the bytes from the cursor, cut at the end
    // of the view, marked as typed bytes are; one undo step. False (and a
    // note) for text without hex bytes; false for a read-only view.
    bool pasteHexText(const QString& text);
    void paste();
    // Ctrl+Z and Ctrl+Y go to the owner of the view's history (the buffers,
    // since a fill's undo reaches the buffer behind the view).
    std::function<bool(bool redo)> onUndo;
    void undo();
    void redo();

    // The language of the notes and of what a screen reader hears.
    void setLanguage(int language);
    int language() const { return language_; }
    // What the view's accessible interface tells: "Address 000010, byte EF",
    // and the text of the cursor's row as painted.
    QString accessibleCursorText() const;
    QString accessibleRowText() const;
    // Where the cursor sits in accessibleRowText(): its first hex digit, or
    // its character in the character column.
    int accessibleRowCursor() const;

    // The width in pixels one row of a document of `dataSize` bytes takes
    // (offsets, bytes and characters), and the width the view needs to show it
    // without scrolling sideways.
    int rowWidth(std::size_t dataSize) const;
    int wholeRowWidth(std::size_t dataSize) const;

    std::size_t firstVisibleRow() const;
    int visibleRows() const;
    // The rows the last paint read from the document: the first and how many.
    // However large the document, only the rows on screen are read.
    struct PaintedRows {
        std::size_t first = 0;
        std::size_t count = 0;
    };
    PaintedRows lastPaintedRows() const { return painted_; }
    int rowHeight() const { return rowHeight_; }
    int charWidth() const { return charWidth_; }

    // The colours of the view, fixed whatever the desktop theme.
    static const QColor kChangedText;        // maroon
    static const QColor kChangedBackground;  // light yellow
    static const QColor kEvenColumn;         // navy
    static const QColor kOddColumn;          // blue
    static const QColor kCursorFocused;      // navy
    static const QColor kCursorUnfocused;    // aqua

  signals:
    void cursorMoved(qulonglong address);
    // Something the user should read: a paste that was refused.
    void note(const QString& text);

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    void documentChanged(Change change) override;
    void documentDestroyed(HexDocument* document) override;

    void applyFont();
    void takeFontMetrics();
    void updateScrollBars();
    void ensureCursorVisible();
    void moveCursor(std::size_t address, bool keepNibble = false);
    std::size_t rowsShown() const;
    int headerHeight() const { return ruler_ ? rowHeight_ : 0; }
    bool typeHexDigit(int digit);
    bool typeCharacter(uint8_t byte);
    // The byte (and column) under a point of the viewport.
    std::size_t addressAtPoint(const QPoint& pos, HexHit* hit) const;
    bool handleEditKey(QKeyEvent* event);
    void tellAccessibility();

    HexDocument own_;
    HexDocument* doc_ = &own_;
    HexLayout layout_;
    bool ruler_ = true;
    std::size_t cursor_ = 0;
    int nibble_ = 0;
    bool charColumn_ = false;
    bool insertMode_ = false;
    bool readOnly_ = false;
    bool hasSelection_ = false;
    std::size_t anchor_ = 0;  // where the selection began
    int language_ = 0;
    int charWidth_ = 9;
    int rowHeight_ = 17;
    int ascent_ = 13;
    PaintedRows painted_;
};

}  // namespace ostrel
