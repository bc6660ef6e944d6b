// The station interface of a running ostrel-line, on SQLite and on
// PostgreSQL: one table of requests in order, each with the status and the
// part of the body it must answer; then the database, read directly, shows
// that the refused requests changed nothing and the outcome sent twice was
// counted once.

#include <gtest/gtest.h>
#include <httplib.h>

#include <map>
#include <string>

#include "line/line_service.h"
#include "production/production_store.h"
#include "support/line_process.h"
#include "support/pg_server.h"
#include "support/temp_files.h"

namespace ostrel {
namespace {

enum class Who { Nobody, Station1, Station2, Viewer, Admin, Unknown, NotBearer };

struct Step {
    const char* what;
    Who who;
    const char* method;
    const char* path;
    std::string body;
    int status;
    const char* answer;  // a part of the body
    const char* host = nullptr;
    const char* contentType = "application/json";
};

const std::string kSha(64, 'a');
const std::string kProduct = R"({"name":"P","chip":"SPI,MAKER,CHIP","image_sha256":")" + kSha +
                             R"(","serial":{"first":1000,"step":1,"bytes":4,"order":"le"}})";
const std::string kStart =
    R"({"time":"2026-12-08T10:00:00Z","programmer":"A1","chip":"SPI,MAKER,CHIP",)"
    R"("chip_id":"ef4018","command":"auto","product":"P","serial":1000,"sequence":1})";
const std::string kDone =
    R"({"result":"done","cause":"","message":"","bytes":4096,"crc32":"0badf00d","seconds":1.25})";
const std::string kFailed = R"({"result":"failed","cause":"verify","message":"differs",)"
                            R"("bytes":4096,"crc32":"0badf00d","seconds":1.25})";

const std::vector<Step>& steps() {
    static const std::vector<Step> table = {
        {"identity, station", Who::Station1, "GET", "/api/v1/identity", "", 200, "\"identity\""},
        {"identity, viewer", Who::Viewer, "GET", "/api/v1/identity", "", 200, "\"identity\""},
        {"no token", Who::Nobody, "GET", "/api/v1/identity", "", 401, "no token"},
        {"unknown token", Who::Unknown, "GET", "/api/v1/products", "", 401, "unknown token"},
        {"not a bearer", Who::NotBearer, "GET", "/api/v1/products", "", 401, "Bearer"},
        {"wrong host", Who::Station1, "GET", "/api/v1/identity", "", 421, "host", "evil.example"},
        {"product by a station", Who::Station1, "POST", "/api/v1/products", kProduct, 403, "admin"},
        {"product by the admin", Who::Admin, "POST", "/api/v1/products", kProduct, 201, "{}"},
        {"the same product again", Who::Admin, "POST", "/api/v1/products", kProduct, 409, "exists"},
        {"product with a bad digest", Who::Admin, "POST", "/api/v1/products",
         R"({"name":"Q","chip":"X","image_sha256":"ABC","serial":null})", 400, "image_sha256"},
        {"lease size of no product", Who::Admin, "POST", "/api/v1/products/NOPE/lease",
         R"({"size":5})", 404, "NOPE"},
        {"lease size", Who::Admin, "POST", "/api/v1/products/P/lease", R"({"size":5})", 200, "{}"},
        {"products", Who::Station1, "GET", "/api/v1/products", "", 200,
         R"("lease_size":5,"name":"P","serial":{"address":0,"bytes":4,"first":1000)"},
        {"programmer", Who::Station1, "POST", "/api/v1/programmers", R"({"programmer":"A1"})", 200,
         "{}"},
        {"lease", Who::Station1, "POST", "/api/v1/leases", R"({"product":"P"})", 201,
         R"("first":1000,"id":1,"last":1004,"numbers":5,"product":"P","station":"s1")"},
        {"lease of no product", Who::Station1, "POST", "/api/v1/leases", R"({"product":"NOPE"})",
         404, "NOPE"},
        {"lease by a viewer", Who::Viewer, "POST", "/api/v1/leases", R"({"product":"P"})", 403,
         "station"},
        {"chip started", Who::Station1, "POST", "/api/v1/chips", kStart, 201,
         R"({"id":1,"serial":1000})"},
        {"the same start again", Who::Station1, "POST", "/api/v1/chips", kStart, 200,
         R"({"id":1,"serial":1000})"},
        {"another station's number", Who::Station2, "POST", "/api/v1/chips", kStart, 403,
         "no lease of station s2"},
        {"chip of no product", Who::Station1, "POST", "/api/v1/chips",
         R"({"time":"2026-12-08T10:00:00Z","programmer":"A1","chip":"C","chip_id":"",)"
         R"("command":"read","product":"NOPE"})",
         404, "NOPE"},
        {"outcome by another station", Who::Station2, "POST", "/api/v1/chips/1/outcome", kDone, 403,
         "another station"},
        {"outcome", Who::Station1, "POST", "/api/v1/chips/1/outcome", kDone, 200,
         R"({"finished":true})"},
        {"the same outcome again", Who::Station1, "POST", "/api/v1/chips/1/outcome", kDone, 200,
         R"({"finished":false})"},
        {"another outcome", Who::Station1, "POST", "/api/v1/chips/1/outcome", kFailed, 409,
         "finished with done"},
        {"outcome of no chip", Who::Station1, "POST", "/api/v1/chips/99/outcome", kDone, 404,
         "no chip 99"},
        {"malformed JSON", Who::Station1, "POST", "/api/v1/programmers", R"({"programmer":)", 400,
         "not a JSON object"},
        {"missing field", Who::Station1, "POST", "/api/v1/chips/1/outcome", R"({"result":"done"})",
         400, "missing"},
        {"bad CRC", Who::Station1, "POST", "/api/v1/chips/1/outcome",
         R"({"result":"done","cause":"","message":"","bytes":1,"crc32":"XYZ","seconds":1})", 400,
         "crc32"},
        {"not JSON", Who::Station1, "POST", "/api/v1/programmers", R"({"programmer":"A2"})", 400,
         "Content-Type", nullptr, "text/plain"},
        {"oversized", Who::Station1, "POST", "/api/v1/heartbeat", std::string(70000, ' '), 413,
         "64 KiB"},
        {"heartbeat", Who::Station1, "POST", "/api/v1/heartbeat",
         R"({"programmers":[{"serial":"A1","state":"programming","progress":40}],)"
         R"("lease_left":4,"waiting":0})",
         200, "{}"},
        {"heartbeat in a bad state", Who::Station1, "POST", "/api/v1/heartbeat",
         R"({"programmers":[{"serial":"A1","state":"dancing"}],"lease_left":4,"waiting":0})", 400,
         "state"},
    };
    return table;
}

