// Production runs: one log line per chip with what went into it, serial
// numbers that move on only for chips that passed and survive a restart, and
// a log that cannot be written stopping batch mode.

#include <algorithm>
#include <fstream>
#include <iterator>

#include "base/platform.h"
#include "operations/sim_fixture.h"
#include "production/production_run.h"
#include "production/production_store.h"
#include "production/record_spool.h"
#include "production/station_journal.h"
#include "production/station_link.h"
#ifndef _WIN32
#include "support/pg_server.h"
#endif
#include "support/temp_files.h"

namespace ostrel::testing {
namespace {

std::string field(const std::string& line, const std::string& name) {
    const std::string key = "\"" + name + "\":";
    const std::size_t at = line.find(key);
    if (at == std::string::npos) return "(missing)";
    const std::size_t from = at + key.size();
    const std::size_t to =
        line[from] == '"' ? line.find('"', from + 1) + 1 : line.find_first_of(",}", from);
    return line.substr(from, to - from);
}

std::vector<std::string> lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> all;
    for (std::string line; std::getline(in, line);) all.push_back(line);
    return all;
}

class Production : public SimFixture {
  protected:
    void SetUp() override {
        SimFixture::SetUp();
        useChip(ClassSpiFlash25, 0x1000, 256);
        for (int i = 0; i < 0x1000; ++i) flash()[i] = static_cast<uint8_t>(i * 7);
        buffers().flashDataLength = 0x1000;
        run.programmer = "OST000000001";
        run.clock = [] { return std::time_t{1700000000}; };
        runner.hook = &run;
        runner.presenter = &presenter;
    }
    SerialFormat format() const {
        SerialFormat f;
        EXPECT_TRUE(parseSerialFormat("0x10:4:1000", f, error));
        return f;
    }
    TempDir dir;
    mutable std::string error;
    ProductionLog log;
    ProductionRun run{*state, ops, runner, ui, log};
};

// Three chips of one run: the second ignores the write and so differs. Its
// number goes to the third chip, and the CRC-32s (from Python's zlib) are of
// the image with each chip's number in it. The database's rows say what the
// log says, in the same words.
TEST_F(Production, EveryChipLeavesALineWithItsCrcAndSerial) {
    ASSERT_TRUE(log.open(dir.file("production.jsonl"), error)) << error;
    SerialCounter serials(dir.file(kSerialCounterName), format());
    run.serials = &serials;
#ifndef _WIN32  // the database, which the Windows build does not have
    StationLink link("sqlite:" + dir.file("line.db"), dir.path());
    ASSERT_TRUE(link.connect(error)) << error;
    run.database = &link;
#endif
    run.chipId = "EF4016";
    struct Chip {
        bool writeProtected;
        CommandStatus status;
        const char* result;
        const char* serial;
        const char* crc;
    };
    const Chip chips[] = {
        {false, CommandStatus::Done, "\"done\"", "1000", "\"ca679cdd\""},
        {true, CommandStatus::Mismatch, "\"different\"", "1001", "\"8c389783\""},
        {false, CommandStatus::Done, "\"done\"", "1001", "\"8c389783\""},
    };
    for (const Chip& c : chips) {
        ostrel_sim_clear_faults(device);
        if (c.writeProtected) ostrel_sim_set_fault(device, OSTREL_SIM_FAULT_WRITE_PROTECT, 1, 0);
        EXPECT_EQ(runner.run(ChipCommand::Auto).status, c.status);
    }
    const std::vector<std::string> written = lines(log.path());
    ASSERT_EQ(written.size(), 3u);
    for (std::size_t i = 0; i < written.size(); ++i) {
        SCOPED_TRACE(written[i]);
        EXPECT_EQ(field(written[i], "time"), "\"2023-11-14T22:13:20Z\"");
        EXPECT_EQ(field(written[i], "programmer"), "\"OST000000001\"");
        EXPECT_EQ(field(written[i], "chip"), "\"SPI_FLASH,Maker,TEST\"");
        EXPECT_EQ(field(written[i], "id"), "\"EF4016\"");
        EXPECT_EQ(field(written[i], "command"), "\"auto\"");
        EXPECT_EQ(field(written[i], "bytes"), "4096");
        EXPECT_EQ(field(written[i], "result"), chips[i].result);
        EXPECT_EQ(field(written[i], "serial"), chips[i].serial);
        EXPECT_EQ(field(written[i], "crc32"), chips[i].crc);
    }
    EXPECT_NE(field(written[1], "message"), "\"\"");
    EXPECT_EQ(ui.statusPanels[PanelBatchCounts], "OK 2 NG 1");
#ifndef _WIN32
    std::vector<ChipRow> rows;
    ASSERT_TRUE(link.store().records({}, rows, error)) << error;
    ASSERT_EQ(rows.size(), written.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ("\"" + rows[i].result + "\"", field(written[i], "result"));
        EXPECT_EQ(rows[i].cause.empty() ? "null" : "\"" + rows[i].cause + "\"",
                  field(written[i], "cause"));
        EXPECT_EQ(jsonString(rows[i].message), field(written[i], "message"));
    }
#endif
}

// The record of one command, from its report alone: the bytes it moved and
// their CRC-32 and SHA-256 (here from Python's zlib and hashlib), the result,
// and for one that did not pass the reason in English, whatever the window's
// language, with the failure's stable name. A command that did not run leaves
// no line.
TEST_F(Production, TheRecordTakesBytesAndCauseFromTheReport) {
    ASSERT_TRUE(log.open(dir.file("record.jsonl"), error)) << error;
    for (int i = 0; i < 0x1000; ++i) flash()[i] = static_cast<uint8_t>(i);
    state->language = LangSimplified;
    run.everyCommand = true;
    const auto report = [](ChipCommand command, CommandStatus status, AddressSpan moved,
                           std::optional<Failure> failure = std::nullopt,
                           std::optional<Difference> difference = std::nullopt) {
        CommandReport r;
        r.command = command;
        r.status = status;
        r.moved = moved;
        r.failure = failure;
        r.difference = difference;
        return r;
    };
    struct Case {
        const char* what;
        CommandReport report;
        bool line;  // a line is written
        const char* result;
        const char* bytes;
        const char* crc;
        const char* sha256;  // its first 16 digits
        const char* message;
        const char* cause;
    };
    const Case cases[] = {
        {"part of a chip read", report(ChipCommand::Read, CommandStatus::Done, {0x100, 0x200}),
         true, "\"done\"", "256", "\"29058c73\"", "40aff2e9d2d8922e", "\"\"", "null"},
        {"a read that broke off keeps nothing",
         report(ChipCommand::Read, CommandStatus::Failed, {0x100, 0x180},
                Failure{Operation::Read, FailureCause::TransferFailed, 0x180, 0}),
         true, "\"failed\"", "0", "\"00000000\"", "e3b0c44298fc1c14",
         "\"Read stopped at address 180h: the programmer did not answer. The operation is not "
         "complete.\"",
         "\"transfer_failed\""},
        {"a difference, in English, with both bytes",
         report(ChipCommand::Verify, CommandStatus::Mismatch, {0, 0x100},
                Failure{Operation::Verify, FailureCause::Difference, 0x12, 0},
                Difference{0x12, 0xFF, 0x12}),
         true, "\"different\"", "256", "\"29058c73\"", "40aff2e9d2d8922e",
         "\"Flash check error address:12h: the chip holds FFh, the file 12h\"", "\"difference\""},
        {"stopped",
         report(ChipCommand::Erase, CommandStatus::Stopped, {},
                Failure{Operation::Erase, FailureCause::Stopped, -1, 0}),
         true, "\"failed\"", "0", "\"00000000\"", "e3b0c44298fc1c14", "\"Stopped on request.\"",
         "\"stopped\""},
        {"not run", report(ChipCommand::Write, CommandStatus::NotRun, {}), false, "", "", "", "",
         "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t before = lines(log.path()).size();
        EXPECT_TRUE(run.record(c.report));
        const std::vector<std::string> written = lines(log.path());
        ASSERT_EQ(written.size(), before + (c.line ? 1 : 0));
        if (!c.line) continue;
        const std::string& line = written.back();
        EXPECT_EQ(field(line, "command"), std::string("\"") + commandName(c.report.command) + "\"");
        EXPECT_EQ(field(line, "result"), c.result);
        EXPECT_EQ(field(line, "bytes"), c.bytes);
        EXPECT_EQ(field(line, "crc32"), c.crc);
        EXPECT_EQ(field(line, "sha256").substr(1, 16), c.sha256);
        EXPECT_EQ(field(line, "message"), c.message);
        EXPECT_EQ(field(line, "cause"), c.cause);
    }
}

#ifndef _WIN32  // a file size limit cuts the line short
// A line that the disk takes only in part is taken back: the log holds whole
// lines only, and the append says it failed.
TEST(ProductionLog, ALineGoesInWholeOrNotAtAll) {
    TempDir dir;
    ProductionLog log;
    std::string error;
    ASSERT_TRUE(log.open(dir.file("p.jsonl"), error)) << error;
    ASSERT_TRUE(log.append("{\"first\":1}\n", error)) << error;
    {
        const FileSizeLimit limit(20);
        EXPECT_FALSE(log.append("{\"second\":\"longer than the rest of the limit\"}\n", error));
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(lines(dir.file("p.jsonl")), std::vector<std::string>{"{\"first\":1}"});
    ASSERT_TRUE(log.append("{\"third\":3}\n", error)) << error;
    EXPECT_EQ(lines(dir.file("p.jsonl")),
              (std::vector<std::string>{"{\"first\":1}", "{\"third\":3}"}));
}
#endif

// One counter file, kept across restarts and shared by two processes: a
// number comes once to a chip that passed, never twice.
TEST(SerialCounter, MovesOnOnlyForChipsThatPassedAndNeverRepeats) {
    TempDir dir;
    const std::string path = dir.file(kSerialCounterName);
    SerialFormat f;
    std::string error;
    ASSERT_TRUE(parseSerialFormat("0:2:100:10", f, error));
    std::unique_ptr<SerialCounter> a = std::make_unique<SerialCounter>(path, f);
    SerialCounter b(path, f);
    enum Step { TakeA, PassA, FailA, TakeB, PassB, RestartA };
    const struct {
        Step step;
        uint64_t value;  // the number taken (TakeA, TakeB)
    } steps[] = {
        {TakeA, 100},  {PassA, 0},   {TakeA, 110}, {FailA, 0},  // given back: nobody took one since
        {RestartA, 0}, {TakeA, 110}, {TakeB, 120}, {FailA, 0},  // B took one: A keeps its own
        {TakeA, 110},  {PassA, 0},   {PassB, 0},   {RestartA, 0}, {TakeA, 130},
    };
    for (const auto& s : steps) {
        uint64_t value = 0;
        switch (s.step) {
            case TakeA:
                ASSERT_TRUE(a->take(value, error)) << error;
                EXPECT_EQ(value, s.value);
                break;
            case TakeB:
                ASSERT_TRUE(b.take(value, error)) << error;
                EXPECT_EQ(value, s.value);
                break;
            case PassA:
                a->passed();
                break;
            case PassB:
                b.passed();
                break;
            case FailA:
                EXPECT_TRUE(a->failed(error)) << error;
                break;
            case RestartA:
                a = std::make_unique<SerialCounter>(path, f);
                break;
        }
    }
    // Numbers that no longer fit are refused, not wrapped.
    SerialFormat small;
    ASSERT_TRUE(parseSerialFormat("0:1:255", small, error));
    SerialCounter last(dir.file("small"), small);
    uint64_t value = 0;
    ASSERT_TRUE(last.check(error)) << error;
    ASSERT_TRUE(last.take(value, error));
    last.passed();
    EXPECT_FALSE(last.check(error));
    EXPECT_FALSE(last.take(value, error));
    // A counter file that cannot be opened, or holds no number, is an error at
    // once, not a wait for it to come right.
    writeFile(dir.file("words"), "twelve\n");
    for (const std::string& broken : {dir.file("no/such/counter"), dir.path(), dir.file("words")}) {
        SerialCounter counter(broken, f);
        std::string why;
        EXPECT_FALSE(counter.check(why)) << broken;
        why.clear();
        EXPECT_FALSE(counter.take(value, why)) << broken;
        EXPECT_NE(why, "") << broken;
    }
}

TEST(SerialCounter, FormatsParseAndStampInTheirByteOrder) {
    const struct {
        const char* text;
        bool ok;
        uint32_t address;
        uint64_t start;
        std::vector<uint8_t> stamped;  // of the value 0x1234
    } cases[] = {
        {"0x10:4:1000", true, 0x10, 1000, {0x34, 0x12, 0x00, 0x00}},
        {"16:2:0x1234:2:be", true, 16, 0x1234, {0x12, 0x34}},
        {"0:3:5:le", true, 0, 5, {0x34, 0x12, 0x00}},
        // Leading zeros are decimal, not octal; $ is hexadecimal as 0x is.
        {"0x10:4:01000", true, 0x10, 1000, {0x34, 0x12, 0x00, 0x00}},
        {"019:2:$FF:be", true, 19, 0xFF, {0x12, 0x34}},
        {"$:2:1", false, 0, 0, {}},
        {"0x:2:1", false, 0, 0, {}},
        {"0:8:18446744073709551616", false, 0, 0, {}},  // past 64 bits
        {"0x10:9:1", false, 0, 0, {}},                  // more than 8 bytes
        {"0x10:1:256", false, 0, 0, {}},                // the start does not fit
        {"1:2", false, 0, 0, {}},
        {"1:2:3:0", false, 0, 0, {}},  // a step of 0 would repeat
        {"1:2:-3", false, 0, 0, {}},
        {"1:2: 3", false, 0, 0, {}},
    };
    for (const auto& c : cases) {
        SerialFormat f;
        std::string error;
        EXPECT_EQ(parseSerialFormat(c.text, f, error), c.ok) << c.text;
        if (!c.ok) continue;
        EXPECT_EQ(f.address, c.address) << c.text;
        EXPECT_EQ(f.start, c.start) << c.text;
        std::vector<uint8_t> out(f.bytes, 0xEE);
        stampSerial(out.data(), 0x1234, f);
        EXPECT_EQ(out, c.stamped) << c.text;
    }
}

#ifndef _WIN32  // /dev/full
// A chip whose line cannot be appended has not passed: batch mode stops
// with an error box after that chip, and counts it as failed, and the
// line's database records the same outcome.
TEST_F(Production, ALogThatCannotBeWrittenStopsBatchMode) {
    ASSERT_TRUE(log.open("/dev/full", error)) << error;  // every write fails, also for root
    StationLink database("sqlite:" + dir.file("line.db"), dir.path());
    ASSERT_TRUE(database.connect(error)) << error;
    run.database = &database;
    ostrel_sim_insert_chip(device, ClassSpiFlash25, 0xEF4016, 0x1000, nullptr);
    int guard = 0;
    ui.onProcessEvents = [&] {
        if (++guard > 20000) runner.stopBatch();
    };
    runner.startBatch();
    EXPECT_LT(guard, 20000) << "batch mode went on after the lost record";
    EXPECT_FALSE(runner.lock().batchActive());
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text.rfind("The production log /dev/full cannot be written", 0), 0u)
        << ui.boxes[0].text;
    EXPECT_EQ(run.passed(), 0);
    EXPECT_EQ(run.failed(), 1);
    std::vector<ChipRow> rows;
    ASSERT_TRUE(database.store().records({}, rows, error)) << error;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].result, "failed");
    EXPECT_EQ(rows[0].cause, "record_failed");
    EXPECT_EQ(rows[0].message.rfind("The production log /dev/full cannot be written", 0), 0u)
        << rows[0].message;
}
#endif

}  // namespace
}  // namespace ostrel::testing

