#pragma once
// A station's own journal of its serial-number leases: every block the
// database leased to it, and every number it drew from one, gave back to it
// or spent on a chip that failed after its write may have begun. The journal
// lives in the station's state folder, one per database (named after the
// database's identity), is appended to (and now and then replaced whole by
// the lines that say its state, see below), and each line reaches the disk
// before the number it draws counts as drawn: a station that restarts, or
// was killed, goes on from it, and a number drawn is never drawn again.
//
// Each line carries its CRC-32, and the first names the database and the
// station. A journal that cannot be read whole (cut, edited, of another
// database or station) is never guessed at nor written over: the station
// stops, naming the file and what is wrong in it.
//
// The programmers of a station share the journal: every change holds the
// file's lock and reads it again first when another process changed it.
// Between compactions (the journal replaced whole by the lines that say its
// state, once the leases used up dominate it) it is only appended to.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "production/production_store.h"

namespace ostrel {

// What a journal says, line by line.
struct JournalState {
    struct ProductLeases {
        std::vector<Lease> leases;
        std::vector<uint64_t> handed;  // per lease: its numbers drawn for the first time
        std::vector<bool> dropped;     // per lease: reclaimed by the database, never drawn
        std::set<uint64_t> returned;   // given back, drawn again before fresh ones
        uint64_t left() const;
        // The lease that holds `number`, or leases.size().
        std::size_t leaseOf(uint64_t number) const;
        // The oldest lease with a fresh number, or leases.size().
        std::size_t nextFresh() const;
    };
    std::string identity;  // of the database
    std::string station;
    uint64_t nextSequence = 1;  // the station's own number of its next chip
    std::map<std::string, ProductLeases> products;
    // A drawn number by the sequence number of its chip, while neither given
    // back nor spent.
    struct Drawn {
        std::string product;
        uint64_t number = 0;
        std::string owner;  // the process that drew it (empty: unknown)
    };
    std::map<uint64_t, Drawn> open;
};

// Reads a journal's text; false with `error` (English: the line and what is
// wrong in it) for one that cannot be read whole. An empty text is an empty
// journal of no database yet.
bool parseJournal(const std::string& text, JournalState& state, std::string& error);

class StationJournal {
  public:
    StationJournal(std::string path, std::string identity, std::string station);
    ~StationJournal();
    StationJournal(const StationJournal&) = delete;
    StationJournal& operator=(const StationJournal&) = delete;

    // The journal of the database `identity` in `folder`.
    static std::string pathFor(const std::string& folder, const std::string& identity);

    // Reads the journal (none yet: empty); false with `error` naming the file
    // and what is wrong in it.
    bool read(JournalState& state, std::string& error) const;
    // Adds a lease the database gave the station.
    bool addLease(const Lease& lease, std::string& error) const;
    // Draws a number of `product` for the chip with the sequence number
    // `sequence`: one given back first, else the next of its oldest lease.
    // False with `error` empty when the leases are used up; `left` then says
    // how many remain (0), else after the draw.
    bool draw(const std::string& product, uint64_t& sequence, uint64_t& number, uint64_t& left,
              std::string& error) const;
    // The chip `sequence` failed before anything was written: its number
    // goes back to the lease.
    bool giveBack(uint64_t sequence, std::string& error) const;
    // The chip `sequence` did not pass after its write may have begun: its
    // number is never drawn again.
    bool spend(uint64_t sequence, const std::string& cause, std::string& error) const;
    // The chip `sequence` has its outcome (it passed, or its number was
    // settled on the database): its draw is closed.
    bool close(uint64_t sequence, std::string& error) const;
    // The database reclaimed the lease `leaseId`: none of its numbers is
    // drawn again, also none given back to it.
    bool dropLease(int64_t leaseId, std::string& error) const;
    // The numbers of `product` the leases still hold.
    bool left(const std::string& product, uint64_t& count, std::string& error) const;

    // Every draw names the process that made it, which holds a lock on a
    // file of its own beside the journal while it lives. Whether the process
    // `owner` still lives: a draw of a process that is gone will never get
    // its outcome.
    bool ownerAlive(const std::string& owner) const;
    // This process's name in the draws (empty before its first draw).
    const std::string& owner() const { return owner_; }

    const std::string& path() const { return path_; }

  private:
    // Runs `change` on the journal's state under its lock; the line it
    // returns (none: nothing to write) is appended and flushed.
    template <typename Change>
    bool update(Change change, std::string& error) const;

    // Names this process and locks its file, once.
    bool claimOwner(std::string& error) const;
    std::string ownerPath(const std::string& owner) const;

    std::string path_;
    std::string identity_;
    std::string station_;
    mutable std::string owner_;
    mutable int ownerFd_ = -1;
    // What the journal said when this object last read or wrote it, while
    // the file is the same and of the same size (only ever appended to).
    mutable std::optional<JournalState> cache_;
    mutable uint64_t cacheDevice_ = 0, cacheFile_ = 0;
    mutable int64_t cacheSize_ = -1;
    mutable int cacheLines_ = 0;
    // Under the lock, once the journal has kCompactFrom lines of which the
    // state needs a quarter or less: the journal is replaced whole by the
    // lines that say its state, flushed; the leases used up leave it.
    void compact() const;
    static constexpr int kCompactFrom = 256;
};

}  // namespace ostrel
