#include "production/serial_counter.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/platform.h"

namespace ostrel {
namespace {

// Decimal, or with `hexPrefixes` hexadecimal after "0x" or "$"; a leading 0
// is no octal prefix ("01000" is one thousand). No sign, no spaces, nothing
// past 64 bits.
bool parseNumber(const std::string& text, uint64_t& value, bool hexPrefixes = true) {
    std::size_t i = 0;
    unsigned base = 10;
    if (hexPrefixes && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        i = 2;
    } else if (hexPrefixes && text.size() > 1 && text[0] == '$') {
        base = 16;
        i = 1;
    }
    if (i == text.size()) return false;
    uint64_t result = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        const unsigned digit = c >= '0' && c <= '9'   ? static_cast<unsigned>(c - '0')
                               : c >= 'a' && c <= 'f' ? static_cast<unsigned>(c - 'a' + 10)
                               : c >= 'A' && c <= 'F' ? static_cast<unsigned>(c - 'A' + 10)
                                                      : 16;
        if (digit >= base || result > (UINT64_MAX - digit) / base) return false;
        result = result * base + digit;
    }
    value = result;
    return true;
}

std::vector<std::string> fields(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    while (true) {
        const std::size_t colon = text.find(':', from);
        parts.push_back(text.substr(from, colon - from));
        if (colon == std::string::npos) return parts;
        from = colon + 1;
    }
}

// The file holds the next number as 20 decimal digits and a newline, always
// the same length, so that it is rewritten in place with one write.
constexpr std::size_t kCounterTextSize = 21;

}  // namespace

bool parseSerialFormat(const std::string& text, SerialFormat& format, std::string& error) {
    std::vector<std::string> parts = fields(text);
    SerialFormat parsed;
    if (!parts.empty() && (parts.back() == "le" || parts.back() == "be")) {
        parsed.bigEndian = parts.back() == "be";
        parts.pop_back();
    }
    uint64_t address = 0;
    uint64_t bytes = 0;
    if (parts.size() < 3 || parts.size() > 4) {
        error = "the serial number takes ADDR:BYTES:START[:STEP][:le|be]";
        return false;
    }
    if (!parseNumber(parts[0], address) || address > UINT32_MAX) {
        error = "the serial number's address " + parts[0] + " is not an address";
        return false;
    }
    if (!parseNumber(parts[1], bytes) || bytes < 1 || bytes > 8) {
        error = "the serial number takes 1 to 8 bytes, not " + parts[1];
        return false;
    }
    parsed.address = static_cast<uint32_t>(address);
    parsed.bytes = static_cast<uint32_t>(bytes);
    if (!parseNumber(parts[2], parsed.start)) {
        error = "the serial number's start " + parts[2] + " is not a number";
        return false;
    }
    if (parts.size() == 4 && (!parseNumber(parts[3], parsed.step) || parsed.step == 0)) {
        error = "the serial number's step " + parts[3] + " is not a number above 0";
        return false;
    }
    if (!serialFits(parsed.start, parsed)) {
        error = "the serial number's start " + parts[2] + " does not fit in " + parts[1] + " bytes";
        return false;
    }
    format = parsed;
    return true;
}

void stampSerial(uint8_t* at, uint64_t value, const SerialFormat& format) {
    for (uint32_t i = 0; i < format.bytes; ++i) {
        const uint32_t place = format.bigEndian ? format.bytes - 1 - i : i;
        at[place] = static_cast<uint8_t>(value >> (8 * i));
    }
}

bool serialFits(uint64_t value, const SerialFormat& format) {
    return format.bytes >= 8 || value >> (8 * format.bytes) == 0;
}

std::string serialCounterPathFor(const std::string& logPath) {
    return logPath + ".counter";
}

