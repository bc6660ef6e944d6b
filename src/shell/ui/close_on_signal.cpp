#include "shell/ui/close_on_signal.h"

#include <signal.h>
#include <sys/socket.h>

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>

#include "base/platform.h"

namespace ostrel {
namespace {

// A signal handler may do next to nothing: it writes one byte into a socket
// whose other end the message loop watches.
int signalSockets[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const long n = ostrel::platform::writeSome(signalSockets[0], &byte, 1);
}

}  // namespace

void closeOnTerminationSignals(QWidget* window) {
    if (signalSockets[0] >= 0) return;
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0) return;
    auto* notifier = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, window);
    QPointer<QWidget> target(window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [target] {
        char byte = 0;
        [[maybe_unused]] const long n = ostrel::platform::readSome(signalSockets[1], &byte, 1);
        // A box waiting for a click would hold the close up for good: each
        // open one is answered as its Escape key would (No, Cancel, Close).
        for (int boxes = 0; boxes < 16; ++boxes) {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr) break;
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
        }
        if (!target) return;
        target->setProperty(kClosingOnSignal, true);
        target->close();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) sigaction(sig, &action, nullptr);
}

}  // namespace ostrel
