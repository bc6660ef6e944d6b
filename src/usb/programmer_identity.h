#pragma once
// How the programmer presents itself on the bus. Every caller of prog_open
// passes these four values.

namespace ostrel {

inline constexpr int kProgrammerVendorId = 0x1FC8;
inline constexpr int kProgrammerProductId = 0x300B;
// The manufacturer string both the programmer's firmware and this program know.
inline constexpr const char* kProgrammerVendorText = "Ostrel Electronics";
inline constexpr const char* kProgrammerProductText = "ZarAZEZave";
inline constexpr int kStringLanguageId = 0x0409;

inline constexpr int kPacketSize = 64;

}  // namespace ostrel
