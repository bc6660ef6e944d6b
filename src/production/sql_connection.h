#pragma once
// One connection to the production database, SQLite for one station or
// PostgreSQL for a line of them. The store speaks the SQL both understand;
// the few places where they differ (how a writing transaction begins, whether
// a row can be locked and skipped) are asked of the connection.
//
// Parameters are written $1, $2, ... and passed as text (or null); every value
// comes back as text (or null). Both databases convert text to the column's
// type, so the store needs no binding per type.

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

using SqlValue = std::optional<std::string>;
using SqlRow = std::vector<SqlValue>;
using SqlRows = std::vector<SqlRow>;

// What kind of error a statement met, which says what to do about it.
enum class SqlErrorKind {
    None,     // it did not fail
    Lost,     // the connection or the server is gone: connect again later
    Retry,    // the server could not do it now (a conflict, a lock, no room)
    Refused,  // it will never succeed as it is: set it aside, naming it
};
// By PostgreSQL's SQLSTATE (five characters) and by SQLite's extended result
// code.
SqlErrorKind sqlStateKind(const std::string& sqlState);
SqlErrorKind sqliteCodeKind(int extendedCode);

class SqlConnection {
  public:
    virtual ~SqlConnection() = default;

    // Runs one statement; false with `error` set (English) when it failed,
    // and errorKind() saying what kind of error it was (None after a
    // statement that did not fail).
    virtual bool exec(const std::string& sql, const std::vector<SqlValue>& parameters,
                      SqlRows& rows, std::string& error) = 0;
    bool exec(const std::string& sql, std::string& error) {
        SqlRows rows;
        return exec(sql, {}, rows, error);
    }

    // Begins a transaction that writes, holding the database (SQLite) or the
    // schema lock (PostgreSQL, only when `schema`) against other writers.
    virtual bool beginWrite(bool schema, std::string& error) = 0;
    // Appended to the SELECT of a given-back number: other stations skip a
    // row one of them is taking instead of waiting for it. Empty where the
    // whole database is locked anyway.
    virtual const char* skipLocked() const = 0;
    // The column type of a row number the database gives.
    virtual const char* rowIdType() const = 0;
    // What the database is, whatever the URL that reached it looked like: two
    // spellings of one database give the same text, two databases never do.
    virtual bool identity(std::string& id, std::string& error) = 0;
    SqlErrorKind errorKind() const { return kind_; }
    // The connection was lost; reconnect() tries once more.
    virtual bool lost() const = 0;
    virtual bool reconnect(std::string& error) = 0;

  protected:
    SqlErrorKind kind_ = SqlErrorKind::None;
};

// Connects to `url`: "sqlite:PATH", or anything libpq takes (a
// postgresql:// URI or a conninfo string). Null with `error` set when the
// database cannot be reached or opened.
std::unique_ptr<SqlConnection> connectSqlite(const std::string& path, std::string& error);
std::unique_ptr<SqlConnection> connectPostgres(const std::string& conninfo, std::string& error);

// Whether libpq can read `conninfo`; false with libpq's reason in `error`.
bool postgresConninfoValid(const std::string& conninfo, std::string& error);

}  // namespace ostrel
