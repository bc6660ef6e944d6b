#pragma once
// What the line's board shows, read from the line's database over a
// connection of its own (the stations' writes never wait for a board), and
// from the heartbeats the server keeps in memory. Each answer is a table:
// named columns and rows of cells, which the board's routes send as JSON or
// as CSV alike.
//
// Every query reads an index: today's rows by hour, product, outcome and
// cause come from one index over the time, a programmer's last chip from
// one over its station and programmer, a product's used numbers from one
// over the product, a chip from the serial's.

#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "production/production_store.h"
#include "production/sql_connection.h"

namespace ostrel::line {

// A cell: none, a whole number, a number, a text or a truth.
using BoardCell = std::variant<std::nullptr_t, int64_t, double, std::string, bool>;

struct BoardTable {
    std::vector<std::string> columns;
    std::vector<std::vector<BoardCell>> rows;
    // Facts about the whole table (when "today" began, the product asked
    // for); they go with the JSON, not into the CSV.
    std::map<std::string, BoardCell> facts;
};

// The last heartbeat of a station, as the server keeps it.
struct StationBeat {
    struct Programmer {
        std::string serial;
        std::string state;  // idle, programming or waiting
        int progress = 0;   // 0-100
        std::string lastResult;
        std::optional<uint64_t> lastSerial;
    };
    std::string station;
    std::time_t time = 0;  // when it arrived
    std::vector<Programmer> programmers;
    std::optional<uint64_t> leaseLeft;
    std::optional<uint64_t> waiting;  // outcomes in the station's journal
};

// A station whose last heartbeat is older than this is unreachable.
inline constexpr int kUnreachableSeconds = 15;
// How long a product's list of gaps is given again (the page asks for it
// every 10 s).
inline constexpr int kGapsReuseSeconds = 5;

class BoardData {
  public:
    // Requests run at once, each on a connection of its own; `store`
    // (over one more) lists a product's gaps.
    BoardData(std::unique_ptr<SqlConnection> connection, std::unique_ptr<ProductionStore> store);
    BoardData(std::vector<std::unique_ptr<SqlConnection>> connections,
              std::unique_ptr<ProductionStore> store);
    // `connections` of its own to `url` and a store (whose schema the server
    // has prepared), so that as many requests run at once.
    static std::unique_ptr<BoardData> open(const std::string& url, std::string& error,
                                           int connections = 3);

    // One row per programmer (a station without any has one row with no
    // programmer): its heartbeat's state, its last finished chip, today's
    // counts. `beats` are the server's; `since` the time the server started,
    // from which a station that never beat counts as unreachable.
    bool stations(const std::vector<StationBeat>& beats, std::time_t now, std::time_t since,
                  BoardTable& table, std::string& error);
    // Today's finished chips per hour (UTC, "YYYY-MM-DDTHH") and product.
    bool hourly(std::time_t dayStart, BoardTable& table, std::string& error);
    // Today's failed chips per cause.
    bool causes(std::time_t dayStart, BoardTable& table, std::string& error);
    // Every product's numbers: used, left in the pool, given back. With a
    // product named, its summary as facts and its gaps as rows (runs of
    // numbers with the reason the store gives: given_back, spent, leased,
    // pending); the fact "cut" says more runs were left out.
    // A product's gaps listed less than kGapsReuseSeconds before `now` are
    // given again.
    bool serials(const std::string& product, std::time_t now, BoardTable& table,
                 std::string& error);
    // Every row of the chip that has this serial number, oldest first.
    bool chip(uint64_t serial, BoardTable& table, std::string& error);

  private:
    // A connection taken from the free ones for one request, waiting for
    // one where all are in use.
    class Borrowed {
      public:
        explicit Borrowed(BoardData& data);
        ~Borrowed();
        Borrowed(const Borrowed&) = delete;
        Borrowed& operator=(const Borrowed&) = delete;
        SqlConnection& operator*() { return *connection_; }

      private:
        BoardData& data_;
        std::unique_ptr<SqlConnection> connection_;
    };
    static bool query(SqlConnection& db, const std::string& sql,
                      const std::vector<SqlValue>& parameters, SqlRows& rows, std::string& error);

    struct KeptGaps {
        std::time_t listed = 0;
        std::vector<SerialGap> gaps;
    };
    std::mutex storeMutex_;  // the store and the gaps kept
    std::unique_ptr<ProductionStore> store_;
    std::map<std::string, KeptGaps> gapsKept_;  // by product
    std::mutex mutex_;
    std::condition_variable returned_;
    std::vector<std::unique_ptr<SqlConnection>> connections_;  // the free ones
};

// Local midnight of the day `now` falls on.
std::time_t localDayStart(std::time_t now);

}  // namespace ostrel::line
