#include "production/production_store.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <utility>

#include "base/platform.h"
#include "base/text_format.h"
#include "buffers/checksums.h"

namespace ostrel {
namespace {

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

std::string text(const SqlValue& value) {
    return value.value_or("");
}

uint64_t number(const SqlValue& value) {
    return value ? std::strtoull(value->c_str(), nullptr, 10) : 0;
}

std::string numberText(uint64_t value) {
    return std::to_string(value);
}

// The causes as the rows of the first schema spelled them, and as the
// production log and the rows spell them since.
constexpr std::pair<const char*, const char*> kOldCauses[] = {
    {"transfer-failed", "transfer_failed"},
    {"no-programmer", "no_programmer"},
    {"not-streamed", "type_not_streamed"},
    {"not-started", "refused"},
};

// The cause as the rows spell it, also of an outcome an older program kept
// in its spool.
std::string currentCause(const std::string& cause) {
    for (const auto& [old, now] : kOldCauses)
        if (cause == old) return now;
    return cause;
}

std::vector<std::string> causesRespelled() {
    std::vector<std::string> statements;
    for (const auto& [old, now] : kOldCauses)
        statements.push_back(std::string("UPDATE chips SET cause = '") + now + "' WHERE cause = '" +
                             old + "'");
    return statements;
}

// The schema, version by version: each upgrade is a list of statements run
// in one transaction with the version row. "ROWID" stands for the row
// number's type, which the two databases write differently.
const std::vector<std::vector<std::string>>& upgrades() {
    static const std::vector<std::vector<std::string>> steps = {
        {
            "CREATE TABLE products (name TEXT PRIMARY KEY, chip TEXT NOT NULL, "
            "image_sha256 TEXT NOT NULL, created TEXT NOT NULL)",
            "CREATE TABLE serial_pools (product TEXT PRIMARY KEY REFERENCES products(name), "
            "address BIGINT NOT NULL, bytes INTEGER NOT NULL, start_value BIGINT NOT NULL, "
            "step BIGINT NOT NULL, big_endian INTEGER NOT NULL, next_value BIGINT NOT NULL)",
            "CREATE TABLE given_back (product TEXT NOT NULL REFERENCES products(name), "
            "serial BIGINT NOT NULL, PRIMARY KEY (product, serial))",
            "CREATE TABLE stations (host TEXT PRIMARY KEY, first_seen TEXT NOT NULL)",
            "CREATE TABLE programmers (station TEXT NOT NULL REFERENCES stations(host), "
            "serial TEXT NOT NULL, first_seen TEXT NOT NULL, PRIMARY KEY (station, serial))",
            "CREATE TABLE chips (id ROWID, time TEXT NOT NULL, station TEXT NOT NULL, "
            "programmer TEXT NOT NULL, chip TEXT NOT NULL, chip_id TEXT NOT NULL, "
            "command TEXT NOT NULL, result TEXT NOT NULL, cause TEXT NOT NULL DEFAULT '', "
            "message TEXT NOT NULL DEFAULT '', bytes BIGINT NOT NULL DEFAULT 0, "
            "crc32 TEXT NOT NULL DEFAULT '00000000', seconds DOUBLE PRECISION NOT NULL DEFAULT 0, "
            "serial BIGINT, product TEXT)",
            "CREATE INDEX chips_time ON chips (time)",
            "CREATE INDEX chips_serial ON chips (serial)",
        },
        {
            // Blocks of numbers that stations take ahead and hand out alone.
            "ALTER TABLE serial_pools ADD COLUMN lease_size BIGINT NOT NULL DEFAULT 20",
            "CREATE TABLE leases (id ROWID, product TEXT NOT NULL REFERENCES products(name), "
            "station TEXT NOT NULL, first_value BIGINT NOT NULL, last_value BIGINT NOT NULL, "
            "step BIGINT NOT NULL, numbers BIGINT NOT NULL, taken TEXT NOT NULL)",
            "CREATE INDEX leases_station ON leases (station)",
            // A chip that drew its number from its station's lease carries
            // the station's own sequence number.
            "ALTER TABLE chips ADD COLUMN sequence BIGINT",
            "CREATE UNIQUE INDEX chips_station_sequence ON chips (station, sequence)",
        },
        causesRespelled(),
        {
            // The line server's tokens: only their SHA-256 is kept. A name
            // holds one token per role; a new one replaces it.
            "CREATE TABLE IF NOT EXISTS line_tokens (name TEXT NOT NULL, role TEXT NOT NULL, "
            "hash TEXT NOT NULL UNIQUE, created TEXT NOT NULL, PRIMARY KEY (name, role))",
        },
        {
            // A leased chip that did not pass says whether its number was
            // spent (its write may have begun) or went back to the lease.
            "ALTER TABLE chips ADD COLUMN spent INTEGER NOT NULL DEFAULT 0",
            "CREATE INDEX chips_product_serial ON chips (product, serial)",
            "CREATE INDEX chips_station_time ON chips (station, time)",
            // A lease whose unused numbers went back to the pool.
            "ALTER TABLE leases ADD COLUMN reclaimed TEXT",
            // When a station last registered a programmer.
            "CREATE TABLE station_seen (station TEXT PRIMARY KEY, time TEXT NOT NULL)",
            // What each station's journal held when it last reported in.
            "CREATE TABLE station_reports (station TEXT NOT NULL, product TEXT NOT NULL, "
            "lease_left BIGINT NOT NULL, waiting BIGINT NOT NULL, time TEXT NOT NULL, "
            "PRIMARY KEY (station, product))",
        },
        {
            // The line's board: today's rows by hour, product, outcome and
            // cause, and each programmer's counts, read from this index
            // alone; a programmer's last row; a product's used numbers.
            "CREATE INDEX IF NOT EXISTS chips_day ON chips (time, result, product, cause, station, "
            "programmer)",
            "CREATE INDEX IF NOT EXISTS chips_programmer ON chips (station, programmer, id)",
            "CREATE INDEX IF NOT EXISTS chips_product ON chips (product, result, serial)",
        },
    };
    return steps;
}

constexpr const char* kRowColumns =
    "id, time, station, programmer, chip, chip_id, command, result, cause, message, bytes, "
    "crc32, seconds, serial, product, sequence, spent";

ChipRow rowFrom(const SqlRow& r) {
    ChipRow row;
    row.id = static_cast<int64_t>(number(r[0]));
    row.time = parseRecordTime(text(r[1])).value_or(0);
    row.station = text(r[2]);
    row.programmer = text(r[3]);
    row.chip = text(r[4]);
    row.chipId = text(r[5]);
    row.command = text(r[6]);
    row.result = text(r[7]);
    row.cause = text(r[8]);
    row.message = text(r[9]);
    row.bytes = number(r[10]);
    row.crc32 = static_cast<uint32_t>(std::strtoul(text(r[11]).c_str(), nullptr, 16));
    if (!r[12] || !parseSeconds(*r[12], row.seconds)) row.seconds = 0;
    if (r[13]) row.serial = number(r[13]);
    row.product = text(r[14]);
    if (r[15]) row.sequence = number(r[15]);
    row.spent = number(r[16]) != 0;
    return row;
}

// A leased chip whose number is of a lease reclaimed since (its station was
// taken for dead) keeps the number only while the pool still holds it: it
// leaves the pool again. One handed out again is refused (`handedOut`), so
// that no number is on two chips.
bool reclaimedNumberFree(SqlConnection& db, const ChipRow& row, uint64_t serial, bool& handedOut,
                         std::string& error) {
    SqlRows rows;
    const std::string number = numberText(serial);
    if (!db.exec("SELECT reclaimed FROM leases WHERE product = $1 AND station = $2 AND "
                 "first_value <= $3 AND last_value >= $3 AND reclaimed IS NOT NULL",
                 {row.product, row.station, number}, rows, error))
        return false;
    if (rows.empty()) return true;
    const std::string when = text(rows[0][0]);
    // Started before: the insert finds its row.
    if (!db.exec("SELECT id FROM chips WHERE station = $1 AND sequence = $2",
                 {row.station, numberText(*row.sequence)}, rows, error))
        return false;
    if (!rows.empty()) return true;
    if (!db.exec("DELETE FROM given_back WHERE product = $1 AND serial = $2 RETURNING serial",
                 {row.product, number}, rows, error))
        return false;
    if (!rows.empty()) return true;
    handedOut = true;
    error = "serial number " + number + " of " + row.product + " was in a lease of station " +
            row.station + " reclaimed at " + when + " and has been handed out again";
    return false;
}

// What the rows say of the numbers of a product: of each, the furthest its
// chips went, and the station and cause of that row.
struct NumberFacts {
    enum Use { Back, Spent, Pending, Used } use = Back;  // Back: failed, not spent
    std::string station;
    std::string cause;
};
using NumberUses = std::map<std::pair<std::string, uint64_t>, NumberFacts>;

bool numberUses(SqlConnection& db, const std::string& product, NumberUses& uses,
                std::string& error) {
    uses.clear();
    SqlRows rows;
    if (!db.exec("SELECT product, serial, result, spent, station, cause FROM chips "
                 "WHERE serial IS NOT NULL AND product IS NOT NULL AND ($1 = '' OR product = $1)",
                 {product}, rows, error))
        return false;
    for (const SqlRow& r : rows) {
        const std::string result = text(r[2]);
        NumberFacts facts;
        facts.use = result == "done"      ? NumberFacts::Used
                    : result == "started" ? NumberFacts::Pending
                    : number(r[3]) != 0   ? NumberFacts::Spent
                                          : NumberFacts::Back;
        facts.station = text(r[4]);
        facts.cause = text(r[5]);
        const auto [at, fresh] = uses.try_emplace({text(r[0]), number(r[1])}, facts);
        if (!fresh && facts.use > at->second.use) at->second = std::move(facts);
    }
    return true;
}

// The largest number a pool of `bytes` bytes leases out. One below what the
// databases keep, so that a pool's next number can always move past a lease.
uint64_t largestOf(uint32_t bytes) {
    return bytes >= 8 ? kLargestSerial - 1
                      : std::min<uint64_t>((uint64_t{1} << (8 * bytes)) - 1, kLargestSerial - 1);
}

std::string leaseRefusal(const std::string& product, uint64_t size, uint64_t left) {
    if (size < 1) return "a lease holds at least 1 number, not " + numberText(size);
    return "the pool of " + product + " has " + numberText(left) + " numbers left, fewer than " +
           "a lease of " + numberText(size);
}

}  // namespace

uint64_t poolLeft(uint64_t next, uint64_t step, uint32_t bytes) {
    const uint64_t largest = largestOf(bytes);
    if (next > largest || step == 0) return 0;
    return (largest - next) / step + 1;
}

bool parseDatabaseUrl(const std::string& url, DatabaseUrl& parsed, std::string& error) {
    if (startsWith(url, "sqlite:")) {
        parsed = {true, url.substr(7)};
        if (!parsed.target.empty()) return true;
        error = "sqlite: needs the database file's path (sqlite:PATH)";
        return false;
    }
    const bool uri = startsWith(url, "postgresql://") || startsWith(url, "postgres://");
    if (!uri && url.find('=') == std::string::npos) {
        error = "'" + databaseShownName(url) +
                "' is neither sqlite:PATH nor a PostgreSQL URI (postgresql://USER@HOST/DBNAME) "
                "or connection string (host=... dbname=...)";
        return false;
    }
    std::string why;
    if (!postgresConninfoValid(url, why)) {
        error = databaseShownName(url) + ": " + databaseReason(url, why);
        return false;
    }
    parsed = {false, url};
    return true;
}

namespace {

// A part of a URL that holds a password: [from, to).
struct Secret {
    std::size_t from, to;
};

int hexValue(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

std::string percentDecoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// A key whose value is a secret: password, sslpassword, and their misspellings
// (which libpq refuses, naming the key, while the value would still be shown).
bool passwordKey(const std::string& key) {
    const std::string name = asciiLower(percentDecoded(key));
    return name.find("pas") != std::string::npos || name.find("pw") != std::string::npos;
}

bool space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Every part of `text` that may hold a password. Where it is not plain where
// a password ends, the part reaches further: a name shown too short is better
// than a password shown.
std::vector<Secret> secretsIn(const std::string& text) {
    std::vector<Secret> secrets;
    const bool uri = text.find("://") != std::string::npos;
    // Only what starts as a URI is read as one alone.
    const bool uriOnly = startsWith(text, "postgresql://") || startsWith(text, "postgres://");
    // USER:PASSWORD@ after each scheme, up to the last @ (a password may hold
    // an @ or a / that its writer did not encode); and up to the first @,
    // where libpq ends it.
    for (std::size_t scheme = text.find("://"); scheme != std::string::npos;
         scheme = text.find("://", scheme + 3)) {
        const std::size_t from = scheme + 3;
        const std::size_t at = text.rfind('@');
        if (at == std::string::npos || at < from) continue;
        const std::size_t colon = text.find(':', from);
        if (colon >= at) continue;
        secrets.push_back({colon + 1, at});
        const std::size_t first = text.find('@', colon);
        if (first < at) secrets.push_back({colon + 1, first});
    }
    // KEY=VALUE of a connection string or a URI's parameters.
    for (std::size_t equals = text.find('='); equals != std::string::npos;
         equals = text.find('=', equals + 1)) {
        std::size_t keyEnd = equals;
        while (keyEnd > 0 && space(text[keyEnd - 1])) --keyEnd;
        std::size_t keyStart = keyEnd;
        while (keyStart > 0 && (std::isalnum(static_cast<unsigned char>(text[keyStart - 1])) ||
                                text[keyStart - 1] == '_' || text[keyStart - 1] == '%' ||
                                text[keyStart - 1] == '-'))
            --keyStart;
        if (keyStart == keyEnd || !passwordKey(text.substr(keyStart, keyEnd - keyStart))) continue;
        std::size_t value = equals + 1;
        while (value < text.size() && space(text[value])) ++value;
        // In a URI the value runs to the next parameter, whatever it holds;
        // in a connection string, to a space or its closing quote. Text with a
        // "://" may be either: both parts are hidden.
        if (uri) {
            const std::size_t end = std::min(text.find('&', value), text.size());
            if (end > value) secrets.push_back({value, end});
        }
        std::size_t end = value;
        if (end < text.size() && text[end] == '\'') {
            // Quoted, with backslash escapes, up to the closing quote or the end.
            for (++end; end < text.size() && text[end] != '\''; ++end)
                if (text[end] == '\\') ++end;
            end = std::min(end + 1, text.size());
        } else {
            for (; end < text.size() && !space(text[end]); ++end) {
                if (uriOnly && text[end] == '&') break;
                if (text[end] == '\\') ++end;
            }
            end = std::min(end, text.size());
        }
        if (end > value) secrets.push_back({value, end});
    }
    return secrets;
}

// The password as a library may quote it: as written, without its quotes
// and escapes, and percent-decoded.
std::vector<std::string> secretTexts(const std::string& text) {
    std::vector<std::string> found;
    for (const Secret& s : secretsIn(text)) {
        const std::string raw = text.substr(s.from, s.to - s.from);
        std::string plain;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\'' && (i == 0 || i + 1 == raw.size())) continue;
            // A backslash escapes what follows it; one at the end escapes
            // nothing, and libpq drops it.
            if (raw[i] == '\\' && ++i == raw.size()) break;
            plain += raw[i];
        }
        for (const std::string& each : {raw, plain, percentDecoded(raw), percentDecoded(plain)})
            if (!each.empty()) found.push_back(each);
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

}  // namespace

std::string databaseShownName(const std::string& url) {
    std::vector<Secret> secrets = secretsIn(url);
    std::sort(secrets.begin(), secrets.end(),
              [](const Secret& a, const Secret& b) { return a.from < b.from; });
    std::string shown;
    std::size_t done = 0;
    for (const Secret& s : secrets) {
        if (done > 0 && s.from <= done) {
            done = std::max(done, s.to);  // meets the part already hidden
            continue;
        }
        shown += url.substr(done, s.from - done) + "***";
        done = s.to;
    }
    return shown + url.substr(std::min(done, url.size()));
}

std::string databaseReason(const std::string& url, const std::string& error) {
    // Every place of the error that quotes a password is marked in the error
    // as it came, and each run of marks becomes one "***": a "***" put in
    // never meets another password, so the text cannot grow with each.
    std::vector<bool> quoted(error.size(), false);
    for (const std::string& secret : secretTexts(url))
        for (std::size_t at = error.find(secret); at != std::string::npos;
             at = error.find(secret, at + 1))
            std::fill(quoted.begin() + static_cast<std::ptrdiff_t>(at),
                      quoted.begin() + static_cast<std::ptrdiff_t>(at + secret.size()), true);
    std::string hidden;
    for (std::size_t i = 0; i < error.size(); ++i) {
        if (!quoted[i])
            hidden += error[i];
        else if (i == 0 || !quoted[i - 1])
            hidden += "***";
    }
    // libpq adds a hint on a line of its own, after a tab; the server its
    // DETAIL and HINT lines.
    const std::size_t from = std::min(hidden.find_first_not_of(" \t\r\n"), hidden.size());
    std::string reason;
    for (const char c : hidden.substr(from, hidden.find_first_of("\r\n", from) - from)) {
        if (space(c) && (reason.empty() || reason.back() == ' ')) continue;
        reason += space(c) ? ' ' : c;
    }
    while (!reason.empty() && (reason.back() == ' ' || reason.back() == '.')) reason.pop_back();
    return reason;
}

std::string databaseProblem(Txt key, const std::string& url, const std::string& error,
                            int language) {
    return fillIn(programText(key, language), {databaseShownName(url), databaseReason(url, error)});
}

std::optional<std::time_t> parseRecordTime(const std::string& text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &used) != 3 || used != 10)
        return std::nullopt;
    std::string rest = text.substr(10);
    if (!rest.empty() && (rest[0] == 'T' || rest[0] == ' ')) {
        int clock = 0;
        if (std::sscanf(rest.c_str() + 1, "%2d:%2d%n", &hour, &minute, &clock) != 2 || clock != 5)
            return std::nullopt;
        rest = rest.substr(6);
        if (!rest.empty() && rest[0] == ':') {
            if (std::sscanf(rest.c_str() + 1, "%2d%n", &second, &clock) != 1 || clock != 2)
                return std::nullopt;
            rest = rest.substr(3);
        }
    }
    const bool utc = rest == "Z";
    if (!rest.empty() && !utc) return std::nullopt;
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    const std::tm asked = parts;
    const std::time_t time = utc ? platform::timeFromUtc(parts) : std::mktime(&parts);
    // The 31st of February and 25 o'clock come back as other days: refused.
    if (time == -1 || parts.tm_mday != asked.tm_mday || parts.tm_mon != asked.tm_mon ||
        parts.tm_min != asked.tm_min || parts.tm_sec != asked.tm_sec)
        return std::nullopt;
    return time;
}

