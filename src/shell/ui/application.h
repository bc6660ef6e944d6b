#pragma once
// The application object with the program's general error handler: an error
// that escapes a command or an event handler is shown in a box with its text,
// and the program goes on with the state the handler left.

#include <QApplication>
#include <functional>
#include <string>

namespace ostrel {

class TApplication : public QApplication {
  public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows an error's text; by default in an "Error" box over the active window.
    std::function<void(const std::string& text)> showError;
};

}  // namespace ostrel
