#pragma once
// The board's page, style sheet and script, compiled into the program from
// src/line/board/ (the build writes their bytes into a source file).

#include <cstddef>
#include <string>

namespace ostrel::line {

struct BoardFile {
    const char* path;  // as requested: "/", "/board/board.js", ...
    const char* type;  // its Content-Type
    const unsigned char* data;
    std::size_t size;
};

// Null for a path that is none of them.
const BoardFile* boardFile(const std::string& path);

// Whether `path` is one of the page's files or its chart script: these hold
// no data and are served without a token, so that the page can ask for one.
bool boardOpenPath(const std::string& path);

}  // namespace ostrel::line
