#include "line/board_data.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <utility>

#include "base/platform.h"

namespace ostrel::line {
namespace {

int64_t whole(const SqlValue& value) {
    return value ? std::strtoll(value->c_str(), nullptr, 10) : 0;
}

BoardCell wholeOrNone(const SqlValue& value) {
    return value ? BoardCell(whole(value)) : BoardCell(nullptr);
}

BoardCell textOrNone(const SqlValue& value) {
    return value ? BoardCell(*value) : BoardCell(nullptr);
}

template <typename T>
BoardCell optionalCell(const std::optional<T>& value) {
    return value ? BoardCell(static_cast<int64_t>(*value)) : BoardCell(nullptr);
}

// The gaps listed for one product at most: a line with more shows the first.
constexpr int kMostGaps = 1000;
// The rows of one serial number shown at most.
constexpr int kMostChipRows = 100;

}  // namespace

std::time_t localDayStart(std::time_t now) {
    std::tm parts = platform::localTime(now);
    parts.tm_hour = 0;
    parts.tm_min = 0;
    parts.tm_sec = 0;
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

BoardData::BoardData(std::unique_ptr<SqlConnection> connection,
                     std::unique_ptr<ProductionStore> store)
    : store_(std::move(store)) {
    connections_.push_back(std::move(connection));
}

BoardData::BoardData(std::vector<std::unique_ptr<SqlConnection>> connections,
                     std::unique_ptr<ProductionStore> store)
    : store_(std::move(store)), connections_(std::move(connections)) {}

BoardData::Borrowed::Borrowed(BoardData& data) : data_(data) {
    std::unique_lock<std::mutex> lock(data_.mutex_);
    data_.returned_.wait(lock, [&] { return !data_.connections_.empty(); });
    connection_ = std::move(data_.connections_.back());
    data_.connections_.pop_back();
}

BoardData::Borrowed::~Borrowed() {
    {
        const std::lock_guard<std::mutex> lock(data_.mutex_);
        data_.connections_.push_back(std::move(connection_));
    }
    data_.returned_.notify_one();
}

std::unique_ptr<BoardData> BoardData::open(const std::string& url, std::string& error,
                                           int connections) {
    DatabaseUrl parsed;
    if (!parseDatabaseUrl(url, parsed, error)) return nullptr;
    std::vector<std::unique_ptr<SqlConnection>> opened;
    for (int i = 0; i < connections; ++i) {
        opened.push_back(parsed.sqlite ? connectSqlite(parsed.target, error)
                                       : connectPostgres(parsed.target, error));
        if (!opened.back()) return nullptr;
    }
    std::unique_ptr<ProductionStore> store = ProductionStore::open(url, error);
    if (!store) return nullptr;
    return std::make_unique<BoardData>(std::move(opened), std::move(store));
}

bool BoardData::query(SqlConnection& db, const std::string& sql,
                      const std::vector<SqlValue>& parameters, SqlRows& rows, std::string& error) {
    // A connection lost before is tried once more; a statement that finds
    // it lost fails, and the next request tries again.
    if (db.lost() && !db.reconnect(error)) return false;
    return db.exec(sql, parameters, rows, error);
}

bool BoardData::stations(const std::vector<StationBeat>& beats, std::time_t now, std::time_t since,
                         BoardTable& table, std::string& error) {
    Borrowed db(*this);
    table = {};
    table.columns = {"station",    "reachable",   "seen",      "silent_seconds", "lease_left",
                     "waiting",    "programmer",  "state",     "progress",       "last_result",
                     "last_cause", "last_serial", "last_time", "last_product",   "today",
                     "passed",     "failed"};
    const std::string dayStart = recordTimeText(localDayStart(now));
    table.facts["now"] = recordTimeText(now);
    table.facts["since"] = dayStart;

    SqlRows stations, programmers, counts;
    if (!query(*db, "SELECT host FROM stations ORDER BY host", {}, stations, error) ||
        !query(*db, "SELECT station, serial FROM programmers ORDER BY station, serial", {},
               programmers, error) ||
        // Grouped by expressions of the names, not the names: SQLite would
        // otherwise read every row in the order of the programmers' index
        // rather than today's part of the time index.
        !query(*db,
               "SELECT station || '', programmer || '', COUNT(*), "
               "SUM(CASE WHEN result = 'done' THEN 1 ELSE 0 END) FROM chips "
               "WHERE time >= $1 AND result <> 'started' GROUP BY 1, 2",
               {dayStart}, counts, error))
        return false;

    // Every station the database or a heartbeat knows, with every programmer
    // either names.
    std::map<std::string, std::set<std::string>> names;
    for (const SqlRow& r : stations) names[r[0].value_or("")];
    for (const SqlRow& r : programmers) names[r[0].value_or("")].insert(r[1].value_or(""));
    std::map<std::string, const StationBeat*> beatOf;
    for (const StationBeat& beat : beats) {
        beatOf[beat.station] = &beat;
        for (const StationBeat::Programmer& p : beat.programmers)
            names[beat.station].insert(p.serial);
    }
    std::map<std::pair<std::string, std::string>, std::pair<int64_t, int64_t>> today;
    for (const SqlRow& r : counts)
        today[{r[0].value_or(""), r[1].value_or("")}] = {whole(r[2]), whole(r[3])};

    int64_t allChips = 0, allPassed = 0;
    for (const auto& [station, serials] : names) {
        const StationBeat* beat = beatOf.count(station) ? beatOf[station] : nullptr;
        const std::time_t seen = beat ? beat->time : since;
        const int64_t silent = std::max<int64_t>(0, static_cast<int64_t>(now - seen));
        const bool reachable = beat != nullptr && silent <= kUnreachableSeconds;
        auto stationCells = [&] {
            return std::vector<BoardCell>{
                station,
                reachable,
                beat ? BoardCell(recordTimeText(beat->time)) : BoardCell(nullptr),
                silent,
                beat ? optionalCell(beat->leaseLeft) : BoardCell(nullptr),
                beat ? optionalCell(beat->waiting) : BoardCell(nullptr)};
        };
        if (serials.empty()) {
            std::vector<BoardCell> row = stationCells();
            row.resize(table.columns.size(), nullptr);
            table.rows.push_back(std::move(row));
            continue;
        }
        for (const std::string& serial : serials) {
            const StationBeat::Programmer* state = nullptr;
            if (beat)
                for (const StationBeat::Programmer& p : beat->programmers)
                    if (p.serial == serial) state = &p;
            SqlRows last;
            if (!query(*db,
                       "SELECT result, cause, serial, time, product FROM chips "
                       "WHERE station = $1 AND programmer = $2 AND result <> 'started' "
                       "ORDER BY id DESC LIMIT 1",
                       {station, serial}, last, error))
                return false;
            std::vector<BoardCell> row = stationCells();
            row.push_back(serial);
            // What a station that is not heard from does is not known.
            row.push_back(state && reachable ? BoardCell(state->state) : BoardCell(nullptr));
            row.push_back(state && reachable ? BoardCell(int64_t{state->progress})
                                             : BoardCell(nullptr));
            if (last.empty()) {
                row.insert(row.end(), 5, nullptr);
            } else {
                row.push_back(textOrNone(last[0][0]));
                row.push_back(textOrNone(last[0][1]));
                row.push_back(wholeOrNone(last[0][2]));
                row.push_back(textOrNone(last[0][3]));
                row.push_back(textOrNone(last[0][4]));
            }
            const auto counted = today.find({station, serial});
            const int64_t chips = counted == today.end() ? 0 : counted->second.first;
            const int64_t passed = counted == today.end() ? 0 : counted->second.second;
            row.push_back(chips);
            row.push_back(passed);
            row.push_back(chips - passed);
            allChips += chips;
            allPassed += passed;
            table.rows.push_back(std::move(row));
        }
    }
    table.facts["today"] = allChips;
    table.facts["passed"] = allPassed;
    table.facts["failed"] = allChips - allPassed;
    return true;
}

bool BoardData::hourly(std::time_t dayStart, BoardTable& table, std::string& error) {
    Borrowed db(*this);
    table = {};
    table.columns = {"hour", "product", "chips", "passed", "failed", "yield"};
    table.facts["since"] = recordTimeText(dayStart);
    SqlRows rows;
    if (!query(*db,
               "SELECT substr(time, 1, 13), product, COUNT(*), "
               "SUM(CASE WHEN result = 'done' THEN 1 ELSE 0 END) FROM chips "
               "WHERE time >= $1 AND result <> 'started' "
               "GROUP BY substr(time, 1, 13), product ORDER BY 1, 2",
               {recordTimeText(dayStart)}, rows, error))
        return false;
    for (const SqlRow& r : rows) {
        const int64_t chips = whole(r[2]);
        const int64_t passed = whole(r[3]);
        table.rows.push_back(
            {r[0].value_or("") + ":00:00Z", r[1].value_or(""), chips, passed, chips - passed,
             chips > 0 ? BoardCell(static_cast<double>(passed) / chips) : BoardCell(nullptr)});
    }
    return true;
}

bool BoardData::causes(std::time_t dayStart, BoardTable& table, std::string& error) {
    Borrowed db(*this);
    table = {};
    table.columns = {"cause", "chips"};
    table.facts["since"] = recordTimeText(dayStart);
    SqlRows rows;
    if (!query(*db,
               "SELECT cause, COUNT(*) FROM chips WHERE time >= $1 AND "
               "result IN ('failed', 'different') GROUP BY cause ORDER BY 2 DESC, 1",
               {recordTimeText(dayStart)}, rows, error))
        return false;
    for (const SqlRow& r : rows) table.rows.push_back({r[0].value_or(""), whole(r[1])});
    return true;
}

bool BoardData::serials(const std::string& product, std::time_t now, BoardTable& table,
                        std::string& error) {
    Borrowed db(*this);
    table = {};
    SqlRows pools;
    if (!query(*db,
               "SELECT p.name, p.chip, s.start_value, s.step, s.next_value, s.bytes, "
               "(SELECT COUNT(*) FROM given_back g WHERE g.product = p.name) "
               "FROM products p LEFT JOIN serial_pools s ON s.product = p.name "
               "WHERE $1 = '' OR p.name = $1 ORDER BY p.name",
               {product}, pools, error))
        return false;
    if (!product.empty() && pools.empty()) {
        error = "there is no product named " + product;
        return false;
    }
    std::vector<std::vector<BoardCell>> products;
    for (const SqlRow& r : pools) {
        SqlRows used;
        if (!query(*db,
                   "SELECT COUNT(*), MIN(serial), MAX(serial) FROM chips "
                   "WHERE product = $1 AND result = 'done' AND serial IS NOT NULL",
                   {r[0]}, used, error))
            return false;
        const bool pooled = r[2].has_value();
        const int64_t givenBack = whole(r[6]);
        const uint64_t left = pooled ? poolLeft(static_cast<uint64_t>(whole(r[4])),
                                                static_cast<uint64_t>(whole(r[3])),
                                                static_cast<uint32_t>(whole(r[5])))
                                     : 0;
        products.push_back(
            {r[0].value_or(""), r[1].value_or(""), wholeOrNone(r[2]), wholeOrNone(r[3]),
             wholeOrNone(r[4]), whole(used[0][0]), wholeOrNone(used[0][1]), wholeOrNone(used[0][2]),
             pooled ? BoardCell(static_cast<int64_t>(left) + givenBack) : BoardCell(nullptr),
             givenBack});
    }
    const std::vector<std::string> productColumns = {"product", "chip",      "start",  "step",
                                                     "next",    "used",      "lowest", "highest",
                                                     "left",    "given_back"};
    if (product.empty()) {
        table.columns = productColumns;
        table.rows = std::move(products);
        return true;
    }
    // One product: its summary as facts, its gaps as the rows: runs of
    // numbers one step apart with the same reason, station and cause.
    for (std::size_t i = 0; i < productColumns.size(); ++i)
        table.facts[productColumns[i]] = products[0][i];
    table.columns = {"first", "last", "numbers", "reason", "station", "cause"};
    table.facts["cut"] = false;
    if (!pools[0][2]) return true;  // no serial numbers
    // The store reads every row of the product to list its gaps: a list
    // made in the last kGapsReuseSeconds is given again rather than made
    // anew, so that pages asking at once, or many pages, do not pile up
    // listings; the fact "listed" says when it was made.
    std::vector<SerialGap> gaps;
    {
        const std::lock_guard<std::mutex> lock(storeMutex_);
        auto kept = gapsKept_.find(product);
        if (kept == gapsKept_.end() || now < kept->second.listed ||
            now - kept->second.listed >= kGapsReuseSeconds) {
            if (store_->lost() && !store_->reconnect(error)) return false;
            if (!store_->gaps(product, gaps, error)) return false;
            kept = gapsKept_.insert_or_assign(product, KeptGaps{now, std::move(gaps)}).first;
        }
        gaps = kept->second.gaps;
        table.facts["listed"] = recordTimeText(kept->second.listed);
    }
    const uint64_t step = std::max<uint64_t>(1, static_cast<uint64_t>(whole(pools[0][3])));
    auto& rows = table.rows;
    for (const SerialGap& gap : gaps) {
        const auto serial = static_cast<int64_t>(gap.serial);
        if (!rows.empty() &&
            static_cast<uint64_t>(std::get<int64_t>(rows.back()[1])) + step == gap.serial &&
            std::get<std::string>(rows.back()[3]) == gap.reason &&
            std::get<std::string>(rows.back()[4]) == gap.station &&
            std::get<std::string>(rows.back()[5]) == gap.cause) {
            rows.back()[1] = serial;
            rows.back()[2] = std::get<int64_t>(rows.back()[2]) + 1;
        } else if (static_cast<int>(rows.size()) < kMostGaps) {
            rows.push_back({serial, serial, int64_t{1}, gap.reason, gap.station, gap.cause});
        } else {
            table.facts["cut"] = true;  // more runs than are shown
            break;
        }
    }
    return true;
}

bool BoardData::chip(uint64_t serial, BoardTable& table, std::string& error) {
    Borrowed db(*this);
    table = {};
    table.columns = {"id",       "time",  "station", "programmer", "product", "serial",
                     "sequence", "chip",  "chip_id", "command",    "result",  "cause",
                     "message",  "bytes", "crc32",   "seconds"};
    table.facts["serial"] = static_cast<int64_t>(serial);
    SqlRows rows;
    if (!query(*db,
               "SELECT id, time, station, programmer, product, serial, sequence, chip, chip_id, "
               "command, result, cause, message, bytes, crc32, seconds FROM chips "
               "WHERE serial = $1 ORDER BY id LIMIT " +
                   std::to_string(kMostChipRows),
               {std::to_string(serial)}, rows, error))
        return false;
    for (const SqlRow& r : rows) {
        double seconds = 0;
        if (!r[15] || !parseSeconds(*r[15], seconds)) seconds = 0;
        table.rows.push_back({whole(r[0]), textOrNone(r[1]), textOrNone(r[2]), textOrNone(r[3]),
                              textOrNone(r[4]), wholeOrNone(r[5]), wholeOrNone(r[6]),
                              textOrNone(r[7]), textOrNone(r[8]), textOrNone(r[9]),
                              textOrNone(r[10]), textOrNone(r[11]), textOrNone(r[12]), whole(r[13]),
                              textOrNone(r[14]), seconds});
    }
    return true;
}

}  // namespace ostrel::line
