#include "buffers/ui/hex_view.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include "base/texts.h"
#include "buffers/byte_search.h"
#include "buffers/range_edit.h"

namespace ostrel {

const QColor HexView::kChangedText(0x80, 0x00, 0x00);
const QColor HexView::kChangedBackground(255, 255, 168);
const QColor HexView::kEvenColumn(0x00, 0x00, 0x80);
const QColor HexView::kOddColumn(0x00, 0x00, 0xFF);
const QColor HexView::kCursorFocused(0x00, 0x00, 0x80);
const QColor HexView::kCursorUnfocused(0x00, 0xFF, 0xFF);

namespace {

// Space left of the offsets, in pixels.
constexpr int kMargin = 4;

const char kHexDigits[] = "0123456789ABCDEF";

// The selection's background in both columns.
const QColor kSelection(0xB0, 0xD0, 0xFF);

// What a screen reader reaches over AT-SPI: an editable text whose text is
// the cursor's row, with the caret on the cursor's byte, whose name is the
// view and whose value is the cursor's address and byte.
class HexViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
  public:
    explicit HexViewAccessible(HexView* view)
        : QAccessibleWidget(view, QAccessible::EditableText) {}

    HexView* view() const { return static_cast<HexView*>(widget()); }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override {
        switch (t) {
            case QAccessible::Name:
                return QString::fromStdString(
                    programText(Txt::AccessibleHexView, view()->language()));
            case QAccessible::Value:
                return view()->accessibleCursorText();
            case QAccessible::Description:
                return view()->accessibleRowText();
            default:
                return QAccessibleWidget::text(t);
        }
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = !view()->isReadOnly();
        s.readOnly = view()->isReadOnly();
        s.multiLine = false;
        return s;
    }

    // QAccessibleTextInterface, over the cursor's row.
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return view()->accessibleRowCursor(); }
    void setCursorPosition(int) override {}
    QString text(int start, int end) const override {
        return view()->accessibleRowText().mid(start, end - start);
    }
    int characterCount() const override { return view()->accessibleRowText().size(); }
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* start, int* end) const override {
        *start = offset;
        *end = offset;
        return QString();
    }
};

QAccessibleInterface* hexViewAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("ostrel::HexView") && object && object->isWidgetType())
        return new HexViewAccessible(static_cast<HexView*>(object));
    return nullptr;
}

}  // namespace

HexView::HexView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    own_.setObserver(this);
    applyFont();
    configureFlash();
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(hexViewAccessible);
        return true;
    }();
    (void)factoryInstalled;
}

HexView::~HexView() {
    if (doc_) doc_->setObserver(nullptr);
}

void HexView::setDocument(HexDocument* document) {
    if (!document) document = &own_;
    if (document == doc_) return;
    doc_->setObserver(nullptr);
    doc_ = document;
    doc_->setObserver(this);
    documentChanged(Change::Reloaded);
}

void HexView::documentChanged(Change change) {
    if (change == Change::Reloaded) {
        cursor_ = 0;
        nibble_ = 0;
        hasSelection_ = false;
        verticalScrollBar()->setValue(0);
        emit cursorMoved(0);
    } else {
        cursor_ = std::min(cursor_, doc_->DataSize());
        anchor_ = std::min(anchor_, doc_->DataSize());
    }
    updateScrollBars();
    viewport()->update();
}

void HexView::documentDestroyed(HexDocument* document) {
    if (document != doc_ || doc_ == &own_) return;
    doc_ = &own_;
    own_.setObserver(this);
    documentChanged(Change::Reloaded);
}

void HexView::configureFlash() {
    setHexLayout(HexLayout(1, OffsetStyle::Zeros));
    setRulerVisible(true);
}

void HexView::configureEeprom() {
    setHexLayout(HexLayout(2, OffsetStyle::HexPrefix));
    setRulerVisible(false);
}

void HexView::setHexLayout(const HexLayout& layout) {
    layout_ = layout;
    updateScrollBars();
    viewport()->update();
}

void HexView::setRulerVisible(bool visible) {
    ruler_ = visible;
    updateScrollBars();
    viewport()->update();
}

void HexView::setInsertMode(bool on) {
    insertMode_ = on;
    viewport()->update();
}

