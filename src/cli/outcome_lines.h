#pragma once
// The command line's own words for what a command did: plain sentences with
// the chip, the file, its format, the size and the time taken, instead of the
// window's log lines with their clock times.

#include <cstdint>
#include <string>
#include <vector>

#include "base/texts.h"
#include "buffers/format_sniff.h"

namespace ostrel::cli {

// "8 MiB", "64 KiB", "1.5 KiB", "300 bytes"; a part of a unit in tenths cut
// down, so that a size that is not whole never reads as whole.
std::string sizeText(uint64_t bytes);
// A file's format as the outcome lines name it in `language`: "Intel HEX",
// "S-record", or raw binary in that language's words.
std::string formatText(FileFormat format, int language);
// Seconds with one decimal: "2.1".
std::string secondsText(int64_t milliseconds);

// Up to `most` of `names` that are closest to `wanted` (letter case ignored),
// the closest first; names too far off to be a slip of the keyboard are left out.
std::vector<std::string> closeNames(const std::string& wanted,
                                    const std::vector<std::string>& names, std::size_t most = 5);

}  // namespace ostrel::cli
