#pragma once
// The buffer tools of the main window: the Buffer menu's Checksum, Find, Go
// to, Undo, Redo, Copy and Paste, the find bar under the hex views, the
// checksum and go-to dialogs, and the FLASH view's cursor on a verify's first
// difference. The work is the core's (checksums, byte_search, the buffers'
// history) and the hex views'; this only wires it to the window.

#include <QObject>
#include <QString>
#include <vector>

#include "base/texts.h"
#include "buffers/byte_search.h"
#include "buffers/chip_map.h"

class QAction;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class QWidget;

namespace ostrel {

class ChipMapWindow;
class HexView;
class TForm1;
struct CommandReport;

class BufferTools : public QObject {
    Q_OBJECT

  public:
    explicit BufferTools(TForm1& window);

    // Captions, notes and the views' accessible texts in the current language.
    void applyLanguage();

    // The view of the page on show: FLASH or EEPROM; none on the CONFIG page.
    HexView* currentView() const;

    void showChecksums();
    // Buffer > Chip map...: the map window, made at its first showing.
    void showChipMap();
    ChipMapWindow* chipMap() const { return chipMap_; }
    // The figures the checksum dialog shows and its Copy button copies.
    QString checksumText() const;
    void showGoTo();
    void showFindBar();
    // Searches the find bar's pattern from the cursor; false when nothing was found.
    bool find(SearchDirection direction);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  public:
    QAction* Checksum;
    QAction* ChipMap;
    QAction* Find;
    QAction* FindNext;
    QAction* FindPrevious;
    QAction* GoTo;
    QAction* Undo;
    QAction* Redo;
    QAction* Copy;
    QAction* Paste;

    QWidget* FindBar;
    QLabel* FindLabel;
    QLineEdit* FindEdit;
    QComboBox* FindKind;  // 0 hex bytes, 1 text
    QPushButton* FindNextButton;
    QPushButton* FindPreviousButton;
    QLabel* FindNote;
    QToolButton* FindClose;

    QDialog* ChecksumDialog = nullptr;
    QPlainTextEdit* ChecksumFigures = nullptr;
    QPushButton* ChecksumCopy = nullptr;
    QPushButton* ChecksumClose = nullptr;

    QDialog* GoToDialog = nullptr;
    QLabel* GoToPrompt = nullptr;
    QLineEdit* GoToEdit = nullptr;
    QLabel* GoToNote = nullptr;
    QPushButton* GoToOk = nullptr;
    QPushButton* GoToCancel = nullptr;

  private:
    QAction* findBarEscape_ = nullptr;  // enabled while the find bar shows
    QString text(Txt key) const;
    bool locked() const;
    void buildActions();
    void buildFindBar();
    void buildChecksumDialog();
    void buildGoToDialog();
    void checkGoToText();
    // What the map marks, from the last command that compared the chip.
    void keepMarks(const CommandReport& report);

    TForm1& window_;
    ChipMapWindow* chipMap_ = nullptr;
    std::vector<MarkedSpan> verifyMarks_;
    std::vector<MarkedSpan> readsMarks_;
};

}  // namespace ostrel
