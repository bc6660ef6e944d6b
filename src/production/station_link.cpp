#include "production/station_link.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>

#include "base/platform.h"
#include "base/safe_file.h"
#include "production/line_client.h"

namespace ostrel {

std::string stationName() {
    const char* named = std::getenv("OSTREL_STATION");
    if (named != nullptr && *named != '\0') return named;
    const std::string host = platform::hostName();
    return host.empty() ? "localhost" : host;
}

StationLink::StationLink(std::string url, std::string stateFolder)
    : url_(std::move(url)), folder_(std::move(stateFolder)) {}

StationLink::~StationLink() {
    {
        std::lock_guard<std::mutex> hold(beatMutex_);
        beatStop_ = true;
    }
    beatWake_.notify_all();
    if (beatThread_.joinable()) beatThread_.join();
}

namespace {

// A field of the file of what was last seen: no tab nor line break in it.
bool plain(const std::string& field) {
    return field.find_first_of("\t\n") == std::string::npos;
}

bool number(const std::string& text, uint64_t& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
    errno = 0;
    value = std::strtoull(text.c_str(), nullptr, 10);
    return errno == 0;
}

}  // namespace

void StationLink::useIdentity(const std::string& identity) {
    if (journal_ && identity == identity_) return;
    identity_ = identity;
    spool_ = RecordSpool(RecordSpool::pathFor(folder_, identity));
    journal_ = std::make_unique<StationJournal>(StationJournal::pathFor(folder_, identity),
                                                identity, station);
}

std::string StationLink::lastSeenPath() const {
    // Beside the spool of the URL's spelling, which names the URL the same way.
    std::string path = RecordSpool::pathFor(folder_, url_);
    const std::size_t at = path.rfind("production-spool-");
    return path.replace(at, 17, "production-seen-");
}

bool StationLink::readLastSeen(std::string& identity, std::vector<Product>& products) const {
    FILE* file = std::fopen(lastSeenPath().c_str(), "r");
    if (file == nullptr) return false;
    std::string text;
    char block[4096];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;) text.append(block, n);
    std::fclose(file);
    std::istringstream lines(text);
    std::string line;
    identity.clear();
    products.clear();
    while (std::getline(lines, line)) {
        std::vector<std::string> f;
        std::size_t from = 0;
        for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
            f.push_back(line.substr(from, tab - from));
        f.push_back(line.substr(from));
        if (f.size() == 2 && f[0] == "identity") {
            identity = f[1];
            continue;
        }
        Product p;
        uint64_t lease = 0, address = 0, bytes = 0, start = 0, step = 0;
        // A line that cannot be read is not guessed at: that product is not
        // known while the database is away.
        if (f.size() != 10 || f[0] != "product" || !number(f[4], lease)) continue;
        p.name = f[1];
        p.chip = f[2];
        p.imageSha256 = f[3];
        p.leaseSize = lease;
        if (f[5] != "-") {
            if (!number(f[5], address) || !number(f[6], bytes) || !number(f[7], start) ||
                !number(f[8], step) || address > 0xFFFFFFFFu || bytes < 1 || bytes > 8 ||
                step == 0 || (f[9] != "le" && f[9] != "be"))
                continue;
            p.serial = SerialFormat{static_cast<uint32_t>(address), static_cast<uint32_t>(bytes),
                                    start, step, f[9] == "be"};
        }
        products.push_back(p);
    }
    return !identity.empty();
}

void StationLink::rememberSeen(const std::string& identity,
                               const std::vector<Product>& products) const {
    std::string known;
    std::vector<Product> kept;
    // The products seen before stay, unless these replace them.
    if (readLastSeen(known, kept) && known != identity) kept.clear();
    for (const Product& p : products) {
        kept.erase(std::remove_if(kept.begin(), kept.end(),
                                  [&](const Product& k) { return k.name == p.name; }),
                   kept.end());
        kept.push_back(p);
    }
    std::string text = "identity\t" + identity + "\n";
    for (const Product& p : kept) {
        if (!plain(p.name) || !plain(p.chip) || !plain(p.imageSha256)) continue;
        text += "product\t" + p.name + "\t" + p.chip + "\t" + p.imageSha256 + "\t" +
                std::to_string(p.leaseSize) + "\t";
        if (p.serial)
            text += std::to_string(p.serial->address) + "\t" + std::to_string(p.serial->bytes) +
                    "\t" + std::to_string(p.serial->start) + "\t" + std::to_string(p.serial->step) +
                    (p.serial->bigEndian ? "\tbe" : "\tle");
        else
            text += "-\t-\t-\t-\t-";
        text += "\n";
    }
    // Written whole beside and renamed over: a crash leaves the old or the new.
    // The file beside is this process's own, as the station's programmers
    // write theirs at the same time.
    const std::string path = lastSeenPath();
    const std::string fresh = path + ".new-" + std::to_string(platform::processId());
    const int fd = platform::openFile(fresh, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) return;  // the station then cannot go on without the database
    const bool written =
        platform::writeSome(fd, text.data(), text.size()) == static_cast<long>(text.size()) &&
        platform::flushToDisk(fd);
    platform::closeFile(fd);
    // Windows' rename does not replace a file that is there: the platform's does.
    if (!written || !platform::replaceFile(fresh, path)) platform::removeFile(fresh);
}

