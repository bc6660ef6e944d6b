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
    } else if (!store_->reconnect(error)) {
        return false;
    }
    // Earlier releases named the spool after the URL as it was typed.
    const RecordSpool older(RecordSpool::pathFor(folder_, url_), spool_.setAsidePath());
    if (older.path() != spool_.path() && !older.flush(*store_, flushed_, error)) return false;
    return spool_.flush(*store_, flushed_, error);
}

bool StationLink::start(ChipRow& row, std::string& error) {
    if ((!store_ || store_->lost()) && !connect(error)) return false;
    row.station = station;
    row.product = product ? product->name : std::string();
    if (store_->startChip(row, error)) return true;
    // A server that restarted since the last chip is found out by the first
    // statement: connect again and try once more. Should the lost attempt
    // have committed after all, its row stays started and its number unused.
    return store_->lost() && connect(error) && store_->startChip(row, error);
}

StationLink::Kept StationLink::finish(const ChipRow& outcome, std::string& error,
                                      std::string& spoolError) {
    bool finished = false;
    if (store_ && store_->finishChip(outcome, finished, error)) return Kept::Stored;
    return spool_.append(outcome, spoolError) ? Kept::Spooled : Kept::Lost;
}

}  // namespace ostrel