namespace ostrel::testing {
namespace {

// The words of the line's database: what a URL shows (never its password),
// which times --since takes, and spool lines that survive any message and
// are not taken when cut short.
TEST(LineDatabase, TextsShowNoPasswordTakeOnlyRealTimesAndKeepEveryMessage) {
    const struct {
        const char* url;
        const char* shown;
    } urls[] = {
        {"postgresql://line:s3cret@db/line", "postgresql://line:***@db/line"},
        {"postgres://line@db/line?password=s3cret&sslmode=require",
         "postgres://line@db/line?password=***&sslmode=require"},
        {"host=db password='s3 cret' dbname=line", "host=db password=*** dbname=line"},
        {"sqlite:/var/lib/line.db", "sqlite:/var/lib/line.db"},
        // Mistyped: whatever cannot be read hides its password all the same.
        {"postgresq://line:s3cret@db/line", "postgresq://line:***@db/line"},
        {"postgresql://line:s3@c/ret@db/line", "postgresql://line:***@db/line"},
        {"postgresql://:s3cret@db", "postgresql://:***@db"},
        {"host=db pasword = s3cret dbname=line", "host=db pasword = *** dbname=line"},
        {"host=db sslpassword=s3\\ cret", "host=db sslpassword=***"},
        {"postgresql://db/line?pass%77ord=s3cret", "postgresql://db/line?pass%77ord=***"},
        {"host=db password='s3 \\'cret", "host=db password=***"},
        {"unknown option --dbx=postgresql://u:s3cret@db",
         "unknown option --dbx=postgresql://u:***@db"},
        {"postgresql://line@db:5432/line", "postgresql://line@db:5432/line"},
        // A URI's value runs to the next parameter, spaces, quotes and # included.
        {"postgresql:///line?password=s3 cret&host=/s", "postgresql:///line?password=***&host=/s"},
        {"postgres://db/line?password='s3'c#ret", "postgres://db/line?password=***"},
    };
    for (const auto& u : urls) EXPECT_EQ(databaseShownName(u.url), u.shown) << u.url;
    // What a library says about a URL, quoting its password as it was
    // written, unquoted or decoded.
    const struct {
        const char* url;
        const char* error;
        const char* shown;
    } reasons[] = {
        {"postgresql://u:s3%zzcret@db", "invalid percent-encoded token: \"s3%zzcret\"",
         "invalid percent-encoded token: \"***\""},
        {"postgresql://u:s3%40cret@db", "for s3@cret and s3%40cret", "for *** and ***"},
        {"host=db password='s3 cret'", "'s3 cret' and s3 cret", "*** and ***"},
        {"sqlite:/tmp/x.db", "unable to open database file (/tmp/x.db)",
         "unable to open database file (/tmp/x.db)"},
        // One line: the first, as the user reads it in a sentence of ours.
        {"postgresql://line:s3\tcret@/line",
         "connection to server on socket \"/s/.s.PGSQL.5432\" failed: No such file\n\tIs the "
         "server running locally and accepting connections on that socket?\n",
         "connection to server on socket \"/s/.s.PGSQL.5432\" failed: No such file"},
        {"host=/s", "\nERROR:  duplicate key value\nDETAIL:  Key (name)=(p) already exists.",
         "ERROR: duplicate key value"},
        {"postgresql://u:s3\tcret@db", "password s3\tcret.\n", "password ***"},
        // An @ left unencoded: the library's password ends at the first one.
        {"postgresql://u:s3:cr@et@db/line", "password s3:cr, host et@db",
         "password ***, host et@db"},
        // A "://" in a connection string's value: its password is still read to its quote.
        {"host=db://x password='s3 \\' cret' user=u", "password s3 ' cret", "password ***"},
        {"host=db://x password=s3&cret user=u", "password s3&cret", "password ***"},
        // Passwords of stars: what hides one is never taken for another.
        {"postgresql://u:**@db/line?password=*&sslpassword=***", "<*******>", "<***>"},
        // A backslash at the end escapes nothing: the library reads s3cret.
        {"host=db password=s3cret\\", "password s3cret rejected", "password *** rejected"},
    };
    for (const auto& r : reasons) EXPECT_EQ(databaseReason(r.url, r.error), r.shown) << r.url;

    const struct {
        const char* text;
        std::optional<std::time_t> time;
    } times[] = {
        {"2026-12-08T07:30:15Z", std::time_t{1796715015}},
        {"2026-12-08T07:30Z", std::time_t{1796715000}},
        {"2026-12-08Z", std::time_t{1796688000}},
        {"2026-02-31", std::nullopt},
        {"2026-12-08T24:00Z", std::nullopt},
        {"2026-12-8", std::nullopt},
        {"2026-12-08T07:30:15+01", std::nullopt},
    };
    for (const auto& t : times) EXPECT_EQ(parseRecordTime(t.text), t.time) << t.text;

    ChipRow outcome;
    outcome.id = 42;
    outcome.result = "failed";
    outcome.cause = "transfer-failed";
    outcome.message = "tab\there, line\nthere, back\\slash";
    outcome.bytes = 0x800000;
    outcome.crc32 = 0xDEADBEEF;
    outcome.seconds = 12.345;
    const std::string line = RecordSpool::lineOf(outcome);
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
    ChipRow back;
    ASSERT_TRUE(RecordSpool::outcomeOf(line.substr(0, line.size() - 1), back));
    EXPECT_EQ(back.message, outcome.message);
    EXPECT_EQ(back.crc32, outcome.crc32);
    EXPECT_EQ(back.bytes, outcome.bytes);
    EXPECT_EQ(secondsText(back.seconds), "12.345");
    // A chip started from the lease while the database was away keeps its
    // start on its line; a line with a row and a start, or a start without
    // its station or sequence number, is not one.
    ChipRow offline = outcome;
    offline.id = 0;
    offline.time = 1796715000;
    offline.station = "st\t1";
    offline.programmer = "P1";
    offline.chip = "SPI_FLASH,Winbond,W25X10";
    offline.command = "auto";
    offline.serial = 1003;
    offline.product = "board";
    offline.sequence = 9;
    const std::string started = RecordSpool::lineOf(offline);
    ASSERT_TRUE(RecordSpool::outcomeOf(started.substr(0, started.size() - 1), back));
    EXPECT_EQ(back.id, 0);
    EXPECT_EQ(back.time, offline.time);
    EXPECT_EQ(back.station, offline.station);
    EXPECT_EQ(back.chip, offline.chip);
    EXPECT_EQ(back.serial, offline.serial);
    EXPECT_EQ(back.sequence, offline.sequence);
    EXPECT_EQ(back.message, offline.message);
    const std::size_t startAt = started.find("\t" + recordTimeText(offline.time));
    const std::string tail = started.substr(startAt, started.size() - 1 - startAt);
    for (const std::string& cut :
         {line.substr(0, 20), std::string("0\tdone\t\t\t0\t0\t0"),
          std::string("7\tdone\t\t\\x\t0\t0\t0"), line.substr(0, line.size() - 1) + tail,
          started.substr(0, started.size() - 3),
          "0" + started.substr(1, started.rfind('\t')) + "0"})
        EXPECT_FALSE(RecordSpool::outcomeOf(cut, back)) << cut;
}

#ifndef _WIN32  // the database, which the Windows build does not have
// One station's store on SQLite over a chip's life: a number taken with the
// row, given back by a failed chip and taken again; a spool written twice
// finishes each row once; a database of a newer program is refused.
TEST(LineDatabase, NumbersComeBackOnceAndTheSpoolCountsOnce) {
    TempDir dir;
    const std::string url = "sqlite:" + dir.file("line.db");
    std::string error;
    auto store = ProductionStore::open(url, error);
    ASSERT_TRUE(store) << error;
    SerialFormat pool;
    pool.bytes = 1;
    pool.start = 254;
    ASSERT_TRUE(store->addProduct({"p", "SPI_FLASH,Winbond,W25X10", "00", pool}, error));
    EXPECT_FALSE(store->addProduct({"p", "x", "00", std::nullopt}, error));
    EXPECT_EQ(error, "a product named p exists already");

    auto chip = [&](const char* result, std::optional<uint64_t> serial) {
        ChipRow row;
        row.product = "p";
        EXPECT_TRUE(store->startChip(row, error)) << error;
        EXPECT_EQ(row.serial, serial);
        row.result = result;
        bool finished = false;
        EXPECT_TRUE(store->finishChip(row, finished, error)) << error;
        EXPECT_TRUE(finished);
        return row;
    };
    chip("failed", 254);
    const ChipRow again = chip("done", 254);
    chip("done", 255);
    ChipRow full;
    full.product = "p";
    EXPECT_FALSE(store->startChip(full, error)) << "256 does not fit in one byte";
    EXPECT_NE(error.find("are used up"), std::string::npos) << error;

    ChipRow late = again;
    late.result = "failed";
    const RecordSpool spool(dir.file("spool.tsv"));
    ASSERT_TRUE(spool.append(late, error)) << error;
    ASSERT_TRUE(spool.append(late, error)) << error;
    RecordSpool::Flushed flushed;
    ASSERT_TRUE(spool.flush(*store, flushed, error)) << error;
    EXPECT_EQ(flushed.written, 0) << "a finished row was finished again";
    EXPECT_EQ(flushed.setAside, 0);
    std::vector<ChipRow> rows;
    ASSERT_TRUE(store->records({}, rows, error));
    ASSERT_EQ(rows.size(), 3u) << "the used-up chip left a row";
    EXPECT_EQ(rows[1].result, "done");
    EXPECT_EQ(readFile(dir.file("spool.tsv")), "");

    // A spool that a crash cut, an edit spoilt, or that names a row the
    // database never had: what cannot be written is set aside whole and
    // named, and the good line after it is written all the same. An append
    // that the disk takes in part leaves the spool as it was.
    ChipRow open;
    ASSERT_TRUE(store->startChip(open, error)) << error;
    ChipRow unknown = open;
    unknown.id = 999;
    open.result = "done";
    const std::string good = RecordSpool::lineOf(open);
    const std::string stranger = RecordSpool::lineOf(unknown);
    const std::string edited = "7\tdone\t\t\\x\t0\t0\t0\n";
    const std::string cut = good.substr(0, 9);
    writeFile(spool.path(), edited + stranger + good);
    {
        const FileSizeLimit limit(
            static_cast<rlim_t>(edited.size() + stranger.size() + good.size() + 10));
        EXPECT_FALSE(spool.append(open, error));
    }
    EXPECT_EQ(readFile(spool.path()), edited + stranger + good);
    writeFile(spool.path(), edited + stranger + good + cut);
    flushed = {};
    ASSERT_TRUE(spool.flush(*store, flushed, error)) << error;
    EXPECT_EQ(flushed.written, 1);
    EXPECT_EQ(flushed.setAside, 3);
    EXPECT_EQ(flushed.reason, "line 1 cannot be read");
    EXPECT_EQ(readFile(spool.path()), "");
    EXPECT_EQ(spool.setAsidePath(), dir.file("spool-set-aside.tsv"));
    EXPECT_EQ(readFile(spool.setAsidePath()), edited + stranger + cut + "\n");
    ASSERT_TRUE(store->records({}, rows, error));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[3].result, "done");

