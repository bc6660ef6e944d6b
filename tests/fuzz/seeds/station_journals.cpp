// Writes journals for the journal's fuzz program to start from, each by the
// station's own writer: leases of several products, numbers drawn, given
// back and drawn again, spent with causes, closed as passed, a lease
// reclaimed, names that need escaping, a lease used up and a journal cut in
// the middle of its last line.
//
//   journal_seeds OUT_FOLDER

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "production/station_journal.h"

namespace {

using namespace ostrel;

struct Step {
    enum Kind { Lease, Draw, Back, Spend, Close, Drop } kind;
    std::string product;
    uint64_t first = 0, last = 0, step = 1;  // of a lease
    std::string cause;                       // of a spent number
};

Step leaseOf(const std::string& product, uint64_t first, uint64_t last, uint64_t step) {
    return {Step::Lease, product, first, last, step, ""};
}
Step drawOf(const std::string& product) {
    return {Step::Draw, product, 0, 0, 1, ""};
}
Step spendFor(const std::string& cause) {
    return {Step::Spend, "", 0, 0, 1, cause};
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the steps on a fresh journal at `path`; a back or a spend takes the
// oldest chip still open. False when the writer refused a step.
bool write(const std::string& path, const std::string& identity, const std::string& station,
           const std::vector<Step>& steps) {
    std::remove(path.c_str());
    const StationJournal journal(path, identity, station);
    std::vector<uint64_t> open;
    int64_t id = 0;
    std::string error;
    JournalState state;
    if (!journal.read(state, error)) {  // writes the journal's head
        std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    for (const Step& s : steps) {
        uint64_t sequence = 0, number = 0, left = 0;
        bool done = true;
        switch (s.kind) {
            case Step::Lease: {
                Lease lease;
                lease.id = ++id;
                lease.product = s.product;
                lease.station = station;
                lease.first = s.first;
                lease.last = s.last;
                lease.step = s.step;
                lease.numbers = (s.last - s.first) / s.step + 1;
                done = journal.addLease(lease, error);
                break;
            }
            case Step::Draw:
                done = journal.draw(s.product, sequence, number, left, error) || error.empty();
                if (done && error.empty() && number != 0) open.push_back(sequence);
                break;
            case Step::Back:
            case Step::Spend:
            case Step::Close:
                if (open.empty()) break;
                done = s.kind == Step::Back    ? journal.giveBack(open.front(), error)
                       : s.kind == Step::Spend ? journal.spend(open.front(), s.cause, error)
                                               : journal.close(open.front(), error);
                open.erase(open.begin());
                break;
            case Step::Drop:  // the lease `first` (its id) reclaimed by the database
                done = journal.dropLease(static_cast<int64_t>(s.first), error);
                break;
        }
        if (!done) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT_FOLDER\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    const Step lease = leaseOf("board", 1, 20, 1), draw = drawOf("board");
    const Step back{Step::Back, "", 0, 0, 1, ""}, spend = spendFor("difference");
    const Step close{Step::Close, "", 0, 0, 1, ""};
    const std::string odd = "tab\tand\nline\\";
    const std::vector<std::pair<std::string, std::vector<Step>>> journals = {
        {"head-only", {}},
        {"one-lease", {lease}},
        {"draws", {lease, draw, draw, draw}},
        {"passed", {lease, draw, draw, close, draw, close, back}},
        {"reclaimed",
         {leaseOf("board", 1, 3, 1), draw, back, leaseOf("board", 10, 19, 1),
          Step{Step::Drop, "", 1, 0, 1, ""}, draw, draw, close}},
        {"back-and-again", {lease, draw, draw, back, draw, draw}},
        {"spent", {lease, draw, spend, draw, draw, back, spend}},
        {"used-up", {leaseOf("board", 100, 104, 2), draw, draw, draw, draw}},
        {"two-leases",
         {leaseOf("board", 1, 3, 1), draw, draw, draw, leaseOf("board", 41, 60, 1), draw, back,
          draw}},
        {"two-products",
         {lease, leaseOf(odd, 1000, 1900, 100), drawOf(odd), draw, spendFor("cut\tshort\n"),
          drawOf(odd)}},
        {"large-numbers",
         {leaseOf("big", 9223372036854775000ull, 9223372036854775806ull, 1), drawOf("big"),
          drawOf("big"), back, drawOf("big")}},
    };
    for (const auto& [name, steps] : journals) {
        const std::string path = out + "/" + name;
        const std::string station = name == "two-products" ? "st\\ation 2" : "st1";
        if (!write(path, "postgresql://line/db", station, steps)) return 1;
    }
    // A journal whose last line was cut while it was written: refused whole.
    const std::string whole = readAll(out + "/spent");
    std::ofstream(out + "/cut", std::ios::binary) << whole.substr(0, whole.size() - 7);
    return 0;
}
