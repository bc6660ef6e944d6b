#pragma once
// The catalogue editor window: a thin window over CatalogueEditor. It shows
// the model's grid and controls, hands every command to it, and reads the
// controls back before Add and Edit.

#include <QDialog>
#include <functional>
#include <string>

#include "base/program_paths.h"
#include "catalogue/catalogue.h"
#include "catalogue/catalogue_editor.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace ostrel {

class UiPort;

class TForm2 : public QDialog {
    Q_OBJECT

  public:
    // Edits `catalogue`, reloads it from the catalogue `paths` names for
    // reading and saves it where they name for saving (the same file beside
    // the program; the user's own copy when installed), and shows its
    // messages through `ui` in the current `language`.
    TForm2(Catalogue& catalogue, const int32_t& language, ProgramPaths paths, UiPort& ui,
           QWidget* parent = nullptr);

    // Run after every Save that wrote the file: the main window finds the chip
    // it shows again, so that the selected record names it.
    std::function<void()> onSaved;
    // Asked before anything that changes the catalogue or the buffers: true
    // while a job or batch mode runs, and then nothing happens.
    std::function<bool()> locked;

    CatalogueEditor& model() { return model_; }

    QTableWidget* StringGrid1;
    QGroupBox* GroupBox1;
    QLabel* Label[13];  // Label1 to Label13, by index 0 to 12
    QComboBox* ComboBox1;
    QComboBox* ComboBox2;
    QComboBox* ComboBox3;
    QLineEdit* Edit1;
    QComboBox* ComboBox4;
    QComboBox* ComboBox5;
    QComboBox* ComboBox6;
    QComboBox* ComboBox7;
    QComboBox* ComboBox8;
    QComboBox* ComboBox9;
    QComboBox* ComboBox10;
    QComboBox* ComboBox11;
    QComboBox* ComboBox12;
    QPushButton* BtnDelete;
    QPushButton* BtnAdd;
    QPushButton* BtnEdit;
    QPushButton* BtnSave;
    QPushButton* BtnExit;

  public slots:
    void StringGrid1DblClick();
    void ComboBox4Change(int index);
    void BtnDeleteClick();
    void BtnAddClick();
    void BtnEditClick();
    void BtnSaveClick();
    void BtnExitClick();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // Every opening: reload the catalogue file and rebuild the grid and lists.
    void FormShow();
    void showGrid();
    void showRow(int row);
    void showControls();
    void showCombo(QComboBox* box, const EditorCombo& combo, bool gbk);
    // Takes the controls' texts and positions into the model; false (after
    // telling the user) when a name holds a character the catalogue cannot.
    bool readControls();

    Catalogue& catalogue_;
    const int32_t& language_;
    ProgramPaths paths_;
    UiPort& ui_;
    CatalogueEditor model_;
};

}  // namespace ostrel
