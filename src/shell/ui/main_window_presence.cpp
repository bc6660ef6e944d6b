// The connection monitor in the main window: the presence check when the
// window is first activated, when it gets the focus back from one of the
// program's own dialogs and when USB devices come or go; a check that arrives
// during a job waits for its end.

#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QTimer>
#include <QWindow>

#include "base/texts.h"
#include "base/ui/qt_text.h"
#include "operations/window_presenter.h"
#include "shell/ui/main_window.h"
#include "usb/device_change.h"
#include "usb/presence_check.h"
#include "usb/ui/device_change_notifier.h"

namespace ostrel {
void TForm1::focusWindowChanged(QWindow* now) {
    // Menus and drop-down lists take the focus without taking the window's
    // activation away.
    if (now && (now->type() == Qt::Popup || now->type() == Qt::ToolTip)) return;
    const FocusPlace before = lastFocus_;
    if (!now) {
        // The window system reports the focus moving to another program as no
        // focus window; coming back from there is no activation of ours. A
        // dialog of ours that closes may leave no focus window too, until the
        // main window takes it back.
        const bool dialogClosed =
            before == FocusPlace::OwnWindow && lastFocusWindow_ && !lastFocusWindow_->isVisible();
        if (!dialogClosed) lastFocus_ = FocusPlace::OtherProgram;
    } else if (now != windowHandle()) {
        lastFocus_ = FocusPlace::OwnWindow;
    } else {
        lastFocus_ = FocusPlace::MainWindow;
        if (!activatedOnce_ || before == FocusPlace::OwnWindow) {
            activatedOnce_ = true;
            FormActivate();
        }
    }
    lastFocusWindow_ = now;
}

void TForm1::dialogClosed(QDialog* dialog) {
    // A closing dialog gives the activation back to the main window, as on the
    // desktop the program was made for; without a window manager (or with one
    // that leaves the focus nowhere) nobody else would.
    if (!dialog || !dialog->isWindow() || !QGuiApplication::focusWindow()) return;
    QTimer::singleShot(0, this, [this] {
        QWindow* focus = QGuiApplication::focusWindow();
        if (isVisible() && (!focus || !focus->isVisible())) activateWindow();
    });
}

void TForm1::FormActivate() {
    checkProgrammer();
}

void TForm1::watchDeviceChanges(std::unique_ptr<DeviceChangeSource> source) {
    deviceChanges_ = std::make_unique<DeviceChangeNotifier>(std::move(source));
    connect(deviceChanges_.get(), &DeviceChangeNotifier::devicesChanged, this,
            &TForm1::checkProgrammer);
}

void TForm1::checkProgrammer() {
    // A job in progress holds the transport, and the check's open and close
    // would end it: the check runs when the job has ended.
    if (runner_->lock().jobRunning()) {
        checkPending_ = true;
        return;
    }
    checkPending_ = false;
    refreshProgrammers();
    // Not connected: the panel's tip points to the diagnosis, which finds out
    // why; attached but unusable, it first says what to check.
    presence_ = ostrel::checkProgrammer(*usb_, *ui_, state_->language);
    showPresenceTip();
}

void TForm1::showPresenceTip() {
    if (presence_ == Presence::Connected) return;
    const std::string tip = programText(Txt::DiagnoseNotConnectedTip, state_->language);
    panels_[PanelState]->setToolTip(
        qs(presence_ == Presence::AttachedButUnusable
               ? programText(Txt::ProgrammerUnusable, state_->language) + "\n" + tip
               : tip));
}

void TForm1::presenceInLanguage() {
    // The connection state is said again in the new language; a running
    // operation's text stays until the operation ends.
    const std::string shown = ui_->statusText(PanelState);
    const bool tipped = !panels_[PanelState]->toolTip().isEmpty();
    for (Msg state : {Msg::MsgConnected, Msg::MsgNotConnected})
        for (int language : {LangSimplified, LangTraditional, LangEnglish})
            if (shown == messageText(state, language))
                ui_->setStatusText(PanelState, messageText(state, state_->language));
    if (tipped) showPresenceTip();
}

void TForm1::jobEnded() {
    if (checkPending_) checkProgrammer();
}

}  // namespace ostrel