    // Two spellings of one database's URL find one spool; another database
    // has its own.
    std::string spools[3];
    const std::string urls[3] = {url, "sqlite:" + dir.path() + "/./line.db",
                                 "sqlite:" + dir.file("other.db")};
    for (int i = 0; i < 3; ++i) {
        StationLink link(urls[i], dir.path());
        ASSERT_TRUE(link.connect(error)) << error;
        spools[i] = link.spool().path();
    }
    EXPECT_EQ(spools[0], spools[1]);
    EXPECT_NE(spools[0], spools[2]);

    // A chip whose verify found a difference has failed, as the summary counts it.
    ChipRow different;
    ASSERT_TRUE(store->startChip(different, error)) << error;
    different.result = "different";
    bool done = false;
    ASSERT_TRUE(store->finishChip(different, done, error)) << error;
    const struct {
        const char* result;
        std::vector<int64_t> ids;
    } filters[] = {
        {"failed", {1, 5}}, {"different", {5}}, {"done", {2, 3, 4}}, {"", {1, 2, 3, 4, 5}}};
    for (const auto& f : filters) {
        std::vector<ChipRow> found;
        RecordFilter filter;
        filter.result = f.result;
        ASSERT_TRUE(store->records(filter, found, error)) << error;
        std::vector<int64_t> ids;
        for (const ChipRow& row : found) ids.push_back(row.id);
        EXPECT_EQ(ids, f.ids) << f.result;
    }

