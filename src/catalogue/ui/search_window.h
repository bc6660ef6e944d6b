#pragma once
// The chip search window: finds chips by a piece of their name text and
// chooses one on the main window through chip selection.

#include <QDialog>
#include <functional>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/chip_search.h"
#include "catalogue/chip_selector.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace ostrel {

class TForm3 : public QDialog {
    Q_OBJECT

  public:
    // Searches `catalogue`, titles its columns in the current `language` and
    // chooses through `selector`.
    TForm3(const Catalogue& catalogue, const int32_t& language, ChipSelector& selector,
           QWidget* parent = nullptr);

    QLabel* Label1;
    QComboBox* ComboBox1;  // the search box: no entries, a one-line text field
    QTreeWidget* ListView1;
    QPushButton* BitBtn1;  // Select
    QPushButton* BitBtn2;  // Quit

    // Asked before anything that changes the catalogue or the buffers: true
    // while a job or batch mode runs, and then nothing happens.
    std::function<bool()> locked;

    // The rows the last search found, in the list's order.
    const std::vector<SearchRow>& rows() const { return rows_; }

  public slots:
    void ComboBox1Change();
    void BitBtn1Click();
    void BitBtn2Click();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // Every opening: the three titled columns and no rows; the search text stays.
    void FormShow();
    void setColumns(bool withPosition);

    const Catalogue& catalogue_;
    const int32_t& language_;
    ChipSelector& selector_;
    std::vector<SearchRow> rows_;
};

}  // namespace ostrel
