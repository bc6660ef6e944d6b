#pragma once
// The FLASH and EEPROM buffers the main window owns, the FLASH data length and
// the address range. Byte N of the FLASH buffer is chip address N; the buffers
// are allocated once, all 0xFF, and never move or grow.

#include <cstdint>
#include <memory>

#include "buffers/hex_document.h"

namespace ostrel {

inline constexpr uint32_t kFlashBufferSize = 0x4000000;  // 64 MiB
inline constexpr uint32_t kEepromBufferSize = 0x2000;    // 8 KiB

class DataBuffers {
public:
    DataBuffers();

    uint8_t* flash() { return flash_.get(); }
    const uint8_t* flash() const { return flash_.get(); }
    uint8_t* eeprom() { return eeprom_.get(); }
    const uint8_t* eeprom() const { return eeprom_.get(); }

    // Reloads a view with the first `count` bytes of its buffer (clamped to the buffer).
    void ShowFlash(uint32_t count);
    void ShowEeprom(uint32_t count);

    HexDocument& flashView() { return flashView_; }
    HexDocument& eepromView() { return eepromView_; }

    // Bytes from address 0 that Write and Verify transfer when no range is used.
    int32_t flashDataLength = 0;
    // The address range (check box "range enabled", start and end, inclusive).
    bool rangeEnabled = false;
    int32_t rangeStart = 0;
    int32_t rangeEnd = 0;

private:
    std::unique_ptr<uint8_t[]> flash_;
    std::unique_ptr<uint8_t[]> eeprom_;
    HexDocument flashView_;
    HexDocument eepromView_;
};

}  // namespace ostrel
