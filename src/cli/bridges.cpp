#include "cli/bridges.h"

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

Identification detectChip(MainState& state, ProgrammerOps& ops, ChipSelector& selector) {
    uint8_t reply[kChipIdReplyBytes] = {};
    const int result = ops.readChipId(reply);
    return identifyChip(result, reply, state.catalogue, selector, state.language);
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
