#include "buffers/chip_map.h"

#include <algorithm>
#include <cstring>

namespace ostrel {
namespace {

CellLook lookOf(const uint8_t* data, std::size_t length) {
    uint64_t o = 0, a = ~uint64_t{0};
    std::size_t i = 0;
    for (; i + 32 <= length; i += 32) {
        uint64_t w[4];
        std::memcpy(w, data + i, sizeof w);
        o |= w[0] | w[1] | w[2] | w[3];
        a &= w[0] & w[1] & w[2] & w[3];
        // A byte that is not 00 and one that is not FF: data, whatever follows.
        if ((i & 1023) == 0 && o != 0 && a != ~uint64_t{0}) return CellLook::Data;
    }
    for (; i < length; ++i) {
        o |= data[i];
        a &= static_cast<uint64_t>(data[i]) | ~uint64_t{0xFF};
    }
    if (a == ~uint64_t{0}) return CellLook::Blank;
    if (o == 0) return CellLook::Zero;
    return CellLook::Data;
}

void mark(std::vector<CellLook>& cells, const ChipMapLayout& layout,
          const std::vector<MarkedSpan>& spans, CellLook look) {
    for (const MarkedSpan& s : spans) {
        if (s.end <= s.start || s.start >= layout.chipBytes()) continue;
        const uint32_t last = layout.cellOf(std::min(s.end, layout.chipBytes()) - 1);
        for (uint32_t c = layout.cellOf(s.start); c <= last; ++c) {
            if (look == CellLook::Differs && cells[c] == CellLook::ReadsDiffer) continue;
            cells[c] = look;
        }
    }
}

}  // namespace

ChipMapLayout::ChipMapLayout(uint64_t chipBytes) : chipBytes_(chipBytes) {
    while ((chipBytes + cellBytes_ - 1) / cellBytes_ > kMapMostCells) cellBytes_ *= 2;
    cellCount_ = static_cast<uint32_t>((chipBytes + cellBytes_ - 1) / cellBytes_);
}

uint64_t ChipMapLayout::cellEnd(uint32_t cell) const {
    return std::min(chipBytes_, (uint64_t{cell} + 1) * cellBytes_);
}

uint32_t ChipMapLayout::cellOf(uint64_t address) const {
    if (address >= chipBytes_) return cellCount_;
    return static_cast<uint32_t>(address / cellBytes_);
}

std::vector<CellLook> mapCells(const uint8_t* data, const ChipMapLayout& layout,
                               const std::vector<MarkedSpan>& verifyDiffers,
                               const std::vector<MarkedSpan>& readsDiffer) {
    std::vector<CellLook> cells(layout.cellCount());
    for (uint32_t c = 0; c < layout.cellCount(); ++c)
        cells[c] = lookOf(data + layout.cellStart(c),
                          static_cast<std::size_t>(layout.cellEnd(c) - layout.cellStart(c)));
    mark(cells, layout, readsDiffer, CellLook::ReadsDiffer);
    mark(cells, layout, verifyDiffers, CellLook::Differs);
    return cells;
}

char cellCharacter(CellLook look) {
    switch (look) {
        case CellLook::Blank:
            return '.';
        case CellLook::Zero:
            return '0';
        case CellLook::Data:
            return '#';
        case CellLook::Differs:
            return 'X';
        case CellLook::ReadsDiffer:
            return '!';
    }
    return '?';
}

const char* cellLookName(CellLook look) {
    switch (look) {
        case CellLook::Blank:
            return "blank";
        case CellLook::Zero:
            return "zero";
        case CellLook::Data:
            return "data";
        case CellLook::Differs:
            return "differs";
        case CellLook::ReadsDiffer:
            return "reads_differ";
    }
    return "";
}

Txt cellLegendText(CellLook look) {
    switch (look) {
        case CellLook::Blank:
            return Txt::MapBlank;
        case CellLook::Zero:
            return Txt::MapZero;
        case CellLook::Data:
            return Txt::MapData;
        case CellLook::Differs:
            return Txt::MapDiffers;
        case CellLook::ReadsDiffer:
            return Txt::MapReadsDiffer;
    }
    return Txt::MapData;
}

}  // namespace ostrel
