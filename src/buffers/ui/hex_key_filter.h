#pragma once
// The key filter of the hexadecimal edits (address range, fill dialog): typed
// characters other than 0-9, A-F, a-f and backspace are dropped, and the text
// is kept in upper case, also when it arrives by pasting.

#include <QObject>

class QLineEdit;

namespace ostrel {

class HexKeyFilter : public QObject {
    Q_OBJECT

  public:
    explicit HexKeyFilter(QObject* parent = nullptr) : QObject(parent) {}
    void attach(QLineEdit* edit);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace ostrel
