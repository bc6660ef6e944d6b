#pragma once
// The chip map: a picture of where the data is. One cell per 4 KiB sector,
// or per larger unit (a power of two times 4 KiB) so that at most 4,096
// cells cover the chip; the last cell may be short. Each cell says what it
// holds (blank, all 00, data) or, after a whole-chip verify or a read done
// twice, that it differs. Plain arithmetic, so that the window and the
// command line draw the same map and the tests need no display.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/texts.h"

namespace ostrel {

inline constexpr uint64_t kMapSectorBytes = 4096;
inline constexpr uint32_t kMapMostCells = 4096;

enum class CellLook : uint8_t {
    Blank,        // every byte FF
    Zero,         // every byte 00
    Data,         // anything else
    Differs,      // a whole-chip verify found the chip different here
    ReadsDiffer,  // two reads of the chip differed here
};
// Every look, in the order the legends show them.
inline constexpr CellLook kCellLooks[] = {CellLook::Blank, CellLook::Zero, CellLook::Data,
                                          CellLook::Differs, CellLook::ReadsDiffer};

class ChipMapLayout {
  public:
    ChipMapLayout() = default;
    // The layout of a chip of `chipBytes` (0: no cells).
    explicit ChipMapLayout(uint64_t chipBytes);

    uint64_t chipBytes() const { return chipBytes_; }
    uint64_t cellBytes() const { return cellBytes_; }
    uint32_t cellCount() const { return cellCount_; }
    // The addresses [start, end) of a cell; the last one ends with the chip.
    uint64_t cellStart(uint32_t cell) const { return cell * cellBytes_; }
    uint64_t cellEnd(uint32_t cell) const;
    // The cell an address falls in; addresses past the chip are in no cell
    // (cellCount()).
    uint32_t cellOf(uint64_t address) const;

  private:
    uint64_t chipBytes_ = 0;
    uint64_t cellBytes_ = kMapSectorBytes;
    uint32_t cellCount_ = 0;
};

// A stretch of addresses [start, end) marked as differing.
struct MarkedSpan {
    uint64_t start = 0;
    uint64_t end = 0;
};

// The cells of `data` (the chip's bytes from address 0, `layout.chipBytes()`
// of them): what each holds, then the marks of a verify and of two reads on
// top (a read that differed wins over a verify).
std::vector<CellLook> mapCells(const uint8_t* data, const ChipMapLayout& layout,
                               const std::vector<MarkedSpan>& verifyDiffers = {},
                               const std::vector<MarkedSpan>& readsDiffer = {});

// The character the terminal map shows for a look: '.' blank, '0' all 00,
// '#' data, 'X' differs, '!' reads differ.
char cellCharacter(CellLook look);
// The look's stable name for machines: "blank", "zero", "data", "differs",
// "reads_differ".
const char* cellLookName(CellLook look);
// The words the legends (the window's and the terminal's) give a look.
Txt cellLegendText(CellLook look);

}  // namespace ostrel
