// The caption table checks itself: every entry has its three texts, a
// language has 102 of them in the kinds the switch writes, no component is
// named twice, and the check marks tick exactly the item of their language.
#include "base/captions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>

namespace ostrel {
namespace {

TEST(CaptionTable, EveryEntryHasThreeTextsAndEveryComponentOneEntryPerKind) {
    std::map<CaptionKind, int> kinds;
    std::set<std::tuple<std::string, std::string, CaptionKind>> seen;
    std::map<int, int> ticked;  // language -> check marks set
    for (const CaptionEntry& entry : captionTable()) {
        SCOPED_TRACE(std::string(entry.window) + "." + entry.component);
        ++kinds[entry.kind];
        EXPECT_TRUE(seen.emplace(entry.window, entry.component, entry.kind).second);
        for (int language = 0; language < 3; ++language) {
            ASSERT_NE(captionText(entry, language), nullptr);
            EXPECT_GT(std::strlen(captionText(entry, language)), 0u);
            if (entry.kind == CaptionKind::CheckMark)
                ticked[language] += std::strcmp(captionText(entry, language), "1") == 0;
        }
        EXPECT_EQ(captionText(entry, 3), nullptr);
        EXPECT_EQ(captionText(entry, -1), nullptr);
    }
    EXPECT_EQ(kinds[CaptionKind::CheckMark], 3);
    EXPECT_EQ(kinds[CaptionKind::StatusPanel], 2);
    EXPECT_EQ(kinds[CaptionKind::WindowTitle] + kinds[CaptionKind::Control], 76);
    EXPECT_EQ(kinds[CaptionKind::MenuItem], 21);
    for (int language = 0; language < 3; ++language) EXPECT_EQ(ticked[language], 1) << language;
    // The switch writes the check marks first and the main window before the others.
    EXPECT_EQ(captionTable().front().kind, CaptionKind::CheckMark);
    EXPECT_STREQ(captionTable().front().component, "Enlish");
}

}  // namespace
}  // namespace ostrel
