#pragma once
// The hardware information window: the programmer's hardware version, firmware
// version and serial number, and the choice of a firmware file. The window only
// shows and chooses; the Hardware command (FirmwareUpgrade) does the rest.

#include <QDialog>
#include <string>

#include "base/ui_port.h"
#include "firmware/firmware_upgrade.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace ostrel {

class TForm6 : public QDialog, public HardwareWindow {
    Q_OBJECT

  public:
    // The file chooser is `ui`'s open dialog. Created with its Simplified
    // Chinese captions; the caption table sets the others by object name.
    explicit TForm6(UiPort& ui, QWidget* parent = nullptr);

    void showTexts(const HardwareTexts& texts) override;
    std::string runModal() override;
    // The path chosen during the current (or last) opening; empty without a choice.
    const std::string& chosenPath() const { return chosenPath_; }

    QLabel* Label1;
    QLineEdit* Edit1;
    QLabel* Label3;
    QLineEdit* Edit2;
    QLabel* Label5;
    QLineEdit* Edit3;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

  public slots:
    void BitBtn1Click();
    void BitBtn2Click();

  private:
    UiPort& ui_;
    std::string chosenPath_;
};

}  // namespace ostrel
