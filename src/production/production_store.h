#pragma once
// The production database of a line: the products (chip, image and serial
// pool), the stations and their programmers, and one row per chip. SQLite
// keeps it in a file for one station, PostgreSQL on a server for a line; the
// store is the same over both.
//
// Serial numbers: a chip's number is taken in the transaction that inserts
// its row as started, a given-back number first, else the pool's next one.
// The chip's outcome finishes the row; a chip that did not pass gives its
// number back. A row is finished once: finishing it again changes nothing, so
// an outcome that was kept aside while the database was away can be written
// later without counting twice.

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/texts.h"
#include "production/serial_counter.h"
#include "production/sql_connection.h"
#include "production/station_line.h"

namespace ostrel {

// One chip: the facts the JSON-lines production record holds, with the
// station, the product and a machine-readable cause.
struct ChipRow {
    int64_t id = 0;  // given by the database when the chip starts
    std::time_t time = 0;
    std::string station;             // the station's host name
    std::string programmer;          // the programmer's serial number
    std::string chip;                // TYPE,MAKER,NAME (UTF-8)
    std::string chipId;              // six hexadecimal digits; empty: none read
    std::string command;             // read, write, verify, erase, blank or auto
    std::string result = "started";  // started, done, different or failed
    std::string cause;               // empty when done
    std::string message;             // English; empty when done
    uint64_t bytes = 0;
    uint32_t crc32 = 0;
    double seconds = 0;
    std::optional<uint64_t> serial;
    std::string product;  // empty: no product
    // The station's own number of the chip, when its serial number came from
    // the station's lease (the serial is then the station's, not the pool's).
    std::optional<uint64_t> sequence;
    // A leased chip that did not pass: its number may be on it and is never
    // drawn again (false: it went back to the station's lease).
    bool spent = false;
};

// The cause of a chip whose station stopped (was killed, lost its power)
// while the chip was under way: its number may be on it and is spent.
inline constexpr const char* kStationStoppedCause = "station_stopped";

// The numbers a station takes from a product's pool at once, unless the
// product says otherwise.
inline constexpr uint64_t kDefaultLeaseSize = 20;

struct Product {
    std::string name;
    std::string chip;         // TYPE,MAKER,NAME (UTF-8)
    std::string imageSha256;  // of the data the image puts on the chip
    std::optional<SerialFormat> serial;
    // The numbers a station leases at once; 0: the default, or the whole pool
    // where it holds fewer.
    uint64_t leaseSize = 0;
};

// A block of a product's serial numbers that one station took from the pool
// in one transaction and hands out on its own: first, first + step, ... last.
struct Lease {
    int64_t id = 0;  // given by the database
    std::string product;
    std::string station;
    uint64_t first = 0;
    uint64_t last = 0;
    uint64_t step = 1;
    uint64_t numbers = 0;
    std::time_t taken = 0;
    // When its unused numbers went back to the pool (product reclaim).
    std::optional<std::time_t> reclaimed;
};

// What became of a lease's numbers, by the rows of its station: on a chip
// that passed (used), on one that did not and whose write may have begun
// (spent), on a chip started without an outcome yet (pending), or none of
// these (left; none once reclaimed).
struct LeaseUse {
    Lease lease;
    uint64_t used = 0;
    uint64_t spent = 0;
    uint64_t pending = 0;
    uint64_t left = 0;
};

// A number of a product's pool, below its next, that no passed chip holds.
struct SerialGap {
    uint64_t serial = 0;
    std::string reason;   // given_back, spent, leased or pending
    std::string station;  // of the row or the lease; empty for given_back
    std::string cause;    // spent: the row's cause
};

// What a station's journal held when it reported in.
struct StationReport {
    std::string station;
    std::string product;
    uint64_t leaseLeft = 0;  // numbers its leases still hold
    uint64_t waiting = 0;    // outcomes waiting in its spool and journal
    std::time_t time = 0;
};

// Per station (of one product, or all): numbers left in its leases, numbers
// spent on chips that did not pass, and what it last reported.
struct StationHolding {
    std::string station;
    uint64_t leaseLeft = 0;
    uint64_t spent = 0;
    std::optional<StationReport> report;  // summed over its products
};

// A station counts as working while it was seen this recently.
inline constexpr std::time_t kSeenWorkingSeconds = 600;

struct ReclaimResult {
    enum Kind { Reclaimed, Nothing, SeenWorking } kind = Nothing;
    int leases = 0;            // leases reclaimed now
    uint64_t returned = 0;     // numbers back in the pool
    std::time_t lastSeen = 0;  // SeenWorking: when
};

struct RecordFilter {
    std::string product;
    std::optional<std::time_t> since;
    std::optional<uint64_t> serial;
    std::string result;  // "failed" takes "different" too
};

// One station's programmer over the finished rows.
struct ProgrammerSummary {
    std::string station;
    std::string programmer;
    int chips = 0;
    int passed = 0;
    int failed = 0;
    double medianSeconds = 0;
};

// Who a token of the line server belongs to: a station, a viewer of the
// board or an admin, by name.
struct LineToken {
    std::string name;
    std::string role;  // station, viewer or admin
};

// What a database URL names: "sqlite:PATH", or anything else libpq reads (a
// postgresql:// or postgres:// URI, or a conninfo string).
struct DatabaseUrl {
    bool sqlite = false;
    std::string target;  // the path, or the connection string
};
// False with `error` (English, naming what is wrong) for a URL neither takes.
bool parseDatabaseUrl(const std::string& url, DatabaseUrl& parsed, std::string& error);
// The URL as it may be shown or logged: every password in it replaced by
// "***" (a URI's user:password@, the value of a key such as password=),
// whether or not the URL can be read. Any text may go through it.
std::string databaseShownName(const std::string& url);
// `error`, the words of a library or of the server about `url`, as it may be
// shown: its first line alone, its spaces and tabs run together, without a
// full stop at its end (the sentence that takes it has its own), and every
// password `url` holds replaced by "***" wherever it is quoted.
std::string databaseReason(const std::string& url, const std::string& error);
// The text `key` ("%s" for the database, then for the reason) about `url`,
// with neither showing a password.
std::string databaseProblem(Txt key, const std::string& url, const std::string& error,
                            int language);

// "YYYY-MM-DD[THH:MM[:SS]]" in local time, or with "Z" in UTC.
std::optional<std::time_t> parseRecordTime(const std::string& text);
// "YYYY-MM-DDTHH:MM:SSZ"
std::string recordTimeText(std::time_t time);

// Seconds with three decimals and a point whatever the locale says, and back.
std::string secondsText(double seconds);
bool parseSeconds(const std::string& text, double& seconds);

// 64 lower-case hexadecimal digits: the SHA-256 that identifies an image.
std::string imageHash(const uint8_t* data, std::size_t length);

// The numbers a pool can hand out stay below 2^63: both databases keep
// signed 64-bit integers.
inline constexpr uint64_t kLargestSerial = 0x7FFFFFFFFFFFFFFFull;

// How many numbers a pool whose next number is `next` can still hand out.
uint64_t poolLeft(uint64_t next, uint64_t step, uint32_t bytes);

class ProductionStore : public StationLine {
  public:
    explicit ProductionStore(std::unique_ptr<SqlConnection> connection);

