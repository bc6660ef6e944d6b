// The kinds of the databases' errors, from their codes alone, so that both
// builds know them (the Windows one has neither client library).

#include <cstring>

#include "production/sql_connection.h"

namespace ostrel {

SqlErrorKind sqlStateKind(const std::string& sqlState) {
    if (sqlState.size() != 5) return SqlErrorKind::Lost;  // no answer from a server
    const std::string type = sqlState.substr(0, 2);
    // 08 connection exceptions; 57P01-57P03 the server shuts down, crashed or
    // does not take connections yet; 58 the server's own system failed.
    if (type == "08" || sqlState == "57P01" || sqlState == "57P02" || sqlState == "57P03" ||
        type == "58")
        return SqlErrorKind::Lost;
    // 40 serialization failures and deadlocks; 53 no room (disk, memory,
    // connections); 55P03 a lock not had; 57014 a statement cancelled.
    if (type == "40" || type == "53" || sqlState == "55P03" || sqlState == "57014")
        return SqlErrorKind::Retry;
    return SqlErrorKind::Refused;
}

SqlErrorKind sqliteCodeKind(int extendedCode) {
    switch (extendedCode & 0xFF) {
        case 0:    // SQLITE_OK
        case 100:  // SQLITE_ROW
        case 101:  // SQLITE_DONE
            return SqlErrorKind::None;
        case 5:   // SQLITE_BUSY
        case 6:   // SQLITE_LOCKED
        case 7:   // SQLITE_NOMEM
        case 10:  // SQLITE_IOERR
        case 13:  // SQLITE_FULL
        case 15:  // SQLITE_PROTOCOL
            return SqlErrorKind::Retry;
        case 14:  // SQLITE_CANTOPEN
            return SqlErrorKind::Lost;
        default:
            return SqlErrorKind::Refused;
    }
}

}  // namespace ostrel
