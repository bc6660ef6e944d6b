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

StationLink::StationLink(std::string url, const std::string& stateFolder)
    : url_(std::move(url)), spool_(RecordSpool::pathFor(stateFolder, url_)) {}

bool StationLink::connect(std::string& error) {
    spoolWritten_ = 0;
    if (!store_) {
        store_ = ProductionStore::open(url_, error);
        if (!store_) return false;
    } else if (!store_->reconnect(error)) {
        return false;
    }
    return spool_.flush(*store_, spoolWritten_, error);
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
