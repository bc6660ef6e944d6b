#include "base/messages.h"

#include <gtest/gtest.h>

#include <set>

#include "base/texts.h"

namespace ostrel {
namespace {

TEST(MessageTable, EveryKeyHasThreeNonEmptyTextsAndTheEnglishOnesAreAscii) {
    std::set<std::string> english;
    for (int k = 0; k < kMessageCount; ++k) {
        const Msg key = static_cast<Msg>(k);
        for (int lang = 0; lang < 3; ++lang) EXPECT_FALSE(messageText(key, lang).empty()) << k;
        for (unsigned char c : messageText(key, LangEnglish)) EXPECT_LT(c, 0x80) << k;
        english.insert(messageText(key, LangEnglish));
    }
    EXPECT_EQ(kMessageCount, 30);
    EXPECT_EQ(english.size(), 30u) << "two keys share an English text";
}

TEST(MessageTable, TextsKeepTheirExactSpacesAndLineFeeds) {
    EXPECT_EQ(messageText(Msg::MsgFileExists, LangEnglish), "File already exists. Is it covered? ");
    EXPECT_EQ(messageText(Msg::MsgWriteFlash, LangTraditional), "編程 Flash ... ");
    EXPECT_EQ(messageText(Msg::MsgWriteFlash, LangSimplified), "编程 Flash ...");
    EXPECT_EQ(messageText(Msg::MsgVerifyErrorAddress, LangSimplified), "Flash 校验错误地址: ");
    EXPECT_EQ(messageText(Msg::MsgVerifyErrorAddress, LangEnglish), "Flash check error address:");
    for (int lang = 0; lang < 3; ++lang) {
        EXPECT_EQ(messageText(Msg::MsgChipTypeLine, lang).substr(0, 2), "\n\n");
        EXPECT_EQ(messageText(Msg::MsgSelectTypeManually, lang).substr(0, 2), "\n\n");
    }
    EXPECT_EQ(messageText(Msg::MsgBlankFlash, LangEnglish), "Bank Flash ...");
    EXPECT_EQ(std::string(messageKeyName(Msg::MsgReadComplete)), "MsgReadComplete");
}

TEST(MessageTable, LanguageOutsideTheThreeFallsBackToSimplifiedChinese) {
    for (int lang : {-1, 3, 7, 1000})
        EXPECT_EQ(messageText(Msg::MsgNotConnected, lang), "编程器未接入") << lang;
    EXPECT_EQ(messageText(Msg::MsgNotConnected, LangTraditional), "編程器未接入");
    EXPECT_EQ(messageText(Msg::MsgNotConnected, LangEnglish), "Not connected");
}

TEST(SearchColumnTitles, ThreeColumnsInEachLanguage) {
    EXPECT_EQ(searchColumnTitle(0, LangSimplified), "类型");
    EXPECT_EQ(searchColumnTitle(1, LangTraditional), "廠商");
    EXPECT_EQ(searchColumnTitle(2, LangEnglish), "Name");
    EXPECT_EQ(searchColumnTitle(2, 9), "名称");
    EXPECT_EQ(searchColumnTitle(3, LangEnglish), "");
}

// The program's own texts: three texts a key; English-only texts the same in
// all three; translated texts really translated, with the same "%s" places, so
// that a value never lands in the wrong place or is lost in one language.
TEST(ProgramTexts, EveryKeyHasThreeTextsWithTheSamePlaces) {
    std::set<std::string> names;
    auto places = [](const std::string& s) {
        int n = 0;
        for (std::size_t i = s.find("%s"); i != std::string::npos; i = s.find("%s", i + 2)) ++n;
        return n;
    };
    for (int k = 0; k < kTextCount; ++k) {
        const Txt key = static_cast<Txt>(k);
        names.insert(textKeyName(key));
        const std::string& english = programText(key, LangEnglish);
        EXPECT_FALSE(english.empty()) << textKeyName(key);
        for (unsigned char c : english) EXPECT_LT(c, 0x80) << textKeyName(key);
        for (int lang : {LangSimplified, LangTraditional}) {
            const std::string& local = programText(key, lang);
            EXPECT_EQ(places(local), places(english)) << textKeyName(key) << " " << lang;
            if (englishOnly(key))
                EXPECT_EQ(local, english) << textKeyName(key);
            else
                EXPECT_NE(local, english) << textKeyName(key) << " is not translated";
        }
        EXPECT_EQ(programText(key, 7), programText(key, LangSimplified));
    }
    EXPECT_EQ(names.size(), static_cast<std::size_t>(kTextCount)) << "two keys share a name";
}

TEST(ProgramTexts, FillInPutsValuesIntoThePlacesInOrder) {
    EXPECT_EQ(fillIn("Cannot open file %s", {"/a b/%s.bin"}), "Cannot open file /a b/%s.bin");
    EXPECT_EQ(fillIn("%s at %s", {"Read", "1A2Bh"}), "Read at 1A2Bh");
    EXPECT_EQ(fillIn("%s and %s", {"one"}), "one and %s");
    EXPECT_EQ(fillIn("100%", {"x"}), "100%");
}

}  // namespace
}  // namespace ostrel
