#pragma once
// The fill dialog: fills an address range of the FLASH buffer with a byte, a
// 16-bit word or random bytes. One object lives as long as the program, so the
// edits keep what the user typed from one opening to the next; only the end
// address is reset by every Fill command.

#include <QDialog>
#include <cstdint>
#include <functional>

#include "buffers/buffer_fill.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace ostrel {

class DataBuffers;
class HexKeyFilter;
class UiPort;

class TForm4 : public QDialog {
    Q_OBJECT

  public:
    TForm4(DataBuffers& buffers, UiPort& ui, QWidget* parent = nullptr);

    // The Fill command: the end address becomes the chip's last one, then the
    // dialog runs modally until Cancel.
    int showForChip(uint32_t flashSize);
    // The part of it that comes before showing (also for tests).
    void prepareForChip(uint32_t flashSize);

    // Captions in language 0, 1 or 2; another value changes nothing.
    void setCaptions(int language);

    // Asked before anything that changes the catalogue or the buffers: true
    // while a job or batch mode runs, and then nothing happens.
    std::function<bool()> locked;

    FillInput input() const;
    void BitBtn1Click();
    void BitBtn2Click();

    QGroupBox* GroupBox1;
    QRadioButton* RadioButton1;
    QRadioButton* RadioButton2;
    QRadioButton* RadioButton3;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QGroupBox* GroupBox2;
    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* Edit3;
    QLineEdit* Edit4;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

  signals:
    // The FLASH buffer was filled and its view reloaded.
    void filled();

  private:
    DataBuffers& buffers_;
    UiPort& ui_;
    HexKeyFilter* keyFilter_;
    uint32_t flashSize_ = 0;
};

}  // namespace ostrel