void HexView::applyFont() {
    QFont wanted(QStringLiteral("Courier New"));
    wanted.setPixelSize(15);
    wanted.setStyleHint(QFont::TypeWriter);
    wanted.setFixedPitch(true);
    // Without Courier New the matcher may still pick a proportional family;
    // a hex view must line up, so take the system's fixed font then.
    if (!QFontInfo(wanted).fixedPitch()) {
        wanted = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        wanted.setPixelSize(15);
    }
    setFont(wanted);
    takeFontMetrics();
}

void HexView::takeFontMetrics() {
    const QFontMetrics metrics(font());
    charWidth_ = std::max(1, metrics.horizontalAdvance(QLatin1Char('0')));
    rowHeight_ = std::max(1, metrics.height() + 1);
    ascent_ = metrics.ascent();
}

void HexView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        takeFontMetrics();
        updateScrollBars();
    }
    QAbstractScrollArea::changeEvent(event);
}

std::size_t HexView::rowsShown() const {
    // The append position gets a row of its own only while the cursor is there.
    return HexLayout::rowCount(std::max(doc_->DataSize(), cursor_ + 1));
}

int HexView::visibleRows() const {
    return std::max(1, (viewport()->height() - headerHeight()) / rowHeight_);
}

std::size_t HexView::firstVisibleRow() const {
    return static_cast<std::size_t>(verticalScrollBar()->value());
}

void HexView::updateScrollBars() {
    // 64 MiB is 4 Mi rows: the bar counts rows, which keeps it far inside int.
    const int page = visibleRows();
    const auto rows = static_cast<long long>(rowsShown());
    QScrollBar* vertical = verticalScrollBar();
    vertical->setRange(0, static_cast<int>(std::max(0LL, rows - page)));
    vertical->setPageStep(page);
    vertical->setSingleStep(1);

    const int width = rowWidth(doc_->DataSize());
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setRange(0, std::max(0, width - viewport()->width()));
    horizontal->setPageStep(viewport()->width());
    horizontal->setSingleStep(charWidth_);
}

int HexView::rowWidth(std::size_t dataSize) const {
    return kMargin + layout_.totalWidth(dataSize) * charWidth_ + charWidth_;
}

int HexView::wholeRowWidth(std::size_t dataSize) const {
    return rowWidth(dataSize) + verticalScrollBar()->sizeHint().width() + 2 * frameWidth();
}

void HexView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void HexView::scrollContentsBy(int, int) {
    viewport()->update();
}

void HexView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void HexView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

// Tab switches between the hex and the character column instead of leaving.
bool HexView::focusNextPrevChild(bool) {
    return false;
}

