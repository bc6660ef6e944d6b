// The language of the first start, from the locale variables.

#include "base/locale_language.h"

#include <gtest/gtest.h>

#include "base/messages.h"

namespace ostrel {
namespace {

TEST(LocaleLanguage, MainlandAndSingaporeSimplifiedTaiwanHongKongMacaoTraditionalElseEnglish) {
    const struct {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        int language;
    } cases[] = {
        {nullptr, nullptr, "zh_CN.UTF-8", LangSimplified},
        {nullptr, nullptr, "zh_SG", LangSimplified},
        {nullptr, nullptr, "zh_TW.UTF-8", LangTraditional},
        {nullptr, nullptr, "zh_HK.Big5-HKSCS", LangTraditional},
        {nullptr, nullptr, "zh_MO", LangTraditional},
        {nullptr, nullptr, "zh_Hans_HK", LangSimplified},  // the script outranks the region
        {nullptr, nullptr, "zh-Hant-CN", LangTraditional},
        {nullptr, nullptr, "zh_cn.utf8", LangSimplified},
        {nullptr, nullptr, "zh_MY.UTF-8", LangEnglish},
        {nullptr, nullptr, "en_US.UTF-8", LangEnglish},
        {nullptr, nullptr, "C", LangEnglish},
        {nullptr, nullptr, "zhx_CN", LangEnglish},
        {nullptr, nullptr, nullptr, LangEnglish},
        // The first variable that is set and not empty decides.
        {"en_GB.UTF-8", "zh_CN.UTF-8", "zh_CN.UTF-8", LangEnglish},
        {"", "zh_TW", "en_US", LangTraditional},
        {nullptr, "", "zh_CN@pinyin", LangSimplified},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(languageForLocale(c.lcAll, c.lcMessages, c.lang), c.language)
            << (c.lcAll ? c.lcAll : "-") << " " << (c.lcMessages ? c.lcMessages : "-") << " "
            << (c.lang ? c.lang : "-");
    }
}

}  // namespace
}  // namespace ostrel
