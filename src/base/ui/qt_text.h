#pragma once
// The program's texts are UTF-8 in std::string; the windows show QStrings.

#include <QString>
#include <string>

namespace ostrel {

inline QString qs(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<int>(utf8.size()));
}

}  // namespace ostrel