bool StationLink::connect(std::string& error) {
    flushed_ = {};
    if (!line_) {
        std::unique_ptr<StationLine> line;
        ProductionStore* direct = nullptr;
        if (isLineServerUrl(url_)) {
            line = LineClient::open(url_, lineToken, error);
        } else {
            std::unique_ptr<ProductionStore> store = ProductionStore::open(url_, error);
            direct = store.get();
            line = std::move(store);
        }
        std::string identity;
        if (!line || !line->identity(identity, error)) return false;
        line_ = std::move(line);
        direct_ = direct;
        useIdentity(identity);
        rememberSeen(identity, {});
    } else if (!line_->reconnect(error)) {
        return false;
    }
    // Earlier releases named the spool after the URL as it was typed.
    const RecordSpool older(RecordSpool::pathFor(folder_, url_), spool_.setAsidePath());
    if (older.path() != spool_.path() && !older.flush(*line_, flushed_, error)) return false;
    if (!spool_.flush(*line_, flushed_, error)) return false;
    offline_ = false;
    settled_ = {};
    learnReclaims();
    settleOrphans();
    reportIn("");
    return true;
}

void StationLink::learnReclaims() {
    std::vector<Lease> all;
    std::string ignored;  // learnt at the next connection, or when a start is refused
    if (!line_->leases("", all, ignored)) return;
    for (const Lease& lease : all)
        if (lease.station == station && lease.reclaimed) journal_->dropLease(lease.id, ignored);
}

void StationLink::settleOrphans() {
    JournalState state;
    std::string ignored;  // what is not settled now is at the next connection
    if (!fileExists(journal_->path()) || !journal_->read(state, ignored)) return;
    for (const auto& [sequence, drawn] : state.open) {
        if (journal_->ownerAlive(drawn.owner)) continue;
        // Its process put the chip's outcome in the spool before it ended,
        // after this connection wrote the spool: the next one writes it.
        if (spool_.holds(station, sequence)) continue;
        std::optional<ChipRow> row;
        if (!line_->findStationChip(station, sequence, row, ignored)) return;
        // The outcome reached the database before the journal heard of it.
        if (row && row->result != "started") {
            if (row->result == "done")
                journal_->close(sequence, ignored);
            else
                journal_->spend(sequence, row->cause, ignored);
            continue;
        }
        ChipRow chip;
        if (row) {
            chip = *row;
        } else {
            chip.time = std::time(nullptr);
            chip.station = station;
            chip.command = "auto";
            chip.serial = drawn.number;
            chip.product = drawn.product;
            chip.sequence = sequence;
            std::string why;
            if (!line_->startChip(chip, why)) {
                if (!line_->handedOutAgain()) return;
                // Its number is another chip's now: the station's chip, if
                // it holds the number, is named to the user.
                journal_->spend(sequence, kStationStoppedCause, ignored);
                if (settled_.refused++ == 0) settled_.refusal = why;
                continue;
            }
        }
        chip.result = "failed";
        chip.cause = kStationStoppedCause;
        chip.message =
            "The station stopped during this chip: its serial number may be on it and is not "
            "given to another chip.";
        chip.spent = true;
        bool finished = false;
        if (!line_->finishChip(chip, finished, ignored)) return;
        journal_->spend(sequence, kStationStoppedCause, ignored);
        ++settled_.spent;
    }
}

void StationLink::reportIn(const std::string& only) {
    JournalState state;
    std::string ignored;  // the next report says it
    if (!fileExists(journal_->path()) || !journal_->read(state, ignored)) return;
    const int waiting = spool_.waiting();
    for (const auto& [name, leases] : state.products) {
        if (!only.empty() && name != only) continue;
        StationReport report{station, name, leases.left(), 0, std::time(nullptr)};
        // The spool's outcomes are counted with the product made.
        if (product && product->name == name) report.waiting = static_cast<uint64_t>(waiting);
        for (const auto& [sequence, drawn] : state.open)
            if (drawn.product == name && !journal_->ownerAlive(drawn.owner)) ++report.waiting;
        if (!line_->report(report, ignored)) return;
    }
}

