// What a line that offers less than the database does answers: nothing to
// say of leases or reports, no look-up of a station's chips.

#include "production/production_store.h"

namespace ostrel {

bool StationLine::leases(const std::string&, std::vector<Lease>&, std::string&) {
    return true;
}

bool StationLine::findStationChip(const std::string&, uint64_t, std::optional<ChipRow>&,
                                  std::string& error) {
    error = "the line does not look up a station's chips";
    return false;
}

bool StationLine::report(const StationReport&, std::string&) {
    return true;
}

bool StationLine::heartbeat(const StationBeat&, std::string&) {
    return true;
}

}  // namespace ostrel
