#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/program_paths.h"
#include "base/safe_file.h"
#include "base/settings_file.h"
#include "support/scripted_ui.h"
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
    EXPECT_EQ(self.baseName(), "test_base");
    EXPECT_TRUE(std::filesystem::is_directory(self.folder()));
}

// The two layouts, set up in a temporary folder: what is there decides where
// the catalogue is read and saved and where the settings go.
TEST(ProgramPaths, BesideTheProgramOrInTheUsersFolders) {
    struct Case {
        const char* name;
        std::vector<const char*> files;  // present before the program asks
        bool installed;
        const char* catalogue;  // below the temporary folder
        const char* saveTo;
        const char* settings;
    };
    const Case cases[] = {
        {"build folder",
         {"bin/ostrel.Dat"},
         false,
         "bin/ostrel.Dat",
         "bin/ostrel.Dat",
         "bin/ostrel.ini"},
        {"portable copy without a catalogue",
         {},
         false,
         "bin/ostrel.Dat",
         "bin/ostrel.Dat",
         "bin/ostrel.ini"},
        {"both beside and installed: beside wins",
         {"bin/ostrel.Dat", "share/ostrel/ostrel.Dat"},
         false,
         "bin/ostrel.Dat",
         "bin/ostrel.Dat",
         "bin/ostrel.ini"},
        {"installed, the user has no copy",
         {"share/ostrel/ostrel.Dat"},
         true,
         "share/ostrel/ostrel.Dat",
         "data/ostrel/ostrel.Dat",
         "config/ostrel/ostrel.ini"},
        {"installed, the user's copy is read",
         {"share/ostrel/ostrel.Dat", "data/ostrel/ostrel.Dat"},
         true,
         "data/ostrel/ostrel.Dat",
         "data/ostrel/ostrel.Dat",
         "config/ostrel/ostrel.ini"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempDir dir;
        const std::string root = std::filesystem::canonical(dir.path()).string() + "/";
        std::filesystem::create_directories(root + "bin");
        testing::writeFile(root + "bin/ostrel", "");
        for (const char* f : c.files) {
            std::filesystem::create_directories(std::filesystem::path(root + f).parent_path());
            testing::writeFile(root + f, "");
        }
        const ProgramPaths p(root + "bin/ostrel", {root + "config", root + "data"});
        EXPECT_EQ(p.installed(), c.installed);
        EXPECT_EQ(p.catalogueFilePath(), root + c.catalogue);
        EXPECT_EQ(p.settingsFilePath(), root + c.settings);
        EXPECT_EQ(p.catalogueSavePath(), root + c.saveTo);
        EXPECT_TRUE(std::filesystem::is_directory(
            std::filesystem::path(p.catalogueSavePath()).parent_path()))
            << "the folder for the editor's save exists once it asked";
        // The first write of the settings makes its folder.
        testing::ScriptedUi ui;
        SettingsFile settings(p.settingsFilePath());
        EXPECT_TRUE(settings.writeInteger("DEVICE", "LANGU", 2));
        EXPECT_EQ(settings.readInteger("DEVICE", "LANGU", 0), 2);
        EXPECT_TRUE(ui.boxes.empty());
    }
}

TEST(ProgramPaths, AFolderTheUserCannotWriteIsAnInstalledOne) {
    testing::TempDir dir;
    const std::string root = std::filesystem::canonical(dir.path()).string() + "/";
    std::filesystem::create_directories(root + "opt");
    testing::writeFile(root + "opt/ostrel", "");
    testing::writeFile(root + "opt/ostrel.Dat", "");
    std::filesystem::permissions(root + "opt", std::filesystem::perms(0755));
    const auto ok = testing::runUnprivileged(dir.path(), [&] {
        const ProgramPaths p(root + "opt/ostrel", {root + "config", root + "data"});
        // The catalogue beside the program is the installed default.
        return p.installed() && p.catalogueFilePath() == root + "opt/ostrel.Dat" &&
               p.settingsFilePath() == root + "config/ostrel/ostrel.ini";
    });
    ASSERT_TRUE(ok.has_value()) << "could not run as an ordinary user";
    EXPECT_TRUE(*ok);
}

TEST(ProgramPaths, UserFoldersFollowXdgAndHome) {
    struct Case {
        const char* home;
        const char* config;  // null: unset
        const char* data;
        const char* wantConfig;
        const char* wantData;
    };
    const Case cases[] = {
        {"/home/u", nullptr, nullptr, "/home/u/.config", "/home/u/.local/share"},
        {"/home/u/", "/x/conf/", "/x/data", "/x/conf", "/x/data"},
        // Relative values are not to be used.
        {"/home/u", "conf", "", "/home/u/.config", "/home/u/.local/share"},
    };
    const auto keep = [](const char* name) {
        const char* v = getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    const auto put = [](const char* name, const char* value) {
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    };
    const auto home = keep("HOME"), config = keep("XDG_CONFIG_HOME"), data = keep("XDG_DATA_HOME");
    for (const Case& c : cases) {
        put("HOME", c.home);
        put("XDG_CONFIG_HOME", c.config);
        put("XDG_DATA_HOME", c.data);
        const ProgramPaths::UserFolders u = ProgramPaths::userFolders();
        EXPECT_EQ(u.config, c.wantConfig) << c.home << " " << (c.config ? c.config : "-");
        EXPECT_EQ(u.data, c.wantData);
    }
    put("HOME", home ? home->c_str() : nullptr);
    put("XDG_CONFIG_HOME", config ? config->c_str() : nullptr);
    put("XDG_DATA_HOME", data ? data->c_str() : nullptr);
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