std::string recordTimeText(std::time_t time) {
    const std::tm utc = platform::utcTime(time);
    char out[32];
    std::strftime(out, sizeof out, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return out;
}

std::string secondsText(double seconds) {
    const long long ms = std::llround(std::max(seconds, 0.0) * 1000.0);
    char out[32];
    std::snprintf(out, sizeof out, "%lld.%03lld", ms / 1000, ms % 1000);
    return out;
}

bool parseSeconds(const std::string& text, double& seconds) {
    const std::size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
    auto digits = [](const std::string& part) {
        return part.find_first_not_of("0123456789") == std::string::npos;
    };
    if (whole.empty() || whole.size() > 15 || fraction.size() > 9 || !digits(whole) ||
        !digits(fraction) || (point != std::string::npos && fraction.empty()))
        return false;
    seconds = static_cast<double>(std::stoll(whole));
    double scale = 0.1;
    for (const char c : fraction) {
        seconds += (c - '0') * scale;
        scale /= 10;
    }
    return true;
}

std::string imageHash(const uint8_t* data, std::size_t length) {
    Checksums sums;
    sums.sha256 = sha256Of(data, length);
    return sums.sha256Text();
}

ProductionStore::ProductionStore(std::unique_ptr<SqlConnection> connection)
    : connection_(std::move(connection)) {}

std::unique_ptr<ProductionStore> ProductionStore::open(const std::string& url, std::string& error) {
    DatabaseUrl parsed;
    if (!parseDatabaseUrl(url, parsed, error)) return nullptr;
    std::unique_ptr<SqlConnection> connection =
        parsed.sqlite ? connectSqlite(parsed.target, error) : connectPostgres(parsed.target, error);
    if (!connection) return nullptr;
    auto store = std::make_unique<ProductionStore>(std::move(connection));
    if (!store->prepareSchema(error)) return nullptr;
    return store;
}

int ProductionStore::schemaVersion() {
    return static_cast<int>(upgrades().size());
}

template <typename Body>
bool ProductionStore::transaction(bool schema, Body body, std::string& error) {
    kind_ = SqlErrorKind::None;
    if (connection_->beginWrite(schema, error) && body() && connection_->exec("COMMIT", error))
        return true;
    // What failed decides, not the rollback after it; where no statement
    // failed, the store refused.
    kind_ = connection_->lost() ? SqlErrorKind::Lost : connection_->errorKind();
    if (kind_ == SqlErrorKind::None) kind_ = SqlErrorKind::Refused;
    std::string ignored;
    if (!connection_->lost()) connection_->exec("ROLLBACK", ignored);
    return false;
}

bool ProductionStore::prepareSchema(std::string& error) {
    SqlConnection& db = *connection_;
    return transaction(
        true,
        [&] {
            SqlRows rows;
            if (!db.exec("CREATE TABLE IF NOT EXISTS ostrel_schema (version INTEGER NOT NULL)",
                         error) ||
                !db.exec("SELECT version FROM ostrel_schema", {}, rows, error))
                return false;
            int version = rows.empty() ? 0 : static_cast<int>(number(rows[0][0]));
            if (version > schemaVersion()) {
                error = "the database's schema is version " + std::to_string(version) +
                        ", newer than this program's (" + std::to_string(schemaVersion()) +
                        "): update the program";
                return false;
            }
            if (version == schemaVersion()) return true;
            for (; version < schemaVersion(); ++version) {
                for (std::string statement : upgrades()[static_cast<std::size_t>(version)]) {
                    const std::size_t rowId = statement.find("ROWID");
                    if (rowId != std::string::npos) statement.replace(rowId, 5, db.rowIdType());
                    if (!db.exec(statement, error)) return false;
                }
            }
            const std::string set = rows.empty() ? "INSERT INTO ostrel_schema VALUES ($1)"
                                                 : "UPDATE ostrel_schema SET version = $1";
            return db.exec(set, {std::to_string(version)}, rows, error);
        },
        error);
}

bool ProductionStore::addProduct(const Product& product, std::string& error) {
    SqlConnection& db = *connection_;
    return transaction(
        false,
        [&] {
            SqlRows rows;
            if (!db.exec("SELECT name FROM products WHERE name = $1", {product.name}, rows, error))
                return false;
            if (!rows.empty()) {
                error = "a product named " + product.name + " exists already";
                return false;
            }
            if (!db.exec("INSERT INTO products (name, chip, image_sha256, created) "
                         "VALUES ($1, $2, $3, $4)",
                         {product.name, product.chip, product.imageSha256,
                          recordTimeText(std::time(nullptr))},
                         rows, error))
                return false;
            if (!product.serial) return true;
            const SerialFormat& f = *product.serial;
            const uint64_t left = poolLeft(f.start, f.step, f.bytes);
            const uint64_t lease =
                product.leaseSize > 0 ? product.leaseSize : std::min(kDefaultLeaseSize, left);
            if (lease < 1 || lease > left) {
                error = leaseRefusal(product.name, lease, left);
                return false;
            }
            return db.exec(
                "INSERT INTO serial_pools (product, address, bytes, start_value, step, "
                "big_endian, next_value, lease_size) VALUES ($1, $2, $3, $4, $5, $6, $4, $7)",
                {product.name, numberText(f.address), numberText(f.bytes), numberText(f.start),
                 numberText(f.step), f.bigEndian ? "1" : "0", numberText(lease)},
                rows, error);
        },
        error);
}

bool ProductionStore::listProducts(std::vector<Product>& products, std::string& error) {
    products.clear();
    SqlRows rows;
    if (!connection_->exec(
            "SELECT p.name, p.chip, p.image_sha256, s.address, s.bytes, s.start_value, s.step, "
            "s.big_endian, s.lease_size FROM products p "
            "LEFT JOIN serial_pools s ON s.product = p.name ORDER BY p.name",
            {}, rows, error))
        return false;
    for (const SqlRow& r : rows) {
        Product product{text(r[0]), text(r[1]), text(r[2]), std::nullopt};
        if (r[3]) {
            SerialFormat format;
            format.address = static_cast<uint32_t>(number(r[3]));
            format.bytes = static_cast<uint32_t>(number(r[4]));
            format.start = number(r[5]);
            format.step = number(r[6]);
            format.bigEndian = number(r[7]) != 0;
            product.serial = format;
            product.leaseSize = number(r[8]);
        }
        products.push_back(std::move(product));
    }
    return true;
}

bool ProductionStore::findProduct(const std::string& name, std::optional<Product>& product,
                                  std::string& error) {
    std::vector<Product> all;
    if (!listProducts(all, error)) return false;
    product.reset();
    for (Product& p : all)
        if (p.name == name) product = std::move(p);
    return true;
}

bool ProductionStore::setLeaseSize(const std::string& product, uint64_t size, std::string& error) {
    SqlConnection& db = *connection_;
    return transaction(
        false,
        [&] {
            SqlRows rows;
            // Writing the row first holds it against a lease taken meanwhile.
            if (!db.exec("UPDATE serial_pools SET lease_size = lease_size WHERE product = $1 "
                         "RETURNING next_value, step, bytes",
                         {product}, rows, error))
                return false;
            if (rows.empty()) {
                error = "there is no product named " + product + " with serial numbers";
                return false;
            }
            const uint64_t left = poolLeft(number(rows[0][0]), number(rows[0][1]),
                                           static_cast<uint32_t>(number(rows[0][2])));
            if (size < 1 || size > left) {
                error = leaseRefusal(product, size, left);
                return false;
            }
            return db.exec("UPDATE serial_pools SET lease_size = $2 WHERE product = $1",
                           {product, numberText(size)}, rows, error);
        },
        error);
}

bool ProductionStore::takeLease(const std::string& product, const std::string& station,
                                Lease& lease, std::string& error) {
    SqlConnection& db = *connection_;
    Lease taken;
    taken.product = product;
    taken.station = station;
    taken.taken = std::time(nullptr);
    const bool ok = transaction(
        false,
        [&] {
            SqlRows rows;
            // The row lock of the pool makes the other stations wait here
            // until this transaction ends.
            if (!db.exec("UPDATE serial_pools SET next_value = next_value WHERE product = $1 "
                         "RETURNING next_value, step, bytes, lease_size",
                         {product}, rows, error))
                return false;
            if (rows.empty()) {
                error = "there is no product named " + product + " with serial numbers";
                return false;
            }
            const uint64_t next = number(rows[0][0]);
            taken.step = number(rows[0][1]);
            const uint32_t bytes = static_cast<uint32_t>(number(rows[0][2]));
            taken.numbers = std::min(number(rows[0][3]), poolLeft(next, taken.step, bytes));
            if (taken.numbers == 0) {
                error = "the serial numbers of " + product + " are used up: " + numberText(next) +
                        " does not fit in " + numberText(bytes) + " bytes";
                return false;
            }
            taken.first = next;
            taken.last = next + (taken.numbers - 1) * taken.step;
            // Past the largest number the next one may no longer be stored:
            // the pool then keeps one above the largest, which is used up.
            const uint64_t after = taken.last + std::min(taken.step, kLargestSerial - taken.last);
            if (!db.exec("UPDATE serial_pools SET next_value = $2 WHERE product = $1",
                         {product, numberText(after)}, rows, error) ||
                !db.exec("INSERT INTO leases (product, station, first_value, last_value, step, "
                         "numbers, taken) VALUES ($1, $2, $3, $4, $5, $6, $7) RETURNING id",
                         {product, station, numberText(taken.first), numberText(taken.last),
                          numberText(taken.step), numberText(taken.numbers),
                          recordTimeText(taken.taken)},
                         rows, error))
                return false;
            taken.id = rows.empty() ? 0 : static_cast<int64_t>(number(rows[0][0]));
            return taken.id > 0;
        },
        error);
    if (ok) lease = taken;
    return ok;
}

bool ProductionStore::leases(const std::string& product, std::vector<Lease>& leases,
                             std::string& error) {
    leases.clear();
    SqlRows rows;
    if (!connection_->exec(
            "SELECT id, product, station, first_value, last_value, step, numbers, taken, "
            "reclaimed FROM leases WHERE $1 = '' OR product = $1 ORDER BY id",
            {product}, rows, error))
        return false;
    for (const SqlRow& r : rows) {
        Lease lease;
        lease.id = static_cast<int64_t>(number(r[0]));
        lease.product = text(r[1]);
        lease.station = text(r[2]);
        lease.first = number(r[3]);
        lease.last = number(r[4]);
        lease.step = number(r[5]);
        lease.numbers = number(r[6]);
        lease.taken = parseRecordTime(text(r[7])).value_or(0);
        if (r[8]) lease.reclaimed = parseRecordTime(*r[8]).value_or(0);
        leases.push_back(std::move(lease));
    }
    return true;
}

bool ProductionStore::registerProgrammer(const std::string& station, const std::string& programmer,
                                         std::string& error) {
    SqlConnection& db = *connection_;
    const std::string now = recordTimeText(std::time(nullptr));
    return transaction(
        false,
        [&] {
            SqlRows rows;
            return db.exec(
                       "INSERT INTO stations (host, first_seen) VALUES ($1, $2) "
                       "ON CONFLICT DO NOTHING",
                       {station, now}, rows, error) &&
                   db.exec(
                       "INSERT INTO station_seen (station, time) VALUES ($1, $2) "
                       "ON CONFLICT (station) DO UPDATE SET time = excluded.time",
                       {station, now}, rows, error) &&
                   db.exec(
                       "INSERT INTO programmers (station, serial, first_seen) "
                       "VALUES ($1, $2, $3) ON CONFLICT DO NOTHING",
                       {station, programmer, now}, rows, error);
        },
        error);
}

bool ProductionStore::startChip(ChipRow& row, std::string& error) {
    SqlConnection& db = *connection_;
    handedOutAgain_ = false;
    std::optional<uint64_t> serial;
    int64_t id = 0;
    if (row.sequence) serial = row.serial;
    const bool ok = transaction(
        false,
        [&] {
            SqlRows rows;
            if (!row.product.empty() && !row.sequence) {
                if (!db.exec(std::string("SELECT serial FROM given_back WHERE product = $1 "
                                         "ORDER BY serial LIMIT 1") +
                                 db.skipLocked(),
                             {row.product}, rows, error))
                    return false;
                if (!rows.empty()) {
                    serial = number(rows[0][0]);
                    if (!db.exec("DELETE FROM given_back WHERE product = $1 AND serial = $2",
                                 {row.product, numberText(*serial)}, rows, error))
                        return false;
                } else {
                    // The row lock of the pool makes the other stations wait
                    // here until this transaction ends.
                    if (!db.exec("UPDATE serial_pools SET next_value = next_value + step "
                                 "WHERE product = $1 RETURNING next_value - step, bytes",
                                 {row.product}, rows, error))
                        return false;
                    if (!rows.empty()) {
                        SerialFormat format;
                        format.bytes = static_cast<uint32_t>(number(rows[0][1]));
                        serial = number(rows[0][0]);
                        if (!serialFits(*serial, format) || *serial > kLargestSerial) {
                            error = "the serial numbers of " + row.product +
                                    " are used up: " + numberText(*serial) + " does not fit in " +
                                    numberText(format.bytes) + " bytes";
                            return false;
                        }
                    }
                }
            }
            const SqlValue serialValue = serial ? SqlValue(numberText(*serial)) : std::nullopt;
            const SqlValue product = row.product.empty() ? std::nullopt : SqlValue(row.product);
            const SqlValue sequence =
                row.sequence ? SqlValue(numberText(*row.sequence)) : std::nullopt;
            if (row.sequence && serial &&
                !reclaimedNumberFree(db, row, *serial, handedOutAgain_, error))
                return false;
            // A station's chip is started once, by its sequence number: a
            // start sent again after a lost answer finds the row it made.
            if (!db.exec(std::string("INSERT INTO chips (time, station, programmer, chip, "
                                     "chip_id, command, result, serial, product, sequence) "
                                     "VALUES ($1, $2, $3, $4, $5, $6, 'started', $7, $8, $9)") +
                             (row.sequence ? " ON CONFLICT (station, sequence) DO NOTHING" : "") +
                             " RETURNING id",
                         {recordTimeText(row.time), row.station, row.programmer, row.chip,
                          row.chipId, row.command, serialValue, product, sequence},
                         rows, error))
                return false;
            if (rows.empty() && row.sequence) {
                if (!db.exec("SELECT id FROM chips WHERE station = $1 AND sequence = $2 AND "
                             "serial = $3",
                             {row.station, sequence, serialValue}, rows, error))
                    return false;
                if (rows.empty()) {
                    error = "chip " + numberText(*row.sequence) + " of station " + row.station +
                            " was started with another serial number";
                    return false;
                }
            }
            id = rows.empty() ? 0 : static_cast<int64_t>(number(rows[0][0]));
            return id > 0;
        },
        error);
    if (!ok) return false;
    row.id = id;
    row.serial = serial;
    row.result = "started";
    return true;
}

bool ProductionStore::finishChip(const ChipRow& outcome, bool& finished, std::string& error) {
    SqlConnection& db = *connection_;
    finished = false;
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", outcome.crc32);
    return transaction(
        false,
        [&] {
            SqlRows rows;
            // Only a leased number can be spent: the pool takes back the
            // numbers it gave itself.
            const bool spent = outcome.spent && outcome.result != "done";
            if (!db.exec("UPDATE chips SET result = $2, cause = $3, message = $4, bytes = $5, "
                         "crc32 = $6, seconds = $7, spent = CASE WHEN sequence IS NULL THEN 0 "
                         "ELSE $8 END WHERE id = $1 AND result = 'started' "
                         "RETURNING serial, product, sequence",
                         {std::to_string(outcome.id), outcome.result, currentCause(outcome.cause),
                          outcome.message, numberText(outcome.bytes), std::string(crc),
                          secondsText(outcome.seconds), spent ? "1" : "0"},
                         rows, error))
                return false;
            finished = !rows.empty();
            if (!finished) {
                // Finished before (an outcome written twice), or never started here.
                if (!db.exec("SELECT id FROM chips WHERE id = $1", {std::to_string(outcome.id)},
                             rows, error))
                    return false;
                if (rows.empty()) error = "the database has no chip " + std::to_string(outcome.id);
                return !rows.empty();
            }
            if (outcome.result == "done" || !rows[0][0] || !rows[0][1] || rows[0][2]) return true;
            return db.exec(
                "INSERT INTO given_back (product, serial) VALUES ($1, $2) "
                "ON CONFLICT DO NOTHING",
                {rows[0][1], rows[0][0]}, rows, error);
        },
        error);
}

bool ProductionStore::findChip(int64_t id, std::optional<ChipRow>& row, std::string& error) {
    row.reset();
    SqlRows rows;
    if (!connection_->exec(std::string("SELECT ") + kRowColumns + " FROM chips WHERE id = $1",
                           {std::to_string(id)}, rows, error))
        return false;
    if (!rows.empty()) row = rowFrom(rows[0]);
    return true;
}

bool ProductionStore::findStationChip(const std::string& station, uint64_t sequence,
                                      std::optional<ChipRow>& row, std::string& error) {
    row.reset();
    SqlRows rows;
    if (!connection_->exec(std::string("SELECT ") + kRowColumns +
                               " FROM chips WHERE station = $1 AND sequence = $2",
                           {station, numberText(sequence)}, rows, error))
        return false;
    if (!rows.empty()) row = rowFrom(rows[0]);
    return true;
}

bool ProductionStore::leaseHolds(const std::string& station, const std::string& product,
                                 uint64_t serial, bool& holds, std::string& error) {
    SqlRows rows;
    if (!connection_->exec("SELECT first_value, step FROM leases WHERE station = $1 AND "
                           "product = $2 AND first_value <= $3 AND last_value >= $3",
                           {station, product, numberText(serial)}, rows, error))
        return false;
    holds = false;
    for (const SqlRow& r : rows) {
        const uint64_t first = number(r[0]), step = number(r[1]);
        if (step > 0 && (serial - first) % step == 0) holds = true;
    }
    return true;
}

bool ProductionStore::setLineToken(const std::string& name, const std::string& role,
                                   const std::string& hash, std::string& error) {
    SqlConnection& db = *connection_;
    return transaction(
        false,
        [&] {
            SqlRows rows;
            return db.exec("DELETE FROM line_tokens WHERE name = $1 AND role = $2", {name, role},
                           rows, error) &&
                   db.exec(
                       "INSERT INTO line_tokens (name, role, hash, created) "
                       "VALUES ($1, $2, $3, $4)",
                       {name, role, hash, recordTimeText(std::time(nullptr))}, rows, error);
        },
        error);
}

bool ProductionStore::findLineToken(const std::string& hash, std::optional<LineToken>& token,
                                    std::string& error) {
    token.reset();
    SqlRows rows;
    if (!connection_->exec("SELECT name, role FROM line_tokens WHERE hash = $1", {hash}, rows,
                           error))
        return false;
    if (!rows.empty()) token = LineToken{text(rows[0][0]), text(rows[0][1])};
    return true;
}

bool ProductionStore::records(const RecordFilter& filter, std::vector<ChipRow>& rows,
                              std::string& error) {
    rows.clear();
    std::string sql = std::string("SELECT ") + kRowColumns + " FROM chips WHERE 1 = 1";
    std::vector<SqlValue> values;
    auto where = [&](const char* column, const std::string& value) {
        values.push_back(value);
        sql += std::string(" AND ") + column + " = $" + std::to_string(values.size());
    };
    if (!filter.product.empty()) where("product", filter.product);
    // A chip whose verify found a difference has failed too, as the summary
    // counts it.
    if (filter.result == "failed")
        sql += " AND result IN ('failed', 'different')";
    else if (!filter.result.empty())
        where("result", filter.result);
    if (filter.serial) where("serial", numberText(*filter.serial));
    if (filter.since) {
        values.push_back(recordTimeText(*filter.since));
        sql += " AND time >= $" + std::to_string(values.size());
    }
    sql += " ORDER BY id";
    SqlRows found;
    if (!connection_->exec(sql, values, found, error)) return false;
    for (const SqlRow& r : found) rows.push_back(rowFrom(r));
    return true;
}

bool ProductionStore::summary(const RecordFilter& filter, std::vector<ProgrammerSummary>& lines,
                              std::string& error) {
    lines.clear();
    std::vector<ChipRow> rows;
    if (!records(filter, rows, error)) return false;
    std::map<std::pair<std::string, std::string>, std::vector<const ChipRow*>> groups;
    for (const ChipRow& row : rows)
        if (row.result != "started") groups[{row.station, row.programmer}].push_back(&row);
    for (const auto& [key, chips] : groups) {
        ProgrammerSummary line;
        line.station = key.first;
        line.programmer = key.second;
        std::vector<double> seconds;
        for (const ChipRow* row : chips) {
            ++line.chips;
            ++(row->result == "done" ? line.passed : line.failed);
            seconds.push_back(row->seconds);
        }
        std::sort(seconds.begin(), seconds.end());
        const std::size_t half = seconds.size() / 2;
        line.medianSeconds =
            seconds.size() % 2 ? seconds[half] : (seconds[half - 1] + seconds[half]) / 2;
        lines.push_back(line);
    }
    return true;
}

namespace {

// Counts what became of each number of `lease` by the rows of its station.
LeaseUse useOf(const Lease& lease, const NumberUses& uses) {
    LeaseUse use{lease};
    for (uint64_t i = 0; i < lease.numbers; ++i) {
        const auto found = uses.find({lease.product, lease.first + i * lease.step});
        const bool ours = found != uses.end() && found->second.station == lease.station;
        const NumberFacts::Use what = ours ? found->second.use : NumberFacts::Back;
        if (what == NumberFacts::Used)
            ++use.used;
        else if (what == NumberFacts::Pending)
            ++use.pending;
        else if (what == NumberFacts::Spent)
            ++use.spent;
        else if (!lease.reclaimed)
            ++use.left;
    }
    return use;
}

}  // namespace

bool ProductionStore::leaseUses(const std::string& product, std::vector<LeaseUse>& uses,
                                std::string& error) {
    uses.clear();
    std::vector<Lease> all;
    NumberUses numbers;
    if (!leases(product, all, error) || !numberUses(*connection_, product, numbers, error))
        return false;
    for (const Lease& lease : all) uses.push_back(useOf(lease, numbers));
    return true;
}

bool ProductionStore::reclaim(const std::string& station, const std::string& product,
                              std::time_t now, ReclaimResult& result, std::string& error) {
    SqlConnection& db = *connection_;
    result = {};
    const std::string since = recordTimeText(now - kSeenWorkingSeconds);
    return transaction(
        false,
        [&] {
            SqlRows rows;
            // The last sign of life: a report, a chip started, a programmer
            // registered (the texts of times sort as the times do).
            if (!db.exec("SELECT MAX(t) FROM (SELECT MAX(time) AS t FROM station_reports "
                         "WHERE station = $1 UNION ALL SELECT MAX(time) FROM chips "
                         "WHERE station = $1 UNION ALL SELECT MAX(time) FROM station_seen "
                         "WHERE station = $1) seen",
                         {station}, rows, error))
                return false;
            const std::string seen = rows.empty() ? "" : text(rows[0][0]);
            if (!seen.empty() && seen >= since) {
                result.kind = ReclaimResult::SeenWorking;
                result.lastSeen = parseRecordTime(seen).value_or(0);
                return true;
            }
            std::vector<Lease> all;
            if (!leases(product, all, error)) return false;
            std::map<std::string, NumberUses> uses;  // by product
            for (const Lease& lease : all) {
                if (lease.station != station || lease.reclaimed) continue;
                if (!uses.count(lease.product) &&
                    !numberUses(db, lease.product, uses[lease.product], error))
                    return false;
                const NumberUses& numbers = uses[lease.product];
                for (uint64_t i = 0; i < lease.numbers; ++i) {
                    const uint64_t serial = lease.first + i * lease.step;
                    const auto found = numbers.find({lease.product, serial});
                    if (found != numbers.end() && found->second.use != NumberFacts::Back) continue;
                    if (!db.exec("INSERT INTO given_back (product, serial) VALUES ($1, $2) "
                                 "ON CONFLICT DO NOTHING",
                                 {lease.product, numberText(serial)}, rows, error))
                        return false;
                    ++result.returned;
                }
                if (!db.exec("UPDATE leases SET reclaimed = $2 WHERE id = $1",
                             {numberText(static_cast<uint64_t>(lease.id)), recordTimeText(now)},
                             rows, error))
                    return false;
                ++result.leases;
            }
            result.kind = result.leases > 0 ? ReclaimResult::Reclaimed : ReclaimResult::Nothing;
            return true;
        },
        error);
}

bool ProductionStore::gaps(const std::string& product, std::vector<SerialGap>& gaps,
                           std::string& error) {
    gaps.clear();
    SqlRows pool, back;
    std::vector<Lease> held;
    NumberUses uses;
    if (!connection_->exec("SELECT start_value, step, next_value FROM serial_pools "
                           "WHERE product = $1",
                           {product}, pool, error) ||
        !numberUses(*connection_, product, uses, error) || !leases(product, held, error) ||
        !connection_->exec("SELECT serial FROM given_back WHERE product = $1", {product}, back,
                           error))
        return false;
    if (pool.empty()) {
        error = "there is no product named " + product + " with serial numbers";
        kind_ = SqlErrorKind::Refused;
        return false;
    }
    std::set<uint64_t> givenBack;
    for (const SqlRow& r : back) givenBack.insert(number(r[0]));
    std::map<uint64_t, const Lease*> leaseAt;  // by its first number
    for (const Lease& lease : held) leaseAt[lease.first] = &lease;
    const uint64_t start = number(pool[0][0]), step = std::max<uint64_t>(number(pool[0][1]), 1),
                   next = number(pool[0][2]);
    for (uint64_t serial = start; serial < next; serial += step) {
        const auto found = uses.find({product, serial});
        const NumberFacts* facts = found == uses.end() ? nullptr : &found->second;
        if (facts && facts->use == NumberFacts::Used) continue;
        SerialGap gap{serial, "given_back", "", ""};
        if (givenBack.count(serial) == 0) {
            if (facts && facts->use == NumberFacts::Pending) {
                gap = {serial, "pending", facts->station, ""};
            } else if (facts && facts->use == NumberFacts::Spent) {
                gap = {serial, "spent", facts->station, facts->cause};
            } else {
                // In a lease, on no chip yet (or given back to it). Never
                // anything else: the pool moves only with a lease or a row.
                auto lease = leaseAt.upper_bound(serial);
                const bool leased = lease != leaseAt.begin() && (--lease)->second->last >= serial;
                gap = {serial, leased ? "leased" : "unknown",
                       leased ? lease->second->station : std::string(), ""};
            }
        }
        gaps.push_back(std::move(gap));
        if (next - serial < step) break;
    }
    return true;
}

bool ProductionStore::report(const StationReport& report, std::string& error) {
    SqlConnection& db = *connection_;
    return transaction(
        false,
        [&] {
            SqlRows rows;
            return db.exec(
                "INSERT INTO station_reports (station, product, lease_left, waiting, time) "
                "VALUES ($1, $2, $3, $4, $5) ON CONFLICT (station, product) DO UPDATE SET "
                "lease_left = excluded.lease_left, waiting = excluded.waiting, "
                "time = excluded.time",
                {report.station, report.product, numberText(report.leaseLeft),
                 numberText(report.waiting), recordTimeText(report.time)},
                rows, error);
        },
        error);
}

bool ProductionStore::holdings(const std::string& product, std::vector<StationHolding>& holdings,
                               std::string& error) {
    holdings.clear();
    std::vector<LeaseUse> uses;
    SqlRows reports;
    if (!leaseUses(product, uses, error) ||
        !connection_->exec("SELECT station, lease_left, waiting, time FROM station_reports "
                           "WHERE $1 = '' OR product = $1",
                           {product}, reports, error))
        return false;
    std::map<std::string, StationHolding> by;
    for (const LeaseUse& use : uses) {
        StationHolding& h = by[use.lease.station];
        h.leaseLeft += use.left;
        h.spent += use.spent;
    }
    for (const SqlRow& r : reports) {
        StationHolding& h = by[text(r[0])];
        if (!h.report) h.report = StationReport{text(r[0]), product, 0, 0, 0};
        h.report->leaseLeft += number(r[1]);
        h.report->waiting += number(r[2]);
        h.report->time = std::max(h.report->time, parseRecordTime(text(r[3])).value_or(0));
    }
    for (auto& [station, h] : by) {
        h.station = station;
        holdings.push_back(std::move(h));
    }
    return true;
}

bool ProductionStore::reconnect(std::string& error) {
    return !connection_->lost() || connection_->reconnect(error);
}

}  // namespace ostrel
