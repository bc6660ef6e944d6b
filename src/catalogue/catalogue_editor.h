#pragma once
// The catalogue editor's working copy, without a window: the grid of chips as
// texts (row 0 the header, one row per chip), the twelve input controls, and
// the commands of the editor window. Nothing reaches the catalogue until Save
// converts the whole grid into records and writes the file.
//
// Cells 0 to 2 and the texts of the type, manufacturer and name boxes are GBK,
// as the catalogue stores them, so a chip that is not touched is written back
// byte for byte; the window converts them for display. Every other text is
// UTF-8.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"

namespace ostrel {

inline constexpr int kEditorColumns = 13;
using EditorRow = std::array<std::string, kEditorColumns>;

enum EditorColumn {
    ColType,
    ColManufacturer,
    ColName,
    ColChipId,
    ColFlashSize,
    ColFlashPage,
    ColClass,
    ColAlgorithm,
    ColDelay,
    ColVoltage,
    ColEepromSize,
    ColEepromPage,
    ColExtend,
};

// The grid's header texts, the same in every language.
const EditorRow& editorHeaders();

// A drop-down list that also takes typed text: its entries, the chosen
// position (-1 when none) and the text it shows.
struct EditorCombo {
    std::vector<std::string> entries;
    int position = -1;
    std::string text;

    // Chooses an entry; a position the list lacks chooses nothing and empties the text.
    void choose(int p);
};

// The fixed entry lists of the input controls.
const std::vector<std::string>& classEntries();
const std::vector<std::string>& flashSizeEntries();
const std::vector<std::string>& pageEntries();
const std::vector<std::string>& voltageEntries();
const std::vector<std::string>& eepromSizeEntries();
const std::vector<std::string>& extendEntries();
// The algorithm list of a class position; empty for none.
std::vector<std::string> algorithmEntries(int classPosition);

struct EditorControls {
    EditorCombo type;          // ComboBox1, used by its text
    EditorCombo manufacturer;  // ComboBox2, text
    EditorCombo name;          // ComboBox3, text
    std::string delay;         // Edit1, text
    EditorCombo chipClass;     // ComboBox4, position = class code
    EditorCombo flashSize;     // ComboBox5, position p: 64 << p bytes
    EditorCombo flashPage;     // ComboBox6, position p: 1 << p bytes
    EditorCombo voltage;       // ComboBox7, position = voltage code
    EditorCombo algorithm;     // ComboBox8, position within the class's list
    EditorCombo chipId;        // ComboBox9, text
    EditorCombo eepromSize;    // ComboBox10, position 0: none, p: 1 << p bytes
    EditorCombo eepromPage;    // ComboBox11, position p: 1 << p bytes
    EditorCombo extend;        // ComboBox12, text
};

class CatalogueEditor {
  public:
    CatalogueEditor();

    // Rebuilds the grid and the three name lists from the catalogue's chips.
    void open(const Catalogue& catalogue);

    const std::vector<EditorRow>& grid() const { return grid_; }
    int chipRows() const { return static_cast<int>(grid_.size()) - 1; }
    // The grid's current row (the first chip row when none was chosen) and the
    // row of the cell selected last (0 until one is selected).
    int currentRow() const { return currentRow_; }
    int rememberedRow() const { return remembered_; }
    void selectCell(int row);

    EditorControls& controls() { return controls_; }
    const EditorControls& controls() const { return controls_; }

    // Loads the remembered chip row into the controls. A number cell that is
    // not an integer changes nothing and returns the conversion message.
    std::optional<std::string> loadRow();
    // The class list's choice changed: refills the algorithm list.
    void classChanged(int position);
    // Appends a row written from the controls and makes it current.
    void add();
    // Writes the controls into the remembered chip row; false when there is none.
    bool edit();
    // Removes the current row; false when the grid has no chip row.
    bool remove();

    // Converts the grid into the records of `catalogue`, behind them one
    // terminator, and writes the file. A refusal (a cell that is not an
    // integer, a name too long, a value its field cannot hold, too many chips)
    // or a failed write leaves the file and `catalogue` as they were and is
    // returned as the text of its error box; nothing when the file was written.
    std::optional<std::string> save(const std::string& path, Catalogue& catalogue,
                                    int language) const;

    // The conversion alone: fills `into` or returns the refusal's text.
    std::optional<std::string> buildRecords(Catalogue& into, int language) const;

  private:
    void writeControls(EditorRow& row) const;

    std::vector<EditorRow> grid_;
    int currentRow_ = 0;
    int remembered_ = 0;
    EditorControls controls_;
};

}  // namespace ostrel
