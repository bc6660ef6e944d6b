// The program: builds the message table, creates the main window and runs the
// message loop. It reads no environment variable and takes no option.
#include <QApplication>

#include "base/messages.h"
#include "shell/ui/main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ostrel::messageText(ostrel::Msg::MsgConnected, 0);  // the table exists before any window
    ostrel::TForm1 window;
    window.show();
    return app.exec();
}
