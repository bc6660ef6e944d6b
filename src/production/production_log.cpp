#include "production/production_log.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/platform.h"
#include "base/text_format.h"
#include "production/production_store.h"

namespace ostrel {

std::string chipLogText(const ChipLogLine& line) {
    const std::string time = recordTimeText(line.time);
    const std::string crc = crc32Text(line.crc32);
    // With a point whatever the locale: the window runs under the user's.
    const std::string seconds = secondsText(line.seconds);
    std::string text =
        "{\"time\":\"" + time + "\",\"programmer\":" + jsonString(line.programmer) +
        ",\"chip\":" + jsonString(line.chip) + ",\"id\":" + jsonString(line.chipId) +
        ",\"command\":" + jsonString(line.command) + ",\"result\":" + jsonString(line.result) +
        ",\"message\":" + jsonString(line.message) + ",\"bytes\":" + std::to_string(line.bytes) +
        ",\"crc32\":\"" + crc + "\",\"sha256\":" + jsonString(line.sha256) +
        ",\"cause\":" + (line.cause.empty() ? std::string("null") : jsonString(line.cause)) +
        ",\"seconds\":" + seconds +
        ",\"serial\":" + (line.serial ? std::to_string(*line.serial) : std::string("null")) + "}\n";
    return text;
}

std::string productionLogName(std::time_t time) {
    const std::tm local = platform::localTime(time);
    char name[48];
    std::strftime(name, sizeof name, "production-%Y-%m-%d.jsonl", &local);
    return name;
}

ProductionLog::~ProductionLog() {
    if (fd_ >= 0) platform::closeFile(fd_);
}

bool ProductionLog::open(const std::string& path, std::string& error) {
    if (fd_ >= 0) platform::closeFile(fd_);
    path_ = path;
    const bool existed = platform::pathExists(path);
    fd_ = platform::openFile(path, O_WRONLY | O_APPEND | O_CREAT, 0644);
    // A new log's name reaches the disk before a line counts as kept in it.
    if (fd_ < 0 || (!existed && !platform::flushFolderOf(path))) {
        error = std::strerror(errno);
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    return fd_ >= 0;
}

bool ProductionLog::append(const std::string& text, std::string& error) {
    if (fd_ < 0) {
        error = std::strerror(EBADF);
        return false;
    }
    // One write: with O_APPEND the kernel puts the whole line at the end as
    // one piece, whoever else appends. A short write is a failure, not a
    // reason to write the rest later, which another process could split.
    const long written = platform::writeSome(fd_, text.data(), text.size());
    if (written < 0 || static_cast<std::size_t>(written) != text.size()) {
        error = written < 0 ? std::strerror(errno) : std::strerror(ENOSPC);
        // The part that went out ends at the file's end unless another process
        // appended since; only then is it cut off again.
        const int64_t end = written > 0 ? platform::filePosition(fd_) : -1;
        const std::optional<platform::PathInfo> info = platform::fileInfo(fd_);
        if (end >= written && info && info->size == end &&
            !platform::truncateFile(fd_, end - written))
            error +=
                std::string("; the part written could not be taken back: ") + std::strerror(errno);
        return false;
    }
    if (!platform::flushToDisk(fd_)) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace ostrel