bool StationLink::goOffline() {
    if (!journal_) {
        std::string identity;
        std::vector<Product> products;
        if (!readLastSeen(identity, products)) return false;
        useIdentity(identity);
    }
    offline_ = true;
    return true;
}

bool StationLink::listProducts(std::vector<Product>& products, std::string& error) {
    std::string identity;
    if (offline_) return readLastSeen(identity, products);
    if (!line_->listProducts(products, error)) return false;
    rememberSeen(identity_, products);
    return true;
}

bool StationLink::findProduct(const std::string& name, std::optional<Product>& found,
                              std::string& error) {
    found.reset();
    if (offline_) {
        std::vector<Product> products;
        listProducts(products, error);
        for (const Product& p : products)
            if (p.name == name) found = p;
        return true;
    }
    if (!line_->findProduct(name, found, error)) {
        // Gone since the connection: go on from what was last seen of it.
        if (line_->lost() && goOffline()) return findProduct(name, found, error);
        return false;
    }
    if (found) rememberSeen(identity_, {*found});
    return true;
}

bool StationLink::leaseUsedUp(uint64_t& gave) const {
    gave = gave_;
    return usedUp_;
}

bool StationLink::holding(uint64_t& leaseLeft, int& waiting) const {
    std::string ignored;  // nothing to show then
    if (!product || !product->serial || !journal_ ||
        !journal_->left(product->name, leaseLeft, ignored))
        return false;
    waiting = spool_.waiting();
    return true;
}

bool StationLink::draw(ChipRow& row, std::string& error) {
    uint64_t sequence = 0, number = 0, left = 0;
    if (journal_->draw(row.product, sequence, number, left, error)) {
        row.serial = number;
        row.sequence = sequence;
        return true;
    }
    if (!error.empty()) return false;
    Lease lease;
    if (!line_->takeLease(row.product, station, lease, error) ||
        !journal_->addLease(lease, error) ||
        !journal_->draw(row.product, sequence, number, left, error))
        return false;
    row.serial = number;
    row.sequence = sequence;
    return true;
}

bool StationLink::startOffline(ChipRow& row, std::string& error) {
    // Only numbers of the lease can be given without the database.
    if (!product || !product->serial || !goOffline()) return false;
    uint64_t sequence = 0, number = 0, left = 0;
    std::string why;
    if (journal_->draw(row.product, sequence, number, left, why)) {
        row.id = 0;
        row.serial = number;
        row.sequence = sequence;
        return true;
    }
    if (!why.empty()) {
        error = why;
        return false;
    }
    JournalState state;
    usedUp_ = journal_->read(state, why);
    gave_ = 0;
    const auto leases = state.products.find(row.product);
    if (leases != state.products.end())
        for (const uint64_t handed : leases->second.handed) gave_ += handed;
    return false;
}

bool StationLink::start(ChipRow& row, std::string& error) {
    usedUp_ = false;
    row.station = station;
    row.product = product ? product->name : std::string();
    row.serial.reset();
    row.sequence.reset();
    if ((!line_ || line_->lost() || offline_) && !connect(error)) return startOffline(row, error);
    if (product && product->serial && !draw(row, error)) return false;
    // A server that restarted since the last chip is found out by the first
    // statement: connect again and try once more. Should the lost attempt
    // have committed after all, its row stays started and its number unused.
    // One that could not be done now (a conflict, a lock) is tried once more.
    if (line_->startChip(row, error) ||
        (line_->errorKind() == SqlErrorKind::Retry && line_->startChip(row, error)) ||
        (line_->lost() && connect(error) && line_->startChip(row, error)))
        return true;
    // The lease was reclaimed meanwhile and its number handed out again: the
    // station drops the lease and draws a number of another.
    if (row.sequence && line_->handedOutAgain()) {
        std::string ignored;  // a number left drawn is only never drawn again
        learnReclaims();
        journal_->giveBack(*row.sequence, ignored);
        if (!draw(row, error)) return false;
        if (line_->startChip(row, error)) return true;
    }
    // The database went away: the chip goes on with its number, and its
    // start is sent again with its outcome (should the lost attempt have
    // committed, that start finds its row).
    if (row.sequence && (!line_ || line_->lost()) && goOffline()) {
        row.id = 0;
        return true;
    }
    // Nothing was written: the number goes back to the lease.
    std::string ignored;  // a number left drawn is only never drawn again
    if (row.sequence) journal_->giveBack(*row.sequence, ignored);
    return false;
}

