#include "cli/bridges.h"

#include <cctype>

#include "catalogue/chip_search.h"
#include "catalogue/gbk_text.h"
#include "catalogue/name_text.h"
#include "firmware/firmware_upgrade.h"
#include "firmware/hid_device.h"

namespace ostrel::cli {

namespace {

// ASCII letters in upper case, double-byte characters whole: the trail byte of
// one may be a letter and stays as it is.
std::string foldCase(const std::string& gbk) {
    std::string out = gbk;
    for (std::size_t pos = 0; pos < out.size();) {
        const std::size_t length = gbkCharLength(out, pos);
        if (length == 1)
            out[pos] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[pos])));
        pos += length;
    }
    return out;
}

}  // namespace

std::vector<int> chipsMatching(const Catalogue& catalogue, const std::string& keyGbk,
                               bool filtered) {
    std::vector<int> positions;
    if (!filtered) {
        for (int i = 0; i < catalogue.count(); ++i) positions.push_back(i);
        return positions;
    }
    // The search window's rule, with letter case ignored as -c ignores it.
    const std::string key = foldCase(trimControls(keyGbk));
    if (key.empty()) return positions;
    for (int i = 0; i < catalogue.count(); ++i) {
        const std::string text = foldCase(nameTextOf(catalogue.at(i)));
        for (std::size_t pos = 0; pos + key.size() <= text.size();
             pos += gbkCharLength(text, pos)) {
            if (text.compare(pos, key.size(), key) == 0) {
                positions.push_back(i);
                break;
            }
        }
    }
    return positions;
}

Identification detectChip(MainState& state, ProgrammerOps& ops, ChipSelector& selector) {
    return identifyChip(ops.readChipId(), state.catalogue, selector, state.language);
}

std::string detectionLine(const Identification& found, const std::string& chosenName) {
    switch (found.kind) {
        case Detection::Known:
            return gbkToUtf8(chosenName);
        case Detection::UnknownId:
            return "unknown ID " + found.idText;
        case Detection::TypeOnly:
            return "type " + gbkToUtf8(found.typeText);
        case Detection::NoChip:
        case Detection::NoChipAnswer:
        case Detection::NoProgrammer:
        case Detection::NoAnswer:
            break;
    }
    return "no chip";
}

UpgradeOutcome upgradeFirmware(MainState& state, ProgrammerOps& ops, TerminalUi& ui,
                               const std::string& path, std::string& result) {
    HidDevice hid;
    FirmwareUpgrade upgrade(state.language, ops, hid, ui);
    const UpgradeResult done = upgrade.upgrade(path);
    result = upgrade.resultText();
    switch (done) {
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
