#pragma once
// The state the main window owns for the whole run, kept where the commands
// are run so that the runner, the command line and tests reach it without a
// window: the catalogue and the selected record, the buffers, the Type list
// position, and the values read from the settings file. The pieces below
// operations get only what they use of it.

#include "buffers/data_buffers.h"
#include "catalogue/catalogue.h"
#include "catalogue/chip_selector.h"

namespace ostrel {

// The third type of the catalogue (93-series) is neither read nor written by the
// streaming operations; identification selects it for chips it can only classify.
inline constexpr int32_t kTypeIndexNotStreamed = 2;

struct MainState {
    Catalogue catalogue;
    int32_t selected = 0;   // position of the selected record
    int32_t typeIndex = 0;  // selected index of the Type list; position 2 is skipped by read/write
    DataBuffers buffers;
    int32_t speed = 0;     // DEVICE/SPEED; its low byte goes into every chip set-up
    int32_t language = 0;  // 0 Simplified Chinese, 1 Traditional Chinese, 2 English

    const ChipRecord& selectedRecord() const { return catalogue.at(selected); }
};

}  // namespace ostrel
