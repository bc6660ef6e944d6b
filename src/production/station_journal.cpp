#include "production/station_journal.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <optional>

#include "base/platform.h"
#include "base/safe_file.h"
#include "buffers/checksums.h"
#include "production/tab_fields.h"

namespace ostrel {
namespace {

constexpr const char* kMagic = "ostrel-journal";
constexpr const char* kVersion = "1";

std::string crcText(const std::string& text) {
    char out[16];
    std::snprintf(out, sizeof out, "%08x",
                  crc32Of(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    return out;
}

// The fields as one line with its CRC-32, newline included.
std::string lineOf(const std::vector<std::string>& fields) {
    std::string text;
    for (const std::string& field : fields)
        text += (text.empty() ? "" : "\t") + escapedField(field);
    return text + "\t#" + crcText(text) + "\n";
}

std::optional<uint64_t> numberOf(const std::string& text) {
    if (text.empty() || text.size() > 19 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const uint64_t value = std::strtoull(text.c_str(), nullptr, 10);
    if (value > kLargestSerial) return std::nullopt;
    return value;
}

// One line's meaning applied to `state`; the error when it makes no sense.
std::string applyLine(const std::vector<std::string>& f, JournalState& state) {
    const std::string& kind = f[0];
    if (kind == "lease" && f.size() == 6) {
        Lease lease;
        const auto id = numberOf(f[2]), first = numberOf(f[3]), last = numberOf(f[4]),
                   step = numberOf(f[5]);
        if (!id || !first || !last || !step || *step == 0 || *last < *first ||
            (*last - *first) % *step != 0)
            return "a lease that is no block of numbers";
        lease.id = static_cast<int64_t>(*id);
        lease.product = f[1];
        lease.station = state.station;
        lease.first = *first;
        lease.last = *last;
        lease.step = *step;
        lease.numbers = (*last - *first) / *step + 1;
        JournalState::ProductLeases& leases = state.products[f[1]];
        for (const Lease& held : leases.leases)
            if (held.id == lease.id || (lease.first <= held.last && held.first <= lease.last))
                return "a lease that overlaps an earlier one";
        leases.leases.push_back(lease);
        leases.handed.push_back(0);
        leases.dropped.push_back(false);
        return {};
    }
    // A draw names the process that made it since the journal learnt
    // reclaims; one without came from a program that did not.
    if (kind == "draw" && (f.size() == 4 || f.size() == 5)) {
        const auto sequence = numberOf(f[2]), number = numberOf(f[3]);
        if (!sequence || !number || *sequence < state.nextSequence) return "a draw out of sequence";
        JournalState::ProductLeases& leases = state.products[f[1]];
        if (leases.returned.erase(*number) == 0) {
            // A fresh number: the next of the oldest lease that has one.
            const std::size_t at = leases.nextFresh();
            if (at == leases.leases.size() ||
                *number != leases.leases[at].first + leases.handed[at] * leases.leases[at].step)
                return "a number drawn that no lease holds next";
            ++leases.handed[at];
        }
        state.nextSequence = *sequence + 1;
        state.open[*sequence] = {f[1], *number, f.size() == 5 ? f[4] : std::string()};
        return {};
    }
    if ((kind == "back" && f.size() == 2) || (kind == "spent" && f.size() == 3) ||
        (kind == "done" && f.size() == 2)) {
        const auto sequence = numberOf(f[1]);
        const auto drawn = sequence ? state.open.find(*sequence) : state.open.end();
        if (drawn == state.open.end()) return "a chip that drew no number";
        JournalState::ProductLeases& leases = state.products[drawn->second.product];
        const std::size_t at = leases.leaseOf(drawn->second.number);
        // A number of a reclaimed lease is not drawn again.
        if (kind == "back" && at < leases.leases.size() && !leases.dropped[at])
            leases.returned.insert(drawn->second.number);
        state.open.erase(drawn);
        return {};
    }
    // What a compacted journal says in place of the lines it left out: the
    // next sequence number, how many numbers of a lease were drawn, a number
    // given back, and a draw still open.
    if (kind == "next" && f.size() == 2) {
        const auto sequence = numberOf(f[1]);
        if (!sequence || *sequence < state.nextSequence) return "a sequence number gone back";
        state.nextSequence = *sequence;
        return {};
    }
    if ((kind == "handed" && f.size() == 4) || (kind == "returned" && f.size() == 3) ||
        (kind == "open" && f.size() == 5)) {
        JournalState::ProductLeases& leases = state.products[f[1]];
        const auto a = numberOf(f[2]), b = f.size() > 3 ? numberOf(f[3]) : a;
        if (!a || !b) return "a number that cannot be read";
        if (kind == "handed") {
            for (std::size_t i = 0; i < leases.leases.size(); ++i)
                if (leases.leases[i].id == static_cast<int64_t>(*a) &&
                    *b <= leases.leases[i].numbers) {
                    leases.handed[i] = *b;
                    return {};
                }
            return "numbers drawn of a lease that the journal does not hold";
        }
        if (kind == "returned") {
            if (leases.leaseOf(*a) == leases.leases.size()) return "a number of no lease";
            leases.returned.insert(*a);
            return {};
        }
        if (*a >= state.nextSequence) return "an open draw out of sequence";
        // The number was drawn from a lease of its product, is not back in
        // it, and no other chip holds it.
        const std::size_t at = leases.leaseOf(*b);
        if (at == leases.leases.size() ||
            (*b - leases.leases[at].first) / leases.leases[at].step >= leases.handed[at] ||
            leases.returned.count(*b) != 0 || state.open.count(*a) != 0)
            return "an open draw of a number no lease handed out";
        for (const auto& [sequence, drawn] : state.open)
            if (drawn.product == f[1] && drawn.number == *b)
                return "an open draw of a number another chip holds";
        state.open[*a] = {f[1], *b, f[4]};
        return {};
    }
    if (kind == "reclaimed" && f.size() == 2) {
        const auto id = numberOf(f[1]);
        for (auto& [product, leases] : state.products)
            for (std::size_t i = 0; i < leases.leases.size(); ++i) {
                if (!id || leases.leases[i].id != static_cast<int64_t>(*id)) continue;
                leases.dropped[i] = true;
                for (auto n = leases.returned.begin(); n != leases.returned.end();)
                    n = leases.leaseOf(*n) == i ? leases.returned.erase(n) : std::next(n);
                return {};
            }
        return "a reclaimed lease that the journal does not hold";
    }
    return "a line of no known kind";
}

// The journal held under an exclusive lock until it goes out of scope.
// A journal replaced while this process waited for its lock is opened again:
// the lock and the lines go to the file under the name.
struct LockedJournal {
    int fd = -1;
    std::optional<platform::PathInfo> info;
    LockedJournal(const std::string& path, int flags) {
        for (int tries = 0; tries < 100; ++tries) {
            fd = platform::openFile(path, flags, 0600);
            if (fd < 0) return;
            if (platform::lockFile(fd, true)) {
                info = platform::fileInfo(fd);
                const std::optional<platform::PathInfo> named = platform::pathInfo(path);
                if (info && named && named->device == info->device && named->file == info->file)
                    return;
            }
            platform::closeFile(fd);
            fd = -1;
        }
    }
    ~LockedJournal() {
        if (fd >= 0) platform::closeFile(fd);
    }
    LockedJournal(const LockedJournal&) = delete;
    LockedJournal& operator=(const LockedJournal&) = delete;
};

bool readAll(int fd, std::string& text) {
    text.clear();
    char block[8192];
    for (int64_t at = 0;;) {
        const long n = platform::readAt(fd, block, sizeof block, at);
        if (n < 0) return false;
        if (n == 0) return true;
        text.append(block, static_cast<std::size_t>(n));
        at += n;
    }
}

// Appends the whole text or, when the disk takes only a part, cuts it off
// again; on the disk when it returns true.
bool appendWhole(int fd, int64_t size, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const long n = platform::writeSome(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            const int why = errno;
            platform::truncateFile(fd, size);
            errno = why;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (platform::flushToDisk(fd)) return true;
    const int why = errno;
    platform::truncateFile(fd, size);
    errno = why;
    return false;
}

// The journal's state in as few lines as say it: the leases that still
// hold a number to draw, a number given back or an open draw, each with how
// many of its numbers were drawn; the numbers given back; the open draws.
std::string compactedText(const JournalState& state, int& lines) {
    std::vector<std::vector<std::string>> out = {{kMagic, kVersion, state.identity, state.station},
                                                 {"next", std::to_string(state.nextSequence)}};
    for (const auto& [product, leases] : state.products) {
        for (std::size_t i = 0; i < leases.leases.size(); ++i) {
            const Lease& l = leases.leases[i];
            bool needed = !leases.dropped[i] && leases.handed[i] < l.numbers;
            for (const uint64_t n : leases.returned) needed |= leases.leaseOf(n) == i;
            for (const auto& [sequence, drawn] : state.open)
                needed |= drawn.product == product && leases.leaseOf(drawn.number) == i;
            if (!needed) continue;
            out.push_back({"lease", product, std::to_string(l.id), std::to_string(l.first),
                           std::to_string(l.last), std::to_string(l.step)});
            if (leases.handed[i] > 0)
                out.push_back(
                    {"handed", product, std::to_string(l.id), std::to_string(leases.handed[i])});
            if (leases.dropped[i]) out.push_back({"reclaimed", std::to_string(l.id)});
        }
        for (const uint64_t n : leases.returned)
            out.push_back({"returned", product, std::to_string(n)});
    }
    for (const auto& [sequence, drawn] : state.open)
        out.push_back({"open", drawn.product, std::to_string(sequence),
                       std::to_string(drawn.number), drawn.owner});
    std::string text;
    for (const auto& fields : out) text += lineOf(fields);
    lines = static_cast<int>(out.size());
    return text;
}

// Whether two states hand out the same numbers from now on.
bool sameFuture(const JournalState& a, const JournalState& b) {
    if (a.nextSequence != b.nextSequence || a.open.size() != b.open.size()) return false;
    for (const auto& [sequence, drawn] : a.open) {
        const auto other = b.open.find(sequence);
        if (other == b.open.end() || other->second.number != drawn.number ||
            other->second.owner != drawn.owner)
            return false;
    }
    const auto nextFresh = [](const JournalState::ProductLeases& leases) -> uint64_t {
        const std::size_t at = leases.nextFresh();
        if (at == leases.leases.size()) return 0;
        return leases.leases[at].first + leases.handed[at] * leases.leases[at].step;
    };
    for (const auto& [product, leases] : a.products) {
        const auto other = b.products.find(product);
        if (leases.left() == 0 && (other == b.products.end() || other->second.left() == 0))
            continue;
        if (other == b.products.end() || other->second.left() != leases.left() ||
            other->second.returned != leases.returned ||
            nextFresh(other->second) != nextFresh(leases))
            return false;
    }
    return true;
}

}  // namespace

uint64_t JournalState::ProductLeases::left() const {
    uint64_t count = returned.size();
    for (std::size_t i = 0; i < leases.size(); ++i)
        if (!dropped[i]) count += leases[i].numbers - handed[i];
    return count;
}

std::size_t JournalState::ProductLeases::leaseOf(uint64_t number) const {
    for (std::size_t i = 0; i < leases.size(); ++i)
        if (number >= leases[i].first && number <= leases[i].last) return i;
    return leases.size();
}

std::size_t JournalState::ProductLeases::nextFresh() const {
    std::size_t at = 0;
    while (at < leases.size() && (dropped[at] || handed[at] == leases[at].numbers)) ++at;
    return at;
}

bool parseJournal(const std::string& text, JournalState& state, std::string& error) {
    state = JournalState{};
    int number = 0;
    for (std::size_t from = 0; from < text.size();) {
        ++number;
        const std::string where = "line " + std::to_string(number) + ": ";
        const std::size_t end = text.find('\n', from);
        if (end == std::string::npos) {
            error = where + "cut short";
            return false;
        }
        const std::string line = text.substr(from, end - from);
        from = end + 1;
        const std::size_t mark = line.rfind("\t#");
        if (mark == std::string::npos || line.size() - mark != 10 ||
            line.substr(mark + 2) != crcText(line.substr(0, mark))) {
            error = where + "its check sum does not match: edited or damaged";
            return false;
        }
        std::vector<std::string> fields;
        const std::string body = line.substr(0, mark);
        std::size_t at = 0;
        for (std::size_t tab; (tab = body.find('\t', at)) != std::string::npos; at = tab + 1)
            fields.push_back(body.substr(at, tab - at));
        fields.push_back(body.substr(at));
        for (std::string& field : fields) {
            std::string plain;
            if (!unescapedField(field, plain)) {
                error = where + "a field that cannot be read";
                return false;
            }
            field = plain;
        }
        if (number == 1) {
            if (fields.size() != 4 || fields[0] != kMagic || fields[1] != kVersion) {
                error = where + "not the head of a station's journal of this program";
                return false;
            }
            state.identity = fields[2];
            state.station = fields[3];
            continue;
        }
        const std::string wrong = applyLine(fields, state);
        if (!wrong.empty()) {
            error = where + wrong;
            return false;
        }
    }
    return true;
}

StationJournal::StationJournal(std::string path, std::string identity, std::string station)
    : path_(std::move(path)), identity_(std::move(identity)), station_(std::move(station)) {}

std::string StationJournal::pathFor(const std::string& folder, const std::string& identity) {
    uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a
    for (const char c : identity) hash = (hash ^ static_cast<uint8_t>(c)) * 0x100000001b3ull;
    char name[64];
    std::snprintf(name, sizeof name, "/production-journal-%016llx.tsv",
                  static_cast<unsigned long long>(hash));
    return folder + name;
}

template <typename Change>
bool StationJournal::update(Change change, std::string& error) const {
    LockedJournal file(path_, O_RDWR | O_APPEND | O_CREAT);
    if (file.fd < 0 || !file.info) {
        error = path_ + ": " + std::strerror(errno);
        return false;
    }
    const platform::PathInfo& info = *file.info;
    JournalState state;
    // Read again only when another process wrote since.
    // Where the system does not say which file it is (Windows), always.
    if (cache_ && info.file != 0 && cacheDevice_ == info.device && cacheFile_ == info.file &&
        cacheSize_ == info.size) {
        state = *cache_;
    } else {
        cache_.reset();
        std::string text, wrong;
        if (!readAll(file.fd, text)) {
            error = path_ + ": " + std::strerror(errno);
            return false;
        }
        if (!parseJournal(text, state, wrong)) {
            error = "the station's journal " + path_ + " cannot be read whole (" + wrong +
                    "); it is left as it is";
            return false;
        }
        if (static_cast<int64_t>(text.size()) != info.size) {
            error = path_ + ": it changed while it was read under its lock";
            return false;
        }
        cacheLines_ = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    }
    std::string lines;
    if (info.size == 0) {
        lines = lineOf({kMagic, kVersion, identity_, station_});
        state.identity = identity_;
        state.station = station_;
    } else if (state.identity != identity_ || state.station != station_) {
        error = "the station's journal " + path_ + " belongs to " + state.station + " on " +
                state.identity + ", not to " + station_ + " on " + identity_ +
                "; it is left as it is";
        return false;
    }
    std::vector<std::string> fields;
    const JournalState before = state;
    if (!change(state, fields, error)) return false;
    state = before;
    if (!fields.empty()) lines += lineOf(fields);
    // A new journal's name reaches the disk with its first line.
    if (!lines.empty() && (!appendWhole(file.fd, info.size, lines) ||
                           (info.size == 0 && !platform::flushFolderOf(path_)))) {
        error = path_ + ": " + std::strerror(errno);
        cache_.reset();
        return false;
    }
    if (!fields.empty() && !applyLine(fields, state).empty()) {
        cache_.reset();  // never so: the next change reads the file
        return true;
    }
    cache_ = std::move(state);
    cacheDevice_ = info.device;
    cacheFile_ = info.file;
    cacheSize_ = info.size + static_cast<int64_t>(lines.size());
    cacheLines_ += static_cast<int>(std::count(lines.begin(), lines.end(), '\n'));
    // A journal is replaced only where the other processes can tell.
    if (cacheLines_ >= kCompactFrom && info.file != 0) compact();
    return true;
}

void StationJournal::compact() const {
    int lines = 0;
    const std::string text = compactedText(*cache_, lines);
    if (lines * 4 > cacheLines_) return;  // the lines that would go do not dominate
    JournalState check;
    std::string wrong;
    // Written only when it says what the journal says.
    if (!parseJournal(text, check, wrong) || !sameFuture(*cache_, check) ||
        !sameFuture(check, *cache_))
        return;
    FileReplacement replacement(path_);
    if (!replacement.ready() || replacement.inPlace() ||
        !writeAll(replacement.fd(), text.data(), text.size()) || !replacement.commit())
        return;  // the journal stays as it was, appended to
    const std::optional<platform::PathInfo> info = platform::pathInfo(path_);
    if (!info) {
        cache_.reset();
        return;
    }
    cache_ = std::move(check);
    cacheDevice_ = info->device;
    cacheFile_ = info->file;
    cacheSize_ = info->size;
    cacheLines_ = lines;
}

bool StationJournal::read(JournalState& state, std::string& error) const {
    return update(
        [&](JournalState& now, std::vector<std::string>&, std::string&) {
            state = now;
            return true;
        },
        error);
}

bool StationJournal::addLease(const Lease& lease, std::string& error) const {
    return update(
        [&](JournalState&, std::vector<std::string>& fields, std::string&) {
            fields = {"lease",
                      lease.product,
                      std::to_string(lease.id),
                      std::to_string(lease.first),
                      std::to_string(lease.last),
                      std::to_string(lease.step)};
            return true;
        },
        error);
}

bool StationJournal::draw(const std::string& product, uint64_t& sequence, uint64_t& number,
                          uint64_t& left, std::string& error) const {
    error.clear();
    if (!claimOwner(error)) return false;
    return update(
        [&](JournalState& state, std::vector<std::string>& fields, std::string&) {
            JournalState::ProductLeases& leases = state.products[product];
            left = leases.left();
            if (left == 0) return false;
            if (!leases.returned.empty()) {
                number = *leases.returned.begin();
            } else {
                const std::size_t at = leases.nextFresh();
                number = leases.leases[at].first + leases.handed[at] * leases.leases[at].step;
            }
            sequence = state.nextSequence;
            --left;
            fields = {"draw", product, std::to_string(sequence), std::to_string(number), owner_};
            return true;
        },
        error);
}

bool StationJournal::close(uint64_t sequence, std::string& error) const {
    return update(
        [&](JournalState& state, std::vector<std::string>& fields, std::string& why) {
            if (state.open.count(sequence) == 0) {
                why = "chip " + std::to_string(sequence) + " holds no number drawn";
                return false;
            }
            fields = {"done", std::to_string(sequence)};
            return true;
        },
        error);
}

bool StationJournal::dropLease(int64_t leaseId, std::string& error) const {
    return update(
        [&](JournalState& state, std::vector<std::string>& fields, std::string&) {
            for (const auto& [product, leases] : state.products)
                for (std::size_t i = 0; i < leases.leases.size(); ++i)
                    if (leases.leases[i].id == leaseId && !leases.dropped[i])
                        fields = {"reclaimed", std::to_string(leaseId)};
            return true;  // none such, or dropped before: nothing to write
        },
        error);
}

std::string StationJournal::ownerPath(const std::string& owner) const {
    const std::size_t dot = path_.rfind(".tsv");
    return (dot == std::string::npos ? path_ : path_.substr(0, dot)) + "-owner-" + owner;
}

bool StationJournal::claimOwner(std::string& error) const {
    if (ownerFd_ >= 0) return true;
    static int claimed = 0;  // several journals of one process have names of their own
    const std::string owner = std::to_string(platform::processId()) + "-" +
                              std::to_string(std::time(nullptr)) + "-" + std::to_string(++claimed);
    const std::string path = ownerPath(owner);
    const int fd = platform::openFile(path, O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || !platform::tryLockFile(fd)) {
        error = path + ": " + std::strerror(errno);
        if (fd >= 0) platform::closeFile(fd);
        return false;
    }
    owner_ = owner;
    ownerFd_ = fd;
    return true;
}

bool StationJournal::ownerAlive(const std::string& owner) const {
    if (owner.empty()) return false;
    if (owner == owner_) return true;
    const std::string path = ownerPath(owner);
    const int fd = platform::openFile(path, O_RDWR, 0600);
    if (fd < 0) return false;  // ended, its file removed
    const bool gone = platform::tryLockFile(fd);
    if (gone) platform::removeFile(path);
    platform::closeFile(fd);
    return !gone;
}

StationJournal::~StationJournal() {
    if (ownerFd_ < 0) return;
    platform::removeFile(ownerPath(owner_));
    platform::closeFile(ownerFd_);
}

bool StationJournal::giveBack(uint64_t sequence, std::string& error) const {
    return update(
        [&](JournalState& state, std::vector<std::string>& fields, std::string& why) {
            if (state.open.count(sequence) == 0) {
                why = "chip " + std::to_string(sequence) + " holds no number drawn";
                return false;
            }
            fields = {"back", std::to_string(sequence)};
            return true;
        },
        error);
}

bool StationJournal::spend(uint64_t sequence, const std::string& cause, std::string& error) const {
    return update(
        [&](JournalState& state, std::vector<std::string>& fields, std::string& why) {
            if (state.open.count(sequence) == 0) {
                why = "chip " + std::to_string(sequence) + " holds no number drawn";
                return false;
            }
            fields = {"spent", std::to_string(sequence), cause};
            return true;
        },
        error);
}

bool StationJournal::left(const std::string& product, uint64_t& count, std::string& error) const {
    JournalState state;
    if (!read(state, error)) return false;
    const auto found = state.products.find(product);
    count = found == state.products.end() ? 0 : found->second.left();
    return true;
}

}  // namespace ostrel
