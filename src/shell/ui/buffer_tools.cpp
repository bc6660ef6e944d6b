#include "shell/ui/buffer_tools.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>

#include "buffers/checksums.h"
#include "buffers/range_edit.h"
#include "buffers/ui/chip_map_window.h"
#include "buffers/ui/hex_key_filter.h"
#include "buffers/ui/hex_view.h"
#include "catalogue/gbk_text.h"
#include "shell/ui/main_window.h"

namespace ostrel {
namespace {

QString addressText(std::size_t address) {
    return QString::fromStdString(hexText(static_cast<uint32_t>(address)));
}

}  // namespace

BufferTools::BufferTools(TForm1& window) : QObject(&window), window_(window) {
    buildActions();
    buildFindBar();
    for (HexView* view : {window_.FlashEditor, window_.EepromEditor}) {
        view->onUndo = [this, view](bool redo) {
            if (locked()) return false;
            DataBuffers& buffers = window_.state().buffers;
            HexDocument& document = view->document();
            return redo ? buffers.redo(document) : buffers.undo(document);
        };
        connect(view, &HexView::note, this, [view](const QString& note) {
            QToolTip::showText(view->mapToGlobal(view->rect().center()), note, view);
        });
    }
    // A verify that found a difference puts the FLASH view's cursor on it,
    // once its message has been read.
    window_.runner().onCommandEnded = [this](const CommandReport& report) {
        keepMarks(report);
        if (report.status != CommandStatus::Mismatch || !report.difference) return;
        window_.PageControl1->setCurrentIndex(0);
        window_.FlashEditor->goToAddress(static_cast<std::size_t>(report.difference->address));
        window_.FlashEditor->setFocus();
    };
    // The window derives the enabled state of these actions from the lock
    // with all its others (they sit in its Buffer menu); each handler asks it too.
    applyLanguage();
}

void BufferTools::keepMarks(const CommandReport& report) {
    // A command that moved no bytes leaves the marks as they were.
    if (report.movedBytes() == 0) return;
    const auto spans = [](const std::vector<AddressSpan>& from) {
        std::vector<MarkedSpan> out;
        for (const AddressSpan& s : from)
            out.push_back({static_cast<uint64_t>(s.start), static_cast<uint64_t>(s.end)});
        return out;
    };
    verifyMarks_.clear();
    readsMarks_.clear();
    if (report.reads) readsMarks_ = spans(report.reads->spans);
    if (report.command == ChipCommand::VerifyAll) {
        for (const DifferingRange& r : window_.ops().differences().ranges())
            verifyMarks_.push_back(
                {static_cast<uint64_t>(r.start), static_cast<uint64_t>(r.end) + 1});
    } else if (report.command == ChipCommand::Verify && report.difference) {
        const uint64_t at = static_cast<uint64_t>(report.difference->address);
        verifyMarks_.push_back({at, at + 1});
    }
    if (chipMap_ != nullptr && chipMap_->isVisible()) chipMap_->refresh();
}

void BufferTools::showChipMap() {
    if (chipMap_ == nullptr) {
        chipMap_ = new ChipMapWindow(
            [this] {
                ChipMapSource source;
                const MainState& state = window_.state();
                const uint64_t size =
                    std::min<uint64_t>(state.selectedRecord().flashSize, kFlashBufferSize);
                source.name = gbkToUtf8(window_.selector().nameText());
                source.data = state.buffers.flashUpTo(static_cast<uint32_t>(size));
                source.size = size;
                source.verifyDiffers = verifyMarks_;
                source.readsDiffer = readsMarks_;
                return source;
            },
            &window_);
        chipMap_->onGoTo = [this](uint64_t address) {
            window_.PageControl1->setCurrentIndex(0);
            window_.FlashEditor->goToAddress(static_cast<std::size_t>(address));
            window_.activateWindow();
            window_.FlashEditor->setFocus();
        };
        chipMap_->setLanguage(window_.state().language);
    }
    chipMap_->show();
    chipMap_->raise();
    chipMap_->activateWindow();
}

QString BufferTools::text(Txt key) const {
    return QString::fromStdString(programText(key, window_.state().language));
}

bool BufferTools::locked() const {
    return window_.runner().lock().locked();
}

HexView* BufferTools::currentView() const {
    switch (window_.PageControl1->currentIndex()) {
        case 0:
            return window_.FlashEditor;
        case 1:
            return window_.EepromEditor;
        default:
            return nullptr;
    }
}

void BufferTools::buildActions() {
    QMenu* menu = window_.Buff;
    auto action = [this, menu](const char* name, QKeySequence keys, auto slot) {
        auto* a = new QAction(&window_);
        a->setObjectName(QString::fromLatin1(name));
        if (!keys.isEmpty()) a->setShortcut(keys);
        connect(a, &QAction::triggered, this, slot);
        menu->addAction(a);
        return a;
    };
    menu->addSeparator();
    Checksum = action("Checksum", QKeySequence(), [this] { showChecksums(); });
    ChipMap = action("ChipMap", QKeySequence(), [this] { showChipMap(); });
    menu->addSeparator();
    Find = action("Find", QKeySequence::Find, [this] { showFindBar(); });
    FindNext = action("FindNext", QKeySequence(Qt::Key_F3), [this] {
        if (FindEdit->text().isEmpty())
            showFindBar();
        else
            find(SearchDirection::Forward);
    });
    FindPrevious = action("FindPrevious", QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] {
        if (FindEdit->text().isEmpty())
            showFindBar();
        else
            find(SearchDirection::Backward);
    });
    GoTo = action("GoTo", QKeySequence(Qt::CTRL | Qt::Key_G), [this] { showGoTo(); });
    menu->addSeparator();
    // While a hex view has the focus it takes these keys itself; the menu
    // items reach the view of the page on show from anywhere.
    Undo = action("Undo", QKeySequence::Undo, [this] {
        if (HexView* view = currentView()) view->undo();
    });
    Redo = action("Redo", QKeySequence(Qt::CTRL | Qt::Key_Y), [this] {
        if (HexView* view = currentView()) view->redo();
    });
    Copy = action("Copy", QKeySequence::Copy, [this] {
        if (HexView* view = currentView()) view->copySelection();
    });
    Paste = action("Paste", QKeySequence::Paste, [this] {
        if (HexView* view = currentView(); view && !locked()) view->paste();
    });
}

