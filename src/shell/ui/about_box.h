#pragma once
// The about box: the program picture, the product name, the version, the maker
// line of the language and the maker's web address, which opens in the
// desktop's browser while the box stays open.

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace ostrel {

class TAboutBox : public QDialog {
    Q_OBJECT

  public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QFrame* Panel1;
    QLabel* ProgramIcon;
    QLabel* ProductName;
    QLabel* Version;
    QLabel* Copyright;
    QLabel* Comments;
    QPushButton* OKButton;

    // The web address the Comments label shows and opens.
    static const char* webAddress();

  public slots:
    void CommentsClick();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace ostrel
