#pragma once
// Where things sit in a hex view, counted in character cells and rows, with no
// widget involved: the offset column, the hexadecimal column with its column
// groups, the character column, and which byte a point falls on.
//
// A row reads, for the FLASH view (groups of one byte, offsets after "00"):
//   0000000  FF FF FF ... FF  ................
// and for the EEPROM view (groups of two bytes, offsets after "0x"):
//   0x000  FFFF FFFF ... FFFF  ................

#include <cstddef>
#include <cstdint>
#include <string>

namespace ostrel {

enum class OffsetStyle {
    Zeros,     // "00" then the offset: "0000010"
    HexPrefix  // "0x" then the offset: "0x0010"
};

struct HexHit {
    enum Area { Offset, Hex, Char };
    Area area = Hex;
    int column = 0;  // byte within the row, 0 to 15
    int nibble = 0;  // in the hex column: 0 the high digit, 1 the low digit
};

class HexLayout {
  public:
    static constexpr int kBytesPerRow = 16;
    // Blank cells between the offset, hex and character columns.
    static constexpr int kGap = 2;

    explicit HexLayout(int groupSize = 1, OffsetStyle style = OffsetStyle::Zeros);

    int groupSize() const { return groupSize_; }
    OffsetStyle offsetStyle() const { return style_; }

    // Rows needed to show `positions` cursor positions; an empty view keeps one row.
    static std::size_t rowCount(std::size_t positions);
    static std::size_t rowOf(std::size_t address) { return address / kBytesPerRow; }
    static int columnOf(std::size_t address) { return static_cast<int>(address % kBytesPerRow); }
    static std::size_t addressAt(std::size_t row, int column) {
        return row * kBytesPerRow + static_cast<std::size_t>(column);
    }
    int groupOf(int column) const { return column / groupSize_; }

    // Hex digits of the offset column: as many as the offset just past the last row needs.
    static int offsetDigits(std::size_t dataSize);
    std::string offsetText(std::size_t rowOffset, std::size_t dataSize) const;
    int offsetWidth(std::size_t dataSize) const { return 2 + offsetDigits(dataSize); }

    // Cells from the left edge of the view.
    int hexX(std::size_t dataSize) const { return offsetWidth(dataSize) + kGap; }
    // Cells from the start of the hex column to the first digit of `column`.
    int hexCellOffset(int column) const { return column * 2 + column / groupSize_; }
    int hexWidth() const { return hexCellOffset(kBytesPerRow - 1) + 2; }
    int charX(std::size_t dataSize) const { return hexX(dataSize) + hexWidth() + kGap; }
    int totalWidth(std::size_t dataSize) const { return charX(dataSize) + kBytesPerRow; }

    // A row as the view paints it, for a screen reader: offset, the hex
    // column with its groups, the character column (bytes outside 0x20-0x7E
    // as "."). `bytes` holds the row's `count` bytes (at most 16).
    std::string rowText(std::size_t rowOffset, const uint8_t* bytes, int count,
                        std::size_t dataSize) const;

    // The byte under a point `cellX` cells from the left edge.
    HexHit hitTest(double cellX, std::size_t dataSize) const;

    // The ruler's label above hex column `column` ("00" to "0F") and above the
    // character column ("0123456789ABCDEF").
    static std::string rulerHexLabel(int column);
    static std::string rulerCharLabels();

  private:
    int groupSize_;
    OffsetStyle style_;
};

}  // namespace ostrel