void BufferTools::buildFindBar() {
    FindBar = new QWidget;
    FindBar->setObjectName(QStringLiteral("FindBar"));
    auto* row = new QHBoxLayout(FindBar);
    row->setContentsMargins(4, 2, 4, 2);
    FindLabel = new QLabel;
    FindEdit = new QLineEdit;
    FindEdit->setObjectName(QStringLiteral("FindEdit"));
    FindEdit->setMinimumWidth(160);
    FindKind = new QComboBox;
    FindKind->addItems({QString(), QString()});
    FindNextButton = new QPushButton;
    FindPreviousButton = new QPushButton;
    FindNote = new QLabel;
    FindNote->setObjectName(QStringLiteral("FindNote"));
    FindClose = new QToolButton;
    FindClose->setText(QStringLiteral("\u00D7"));
    FindClose->setAutoRaise(true);
    row->addWidget(FindLabel);
    row->addWidget(FindEdit, 1);
    row->addWidget(FindKind);
    row->addWidget(FindNextButton);
    row->addWidget(FindPreviousButton);
    row->addWidget(FindNote, 2);
    row->addWidget(FindClose);
    connect(FindEdit, &QLineEdit::returnPressed, this, [this] { find(SearchDirection::Forward); });
    connect(FindEdit, &QLineEdit::textEdited, FindNote, &QLabel::clear);
    connect(FindNextButton, &QPushButton::clicked, this,
            [this] { find(SearchDirection::Forward); });
    connect(FindPreviousButton, &QPushButton::clicked, this,
            [this] { find(SearchDirection::Backward); });
    connect(FindClose, &QToolButton::clicked, this, [this] {
        FindBar->hide();
        if (HexView* view = currentView()) view->setFocus();
    });
    // Escape closes the bar from wherever the focus is in the window (after a
    // find it is in the view); while the bar is hidden the key is left alone.
    auto* escape = new QAction(FindBar);
    escape->setShortcut(Qt::Key_Escape);
    escape->setShortcutContext(Qt::WindowShortcut);
    escape->setEnabled(false);
    connect(escape, &QAction::triggered, FindClose, &QToolButton::click);
    window_.addAction(escape);
    FindBar->installEventFilter(this);
    findBarEscape_ = escape;
    // Under the pages, above the options and the log.
    auto* column = qobject_cast<QBoxLayout*>(window_.Panel3->layout());
    column->insertWidget(column->indexOf(window_.PageControl1) + 1, FindBar);
    FindBar->hide();
}

bool BufferTools::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FindBar && (event->type() == QEvent::Show || event->type() == QEvent::Hide))
        findBarEscape_->setEnabled(event->type() == QEvent::Show);
    return QObject::eventFilter(watched, event);
}