    // Rows written before the causes took the log's spelling, and an outcome
    // an older program kept aside, take it.
    store.reset();
    {
        auto db = connectSqlite(dir.file("line.db"), error);
        // A database of the schema's second version, as it was.
        for (const char* undo :
             {"ALTER TABLE chips DROP COLUMN spent", "DROP INDEX chips_product_serial",
              "DROP INDEX chips_station_time", "ALTER TABLE leases DROP COLUMN reclaimed",
              "DROP TABLE station_reports", "DROP TABLE station_seen"})
            ASSERT_TRUE(db && db->exec(undo, error)) << error;
        ASSERT_TRUE(db && db->exec("UPDATE ostrel_schema SET version = 2", error) &&
                    db->exec("UPDATE chips SET cause = 'transfer-failed' WHERE id = 1", error) &&
                    db->exec("UPDATE chips SET result = 'started' WHERE id = 3", error))
            << error;
    }
    store = ProductionStore::open(url, error);
    ASSERT_TRUE(store) << error;
    ChipRow old = rows[2];
    old.result = "failed";
    old.cause = "no-programmer";
    bool finished = false;
    ASSERT_TRUE(store->finishChip(old, finished, error)) << error;
    ASSERT_TRUE(store->records({}, rows, error));
    EXPECT_EQ(rows[0].cause, "transfer_failed");
    EXPECT_EQ(rows[2].cause, "no_programmer");
    store.reset();
    {
        auto db = connectSqlite(dir.file("line.db"), error);
        ASSERT_TRUE(db && db->exec("UPDATE ostrel_schema SET version = 99", error)) << error;
    }
    EXPECT_FALSE(ProductionStore::open(url, error));
    EXPECT_NE(error.find("version 99, newer than this program's"), std::string::npos) << error;
}
#endif

#ifndef _WIN32  // the database, which the Windows build does not have
// Leases on both databases: blocks of the product's lease size taken one
// after the other and past the numbers the pool gave chips, a last one
// shorter where the pool ends, sizes below 1 or beyond what the pool has left
// refused, and every lease recorded.
TEST(LineDatabase, LeasesAreBlocksOfThePoolThatNeverOverlap) {
    PostgresServer server;
    std::string error;
    ASSERT_TRUE(server.start(error)) << error;
    TempDir dir;
    for (const std::string& url : {"sqlite:" + dir.file("line.db"), server.conninfo()}) {
        SCOPED_TRACE(url);
        auto store = ProductionStore::open(url, error);
        ASSERT_TRUE(store) << error;
        SerialFormat pool;  // 200, 205, ... 255: twelve numbers
        pool.bytes = 1;
        pool.start = 200;
        pool.step = 5;
        EXPECT_FALSE(store->addProduct({"p", "c", "00", pool, 13}, error));
        EXPECT_EQ(error, "the pool of p has 12 numbers left, fewer than a lease of 13");
        ASSERT_TRUE(store->addProduct({"p", "c", "00", pool, 3}, error)) << error;
        ASSERT_TRUE(store->addProduct({"q", "c", "00", std::nullopt}, error)) << error;
        enum Step { Take, Chip, Size };
        const struct {
            Step step;
            const char* station;  // Take
            uint64_t value;       // Take: the first number; Chip: its number; Size: the size
            uint64_t last;        // Take: the last number; 0: refused
            const char* refusal;  // Size, Take: the error, when refused
        } steps[] = {
            {Take, "st1", 200, 210, ""},
            {Chip, "", 215, 0, ""},
            {Size, "", 0, 0, "a lease holds at least 1 number, not 0"},
            {Size, "", 9, 0, "the pool of p has 8 numbers left, fewer than a lease of 9"},
            {Size, "", 8, 0, ""},
            {Take, "st2", 220, 255, ""},
            {Take, "st1", 0, 0, "the serial numbers of p are used up: 260 does not fit in 1 bytes"},
        };
        for (const auto& s : steps) {
            SCOPED_TRACE(std::to_string(s.value));
            error.clear();
            if (s.step == Take) {
                Lease lease;
                EXPECT_EQ(store->takeLease("p", s.station, lease, error), s.last > 0);
                EXPECT_EQ(error, s.refusal);
                if (s.last == 0) continue;
                EXPECT_EQ(lease.first, s.value);
                EXPECT_EQ(lease.last, s.last);
                EXPECT_EQ(lease.numbers, (s.last - s.value) / 5 + 1);
                EXPECT_EQ(lease.station, s.station);
            } else if (s.step == Chip) {
                ChipRow row;
                row.product = "p";
                ASSERT_TRUE(store->startChip(row, error)) << error;
                EXPECT_EQ(row.serial, s.value);
            } else {
                EXPECT_EQ(store->setLeaseSize("p", s.value, error), *s.refusal == '\0');
                EXPECT_EQ(error, s.refusal);
            }
        }
        std::vector<Lease> leases;
        ASSERT_TRUE(store->leases("p", leases, error)) << error;
        ASSERT_EQ(leases.size(), 2u);
        EXPECT_EQ(leases[0].station, "st1");
        EXPECT_EQ(leases[1].first, 220u);
        EXPECT_LT(leases[0].id, leases[1].id);
        EXPECT_FALSE(store->setLeaseSize("q", 5, error)) << "q has no serial numbers";
        std::optional<Product> p;
        ASSERT_TRUE(store->findProduct("p", p, error) && p);
        EXPECT_EQ(p->leaseSize, 8u);
    }
}
#endif

// The station's journal over a restart: numbers drawn from the oldest
// lease first, one given back drawn again before fresh ones, one spent never
// again, and the used-up lease said as such. A journal cut, edited, or of
// another database or station stops the station, naming the file and the
// fault, and is left as it was.
TEST(StationJournal, DrawsEachNumberOnceAcrossRestartsAndRefusesADamagedJournal) {
    TempDir dir;
    const std::string path = StationJournal::pathFor(dir.path(), "sqlite:/line.db");
    auto journal = std::make_unique<StationJournal>(path, "sqlite:/line.db", "st1");
    std::string error;
    Lease first{7, "p", "st1", 100, 104, 2, 3, 0, std::nullopt};
    Lease second{9, "p", "st1", 200, 200, 1, 1, 0, std::nullopt};
    ASSERT_TRUE(journal->addLease(first, error)) << error;
    ASSERT_TRUE(journal->addLease(second, error)) << error;
    enum Step { Draw, Back, Spend, Restart, UsedUp };
    const struct {
        Step step;
        uint64_t value;  // Draw: the number; Back, Spend: the chip's sequence number
        uint64_t left;   // Draw: what the leases hold after it
    } steps[] = {
        {Draw, 100, 3}, {Draw, 102, 2}, {Back, 1, 0},    {Restart, 0, 0},
        {Draw, 100, 2}, {Spend, 2, 0},  {Draw, 104, 1},  {Draw, 200, 0},
        {UsedUp, 0, 0}, {Back, 5, 0},   {Restart, 0, 0}, {Draw, 200, 0},
    };
    uint64_t sequence = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(std::to_string(s.step) + " " + std::to_string(s.value));
        uint64_t drawnSequence = 0, number = 0, left = 0;
        switch (s.step) {
            case Draw:
                ASSERT_TRUE(journal->draw("p", drawnSequence, number, left, error)) << error;
                EXPECT_EQ(drawnSequence, ++sequence);
                EXPECT_EQ(number, s.value);
                EXPECT_EQ(left, s.left);
                break;
            case Back:
                EXPECT_TRUE(journal->giveBack(s.value, error)) << error;
                break;
            case Spend:
                EXPECT_TRUE(journal->spend(s.value, "difference", error)) << error;
                break;
            case Restart:
                journal = std::make_unique<StationJournal>(path, "sqlite:/line.db", "st1");
                break;
            case UsedUp:
                EXPECT_FALSE(journal->draw("p", drawnSequence, number, left, error));
                EXPECT_EQ(error, "");
                EXPECT_EQ(left, 0u);
                break;
        }
    }
    EXPECT_FALSE(journal->giveBack(2, error)) << "a spent number came back";