    // Connects to `url` and creates or upgrades the schema. Null with `error`
    // set when the database cannot be reached, opened or upgraded.
    static std::unique_ptr<ProductionStore> open(const std::string& url, std::string& error);

    // The schema this program writes, created or upgraded in one transaction.
    static int schemaVersion();
    bool prepareSchema(std::string& error);

    bool addProduct(const Product& product, std::string& error);
    bool listProducts(std::vector<Product>& products, std::string& error) override;
    // `product` empty when there is none of that name.
    bool findProduct(const std::string& name, std::optional<Product>& product,
                     std::string& error) override;

    // Sets how many numbers a station of the product leases at once: refused
    // below 1 and beyond what the pool has left.
    bool setLeaseSize(const std::string& product, uint64_t size, std::string& error);
    // Takes the next block of the product's pool for `station` (fewer numbers
    // than the lease size only where the pool has no more) and records it;
    // the pool's next number moves past it. False with `error` set when the
    // pool is used up or the database cannot be used.
    bool takeLease(const std::string& product, const std::string& station, Lease& lease,
                   std::string& error) override;
    // Every lease (of `product` alone, unless empty) in the order taken.
    bool leases(const std::string& product, std::vector<Lease>& leases,
                std::string& error) override;
    // The same with what became of each lease's numbers.
    bool leaseUses(const std::string& product, std::vector<LeaseUse>& uses, std::string& error);
    // Returns the numbers of `station`'s leases (of `product` alone, unless
    // empty) that are on no chip to the pool, once per lease, and records
    // the reclaim on the lease. Refused (kind SeenWorking) while the station
    // reported, started a chip or registered a programmer within
    // kSeenWorkingSeconds of `now`.
    bool reclaim(const std::string& station, const std::string& product, std::time_t now,
                 ReclaimResult& result, std::string& error);
    // Every number of the product's pool from its first up to its next that
    // no passed chip holds, each with why, in order.
    bool gaps(const std::string& product, std::vector<SerialGap>& gaps, std::string& error);