void HexView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const QRect area = viewport()->rect();
    painter.fillRect(area, Qt::white);
    painter.setFont(font());

    const std::size_t size = doc_->DataSize();
    const int cw = charWidth_;
    const int left = kMargin - horizontalScrollBar()->value();
    const int header = headerHeight();
    const int hexLeft = left + layout_.hexX(size) * cw;
    const int charLeft = left + layout_.charX(size) * cw;
    const QColor face = palette().color(QPalette::Button);
    const std::size_t selFirst = hasSelection_ ? selectionStart() : 1;
    const std::size_t selEnd = hasSelection_ ? selFirst + selectionLength() : 0;

    // The offset column on the button face, over the full height.
    const int offsetRight = left + (layout_.offsetWidth(size) + 1) * cw;
    painter.fillRect(QRect(0, 0, std::max(0, offsetRight), area.height()), face);

    const std::size_t first = firstVisibleRow();
    const std::size_t rows = rowsShown();
    const int shown = visibleRows() + 1;  // a partly visible row at the bottom
    char hex[3] = {0, 0, 0};
    painted_ = {first, 0};
    for (int r = 0; r < shown && first + static_cast<std::size_t>(r) < rows; ++r) {
        const std::size_t row = first + static_cast<std::size_t>(r);
        const int top = header + r * rowHeight_;
        const int baseline = top + ascent_;
        painter.setPen(Qt::black);
        painter.drawText(
            left, baseline,
            QString::fromStdString(layout_.offsetText(row * HexLayout::kBytesPerRow, size)));
        for (int column = 0; column < HexLayout::kBytesPerRow; ++column) {
            const std::size_t address = HexLayout::addressAt(row, column);
            if (address >= size) break;
            if (column == 0) ++painted_.count;
            const uint8_t byte = doc_->byteAt(address);
            const int hexX = hexLeft + layout_.hexCellOffset(column) * cw;
            const int charX = charLeft + column * cw;
            QColor pen = (layout_.groupOf(column) % 2) ? kOddColumn : kEvenColumn;
            if (doc_->isChanged(address)) {
                painter.fillRect(QRect(hexX, top, 2 * cw, rowHeight_), kChangedBackground);
                painter.fillRect(QRect(charX, top, cw, rowHeight_), kChangedBackground);
                pen = kChangedText;
            }
            if (address >= selFirst && address < selEnd) {
                // The blank after a selected byte is selected too, unless the row ends there.
                const int gapAfter =
                    address + 1 < selEnd && column + 1 < HexLayout::kBytesPerRow
                        ? (layout_.hexCellOffset(column + 1) - layout_.hexCellOffset(column) - 2) *
                              cw
                        : 0;
                painter.fillRect(QRect(hexX, top, 2 * cw + gapAfter, rowHeight_), kSelection);
                painter.fillRect(QRect(charX, top, cw, rowHeight_), kSelection);
            }
            painter.setPen(pen);
            hex[0] = kHexDigits[byte >> 4];
            hex[1] = kHexDigits[byte & 0x0F];
            painter.drawText(hexX, baseline, QLatin1String(hex, 2));
            const char shownChar = (byte >= 0x20 && byte < 0x7F) ? static_cast<char>(byte) : '.';
            painter.drawText(charX, baseline, QString(QLatin1Char(shownChar)));
        }
    }

    if (ruler_) {
        painter.fillRect(QRect(0, 0, area.width(), header), face);
        painter.setPen(Qt::black);
        for (int column = 0; column < HexLayout::kBytesPerRow; ++column) {
            painter.drawText(hexLeft + layout_.hexCellOffset(column) * cw, ascent_,
                             QString::fromStdString(HexLayout::rulerHexLabel(column)));
        }
        painter.drawText(charLeft, ascent_, QString::fromStdString(HexLayout::rulerCharLabels()));
        painter.setPen(face.darker(130));
        painter.drawLine(0, header - 1, area.width(), header - 1);
    }

    // The cursor: a frame in the column being typed into, a dotted one in the other.
    const std::size_t cursorRow = HexLayout::rowOf(cursor_);
    if (cursorRow >= first && cursorRow < first + static_cast<std::size_t>(shown)) {
        const int top = header + static_cast<int>(cursorRow - first) * rowHeight_;
        const int column = HexLayout::columnOf(cursor_);
        const QColor frame = hasFocus() ? kCursorFocused : kCursorUnfocused;
        QRect hexCell(hexLeft + layout_.hexCellOffset(column) * cw, top, 2 * cw, rowHeight_);
        QRect charCell(charLeft + column * cw, top, cw, rowHeight_);
        if (!charColumn_ && !insertMode_) {
            // The digit being typed gets the frame.
            hexCell = QRect(hexCell.left() + nibble_ * cw, top, cw, rowHeight_);
        }
        QRect& active = charColumn_ ? charCell : hexCell;
        QRect& passive = charColumn_ ? hexCell : charCell;
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(frame, 1, Qt::DotLine));
        painter.drawRect(passive.adjusted(0, 0, -1, -1));
        painter.setPen(QPen(frame, 2));
        if (insertMode_) {
            painter.drawLine(active.left() + 1, active.top(), active.left() + 1, active.bottom());
        } else {
            painter.drawRect(active.adjusted(1, 1, -1, -1));
        }
    }
}

void HexView::moveCursor(std::size_t address, bool keepNibble) {
    address = std::min(address, doc_->DataSize());
    const bool moved = address != cursor_;
    cursor_ = address;
    if (!keepNibble) nibble_ = 0;
    updateScrollBars();
    ensureCursorVisible();
    viewport()->update();
    if (moved) {
        emit cursorMoved(static_cast<qulonglong>(cursor_));
        tellAccessibility();
    }
}

void HexView::goToAddress(std::size_t address) {
    moveCursor(address);
}