void BufferTools::showFindBar() {
    if (locked()) return;
    FindBar->show();
    FindEdit->setFocus();
    FindEdit->selectAll();
}

bool BufferTools::find(SearchDirection direction) {
    HexView* view = currentView();
    if (!view || locked()) return false;
    FindBar->show();
    std::vector<uint8_t> pattern;
    if (FindKind->currentIndex() == 0) {
        const auto bytes = parseHexBytes(FindEdit->text().toStdString());
        if (!bytes) {
            FindNote->setText(text(Txt::FindNotHex));
            return false;
        }
        pattern = *bytes;
    } else {
        const QByteArray bytes = FindEdit->text().toUtf8();
        pattern.assign(bytes.begin(), bytes.end());
    }
    const HexDocument& document = view->document();
    // From the byte after the current find, so that Next moves on; Previous
    // looks before it.
    const std::size_t at = view->selectionStart();
    const std::size_t from =
        direction == SearchDirection::Forward && view->hasSelection() ? at + 1 : at;
    const SearchHit hit = findBytes(document.data(), document.DataSize(), pattern, from, direction);
    if (!hit.found) {
        FindNote->setText(text(Txt::FindNotFound));
        QApplication::beep();
        return false;
    }
    view->selectBytes(hit.offset, pattern.size());
    FindNote->setText(QString::fromStdString(fillIn(
        programText(hit.wrapped ? Txt::FindWrapped : Txt::FindFoundAt, window_.state().language),
        {addressText(hit.offset).toStdString()})));
    return true;
}

QString BufferTools::checksumText() const {
    MainState& state = window_.state();
    const BufferChecksums sums =
        flashChecksumsAsWritten(state.buffers, state.selectedRecord().flashSize);
    QString out;
    auto range = [&](Txt caption, const Checksums& s) {
        out += QString::fromStdString(
                   fillIn(programText(caption, state.language), {std::to_string(s.length)})) +
               QLatin1Char('\n');
        // A tab before each figure: the dialog sets its stop past the widest name.
        out += QStringLiteral("  CRC-32\t%1\n").arg(QString::fromStdString(s.crc32Text()));
        out += QStringLiteral("  SHA-256\t%1\n").arg(QString::fromStdString(s.sha256Text()));
        out += QStringLiteral("  %1\t%2 / %3\n")
                   .arg(text(Txt::ChecksumByteSum), QString::fromStdString(s.sum32Text()),
                        QString::fromStdString(s.sum16Text()));
    };
    range(Txt::ChecksumDataRange, sums.data);
    range(Txt::ChecksumChipRange, sums.chip);
    return out;
}

void BufferTools::buildChecksumDialog() {
    ChecksumDialog = new QDialog(&window_);
    ChecksumDialog->setObjectName(QStringLiteral("ChecksumDialog"));
    auto* column = new QVBoxLayout(ChecksumDialog);
    ChecksumFigures = new QPlainTextEdit;
    ChecksumFigures->setReadOnly(true);
    ChecksumFigures->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                             Qt::TextSelectableByKeyboard);
    ChecksumFigures->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    ChecksumFigures->setLineWrapMode(QPlainTextEdit::NoWrap);
    const QFontMetrics metrics(ChecksumFigures->font());
    ChecksumFigures->setMinimumSize(metrics.horizontalAdvance(QLatin1Char('0')) * 90,
                                    metrics.lineSpacing() * 10);
    column->addWidget(ChecksumFigures);
    auto* buttons = new QDialogButtonBox;
    ChecksumCopy = buttons->addButton(QString(), QDialogButtonBox::ActionRole);
    ChecksumClose = buttons->addButton(QString(), QDialogButtonBox::RejectRole);
    column->addWidget(buttons);
    connect(ChecksumCopy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(ChecksumFigures->toPlainText()); });
    connect(buttons, &QDialogButtonBox::rejected, ChecksumDialog, &QDialog::reject);
}

void BufferTools::showChecksums() {
    if (locked()) return;
    if (!ChecksumDialog) buildChecksumDialog();
    ChecksumDialog->setWindowTitle(text(Txt::ChecksumTitle));
    ChecksumCopy->setText(text(Txt::ButtonCopy));
    ChecksumClose->setText(text(Txt::ButtonClose));
    // The figures line up one tab stop past the widest name of the language.
    const QFontMetrics metrics(ChecksumFigures->font());
    int names = 0;
    for (const QString& name : {QStringLiteral("  SHA-256"), "  " + text(Txt::ChecksumByteSum)})
        names = std::max(names, metrics.horizontalAdvance(name));
    const int tabStop = names + 2 * metrics.horizontalAdvance(QLatin1Char(' '));
    ChecksumFigures->setTabStopDistance(tabStop);
    // Wide enough for the longest figure, a SHA-256, behind the longest name.
    const int figures = tabStop + metrics.horizontalAdvance(QString(64 + 4, QLatin1Char('0')));
    ChecksumFigures->setMinimumWidth(
        std::max(metrics.horizontalAdvance(QLatin1Char('0')) * 90, figures));
    ChecksumDialog->adjustSize();
    ChecksumFigures->setPlainText(checksumText());
    ChecksumDialog->open();
}

