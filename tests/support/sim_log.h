#pragma once
// The simulator's transfer log as a list, for the test fixtures that drive it.

#include <vector>

#include "ostrel_sim.h"

namespace ostrel::testing {

// The entries of one kind (ostrel_sim_log_kind), oldest first; kind 0 gives all.
inline std::vector<ostrel_sim_log_entry> simLog(int kind) {
    std::vector<ostrel_sim_log_entry> entries;
    for (int i = 0; i < ostrel_sim_log_count(); ++i) {
        ostrel_sim_log_entry e{};
        ostrel_sim_log_get(i, &e);
        if (kind == 0 || e.kind == kind) entries.push_back(e);
    }
    return entries;
}

}  // namespace ostrel::testing