    const std::string whole = readFile(path);
    const std::size_t secondLine = whole.find('\n') + 1;
    std::string edited = whole;
    edited[whole.find("100")] = '3';
    const struct {
        const char* what;
        std::string text;
        const char* identity;
        const char* station;
        const char* fault;
    } damaged[] = {
        {"cut", whole.substr(0, whole.size() - 3), "sqlite:/line.db", "st1", "line 12: cut short"},
        {"edited", edited, "sqlite:/line.db", "st1",
         "line 2: its check sum does not match: edited or damaged"},
        {"headless", whole.substr(secondLine), "sqlite:/line.db", "st1",
         "line 1: not the head of a station's journal"},
        {"another database", whole, "sqlite:/other.db", "st1",
         "belongs to st1 on sqlite:/line.db, not to st1 on sqlite:/other.db"},
        {"another station", whole, "sqlite:/line.db", "st2",
         "belongs to st1 on sqlite:/line.db, not to st2 on sqlite:/line.db"},
    };
    for (const auto& d : damaged) {
        SCOPED_TRACE(d.what);
        writeFile(path, d.text);
        const StationJournal other(path, d.identity, d.station);
        uint64_t drawnSequence = 0, number = 0, left = 0;
        EXPECT_FALSE(other.draw("p", drawnSequence, number, left, error));
        EXPECT_NE(error.find("journal " + path), std::string::npos) << error;
        EXPECT_NE(error.find(d.fault), std::string::npos) << error;
        EXPECT_EQ(readFile(path), d.text) << "the journal was written";
    }
}

