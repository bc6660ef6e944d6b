// The station journal's reader over any text, as it comes and with each
// line's check sum put right. A journal it reads whole must make sense: no
// number open on two chips or open and given back at once, every number
// drawn or given back one a lease holds and had handed out, and every
// earlier state of the journal (cut after any of its lines) readable too. Then the station's own
// writer carries on from it: a number it draws is none that is open, and the journal it leaves
// reads again, with the number given back or spent as the input's size picks.

#include "production/station_journal.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>

#include "buffers/checksums.h"
#include "fuzz/fuzz_support.h"

namespace ostrel::fuzzing {
namespace {

// Whether `number` is one of lease `i`'s numbers already handed out.
bool handedBy(const JournalState::ProductLeases& leases, uint64_t number) {
    for (std::size_t i = 0; i < leases.leases.size(); ++i) {
        const Lease& lease = leases.leases[i];
        if (number < lease.first || number > lease.last || (number - lease.first) % lease.step != 0)
            continue;
        return (number - lease.first) / lease.step < leases.handed[i];
    }
    return false;
}

void requireSound(const JournalState& state) {
    for (const auto& [product, leases] : state.products) {
        require(leases.handed.size() == leases.leases.size(), "a lease without its count drawn");
        for (std::size_t i = 0; i < leases.leases.size(); ++i)
            require(leases.handed[i] <= leases.leases[i].numbers,
                    "more numbers drawn from a lease than it holds");
        for (const uint64_t number : leases.returned)
            require(handedBy(leases, number), "a number given back that no lease handed out");
    }
    std::set<std::pair<std::string, uint64_t>> open;
    for (const auto& [sequence, drawn] : state.open) {
        require(sequence < state.nextSequence, "an open chip at or past the next sequence number");
        require(open.insert({drawn.product, drawn.number}).second, "a number open on two chips");
        const auto leases = state.products.find(drawn.product);
        require(leases != state.products.end() && handedBy(leases->second, drawn.number),
                "an open number that no lease handed out");
        require(leases->second.returned.count(drawn.number) == 0,
                "a number open and given back at once");
    }
}

// A file the station's writer can append to and flush, in memory where the
// system has a folder for it.
const std::string& journalPath() {
    static const std::string path = [] {
        const std::string folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return folder + "/ostrel-fuzz-journal-" + std::to_string(::getpid()) + ".tsv";
    }();
    return path;
}

void removeJournal() {
    std::remove(journalPath().c_str());
}

bool readBack(JournalState& state) {
    std::FILE* file = std::fopen(journalPath().c_str(), "rb");
    require(file != nullptr, "the journal written cannot be opened");
    std::string text;
    char block[4096];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;) text.append(block, n);
    std::fclose(file);
    std::string error;
    return parseJournal(text, state, error);
}

void carryOn(const std::string& text, const JournalState& state) {
    std::FILE* file = std::fopen(journalPath().c_str(), "wb");
    require(file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size() &&
                std::fclose(file) == 0,
            "the journal cannot be written for the writer");
    static const bool removed = std::atexit(removeJournal) == 0;
    (void)removed;

    auto product = state.products.begin();
    std::advance(product, text.size() % state.products.size());
    const StationJournal journal(journalPath(), state.identity, state.station);
    uint64_t sequence = 0, number = 0, left = 0;
    std::string error;
    const bool drew = journal.draw(product->first, sequence, number, left, error);
    require(drew == (product->second.left() > 0), "a draw that disagrees with the lease's count");
    if (!drew) {
        require(error.empty(), "a used-up lease reported as a fault");
        return;
    }
    require(sequence >= state.nextSequence, "a sequence number used again");
    for (const auto& [_, drawn] : state.open)
        require(drawn.product != product->first || drawn.number != number,
                "a number drawn while it is open");

    JournalState after;
    require(readBack(after), "the journal the writer left cannot be read");
    requireSound(after);
    const auto opened = after.open.find(sequence);
    require(opened != after.open.end() && opened->second.number == number,
            "the number drawn is not open on its chip");

    // The chip's end: its number given back, spent, or closed as it passed.
    const int end = static_cast<int>((text.size() / 2) % 3);
    require(end == 0   ? journal.giveBack(sequence, error)
            : end == 1 ? journal.spend(sequence, "x\ty", error)
                       : journal.close(sequence, error),
            "the chip's number cannot be given back, spent or closed");
    require(readBack(after), "the journal cannot be read after the chip's end");
    requireSound(after);
    require(after.open.count(sequence) == 0, "a chip that ended still holds its number");
    require(after.products[product->first].returned.count(number) == (end == 0 ? 1u : 0u),
            "a number given back is not drawn again, or a spent or passed one is");
}

// Each line with its check sum put right: a line the fuzzer changed would
// otherwise stop at its sum, and the reader's sense of lines go untried.
std::string withSums(const std::string& text) {
    std::string out;
    for (std::size_t from = 0; from < text.size();) {
        const std::size_t end = std::min(text.find('\n', from), text.size());
        std::string body = text.substr(from, end - from);
        const std::size_t mark = body.rfind("\t#");
        if (mark != std::string::npos && body.size() - mark == 10) body.resize(mark);
        char sum[16];
        std::snprintf(sum, sizeof sum, "%08x",
                      crc32Of(reinterpret_cast<const uint8_t*>(body.data()), body.size()));
        out += body + "\t#" + sum + (end < text.size() ? "\n" : "");
        from = end + 1;
    }
    return out;
}

void checkJournal(const std::string& text) {
    JournalState state;
    std::string error;
    if (!parseJournal(text, state, error)) {
        require(error.rfind("line ", 0) == 0, "a journal refused without naming its line");
        return;
    }
    require(error.empty(), "a journal read whole with an error");
    requireSound(state);
    for (std::size_t end = text.find('\n'); end + 1 < text.size(); end = text.find('\n', end + 1)) {
        JournalState earlier;
        require(parseJournal(text.substr(0, end + 1), earlier, error),
                "a journal whose earlier state cannot be read");
        require(earlier.nextSequence <= state.nextSequence, "a sequence number that went back");
    }
    if (!state.products.empty()) carryOn(text, state);
}

}  // namespace
}  // namespace ostrel::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace ostrel::fuzzing;
    const std::string text(reinterpret_cast<const char*>(data), size);
    checkJournal(text);
    const std::string summed = withSums(text);
    if (summed != text) checkJournal(summed);
    return 0;
}
