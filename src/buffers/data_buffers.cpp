#include "buffers/data_buffers.h"

#include <algorithm>
#include <cstring>

namespace ostrel {

DataBuffers::DataBuffers()
    : flash_(new uint8_t[kFlashBufferSize]), eeprom_(new uint8_t[kEepromBufferSize]) {
    std::memset(flash_.get(), 0xFF, kFlashBufferSize);
    std::memset(eeprom_.get(), 0xFF, kEepromBufferSize);
}

void DataBuffers::ShowFlash(uint32_t count) {
    flashView_.LoadFromStream(flash_.get(), std::min(count, kFlashBufferSize));
}

void DataBuffers::ShowEeprom(uint32_t count) {
    eepromView_.LoadFromStream(eeprom_.get(), std::min(count, kEepromBufferSize));
}

}  // namespace ostrel
