#include "production/station_link.h"

#include <cstdlib>

#include "base/platform.h"

namespace ostrel {

std::string stationName() {
    const char* named = std::getenv("OSTREL_STATION");
    if (named != nullptr && *named != '\0') return named;
    const std::string host = platform::hostName();
    return host.empty() ? "localhost" : host;
}

StationLink::StationLink(std::string url, std::string stateFolder)
    : url_(std::move(url)), folder_(std::move(stateFolder)) {}

bool StationLink::connect(std::string& error) {
    flushed_ = {};
    if (!store_) {
        std::unique_ptr<ProductionStore> store = ProductionStore::open(url_, error);
        std::string identity;
        if (!store || !store->identity(identity, error)) return false;
        store_ = std::move(store);
        spool_ = RecordSpool(RecordSpool::pathFor(folder_, identity));
        journal_ = std::make_unique<StationJournal>(StationJournal::pathFor(folder_, identity),
                                                    identity, station);
    } else if (!store_->reconnect(error)) {
        return false;
    }
    // Earlier releases named the spool after the URL as it was typed.
    const RecordSpool older(RecordSpool::pathFor(folder_, url_), spool_.setAsidePath());
    if (older.path() != spool_.path() && !older.flush(*store_, flushed_, error)) return false;
    return spool_.flush(*store_, flushed_, error);
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
    if (!store_->takeLease(row.product, station, lease, error) ||
        !journal_->addLease(lease, error) ||
        !journal_->draw(row.product, sequence, number, left, error))
        return false;
    row.serial = number;
    row.sequence = sequence;
    return true;
}

bool StationLink::start(ChipRow& row, std::string& error) {
    if ((!store_ || store_->lost()) && !connect(error)) return false;
    row.station = station;
    row.product = product ? product->name : std::string();
    row.serial.reset();
    row.sequence.reset();
    if (product && product->serial && !draw(row, error)) return false;
    // A server that restarted since the last chip is found out by the first
    // statement: connect again and try once more. Should the lost attempt
    // have committed after all, its row stays started and its number unused.
    // One that could not be done now (a conflict, a lock) is tried once more.
    if (store_->startChip(row, error) ||
        (store_->errorKind() == SqlErrorKind::Retry && store_->startChip(row, error)) ||
        (store_->lost() && connect(error) && store_->startChip(row, error)))
        return true;
    // Nothing was written: the number goes back to the lease.
    std::string ignored;  // a number left drawn is only never drawn again
    if (row.sequence) journal_->giveBack(*row.sequence, ignored);
    return false;
}

void StationLink::topUp() {
    if (!product || !product->serial || !journal_ || !store_ || store_->lost()) return;
    uint64_t left = 0;
    std::string ignored;  // the next chip tries again
    if (!journal_->left(product->name, left, ignored) || left * 2 >= product->leaseSize) return;
    Lease lease;
    if (store_->takeLease(product->name, station, lease, ignored))
        journal_->addLease(lease, ignored);
}

StationLink::Kept StationLink::finish(const ChipRow& outcome, bool writeBegun, std::string& error,
                                      std::string& spoolError) {
    if (outcome.sequence && outcome.result != "done") {
        std::string ignored;  // a number left drawn is only never drawn again
        if (writeBegun)
            journal_->spend(*outcome.sequence, outcome.cause, ignored);
        else
            journal_->giveBack(*outcome.sequence, ignored);
    }
    bool finished = false;
    if (store_ && store_->finishChip(outcome, finished, error)) {
        topUp();
        return Kept::Stored;
    }
    return spool_.append(outcome, spoolError) ? Kept::Spooled : Kept::Lost;
}

}  // namespace ostrel