void StationLink::topUp() {
    if (!product || !product->serial || !journal_ || !line_ || line_->lost()) return;
    uint64_t left = 0;
    std::string ignored;  // the next chip tries again
    if (!journal_->left(product->name, left, ignored) || left * 2 >= product->leaseSize) return;
    Lease lease;
    if (line_->takeLease(product->name, station, lease, ignored))
        journal_->addLease(lease, ignored);
}

StationLink::Kept StationLink::finish(const ChipRow& finished, bool writeBegun, std::string& error,
                                      std::string& spoolError) {
    ChipRow outcome = finished;
    std::string ignored;  // a number left drawn is only never drawn again
    if (outcome.sequence && outcome.result != "done") {
        outcome.spent = writeBegun;
        if (writeBegun)
            journal_->spend(*outcome.sequence, outcome.cause, ignored);
        else
            journal_->giveBack(*outcome.sequence, ignored);
    }
    Kept kept = Kept::Lost;
    bool written = false;
    // A chip started while the database was away waits in the spool for its
    // start to be written first, in the order the chips ran.
    if (outcome.id == 0) {
        error.clear();
        kept = spool_.append(outcome, spoolError) ? Kept::Spooled : Kept::Lost;
    } else if (line_ && line_->finishChip(outcome, written, error)) {
        kept = Kept::Stored;
    } else {
        kept = spool_.append(outcome, spoolError) ? Kept::Spooled : Kept::Lost;
    }
    // The chip's draw is closed once its outcome is kept: a draw left open
    // is spent when its process is gone.
    if (outcome.sequence && outcome.result == "done" && kept != Kept::Lost)
        journal_->close(*outcome.sequence, ignored);
    if (kept == Kept::Stored) {
        topUp();
        if (product) reportIn(product->name);
    }
    return kept;
}

ProgrammerBeat& StationLink::programmerBeat(const std::string& serial) {
    for (ProgrammerBeat& p : beat_.programmers)
        if (p.serial == serial) return p;
    beat_.programmers.push_back({});
    beat_.programmers.back().serial = serial;
    return beat_.programmers.back();
}

void StationLink::tellProgrammer(const std::string& serial, const std::string& state,
                                 int progress) {
    if (!isLineServerUrl(url_)) return;
    {
        std::lock_guard<std::mutex> hold(beatMutex_);
        ProgrammerBeat& p = programmerBeat(serial);
        p.state = state;
        p.progress = progress;
    }
    beatChanged();
}

void StationLink::tellFinished(const std::string& serial, const std::string& state,
                               const std::string& result, std::optional<uint64_t> number) {
    if (!isLineServerUrl(url_)) return;
    {
        std::lock_guard<std::mutex> hold(beatMutex_);
        ProgrammerBeat& p = programmerBeat(serial);
        p.state = state;
        p.progress = 0;
        p.lastResult = result;
        p.lastSerial = number;
    }
    beatChanged();
}

void StationLink::beatChanged() {
    // What the station holds is read here, not by the thread: the journal's
    // lock keeps other processes out, not other threads of this one.
    uint64_t left = 0;
    int waiting = 0;
    if (!holding(left, waiting)) {
        left = 0;
        waiting = journal_ ? spool_.waiting() : 0;
    }
    {
        std::lock_guard<std::mutex> hold(beatMutex_);
        beat_.leaseLeft = left;
        beat_.waiting = waiting;
        beatPending_ = true;
        if (!beatThread_.joinable()) beatThread_ = std::thread([this] { beatLoop(); });
    }
    beatWake_.notify_all();
}

void StationLink::beatLoop() {
    std::string error;
    std::unique_ptr<LineClient> client = LineClient::open(url_, lineToken, error);
    if (!client) return;
    client->timeoutSeconds = 2;
    std::unique_lock<std::mutex> hold(beatMutex_);
    for (;;) {
        beatWake_.wait_for(hold, std::chrono::seconds(kHeartbeatSeconds),
                           [this] { return beatPending_ || beatStop_; });
        // A station that stops sends what it has not sent yet, and no more.
        if (beatStop_ && !beatPending_) return;
        const StationBeat beat = beat_;
        beatPending_ = false;
        hold.unlock();
        client->heartbeat(beat, error);  // one not heard is sent again in a few seconds
        hold.lock();
    }
}

}  // namespace ostrel