#ifndef _WIN32  // the database, which the Windows build does not have
// A station on the line's database draws its chips' numbers from its lease,
// takes its first lease with its first chip and the next once less than half
// is left, gives back the number of a chip that failed before its write and
// spends the one of a chip that failed after it; the database never gives a
// leased number back to the pool.
TEST(StationJournal, AStationDrawsFromItsLeaseAndTopsItUp) {
    TempDir dir;
    std::string error;
    StationLink link("sqlite:" + dir.file("line.db"), dir.path());
    link.station = "st1";
    ASSERT_TRUE(link.connect(error)) << error;
    SerialFormat pool;
    pool.bytes = 2;
    pool.start = 1000;
    ASSERT_TRUE(link.store().addProduct({"p", "c", "00", pool, 4}, error)) << error;
    std::optional<Product> product;
    ASSERT_TRUE(link.store().findProduct("p", product, error) && product) << error;
    link.product = product;
    const struct {
        const char* result;
        bool writeBegun;
        uint64_t serial;
        std::size_t leases;  // on the server after the chip
    } chips[] = {
        {"done", true, 1000, 1},      {"failed", false, 1001, 1}, {"done", true, 1001, 1},
        {"different", true, 1002, 2}, {"done", true, 1003, 2},    {"done", true, 1004, 2},
    };
    for (const auto& c : chips) {
        SCOPED_TRACE(c.serial);
        ChipRow row;
        ASSERT_TRUE(link.start(row, error)) << error;
        EXPECT_EQ(row.serial, c.serial);
        row.result = c.result;
        std::string spoolError;
        EXPECT_EQ(link.finish(row, c.writeBegun, error, spoolError), StationLink::Kept::Stored);
        std::vector<Lease> leases;
        ASSERT_TRUE(link.store().leases("p", leases, error)) << error;
        EXPECT_EQ(leases.size(), c.leases);
    }
    // A start sent again (its answer lost) finds the row it made; the same
    // chip with another number is refused.
    ChipRow again;
    again.station = "st1";
    again.serial = 1004;
    again.sequence = 6;
    ASSERT_TRUE(link.store().startChip(again, error)) << error;
    std::vector<ChipRow> rows;
    ASSERT_TRUE(link.store().records({}, rows, error)) << error;
    EXPECT_EQ(rows.size(), 6u);
    EXPECT_EQ(again.id, rows.back().id);
    again.serial = 1005;
    EXPECT_FALSE(link.store().startChip(again, error));
    EXPECT_EQ(error, "chip 6 of station st1 was started with another serial number");
    // The pool moved past two leases of four; no number came back to it.
    ChipRow unleased;
    unleased.product = "p";
    ASSERT_TRUE(link.store().startChip(unleased, error)) << error;
    EXPECT_EQ(unleased.serial, 1008u);
}

// The server goes away between the connection and the product's look-up, as
// it does when it is stopped in the middle of a station's start: the station
// goes on from what it last saw of the product.
TEST(StationJournal, AProductLookedUpOnALostConnectionComesFromWhatWasSeen) {
    TempDir dir;
    std::string error;
    PostgresServer server;
    ASSERT_TRUE(server.start(error)) << error;
    {
        StationLink first(server.conninfo(), dir.path());
        ASSERT_TRUE(first.connect(error)) << error;
        SerialFormat pool;
        pool.bytes = 2;
        pool.start = 1000;
        ASSERT_TRUE(first.store().addProduct({"p", "c", "00", pool, 7}, error)) << error;
        ASSERT_TRUE(first.findProduct("p", first.product, error) && first.product) << error;
    }
    StationLink link(server.conninfo(), dir.path());
    ASSERT_TRUE(link.connect(error)) << error;
    server.stop(true);
    std::optional<Product> found;
    ASSERT_TRUE(link.findProduct("p", found, error)) << error;
    ASSERT_TRUE(found);
    EXPECT_EQ(found->leaseSize, 7u);
    EXPECT_TRUE(link.offline());
}

// The station's programmers write what they last saw of the database at the
// same time: a station that starts while the database is away always finds
// it whole.
TEST(StationJournal, WhatWasLastSeenIsWholeWhileOthersWriteIt) {
    TempDir dir;
    std::string error;
    const std::string url = "sqlite:" + dir.file("line.db");
    {
        StationLink first(url, dir.path());
        ASSERT_TRUE(first.connect(error)) << error;
    }
    std::vector<pid_t> writers;
    for (int w = 0; w < 3; ++w) {
        const pid_t pid = fork();
        if (pid == 0) {
            std::string why;
            StationLink link(url, dir.path());
            if (!link.connect(why)) _exit(1);
            std::vector<Product> products;
            for (int i = 0; i < 300; ++i) link.listProducts(products, why);
            _exit(0);
        }
        writers.push_back(pid);
    }
    int torn = 0;
    for (std::size_t ended = 0; ended < writers.size();) {
        torn += !StationLink(url, dir.path()).goOffline();
        for (pid_t& pid : writers) {
            int status = -1;
            if (pid < 0 || waitpid(pid, &status, WNOHANG) != pid) continue;
            EXPECT_EQ(status, 0);
            pid = -1;
            ++ended;
        }
    }
    EXPECT_EQ(torn, 0);
}
#endif

#ifndef _WIN32  // the database, which the Windows build does not have
// Errors by kind: what the server says by SQLSTATE and SQLite by its
// extended code; a store that refuses on its own says Refused.
TEST(LineDatabase, ErrorsAreSortedIntoLostRetryAndRefused) {
    using K = SqlErrorKind;
    const struct {
        const char* state;
        K kind;
    } states[] = {
        {"08006", K::Lost},    {"57P01", K::Lost},    {"", K::Lost},       {"40001", K::Retry},
        {"40P01", K::Retry},   {"53100", K::Retry},   {"55P03", K::Retry}, {"23505", K::Refused},
        {"42P01", K::Refused}, {"57P04", K::Refused},
    };
    for (const auto& s : states) EXPECT_EQ(sqlStateKind(s.state), s.kind) << s.state;
    const struct {
        int code;
        K kind;
    } codes[] = {
        {5, K::Retry},       // SQLITE_BUSY
        {517, K::Retry},     // SQLITE_BUSY_SNAPSHOT
        {13, K::Retry},      // SQLITE_FULL
        {14, K::Lost},       // SQLITE_CANTOPEN
        {2067, K::Refused},  // SQLITE_CONSTRAINT_UNIQUE
        {1, K::Refused},     // SQLITE_ERROR
        {101, K::None},      // SQLITE_DONE
    };
    for (const auto& c : codes) EXPECT_EQ(sqliteCodeKind(c.code), c.kind) << c.code;

    TempDir dir;
    std::string error;
    auto store = ProductionStore::open("sqlite:" + dir.file("line.db"), error);
    ASSERT_TRUE(store) << error;
    ChipRow unknown;
    unknown.id = 5;
    bool finished = false;
    EXPECT_FALSE(store->finishChip(unknown, finished, error));
    EXPECT_EQ(store->errorKind(), K::Refused);
    auto db = connectSqlite(dir.file("line.db"), error);
    ASSERT_TRUE(db && db->exec("INSERT INTO stations VALUES ('a', 'x')", error)) << error;
    EXPECT_FALSE(db->exec("INSERT INTO stations VALUES ('a', 'x')", error));
    EXPECT_EQ(db->errorKind(), K::Refused) << error;
}
#endif

}  // namespace
}  // namespace ostrel::testing

