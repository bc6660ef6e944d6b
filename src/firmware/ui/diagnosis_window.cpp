#include "firmware/ui/diagnosis_window.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "base/safe_file.h"
#include "base/texts.h"

namespace ostrel {

DiagnosisWindow::DiagnosisWindow(UiPort& ui, QWidget* parent) : QDialog(parent), ui_(ui) {
    setObjectName(QStringLiteral("DiagnosisWindow"));
    resize(720, 380);
    Lines = new QPlainTextEdit(this);
    Lines->setObjectName(QStringLiteral("Lines"));
    Lines->setReadOnly(true);
    Lines->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    SaveReport = new QPushButton(this);
    SaveReport->setObjectName(QStringLiteral("SaveReport"));
    Close = new QPushButton(QStringLiteral("OK"), this);
    Close->setObjectName(QStringLiteral("Close"));
    Close->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(SaveReport);
    buttons->addStretch(1);
    buttons->addWidget(Close);
    auto* column = new QVBoxLayout(this);
    column->addWidget(Lines, 1);
    column->addLayout(buttons);
    connect(SaveReport, &QPushButton::clicked, this, &DiagnosisWindow::SaveReportClick);
    connect(Close, &QPushButton::clicked, this, &QDialog::accept);
}

void DiagnosisWindow::showDiagnosis(const Diagnosis& diagnosis, std::function<std::string()> report,
                                    int language) {
    report_ = std::move(report);
    language_ = language;
    setWindowTitle(QString::fromStdString(programText(Txt::DiagnoseTitle, language)));
    SaveReport->setText(QString::fromStdString(programText(Txt::DiagnoseSaveReport, language)));
    Close->setText(QString::fromStdString(programText(Txt::ButtonOk, language)));
    // The findings start at one tab stop, past the widest mark of the language.
    const QFontMetrics metrics(Lines->font());
    int markWidth = 0;
    for (Txt mark : {Txt::DiagnoseCheckOk, Txt::DiagnoseCheckProblem})
        markWidth = std::max(markWidth, metrics.horizontalAdvance(
                                            QString::fromStdString(programText(mark, language))));
    Lines->setTabStopDistance(markWidth + 3 * metrics.horizontalAdvance(QLatin1Char(' ')));
    Lines->setPlainText(QString::fromStdString(diagnosisText(diagnosis, language)));
    exec();
}

void DiagnosisWindow::SaveReportClick() {
    const std::string path = ui_.saveFileName("Text files (*.txt)|*.txt", "txt");
    if (path.empty() || !report_) return;
    if (!replaceFileContents(path, report_()))
        ui_.errorBox(fillIn(programText(Txt::CannotCreateFile, language_), {path}));
    else
        ui_.insertLogLine(fillIn(programText(Txt::DiagnoseReportSaved, language_), {path}));
}

}  // namespace ostrel
