#pragma once
// The serial-number dialog batch mode offers before it starts: whether each
// chip gets a serial number, and where, how wide, from which number and in
// which byte order. Off unless the user ticks it.

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "production/production_store.h"
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
    // With the line's products the format is left as it was: the serial
    // numbers are the product's.
    bool takeFormat(std::optional<SerialFormat>& format);
    // The products of the line's database, `chosen` selected (empty: none);
    // shown only when this is called. With a database the serial numbers are
    // its products', so the fields are closed and show the chosen product's.
    void setProducts(const std::vector<Product>& products, const std::string& chosen);
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
    // The fields show `format` (nothing: the box unticked, the fields as they were).
    void showFormat(const std::optional<SerialFormat>& format);
    void showProduct(int index);

    int language_;
    UiPort& ui_;
    QLabel* productLabel_;
    std::vector<Product> products_;
    bool productsShown_ = false;
};

}  // namespace ostrel
