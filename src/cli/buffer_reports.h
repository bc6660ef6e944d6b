#pragma once
// What ostrel-cli prints about buffers beyond the window's log lines: the
// checksums of a file or a chip, and every difference of verify --all. Lines
// come back without their newline; with --json each is one object.

#include <string>
#include <vector>

#include "buffers/checksums.h"
#include "buffers/chip_map.h"
#include "operations/verify_differences.h"

namespace ostrel::cli {

// One line for the file's data and one for the file as the chip `chipName`
// would hold it, padded with FF to the chip's size:
// "data 9 bytes: crc32 CBF43926 sha256 ... sum32 000001DD sum16 01DD",
// "file padded with FF to W25Q64JV's 8 MiB: crc32 ...". In JSON the two are
// the ranges "data" and "chip".
std::vector<std::string> checksumLines(const BufferChecksums& sums, bool json,
                                       const std::string& chipName);

// `"crc32":"...","sha256":"..."`: the fields the result object of read,
// verify and auto carries.
std::string checksumResultFields(const Checksums& sums);

// "100-1FF 256" for each kept range, then how many more ranges there were and
// how many bytes differ in all, in the given language.
std::vector<std::string> differenceLines(const VerifyDifferences& differences, bool json,
                                         int language);

// The chip map in a terminal: a title naming `what` (the chip or the file)
// and the cell size, 64 cells a line after the address of the line's first
// cell, where the data lies (for --start and --end), and a legend. In JSON
// one object: the size, the cell size, the cells as characters and the legend.
std::vector<std::string> mapLines(const std::vector<CellLook>& cells, const ChipMapLayout& layout,
                                  const std::string& what, bool json, int language);

}  // namespace ostrel::cli
