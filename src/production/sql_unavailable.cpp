// The build without the production database's client libraries (Windows): a
// database named with --db cannot be reached, and says why.

#include "production/sql_connection.h"

namespace ostrel {

namespace {
constexpr const char* kNotInBuild = "the production database is not available in this build";
}

std::unique_ptr<SqlConnection> connectSqlite(const std::string&, std::string& error) {
    error = kNotInBuild;
    return nullptr;
}

std::unique_ptr<SqlConnection> connectPostgres(const std::string&, std::string& error) {
    error = kNotInBuild;
    return nullptr;
}

bool postgresConninfoValid(const std::string&, std::string& error) {
    error = kNotInBuild;
    return false;
}

}  // namespace ostrel
