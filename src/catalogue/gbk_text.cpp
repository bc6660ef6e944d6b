#include "catalogue/gbk_text.h"

#include "base/platform.h"

namespace ostrel {

std::string gbkToUtf8(const std::string& gbk, bool* ok) {
    return platform::convertGbk(gbk, false, "\xEF\xBF\xBD", ok);
}

std::string utf8ToGbk(const std::string& utf8, bool* ok) {
    return platform::convertGbk(utf8, true, "?", ok);
}

}  // namespace ostrel
