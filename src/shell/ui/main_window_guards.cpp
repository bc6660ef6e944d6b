// The Operation menu's guards of the chip and of a read: "Check the chip
// first" reads the chip's ID before each chip command and asks before it works
// on an empty socket or another chip than chosen; "Verify after Write, blank
// check after Erase" has Write check what it wrote and Erase check that it
// took. Both are ticked unless the settings file says otherwise, and a file
// keeps only what differs from that. "Read twice and compare" has Read read
// the chip a second time and compare; it doubles the time, so it is off unless
// the settings file says otherwise.

#include <QAction>
#include <QMenu>
#include <string>

#include "base/texts.h"
#include "base/ui/qt_text.h"
#include "shell/ui/main_window.h"

namespace ostrel {
namespace {

constexpr const char* kGuardSection = "OPERATION";
constexpr const char* kCheckChipKey = "CheckChip";
constexpr const char* kCheckWriteEraseKey = "CheckWriteErase";
// The key of the second guard while it checked Write alone; a file that has
// only it keeps its choice.
constexpr const char* kOldVerifyWriteKey = "VerifyWrite";
constexpr const char* kReadTwiceKey = "ReadTwice";

}  // namespace

bool TForm1::guardSetting(const char* key) const {
    if (std::string(key) == kCheckWriteEraseKey && !settingsFile_->readString(kGuardSection, key))
        return settingsFile_->readBool(kGuardSection, kOldVerifyWriteKey, true);
    return settingsFile_->readBool(kGuardSection, key, std::string(key) != kReadTwiceKey);
}

void TForm1::setUpGuards() {
    const auto guard = [this](const char* name, const char* key, bool& option) {
        auto* action = new QAction(this);
        action->setObjectName(QString::fromLatin1(name));
        action->setCheckable(true);
        action->setChecked(guardSetting(key));
        option = action->isChecked();
        connect(action, &QAction::toggled, this, [&option](bool checked) { option = checked; });
        O3->addAction(action);
        return action;
    };
    O3->addSeparator();
    CheckChip = guard("CheckChip", kCheckChipKey, runner_->checkChipFirst);
    VerifyWrite = guard("VerifyWrite", kCheckWriteEraseKey, runner_->checkAfterWriteAndErase);
    ReadTwice = guard("ReadTwice", kReadTwiceKey, runner_->readTwice);
    runner_->chipTypes = &selector_->lists().types;
    captionGuards();
}

void TForm1::captionGuards() {
    CheckChip->setText(qs(programText(Txt::MenuCheckChip, state_->language)));
    VerifyWrite->setText(qs(programText(Txt::MenuVerifyAfterWrite, state_->language)));
    ReadTwice->setText(qs(programText(Txt::MenuReadTwice, state_->language)));
}

bool TForm1::saveGuards() {
    for (const auto& [action, key] :
         {std::pair{CheckChip, kCheckChipKey}, std::pair{VerifyWrite, kCheckWriteEraseKey},
          std::pair{ReadTwice, kReadTwiceKey}}) {
        const bool ticked = action->isChecked();
        if (guardSetting(key) == ticked) continue;
        if (!settingsFile_->writeBool(kGuardSection, key, ticked)) {
            ui_->errorBox(settingsFile_->writeFailureText());
            return false;
        }
    }
    return true;
}

}  // namespace ostrel
