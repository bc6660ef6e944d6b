// The main of the window test programs: the program's application object, with
// its general error handler, on the offscreen platform.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "shell/ui/application.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt wants a private runtime folder; CI machines have no login session to give one.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const std::string folder = "/tmp/ostrel-test-runtime-" + std::to_string(getuid());
        mkdir(folder.c_str(), 0700);
        chmod(folder.c_str(), 0700);
        qputenv("XDG_RUNTIME_DIR", folder.c_str());
    }
    ostrel::TApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
