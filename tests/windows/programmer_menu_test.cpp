// The main window with several programmers attached: the Operation menu's
// Programmer submenu, the programmer every job then uses, the status panel that
// names it, and the choice kept in the settings file.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <filesystem>

#include "operations/programmer_list.h"
#include "ostrel_sim.h"
#include "shell/ui/main_window.h"
#include "support/sim_log.h"
#include "support/temp_files.h"
#include "windows/recording_form.h"

namespace ostrel {
namespace {

using testing::TempDir;

using QuietForm = testing::RecordingForm;

class ProgrammerMenuTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::copy_file(OSTREL_BIN_DIR "/ostrel.Dat", dir.file("ostrel.Dat"));
        testing::writeFile(dir.file("ostrel.ini"), "[DEVICE]\nLANGU=2\n");
        ostrel_sim_reset();
        const char* serials[] = {"SER-A", "SER-B", "SER-C"};
        for (int i = 0; i < 3; ++i) {
            const int device = ostrel_sim_add_programmer(i == 2 ? 2 : 1);
            ostrel_sim_set_hardware_info(device, nullptr, nullptr, serials[i]);
            ostrel_sim_insert_chip(device, 0, 0xEF4017, 0x800000, nullptr);
        }
    }
    void TearDown() override { ostrel_sim_reset(); }

    std::unique_ptr<QuietForm> makeForm() {
        auto form = std::make_unique<QuietForm>(ProgramPaths(dir.file("ostrel")),
                                                OSTREL_SIM_DIR "/libusb-0.1.so.4");
        form->show();
        form->checkProgrammer();
        return form;
    }
    static QStringList entries(const TForm1& form, bool checkedOnly) {
        QStringList texts;
        for (QAction* a : form.Programmer->actions())
            if (!checkedOnly || a->isChecked()) texts << a->text();
        return texts;
    }
    // The device the last claim of the simulator went to.
    static int lastClaimed() {
        const auto claims = testing::simLog(OSTREL_SIM_LOG_CLAIM);
        return claims.empty() ? -1 : claims.back().device;
    }

    TempDir dir;
};

TEST_F(ProgrammerMenuTest, TheChosenProgrammerServesEveryJobAndIsRememberedBySerialNumber) {
    auto form = makeForm();
    EXPECT_EQ(entries(*form, false),
              QStringList({"001/001  SER-A", "001/002  SER-B", "002/003  SER-C"}));
    // Nothing chosen yet: the first, named in the status bar.
    EXPECT_EQ(entries(*form, true), QStringList({"001/001  SER-A"}));
    EXPECT_EQ(form->ui().statusText(4), "SER-A 001/001");

    form->ProgrammerClick("SER-C");
    EXPECT_EQ(lastClaimed(), 2);
    EXPECT_EQ(form->ui().statusText(4), "SER-C 002/003");
    ostrel_sim_log_clear();
    form->BitBtn1Click();  // Detect: a job of its own
    const auto commands = testing::simLog(OSTREL_SIM_LOG_COMMAND);
    ASSERT_FALSE(commands.empty());
    for (const auto& c : commands) EXPECT_EQ(c.device, 2) << c.text;

    // While batch mode holds the lock the choice stays.
    ASSERT_TRUE(form->runner().lock().beginBatch());
    form->ProgrammerClick("SER-B");
    EXPECT_EQ(form->ui().statusText(4), "SER-C 002/003");
    form->runner().lock().endBatch();

    form->close();
    const std::string ini = testing::readFile(dir.file("ostrel.ini"));
    EXPECT_NE(ini.find("[PROGRAMMER]\nDevice=SER-C"), std::string::npos) << ini;
    EXPECT_NE(ini.find("[DEVICE]"), std::string::npos) << ini;

    // The next run finds it again by its serial number, wherever it is now.
    // With it gone, another is not taken without a word: a box names the
    // chosen one, says why it cannot be used and offers the first, once.
    // Another programmer, held by another program, says nothing about it.
    auto again = makeForm();
    EXPECT_EQ(entries(*again, true), QStringList({"002/003  SER-C"}));
    ostrel_sim_set_claim_fails(ostrel_sim_add_programmer(1), 1);
    ostrel_sim_set_plugged(2, 0);
    again->checkProgrammer();
    again->checkProgrammer();
    EXPECT_EQ(again->ui().boxes,
              std::vector<std::string>{"The chosen programmer SER-C cannot be used: it is not "
                                       "attached. Use SER-A (001/001) instead?"});
    EXPECT_EQ(entries(*again, true), QStringList({"001/001  SER-A"}));
    EXPECT_EQ(again->ui().statusText(4), "SER-A 001/001");
    again->close();

    // Held by another program when a window starts: declined, none serves.
    ostrel_sim_set_plugged(2, 1);
    ostrel_sim_set_claim_fails(2, 1);
    QuietForm third(ProgramPaths(dir.file("ostrel")), OSTREL_SIM_DIR "/libusb-0.1.so.4");
    third.ui().answers = {false};
    third.show();
    third.checkProgrammer();
    EXPECT_EQ(third.ui().boxes,
              std::vector<std::string>{"The chosen programmer SER-C cannot be used: another "
                                       "program may be holding it. Use SER-A (001/001) instead?"});
    EXPECT_EQ(third.ui().statusText(PanelState), "Not connected");
    EXPECT_EQ(third.ui().statusText(4), "");
}

// Why the chosen programmer cannot be used: its own entry's reason, found by
// its bus path or where its serial number was last found; only for one never
// found does any entry that could not be asked count.
TEST(ChosenProgrammer, IsNamedByItsOwnReason) {
    using F = OpenFailure;
    const std::vector<ProgrammerEntry> entries = {
        {"001/001", "SER-A", "2.0.3", F::None},
        {"001/002", {}, {}, F::Busy},
        {"001/003", {}, {}, F::NotAccessible},
    };
    const std::vector<ProgrammerEntry> noAccess = {entries[0], entries[2]};
    const std::vector<ProgrammerEntry> noneHeld = {entries[0]};
    const struct {
        const char* what;
        const std::vector<ProgrammerEntry>& entries;
        const char* key;
        const char* lastPath;
        F why;
    } cases[] = {
        {"a bus path, held", entries, "001/002", "", F::Busy},
        {"a bus path, no access", entries, "001/003", "", F::NotAccessible},
        {"a bus path, gone", entries, "001/009", "", F::NotFound},
        {"a serial number at a held path", entries, "SER-C", "001/002", F::Busy},
        {"a serial number gone from its path", entries, "SER-C", "001/009", F::NotFound},
        {"another programmer at its path", entries, "SER-C", "001/001", F::NotFound},
        {"a serial number never found, one held", entries, "SER-C", "", F::Busy},
        {"a serial number never found, one without access", noAccess, "SER-C", "",
         F::NotAccessible},
        {"a serial number never found, none held", noneHeld, "SER-C", "", F::NotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(chosenProgrammerFailure(c.entries, c.key, c.lastPath), c.why);
    }
}

}  // namespace
}  // namespace ostrel
