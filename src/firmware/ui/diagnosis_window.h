#pragma once
// The Diagnose window: the lines of the diagnosis, each check with its finding
// and what to do, and a button that saves the report for a bug report. The
// checks run in the core before it opens; the window only shows and saves.

#include <QDialog>
#include <functional>
#include <string>

#include "base/ui_port.h"
#include "firmware/diagnosis.h"

class QPlainTextEdit;
class QPushButton;

namespace ostrel {

class DiagnosisWindow : public QDialog {
    Q_OBJECT

  public:
    // The save dialog is `ui`'s; `report` builds the report's text when asked.
    DiagnosisWindow(UiPort& ui, QWidget* parent = nullptr);

    // Shows the lines in `language` and opens the window modally.
    void showDiagnosis(const Diagnosis& diagnosis, std::function<std::string()> report,
                       int language);

    QPlainTextEdit* Lines;
    QPushButton* SaveReport;
    QPushButton* Close;

  public slots:
    void SaveReportClick();

  private:
    UiPort& ui_;
    std::function<std::string()> report_;
    int language_ = 0;
};

}  // namespace ostrel
