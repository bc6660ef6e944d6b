#pragma once
// What ostrel-cli prints about buffers beyond the window's log lines: the
// checksums of a file or a chip, and every difference of verify --all. Lines
// come back without their newline; with --json each is one object.

#include <string>
#include <vector>

#include "buffers/checksums.h"
#include "operations/verify_differences.h"

namespace ostrel::cli {

// One line for the data length and one for the chip size:
// "data 131072 bytes: crc32 1A2B3C4D sha256 ... sum32 00FE1200 sum16 1200".
std::vector<std::string> checksumLines(const BufferChecksums& sums, bool json);

// `"crc32":"...","sha256":"..."`: the fields the result object of read,
// verify and auto carries.
std::string checksumResultFields(const Checksums& sums);

// "100-1FF 256" for each kept range, then how many more ranges there were and
// how many bytes differ in all, in the given language.
std::vector<std::string> differenceLines(const VerifyDifferences& differences, bool json,
                                         int language);

}  // namespace ostrel::cli
