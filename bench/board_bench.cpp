// The board's data requests with 1,000,000 chip rows in the line's database:
// each request of the page over HTTP (the board's routes on a server in
// this program, answered as JSON), on SQLite and on a PostgreSQL server
// started for the run. The rows: 8 stations of 8 programmers, 3 products,
// one chip every 4.32 s for 50 days up to now (some 20,000 a day), one in
// twenty failed with one of seven causes. Then the same with a day of
// 200,000 chips, a day far busier than a line makes.
//
// A plain program: it prints the median and the slowest of 20 requests each.

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "line/board_routes.h"
#include "production/production_store.h"
#include "support/pg_server.h"
#include "support/temp_files.h"

namespace {

using namespace ostrel;
using namespace ostrel::line;

constexpr int kRows = 1000000;
constexpr int kRepeats = 20;

// The serial number of row i: its product's (i % 3) row k = i / 3 takes
// 1000 plus the passed rows of that product before it, so that a failed
// chip's number goes to the next chip, as a pool gives it back. Row i fails
// when i % 20 == 0: the product's rows j = j0, j0 + 20, ..., with j0 =
// (-7 p) mod 20 (7 is 3's inverse mod 20).
const std::string kSerial = "1000 + i / 3 - (i / 3 - (20 - (7 * (i % 3)) % 20) % 20 + 19) / 20";

// Fills the chips table with `rows` rows, `gap` seconds apart, ending now.
bool fill(const std::string& url, bool sqlite, double gap, std::string& error) {
    auto store = ProductionStore::open(url, error);
    if (!store) return false;
    for (const char* product : {"p0", "p1", "p2"}) {
        SerialFormat pool;
        pool.bytes = 4;
        pool.start = 1000;
        if (!store->addProduct({product, "SPI_FLASH,Winbond,W25Q64JV", "00", pool}, error))
            return false;
    }
    for (int p = 0; p < 64; ++p)
        if (!store->registerProgrammer("st" + std::to_string(p % 8), "OST" + std::to_string(p),
                                       error))
            return false;
    auto connection = sqlite ? connectSqlite(url.substr(7), error) : connectPostgres(url, error);
    if (!connection) return false;
    const long long now = static_cast<long long>(std::time(nullptr));
    const std::string last = std::to_string(kRows - 1);
    const std::string time =
        sqlite
            ? "strftime('%Y-%m-%dT%H:%M:%SZ', " + std::to_string(now) + " - CAST((" + last +
                  " - i) * " + std::to_string(gap) + " AS INTEGER), 'unixepoch')"
            : "to_char(to_timestamp(" + std::to_string(now) + " - floor((" + last + " - i) * " +
                  std::to_string(gap) + ")) AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"')";
    const std::string columns =
        "(time, station, programmer, chip, chip_id, command, result, cause, message, bytes, "
        "crc32, seconds, serial, product)";
    const std::string values =
        "SELECT " + time +
        ", 'st' || (i % 8), 'OST' || (i % 64), 'SPI_FLASH,Winbond,W25Q64JV', 'EF4017', 'auto', "
        "CASE WHEN i % 20 = 0 THEN 'failed' ELSE 'done' END, "
        "CASE WHEN i % 20 = 0 THEN (CASE i % 7 WHEN 0 THEN 'time_out' WHEN 1 THEN 'difference' "
        "WHEN 2 THEN 'not_blank' WHEN 3 THEN 'transfer_failed' WHEN 4 THEN 'protected' "
        "WHEN 5 THEN 'no_answer' ELSE 'id_no_answer' END) ELSE '' END, '', 8388608, "
        "'1234abcd', 12.5, " +
        kSerial + ", 'p' || (i % 3)";
    const std::string insert =
        sqlite ? "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                     last + ") INSERT INTO chips " + columns + " " + values + " FROM n"
               : "INSERT INTO chips " + columns + " " + values + " FROM generate_series(0, " +
                     last + ") AS i";
    if (!connection->exec(insert, error)) return false;
    if (!connection->exec("UPDATE serial_pools SET next_value = (SELECT MAX(serial) + 1 "
                          "FROM chips WHERE chips.product = serial_pools.product)",
                          error))
        return false;
    // What autovacuum does on a running server: statistics, and the
    // visibility map that lets PostgreSQL answer from an index alone.
    return sqlite || connection->exec("VACUUM ANALYZE chips", error);
}