void BufferTools::buildGoToDialog() {
    GoToDialog = new QDialog(&window_);
    GoToDialog->setObjectName(QStringLiteral("GoToDialog"));
    auto* column = new QVBoxLayout(GoToDialog);
    GoToPrompt = new QLabel;
    GoToEdit = new QLineEdit;
    GoToEdit->setMaxLength(8);
    auto* filter = new HexKeyFilter(GoToDialog);
    filter->attach(GoToEdit);
    GoToNote = new QLabel;
    GoToNote->setStyleSheet(QStringLiteral("color: #800000"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    GoToOk = buttons->button(QDialogButtonBox::Ok);
    GoToCancel = buttons->button(QDialogButtonBox::Cancel);
    column->addWidget(GoToPrompt);
    column->addWidget(GoToEdit);
    column->addWidget(GoToNote);
    column->addWidget(buttons);
    connect(GoToEdit, &QLineEdit::textChanged, this, [this] { checkGoToText(); });
    connect(buttons, &QDialogButtonBox::rejected, GoToDialog, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        HexView* view = currentView();
        if (!view) return;
        const auto target = goToTarget(GoToEdit->text().toStdString(), view->DataSize());
        if (!target) return;  // refused: the dialog stays, saying why
        GoToDialog->accept();
        view->clearSelection();
        view->goToAddress(*target);
        view->setFocus();
    });
}

void BufferTools::checkGoToText() {
    HexView* view = currentView();
    const bool valid =
        view && goToTarget(GoToEdit->text().toStdString(), view->DataSize()).has_value();
    GoToOk->setEnabled(valid);
    GoToNote->setText(valid || GoToEdit->text().isEmpty() ? QString() : text(Txt::GoToRefused));
}

void BufferTools::showGoTo() {
    if (locked()) return;
    HexView* view = currentView();
    if (!view || view->DataSize() == 0) return;
    if (!GoToDialog) buildGoToDialog();
    GoToDialog->setWindowTitle(text(Txt::GoToTitle));
    GoToOk->setText(text(Txt::ButtonOk));
    GoToCancel->setText(text(Txt::ButtonCancel));
    GoToPrompt->setText(
        QString::fromStdString(fillIn(programText(Txt::GoToPrompt, window_.state().language),
                                      {addressText(view->DataSize() - 1).toStdString()})));
    // Room for the refusal from the start, so that the dialog does not jump
    // when it appears.
    const QFontMetrics metrics(GoToNote->font());
    GoToNote->setMinimumSize(metrics.horizontalAdvance(text(Txt::GoToRefused)),
                             metrics.lineSpacing());
    GoToEdit->setText(addressText(view->cursorAddress()));
    GoToEdit->selectAll();
    checkGoToText();
    GoToDialog->open();
}

void BufferTools::applyLanguage() {
    const std::pair<QAction*, Txt> captions[] = {
        {Checksum, Txt::MenuChecksum}, {Find, Txt::MenuFind},
        {FindNext, Txt::MenuFindNext}, {FindPrevious, Txt::MenuFindPrevious},
        {GoTo, Txt::MenuGoTo},         {Undo, Txt::MenuUndo},
        {Redo, Txt::MenuRedo},         {Copy, Txt::MenuCopy},
        {Paste, Txt::MenuPaste},       {ChipMap, Txt::MenuChipMap},
    };
    for (const auto& [a, key] : captions) a->setText(text(key));
    FindLabel->setText(text(Txt::FindLabel));
    FindKind->setItemText(0, text(Txt::FindHex));
    FindKind->setItemText(1, text(Txt::FindText));
    FindNextButton->setText(text(Txt::FindNextButton));
    FindPreviousButton->setText(text(Txt::FindPreviousButton));
    FindNote->clear();
    for (HexView* view : {window_.FlashEditor, window_.EepromEditor})
        view->setLanguage(window_.state().language);
    if (chipMap_ != nullptr) chipMap_->setLanguage(window_.state().language);
}

}  // namespace ostrel
