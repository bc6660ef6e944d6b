// The hidden Hardware command of the main window against the simulated
// programmer and its boot loader.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <filesystem>

#include "firmware/ui/hardware_window.h"
#include "ostrel_sim.h"
#include "shell/ui/main_window.h"
#include "support/temp_files.h"
#include "windows/recording_form.h"

namespace ostrel {
namespace {

using testing::TempDir;

using testing::RecordingForm;

TEST(HardwareCommand, HiddenN4RunsTheUpgradeAndLogsItsEnd) {
    TempDir dir;
    std::filesystem::copy_file(OSTREL_BIN_DIR "/ostrel.Dat", dir.file("ostrel.Dat"));
    ostrel_sim_reset();
    const int programmer = ostrel_sim_add_programmer(1);
    ostrel_sim_set_bootloader(programmer, 3);
    ostrel_sim_set_hardware_info(programmer, "V1.7", "2.1.0", "OST000000077");
    // The programmer's firmware begins with its stack pointer and reset address.
    std::string firmware(0x3000 + 6200, '\x5A');
    firmware.replace(0x3000, 8, std::string("\x00\x00\x03\x20\x01\x31\x00\x08", 8));
    testing::writeFile(dir.file("fw.xpro"), firmware);

    RecordingForm form(ProgramPaths(dir.file("ostrel")), OSTREL_SIM_DIR "/libusb-0.1.so.4",
                       OSTREL_SIM_DIR "/libhidapi-hidraw.so.0");
    form.show();
    EXPECT_FALSE(form.N4->isVisible());
    form.ui().openPath = dir.file("fw.xpro");
    bool upgradeHeldTheLock = false, readEnabled = true;
    QTimer::singleShot(0, form.Form6, [&] {
        upgradeHeldTheLock = form.runner().lock().holder() == JobLock::Holder::Upgrade;
        readEnabled = form.ToolRead->isEnabled();
        form.Form6->BitBtn1->click();
    });
    form.N4->trigger();
    EXPECT_TRUE(upgradeHeldTheLock);
    EXPECT_FALSE(readEnabled) << "no chip command while the upgrade runs";
    EXPECT_TRUE(form.ToolRead->isEnabled());

    EXPECT_EQ(form.Form6->Edit3->text(), "OST000000077");
    EXPECT_TRUE(form.ui().boxes.empty());
    EXPECT_EQ(ostrel_sim_bootloader_finished(programmer), 1);
    // n is the whole file's length; the reports carry n bytes from offset 0x3000 on.
    EXPECT_EQ(ostrel_sim_bootloader_image(programmer, nullptr, 0), 299 * 62);
    // The presence check that the closing window brings may stand above it.
    EXPECT_TRUE(form.RichEdit1->document()->toPlainText().contains("\n固件升级完成") ||
                form.RichEdit1->document()->toPlainText().startsWith("固件升级完成"));
    form.close();
    ostrel_sim_reset();
}

}  // namespace
}  // namespace ostrel
