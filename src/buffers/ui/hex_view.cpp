#include "buffers/ui/hex_view.h"

#include <QApplication>
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

}  // namespace

HexView::HexView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    own_.setObserver(this);
    applyFont();
    configureFlash();
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
        verticalScrollBar()->setValue(0);
        emit cursorMoved(0);
    } else {
        cursor_ = std::min(cursor_, doc_->DataSize());
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
    if (moved) emit cursorMoved(static_cast<qulonglong>(cursor_));
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
    bool ok = false;
    const QString text =
        QInputDialog::getText(this, tr("Go to"), tr("Address (hex):"), QLineEdit::Normal,
                              QString::number(cursor_, 16).toUpper(), &ok);
    if (!ok) return;
    const auto value = hexTextToInt(text.trimmed().toStdString());
    if (!value || *value < 0 || static_cast<std::size_t>(*value) > doc_->DataSize()) {
        QApplication::beep();
        return;
    }
    goToAddress(static_cast<std::size_t>(*value));
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

void HexView::keyPressEvent(QKeyEvent* event) {
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

void HexView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    const QPoint pos = event->position().toPoint();
    if (event->button() != Qt::LeftButton || pos.y() < headerHeight()) return;
    const std::size_t size = doc_->DataSize();
    const double cellX =
        static_cast<double>(pos.x() + horizontalScrollBar()->value() - kMargin) / charWidth_;
    const std::size_t row =
        firstVisibleRow() + static_cast<std::size_t>((pos.y() - headerHeight()) / rowHeight_);
    const HexHit hit = layout_.hitTest(cellX, size);
    charColumn_ = hit.area == HexHit::Char;
    const std::size_t address =
        HexLayout::addressAt(row, hit.area == HexHit::Offset ? 0 : hit.column);
    moveCursor(std::min(address, size));
    if (hit.area == HexHit::Hex && address < size) nibble_ = hit.nibble;
    viewport()->update();
}

// The press did all the work; taking the release keeps it from reaching the parent.
void HexView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

}  // namespace ostrel
