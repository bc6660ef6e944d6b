#pragma once
// Where the program's own files live, and how they are read and replaced. The
// chip catalogue and the settings file sit beside the executable and carry its
// base name: "ostrel" in /opt/x uses /opt/x/ostrel.Dat and /opt/x/ostrel.ini.

#include <optional>
#include <string>

namespace ostrel {

class ProgramPaths {
  public:
    // From a given executable path; symbolic links are resolved when the
    // file exists, so a link elsewhere still finds the files beside the target.
    explicit ProgramPaths(const std::string& executable);
    // From the running executable (/proc/self/exe).
    static ProgramPaths current();

    const std::string& executable() const { return executable_; }
    const std::string& folder() const { return folder_; }      // without a trailing '/'
    const std::string& baseName() const { return baseName_; }  // file name without extension

    // The executable's path with its extension replaced (or, having none, added).
    std::string withExtension(const std::string& extension) const;
    std::string catalogueFilePath() const { return withExtension(".Dat"); }
    std::string settingsFilePath() const { return withExtension(".ini"); }

  private:
    std::string executable_;
    std::string folder_;
    std::string baseName_;
};

}  // namespace ostrel
