#pragma once
// The serial-number dialog batch mode offers before it starts: whether each
// chip gets a serial number, and where, how wide, from which number and in
// which byte order. Off unless the user ticks it.

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "production/serial_counter.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace ostrel {

class UiPort;

class SerialDialog : public QDialog {
    Q_OBJECT

  public:
    SerialDialog(int language, UiPort& ui, QWidget* parent = nullptr);

    // Shows what `format` holds (nothing: the box unticked).
    void setFormat(const std::optional<SerialFormat>& format);
    // What the fields say; false (and an error box) when they do not parse.
    bool takeFormat(std::optional<SerialFormat>& format);
    // The products of the line's database, `chosen` selected (empty: none);
    // shown only when this is called. With a database the serial numbers are
    // its products', so the fields are closed.
    void setProducts(const std::vector<std::string>& names, const std::string& chosen);
    std::string chosenProduct() const;

    QComboBox* product;
    QCheckBox* enabled;
    QLineEdit* address;
    QSpinBox* bytes;
    QLineEdit* start;
    QLineEdit* step;
    QCheckBox* bigEndian;

  private:
    void accept() override;

    int language_;
    UiPort& ui_;
    QLabel* productLabel_;
};

}  // namespace ostrel
