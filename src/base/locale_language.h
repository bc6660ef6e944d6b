#pragma once
// The language a user's locale asks for, for the first start, before the
// settings file holds one: Simplified Chinese for the mainland and Singapore,
// Traditional Chinese for Taiwan, Hong Kong and Macao, English for every other.

namespace ostrel {

// From locale names as LC_ALL, LC_MESSAGES and LANG hold them ("zh_CN.UTF-8",
// "zh_TW", "zh_Hant_HK", "en_GB.UTF-8"): the first of the three that is set
// and not empty decides, as the C library takes them. Null or empty counts
// as unset. Returns a message table language index.
int languageForLocale(const char* lcAll, const char* lcMessages, const char* lang);

// The same from this process's environment.
int localeLanguage();

// The language the window starts in when the settings file holds none:
// Simplified Chinese, the designed state, until the program sets the
// locale's (the tests keep the designed state).
int firstStartLanguage();
void setFirstStartLanguage(int language);

}  // namespace ostrel
