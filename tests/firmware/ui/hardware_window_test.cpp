// The hardware information window, driven as a user does while it is shown
// modally, and the Hardware command around it.

#include "firmware/ui/hardware_window.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <vector>

#include "../upgrade_fixture.h"

namespace ostrel::testing {
namespace {

class HardwareWindowTest : public UpgradeFixture {
  protected:
    // Runs `user` once the window is up; returns what the opening chose.
    std::string open(const std::function<void()>& user) {
        QTimer::singleShot(0, &form, [this, user] {
            visibleAtStart = form.isVisible();
            user();
        });
        return form.runModal();
    }
    TForm6 form{ui};
    bool visibleAtStart = false;
};

TEST_F(HardwareWindowTest, ControlsCarryTheNamesTheCaptionTableUses) {
    for (const char* name : {"Label1", "Label3", "Label5"})
        EXPECT_NE(form.findChild<QLabel*>(name), nullptr) << name;
    for (const char* name : {"Edit1", "Edit2", "Edit3"}) {
        auto* edit = form.findChild<QLineEdit*>(name);
        ASSERT_NE(edit, nullptr) << name;
        EXPECT_TRUE(edit->isReadOnly()) << name;
    }
    for (const char* name : {"BitBtn1", "BitBtn2"})
        EXPECT_NE(form.findChild<QPushButton*>(name), nullptr) << name;
}

TEST_F(HardwareWindowTest, CancellingTheChooserKeepsTheWindowOpen) {
    bool openAfterCancel = false;
    const std::string chosen = open([&] {
        form.BitBtn1->click();  // the chooser is cancelled: no path queued
        openAfterCancel = form.isVisible();
        form.BitBtn2->click();
    });
    EXPECT_TRUE(visibleAtStart);
    EXPECT_TRUE(openAfterCancel);
    EXPECT_EQ(ui.lastFilter, kFirmwareFilter);
    EXPECT_EQ(chosen, "");
    EXPECT_FALSE(form.isVisible());
}

// A file that would send only FF is asked about while the window is open: No
// keeps it open for another choice, Yes sends it without a second question.
// A file the boot loader cannot take keeps it open too.
TEST_F(HardwareWindowTest, AFileWithoutAnImageIsAskedAboutBeforeTheWindowCloses) {
    std::string erased = readFile(firmwareFile(0x3000));
    erased.append(0x1000, static_cast<char>(0xFF));
    writeFile(dir.file("erased.xpro"), erased);
    const std::string tooBig = firmwareFile(0x100001, "big.xpro");
    ui.openPaths = {dir.file("erased.xpro"), tooBig, dir.file("erased.xpro")};
    ui.answers = {false, true};
    std::vector<bool> open;
    QTimer::singleShot(0, &form, [&] {
        for (int press = 0; press < 3; ++press) {
            form.BitBtn1->click();
            open.push_back(form.isVisible());
        }
    });
    EXPECT_EQ(firmware.hardwareCommand(form), UpgradeResult::Done);
    EXPECT_EQ(open, (std::vector<bool>{true, true, false}));
    ASSERT_EQ(ui.boxes.size(), 3u);
    EXPECT_TRUE(ui.boxes[0].question);
    EXPECT_FALSE(ui.boxes[1].question);
    EXPECT_TRUE(ui.boxes[2].question);
    EXPECT_EQ(ostrel_sim_upgrade_requests(device), 1);
    EXPECT_EQ(bootImage(), std::vector<uint8_t>(265 * 62, 0xFF));
}

// A file chosen at one opening; at the next the window is closed by its title
// bar: that opening runs no upgrade.
TEST_F(HardwareWindowTest, AChoiceCountsOnlyForItsOwnOpening) {
    const std::string path = firmwareFile(12350);
    ui.openPaths = {path};
    ostrel_sim_set_hardware_info(device, "V3.0", "4.0.1", "OST42");
    auto pressUpgrade = [&] { QTimer::singleShot(0, &form, [&] { form.BitBtn1->click(); }); };
    pressUpgrade();
    EXPECT_EQ(firmware.hardwareCommand(form), UpgradeResult::Done);
    EXPECT_EQ(form.Edit1->text(), "V3.0");
    EXPECT_EQ(form.Edit2->text(), "4.0.1");
    EXPECT_EQ(form.Edit3->text(), "OST42");
    EXPECT_EQ(ostrel_sim_upgrade_requests(device), 1);

    ui.openPaths = {path};  // would be chosen if the button were pressed
    QTimer::singleShot(0, &form, [&] { form.close(); });
    EXPECT_EQ(firmware.hardwareCommand(form), UpgradeResult::NoFile);
    EXPECT_EQ(ostrel_sim_upgrade_requests(device), 1);
    EXPECT_EQ(ostrel_sim_bootloader_finished(device), 1);
    EXPECT_EQ(form.chosenPath(), "");

    // The programmer is gone: the window keeps the texts it showed.
    ostrel_sim_set_plugged(device, 0);
    QTimer::singleShot(0, &form, [&] { form.BitBtn2->click(); });
    firmware.hardwareCommand(form);
    EXPECT_EQ(form.Edit3->text(), "OST42");
}

}  // namespace
}  // namespace ostrel::testing
