#pragma once
// What a station needs of its line: the database's identity, the products,
// its programmers named, serial-number leases, and each chip's row started
// and finished. The database itself gives it (ProductionStore, --db) and so
// does the line server over HTTP (LineClient, --line); the station works the
// same over either.
//
// A failure says by its kind what to do about it: Lost (the line is away: go
// on from the lease and try again later), Retry (once more now), Refused
// (never as it is: set it aside, naming it).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "production/sql_connection.h"

namespace ostrel {

struct ChipRow;
struct Lease;
struct Product;
struct StationReport;

// What a station tells the line of itself between chips.
struct ProgrammerBeat {
    std::string serial;
    std::string state = "idle";  // idle, programming or waiting
    int progress = 0;            // 0 to 100 while programming
    std::string lastResult;      // the last chip's result; empty: none yet
    std::optional<uint64_t> lastSerial;
};
struct StationBeat {
    std::vector<ProgrammerBeat> programmers;
    uint64_t leaseLeft = 0;  // numbers left in the station's lease
    int waiting = 0;         // outcomes waiting for the line
};

class StationLine {
  public:
    virtual ~StationLine() = default;

    virtual bool identity(std::string& id, std::string& error) = 0;
    virtual bool listProducts(std::vector<Product>& products, std::string& error) = 0;
    virtual bool findProduct(const std::string& name, std::optional<Product>& product,
                             std::string& error) = 0;
    virtual bool registerProgrammer(const std::string& station, const std::string& programmer,
                                    std::string& error) = 0;
    virtual bool takeLease(const std::string& product, const std::string& station, Lease& lease,
                           std::string& error) = 0;
    virtual bool startChip(ChipRow& row, std::string& error) = 0;
    virtual bool finishChip(const ChipRow& outcome, bool& finished, std::string& error) = 0;
    // The last startChip() was refused because its leased number was
    // reclaimed and handed out again.
    virtual bool handedOutAgain() const { return false; }
    // Every lease (of `product` alone, unless empty), reclaimed ones marked;
    // a line that does not say gives none, and the station learns of a
    // reclaim when a start is refused.
    virtual bool leases(const std::string& product, std::vector<Lease>& leases, std::string& error);
    // The row `station` started as its chip `sequence` (empty: none); false
    // where the line cannot look it up, and the draw stays open.
    virtual bool findStationChip(const std::string& station, uint64_t sequence,
                                 std::optional<ChipRow>& row, std::string& error);
    // What the station's journal holds of a product; a line server hears it
    // with the heartbeat instead.
    virtual bool report(const StationReport& report, std::string& error);
    // The station's state for the people who watch the line; a database
    // keeps none of it.
    virtual bool heartbeat(const StationBeat& beat, std::string& error);

    virtual SqlErrorKind errorKind() const = 0;
    virtual bool lost() const = 0;
    // After the line was lost: true when it is back.
    virtual bool reconnect(std::string& error) = 0;
};

}  // namespace ostrel