class LineStation : public ::testing::TestWithParam<bool> {};

TEST_P(LineStation, RequestsAreAnsweredAsTheTableSaysAndRefusalsChangeNothing) {
    const bool postgres = GetParam();
    testing::TempDir dir;
    testing::PostgresServer pg;
    std::string error;
    std::string db = "sqlite:" + dir.file("line.db");
    if (postgres) {
        ASSERT_TRUE(pg.start(error)) << error;
        db = pg.uri();
    }
    std::map<Who, std::string> tokens;
    for (const auto& [who, role, name] :
         {std::tuple{Who::Station1, "station", "s1"}, std::tuple{Who::Station2, "station", "s2"},
          std::tuple{Who::Viewer, "viewer", "v"}, std::tuple{Who::Admin, "admin", "a"}}) {
        tokens[who] = testing::LineProcess::addToken(db, role, name, error);
        ASSERT_EQ(tokens[who].size(), 64u) << error;
    }
    tokens[Who::Unknown] = std::string(64, '0');
    testing::LineProcess server;
    ASSERT_TRUE(server.start(db, dir.file("server.log"), error)) << error;

    httplib::Client client("127.0.0.1", server.port());
    for (const Step& step : steps()) {
        httplib::Headers headers;
        if (step.who == Who::NotBearer)
            headers.emplace("Authorization", "Basic " + tokens[Who::Station1]);
        else if (step.who != Who::Nobody)
            headers.emplace("Authorization", "Bearer " + tokens[step.who]);
        if (step.host)
            headers.emplace("Host", std::string(step.host) + ":" + std::to_string(server.port()));
        const httplib::Result result =
            std::string(step.method) == "GET"
                ? client.Get(step.path, headers)
                : client.Post(step.path, headers, step.body, step.contentType);
        ASSERT_TRUE(result) << step.what << ": " << httplib::to_string(result.error());
        EXPECT_EQ(result->status, step.status) << step.what << ": " << result->body;
        EXPECT_NE(result->body.find(step.answer), std::string::npos)
            << step.what << ": " << result->body;
        // No answer quotes a token.
        for (const auto& [who, token] : tokens)
            EXPECT_EQ(result->body.find(token), std::string::npos) << step.what;
    }
    EXPECT_EQ(server.stop(), 0) << server.logText();
    for (const auto& [who, token] : tokens)
        EXPECT_EQ(server.logText().find(token), std::string::npos);

    std::unique_ptr<ProductionStore> store = ProductionStore::open(db, error);
    ASSERT_TRUE(store) << error;
    std::vector<Product> products;
    std::vector<Lease> leases;
    std::vector<ChipRow> rows;
    std::vector<ProgrammerSummary> summary;
    ASSERT_TRUE(store->listProducts(products, error) && store->leases("", leases, error) &&
                store->records({}, rows, error) && store->summary({}, summary, error))
        << error;
    ASSERT_EQ(products.size(), 1u);
    EXPECT_EQ(products[0].leaseSize, 5u);
    ASSERT_EQ(leases.size(), 1u);
    EXPECT_EQ(leases[0].station, "s1");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].station, "s1");
    EXPECT_EQ(rows[0].result, "done");
    EXPECT_EQ(rows[0].crc32, 0x0badf00du);
    ASSERT_EQ(summary.size(), 1u);
    EXPECT_EQ(summary[0].chips, 1);
    EXPECT_EQ(summary[0].passed, 1);
}

INSTANTIATE_TEST_SUITE_P(Databases, LineStation, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "PostgreSQL" : "SQLite";
                         });

// What --listen takes, and what it refuses without ending the server: a port
// too long for any number is refused like one above 65535.
TEST(LineListen, AddressesAndPortsAreReadOrRefused) {
    const struct {
        const char* text;
        bool ok;
        const char* address;
        int port;
    } rows[] = {
        {"127.0.0.1:8470", true, "127.0.0.1", 8470},
        {"[::1]:0", true, "::1", 0},
        {"0.0.0.0:65535", true, "0.0.0.0", 65535},
        {"0.0.0.0:65536", false, "", 0},
        {"0.0.0.0:99999999999", false, "", 0},
        {"::1:8470", false, "", 0},
        {"localhost", false, "", 0},
        {":8470", false, "", 0},
    };
    for (const auto& row : rows) {
        line::LineSettings settings;
        std::string error;
        EXPECT_EQ(line::parseListen(row.text, settings, error), row.ok) << row.text;
        if (!row.ok) {
            EXPECT_NE(error.find(row.text), std::string::npos) << row.text;
            continue;
        }
        EXPECT_EQ(settings.address, row.address) << row.text;
        EXPECT_EQ(settings.port, row.port) << row.text;
    }
}

}  // namespace
}  // namespace ostrel
