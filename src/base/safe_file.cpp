#include "base/safe_file.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>

#include "base/platform.h"

namespace ostrel {

bool writeAllWith(long (*write)(int, const void*, std::size_t), int fd, const void* data,
                  std::size_t count) {
    const char* bytes = static_cast<const char*>(data);
    while (count > 0) {
        const long done = write(fd, bytes, count);
        if (done < 0 && errno == EINTR) continue;
        // Nothing taken and no error: trying again would loop for ever, and
        // errno would name some earlier failure.
        if (done == 0) errno = EIO;
        if (done <= 0) return false;
        bytes += done;
        count -= static_cast<std::size_t>(done);
    }
    return true;
}

bool writeAll(int fd, const void* data, std::size_t count) {
    return writeAllWith(platform::writeSome, fd, data, count);
}

bool fileExists(const std::string& path) {
    return platform::pathExists(path);
}

std::optional<std::string> readWholeFile(const std::string& path) {
    const int fd = platform::openFile(path, O_RDONLY);
    if (fd < 0) return std::nullopt;
    std::string content;
    char buffer[65536];
    for (;;) {
        const long n = platform::readSome(fd, buffer, sizeof buffer);
        if (n < 0) {
            platform::closeFile(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        content.append(buffer, static_cast<std::size_t>(n));
    }
    platform::closeFile(fd);
    return content;
}

FileReplacement::FileReplacement(const std::string& path) : destination_(path) {
    const std::optional<platform::PathInfo> old = platform::pathInfo(path);
    const bool exists = old.has_value();
    if (exists && old->folder) {
        error_ = EISDIR;
        return;
    }
    if (exists && !old->regular) {
        // A rename would put a regular file where the device or FIFO was.
        fd_ = platform::openFile(path, O_WRONLY);
        if (fd_ < 0) error_ = errno;
        return;
    }
    if (exists) {
        if (const auto real = platform::resolvedPath(path)) destination_ = *real;
        // The rename would replace a file its owner made read-only; writing it
        // in place would be refused, and so is this.
        if (!platform::mayWrite(destination_)) {
            error_ = errno;
            return;
        }
    }
    const std::size_t slash = destination_.find_last_of(platform::kPathSeparators);
    const std::string folder = slash == std::string::npos ? "" : destination_.substr(0, slash + 1);
    const std::string name =
        slash == std::string::npos ? destination_ : destination_.substr(slash + 1);
    // Hidden and unique, in the same folder so that the rename stays on one file system.
    std::string scratch = folder + "." + name + ".XXXXXX";
    fd_ = platform::makeUniqueFile(scratch);
    if (fd_ < 0) {
        error_ = errno;
        return;
    }
    scratch_ = scratch;
    platform::setFileMode(fd_, exists ? std::optional<uint32_t>(old->mode) : std::nullopt);
}

FileReplacement::~FileReplacement() {
    if (fd_ >= 0) {
        platform::closeFile(fd_);
        if (!scratch_.empty()) platform::removeFile(scratch_);
    }
}

bool FileReplacement::commit() {
    if (fd_ < 0) return false;
    const bool replacing = !scratch_.empty();
    // Renamed before its content is on the disk, the new name could reach the
    // disk first: a power cut would leave an empty file under it.
    bool ok = !replacing || platform::flushToDisk(fd_);
    if (!ok) error_ = errno;
    if (!platform::closeFile(fd_) && ok) {
        error_ = errno;
        ok = false;
    }
    fd_ = -1;
    if (!replacing) return ok;
    if (ok && !platform::replaceFile(scratch_, destination_)) {
        error_ = errno;
        ok = false;
    }
    if (!ok) platform::removeFile(scratch_);
    return ok;
}

bool replaceFileContents(const std::string& path, const std::string& content) {
    FileReplacement file(path);
    if (!file.ready() || !writeAll(file.fd(), content.data(), content.size())) return false;
    return file.commit();
}

}  // namespace ostrel
