#include "base/locale_language.h"

#include <cstdlib>
#include <string>

#include "base/messages.h"
#include "base/text_format.h"

namespace ostrel {

namespace {

int firstStart = LangSimplified;

}  // namespace

int languageForLocale(const char* lcAll, const char* lcMessages, const char* lang) {
    const char* chosen = nullptr;
    for (const char* candidate : {lcAll, lcMessages, lang}) {
        if (candidate != nullptr && *candidate != '\0') {
            chosen = candidate;
            break;
        }
    }
    if (chosen == nullptr) return LangEnglish;
    // "zh_TW.UTF-8@euro" -> "zh_tw"; "zh-Hant-HK" is taken like "zh_Hant_HK".
    std::string name = chosen;
    name = asciiLower(name.substr(0, name.find_first_of(".@")));
    for (char& c : name)
        if (c == '-') c = '_';
    if (name != "zh" && name.rfind("zh_", 0) != 0) return LangEnglish;
    std::string rest = name.size() > 3 ? name.substr(3) : std::string();
    // A script names the writing directly, whatever region follows it.
    if (rest.rfind("hans", 0) == 0) return LangSimplified;
    if (rest.rfind("hant", 0) == 0) return LangTraditional;
    if (rest.empty() || rest == "cn" || rest == "sg") return LangSimplified;
    if (rest == "tw" || rest == "hk" || rest == "mo") return LangTraditional;
    return LangEnglish;
}

int localeLanguage() {
    return languageForLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                             std::getenv("LANG"));
}

int firstStartLanguage() {
    return firstStart;
}

void setFirstStartLanguage(int language) {
    firstStart = language;
}

}  // namespace ostrel
