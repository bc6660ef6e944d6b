// The board's tables over a line's rows, on SQLite and on PostgreSQL: every
// station and programmer with its heartbeat and its last chip, today's
// counts by hour, product and cause (yesterday's and unfinished chips left
// out), a product's numbers and gaps, a chip by its serial number; each
// statement reads an index, never the whole table; CSV and JSON that a
// spreadsheet or a page cannot misread.

#include "line/board_data.h"

#include <gtest/gtest.h>

#include "line/board_table.h"
#include "production/production_store.h"
#include "support/pg_server.h"
#include "support/temp_files.h"

namespace ostrel::testing {
namespace {

using namespace ostrel::line;

// Passes every statement on, keeping it, so that its query plan can be asked for.
class RecordingConnection : public SqlConnection {
  public:
    explicit RecordingConnection(std::unique_ptr<SqlConnection> inner) : inner_(std::move(inner)) {}
    using SqlConnection::exec;
    bool exec(const std::string& sql, const std::vector<SqlValue>& parameters, SqlRows& rows,
              std::string& error) override {
        statements.push_back({sql, parameters});
        return inner_->exec(sql, parameters, rows, error);
    }
    bool beginWrite(bool schema, std::string& error) override {
        return inner_->beginWrite(schema, error);
    }
    const char* skipLocked() const override { return inner_->skipLocked(); }
    const char* rowIdType() const override { return inner_->rowIdType(); }
    bool identity(std::string& id, std::string& error) override {
        return inner_->identity(id, error);
    }
    bool lost() const override { return inner_->lost(); }
    bool reconnect(std::string& error) override { return inner_->reconnect(error); }

    std::vector<std::pair<std::string, std::vector<SqlValue>>> statements;

