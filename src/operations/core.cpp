#include "operations/core.h"

#include "base/texts.h"

namespace ostrel {

ChipSelector::ChipChanged chipChangedInto(MainState& state, UiPort& ui) {
    return [&state, &ui](int32_t selected, int32_t typeIndex, bool resetBuffers) {
        state.selected = selected;
        state.typeIndex = typeIndex;
        if (!resetBuffers) return;
        // A record larger than the buffers is not refused, since it is
        // already selected; the user is told that only a part is handled.
        if (!state.buffers.ResetBuffersForChip(state.selectedRecord(), typeIndex).fitsBuffers)
            ui.errorBox(DataBuffers::oversizeChipText(state.selectedRecord()));
    };
}

std::function<bool()> chipChangeAsking(const MainState& state, UiPort& ui) {
    return [&state, &ui] {
        return !state.buffers.chipChangeDropsEdits() ||
               ui.askInfo(programText(Txt::UnsavedEditsQuestion, state.language));
    };
}

Core::Core(UiPort& ui, std::string usbLibrary)
    : state_(std::make_unique<MainState>()),
      usb_(std::make_unique<TUsbBulk>(std::move(usbLibrary))),
      ops_(std::make_unique<ProgrammerOps>(*state_, *usb_, ui)),
      selector_(std::make_unique<ChipSelector>(state_->catalogue, chipChangedInto(*state_, ui))),
      runner_(std::make_unique<CommandRunner>(*state_, *ops_, ui)) {
    usb_->setPause([&ui](int ms) { ui.pause(ms); });
    selector_->mayResetBuffers = chipChangeAsking(*state_, ui);
}

Core::~Core() = default;

}  // namespace ostrel
