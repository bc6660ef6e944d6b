#pragma once
// Outcomes of chips that were programmed while the production database was
// away. Each goes to a spool file in the user's state folder, one whole line
// a chip; the next connection to that database writes them and empties the
// spool once every line was taken. A row is finished only once, so a line
// written twice (a crash between the database's commit and the emptying)
// counts once, and the spool is never rewritten in place: a crash at any
// point loses no line.
//
// A chip started while the database was away (from the station's lease: no
// row yet, its sequence number set) is kept with its start, and started and
// finished in the order the lines were appended.
//
// A line that cannot be read (cut short by a crash, edited) or that the
// database refuses for good is set aside, whole, in a file beside the spool
// and named to the user; the lines after it go on to the database.
//
// The programmers of a station share the spool: every append and every flush
// holds the file's lock.

#include <string>
#include <vector>

#include "production/production_store.h"

namespace ostrel {

class RecordSpool {
  public:
    explicit RecordSpool(std::string path, std::string setAsidePath = "");

    // The spool of the database whose identity is `key` in `folder`: one per
    // database.
    static std::string pathFor(const std::string& folder, const std::string& key);

    // Appends the outcome of the started row `outcome.id`, on the disk when
    // it returns true; false with `error` set and the spool as it was.
    bool append(const ChipRow& outcome, std::string& error) const;

    struct Flushed {
        int written = 0;     // rows finished now
        int setAside = 0;    // lines moved to setAsidePath()
        std::string reason;  // why the first of them was set aside (English)
    };
    // Writes every outcome it holds to `store`, sets aside what can never be
    // written, then empties itself; `flushed` adds up what happened. When the
    // database goes away in between, false with `error` set, and the spool
    // stays whole for the next time.
    bool flush(StationLine& store, Flushed& flushed, std::string& error) const;

    // The outcomes it holds, waiting for the database.
    int waiting() const;
    // Whether it holds an outcome of the chip `sequence` of `station`.
    bool holds(const std::string& station, uint64_t sequence) const;

    const std::string& path() const { return path_; }
    // Where the lines go that were set aside: by default beside the spool,
    // its name ending in -set-aside.tsv.
    const std::string& setAsidePath() const { return setAsidePath_; }

    // One outcome as its line, and back (false for a line that is not one).
    static std::string lineOf(const ChipRow& outcome);
    static bool outcomeOf(const std::string& line, ChipRow& outcome);

  private:
    std::string path_;
    std::string setAsidePath_;
};

}  // namespace ostrel
