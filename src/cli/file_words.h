#pragma once
// The command line's words for what happened to a file: the load's and the
// save's results as one line each, naming the file and the reason, and the
// check of an output before the chip is read.

#include <string>

#include "buffers/file_io.h"

namespace ostrel::cli {

// A failed load: "Cannot open file X: No such file or directory", "line 500:
// Checksum Error", "the file ends before its end record; it may be cut off", ...
std::string loadFailureLine(const LoadResult& result, const std::string& path, int language);

// A failed save: "Cannot create file X: Permission denied", "Error writing file
// X: No space left on device".
std::string saveFailureLine(const SaveResult& result, const std::string& path, int language);

// Why the chip must not be read into `path`, or empty when it may: the output
// is a folder, exists (without `force`), cannot be replaced (the file or its
// folder is not writable), or cannot be created. Checked before anything is
// read from the chip, with a file of its own in the folder that is removed at
// once. Standard output ("-") is always taken.
std::string outputRefusal(const std::string& path, bool force, int language);

}  // namespace ostrel::cli
