#pragma once
// What the main window writes to the settings file when it closes: its
// geometry and the state of the run, on top of what the file gave at start.

#include <cstdint>

#include "base/settings_file.h"

namespace ostrel {

struct ListPositions;

// The window as it is when it closes, in screen pixels.
struct WindowGeometry {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool maximised = false;
};

// `loaded` with the geometry, the speed, the language and the saved chip
// list positions of this run. What the window never writes (DEVICE/chip)
// stays as loaded.
Settings capturedSettings(const Settings& loaded, const WindowGeometry& window, int32_t speed,
                          int32_t language, const ListPositions& chip);

}  // namespace ostrel
