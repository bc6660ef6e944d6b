// The main window with several programmers attached: the Operation menu's
// Programmer submenu lists each (bus path and serial number), refreshed at
// every presence check; the one chosen there is used for every job, and is
// remembered in the settings file in a section of its own. With one
// programmer and none chosen nothing changes: it is used, as ever.
//
// A chosen programmer that is gone or busy is never replaced without a word:
// a box names it, says why it cannot be used and offers another. Batch mode
// stays on the programmer it started on; when that one goes, batch mode stops.

#include <QAction>
#include <QActionGroup>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "base/texts.h"
#include "shell/ui/main_window.h"
#include "usb/wire_trace.h"

namespace ostrel {
namespace {

constexpr const char* kProgrammerSection = "PROGRAMMER";
constexpr const char* kProgrammerKey = "Device";
// The status bar's last panel, free for the programmer's name.
constexpr int kPanelProgrammer = 4;
constexpr int kPanelProgrammerLeft = 315;
constexpr int kPanelProgrammerWidth = 50;

// One trace for the whole run: it must outlive every transport that writes it,
// and the window's transport goes last, with the window.
WireTrace* runTrace() {
    static const std::unique_ptr<WireTrace> trace = []() -> std::unique_ptr<WireTrace> {
        const char* path = std::getenv("OSTREL_TRACE");
        if (path == nullptr || *path == '\0') return nullptr;
        auto opened = WireTrace::toFile(path);
        if (!opened) std::fprintf(stderr, "ostrel: cannot write the wire trace to %s\n", path);
        return opened;
    }();
    return trace.get();
}

QString entryText(const ProgrammerEntry& entry, int language) {
    if (entry.failure != OpenFailure::None)
        return QString::fromStdString(
            fillIn(programText(Txt::ProgrammerBusyEntry, language), {entry.busPath}));
    return QString::fromStdString(entry.busPath + "  " + entry.serialNumber);
}

}  // namespace

void TForm1::setUpProgrammers() {
    usb_->setTrace(runTrace());
    chosenProgrammer_ =
        settingsFile_->readString(kProgrammerSection, kProgrammerKey).value_or(std::string());
    O3->addSeparator();
    Programmer = O3->addMenu(QString());
    Programmer->setObjectName(QStringLiteral("Programmer"));
    Programmer->menuAction()->setObjectName(QStringLiteral("Programmer"));
    // The submenu follows the language and the lock each time the menu opens.
    connect(O3, &QMenu::aboutToShow, this, &TForm1::fillProgrammerMenu);
    fillProgrammerMenu();
}

void TForm1::refreshProgrammers() {
    const std::vector<AttachedDevice> attached = usb_->listDevices(
        kProgrammerVendorId, kProgrammerVendorText, kProgrammerProductId, kProgrammerProductText);
    if (attached.size() > 1 || !chosenProgrammer_.empty()) {
        // Serial numbers are asked only when there is a choice to make or one
        // to find, and only of programmers not asked before at the same bus path.
        programmers_ = listProgrammers(*usb_, programmers_);
    } else {
        programmers_.clear();
        for (const AttachedDevice& device : attached)
            programmers_.push_back({device.busPath, {}, {}, device.failure});
    }
    applyProgrammerChoice();
    fillProgrammerMenu();
}

std::string TForm1::programmerInUse(std::string& name) {
    const auto at = [this](const std::string& key) {
        return std::find_if(programmers_.begin(), programmers_.end(),
                            [&key](const ProgrammerEntry& e) {
                                return e.failure == OpenFailure::None &&
                                       (e.serialNumber == key || e.busPath == key);
                            });
    };
    const auto named = [&name](const ProgrammerEntry& e) {
        name = e.serialNumber.empty() ? e.busPath : e.serialNumber + " " + e.busPath;
        return e.busPath;
    };
    if (chosenProgrammer_.empty()) {
        if (programmers_.size() > 1) return named(programmers_.front());
        return {};
    }
    if (auto chosen = at(chosenProgrammer_); chosen != programmers_.end()) {
        offered_.clear();
        chosenPath_ = chosen->busPath;
        return named(*chosen);
    }
    const auto offer =
        std::find_if(programmers_.begin(), programmers_.end(),
                     [](const ProgrammerEntry& e) { return e.failure == OpenFailure::None; });
    if (offer == programmers_.end()) return {};
    // Asked once for each programmer offered in place of the chosen one.
    const std::string offerKey = chosenProgrammer_ + "\n" + offer->busPath;
    if (offered_ != offerKey) {
        offered_ = offerKey;
        const int language = state_->language;
        const OpenFailure failure =
            chosenProgrammerFailure(programmers_, chosenProgrammer_, chosenPath_);
        const Txt why = failure == OpenFailure::Busy            ? Txt::ProgrammerWhyBusy
                        : failure == OpenFailure::NotAccessible ? Txt::ProgrammerWhyNoAccess
                                                                : Txt::ProgrammerWhyGone;
        const std::string offerName = offer->serialNumber.empty()
                                          ? offer->busPath
                                          : offer->serialNumber + " (" + offer->busPath + ")";
        offerTaken_ =
            ui_->askInfo(fillIn(programText(Txt::ProgrammerNotUsable, language),
                                {chosenProgrammer_, programText(why, language), offerName}));
    }
    // Declined, no programmer serves: a path no device has.
    if (!offerTaken_) return "-";
    return named(*offer);
}

void TForm1::applyProgrammerChoice() {
    if (choosingProgrammer_) return;
    choosingProgrammer_ = true;
    std::string name;
    std::string path;
    if (!batchProgrammer_.empty()) {
        // Batch mode stays where it started, and ends when that programmer goes.
        path = batchProgrammer_;
        const bool there =
            std::any_of(programmers_.begin(), programmers_.end(),
                        [this](const ProgrammerEntry& e) { return e.busPath == batchProgrammer_; });
        if (!there && runner_->lock().batchActive()) {
            runner_->stopBatch();
            ui_->errorBox(fillIn(programText(Txt::BatchProgrammerGone, state_->language),
                                 {batchProgrammerName_}));
        }
        name = batchProgrammerName_;
    } else {
        path = programmerInUse(name);
    }
    choosingProgrammer_ = false;
    usb_->setDevicePath(path);
    QLabel* panel = panels_[kPanelProgrammer];
    panel->setText(QString::fromStdString(name));
    panel->setToolTip(QString::fromStdString(name));
    // Named, the panel grows to its text and stays above the progress bar.
    const int width = name.empty() ? kPanelProgrammerWidth
                                   : panel->fontMetrics().horizontalAdvance(panel->text()) +
                                         2 * panel->indent() + 8;
    panel->setGeometry(kPanelProgrammerLeft, 0, std::max(width, kPanelProgrammerWidth) - 2, 19);
    if (name.empty())
        panel->lower();
    else
        panel->raise();
}

void TForm1::fillProgrammerMenu() {
    if (Programmer == nullptr) return;
    const int language = state_->language;
    Programmer->setTitle(QString::fromStdString(programText(Txt::MenuProgrammer, language)));
    Programmer->clear();
    qDeleteAll(Programmer->findChildren<QActionGroup*>(Qt::FindDirectChildrenOnly));
    if (programmers_.empty()) {
        Programmer->addAction(QString::fromStdString(programText(Txt::MenuNoProgrammer, language)))
            ->setEnabled(false);
        return;
    }
    const bool locked = this->locked();
    auto* group = new QActionGroup(Programmer);
    for (const ProgrammerEntry& entry : programmers_) {
        QAction* action = Programmer->addAction(entryText(entry, language));
        action->setCheckable(true);
        action->setActionGroup(group);
        const bool inUse = usb_->devicePath().empty() ? programmers_.size() == 1
                                                      : entry.busPath == usb_->devicePath();
        action->setChecked(inUse);
        action->setEnabled(!locked && entry.failure == OpenFailure::None);
        const std::string chosen = entry.serialNumber.empty() ? entry.busPath : entry.serialNumber;
        connect(action, &QAction::triggered, this, [this, chosen] { ProgrammerClick(chosen); });
    }
}

void TForm1::ProgrammerClick(const std::string& chosen) {
    // The programmer of a running job or batch mode stays the same.
    if (locked()) return;
    chosenProgrammer_ = chosen;
    chosenPath_.clear();
    applyProgrammerChoice();
    checkProgrammer();
}

bool TForm1::saveProgrammerChoice() {
    // A file that never had a choice keeps only the keys it had.
    if (chosenProgrammer_.empty()) return true;
    if (settingsFile_->readString(kProgrammerSection, kProgrammerKey) == chosenProgrammer_)
        return true;
    if (settingsFile_->writeString(kProgrammerSection, kProgrammerKey, chosenProgrammer_))
        return true;
    ui_->errorBox(settingsFile_->writeFailureText());
    return false;
}

}  // namespace ostrel
