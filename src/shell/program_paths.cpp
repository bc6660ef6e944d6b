#include "shell/program_paths.h"

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

bool writeAll(int fd, const std::string& content) {
    const char* p = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        const ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
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

std::optional<std::string> readWholeFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        content.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    return content;
}

bool replaceFileContents(const std::string& path, const std::string& content) {
    const std::string target = resolved(path);
    struct stat old {};
    const bool hadFile = stat(target.c_str(), &old) == 0;

    // A name no other save of this process or another one is using.
    static unsigned counter = 0;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = target + ".new" + std::to_string(getpid()) + "-" + std::to_string(++counter);
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    bool ok = writeAll(fd, content);
    if (ok && hadFile) ok = fchmod(fd, old.st_mode & 07777) == 0;
    if (ok) ok = fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok) ok = std::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) unlink(temp.c_str());
    return ok;
}

}  // namespace ostrel