#ifndef _WIN32  // the database, which the Windows build does not have
namespace ostrel::testing {
namespace {

// A station whose process was killed during its chips, on both databases:
// the number of a chip started on the database, and of one drawn offline
// before anything was kept, are spent with a failed row each, once, however
// often the station connects; a chip whose outcome waited in the spool
// keeps it; a draw of a process that still lives is left alone.
TEST(StationJournal, AKilledStationSpendsItsOpenNumbersOnce) {
    PostgresServer server;
    std::string error;
    ASSERT_TRUE(server.start(error)) << error;
    TempDir dir;
    for (const std::string& url : {"sqlite:" + dir.file("line.db"), server.conninfo()}) {
        SCOPED_TRACE(url);
        const std::string folder = dir.file(url[0] == 's' ? "sqlite" : "pg");
        ASSERT_TRUE(platform::makeFolder(folder));
        auto killed = std::make_unique<StationLink>(url, folder);
        killed->station = "st1";
        ASSERT_TRUE(killed->connect(error)) << error;
        SerialFormat pool;
        pool.bytes = 2;
        pool.start = 1000;
        ASSERT_TRUE(killed->store().addProduct({"p", "c", "00", pool, 6}, error)) << error;
        std::optional<Product> product;
        ASSERT_TRUE(killed->store().findProduct("p", product, error) && product) << error;
        killed->product = product;
        std::string identity;
        ASSERT_TRUE(killed->store().identity(identity, error)) << error;
        const std::string path = killed->journal()->path();
        ChipRow online;  // 1000: started on the database, then killed
        ASSERT_TRUE(killed->start(online, error)) << error;
        killed.reset();
        uint64_t sequence = 0, number = 0, left = 0;
        {
            // 1001: drawn offline, killed before anything was kept.
            StationJournal drawnOnly(path, identity, "st1");
            ASSERT_TRUE(drawnOnly.draw("p", sequence, number, left, error)) << error;
            // 1002: drawn offline, its outcome kept in the spool.
            StationJournal spooled(path, identity, "st1");
            ASSERT_TRUE(spooled.draw("p", sequence, number, left, error)) << error;
            ChipRow done;
            done.time = 1796715000;
            done.station = "st1";
            done.result = "done";
            done.serial = number;
            done.product = "p";
            done.sequence = sequence;
            ASSERT_TRUE(RecordSpool(RecordSpool::pathFor(folder, identity)).append(done, error));
        }
        StationJournal living(path, identity, "st1");  // 1003: its chip is under way
        ASSERT_TRUE(living.draw("p", sequence, number, left, error)) << error;
        const struct {
            int spent;         // settled at this connection
            std::size_t rows;  // on the database after it
        } connections[] = {{2, 3}, {0, 3}};
        for (const auto& c : connections) {
            StationLink back(url, folder);
            back.station = "st1";
            ASSERT_TRUE(back.connect(error)) << error;
            EXPECT_EQ(back.settled().spent, c.spent);
            std::vector<ChipRow> rows;
            ASSERT_TRUE(back.store().records({}, rows, error)) << error;
            ASSERT_EQ(rows.size(), c.rows);
            const struct {
                uint64_t serial;
                const char* result;
                const char* cause;
                bool spent;
            } expected[] = {{1000, "failed", kStationStoppedCause, true},
                            {1002, "done", "", false},
                            {1001, "failed", kStationStoppedCause, true}};
            for (std::size_t i = 0; i < rows.size(); ++i) {
                SCOPED_TRACE(i);
                EXPECT_EQ(rows[i].serial, expected[i].serial);
                EXPECT_EQ(rows[i].result, expected[i].result);
                EXPECT_EQ(rows[i].cause, expected[i].cause);
                EXPECT_EQ(rows[i].spent, expected[i].spent);
                EXPECT_EQ(rows[i].station, "st1");
            }
        }
        JournalState state;
        ASSERT_TRUE(living.read(state, error)) << error;
        ASSERT_EQ(state.open.size(), 1u) << "only the living process's draw stays open";
        EXPECT_EQ(state.open.begin()->second.number, 1003u);
        EXPECT_EQ(state.products["p"].left(), 2u) << "no number was drawn twice";
    }
}

}  // namespace
}  // namespace ostrel::testing
#endif