void HexView::ensureCursorVisible() {
    const std::size_t row = HexLayout::rowOf(cursor_);
    const std::size_t first = firstVisibleRow();
    const auto page = static_cast<std::size_t>(visibleRows());
    QScrollBar* vertical = verticalScrollBar();
    if (row < first) {
        vertical->setValue(static_cast<int>(row));
    } else if (row >= first + page) {
        vertical->setValue(static_cast<int>(row - page + 1));
    }

    const std::size_t size = doc_->DataSize();
    const int column = HexLayout::columnOf(cursor_);
    const int cell = charColumn_ ? layout_.charX(size) + column
                                 : layout_.hexX(size) + layout_.hexCellOffset(column);
    const int x = kMargin + cell * charWidth_;
    QScrollBar* horizontal = horizontalScrollBar();
    if (x < horizontal->value()) {
        horizontal->setValue(x - kMargin);
    } else if (x + 2 * charWidth_ > horizontal->value() + viewport()->width()) {
        horizontal->setValue(x + 2 * charWidth_ - viewport()->width());
    }
}

void HexView::showGoToDialog() {
    if (doc_->DataSize() == 0) return;
    bool ok = false;
    const QString text = QInputDialog::getText(
        this, QString::fromStdString(programText(Txt::GoToTitle, language_)),
        QString::fromStdString(fillIn(programText(Txt::GoToPrompt, language_),
                                      {hexText(static_cast<uint32_t>(doc_->DataSize() - 1))})),
        QLineEdit::Normal, QString::number(cursor_, 16).toUpper(), &ok);
    if (!ok) return;
    const auto target = goToTarget(text.toStdString(), doc_->DataSize());
    if (!target) {
        QApplication::beep();
        emit note(QString::fromStdString(programText(Txt::GoToRefused, language_)));
        return;
    }
    hasSelection_ = false;
    goToAddress(*target);
}

bool HexView::typeHexDigit(int digit) {
    const auto d = static_cast<uint8_t>(digit);
    const bool append = cursor_ >= doc_->DataSize();
    if (nibble_ == 0) {
        if (insertMode_ || append) {
            doc_->insert(cursor_, static_cast<uint8_t>(d << 4));
        } else {
            doc_->overwrite(cursor_,
                            static_cast<uint8_t>((doc_->byteAt(cursor_) & 0x0F) | (d << 4)));
        }
        nibble_ = 1;
        moveCursor(cursor_, true);
        return true;
    }
    if (append) return false;
    doc_->overwrite(cursor_, static_cast<uint8_t>((doc_->byteAt(cursor_) & 0xF0) | d));
    moveCursor(cursor_ + 1);
    return true;
}

bool HexView::typeCharacter(uint8_t byte) {
    if (insertMode_ || cursor_ >= doc_->DataSize()) {
        doc_->insert(cursor_, byte);
    } else {
        doc_->overwrite(cursor_, byte);
    }
    moveCursor(cursor_ + 1);
    return true;
}

bool HexView::event(QEvent* event) {
    // The view's own editing keys win over the window's shortcuts while it has the focus.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Paste) ||
            key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo) ||
            (key->key() == Qt::Key_Y && key->modifiers() == Qt::ControlModifier)) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

bool HexView::handleEditKey(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        copySelection();
    } else if (event->matches(QKeySequence::Paste)) {
        paste();
    } else if (event->matches(QKeySequence::Undo)) {
        undo();
    } else if (event->matches(QKeySequence::Redo) ||
               (event->key() == Qt::Key_Y && event->modifiers() == Qt::ControlModifier)) {
        redo();
    } else {
        return false;
    }
    return true;
}

