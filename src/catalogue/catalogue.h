#pragma once
// The in-memory catalogue: exactly 1000 records, zero-filled at creation. The
// catalogue is the run of records up to the first one whose name is empty;
// records behind that terminator may hold older chips and are never read.

#include <array>

#include "catalogue/chip_record.h"

namespace ostrel {

class Catalogue {
  public:
    Catalogue() : records_{} {}

    // Number of chips before the terminator (1000 when there is none).
    int count() const {
        int n = 0;
        while (n < kCatalogueCapacity && records_[n].nameText[0] != 0) ++n;
        return n;
    }
    ChipRecord& at(int index) { return records_.at(static_cast<std::size_t>(index)); }
    const ChipRecord& at(int index) const { return records_.at(static_cast<std::size_t>(index)); }
    std::array<ChipRecord, kCatalogueCapacity>& records() { return records_; }
    const std::array<ChipRecord, kCatalogueCapacity>& records() const { return records_; }

  private:
    std::array<ChipRecord, kCatalogueCapacity> records_;
};

}  // namespace ostrel