#ifndef _WIN32  // the database, which the Windows build does not have
namespace ostrel::testing {
namespace {

struct Gap {
    uint64_t serial;
    const char* reason;
    const char* station;
    const char* cause;
};

void expectGaps(ProductionStore& store, const std::vector<Gap>& expected) {
    std::vector<SerialGap> gaps;
    std::string error;
    ASSERT_TRUE(store.gaps("p", gaps, error)) << error;
    ASSERT_EQ(gaps.size(), expected.size());
    for (std::size_t i = 0; i < gaps.size(); ++i) {
        SCOPED_TRACE(gaps[i].serial);
        EXPECT_EQ(gaps[i].serial, expected[i].serial);
        EXPECT_EQ(gaps[i].reason, expected[i].reason);
        EXPECT_EQ(gaps[i].station, expected[i].station);
        EXPECT_EQ(gaps[i].cause, expected[i].cause);
    }
}

// A pool's gaps after chips passed, failed before and after their write,
// started without an outcome, given back to the pool and leased; a dead
// station's unused numbers reclaimed once, not while it was seen working;
// the station back after the reclaim drops the lease, spends the number of
// the chip it was killed in, and a chip it programmed offline from the
// reclaimed lease, whose number went to another chip since, is set aside and
// named, never recorded with that number.
TEST(LineDatabase, GapsSayWhyAndReclaimHappensOnceForADeadStation) {
    PostgresServer server;
    std::string error;
    ASSERT_TRUE(server.start(error)) << error;
    TempDir dir;
    for (const std::string& url : {"sqlite:" + dir.file("line.db"), server.conninfo()}) {
        SCOPED_TRACE(url);
        const std::string folder = dir.file(url[0] == 's' ? "sqlite" : "pg");
        ASSERT_TRUE(platform::makeFolder(folder));
        auto store = ProductionStore::open(url, error);
        ASSERT_TRUE(store) << error;
        SerialFormat pool;  // 100, 101, ...
        pool.bytes = 2;
        pool.start = 100;
        ASSERT_TRUE(store->addProduct({"p", "c", "00", pool, 4}, error)) << error;
        std::optional<Product> product;
        ASSERT_TRUE(store->findProduct("p", product, error) && product) << error;
        auto station = [&](const char* name) {
            auto link = std::make_unique<StationLink>(url, folder + "/" + name);
            platform::makeFolder(folder + "/" + name);
            link->station = name;
            link->product = product;
            EXPECT_TRUE(link->connect(error)) << error;
            return link;
        };
        auto chip = [&](StationLink& link, const char* result, bool writeBegun) {
            ChipRow row;
            row.time = std::time(nullptr);
            EXPECT_TRUE(link.start(row, error)) << error;
            if (*result == '\0') return row;  // under way
            row.result = result;
            row.cause = row.result == "done" ? "" : "difference";
            std::string spoolError;
            EXPECT_EQ(link.finish(row, writeBegun, error, spoolError), StationLink::Kept::Stored);
            return row;
        };
        auto pooled = [&](const char* result) {
            ChipRow row;
            row.product = "p";
            EXPECT_TRUE(store->startChip(row, error)) << error;
            row.result = result;
            bool finished = false;
            EXPECT_TRUE(store->finishChip(row, finished, error)) << error;
            return row.serial.value_or(0);
        };
        auto st1 = station("st1");
        EXPECT_EQ(chip(*st1, "done", true).serial, 100u);
        EXPECT_EQ(chip(*st1, "failed", false).serial, 101u);
        EXPECT_EQ(chip(*st1, "different", true).serial, 101u);
        EXPECT_EQ(chip(*st1, "", true).serial, 102u);
        std::string identity;
        ASSERT_TRUE(store->identity(identity, error)) << error;
        {
            // 103 drawn and programmed while the database was away; the
            // process was killed before it came back.
            StationJournal offline(st1->journal()->path(), identity, "st1");
            uint64_t sequence = 0, number = 0, left = 0;
            ASSERT_TRUE(offline.draw("p", sequence, number, left, error)) << error;
            ASSERT_EQ(number, 103u);
            ChipRow done;
            done.time = std::time(nullptr);
            done.station = "st1";
            done.result = "done";
            done.serial = number;
            done.product = "p";
            done.sequence = sequence;
            ASSERT_TRUE(st1->spool().append(done, error)) << error;
        }
        EXPECT_EQ(pooled("failed"), 104u);
        auto st2 = station("st2");
        EXPECT_EQ(chip(*st2, "done", true).serial, 105u);
        expectGaps(*store, {{101, "spent", "st1", "difference"},
                            {102, "pending", "st1", ""},
                            {103, "leased", "st1", ""},
                            {104, "given_back", "", ""},
                            {106, "leased", "st2", ""},
                            {107, "leased", "st2", ""},
                            {108, "leased", "st2", ""}});

        const std::time_t now = std::time(nullptr);
        const struct {
            std::time_t at;
            ReclaimResult::Kind kind;
            int leases;
            uint64_t returned;
        } reclaims[] = {
            {now, ReclaimResult::SeenWorking, 0, 0},
            {now + kSeenWorkingSeconds + 1, ReclaimResult::Reclaimed, 1, 1},  // 103
            {now + kSeenWorkingSeconds + 1, ReclaimResult::Nothing, 0, 0},
        };
        for (const auto& r : reclaims) {
            ReclaimResult result;
            ASSERT_TRUE(store->reclaim("st1", "", r.at, result, error)) << error;
            EXPECT_EQ(result.kind, r.kind);
            EXPECT_EQ(result.leases, r.leases);
            EXPECT_EQ(result.returned, r.returned);
            if (r.kind == ReclaimResult::SeenWorking) {
                EXPECT_GE(result.lastSeen, now - 5);
            }
        }
        EXPECT_EQ(pooled("done"), 103u) << "the reclaimed number is handed out again";
        const struct {
            const char* station;
            uint64_t used, spent, pending, left;
            bool reclaimed;
        } leases[] = {{"st1", 1, 1, 1, 0, true}, {"st2", 1, 0, 0, 3, false}};
        std::vector<LeaseUse> uses;
        ASSERT_TRUE(store->leaseUses("p", uses, error)) << error;
        ASSERT_EQ(uses.size(), std::size(leases));
        for (std::size_t i = 0; i < uses.size(); ++i) {
            SCOPED_TRACE(leases[i].station);
            EXPECT_EQ(uses[i].lease.station, leases[i].station);
            EXPECT_EQ(uses[i].used, leases[i].used);
            EXPECT_EQ(uses[i].spent, leases[i].spent);
            EXPECT_EQ(uses[i].pending, leases[i].pending);
            EXPECT_EQ(uses[i].left, leases[i].left);
            EXPECT_EQ(uses[i].lease.reclaimed.has_value(), leases[i].reclaimed);
        }

        st1.reset();  // the station comes back
        st1 = station("st1");
        EXPECT_EQ(st1->spoolFlushed().setAside, 1);
        EXPECT_NE(st1->spoolFlushed().reason.find("serial number 103 of p was in a lease of "
                                                  "station st1 reclaimed at"),
                  std::string::npos)
            << st1->spoolFlushed().reason;
        EXPECT_EQ(st1->settled().spent, 1) << "102, killed during its chip";
        EXPECT_EQ(st1->settled().refused, 1) << "103, handed out again";
        EXPECT_EQ(chip(*st1, "done", true).serial, 109u) << "a fresh lease, not the reclaimed one";
        std::vector<ChipRow> rows;
        RecordFilter filter;
        filter.serial = 103;
        ASSERT_TRUE(store->records(filter, rows, error)) << error;
        ASSERT_EQ(rows.size(), 1u) << "103 is on one chip";
        EXPECT_EQ(rows[0].station, "");
        expectGaps(*store, {{101, "spent", "st1", "difference"},
                            {102, "spent", "st1", kStationStoppedCause},
                            {104, "given_back", "", ""},
                            {106, "leased", "st2", ""},
                            {107, "leased", "st2", ""},
                            {108, "leased", "st2", ""},
                            {110, "leased", "st1", ""},
                            {111, "leased", "st1", ""},
                            {112, "leased", "st1", ""}});
    }
}

}  // namespace
}  // namespace ostrel::testing
#endif

#ifndef _WIN32  // where a file's identity is known, and so a journal compacted
namespace ostrel::testing {
namespace {

// A journal whose used-up leases dominate it is replaced by the lines that
// say its state: the next draws, of this process and of another that read
// it before, are those the whole journal would give, a draw still open keeps
// its process, and a number given back comes first.
TEST(StationJournal, ACompactedJournalDrawsOnAsTheWholeOneWould) {
    TempDir dir;
    const std::string path = StationJournal::pathFor(dir.path(), "sqlite:/line.db");
    StationJournal a(path, "sqlite:/line.db", "st1");
    StationJournal b(path, "sqlite:/line.db", "st1");  // another process of the station
    std::string error;
    uint64_t sequence = 0, number = 0, left = 0;
    for (int i = 0; i < 60; ++i) {  // used up below, each number on a chip that passed
        const uint64_t first = 1000 + 10 * static_cast<uint64_t>(i);
        ASSERT_TRUE(
            a.addLease({i + 1, "p", "st1", first, first + 1, 1, 2, 0, std::nullopt}, error));
    }
    ASSERT_TRUE(a.addLease({100, "p", "st1", 5000, 5004, 1, 5, 0, std::nullopt}, error));
    ASSERT_TRUE(b.draw("p", sequence, number, left, error)) << error;
    const uint64_t bSequence = sequence;
    ASSERT_EQ(number, 1000u);
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(a.draw("p", sequence, number, left, error)) << error;
        if (number >= 5000) break;
        ASSERT_TRUE(a.close(sequence, error)) << error;
    }
    ASSERT_EQ(number, 5000u);
    const uint64_t lastSequence = sequence;
    ASSERT_TRUE(a.spend(sequence, "difference", error)) << error;
    const std::string text = readFile(path);
    EXPECT_LT(std::count(text.begin(), text.end(), '\n'), 100) << "not compacted";

    const struct {
        const StationJournal* journal;
        uint64_t number;
    } draws[] = {{&b, 5001}, {&a, 5002}, {&b, 5003}};
    uint64_t expectedSequence = lastSequence;
    for (const auto& d : draws) {
        ASSERT_TRUE(d.journal->draw("p", sequence, number, left, error)) << error;
        EXPECT_EQ(number, d.number);
        EXPECT_EQ(sequence, ++expectedSequence);
    }
    const StationJournal fresh(path, "sqlite:/line.db", "st1");
    JournalState state;
    ASSERT_TRUE(fresh.read(state, error)) << error;
    ASSERT_EQ(state.open.count(bSequence), 1u);
    EXPECT_EQ(state.open[bSequence].number, 1000u);
    EXPECT_EQ(state.open[bSequence].owner, b.owner());
    EXPECT_EQ(state.products["p"].left(), 1u);
}

}  // namespace
}  // namespace ostrel::testing
#endif
