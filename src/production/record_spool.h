#pragma once
// Outcomes of chips that were programmed while the production database was
// away. Each goes to a spool file in the user's state folder, one line a
// chip; the next connection to that database writes them and empties the
// spool. A row is finished only once, so a line written twice (a crash between
// the database's commit and the spool's truncation) counts once.
//
// The programmers of a station share the spool: every append and every flush
// holds the file's lock.

#include <string>
#include <vector>

#include "production/production_store.h"

namespace ostrel {

class RecordSpool {
  public:
    explicit RecordSpool(std::string path) : path_(std::move(path)) {}

    // The spool of the database whose identity is `key` in `folder`: one per
    // database.
    static std::string pathFor(const std::string& folder, const std::string& key);

    // Appends the outcome of the started row `outcome.id`, on the disk when
    // it returns true; false with `error` set.
    bool append(const ChipRow& outcome, std::string& error) const;
    // Writes every outcome it holds to `store`, then empties itself; what
    // could not be written stays for the next time. `written` counts the
    // rows finished now.
    bool flush(ProductionStore& store, int& written, std::string& error) const;

    const std::string& path() const { return path_; }

    // One outcome as its line, and back (false for a line that is not one).
    static std::string lineOf(const ChipRow& outcome);
    static bool outcomeOf(const std::string& line, ChipRow& outcome);

  private:
    std::string path_;
};

}  // namespace ostrel
