#include "buffers/hex_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ostrel {

HexLayout::HexLayout(int groupSize, OffsetStyle style)
    : groupSize_(groupSize == 2 ? 2 : 1), style_(style) {}

std::size_t HexLayout::rowCount(std::size_t positions) {
    return std::max<std::size_t>(1, (positions + kBytesPerRow - 1) / kBytesPerRow);
}

int HexLayout::offsetDigits(std::size_t dataSize) {
    std::size_t past = rowCount(dataSize) * kBytesPerRow;
    int digits = 0;
    while (past) {
        ++digits;
        past >>= 4;
    }
    return std::max(digits, 1);
}

std::string HexLayout::offsetText(std::size_t rowOffset, std::size_t dataSize) const {
    char text[32];
    std::snprintf(text, sizeof text, "%s%0*zX", style_ == OffsetStyle::Zeros ? "00" : "0x",
                  offsetDigits(dataSize), rowOffset);
    return text;
}

std::string HexLayout::rowText(std::size_t rowOffset, const uint8_t* bytes, int count,
                               std::size_t dataSize) const {
    static const char kDigits[] = "0123456789ABCDEF";
    count = std::clamp(count, 0, kBytesPerRow);
    std::string text = offsetText(rowOffset, dataSize) + std::string(kGap, ' ');
    for (int column = 0; column < count; ++column) {
        if (column > 0 && groupOf(column) != groupOf(column - 1)) text += ' ';
        text += kDigits[bytes[column] >> 4];
        text += kDigits[bytes[column] & 0x0F];
    }
    text += std::string(kGap, ' ');
    for (int column = 0; column < count; ++column) {
        const uint8_t b = bytes[column];
        text += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
    }
    return text;
}

HexHit HexLayout::hitTest(double cellX, std::size_t dataSize) const {
    HexHit hit;
    const double hex = hexX(dataSize);
    const double chars = charX(dataSize);
    if (cellX < offsetWidth(dataSize)) {
        hit.area = HexHit::Offset;
        return hit;
    }
    if (cellX < chars - kGap / 2.0) {
        hit.area = HexHit::Hex;
        const int local = static_cast<int>(std::floor(std::max(0.0, cellX - hex)));
        // The blank before a group belongs to the byte after it.
        int column = 0;
        while (column + 1 < kBytesPerRow && hexCellOffset(column + 1) <= local) ++column;
        const int within = local - hexCellOffset(column);
        if (within >= 2 && column + 1 < kBytesPerRow) {
            ++column;
        } else {
            hit.nibble = within >= 1 ? 1 : 0;
        }
        hit.column = column;
        return hit;
    }
    hit.area = HexHit::Char;
    hit.column = std::clamp(static_cast<int>(std::floor(cellX - chars)), 0, kBytesPerRow - 1);
    return hit;
}

std::string HexLayout::rulerHexLabel(int column) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", column & 0xFF);
    return text;
}

std::string HexLayout::rulerCharLabels() {
    return "0123456789ABCDEF";
}

}  // namespace ostrel