void continueOlderCounter(const std::string& counterPath) {
    const std::size_t slash = counterPath.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : counterPath.substr(0, slash + 1);
    char text[kCounterTextSize];
    const int older = platform::openFile(folder + kSerialCounterName, O_RDONLY);
    if (older < 0) return;
    // Read under the older counter's lock, so that no half-written number is copied.
    const bool read =
        platform::lockFile(older, false) &&
        platform::readAt(older, text, kCounterTextSize, 0) == static_cast<long>(kCounterTextSize);
    platform::closeFile(older);
    if (!read) return;
    // Written whole under another name and linked into place: a process that
    // opens the new counter meanwhile finds it complete or not at all, and of
    // two processes doing this at once the first one's copy stays.
    const std::string temporary = counterPath + ".new." + std::to_string(platform::processId());
    const int fd = platform::openFile(temporary, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    const bool written =
        platform::writeSome(fd, text, kCounterTextSize) == static_cast<long>(kCounterTextSize) &&
        platform::flushToDisk(fd);
    platform::closeFile(fd);
    if (written) platform::linkNewFile(temporary, counterPath);
    platform::removeFile(temporary);
}

SerialCounter::SerialCounter(std::string path, SerialFormat format)
    : path_(std::move(path)), format_(format) {}

template <typename Change>
bool SerialCounter::update(Change change, std::string& error) {
    const int fd = platform::openFile(path_, O_RDWR | O_CREAT, 0644);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    // Released by close(). Another process waits here until this one has
    // read and written the number.
    const bool locked = platform::lockFile(fd, true);
    char text[kCounterTextSize + 1] = {};
    const long got = locked ? platform::readAt(fd, text, kCounterTextSize, 0) : -1;
    uint64_t next = format_.start;
    bool ok = got >= 0;
    if (!ok) error = std::strerror(errno);
    // An empty file is a new counter; anything else must be a number.
    if (ok && got > 0) {
        std::string digits(text, static_cast<std::size_t>(got));
        while (!digits.empty() && (digits.back() == '\n' || digits.back() == ' '))
            digits.pop_back();
        ok = parseNumber(digits, next, false);
        if (!ok) error = "it does not hold a number";
    }
    // A start above what the file holds moves the counter up; one below never
    // moves it back, so no number comes twice.
    if (ok && next < format_.start) next = format_.start;
    if (ok) ok = change(next, error);
    if (ok) {
        char out[kCounterTextSize + 1];
        std::snprintf(out, sizeof out, "%020llu\n", static_cast<unsigned long long>(next));
        const long written = platform::writeAt(fd, out, kCounterTextSize, 0);
        // An empty file is one just created: its name must reach the disk too.
        ok = written == static_cast<long>(kCounterTextSize) && platform::flushToDisk(fd) &&
             (got > 0 || platform::flushFolderOf(path_));
        if (!ok) error = std::strerror(written < 0 ? errno : ENOSPC);
    }
    platform::closeFile(fd);
    return ok;
}

bool SerialCounter::fits(uint64_t next, std::string& why) const {
    if (serialFits(next, format_) && next <= UINT64_MAX - format_.step) return true;
    why = "the number " + std::to_string(next) + " does not fit in " +
          std::to_string(format_.bytes) + " bytes";
    return false;
}

bool SerialCounter::check(std::string& error) {
    if (held_) return true;
    return update([&](uint64_t& next, std::string& why) { return fits(next, why); }, error);
}

bool SerialCounter::take(uint64_t& value, std::string& error) {
    if (held_) {
        inUse_ = true;
        value = *held_;
        return true;
    }
    uint64_t taken = 0;
    const bool ok = update(
        [&](uint64_t& next, std::string& why) {
            if (!fits(next, why)) return false;
            taken = next;
            next += format_.step;
            return true;
        },
        error);
    if (!ok) return false;
    held_ = taken;
    inUse_ = true;
    value = taken;
    return true;
}

void SerialCounter::passed() {
    if (inUse_) held_.reset();
    inUse_ = false;
}

bool SerialCounter::failed(std::string& error) {
    if (!inUse_ || !held_) return true;
    inUse_ = false;
    const uint64_t mine = *held_;
    bool givenBack = false;
    const bool ok = update(
        [&](uint64_t& next, std::string&) {
            if (next == mine + format_.step) {
                next = mine;
                givenBack = true;
            }
            return true;
        },
        error);
    if (ok && givenBack) held_.reset();
    return ok;
}

}  // namespace ostrel
