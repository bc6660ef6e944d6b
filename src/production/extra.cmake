# The production database: SQLite for one station, PostgreSQL (libpq) for a line.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SQLITE3 REQUIRED IMPORTED_TARGET sqlite3)
pkg_check_modules(LIBPQ REQUIRED IMPORTED_TARGET libpq)
target_link_libraries(ostrel_core PUBLIC PkgConfig::SQLITE3 PkgConfig::LIBPQ)
# The line server's client: HTTP and HTTPS through cpp-httplib (its TLS
# through OpenSSL), in the platform layer; its JSON through nlohmann-json.
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
target_link_libraries(ostrel_core PRIVATE PkgConfig::HTTPLIB)
