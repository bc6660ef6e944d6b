// The production database in one SQLite file, for a station on its own. The
// file is written ahead (WAL), so the records command reads while a chip is
// recorded, and each commit reaches the disk before it returns: a chip
// reported recorded is on the disk.

#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "base/platform.h"
#include "production/sql_connection.h"

namespace ostrel {
namespace {

// The statement with SQLite's numbered parameters: $1 becomes ?1.
std::string sqliteParameters(std::string sql) {
    for (std::size_t at = sql.find('$'); at != std::string::npos; at = sql.find('$', at + 1))
        sql[at] = '?';
    return sql;
}

class SqliteConnection : public SqlConnection {
  public:
    SqliteConnection(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
    ~SqliteConnection() override { sqlite3_close_v2(db_); }

    using SqlConnection::exec;
    bool exec(const std::string& sql, const std::vector<SqlValue>& parameters, SqlRows& rows,
              std::string& error) override {
        rows.clear();
        sqlite3_stmt* statement = nullptr;
        kind_ = SqlErrorKind::None;
        if (sqlite3_prepare_v2(db_, sqliteParameters(sql).c_str(), -1, &statement, nullptr) !=
            SQLITE_OK) {
            error = sqlite3_errmsg(db_);
            kind_ = sqliteCodeKind(sqlite3_extended_errcode(db_));
            return false;
        }
        bool ok = true;
        for (std::size_t i = 0; ok && i < parameters.size(); ++i) {
            const int index = static_cast<int>(i + 1);
            ok = (parameters[i]
                      ? sqlite3_bind_text(statement, index, parameters[i]->c_str(),
                                          static_cast<int>(parameters[i]->size()), SQLITE_TRANSIENT)
                      : sqlite3_bind_null(statement, index)) == SQLITE_OK;
        }
        int step = SQLITE_ROW;
        while (ok && (step = sqlite3_step(statement)) == SQLITE_ROW) {
            SqlRow row;
            for (int column = 0; column < sqlite3_column_count(statement); ++column) {
                const auto* text =
                    reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
                row.push_back(text ? SqlValue(text) : std::nullopt);
            }
            rows.push_back(std::move(row));
        }
        if (!ok || step != SQLITE_DONE) {
            error = sqlite3_errmsg(db_);
            kind_ = sqliteCodeKind(sqlite3_extended_errcode(db_));
            if (kind_ == SqlErrorKind::None) kind_ = SqlErrorKind::Refused;
            ok = false;
        }
        sqlite3_finalize(statement);
        return ok;
    }

    // The whole file is held from the first statement on, so that two
    // programmers never both read the same next number.
    bool beginWrite(bool, std::string& error) override { return exec("BEGIN IMMEDIATE", error); }
    const char* skipLocked() const override { return ""; }
    const char* rowIdType() const override { return "INTEGER PRIMARY KEY"; }
    // The file with its links and relative parts resolved: one file, one name.
    bool identity(std::string& id, std::string& error) override {
        const std::optional<std::string> resolved = platform::resolvedPath(path_);
        if (!resolved) {
            error = path_ + ": " + std::strerror(errno);
            return false;
        }
        id = "sqlite:" + *resolved;
        return true;
    }
    bool lost() const override { return false; }
    bool reconnect(std::string&) override { return true; }

  private:
    sqlite3* db_;
    std::string path_;
};

}  // namespace

std::unique_ptr<SqlConnection> connectSqlite(const std::string& path, std::string& error) {
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(
        path.c_str(), &db,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE,
        nullptr);
    if (opened != SQLITE_OK) {
        error = db ? sqlite3_errmsg(db) : sqlite3_errstr(opened);
        error += " (" + path + ")";
        sqlite3_close_v2(db);
        return nullptr;
    }
    // Other programmers of the station write between our statements: wait
    // for them rather than fail, for up to 30 seconds, trying again every
    // millisecond (SQLite's own wait grows to 100 ms a try, which leaves a
    // programmer waiting long after the file is free).
    sqlite3_busy_handler(
        db,
        [](void*, int tries) {
            if (tries >= 30000) return 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return 1;
        },
        nullptr);
    auto connection = std::make_unique<SqliteConnection>(db, path);
    SqlRows rows;
    if (!connection->exec("PRAGMA journal_mode=WAL", {}, rows, error) ||
        !connection->exec("PRAGMA synchronous=FULL", error) ||
        !connection->exec("PRAGMA foreign_keys=ON", error)) {
        error += " (" + path + ")";
        return nullptr;
    }
    return connection;
}

}  // namespace ostrel
