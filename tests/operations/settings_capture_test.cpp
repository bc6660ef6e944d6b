// What the main window writes when it closes, from its geometry and the run's
// state, down to the file's text.
#include "operations/settings_capture.h"

#include <gtest/gtest.h>

#include "base/messages.h"
#include "catalogue/chip_selector.h"
#include "support/scripted_ui.h"
#include "support/temp_files.h"

namespace ostrel {
namespace {

TEST(SettingsCapture, TheGeometryAndTheRunsStateLandInTheTenKeysAndChipStaysAsLoaded) {
    testing::TempDir dir;
    SettingsFile file(dir.file("ostrel.ini"));
    testing::writeFile(file.path(), "[DEVICE]\nchip=1\n");
    const Settings loaded = loadSettings(file);
    testing::ScriptedUi ui;
    const Settings captured =
        capturedSettings(loaded, {-8, 37, 1024, 640, true}, 3, LangEnglish, {4, 5, 6});
    EXPECT_EQ(captured.chip, 1);
    ASSERT_TRUE(saveSettings(file, captured));
    EXPECT_EQ(testing::readFile(file.path()),
              "[DEVICE]\nchip=1\nSPEED=3\nLANGU=2\n"
              "[Environment]\nFormHeight=640\nFormWidth=1024\nFormTop=37\nFormLeft=-8\nFormMax=1\n"
              "[CHIP]\nINDEX1=4\nINDEX2=5\nINDEX3=6\n");
}

}  // namespace
}  // namespace ostrel
