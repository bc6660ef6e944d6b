#include <algorithm>

#include "base/text_format.h"
#include "base/texts.h"
#include "buffers/dump_check.h"
#include "cli/buffer_reports.h"

namespace ostrel::cli {
namespace {

constexpr uint32_t kCellsPerLine = 64;

}  // namespace

std::vector<std::string> mapLines(const std::vector<CellLook>& cells, const ChipMapLayout& layout,
                                  const std::string& what, bool json, int language) {
    // Where anything but FF lies: the first and the last such cell.
    const auto used = [](CellLook look) { return look != CellLook::Blank; };
    const auto first = std::find_if(cells.begin(), cells.end(), used);
    const auto last = std::find_if(cells.rbegin(), cells.rend(), used);
    const bool any = first != cells.end();
    const uint64_t dataStart =
        any ? layout.cellStart(static_cast<uint32_t>(first - cells.begin())) : 0;
    const uint64_t dataEnd =
        any ? layout.cellEnd(static_cast<uint32_t>(cells.rend() - last - 1)) - 1 : 0;
    std::string all;
    for (const CellLook look : cells) all += cellCharacter(look);
    if (json) {
        std::string legend;
        for (const CellLook look : kCellLooks)
            legend += std::string(legend.empty() ? "" : ",") + "\"" + cellCharacter(look) +
                      "\":" + jsonString(cellLookName(look));
        std::string line = "\"type\":\"map\",\"size\":" + std::to_string(layout.chipBytes()) +
                           ",\"cell_bytes\":" + std::to_string(layout.cellBytes()) +
                           ",\"cells\":" + jsonString(all) + ",\"legend\":{" + legend + "}";
        if (any)
            line += ",\"data_start\":" + std::to_string(dataStart) +
                    ",\"data_end\":" + std::to_string(dataEnd);
        return {line};
    }
    std::vector<std::string> lines;
    lines.push_back(
        fillIn(programText(Txt::MapTitle, language),
               {what, byteSizeText(layout.chipBytes()), byteSizeText(layout.cellBytes())}));
    const int digits = layout.chipBytes() > 0x1000000 ? 7 : 6;
    for (uint32_t c = 0; c < layout.cellCount(); c += kCellsPerLine)
        lines.push_back(hexDigits(layout.cellStart(c), digits) + "  " +
                        all.substr(c, kCellsPerLine));
    if (any)
        lines.push_back(fillIn(programText(Txt::MapDataSpan, language),
                               {hexDigits(dataStart, 1), hexDigits(dataEnd, 1)}));
    std::string legend;
    for (const CellLook look : kCellLooks) {
        if (look == CellLook::Differs || look == CellLook::ReadsDiffer) {
            if (std::find(cells.begin(), cells.end(), look) == cells.end()) continue;
        }
        legend += std::string(legend.empty() ? "" : "   ") + cellCharacter(look) + " " +
                  programText(cellLegendText(look), language);
    }
    lines.push_back(legend);
    return lines;
}

}  // namespace ostrel::cli
