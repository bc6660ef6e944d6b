#include "base/program_paths.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

namespace ostrel {

namespace {

std::string resolved(const std::string& path) {
    std::unique_ptr<char, decltype(&free)> real(realpath(path.c_str(), nullptr), &free);
    return real ? std::string(real.get()) : path;
}

}  // namespace

ProgramPaths::ProgramPaths(const std::string& executable) : executable_(resolved(executable)) {
    const std::size_t slash = executable_.rfind('/');
    folder_ = slash == std::string::npos ? std::string(".") : executable_.substr(0, slash);
    if (slash == 0) folder_ = "/";
    const std::string file =
        slash == std::string::npos ? executable_ : executable_.substr(slash + 1);
    // A leading dot marks a hidden file, not an extension.
    const std::size_t dot = file.rfind('.');
    baseName_ = dot == std::string::npos || dot == 0 ? file : file.substr(0, dot);
}

ProgramPaths ProgramPaths::current() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return ProgramPaths("ostrel");
    return ProgramPaths(std::string(buffer, static_cast<std::size_t>(n)));
}

std::string ProgramPaths::withExtension(const std::string& extension) const {
    return (folder_ == "/" ? std::string() : folder_) + "/" + baseName_ + extension;
}

}  // namespace ostrel
