# The production database: SQLite for one station, PostgreSQL (libpq) for a line.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SQLITE3 REQUIRED IMPORTED_TARGET sqlite3)
pkg_check_modules(LIBPQ REQUIRED IMPORTED_TARGET libpq)
target_link_libraries(ostrel_core PUBLIC PkgConfig::SQLITE3 PkgConfig::LIBPQ)
