#pragma once
// The chip map window (Buffer > Chip map...): one cell per sector of the chip
// as the FLASH buffer holds it, coloured by what the cell holds, with a
// legend. Hovering a cell names its address range; a click asks the main
// window to show that address in the FLASH view. The cells come from the
// core's chip map; the window only paints them and follows the buffer while
// it is shown.

#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "buffers/chip_map.h"

class QLabel;
class QTimer;

namespace ostrel {

// What the map shows: the chip's bytes from address 0 and the marks of the
// last whole-chip verify and read done twice.
struct ChipMapSource {
    std::string name;  // the chip's name (UTF-8)
    const uint8_t* data = nullptr;
    uint64_t size = 0;
    std::vector<MarkedSpan> verifyDiffers;
    std::vector<MarkedSpan> readsDiffer;
};

class ChipMapGrid;

class ChipMapWindow : public QWidget {
    Q_OBJECT

  public:
    ChipMapWindow(std::function<ChipMapSource()> source, QWidget* parent = nullptr);

    void setLanguage(int language);
    // Takes the buffer as it is now (also called by a timer while shown).
    void refresh();
    // A click on a cell: its first address.
    std::function<void(uint64_t address)> onGoTo;

    const std::vector<CellLook>& cells() const;
    const ChipMapLayout& layout() const;
    // The hover text of a cell.
    QString cellText(uint32_t cell) const;
    ChipMapGrid* grid() const { return grid_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    std::function<ChipMapSource()> source_;
    int language_ = 2;
    ChipMapGrid* grid_;
    QLabel* title_;
    std::vector<QLabel*> legend_;
    QTimer* timer_;
};

}  // namespace ostrel
