#pragma once
// The core of the program, built once and held by each front end (the
// window, ostrel-cli, the tests): the state of the run, the transport to the
// programmer, the operations, the chip selector and the command runner,
// wired to each other here and nowhere else.

#include <functional>
#include <memory>
#include <string>

#include "base/ui_port.h"
#include "catalogue/chip_selector.h"
#include "operations/command_runner.h"
#include "operations/main_state.h"
#include "operations/programmer_ops.h"
#include "usb/usb_bulk.h"

namespace ostrel {

// Chip selection wired to the state: after every run the record it left
// becomes the selected one, the Type list's position is kept, and the buffers
// are reset for the record unless the run keeps them; a record larger than
// the buffers is named in an error box.
ChipSelector::ChipChanged chipChangedInto(MainState& state, UiPort& ui);
// Before chip selection resets the buffers: true when they hold no byte that
// a file does not (the EEPROM buffer's own bytes stay), or the user lets the
// bytes go, as Open asks.
std::function<bool()> chipChangeAsking(const MainState& state, UiPort& ui);

class Core {
  public:
    // `ui` serves the pauses and events between blocks, the connection state
    // and the buffers' questions; `usbLibrary` is the USB library the
    // transport binds (the simulator's in the tests).
    explicit Core(UiPort& ui, std::string usbLibrary = platform::usbLibraryName());
    ~Core();
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;

    MainState& state() { return *state_; }
    TUsbBulk& usb() { return *usb_; }
    ProgrammerOps& ops() { return *ops_; }
    ChipSelector& selector() { return *selector_; }
    CommandRunner& runner() { return *runner_; }

  private:
    std::unique_ptr<MainState> state_;
    std::unique_ptr<TUsbBulk> usb_;
    std::unique_ptr<ProgrammerOps> ops_;
    std::unique_ptr<ChipSelector> selector_;
    std::unique_ptr<CommandRunner> runner_;
};

}  // namespace ostrel
