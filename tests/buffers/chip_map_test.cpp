// The chip map's arithmetic without a display: how many cells cover chips from
// 128 bytes to 64 MiB, the short last cell, and what each cell shows.

#include "buffers/chip_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace ostrel {
namespace {

TEST(ChipMap, CellsCoverEveryChipInAtMost4096) {
    const struct {
        uint64_t chip;
        uint64_t cellBytes;
        uint32_t cells;
        uint64_t lastCellBytes;
    } cases[] = {
        {128, 4096, 1, 128},                    // a 24C01: one short cell
        {4096, 4096, 1, 4096},                  // one sector
        {4097, 4096, 2, 1},                     // a byte past a sector
        {128 << 10, 4096, 32, 4096},            // a 24C1024
        {16 << 20, 4096, 4096, 4096},           // the most 4 KiB cells
        {(16 << 20) + 1, 8192, 2049, 1},        // one byte more doubles the unit
        {(16 << 20) + 4096, 8192, 2049, 4096},  // a short last cell
        {64 << 20, 16384, 4096, 16384},         // the largest chip
        {0, 4096, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chip);
        const ChipMapLayout layout(c.chip);
        EXPECT_EQ(layout.cellBytes(), c.cellBytes);
        EXPECT_EQ(layout.cellCount(), c.cells);
        EXPECT_LE(layout.cellCount(), kMapMostCells);
        if (c.cells == 0) continue;
        const uint32_t last = c.cells - 1;
        EXPECT_EQ(layout.cellEnd(last) - layout.cellStart(last), c.lastCellBytes);
        EXPECT_EQ(layout.cellEnd(last), c.chip);
        EXPECT_EQ(layout.cellOf(c.chip - 1), last);
        EXPECT_EQ(layout.cellOf(c.chip), c.cells);  // past the chip: no cell
        EXPECT_EQ(layout.cellOf(std::min(layout.cellBytes(), c.chip) - 1), 0u);
        if (c.cells > 1) {
            EXPECT_EQ(layout.cellOf(layout.cellBytes()), 1u);
        }
    }
}

TEST(ChipMap, CellsShowWhatTheyHoldAndWhereReadsDiffered) {
    // Eight cells of 4 KiB, and a short ninth of 100 bytes.
    const uint64_t size = 8 * 4096 + 100;
    std::vector<uint8_t> chip(size, 0xFF);
    std::fill(chip.begin() + 4096, chip.begin() + 8192, 0x00);
    chip[2 * 4096 + 4095] = 0x00;  // one byte at the end of a cell
    chip[3 * 4096] = 0x7F;         // one byte at the start of one
    std::fill(chip.begin() + 4 * 4096, chip.begin() + 5 * 4096, 0x00);
    chip[4 * 4096 + 2000] = 0x01;
    chip[size - 1] = 0x00;  // the last byte of the short cell
    const ChipMapLayout layout(size);
    const std::vector<CellLook> cells =
        mapCells(chip.data(), layout, {{5 * 4096 + 10, 5 * 4096 + 11}, {7 * 4096, 7 * 4096 + 1}},
                 {{6 * 4096 + 4095, 7 * 4096 + 1}});
    std::string shown;
    for (CellLook look : cells) shown += cellCharacter(look);
    // The verify's mark on cell 7 gives way to the reads' mark there.
    EXPECT_EQ(shown,
              ".0##"
              "#X!!#");
    EXPECT_STREQ(cellLookName(cells[6]), "reads_differ");
}

}  // namespace
}  // namespace ostrel