void HexView::keyPressEvent(QKeyEvent* event) {
    if (handleEditKey(event)) return;
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            // Shift extends the selection from where the cursor was; any
            // other move ends it.
            if (event->modifiers() & Qt::ShiftModifier) {
                if (!hasSelection_) {
                    hasSelection_ = true;
                    anchor_ = cursor_;
                }
            } else {
                hasSelection_ = false;
            }
            viewport()->update();
            break;
        default:
            break;
    }
    const std::size_t size = doc_->DataSize();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const std::size_t row = HexLayout::rowOf(cursor_) * HexLayout::kBytesPerRow;
    const std::size_t page = static_cast<std::size_t>(visibleRows()) * HexLayout::kBytesPerRow;
    const std::size_t last = size ? size - 1 : 0;
    switch (event->key()) {
        case Qt::Key_Left:
            if (cursor_ > 0) moveCursor(cursor_ - 1);
            return;
        case Qt::Key_Right:
            moveCursor(cursor_ + 1);
            return;
        case Qt::Key_Up:
            if (cursor_ >= HexLayout::kBytesPerRow) moveCursor(cursor_ - HexLayout::kBytesPerRow);
            return;
        case Qt::Key_Down:
            if (cursor_ + HexLayout::kBytesPerRow <= size)
                moveCursor(cursor_ + HexLayout::kBytesPerRow);
            return;
        case Qt::Key_Home:
            moveCursor(ctrl ? 0 : row);
            return;
        case Qt::Key_End:
            moveCursor(ctrl ? last : std::min(row + HexLayout::kBytesPerRow - 1, last));
            return;
        case Qt::Key_PageUp: {
            const int rows = visibleRows();
            verticalScrollBar()->setValue(verticalScrollBar()->value() - rows);
            moveCursor(cursor_ >= page ? cursor_ - page : cursor_ % HexLayout::kBytesPerRow);
            return;
        }
        case Qt::Key_PageDown: {
            const int rows = visibleRows();
            verticalScrollBar()->setValue(verticalScrollBar()->value() + rows);
            moveCursor(cursor_ + page <= size ? cursor_ + page : last);
            return;
        }
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            if (ctrl) {
                QAbstractScrollArea::focusNextPrevChild(event->key() == Qt::Key_Tab);
                return;
            }
            charColumn_ = !charColumn_;
            nibble_ = 0;
            ensureCursorVisible();
            viewport()->update();
            return;
        case Qt::Key_Insert:
            setInsertMode(!insertMode_);
            return;
        case Qt::Key_Delete:
            if (cursor_ < size && !readOnly_) {
                doc_->remove(cursor_, 1);
                moveCursor(cursor_);
            }
            return;
        case Qt::Key_Backspace:
            if (cursor_ > 0 && !readOnly_) {
                doc_->remove(cursor_ - 1, 1);
                moveCursor(cursor_ - 1);
            }
            return;
        case Qt::Key_G:
            if (ctrl) {
                showGoToDialog();
                return;
            }
            break;
        default:
            break;
    }
    const QString text = event->text();
    if (!ctrl && text.size() == 1 && !readOnly_) {
        const QChar c = text.at(0);
        hasSelection_ = false;
        if (charColumn_) {
            if (c.unicode() >= 0x20 && c.unicode() <= 0xFF && c.unicode() != 0x7F) {
                typeCharacter(static_cast<uint8_t>(c.unicode()));
                return;
            }
        } else if (const int digit = hexDigitValue(c.unicode()); digit >= 0) {
            typeHexDigit(digit);
            return;
        }
    }
    QAbstractScrollArea::keyPressEvent(event);
}

std::size_t HexView::addressAtPoint(const QPoint& pos, HexHit* hit) const {
    const std::size_t size = doc_->DataSize();
    const double cellX =
        static_cast<double>(pos.x() + horizontalScrollBar()->value() - kMargin) / charWidth_;
    const int y = std::max(0, pos.y() - headerHeight());
    const std::size_t row = firstVisibleRow() + static_cast<std::size_t>(y / rowHeight_);
    *hit = layout_.hitTest(cellX, size);
    return std::min(HexLayout::addressAt(row, hit->area == HexHit::Offset ? 0 : hit->column), size);
}

void HexView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    const QPoint pos = event->position().toPoint();
    if (event->button() != Qt::LeftButton || pos.y() < headerHeight()) return;
    HexHit hit;
    const std::size_t address = addressAtPoint(pos, &hit);
    charColumn_ = hit.area == HexHit::Char;
    // Shift+click extends the selection; a plain click starts a new one.
    if (event->modifiers() & Qt::ShiftModifier) {
        if (!hasSelection_) anchor_ = cursor_;
        hasSelection_ = true;
    } else {
        hasSelection_ = false;
        anchor_ = address;
    }
    moveCursor(address);
    if (hit.area == HexHit::Hex && address < doc_->DataSize()) nibble_ = hit.nibble;
    viewport()->update();
}

