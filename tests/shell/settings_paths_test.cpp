#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "base/program_paths.h"
#include "base/safe_file.h"
#include "support/temp_files.h"

namespace ostrel {
namespace {

TEST(ProgramPaths, FilesSitBesideTheProgramWithItsBaseName) {
    struct Case {
        const char* executable;
        const char* folder;
        const char* base;
        const char* catalogue;
        const char* settings;
    };
    const Case cases[] = {
        {"/opt/x/ostrel", "/opt/x", "ostrel", "/opt/x/ostrel.Dat", "/opt/x/ostrel.ini"},
        {"/opt/x/Prog.exe", "/opt/x", "Prog", "/opt/x/Prog.Dat", "/opt/x/Prog.ini"},
        {"/opt/x.y/ostrel", "/opt/x.y", "ostrel", "/opt/x.y/ostrel.Dat", "/opt/x.y/ostrel.ini"},
        {"/a.b.c", "/", "a.b", "/a.b.Dat", "/a.b.ini"},
    };
    for (const Case& c : cases) {
        const ProgramPaths p(c.executable);
        EXPECT_EQ(p.folder(), c.folder) << c.executable;
        EXPECT_EQ(p.baseName(), c.base);
        EXPECT_EQ(p.catalogueFilePath(), c.catalogue);
        EXPECT_EQ(p.settingsFilePath(), c.settings);
    }
}

TEST(ProgramPaths, SymbolicLinksAreResolved) {
    testing::TempDir dir;
    std::filesystem::create_directory(dir.file("real"));
    testing::writeFile(dir.file("real/ostrel"), "");
    std::filesystem::create_symlink(dir.file("real/ostrel"), dir.file("launcher"));
    const ProgramPaths p(dir.file("launcher"));
    EXPECT_EQ(p.catalogueFilePath(),
              std::filesystem::canonical(dir.file("real")).string() + "/ostrel.Dat");

    const ProgramPaths self = ProgramPaths::current();
    EXPECT_EQ(self.baseName(), "test_shell");
    EXPECT_TRUE(std::filesystem::is_directory(self.folder()));
}

TEST(ProgramPaths, ReplacingAFileKeepsItsModeAndWritesThroughALink) {
    testing::TempDir dir;
    const std::string real = dir.file("ostrel.ini");
    testing::writeFile(real, "old");
    std::filesystem::permissions(real, std::filesystem::perms(0640));
    std::filesystem::create_symlink(real, dir.file("link.ini"));

    ASSERT_TRUE(replaceFileContents(dir.file("link.ini"), "new"));
    EXPECT_EQ(testing::readFile(real), "new");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.ini")));
    EXPECT_EQ(std::filesystem::status(real).permissions(), std::filesystem::perms(0640));
    EXPECT_EQ(readWholeFile(dir.file("missing")), std::nullopt);
}

}  // namespace
}  // namespace ostrel
