#include "production/record_spool.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/platform.h"
#include "production/tab_fields.h"

namespace ostrel {
namespace {

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
            platform::closeFile(fd);
            fd = -1;
        }
    }
    ~LockedFile() {
        if (fd >= 0) platform::closeFile(fd);
    }
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;
};

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const long n = platform::writeSome(fd, text.data() + done, text.size() - done);
        if (n == 0) errno = ENOSPC;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Appends `text` to the file at `path` (created when missing) whole or not
// at all: a write that went out in part is cut off again, which the lock
// makes safe, as nobody else appends meanwhile. On the disk when it returns
// true.
bool appendWhole(const std::string& path, const std::string& text, std::string& error) {
    LockedFile file(path, O_WRONLY | O_APPEND | O_CREAT);
    const std::optional<platform::PathInfo> before =
        file.fd < 0 ? std::nullopt : platform::fileInfo(file.fd);
    // A file that was empty may be new: its name must reach the disk too.
    if (!before || !writeAll(file.fd, text) || !platform::flushToDisk(file.fd) ||
        (before->size == 0 && !platform::flushFolderOf(path))) {
        const int why = errno;
        if (before) platform::truncateFile(file.fd, before->size);
        error = path + ": " + std::strerror(why);
        return false;
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

namespace {

// A chip started while the database was away has no row yet: its line also
// holds what starting it would have written.
std::string startOf(const ChipRow& row) {
    if (row.id != 0 || !row.sequence) return "";
    return "\t" + recordTimeText(row.time) + "\t" + escapedField(row.station) + "\t" +
           escapedField(row.programmer) + "\t" + escapedField(row.chip) + "\t" +
           escapedField(row.chipId) + "\t" + escapedField(row.command) + "\t" +
           (row.serial ? std::to_string(*row.serial) : std::string()) + "\t" +
           escapedField(row.product) + "\t" + std::to_string(*row.sequence);
}

}  // namespace

std::string RecordSpool::lineOf(const ChipRow& outcome) {
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%llu\t%08x\t",
                  static_cast<unsigned long long>(outcome.bytes), outcome.crc32);
    return std::to_string(outcome.id) + "\t" + escapedField(outcome.result) + "\t" +
           escapedField(outcome.cause) + "\t" + escapedField(outcome.message) + "\t" + numbers +
           secondsText(outcome.seconds) + (outcome.spent ? "\t1" : "\t0") + startOf(outcome) + "\n";
}

bool RecordSpool::outcomeOf(const std::string& line, ChipRow& outcome) {
    std::vector<std::string> fields;
    std::size_t from = 0;
    for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
        fields.push_back(line.substr(from, tab - from));
    fields.push_back(line.substr(from));
    // Lines of earlier releases do not say whether a number was spent.
    if (fields.size() == 8 || fields.size() == 17) {
        if (fields[7] != "0" && fields[7] != "1") return false;
        outcome.spent = fields[7] == "1";
        fields.erase(fields.begin() + 7);
    } else {
        outcome.spent = false;
    }
    if (fields.size() != 7 && fields.size() != 16) return false;
    const bool started = fields.size() == 16;
    uint64_t id = 0, bytes = 0, crc = 0;
    double seconds = 0;
    if (!whole(fields[0], id) || (id == 0) != started || id > kLargestSerial ||
        !whole(fields[4], bytes) || !whole(fields[5], crc, 16) || crc > 0xFFFFFFFFu ||
        !parseSeconds(fields[6], seconds))
        return false;
    if (!unescapedField(fields[1], outcome.result) || !unescapedField(fields[2], outcome.cause) ||
        !unescapedField(fields[3], outcome.message))
        return false;
    outcome.id = static_cast<int64_t>(id);
    outcome.bytes = bytes;
    outcome.crc32 = static_cast<uint32_t>(crc);
    outcome.seconds = seconds;
    if (!started) return true;
    uint64_t serial = 0, sequence = 0;
    const std::optional<std::time_t> time = parseRecordTime(fields[7]);
    if (!time || !unescapedField(fields[8], outcome.station) || outcome.station.empty() ||
        !unescapedField(fields[9], outcome.programmer) ||
        !unescapedField(fields[10], outcome.chip) || !unescapedField(fields[11], outcome.chipId) ||
        !unescapedField(fields[12], outcome.command) ||
        (!fields[13].empty() && (!whole(fields[13], serial) || serial > kLargestSerial)) ||
        !unescapedField(fields[14], outcome.product) || !whole(fields[15], sequence) ||
        sequence == 0 || sequence > kLargestSerial)
        return false;
    outcome.time = *time;
    if (!fields[13].empty()) outcome.serial = serial;
    outcome.sequence = sequence;
    return true;
}

bool RecordSpool::holds(const std::string& station, uint64_t sequence) const {
    LockedFile file(path_, O_RDWR);
    if (file.fd < 0) return false;
    std::string text;
    char block[4096];
    for (long n; (n = platform::readSome(file.fd, block, sizeof block)) > 0;)
        text.append(block, static_cast<std::size_t>(n));
    for (std::size_t from = 0, end; (end = text.find('\n', from)) != std::string::npos;
         from = end + 1) {
        ChipRow outcome;
        if (outcomeOf(text.substr(from, end - from), outcome) && outcome.station == station &&
            outcome.sequence == sequence)
            return true;
    }
    return false;
}

int RecordSpool::waiting() const {
    LockedFile file(path_, O_RDWR);
    if (file.fd < 0) return 0;
    int lines = 0;
    char block[4096];
    for (long n; (n = platform::readSome(file.fd, block, sizeof block)) != 0;) {
        if (n < 0) break;
        for (long i = 0; i < n; ++i) lines += block[i] == '\n';
    }
    return lines;
}

RecordSpool::RecordSpool(std::string path, std::string setAsidePath)
    : path_(std::move(path)), setAsidePath_(std::move(setAsidePath)) {
    if (!setAsidePath_.empty()) return;
    const std::size_t dot = path_.rfind(".tsv");
    setAsidePath_ = (dot == std::string::npos ? path_ : path_.substr(0, dot)) + "-set-aside.tsv";
}

bool RecordSpool::append(const ChipRow& outcome, std::string& error) const {
    return appendWhole(path_, lineOf(outcome), error);
}

bool RecordSpool::flush(StationLine& store, Flushed& flushed, std::string& error) const {
    LockedFile file(path_, O_RDWR);
    if (file.fd < 0) {
        if (errno == ENOENT) return true;
        error = path_ + ": " + std::strerror(errno);
        return false;
    }
    std::string text;
    char block[4096];
    for (long n; (n = platform::readSome(file.fd, block, sizeof block)) != 0;) {
        if (n < 0) {
            error = path_ + ": " + std::strerror(errno);
            return false;
        }
        text.append(block, static_cast<std::size_t>(n));
    }
    if (text.empty()) return true;
    std::string setAside;
    int lineNumber = 0;
    for (std::size_t from = 0; from < text.size();) {
        std::size_t end = text.find('\n', from);
        const bool cut = end == std::string::npos;
        if (cut) end = text.size();
        const std::string line = text.substr(from, end - from);
        from = end + 1;
        ++lineNumber;
        ChipRow outcome;
        std::string why;
        if (cut) {
            why = "line " + std::to_string(lineNumber) + " was cut short";
        } else if (!outcomeOf(line, outcome)) {
            why = "line " + std::to_string(lineNumber) + " cannot be read";
        } else {
            bool finished = false;
            // A chip started while the database was away is started first:
            // once, by its station and sequence number, however often sent.
            ChipRow start = outcome;
            start.result = "started";
            if (outcome.id == 0 && store.startChip(start, why)) outcome.id = start.id;
            if (outcome.id != 0 && store.finishChip(outcome, finished, why)) {
                if (finished) ++flushed.written;
                continue;
            }
            // The database went away or could not take it now: every line
            // waits for the next connection, those written now as well
            // (writing them again changes nothing).
            if (store.lost() || store.errorKind() != SqlErrorKind::Refused) {
                error = why;
                return false;
            }
            why = "line " + std::to_string(lineNumber) + ": " + why;
        }
        setAside += line + "\n";
        if (flushed.setAside++ == 0) flushed.reason = why;
    }
    if (!setAside.empty() && !appendWhole(setAsidePath_, setAside, error)) return false;
    // Every line is in the database or set aside.
    if (!platform::truncateFile(file.fd, 0) || !platform::flushToDisk(file.fd)) {
        error = path_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace ostrel
