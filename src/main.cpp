// The program: builds the message table, creates the windows and runs the
// message loop. It takes no option; the environment only says where the
// user's folders are when the program is installed, and the locale the
// language of the first start.
#include <exception>
#include <memory>

#include "base/locale_language.h"
#include "base/messages.h"
#include "shell/ui/application.h"
#include "shell/ui/close_on_signal.h"
#include "shell/ui/main_window.h"

int main(int argc, char** argv) {
    ostrel::TApplication app(argc, argv);
    // The desktop matches the window with its menu entry and icon by this name.
    QGuiApplication::setDesktopFileName("com.ostrel.Ostrel");
    ostrel::messageText(ostrel::Msg::MsgConnected, 0);  // the table exists before any window
    // Until the settings file holds a language, the user's locale chooses it.
    ostrel::setFirstStartLanguage(ostrel::localeLanguage());
    // The main window creates the other five after itself, in their order.
    std::unique_ptr<ostrel::TForm1> window;
    try {
        window = std::make_unique<ostrel::TForm1>();
    } catch (const std::exception& error) {
        // A start that failed is shown like any other error, and the program ends.
        app.showError(error.what());
        return 1;
    }
    ostrel::closeOnTerminationSignals(window.get());
    window->show();
    return app.exec();
}