// Dragging with the left button selects from where the press was.
void HexView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    HexHit hit;
    const std::size_t address = std::min(addressAtPoint(event->position().toPoint(), &hit),
                                         doc_->DataSize() ? doc_->DataSize() - 1 : 0);
    if (address != anchor_) hasSelection_ = true;
    moveCursor(address);
    viewport()->update();
}

// The press did all the work; taking the release keeps it from reaching the parent.
void HexView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

std::size_t HexView::selectionStart() const {
    return hasSelection_ ? std::min(anchor_, cursor_) : cursor_;
}

std::size_t HexView::selectionLength() const {
    const std::size_t size = doc_->DataSize();
    const std::size_t first = selectionStart();
    if (first >= size) return 0;
    const std::size_t last = hasSelection_ ? std::min(std::max(anchor_, cursor_), size - 1) : first;
    return last - first + 1;
}

void HexView::selectBytes(std::size_t offset, std::size_t count) {
    const std::size_t size = doc_->DataSize();
    if (offset >= size || count == 0) return;
    const std::size_t last = std::min(offset + count, size) - 1;
    // The far end first, so that both ends come into sight, the start last.
    moveCursor(last);
    anchor_ = last;
    hasSelection_ = true;
    moveCursor(offset);
    viewport()->update();
}

void HexView::clearSelection() {
    hasSelection_ = false;
    viewport()->update();
}

QString HexView::selectedHexText() const {
    const std::size_t length = selectionLength();
    if (length == 0) return QString();
    return QString::fromStdString(hexBytesText(doc_->data() + selectionStart(), length));
}

void HexView::copySelection() {
    const QString text = selectedHexText();
    if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
}

bool HexView::pasteHexText(const QString& text) {
    if (readOnly_) return false;
    const auto bytes = parseHexBytes(text.toStdString());
    if (!bytes) {
        QApplication::beep();
        emit note(QString::fromStdString(programText(Txt::PasteNotHex, language_)));
        return false;
    }
    const std::size_t written = doc_->writeBytes(cursor_, bytes->data(), bytes->size());
    hasSelection_ = false;
    moveCursor(cursor_ + written);
    return written > 0;
}

void HexView::paste() {
    pasteHexText(QGuiApplication::clipboard()->text());
}

void HexView::undo() {
    if (!readOnly_ && onUndo && onUndo(false)) moveCursor(cursor_);
}

void HexView::redo() {
    if (!readOnly_ && onUndo && onUndo(true)) moveCursor(cursor_);
}

void HexView::setLanguage(int language) {
    language_ = language;
}

QString HexView::accessibleCursorText() const {
    const std::size_t size = doc_->DataSize();
    const std::string address = hexText(static_cast<uint32_t>(cursor_));
    const std::string byte = cursor_ < size ? hexBytesText(doc_->data() + cursor_, 1) : "--";
    return QString::fromStdString(
        fillIn(programText(Txt::AccessibleCursor, language_), {address, byte}));
}

QString HexView::accessibleRowText() const {
    const std::size_t size = doc_->DataSize();
    const std::size_t first = HexLayout::rowOf(cursor_) * HexLayout::kBytesPerRow;
    const int count =
        first < size
            ? static_cast<int>(std::min<std::size_t>(HexLayout::kBytesPerRow, size - first))
            : 0;
    return QString::fromStdString(
        layout_.rowText(first, count ? doc_->data() + first : nullptr, count, size));
}

int HexView::accessibleRowCursor() const {
    const std::size_t size = doc_->DataSize();
    const int column = HexLayout::columnOf(cursor_);
    if (charColumn_) return layout_.charX(size) + column;
    return layout_.hexX(size) + layout_.hexCellOffset(column) + nibble_;
}

void HexView::tellAccessibility() {
    if (!QAccessible::isActive()) return;
    QAccessibleValueChangeEvent value(this, accessibleCursorText());
    QAccessible::updateAccessibility(&value);
    QAccessibleTextCursorEvent caret(this, accessibleRowCursor());
    QAccessible::updateAccessibility(&caret);
}

}  // namespace ostrel
