#pragma once
// Text as the Windows calls take it: UTF-8 to UTF-16, for the platform
// layer's Windows files alone.

#include <string>

namespace ostrel::platform {

std::wstring wide(const std::string& text);

}  // namespace ostrel::platform
