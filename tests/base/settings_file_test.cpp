#include "base/settings_file.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>

#include "support/scripted_ui.h"
#include "support/temp_files.h"

namespace ostrel {
namespace {

#ifndef _WIN32
using testing::FileSizeLimit;
#endif
using testing::ScriptedUi;

// The save as the window runs it: a failed write in an error box.
bool saveShown(SettingsFile& file, const Settings& settings, ScriptedUi& ui) {
    if (saveSettings(file, settings)) return true;
    ui.errorBox(file.writeFailureText());
    return false;
}
using testing::TempDir;

const char* const kAllTenKeys =
    "[Environment]\nFormHeight=500\nFormWidth=700\nFormTop=10\nFormLeft=10\nFormMax=0\n"
    "[CHIP]\nINDEX1=0\nINDEX2=0\nINDEX3=0\n"
    "[DEVICE]\nSPEED=0\nLANGU=0\n";

TEST(SettingsFile, IntegersReadAsDecimalOrHexElseNothing) {
    struct Case {
        const char* text;
        std::optional<int32_t> value;
    };
    const Case cases[] = {
        {"42", 42},
        {" -7 ", -7},
        {"0x10", 16},
        {"0X1f", 31},
        {"$1F", 31},
        {"$FFFFFFFF", -1},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},
        {"$100000000", std::nullopt},
        {"0x", std::nullopt},
        {"$", std::nullopt},
        {"", std::nullopt},
        {"12abc", std::nullopt},
        {"1.5", std::nullopt},
        {"0xG", std::nullopt},
        {"true", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(parseProfileInteger(c.text), c.value) << c.text;
}

TEST(SettingsFile, LookupIgnoresLetterCaseAndTrimsValues) {
    const std::string ini =
        "top=1\n[environment]\n formheight = 321 \n[Chip]\nIndex2=\"5\"\nINDEX2=6\n[device]\n";
    EXPECT_EQ(findProfileValue(ini, "Environment", "FormHeight"), "321");
    EXPECT_EQ(findProfileValue(ini, "CHIP", "INDEX2"), "5") << "first key wins, quotes removed";
    EXPECT_EQ(findProfileValue(ini, "DEVICE", "LANGU"), std::nullopt);
    EXPECT_EQ(findProfileValue(ini, "CHIP", "top"), std::nullopt);
    EXPECT_EQ(findProfileValue(ini, "Missing", "top"), std::nullopt);
}

TEST(SettingsFile, SettingAKeyChangesOnlyItsLine) {
    struct Case {
        const char* what;
        std::string before;
        const char* section;
        const char* key;
        std::string after;
    };
    const Case cases[] = {
        {"new file", "", "CHIP", "INDEX1", "[CHIP]\nINDEX1=9\n"},
        {"value replaced, spelling kept", "; mine\n[chip]\n index1 = 3 \nX=1\n", "CHIP", "INDEX1",
         "; mine\n[chip]\nindex1=9\nX=1\n"},
        {"added after the section's last line", "[CHIP]\nINDEX1=1\n\n[DEVICE]\nchip=1\n", "CHIP",
         "INDEX2", "[CHIP]\nINDEX1=1\nINDEX2=9\n\n[DEVICE]\nchip=1\n"},
        {"section added at the end, missing newline supplied", "[A]\nb=1", "CHIP", "INDEX1",
         "[A]\nb=1\n[CHIP]\nINDEX1=9\n"},
        {"key added to a last line without newline", "[CHIP]\nINDEX1=1", "CHIP", "INDEX2",
         "[CHIP]\nINDEX1=1\nINDEX2=9\n"},
        {"CRLF kept", "[CHIP]\r\nINDEX1=1\r\nFoo=bar\r\n", "chip", "foo",
         "[CHIP]\r\nINDEX1=1\r\nFoo=9\r\n"},
        {"CRLF for new lines", "[A]\r\nb=1\r\n", "CHIP", "INDEX1",
         "[A]\r\nb=1\r\n[CHIP]\r\nINDEX1=9\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(setProfileValue(c.before, c.section, c.key, "9"), c.after) << c.what;
}

TEST(SettingsFile, FirstStartGivesDefaultsAndTheFirstSaveWritesTheTenKeys) {
    TempDir dir;
    SettingsFile file(dir.file("ostrel.ini"));
    const Settings s = loadSettings(file);
    EXPECT_EQ(s.formHeight, 500);
    EXPECT_EQ(s.formWidth, 700);
    EXPECT_EQ(s.formTop, 10);
    EXPECT_EQ(s.formLeft, 10);
    EXPECT_FALSE(s.formMax);
    EXPECT_EQ(s.index1 + s.index2 + s.index3 + s.chip + s.speed + s.language, 0);
    // The locale's language until the file holds one; then the file's.
    EXPECT_EQ(loadSettings(file, 1).language, 1);

    ScriptedUi ui;
    ASSERT_TRUE(saveShown(file, s, ui));
    EXPECT_EQ(testing::readFile(file.path()), kAllTenKeys);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(loadSettings(file, 1).language, 0);
}

TEST(SettingsFile, ValuesComeBackAndHandEditsSurviveASave) {
    TempDir dir;
    SettingsFile file(dir.file("ostrel.ini"));
    testing::writeFile(file.path(),
                       "[environment]\nformheight=0x258\nFormWidth=wide\n"
                       "[DEVICE]\nchip=1\nLANGU=7\nSPEED=$1F\nTheirs=keep me\n"
                       "[Other]\nx=y\n");
    Settings s = loadSettings(file);
    EXPECT_EQ(s.formHeight, 600);
    EXPECT_EQ(s.formWidth, 700) << "unparsable: the default";
    EXPECT_EQ(s.chip, 1);
    EXPECT_EQ(s.speed, 31);
    EXPECT_EQ(s.language, 7) << "kept as read, even outside 0 to 2";

    s.index3 = 4;
    s.chip = 0;  // never written, whatever the struct says
    ScriptedUi ui;
    ASSERT_TRUE(saveShown(file, s, ui));
    EXPECT_EQ(testing::readFile(file.path()),
              "[environment]\nformheight=600\nFormWidth=700\nFormTop=10\nFormLeft=10\n"
              "FormMax=0\n"
              "[DEVICE]\nchip=1\nLANGU=7\nSPEED=31\nTheirs=keep me\n"
              "[Other]\nx=y\n"
              "[CHIP]\nINDEX1=0\nINDEX2=0\nINDEX3=4\n");
    EXPECT_EQ(loadSettings(file).index3, 4);
}

TEST(SettingsFile, MaximisedWindowSkipsTheGeometryKeys) {
    TempDir dir;
    SettingsFile file(dir.file("ostrel.ini"));
    testing::writeFile(file.path(),
                       "[Environment]\nFormMax=1\nFormHeight=900\nFormTop=77\n[CHIP]\nINDEX1=2\n");
    const Settings s = loadSettings(file);
    EXPECT_TRUE(s.formMax);
    EXPECT_EQ(s.formHeight, 500);
    EXPECT_EQ(s.formTop, 10);
    EXPECT_EQ(s.index1, 2);
}

#ifndef _WIN32  // a file size limit makes the write fail
TEST(SettingsFile, FailedWriteSaysSoAndStopsTheLaterKeys) {
    TempDir dir;
    {
        // A missing folder is made by the first write; a file where the
        // folder should be cannot be.
        testing::writeFile(dir.file("plain"), "");
        SettingsFile file(dir.file("plain/ostrel.ini"));
        ScriptedUi ui;
        EXPECT_FALSE(saveShown(file, Settings{}, ui));
        ASSERT_EQ(ui.boxes.size(), 1u) << "only the first key was tried";
        EXPECT_EQ(ui.boxes[0].text, "Unable to write to " + file.path());
        EXPECT_EQ(ui.boxes[0].caption, "Error");
        EXPECT_EQ(ui.boxes[0].icon, BoxIcon::Error);
    }
    // Two keys fit under the size limit, the third does not: the file keeps
    // the first two, whole, and nothing after the failure is written.
    SettingsFile file(dir.file("ostrel.ini"));
    ScriptedUi ui;
    {
        FileSizeLimit limit(50);
        EXPECT_FALSE(saveShown(file, Settings{}, ui));
    }
    EXPECT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(testing::readFile(file.path()), "[Environment]\nFormHeight=500\nFormWidth=700\n");
}
#endif

#ifndef _WIN32  // another user, for whom file modes hold
TEST(SettingsFile, AReadOnlyFileIsReportedAndLeftAsItWas) {
    TempDir dir;
    SettingsFile file(dir.file("ostrel.ini"));
    testing::writeFile(file.path(), "[DEVICE]\nchip=1\n");
    std::filesystem::permissions(file.path(), std::filesystem::perms(0444));
    // Root may write any file, so the save runs as an ordinary user.
    const auto outcome = testing::runUnprivileged(dir.path(), [&] {
        ScriptedUi ui;
        return !saveShown(file, Settings{}, ui) && ui.boxes.size() == 1 &&
               ui.boxes[0].text == "Unable to write to " + file.path();
    });
    if (!outcome) GTEST_SKIP() << "cannot run as an ordinary user here";
    EXPECT_TRUE(*outcome);
    EXPECT_EQ(testing::readFile(file.path()), "[DEVICE]\nchip=1\n");
}
#endif

}  // namespace
}  // namespace ostrel
