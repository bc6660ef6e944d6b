#include "operations/settings_capture.h"

#include "catalogue/chip_selector.h"

namespace ostrel {

Settings capturedSettings(const Settings& loaded, const WindowGeometry& window, int32_t speed,
                          int32_t language, const ListPositions& chip) {
    Settings settings = loaded;
    settings.formHeight = window.height;
    settings.formWidth = window.width;
    settings.formTop = window.top;
    settings.formLeft = window.left;
    settings.formMax = window.maximised;
    settings.speed = speed;
    settings.language = language;
    settings.index1 = chip.type;
    settings.index2 = chip.manufacturer;
    settings.index3 = chip.name;
    return settings;
}

}  // namespace ostrel
