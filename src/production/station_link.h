#pragma once
// A station's production run against the line's database: before a chip its
// row is started (and its serial number taken), after it the row is finished.
// While the database is away no chip starts; an outcome that the database
// could not take after the chip was programmed goes to the spool and is
// written at the next connection.

#include <memory>
#include <optional>
#include <string>

#include "production/production_store.h"
#include "production/record_spool.h"
#include "production/station_journal.h"

namespace ostrel {

// The station's name in the database: OSTREL_STATION when set, else the
// host name.
std::string stationName();

class StationLink {
  public:
    // `url` as the user gave it; the spool lives in `stateFolder`.
    StationLink(std::string url, std::string stateFolder);

    // Connects, creates or upgrades the schema and writes the spool, which is
    // named after the database's identity (not the URL's spelling, so that
    // every URL of one database finds the same spool). False with `error` set
    // when the database cannot be used.
    bool connect(std::string& error);
    ProductionStore& store() { return *store_; }
    bool connected() const { return store_ != nullptr; }

    // The station's host name and the product made (none: no product).
    std::string station = stationName();
    std::optional<Product> product;
    // What the spool gave the database at the last connection, and what it
    // set aside then (in spool().setAsidePath()).
    const RecordSpool::Flushed& spoolFlushed() const { return flushed_; }
    int spoolWritten() const { return flushed_.written; }
    const RecordSpool& spool() const { return spool_; }
    const std::string& url() const { return url_; }

    // Starts the chip's row (row.product is set here); connects again first
    // when the connection was lost. A product with serial numbers gives the
    // chip a number of the station's lease (row.serial and row.sequence),
    // drawn in the journal first; the first chip of a station takes a lease.
    // False with `error` set: do not start the chip (a number drawn for it
    // has gone back to the lease).
    bool start(ChipRow& row, std::string& error);

    enum class Kept {
        Stored,   // the database has it
        Spooled,  // the spool has it (`error`: why the database did not take it)
        Lost,     // neither (`spoolError`: why the spool did not take it)
    };
    // A chip that did not pass gives its leased number back to the lease
    // when nothing was written (`writeBegun` false), else spends it: a number
    // that may be on a chip is never drawn again. The lease is then topped
    // up when it holds less than half a lease.
    Kept finish(const ChipRow& outcome, bool writeBegun, std::string& error,
                std::string& spoolError);

    // The station's journal; null before the first connection.
    const StationJournal* journal() const { return journal_.get(); }

  private:
    std::string url_;
    std::string folder_;
    RecordSpool spool_{""};
    std::unique_ptr<ProductionStore> store_;
    RecordSpool::Flushed flushed_;
    std::unique_ptr<StationJournal> journal_;

    // Draws the chip's number from the lease, taking a lease first when the
    // station holds none.
    bool draw(ChipRow& row, std::string& error);
    // Takes another lease while the journal holds less than half a lease.
    void topUp();
};

}  // namespace ostrel
