#include "cli/bridges.h"

#include <cstdio>

#include "base/quiet_ui.h"
#include "catalogue/chip_identification.h"
#include "catalogue/chip_lookup.h"
#include "catalogue/chip_search.h"
#include "firmware/firmware_upgrade.h"
#include "firmware/hid_device.h"

namespace ostrel::cli {

std::vector<int> chipsMatching(const Catalogue& catalogue, const std::string& keyGbk,
                               bool filtered) {
    std::vector<int> positions;
    if (!filtered) {
        for (int i = 0; i < catalogue.count(); ++i) positions.push_back(i);
        return positions;
    }
    for (const SearchRow& row : searchCatalogue(catalogue, keyGbk))
        positions.push_back(row.position);
    return positions;
}

Detection detectChip(MainState& state, ProgrammerOps& ops, ChipSelector& selector) {
    uint8_t reply[4] = {};
    const int result = ops.readChipId(reply);
    if (result == kChipIdNoProgrammer) return {Detection::NoProgrammer, {}};
    if (result != kChipIdAnswered) return {Detection::NoAnswer, {}};
    // Identification shows its outcome in a box; here the caller prints it.
    QuietUi silent;
    identifyChip(result, reply, state.catalogue, selector, silent, state.language);
    const bool known = findChipById(state.catalogue, detectedId(reply)) >= 0;
    switch (reply[0]) {
        case 1: {
            if (known)
                return {Detection::Known,
                        chipNamesOf(state.selectedRecord(), state.selected).joined()};
            char id[16];
            std::snprintf(id, sizeof id, "%2.2X %2.2X %2.2X", reply[1], reply[2], reply[3]);
            return {Detection::Unknown, id};
        }
        case 2:
        case 3:
            return {Detection::TypeOnly, selector.typeText()};
        default:
            return {Detection::NoChip, {}};
    }
}

UpgradeOutcome upgradeFirmware(MainState& state, ProgrammerOps& ops, UiPort& ui,
                               const std::string& path) {
    HidDevice hid;
    FirmwareUpgrade upgrade(state.language, ops, hid, ui);
    switch (upgrade.upgrade(path)) {
        case UpgradeResult::Done:
            return UpgradeOutcome::Done;
        case UpgradeResult::NoFile:
            return UpgradeOutcome::NoFile;
        case UpgradeResult::FileRefused:
            return UpgradeOutcome::FileRefused;
        case UpgradeResult::BootLoaderMissing:
            return UpgradeOutcome::NoProgrammer;
        case UpgradeResult::BlockSizeZero:
        case UpgradeResult::TransferFailed:
            return UpgradeOutcome::Failed;
    }
    return UpgradeOutcome::Failed;
}

}  // namespace ostrel::cli
