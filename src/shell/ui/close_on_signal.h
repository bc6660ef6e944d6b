#pragma once
// A desktop session that ends, `kill` and Ctrl+C in a terminal ask the program
// to stop with SIGTERM, SIGHUP or SIGINT. The program then closes its main
// window as if the user had closed it, so the settings are saved and a
// running job ends at its next block before the program stops.

class QWidget;

namespace ostrel {

// Installs the handlers once; each of those signals then closes `window` from
// the message loop.
void closeOnTerminationSignals(QWidget* window);

}  // namespace ostrel
