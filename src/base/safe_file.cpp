#include "base/safe_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

namespace ostrel {

bool writeAll(int fd, const void* data, std::size_t count) {
    const char* bytes = static_cast<const char*>(data);
    while (count > 0) {
        const ssize_t done = ::write(fd, bytes, count);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        bytes += done;
        count -= static_cast<std::size_t>(done);
    }
    return true;
}

bool fileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

std::optional<std::string> readWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return content;
}

FileReplacement::FileReplacement(const std::string& path) : destination_(path) {
    struct stat old {};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode)) {
        error_ = EISDIR;
        return;
    }
    if (exists && !S_ISREG(old.st_mode)) {
        // A rename would put a regular file where the device or FIFO was.
        do fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0) error_ = errno;
        return;
    }
    if (exists) {
        std::unique_ptr<char, decltype(&free)> real(::realpath(path.c_str(), nullptr), &free);
        if (real) destination_ = real.get();
        // The rename would replace a file its owner made read-only; writing it
        // in place would be refused, and so is this.
        if (::access(destination_.c_str(), W_OK) != 0) {
            error_ = errno;
            return;
        }
    }
    const std::size_t slash = destination_.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : destination_.substr(0, slash + 1);
    const std::string name =
        slash == std::string::npos ? destination_ : destination_.substr(slash + 1);
    // Hidden and unique, in the same folder so that the rename stays on one file system.
    std::string scratch = folder + "." + name + ".XXXXXX";
    fd_ = ::mkstemp(&scratch[0]);
    if (fd_ < 0) {
        error_ = errno;
        return;
    }
    scratch_ = scratch;
    mode_t mode;
    if (exists) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd_, mode);
}

FileReplacement::~FileReplacement() {
    if (fd_ >= 0) {
        ::close(fd_);
        if (!scratch_.empty()) ::unlink(scratch_.c_str());
    }
}

bool FileReplacement::commit(bool durable) {
    if (fd_ < 0) return false;
    const bool replacing = !scratch_.empty();
    bool ok = !(durable && replacing) || ::fsync(fd_) == 0;
    if (!ok) error_ = errno;
    if (::close(fd_) != 0 && ok) {
        error_ = errno;
        ok = false;
    }
    fd_ = -1;
    if (!replacing) return ok;
    if (ok && std::rename(scratch_.c_str(), destination_.c_str()) != 0) {
        error_ = errno;
        ok = false;
    }
    if (!ok) ::unlink(scratch_.c_str());
    return ok;
}

bool replaceFileContents(const std::string& path, const std::string& content) {
    FileReplacement file(path);
    if (!file.ready() || !writeAll(file.fd(), content.data(), content.size())) return false;
    return file.commit(true);
}

}  // namespace ostrel
