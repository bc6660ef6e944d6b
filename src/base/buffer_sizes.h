#pragma once
// The sizes of the two buffers the program holds, which also bound what a
// catalogue record may ask for: byte N of a buffer is chip address N, so a
// chip larger than its buffer cannot be served.

#include <cstdint>

namespace ostrel {

inline constexpr uint32_t kFlashBufferSize = 0x4000000;  // 64 MiB
inline constexpr uint32_t kEepromBufferSize = 0x2000;    // 8,192 bytes

}  // namespace ostrel
