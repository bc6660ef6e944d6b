#pragma once
// A desktop session that ends, `kill` and Ctrl+C in a terminal ask the program
// to stop with SIGTERM, SIGHUP or SIGINT. The program then answers any open
// box as its Escape key would and closes its main window as if the user had
// closed it, so the settings are saved and a running job ends at its next
// block before the program stops. The window finds the property
// kClosingOnSignal set: it asks nothing more on the way out.

class QWidget;

namespace ostrel {

inline constexpr const char* kClosingOnSignal = "ostrelClosingOnSignal";

// Installs the handlers once; each of those signals then closes `window` from
// the message loop.
void closeOnTerminationSignals(QWidget* window);

}  // namespace ostrel