  private:
    std::unique_ptr<SqlConnection> inner_;
};

std::string text(const BoardCell& cell) {
    if (const auto* n = std::get_if<int64_t>(&cell)) return std::to_string(*n);
    if (const auto* s = std::get_if<std::string>(&cell)) return *s;
    if (const auto* b = std::get_if<bool>(&cell)) return *b ? "true" : "false";
    if (const auto* d = std::get_if<double>(&cell)) return std::to_string(*d).substr(0, 4);
    return "-";
}

// The table's rows, each as "cell|cell|...", of the columns named.
std::vector<std::string> lines(const BoardTable& table, const std::vector<std::string>& columns) {
    std::vector<std::string> out;
    for (const auto& row : table.rows) {
        std::string line;
        for (const std::string& name : columns) {
            const auto at = std::find(table.columns.begin(), table.columns.end(), name);
            EXPECT_NE(at, table.columns.end()) << name;
            if (at == table.columns.end()) continue;
            line += (line.empty() ? "" : "|") + text(row[at - table.columns.begin()]);
        }
        out.push_back(line);
    }
    return out;
}

using Lines = std::vector<std::string>;

TEST(Board, TablesCountTodaysFinishedChipsFromIndexes) {
    PostgresServer server;
    std::string error;
    ASSERT_TRUE(server.start(error)) << error;
    TempDir dir;
    const std::time_t now = *parseRecordTime("2026-03-10T15:30:00");
    const std::time_t midnight = localDayStart(now);
    ASSERT_EQ(recordTimeText(midnight), recordTimeText(*parseRecordTime("2026-03-10")));
    const std::string hour9 = recordTimeText(midnight + 9 * 3600).substr(0, 13) + ":00:00Z";
    const std::string hour14 = recordTimeText(midnight + 14 * 3600).substr(0, 13) + ":00:00Z";

    for (const std::string& url : {"sqlite:" + dir.file("line.db"), server.conninfo()}) {
        SCOPED_TRACE(url);
        auto store = ProductionStore::open(url, error);
        ASSERT_TRUE(store) << error;
        SerialFormat pool;
        pool.bytes = 2;
        pool.start = 100;
        ASSERT_TRUE(store->addProduct({"router", "SPI_FLASH,Maker,A", "00", pool}, error));
        ASSERT_TRUE(store->addProduct({"camera", "SPI_FLASH,Maker,B", "00", std::nullopt}, error));
        ASSERT_TRUE(store->registerProgrammer("st2", "P3", error)) << error;

        // Station, programmer, product, minutes after midnight (negative:
        // yesterday), result, cause; the router's numbers 100, 101, ... in turn.
        const struct {
            const char *station, *programmer, *product;
            int minute;
            const char *result, *cause;
        } chips[] = {
            {"st1", "P1", "router", -30, "done", ""},                     // 100, yesterday
            {"st1", "P1", "router", 9 * 60 + 10, "done", ""},             // 101
            {"st1", "P1", "router", 9 * 60 + 40, "failed", "time_out"},   // 102, given back
            {"st1", "P2", "router", 9 * 60 + 50, "done", ""},             // 102 again
            {"st1", "P2", "router", 14 * 60, "different", "difference"},  // 103, given back
            {"st1", "P2", "router", 14 * 60 + 5, "failed", "time_out"},   // 103 again, given back
            {"st1", "P2", "camera", 14 * 60 + 6, "done", ""},
            {"st1", "P1", "router", 14 * 60 + 20, "started", ""},  // 103, programming
        };
        for (const auto& c : chips) {
            ChipRow row;
            row.time = midnight + c.minute * 60;
            row.station = c.station;
            row.programmer = c.programmer;
            row.product = c.product;
            row.command = "auto";
            ASSERT_TRUE(store->registerProgrammer(c.station, c.programmer, error)) << error;
            ASSERT_TRUE(store->startChip(row, error)) << error;
            if (std::string(c.result) == "started") continue;
            row.result = c.result;
            row.cause = c.cause;
            bool finished = false;
            ASSERT_TRUE(store->finishChip(row, finished, error)) << error;
        }

        DatabaseUrl parsed;
        ASSERT_TRUE(parseDatabaseUrl(url, parsed, error));
        auto connection = parsed.sqlite ? connectSqlite(parsed.target, error)
                                        : connectPostgres(parsed.target, error);
        ASSERT_TRUE(connection) << error;
        auto* recording = new RecordingConnection(std::move(connection));
        BoardData board{std::unique_ptr<SqlConnection>(recording),
                        ProductionStore::open(url, error)};

        // st1 beat 5 s ago with P1 programming; st3 beat 40 s ago; st2 never
        // did since the server started 100 s ago.
        line::StationBeat st1{"st1", now - 5, {{"P1", "programming", 40, "done", 101}}, 7, 2};
        line::StationBeat st3{"st3", now - 40, {{"P9", "idle", 0, "", std::nullopt}}, 0, 3};
        BoardTable table;
        ASSERT_TRUE(board.stations({st1, st3}, now, now - 100, table, error)) << error;
        EXPECT_EQ(
            lines(table, {"station", "reachable", "silent_seconds", "lease_left", "waiting",
                          "programmer", "state", "progress", "last_result", "last_cause",
                          "last_serial", "today", "passed", "failed"}),
            (Lines{"st1|true|5|7|2|P1|programming|40|failed|time_out|102|2|1|1",
                   "st1|true|5|7|2|P2|-|-|done||-|4|2|2", "st2|false|100|-|-|P3|-|-|-|-|-|0|0|0",
                   "st3|false|40|0|3|P9|-|-|-|-|-|0|0|0"}));
        EXPECT_EQ(text(table.facts["today"]) + " " + text(table.facts["passed"]), "6 3");

        ASSERT_TRUE(board.hourly(midnight, table, error)) << error;
        EXPECT_EQ(lines(table, {"hour", "product", "chips", "passed", "failed", "yield"}),
                  (Lines{hour9 + "|router|3|2|1|0.66", hour14 + "|camera|1|1|0|1.00",
                         hour14 + "|router|2|0|2|0.00"}));
        ASSERT_TRUE(board.causes(midnight, table, error)) << error;
        EXPECT_EQ(lines(table, {"cause", "chips"}), (Lines{"time_out|2", "difference|1"}));

        ASSERT_TRUE(board.serials("", now, table, error)) << error;
        EXPECT_EQ(
            lines(table, {"product", "used", "lowest", "highest", "next", "left", "given_back"}),
            (Lines{"camera|0|-|-|-|-|0", "router|3|100|102|104|65432|0"}));
        // The number 103 went out again to the chip still programming; three
        // chips that fail one after another take and give back 104.
        ASSERT_TRUE(board.serials("router", now, table, error)) << error;
        EXPECT_EQ(lines(table, {"first", "last", "numbers", "reason", "station"}),
                  (Lines{"103|103|1|pending|st1"}));
        for (int i = 0; i < 3; ++i) {
            ChipRow row;
            row.product = "router";
            ASSERT_TRUE(store->startChip(row, error)) << error;
            row.result = "failed";
            bool finished = false;
            ASSERT_TRUE(store->finishChip(row, finished, error)) << error;
        }
        // st2 leases the next 20 numbers: one run.
        Lease lease;
        ASSERT_TRUE(store->takeLease("router", "st2", lease, error)) << error;
        // A list made less than 5 s before is given again, saying when it
        // was made; then one is made anew.
        ASSERT_TRUE(board.serials("router", now + 4, table, error)) << error;
        EXPECT_EQ(lines(table, {"first", "reason"}), (Lines{"103|pending"}));
        EXPECT_EQ(text(table.facts["listed"]), recordTimeText(now));
        ASSERT_TRUE(board.serials("router", now + 5, table, error)) << error;
        EXPECT_EQ(text(table.facts["listed"]), recordTimeText(now + 5));
        EXPECT_EQ(
            lines(table, {"first", "last", "numbers", "reason", "station"}),
            (Lines{"103|103|1|pending|st1", "104|104|1|given_back|", "105|124|20|leased|st2"}));
        EXPECT_EQ(text(table.facts["left"]), "65412");
        EXPECT_FALSE(board.serials("nothing", now, table, error));
        EXPECT_EQ(error, "there is no product named nothing");

        ASSERT_TRUE(board.chip(102, table, error)) << error;
        EXPECT_EQ(lines(table, {"serial", "station", "programmer", "result", "cause"}),
                  (Lines{"102|st1|P1|failed|time_out", "102|st1|P2|done|"}));
        ASSERT_TRUE(board.chip(999, table, error)) << error;
        EXPECT_TRUE(table.rows.empty());

        // Each statement on the chips finds its rows through an index.
        if (parsed.sqlite) {
            auto plain = connectSqlite(parsed.target, error);
            ASSERT_TRUE(plain) << error;
            for (const auto& [sql, parameters] : recording->statements) {
                SqlRows plan;
                ASSERT_TRUE(plain->exec("EXPLAIN QUERY PLAN " + sql, parameters, plan, error))
                    << error;
                for (const SqlRow& step : plan)
                    EXPECT_EQ(step.back().value_or("").rfind("SCAN chips", 0), std::string::npos)
                        << sql << ": " << step.back().value_or("");
            }
        }
    }
}

// A cell with a comma, a quote or a line break is quoted; one a spreadsheet
// would run as a formula is not; a text that is not UTF-8 still makes JSON.
TEST(Board, CsvQuotesAndDisarmsCellsAndJsonTakesAnyBytes) {
    BoardTable table;
    table.columns = {"a", "b"};
    table.facts["when"] = std::string("now");
    const struct {
        BoardCell cell;
        const char* csv;
    } cells[] = {
        {std::string("plain"), "plain"},
        {std::string("a,b"), "\"a,b\""},
        {std::string("say \"hi\""), "\"say \"\"hi\"\"\""},
        {std::string("two\nlines"), "\"two\nlines\""},
        {std::string("=HYPERLINK(\"x\")"), "\"'=HYPERLINK(\"\"x\"\")\""},
        {std::string("+1"), "'+1"},
        {std::string("-2"), "'-2"},
        {std::string("@sum"), "'@sum"},
        {int64_t{-3}, "-3"},
        {0.25, "0.25"},
        {true, "true"},
        {nullptr, ""},
    };
    std::string expected = "a,b\r\n";
    for (const auto& c : cells) {
        table.rows.push_back({c.cell, std::string("x")});
        expected += std::string(c.csv) + ",x\r\n";
    }
    EXPECT_EQ(boardCsv(table), expected);

    table.rows = {{std::string("bad \xff byte"), nullptr}};
    EXPECT_EQ(boardJson(table),
              "{\"columns\":[\"a\",\"b\"],\"rows\":[{\"a\":\"bad \xef\xbf\xbd byte\",\"b\":null}],"
              "\"when\":\"now\"}");
}

}  // namespace
}  // namespace ostrel::testing
