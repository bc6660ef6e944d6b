#include "base/texts.h"
#include "cli/buffer_reports.h"
#include "cli/outcome_lines.h"
#include "cli/terminal_ui.h"

namespace ostrel::cli {
namespace {

std::string line(const char* range, const std::string& label, const Checksums& s, bool json) {
    if (json) {
        return "\"type\":\"checksum\",\"range\":" + jsonString(range) +
               ",\"bytes\":" + std::to_string(s.length) + "," + checksumResultFields(s) +
               ",\"sum32\":\"" + s.sum32Text() + "\",\"sum16\":\"" + s.sum16Text() + "\"";
    }
    return label + ": crc32 " + s.crc32Text() + " sha256 " + s.sha256Text() + " sum32 " +
           s.sum32Text() + " sum16 " + s.sum16Text();
}

}  // namespace

std::vector<std::string> checksumLines(const BufferChecksums& sums, bool json,
                                       const std::string& chipName) {
    return {line("data", "data " + std::to_string(sums.data.length) + " bytes", sums.data, json),
            line("chip", "file padded with FF to " + chipName + "'s " + sizeText(sums.chip.length),
                 sums.chip, json)};
}

std::string checksumResultFields(const Checksums& sums) {
    return "\"crc32\":\"" + sums.crc32Text() + "\",\"sha256\":\"" + sums.sha256Text() + "\"";
}

std::vector<std::string> differenceLines(const VerifyDifferences& differences, bool json,
                                         int language) {
    std::vector<std::string> lines;
    for (const DifferingRange& r : differences.ranges()) {
        if (json) {
            lines.push_back("\"type\":\"difference\",\"start\":" + std::to_string(r.start) +
                            ",\"end\":" + std::to_string(r.end) +
                            ",\"count\":" + std::to_string(r.count()));
        } else {
            lines.push_back(hexDigits(static_cast<uint64_t>(r.start), 1) + "-" +
                            hexDigits(static_cast<uint64_t>(r.end), 1) + " " +
                            std::to_string(r.count()));
        }
    }
    const uint64_t more = differences.rangeCount() - differences.ranges().size();
    if (json) {
        lines.push_back(
            "\"type\":\"differences\",\"ranges\":" + std::to_string(differences.rangeCount()) +
            ",\"bytes\":" + std::to_string(differences.byteCount()));
        return lines;
    }
    if (more > 0)
        lines.push_back(
            fillIn(programText(Txt::CliMoreDifferences, language), {std::to_string(more)}));
    lines.push_back(fillIn(programText(Txt::CliDifferingBytes, language),
                           {std::to_string(differences.byteCount())}));
    return lines;
}

}  // namespace ostrel::cli
