#pragma once
// Chip selection as the program runs it: the three dependent lists, the
// positions they show, the saved selection that the settings file keeps, and
// what a selection does to the buffers. The main window, identification, the
// search window and the command line all choose chips through one of these;
// a window only mirrors the lists and positions after each run.

#include <cstdint>
#include <functional>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/chip_selection.h"

namespace ostrel {

struct ListPositions {
    int32_t type = 0;
    int32_t manufacturer = 0;
    int32_t name = 0;

    bool operator==(const ListPositions& other) const {
        return type == other.type && manufacturer == other.manufacturer && name == other.name;
    }
    bool operator!=(const ListPositions& other) const { return !(*this == other); }
};

class ChipSelector {
  public:
    // Told after every run of chip selection, before onSelected, of the record
    // now selected and the position the Type list shows: its owner makes that
    // record the selected one and, with `resetBuffers`, resets the buffers for it.
    using ChipChanged = std::function<void(int32_t selected, int32_t typeIndex, bool resetBuffers)>;

    ChipSelector(const Catalogue& catalogue, ChipChanged chipChanged);

    // Chip selection with three list positions: refills the lists, chooses the
    // record the positions name (a run that chooses nothing keeps the previous
    // one), hands it to chipChanged, and sets the positions the lists then
    // show. Returns whether a record was chosen. The record and positions
    // already shown, chosen again, keep the buffers' bytes. A run that would
    // reset the buffers asks mayResetBuffers first; declined, the lists, the
    // chip and the buffers stay as they were (declined() then says so).
    bool select(int32_t type, int32_t manufacturer, int32_t name);

    // Asked before a run resets the buffers; false keeps them. None: go on.
    std::function<bool()> mayResetBuffers;
    // Whether the last run was declined at mayResetBuffers.
    bool declined() const { return declined_; }

    // The catalogue changed under the lists (the catalogue editor's Save), and
    // the selected record is a position in it. The chip the lists show is
    // found again by its names: when it is there with the FLASH and EEPROM
    // sizes it had, it is shown and the buffers and views keep their bytes;
    // when its sizes changed, it is chosen as any chip is; when it is gone,
    // chip selection runs with the saved positions. The old chip cannot be
    // kept: declined at mayResetBuffers, the selection follows the catalogue
    // and only the buffers and views keep their bytes.
    void catalogueChanged();

    // Chip selection with these positions, which the saved selection then
    // keeps; false when it was declined at mayResetBuffers (nothing changed).
    bool choose(const ListPositions& positions);

    // The list-change handlers: the lists below the changed one go to their
    // first entry, and the positions are chosen. Choosing the entry a list
    // already shows is no change: nothing runs and false is returned, so the
    // buffers keep their bytes; so is a change declined at mayResetBuffers.
    bool typeChanged(int32_t index);
    bool manufacturerChanged(int32_t index);
    bool nameChanged(int32_t index);

    const ChipLists& lists() const { return lists_; }
    // The positions the three lists show; -1 where a list shows nothing.
    const ListPositions& shown() const { return shown_; }
    // The selection the settings file keeps (INDEX1 to INDEX3). Changed only by
    // the list handlers and by a successful ID match.
    ListPositions saved;

    // Membership lookups (whole text, letter case ignored): a position or -1.
    int32_t findType(const std::string& gbk) const { return positionOf(lists_.types, gbk); }
    int32_t findManufacturer(const std::string& gbk) const {
        return positionOf(lists_.manufacturers, gbk);
    }
    int32_t findName(const std::string& gbk) const { return positionOf(lists_.names, gbk); }
    // The texts the lists show (GBK), empty where a list shows nothing.
    std::string typeText() const { return entryAt(lists_.types, shown_.type); }
    std::string manufacturerText() const {
        return entryAt(lists_.manufacturers, shown_.manufacturer);
    }
    std::string nameText() const { return entryAt(lists_.names, shown_.name); }

    // Called after every run of chip selection with whether it chose a record;
    // the main window mirrors the lists, details and pages from it.
    std::function<void(bool chose)> onSelected;

  private:
    static int32_t shownPosition(const std::vector<std::string>& list, int32_t position);
    // `catalogueMoved`: the records moved under the positions, so the same
    // positions may name another chip, and a decline cannot keep the old one.
    bool run(int32_t type, int32_t manufacturer, int32_t name, bool resetBuffers,
             bool catalogueMoved = false);

    const Catalogue& catalogue_;
    ChipChanged chipChanged_;
    int32_t selected_ = 0;
    ChipLists lists_;
    ListPositions shown_{-1, -1, -1};
    bool declined_ = false;
    bool ranBefore_ = false;  // the buffers have been reset for a chip once
    // The selected record as the last run left it: its sizes are what the
    // buffers were reset for.
    ChipRecord selectedBefore_{};
};

}  // namespace ostrel
