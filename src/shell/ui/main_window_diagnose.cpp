// Help > Diagnose...: the diagnosis of the command line, run in the core from
// the window. It holds the one lock, so it never runs beside a job, and it
// chooses no chip: the lists and the buffers stay as they are.

#include <QMenu>
#include <chrono>

#include "firmware/diagnosis.h"
#include "firmware/ui/diagnosis_window.h"
#include "operations/programmer_ops.h"
#include "shell/ui/main_window.h"

namespace ostrel {

void TForm1::buildDiagnose() {
    Diagnose = new QAction(this);
    Diagnose->setObjectName(QStringLiteral("Diagnose"));
    connect(Diagnose, &QAction::triggered, this, &TForm1::DiagnoseClick);
    H1->insertAction(N5, Diagnose);
    captionDiagnose();
}

void TForm1::captionDiagnose() {
    Diagnose->setText(QString::fromStdString(programText(Txt::DiagnoseMenu, state_->language)));
}

void TForm1::DiagnoseClick() {
    JobLock::Hold hold = runner_->lock().acquire(JobLock::Holder::Diagnosis);
    if (!hold) return;
    const int language = state_->language;
    DiagnosisSteps steps;
    steps.detect = [this, language] {
        return describeChip(ops_->readChipId(), state_->catalogue, language);
    };
    steps.chosenChip = [] { return std::string(); };
    steps.readChip = [](uint32_t&, uint64_t&) { return false; };
    steps.monotonicMs = [this] { return ui_->monotonicMs(); };
    const SystemProbe probe = SystemProbe::real();
    Doctor doctor(*usb_, *hid_, *ops_, steps, probe, language);
    const Diagnosis diagnosis = doctor.run(false);
    // The programmer is free again before the window opens.
    hold.release();
    ReportFacts facts;
    facts.programVersion = OSTREL_VERSION;
    facts.toolkitVersion = std::string("Qt ") + qVersion();
    DiagnosisForm->showDiagnosis(
        diagnosis, [diagnosis, facts, probe] { return diagnosisReport(diagnosis, facts, probe); },
        language);
}

}  // namespace ostrel
