#include "production/record_spool.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/platform.h"

namespace ostrel {
namespace {

// Tabs, newlines and backslashes of a field are escaped, so that a line is a
// chip and a tab a field.
std::string escaped(const std::string& field) {
    std::string out;
    for (const char c : field) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

bool unescaped(const std::string& field, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (++i == field.size()) return false;
        const char c = field[i];
        if (c != '\\' && c != 't' && c != 'n') return false;
        out += c == 't' ? '\t' : c == 'n' ? '\n' : '\\';
    }
    return true;
}

bool whole(const std::string& text, uint64_t& value, int base = 10) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text.c_str(), &end, base);
    return errno == 0 && *end == '\0';
}

// The spool held under an exclusive lock until it goes out of scope.
struct LockedFile {
    int fd = -1;
    explicit LockedFile(const std::string& path, int flags) {
        fd = platform::openFile(path, flags, 0600);
        if (fd < 0) return;
        if (!platform::lockFile(fd, true)) {
            ::close(fd);
            fd = -1;
        }
    }
    ~LockedFile() {
        if (fd >= 0) ::close(fd);
    }
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;
};

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string RecordSpool::pathFor(const std::string& folder, const std::string& key) {
    uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a
    for (const char c : key) hash = (hash ^ static_cast<uint8_t>(c)) * 0x100000001b3ull;
    char name[64];
    std::snprintf(name, sizeof name, "/production-spool-%016llx.tsv",
                  static_cast<unsigned long long>(hash));
    return folder + name;
}

std::string RecordSpool::lineOf(const ChipRow& outcome) {
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%llu\t%08x\t",
                  static_cast<unsigned long long>(outcome.bytes), outcome.crc32);
    return std::to_string(outcome.id) + "\t" + escaped(outcome.result) + "\t" +
           escaped(outcome.cause) + "\t" + escaped(outcome.message) + "\t" + numbers +
           secondsText(outcome.seconds) + "\n";
}

bool RecordSpool::outcomeOf(const std::string& line, ChipRow& outcome) {
    std::vector<std::string> fields;
    std::size_t from = 0;
    for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
        fields.push_back(line.substr(from, tab - from));
    fields.push_back(line.substr(from));
    if (fields.size() != 7) return false;
    uint64_t id = 0, bytes = 0, crc = 0;
    double seconds = 0;
    if (!whole(fields[0], id) || id == 0 || id > kLargestSerial || !whole(fields[4], bytes) ||
        !whole(fields[5], crc, 16) || crc > 0xFFFFFFFFu || !parseSeconds(fields[6], seconds))
        return false;
    if (!unescaped(fields[1], outcome.result) || !unescaped(fields[2], outcome.cause) ||
        !unescaped(fields[3], outcome.message))
        return false;
    outcome.id = static_cast<int64_t>(id);
    outcome.bytes = bytes;
    outcome.crc32 = static_cast<uint32_t>(crc);
    outcome.seconds = seconds;
    return true;
}

bool RecordSpool::append(const ChipRow& outcome, std::string& error) const {
    LockedFile file(path_, O_WRONLY | O_APPEND | O_CREAT);
    if (file.fd < 0 || !writeAll(file.fd, lineOf(outcome)) || !platform::flushToDisk(file.fd)) {
        error = path_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool RecordSpool::flush(ProductionStore& store, int& written, std::string& error) const {
    written = 0;
    LockedFile file(path_, O_RDWR);
    if (file.fd < 0) {
        if (errno == ENOENT) return true;
        error = path_ + ": " + std::strerror(errno);
        return false;
    }
    std::string text;
    char block[4096];
    for (ssize_t n; (n = ::read(file.fd, block, sizeof block)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = path_ + ": " + std::strerror(errno);
            return false;
        }
        text.append(block, static_cast<std::size_t>(n));
    }
    if (text.empty()) return true;
    // Line by line; a line the database did not take stops the flush, and
    // it and the lines after it stay.
    std::size_t from = 0;
    bool ok = true;
    while (from < text.size()) {
        std::size_t end = text.find('\n', from);
        // A line without its newline was cut short by a crash: not an outcome.
        if (end == std::string::npos) {
            from = text.size();
            break;
        }
        ChipRow outcome;
        bool finished = false;
        if (RecordSpool::outcomeOf(text.substr(from, end - from), outcome)) {
            if (!store.finishChip(outcome, finished, error)) {
                ok = false;
                break;
            }
            if (finished) ++written;
        }
        from = end + 1;
    }
    const std::string rest = text.substr(from);
    if (!platform::truncateFile(file.fd, 0) || !platform::rewindFile(file.fd) ||
        !writeAll(file.fd, rest) || !platform::flushToDisk(file.fd)) {
        error = path_ + ": " + std::strerror(errno);
        return false;
    }
    return ok;
}

}  // namespace ostrel
