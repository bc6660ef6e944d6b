#pragma once
// Where the program's own files live: the chip catalogue and the settings file.
// Every program of the package (the window, ostrel-cli, ostrel-convert) asks
// here, so they all use the same files.
//
// Two layouts:
//  - Beside the program (a build folder, a portable copy): the files sit next
//    to the executable and carry its base name: "ostrel" in /opt/x uses
//    /opt/x/ostrel.Dat and /opt/x/ostrel.ini. This is the layout whenever the
//    executable's folder may be written, unless it is an installed one below.
//  - Installed (/usr/bin/ostrel): the settings live in the user's
//    configuration folder ($XDG_CONFIG_HOME/ostrel/ostrel.ini, by default
//    ~/.config), the catalogue is read from the user's data folder
//    ($XDG_DATA_HOME/ostrel/ostrel.Dat, by default ~/.local/share) when the
//    user has a copy there, else from the installed default: the one beside
//    the program if there is one, else <prefix>/share/ostrel/ostrel.Dat found
//    from the executable's folder (<prefix>/bin). The catalogue editor saves
//    to the user's copy. A folder is installed when it cannot be written, and
//    also when it holds no catalogue while <prefix>/share/ostrel holds one:
//    root may write /usr/bin, yet his settings do not belong there.
//    On Windows the user's folders are all %LOCALAPPDATA%: the settings and
//    the user's catalogue go to %LOCALAPPDATA%\ostrel.

#include <string>

namespace ostrel {

class ProgramPaths {
  public:
    // The user's base folders, absolute and without a trailing '/'.
    struct UserFolders {
        std::string config;  // $XDG_CONFIG_HOME, else $HOME/.config
        std::string data;    // $XDG_DATA_HOME, else $HOME/.local/share
    };
    // From the environment; a relative XDG value is ignored as the XDG rules
    // say, and without HOME the password database names the home folder.
    static UserFolders userFolders();
    // Where the program keeps what outlives a run, such as production logs:
    // $XDG_STATE_HOME/ostrel, else $HOME/.local/state/ostrel (on Windows
    // %LOCALAPPDATA%\ostrel). Not created here.
    static std::string stateFolder();

    // From a given executable path; symbolic links are resolved when the
    // file exists, so a link elsewhere still finds the files beside the target.
    explicit ProgramPaths(const std::string& executable, UserFolders user = userFolders());
    // From the running executable (/proc/self/exe).
    static ProgramPaths current();

    const std::string& executable() const { return executable_; }
    const std::string& folder() const { return folder_; }      // without a trailing '/'
    const std::string& baseName() const { return baseName_; }  // file name without extension
    bool installed() const { return installed_; }

    // The executable's path with its extension replaced (or, having none, added).
    std::string withExtension(const std::string& extension) const;

    // The catalogue to read. Its absence is no error: the lists stay empty.
    std::string catalogueFilePath() const;
    // Where the catalogue editor writes. In the installed layout this is the
    // user's copy, and its folder is created here (a folder that cannot be
    // created shows up as the write's own failure).
    std::string catalogueSavePath() const;
    // The settings file. Its folder is made by the first write.
    std::string settingsFilePath() const;

  private:
    std::string userCataloguePath() const;

    std::string executable_;
    std::string folder_;
    std::string baseName_;
    UserFolders user_;
    bool installed_ = false;
    std::string installedCatalogue_;  // the installed default, in the installed layout
};

// Creates the folder that will hold `path`, and the folders above it, as
// needed (mode 0700 for new ones: they hold one user's files). True when the
// folder exists afterwards.
bool makeFolderFor(const std::string& path);

}  // namespace ostrel
