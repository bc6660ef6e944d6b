// A station on the line server: the same run as on the database, through
// ostrel-line over HTTP, on SQLite and on PostgreSQL. Chips take numbers from
// the station's lease, go on from it while the server is stopped, and their
// outcomes reach the database once when it is back; each kind of refusal
// reaches the station as the kind it is.

#include <algorithm>
#include <functional>
#include <set>

#include "operations/sim_fixture.h"
#include "production/line_client.h"
#include "production/production_run.h"
#include "production/station_link.h"
#include "support/line_server.h"
#include "support/pg_server.h"
#include "support/temp_files.h"

namespace ostrel::testing {
namespace {

class LineStation : public SimFixture {
  protected:
    void SetUp() override {
        SimFixture::SetUp();
        useChip(ClassSpiFlash25, 0x1000, 256);
        for (int i = 0; i < 0x1000; ++i) flash()[i] = static_cast<uint8_t>(i * 5);
        buffers().flashDataLength = 0x1000;
    }

    // The whole run on the database `url`.
    void programThroughTheServer(const std::string& url, PostgresServer* postgres) {
        TempDir dir;
        std::string error;
        {
            auto store = ProductionStore::open(url, error);
            ASSERT_TRUE(store) << error;
            SerialFormat pool;
            pool.address = 0x10;
            pool.start = 1000;
            ASSERT_TRUE(store->addProduct({"board", "SPI_FLASH,Maker,TEST", "00", pool, 3}, error))
                << error;
        }
        LineServer server(url, dir.file("line.log"));
        const std::string token = server.addStation("bench1", error);
        ASSERT_EQ(token.size(), 64u) << error;
        ASSERT_TRUE(server.start(error)) << error;

        ProductionLog log;
        ProductionRun run{*state, ops, runner, ui, log};
        run.programmer = "OST000000007";
        runner.hook = &run;
        runner.presenter = &presenter;
        StationLink link(server.url(), dir.path());
        link.lineToken = token;
        ASSERT_TRUE(link.connect(error)) << error;
        ASSERT_TRUE(link.line().registerProgrammer(link.station, run.programmer, error)) << error;
        std::optional<Product> product;
        ASSERT_TRUE(link.findProduct("board", product, error) && product) << error;
        ASSERT_TRUE(product->serial);
        EXPECT_EQ(product->serial->address, 0x10u);
        link.product = product;
        run.database = &link;

        // A lease of three: 1000 with the server there, 1001 and 1002 while
        // it is stopped; the fourth chip waits for it.
        auto chip = [&](CommandStatus status, uint64_t serial) {
            SCOPED_TRACE(serial);
            EXPECT_EQ(runner.run(ChipCommand::Auto).status, status) << run.problem();
            if (status == CommandStatus::Done) {
                EXPECT_EQ(run.lastSerial(), serial);
                uint32_t stamped = 0;
                ostrel_sim_chip_read(device, 0x10, reinterpret_cast<uint8_t*>(&stamped), 4);
                EXPECT_EQ(stamped, serial) << "the chip holds another number";
            }
        };
        chip(CommandStatus::Done, 1000);
        server.stop();
        chip(CommandStatus::Done, 1001);
        chip(CommandStatus::Done, 1002);
        EXPECT_EQ(link.spool().waiting(), 2);
        const std::size_t boxes = ui.boxes.size();
        EXPECT_NE(runner.run(ChipCommand::Auto).status, CommandStatus::Done);
        ASSERT_EQ(ui.boxes.size(), boxes + 1);
        EXPECT_NE(ui.boxes.back().text.find("lease"), std::string::npos) << ui.boxes.back().text;

        // Back: the spool goes in first, then a fresh lease.
        ASSERT_TRUE(server.start(error)) << error;
        chip(CommandStatus::Done, 1003);
        EXPECT_EQ(link.spoolWritten(), 2);
        EXPECT_EQ(link.spool().waiting(), 0);
        // The spool sent again (a crash before it was emptied) counts once.
        ChipRow again;
        {
            auto store = ProductionStore::open(url, error);
            ASSERT_TRUE(store) << error;
            std::vector<ChipRow> rows;
            ASSERT_TRUE(store->records({}, rows, error)) << error;
            std::vector<uint64_t> serials;
            for (const ChipRow& row : rows) {
                EXPECT_EQ(row.result, "done") << row.id;
                EXPECT_EQ(row.station, "bench1") << "the station is its token's";
                if (row.serial) serials.push_back(*row.serial);
            }
            EXPECT_EQ(serials, (std::vector<uint64_t>{1000, 1001, 1002, 1003}));
            again = rows[1];
        }
        const RecordSpool spool(dir.file("again.tsv"));
        ASSERT_TRUE(spool.append(again, error)) << error;
        RecordSpool::Flushed flushed;
        ASSERT_TRUE(spool.flush(link.line(), flushed, error)) << error;
        EXPECT_EQ(flushed.written, 0);
        EXPECT_EQ(flushed.setAside, 0);

        // Each refusal as the kind it is, and no token in any error.
        const std::string stranger(64, 'a');
        LineClient other(
            platform::HttpTarget{false, "127.0.0.1", server.port(), server.hostHeader()}, "",
            stranger);
        LineClient station(
            platform::HttpTarget{false, "127.0.0.1", server.port(), server.hostHeader()}, "",
            token);
        LineClient wrongHost(
            platform::HttpTarget{false, "127.0.0.1", server.port(), "line.example:80"}, "", token);
        Lease lease;
        bool finished = false;
        ChipRow different = again;
        different.result = "failed";
        const struct {
            const char* what;
            std::function<bool(std::string&)> call;
            LineClient* client;
            SqlErrorKind kind;
            const char* said;
        } refusals[] = {
            {"unknown token",
             [&](std::string& e) { return other.takeLease("board", "", lease, e); }, &other,
             SqlErrorKind::Refused, "401"},
            {"unknown product",
             [&](std::string& e) { return station.takeLease("nothing", "", lease, e); }, &station,
             SqlErrorKind::Refused, "404"},
            {"another outcome",
             [&](std::string& e) { return station.finishChip(different, finished, e); }, &station,
             SqlErrorKind::Refused, "409"},
            {"wrong host",
             [&](std::string& e) { return wrongHost.registerProgrammer("", "OST1", e); },
             &wrongHost, SqlErrorKind::Refused, "421"},
        };
        // The heartbeat as the station sends it is one the server takes.
        StationBeat beat;
        beat.programmers = {{"OST1", "programming", 40, "", std::nullopt},
                            {"OST2", "waiting", 0, "done", 1003}};
        beat.leaseLeft = 2;
        EXPECT_TRUE(station.heartbeat(beat, error)) << error;
        beat.programmers[0].state = "asleep";
        EXPECT_FALSE(station.heartbeat(beat, error));
        EXPECT_EQ(station.errorKind(), SqlErrorKind::Refused) << error;
        for (const auto& r : refusals) {
            SCOPED_TRACE(r.what);
            error.clear();
            EXPECT_FALSE(r.call(error));
            EXPECT_EQ(r.client->errorKind(), r.kind);
            EXPECT_FALSE(r.client->lost());
            EXPECT_NE(error.find(r.said), std::string::npos) << error;
            EXPECT_EQ(error.find(token), std::string::npos) << error;
            EXPECT_EQ(error.find(stranger), std::string::npos) << error;
        }
        // The database away behind the server, then the server itself.
        if (postgres != nullptr) {
            postgres->stop(false);
            EXPECT_FALSE(station.takeLease("board", "", lease, error));
            EXPECT_TRUE(station.lost()) << error;
            EXPECT_NE(error.find("503"), std::string::npos) << error;
            ASSERT_TRUE(postgres->startAgain(error)) << error;
        }
        server.stop();
        EXPECT_FALSE(station.takeLease("board", "", lease, error));
        EXPECT_TRUE(station.lost()) << error;
        EXPECT_EQ(station.errorKind(), SqlErrorKind::Lost);
        EXPECT_FALSE(station.reconnect(error));
        ASSERT_TRUE(server.start(error)) << error;
        EXPECT_TRUE(station.reconnect(error)) << error;
        EXPECT_FALSE(station.lost());
    }
};

TEST_F(LineStation, GoesOnFromItsLeaseWhileTheServerIsAwayOnSqliteAndPostgres) {
    TempDir dir;
    {
        SCOPED_TRACE("SQLite");
        programThroughTheServer("sqlite:" + dir.file("line.db"), nullptr);
    }
    restart();
    useChip(ClassSpiFlash25, 0x1000, 256);
    PostgresServer postgres;
    std::string error;
    ASSERT_TRUE(postgres.start(error)) << error;
    SCOPED_TRACE("PostgreSQL");
    programThroughTheServer(postgres.uri(), &postgres);
}

// What the station takes for a line server and its token, and what not.
TEST(LineAddress, UrlsAndTokensAreTakenOnlyWhole) {
    const struct {
        const char* url;
        const char* target;  // tls host port hostHeader prefix, or the error
    } urls[] = {
        {"http://127.0.0.1:8470", "0 127.0.0.1 8470 127.0.0.1:8470 "},
        {"https://line.local/ostrel/", "1 line.local 443 line.local /ostrel"},
        {"http://[::1]:9000", "0 ::1 9000 [::1]:9000 "},
        {"http://line:0", "the port is not a number from 1 to 65535"},
        {"http://line:99999", "the port is not a number from 1 to 65535"},
        {"http://u:p@line", "a line server's URL takes no user, query, fragment or space"},
        {"http://line/?x=1", "a line server's URL takes no user, query, fragment or space"},
        {"http://line\r\nX: y", "a line server's URL takes no user, query, fragment or space"},
        {"http://[::1", "the server's IPv6 address is not closed with ]"},
        {"http://:80", "the URL names no server"},
        {"ftp://line", "a line server's URL begins with http:// or https://"},
    };
    for (const auto& u : urls) {
        platform::HttpTarget target;
        std::string prefix, error;
        const std::string got = parseLineUrl(u.url, target, prefix, error)
                                    ? std::to_string(target.tls) + " " + target.host + " " +
                                          std::to_string(target.port) + " " + target.hostHeader +
                                          " " + prefix
                                    : error;
        EXPECT_EQ(got, u.target) << u.url;
    }
    TempDir dir;
    const struct {
        const char* file;  // its text; null: no file, from the environment
        const char* environment;
        const char* token;  // or the error's start
    } tokens[] = {
        {"0123abcd\n", "ignored", "0123abcd"},
        {nullptr, "0123abcd", "0123abcd"},
        {"", nullptr, "the line server's token file"},
        {nullptr, nullptr, "a line server needs the station's token"},
        {"s3cret\r\nX-Other: 1\n", nullptr, "the line server's token in the file"},
        {nullptr, "s3 cret", "the line server's token in OSTREL_LINE_TOKEN"},
    };
    for (const auto& t : tokens) {
        const std::string path = t.file ? dir.file("token") : "";
        if (t.file) writeFile(path, t.file);
        if (t.environment)
            setenv("OSTREL_LINE_TOKEN", t.environment, 1);
        else
            unsetenv("OSTREL_LINE_TOKEN");
        std::string token, error;
        const std::string got = readLineToken(path, token, error) ? token : error;
        EXPECT_EQ(got.rfind(t.token, 0), 0u) << got;
        EXPECT_EQ(got.find("s3"), std::string::npos) << "the token shown: " << got;
    }
    unsetenv("OSTREL_LINE_TOKEN");
}

}  // namespace
}  // namespace ostrel::testing
