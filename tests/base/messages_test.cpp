#include "base/messages.h"

#include <gtest/gtest.h>

#include <set>

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

}  // namespace
}  // namespace ostrel
