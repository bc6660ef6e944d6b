#include "operations/core.h"

namespace ostrel {

Core::Core(UiPort& ui, std::string usbLibrary)
    : state_(std::make_unique<MainState>()),
      usb_(std::make_unique<TUsbBulk>(std::move(usbLibrary))),
      ops_(std::make_unique<ProgrammerOps>(*state_, *usb_, ui)),
      selector_(std::make_unique<ChipSelector>(state_->catalogue, chipChangedInto(*state_, ui))),
      runner_(std::make_unique<CommandRunner>(*state_, *ops_, ui)) {
    usb_->setPause([&ui](int ms) { ui.pause(ms); });
}

Core::~Core() = default;

}  // namespace ostrel
