#pragma once
// The chip catalogue file: nothing but whole 68-byte records from offset 0,
// no header and no count. The editor writes the chips followed by one zeroed
// terminator record, so a file of N chips is (N + 1) * 68 bytes.

#include <cstdint>
#include <string>

#include "catalogue/catalogue.h"

namespace ostrel {

enum class CatalogueLoad {
    Loaded,     // the file's records are in the catalogue (a 0-byte file counts)
    Missing,    // no file (or none that can be opened): nothing changed, nothing shown
    Destroyed,  // damaged (the caller says so): nothing changed
};

// Copies the file's records over the catalogue from position 0; positions
// behind the file's end keep what they held. A length that is not a whole
// number of records, or more than the catalogue holds, is Destroyed; the
// windows say so with MsgConfigDestroyed in a plain box.
CatalogueLoad loadCatalogueFile(const std::string& path, Catalogue& catalogue);

// The same for bytes already read, for callers that hold them.
CatalogueLoad loadCatalogueBytes(const std::string& bytes, Catalogue& catalogue);

// Writes records 0 to chipCount-1 and a terminator (68 zero bytes) and clears
// the name of record chipCount in memory to match. A full catalogue of 1000
// chips has no room for a terminator and is written without one; the loader
// then ends it at the array's end. Refuses a count outside 0 to 1000. The old
// file is replaced only once the new one is completely written.
bool saveCatalogueFile(const std::string& path, Catalogue& catalogue, int chipCount);

}  // namespace ostrel
