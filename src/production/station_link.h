#pragma once
// A station's production run against the line's database: before a chip its
// row is started (and its serial number taken), after it the row is finished.
// While the database is away a product with serial numbers goes on from the
// station's lease: the chip's number is drawn in the journal, its start and
// outcome go to the spool, and the next connection writes them in the order
// they happened. What the station needs of the database to go on (its
// identity and the products it saw) is kept beside the journal, so that a
// station that starts while the database is away can go on too. Only when
// the lease is used up does a chip not start. An outcome that the database
// could not take after the chip was programmed goes to the spool as well.
//
// The line is the database itself (a database URL) or the line server in
// front of it (an http:// or https:// URL, with the station's token); the
// station works the same over both. To the line server the station also
// tells what its programmers do, after each chip and every few seconds, from
// a thread of its own so that no chip waits for it.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "production/production_store.h"
#include "production/record_spool.h"
#include "production/station_journal.h"
#include "production/station_line.h"

namespace ostrel {

// The station's name in the database: OSTREL_STATION when set, else the
// host name.
std::string stationName();

class StationLink {
  public:
    // `url` as the user gave it; the spool lives in `stateFolder`.
    StationLink(std::string url, std::string stateFolder);
    ~StationLink();
    StationLink(const StationLink&) = delete;
    StationLink& operator=(const StationLink&) = delete;

    // The station's token for a line server's URL; set before connect().
    std::string lineToken;

    // Connects, creates or upgrades the schema and writes the spool, which is
    // named after the database's identity (not the URL's spelling, so that
    // every URL of one database finds the same spool). False with `error` set
    // when the database cannot be used.
    bool connect(std::string& error);
    // What the station calls on: the database or the line server.
    StationLine& line() { return *line_; }
    // The database itself, for what only it does (products changed, records
    // read): null when the line is a server.
    ProductionStore* database() { return direct_; }
    ProductionStore& store() { return *direct_; }
    bool connected() const { return line_ != nullptr; }
    // After connect() failed: true when the station can go on from what it
    // last saw of this database (its journal and products); chips then start
    // from the lease until the database is back.
    bool goOffline();
    bool offline() const { return offline_; }

    // The products of the database, or as last seen while it is away.
    bool listProducts(std::vector<Product>& products, std::string& error);
    bool findProduct(const std::string& name, std::optional<Product>& found, std::string& error);

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
    // While the database is away the chip starts from the lease without a
    // row (row.id 0). False with `error` set: do not start the chip (a
    // number drawn for it has gone back to the lease); leaseUsedUp() then
    // says whether it was for want of leased numbers.
    bool start(ChipRow& row, std::string& error);
    // The last start failed with the database away and the lease used up;
    // `gave`: how many numbers the station's leases of the product gave.
    bool leaseUsedUp(uint64_t& gave) const;

    // What the station holds for the product: numbers left in its lease, and
    // outcomes waiting in the spool for the database. False when the product
    // takes no numbers from a lease or the journal cannot be read.
    bool holding(uint64_t& leaseLeft, int& waiting) const;

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

    // What the last connection settled of draws whose process is gone (killed
    // during its chip): numbers spent on the database with the cause
    // kStationStoppedCause, and those the database refused because their
    // lease was reclaimed and handed out again (`refusal`: the first reason).
    struct Settled {
        int spent = 0;
        int refused = 0;
        std::string refusal;
    };
    const Settled& settled() const { return settled_; }

    // What the programmer `serial` does now, for the line's people: idle,
    // programming, or waiting for the next chip of a batch; with a chip's
    // result it has just finished that chip (`number`: its serial number). A line server hears it
    // soon after, and again every few seconds.
    void tellProgrammer(const std::string& serial, const std::string& state, int progress);
    void tellFinished(const std::string& serial, const std::string& state,
                      const std::string& result, std::optional<uint64_t> number);
    // Seconds between heartbeats while nothing happens.
    static constexpr int kHeartbeatSeconds = 3;

  private:
    std::string url_;
    std::string folder_;
    RecordSpool spool_{""};
    std::unique_ptr<StationLine> line_;
    ProductionStore* direct_ = nullptr;
    RecordSpool::Flushed flushed_;
    std::unique_ptr<StationJournal> journal_;
    bool offline_ = false;
    bool usedUp_ = false;
    uint64_t gave_ = 0;

    // The file beside the journals that says what the station last saw of
    // the database of this URL.
    std::string lastSeenPath() const;
    bool readLastSeen(std::string& identity, std::vector<Product>& products) const;
    void rememberSeen(const std::string& identity, const std::vector<Product>& products) const;
    void useIdentity(const std::string& identity);
    std::string identity_;

    // Draws the chip's number from the lease, taking a lease first when the
    // station holds none.
    bool draw(ChipRow& row, std::string& error);
    // Starts the chip from the lease while the database is away.
    bool startOffline(ChipRow& row, std::string& error);
    // Takes another lease while the journal holds less than half a lease.
    void topUp();
    // Drops from the journal the leases the database reclaimed.
    void learnReclaims();
    // Spends on the database, once, each number drawn by a process that is
    // gone without its chip's outcome.
    void settleOrphans();
    // Tells the database what the journal holds of each product (of
    // `product` alone, when not empty).
    void reportIn(const std::string& product);
    Settled settled_;

    // The heartbeat: the station's state, sent by its own thread.
    void beatChanged();
    // The programmer's entry in the beat, made when missing; beatMutex_ held.
    ProgrammerBeat& programmerBeat(const std::string& serial);
    void beatLoop();
    std::mutex beatMutex_;
    std::condition_variable beatWake_;
    StationBeat beat_;
    bool beatPending_ = false;
    bool beatStop_ = false;
    std::thread beatThread_;
};

}  // namespace ostrel
