// The Operation menu's two guards of the chip: "Check the chip first" reads
// the chip's ID before each chip command and asks before it works on an empty
// socket or another chip than chosen; "Verify after Write" has Write check
// what it wrote. Both are ticked unless the settings file says otherwise, and
// a file keeps only what differs from that.

#include <QAction>
#include <QMenu>

#include "base/texts.h"
#include "base/ui/qt_text.h"
#include "shell/ui/main_window.h"

namespace ostrel {
namespace {

constexpr const char* kGuardSection = "OPERATION";
constexpr const char* kCheckChipKey = "CheckChip";
constexpr const char* kVerifyWriteKey = "VerifyWrite";

}  // namespace

void TForm1::setUpGuards() {
    const auto guard = [this](const char* name, const char* key, bool& option) {
        auto* action = new QAction(this);
        action->setObjectName(QString::fromLatin1(name));
        action->setCheckable(true);
        action->setChecked(settingsFile_->readBool(kGuardSection, key, true));
        option = action->isChecked();
        connect(action, &QAction::toggled, this, [&option](bool checked) { option = checked; });
        O3->addAction(action);
        return action;
    };
    O3->addSeparator();
    CheckChip = guard("CheckChip", kCheckChipKey, runner_->checkChipFirst);
    VerifyWrite = guard("VerifyWrite", kVerifyWriteKey, runner_->verifyAfterWrite);
    runner_->chipTypes = &selector_->lists().types;
    captionGuards();
}

void TForm1::captionGuards() {
    CheckChip->setText(qs(programText(Txt::MenuCheckChip, state_->language)));
    VerifyWrite->setText(qs(programText(Txt::MenuVerifyAfterWrite, state_->language)));
}

bool TForm1::saveGuards() {
    for (const auto& [action, key] :
         {std::pair{CheckChip, kCheckChipKey}, std::pair{VerifyWrite, kVerifyWriteKey}}) {
        const bool ticked = action->isChecked();
        if (settingsFile_->readBool(kGuardSection, key, true) == ticked) continue;
        if (!settingsFile_->writeBool(kGuardSection, key, ticked)) {
            ui_->errorBox(settingsFile_->writeFailureText());
            return false;
        }
    }
    return true;
}

}  // namespace ostrel