    // What a station's journal holds of a product, with the time.
    bool report(const StationReport& report, std::string& error) override;
    // Per station that has a lease, a spent number or a report (of
    // `product` alone, unless empty), by name.
    bool holdings(const std::string& product, std::vector<StationHolding>& holdings,
                  std::string& error);

    // The station and its programmer, once per run.
    bool registerProgrammer(const std::string& station, const std::string& programmer,
                            std::string& error) override;
    // Inserts the chip's row as started and, when its product has a serial
    // pool, gives it a number (row.serial), unless it drew one from its
    // station's lease (row.sequence set); row.id is set. False with `error`
    // set when it did not happen: the chip must not be started.
    bool startChip(ChipRow& row, std::string& error) override;
    // Finishes the row `outcome.id` with the outcome's result, cause,
    // message, bytes, CRC-32 and seconds; a chip that did not pass gives its
    // number back to the pool, unless it came from a lease (the station
    // decides about those). `finished` false: the row had been finished before. False
    // with `error` set for a row the database does not have.
    bool finishChip(const ChipRow& outcome, bool& finished, std::string& error) override;

    // The row `id`, or none when the database does not have it.
    bool findChip(int64_t id, std::optional<ChipRow>& row, std::string& error);
    // The chip that `station` started with its own number `sequence`, if any.
    bool findStationChip(const std::string& station, uint64_t sequence, std::optional<ChipRow>& row,
                         std::string& error) override;
    // Whether one of the leases `station` took of `product` holds `serial`.
    bool leaseHolds(const std::string& station, const std::string& product, uint64_t serial,
                    bool& holds, std::string& error);

    // The line server's tokens, kept as their SHA-256 (64 lower-case hex
    // digits): setting one replaces the token `name` had in `role`.
    bool setLineToken(const std::string& name, const std::string& role, const std::string& hash,
                      std::string& error);
    // The token whose hash is `hash`; none when no token has it.
    bool findLineToken(const std::string& hash, std::optional<LineToken>& token,
                       std::string& error);

    // Rows in the order they started.
    bool records(const RecordFilter& filter, std::vector<ChipRow>& rows, std::string& error);
    // Per station and programmer, over the finished rows the filter keeps.
    bool summary(const RecordFilter& filter, std::vector<ProgrammerSummary>& lines,
                 std::string& error);

    // The database's identity: the same for every URL that reaches it.
    bool identity(std::string& id, std::string& error) override {
        return connection_->identity(id, error);
    }

    // The kind of the last failure of a call: Refused also where the store
    // itself refused (a pool used up, a row it does not have).
    SqlErrorKind errorKind() const override { return kind_; }
    // The last startChip() was refused because its leased number was
    // reclaimed and handed out again.
    bool handedOutAgain() const override { return handedOutAgain_; }

    // After the connection was lost: true when it is back.
    bool reconnect(std::string& error) override;
    // Also when the connection's last statement met the server gone, which
    // the client library does not always note on the connection itself.
    bool lost() const override {
        return connection_->lost() || connection_->errorKind() == SqlErrorKind::Lost;
    }

  private:
    // Runs `body` between a writing transaction's BEGIN and COMMIT; a failure
    // anywhere rolls back.
    template <typename Body>
    bool transaction(bool schema, Body body, std::string& error);

    std::unique_ptr<SqlConnection> connection_;
    SqlErrorKind kind_ = SqlErrorKind::None;
    bool handedOutAgain_ = false;
};

}  // namespace ostrel
