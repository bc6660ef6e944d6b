#include "base/messages.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <iconv.h>
#endif

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

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

// The table is indexed by the key: a row out of step with the enum shows every
// later message under the wrong key. The key names are read from the header
// itself, and each key's English text must hold words that only its own row
// holds.
TEST(MessageTable, EachRowSitsUnderItsKey) {
    std::ifstream header(std::string(OSTREL_SOURCE_DIR) + "/src/base/messages.h");
    const std::string text((std::istreambuf_iterator<char>(header)), {});
    const std::string body =
        text.substr(text.find("enum class Msg {"),
                    text.find("};", text.find("enum class Msg {")) - text.find("enum class Msg {"));
    std::vector<std::string> enumerators;
    const std::regex name(R"(\b(Msg[A-Za-z]+),)");
    for (std::sregex_iterator m(body.begin(), body.end(), name), end; m != end; ++m)
        enumerators.push_back((*m)[1]);
    ASSERT_EQ(enumerators.size(), static_cast<std::size_t>(kMessageCount));
    for (int k = 0; k < kMessageCount; ++k)
        EXPECT_EQ(messageKeyName(static_cast<Msg>(k)), enumerators[static_cast<std::size_t>(k)]);

    const std::pair<Msg, const char*> words[] = {
        {Msg::MsgConfigDestroyed, "destroyed"},
        {Msg::MsgFileExists, "already exists"},
        {Msg::MsgWriteFileError, "writing file"},
        {Msg::MsgProgrammerFound, "working state"},
        {Msg::MsgConnected, "Connected"},
        {Msg::MsgNotConnected, "Not connected"},
        {Msg::MsgEraseFlash, "Erase Flash"},
        {Msg::MsgReadFlash, "Read Flash"},
        {Msg::MsgBlankFlash, "Bank Flash"},
        {Msg::MsgChipNotEmpty, "not empty"},
        {Msg::MsgVerifyFlash, "Verify Flash"},
        {Msg::MsgVerifyErrorAddress, "error address"},
        {Msg::MsgWriteFlash, "Write Flash"},
        {Msg::MsgFileTooLong, "larger than chip"},
        {Msg::MsgOpenTitle, "Open"},
        {Msg::MsgReadComplete, "Read Complete"},
        {Msg::MsgEraseComplete, "Erase Complete"},
        {Msg::MsgWriteComplete, "Write Complete"},
        {Msg::MsgVerifyComplete, "Verify Complete"},
        {Msg::MsgAutoComplete, "AUTO"},
        {Msg::MsgBlankComplete, "Bank Complete"},
        {Msg::MsgStop, "STOP"},
        {Msg::MsgBulk, "BULK"},
        {Msg::MsgUnknownChipId, "Unknown chip ID"},
        {Msg::MsgChooseCompatible, "compatibility"},
        {Msg::MsgNoChip, "No chips"},
        {Msg::MsgChipDetected, "chip was detected"},
        {Msg::MsgChipTypeLine, " Chip type"},
        {Msg::MsgChipTypeDetected, "type is detected"},
        {Msg::MsgSelectTypeManually, "manually select"},
    };
    ASSERT_EQ(std::size(words), static_cast<std::size_t>(kMessageCount));
    for (const auto& [key, word] : words) {
        std::vector<std::string> holders;
        for (int k = 0; k < kMessageCount; ++k)
            if (messageText(static_cast<Msg>(k), LangEnglish).find(word) != std::string::npos)
                holders.push_back(messageKeyName(static_cast<Msg>(k)));
        EXPECT_EQ(holders, std::vector<std::string>{messageKeyName(key)}) << word;
    }
}

#ifndef _WIN32  // the scripts are told apart by the C library's iconv, which Windows lacks
// Checked by the C library's converter: a Simplified Chinese text is GB2312,
// a Traditional one Big5, and where the two differ the Traditional one is not
// GB2312, so the two languages cannot have changed places in a row.
bool convertsTo(const std::string& utf8, const char* encoding) {
    iconv_t cd = iconv_open(encoding, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string in = utf8;
    std::string out(in.size() * 4 + 4, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    const bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    return ok && inLeft == 0;
}

TEST(MessageTable, ChineseTextsAreInTheirOwnScript) {
    ASSERT_TRUE(convertsTo("编程器", "GB2312"));
    ASSERT_FALSE(convertsTo("編程器", "GB2312")) << "the converter cannot tell the scripts apart";
    for (int k = 0; k < kMessageCount; ++k) {
        const Msg key = static_cast<Msg>(k);
        const std::string& simplified = messageText(key, LangSimplified);
        const std::string& traditional = messageText(key, LangTraditional);
        EXPECT_TRUE(convertsTo(simplified, "GB2312")) << messageKeyName(key);
        EXPECT_TRUE(convertsTo(traditional, "BIG5")) << messageKeyName(key);
        if (simplified != traditional) {
            EXPECT_FALSE(convertsTo(traditional, "GB2312")) << messageKeyName(key);
        }
    }
}
#endif

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
        // The program's own Traditional Chinese says 晶片 and 檔案 (the
        // window's message table keeps the words it always had).
        for (const char* mainland : {"芯片", "文件"})
            EXPECT_EQ(programText(key, LangTraditional).find(mainland), std::string::npos)
                << textKeyName(key);
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