void measure(const std::string& label, const std::string& url,
             const std::vector<std::string>& paths) {
    std::string error;
    auto data = BoardData::open(url, error);
    if (!data) {
        std::printf("%s: %s\n", label.c_str(), error.c_str());
        return;
    }
    LineEvents events;
    BoardContext context;
    context.data = data.get();
    context.events = &events;
    context.started = std::time(nullptr);
    std::vector<line::StationBeat> beats;
    for (int s = 0; s < 8; ++s) {
        line::StationBeat beat{"st" + std::to_string(s), std::time(nullptr), {}, 12, 0};
        for (int p = s; p < 64; p += 8)
            beat.programmers.push_back({"OST" + std::to_string(p), "programming", 50, "done", 1});
        beats.push_back(beat);
    }
    context.beats = [beats] { return beats; };
    httplib::Server server;
    addBoardRoutes(server, context);
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { server.listen_after_bind(); });
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(60, 0);
    for (const std::string& path : paths) {
        std::vector<double> ms;
        std::size_t bytes = 0;
        for (int i = 0; i < kRepeats; ++i) {
            const auto start = std::chrono::steady_clock::now();
            const auto answer = client.Get(path);
            ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
            if (!answer || answer->status != 200) {
                std::printf("%s %s: failed (%d)\n", label.c_str(), path.c_str(),
                            answer ? answer->status : -1);
                break;
            }
            bytes = answer->body.size();
        }
        std::sort(ms.begin(), ms.end());
        std::printf("%-22s %-40s median %7.1f ms  slowest %7.1f ms  %7zu bytes\n", label.c_str(),
                    path.c_str(), ms[ms.size() / 2], ms.back(), bytes);
    }
    server.stop();
    serving.join();
}

}  // namespace

// With an argument, only the spread it names ("50 days" or "busy day").
// "--fill URL [GAP]" only fills the database at URL (rows GAP seconds
// apart, 4.32 unless given) for bench/board_paint.py, and ends.
int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == "--fill") {
        std::string error;
        const std::string url = argv[2];
        if (!fill(url, url.rfind("sqlite:", 0) == 0, argc > 3 ? std::atof(argv[3]) : 4.32, error)) {
            std::printf("%s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    const std::vector<std::string> paths = {"/api/v1/board/stations",
                                            "/api/v1/board/hourly",
                                            "/api/v1/board/causes",
                                            "/api/v1/board/serials",
                                            "/api/v1/board/serials?product=p1",
                                            "/api/v1/board/chip?serial=200000",
                                            "/api/v1/board/hourly?format=csv",
                                            "/"};
    ostrel::testing::TempDir dir;
    ostrel::testing::PostgresServer server;
    std::string error;
    if (!server.start(error)) {
        std::printf("PostgreSQL: %s\n", error.c_str());
        return 1;
    }
    // 50 days of 20,000 chips, then one day of 200,000 after 4 days of the rest.
    const struct {
        const char* name;
        double gap;
    } spreads[] = {{"50 days", 4.32}, {"busy day", 0.432}};
    int n = 0;
    for (const auto& spread : spreads) {
        if (argc > 1 && std::string(argv[1]) != spread.name) {
            ++n;
            continue;
        }
        const std::string sqlite = "sqlite:" + dir.file("line" + std::to_string(n) + ".db");
        const std::string pg = server.conninfo();
        for (const auto& [label, url] :
             {std::pair<std::string, std::string>{std::string("SQLite, ") + spread.name, sqlite},
              {std::string("PostgreSQL, ") + spread.name, pg}}) {
            if (label.rfind("PostgreSQL", 0) == 0 && n > 0) {
                auto db = connectPostgres(url, error);
                if (!db || !db->exec("DROP SCHEMA public CASCADE", error) ||
                    !db->exec("CREATE SCHEMA public", error)) {
                    std::printf("%s: %s\n", label.c_str(), error.c_str());
                    return 1;
                }
            }
            const auto start = std::chrono::steady_clock::now();
            if (!fill(url, label.rfind("SQLite", 0) == 0, spread.gap, error)) {
                std::printf("%s: %s\n", label.c_str(), error.c_str());
                return 1;
            }
            std::printf(
                "%s: 1,000,000 rows in %.0f s\n", label.c_str(),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            measure(label, url, paths);
        }
        ++n;
    }
    return 0;
}
