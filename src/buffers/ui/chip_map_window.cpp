#include "buffers/ui/chip_map_window.h"

#include <QColor>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

#include "base/text_format.h"
#include "base/texts.h"
#include "base/ui/qt_text.h"
#include "buffers/dump_check.h"

namespace ostrel {
namespace {

constexpr int kColumns = 64;
constexpr int kCellPixels = 10;
// While shown, the map follows the buffer this often.
constexpr int kRefreshMs = 500;

QColor colourOf(CellLook look) {
    switch (look) {
        case CellLook::Blank:
            return QColor(0xF2, 0xF2, 0xF2);
        case CellLook::Zero:
            return QColor(0x40, 0x40, 0x40);
        case CellLook::Data:
            return QColor(0x2E, 0x6F, 0xD0);
        case CellLook::Differs:
            return QColor(0xD0, 0x20, 0x20);
        case CellLook::ReadsDiffer:
            return QColor(0xF0, 0x90, 0x00);
    }
    return Qt::white;
}

}  // namespace

// The cells, 64 a row; paints only and tells which cell is under the mouse.
class ChipMapGrid : public QWidget {
  public:
    explicit ChipMapGrid(ChipMapWindow& window) : window_(window) {
        setMouseTracking(true);
        setObjectName(QStringLiteral("ChipMapGrid"));
    }
    void take(std::vector<CellLook> cells, const ChipMapLayout& layout) {
        const bool resized = cells.size() != cells_.size();
        cells_ = std::move(cells);
        layout_ = layout;
        if (resized) updateGeometry();
        update();
    }
    QSize sizeHint() const override {
        const int rows = (static_cast<int>(cells_.size()) + kColumns - 1) / kColumns;
        return QSize(kColumns * kCellPixels + 1, std::max(rows, 1) * kCellPixels + 1);
    }
    QSize minimumSizeHint() const override { return sizeHint(); }
    // The cell at a point of the grid, or -1.
    int cellAt(const QPoint& p) const {
        if (p.x() < 0 || p.y() < 0) return -1;
        const int column = p.x() / kCellPixels, row = p.y() / kCellPixels;
        if (column >= kColumns) return -1;
        const int cell = row * kColumns + column;
        return cell < static_cast<int>(cells_.size()) ? cell : -1;
    }
    QPoint cellCentre(int cell) const {
        return QPoint((cell % kColumns) * kCellPixels + kCellPixels / 2,
                      (cell / kColumns) * kCellPixels + kCellPixels / 2);
    }

    std::vector<CellLook> cells_;
    ChipMapLayout layout_;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(QColor(0xC8, 0xC8, 0xC8));
        for (std::size_t i = 0; i < cells_.size(); ++i) {
            const int column = static_cast<int>(i) % kColumns, row = static_cast<int>(i) / kColumns;
            painter.setBrush(colourOf(cells_[i]));
            painter.drawRect(column * kCellPixels, row * kCellPixels, kCellPixels, kCellPixels);
        }
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        const int cell = cellAt(event->position().toPoint());
        if (cell < 0) {
            QToolTip::hideText();
            return;
        }
        QToolTip::showText(event->globalPosition().toPoint(),
                           window_.cellText(static_cast<uint32_t>(cell)), this);
    }
    void mousePressEvent(QMouseEvent* event) override {
        const int cell = cellAt(event->position().toPoint());
        if (cell >= 0 && window_.onGoTo)
            window_.onGoTo(layout_.cellStart(static_cast<uint32_t>(cell)));
    }

  private:
    ChipMapWindow& window_;
};

ChipMapWindow::ChipMapWindow(std::function<ChipMapSource()> source, QWidget* parent)
    : QWidget(parent, Qt::Window), source_(std::move(source)) {
    setObjectName(QStringLiteral("ChipMapWindow"));
    auto* column = new QVBoxLayout(this);
    title_ = new QLabel;
    column->addWidget(title_);
    grid_ = new ChipMapGrid(*this);
    column->addWidget(grid_, 0, Qt::AlignLeft | Qt::AlignTop);
    auto* legend = new QGridLayout;
    int i = 0;
    for (const CellLook look : kCellLooks) {
        auto* swatch = new QLabel;
        swatch->setFixedSize(kCellPixels + 4, kCellPixels + 4);
        swatch->setStyleSheet(
            QStringLiteral("background:%1;border:1px solid #a0a0a0;").arg(colourOf(look).name()));
        auto* label = new QLabel;
        legend_.push_back(label);
        legend->addWidget(swatch, i / 3, (i % 3) * 2);
        legend->addWidget(label, i / 3, (i % 3) * 2 + 1);
        ++i;
    }
    legend->setColumnStretch(6, 1);
    column->addLayout(legend);
    column->addStretch(1);
    timer_ = new QTimer(this);
    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, &ChipMapWindow::refresh);
    setLanguage(2);
}

void ChipMapWindow::setLanguage(int language) {
    language_ = language;
    setWindowTitle(qs(programText(Txt::MapCaption, language)));
    for (std::size_t i = 0; i < legend_.size(); ++i)
        legend_[i]->setText(qs(programText(cellLegendText(kCellLooks[i]), language)));
    refresh();
}

void ChipMapWindow::refresh() {
    const ChipMapSource source = source_ ? source_() : ChipMapSource{};
    const ChipMapLayout layout(source.data != nullptr ? source.size : 0);
    grid_->take(mapCells(source.data, layout, source.verifyDiffers, source.readsDiffer), layout);
    title_->setText(qs(
        fillIn(programText(Txt::MapWindowTitle, language_),
               {source.name, byteSizeText(layout.chipBytes()), byteSizeText(layout.cellBytes())})));
}

const std::vector<CellLook>& ChipMapWindow::cells() const {
    return grid_->cells_;
}

const ChipMapLayout& ChipMapWindow::layout() const {
    return grid_->layout_;
}

QString ChipMapWindow::cellText(uint32_t cell) const {
    const ChipMapLayout& layout = grid_->layout_;
    if (cell >= grid_->cells_.size()) return {};
    const int digits = layout.chipBytes() > 0x1000000 ? 7 : 6;
    return qs(fillIn(
        programText(Txt::MapHover, language_),
        {hexDigits(layout.cellStart(cell), digits), hexDigits(layout.cellEnd(cell) - 1, digits),
         programText(cellLegendText(grid_->cells_[cell]), language_)}));
}

void ChipMapWindow::showEvent(QShowEvent* event) {
    refresh();
    timer_->start();
    QWidget::showEvent(event);
}

void ChipMapWindow::hideEvent(QHideEvent* event) {
    timer_->stop();
    QWidget::hideEvent(event);
}

}  // namespace ostrel
