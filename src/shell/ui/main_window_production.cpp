// Batch mode as a production run: before it starts, the serial-number dialog,
// the day's production log in the user's state folder (named in the log
// pane) and the programmer's serial number; while it runs, a line per chip
// and the chips passed and failed on the status bar.

#include <QAction>
#include <QDialog>
#include <ctime>
#include <filesystem>

#include "operations/production_run.h"
#include "operations/ui/serial_dialog.h"
#include "shell/ui/main_window.h"

namespace ostrel {

// What batch mode keeps from one run to the next: the dialog's last answer;
// and for the run: its log, its counter and the runner's hook.
struct BatchProduction {
    std::optional<SerialFormat> serialFormat;
    ProductionLog log;
    std::unique_ptr<SerialCounter> serials;
    std::unique_ptr<ProductionRun> run;
};

bool TForm1::askSerialNumbers(std::optional<SerialFormat>& format) {
    SerialDialog dialog(state_->language, *ui_, this);
    dialog.setFormat(format);
    if (dialog.exec() != QDialog::Accepted) return false;
    return dialog.takeFormat(format);
}

void TForm1::startProductionBatch() {
    JobLock& lock = runner_->lock();
    // Whatever stops the start, the button shows whether batch mode runs.
    auto keepButton = [this] { ToolBulk->setChecked(runner_->lock().batchActive()); };
    if (lock.locked()) return keepButton();
    if (!production_) production_ = std::make_shared<BatchProduction>();
    BatchProduction& p = *production_;
    if (!askSerialNumbers(p.serialFormat) || lock.locked()) return keepButton();

    const int language = state_->language;
    const std::string folder = ProgramPaths::stateFolder();
    const std::string path = folder + "/" + productionLogName(std::time(nullptr));
    std::error_code made;
    std::filesystem::create_directories(folder, made);
    std::string error = made.message();
    if (made || !p.log.open(path, error)) {
        ui_->errorBox(fillIn(programText(Txt::ProductionLogUnwritable, language), {path, error}));
        return keepButton();
    }
    // Which programmer records the chips: asked once, before the first chip.
    HardwareInfo info;
    {
        JobLock::Hold hold = lock.acquire(JobLock::Holder::Command);
        if (!hold) return keepButton();
        if (!ops_->readHardwareInfo(info)) {
            ui_->errorBox(messageText(Msg::MsgNotConnected, language));
            return keepButton();
        }
    }
    // Batch mode stays on this programmer, whatever comes or goes meanwhile.
    batchProgrammer_ = usb_->openedPath();
    batchProgrammerName_ =
        info.serialNumber.empty() ? batchProgrammer_ : info.serialNumber + " " + batchProgrammer_;
    usb_->setDevicePath(batchProgrammer_);
    p.run = std::make_unique<ProductionRun>(*state_, *ops_, *runner_, *ui_, p.log);
    p.run->programmer = info.serialNumber;
    p.serials.reset();
    if (p.serialFormat) {
        p.serials =
            std::make_unique<SerialCounter>(folder + "/" + kSerialCounterName, *p.serialFormat);
        p.run->serials = p.serials.get();
    }
    ui_->insertLogLine(fillIn(programText(Txt::ProductionLogStarted, language), {path}) + " (" +
                       ui_->timeOfDay() + ")");
    ui_->setStatusText(PanelBatchCounts,
                       fillIn(programText(Txt::ProductionCounts, language), {"0", "0"}));

    struct HookGuard {
        TForm1& form;
        ~HookGuard() {
            form.runner().hook = nullptr;
            form.batchProgrammer_.clear();
            form.applyProgrammerChoice();
        }
    } guard{*this};
    runner_->hook = p.run.get();
    runner_->startBatch();
    keepButton();
}

}  // namespace ostrel
