#include "base/program_paths.h"

#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace ostrel {

namespace {

// The name of the package's folders and files in the installed layout, the
// same for every program of the package.
constexpr const char* kPackageName = "ostrel";

std::string resolved(const std::string& path) {
    std::unique_ptr<char, decltype(&free)> real(realpath(path.c_str(), nullptr), &free);
    return real ? std::string(real.get()) : path;
}

bool isFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string homeFolder() {
    const char* home = getenv("HOME");
    if (home != nullptr && home[0] == '/') return withoutTrailingSlashes(home);
    const passwd* entry = getpwuid(getuid());
    if (entry != nullptr && entry->pw_dir != nullptr && entry->pw_dir[0] == '/')
        return withoutTrailingSlashes(entry->pw_dir);
    return "/";
}

std::string xdgFolder(const char* variable, const char* belowHome) {
    const char* value = getenv(variable);
    if (value != nullptr && value[0] == '/') return withoutTrailingSlashes(value);
    const std::string home = homeFolder();
    return (home == "/" ? std::string() : home) + belowHome;
}

std::string join(const std::string& folder, const std::string& name) {
    return (folder == "/" ? std::string() : folder) + "/" + name;
}

}  // namespace

ProgramPaths::UserFolders ProgramPaths::userFolders() {
    return {xdgFolder("XDG_CONFIG_HOME", "/.config"), xdgFolder("XDG_DATA_HOME", "/.local/share")};
}

std::string ProgramPaths::stateFolder() {
    return join(xdgFolder("XDG_STATE_HOME", "/.local/state"), kPackageName);
}

ProgramPaths::ProgramPaths(const std::string& executable, UserFolders user)
    : executable_(resolved(executable)), user_(std::move(user)) {
    const std::size_t slash = executable_.rfind('/');
    folder_ = slash == std::string::npos ? std::string(".") : executable_.substr(0, slash);
    if (slash == 0) folder_ = "/";
    const std::string file =
        slash == std::string::npos ? executable_ : executable_.substr(slash + 1);
    // A leading dot marks a hidden file, not an extension.
    const std::size_t dot = file.rfind('.');
    baseName_ = dot == std::string::npos || dot == 0 ? file : file.substr(0, dot);

    const std::string beside = withExtension(".Dat");
    const std::string shared =
        join(folder_, std::string("../share/") + kPackageName + "/" + kPackageName + ".Dat");
    const bool besideExists = isFile(beside);
    // A folder that is not there (a path given by a test) is taken as a portable one.
    const bool readOnly = access(folder_.c_str(), F_OK) == 0 && access(folder_.c_str(), W_OK) != 0;
    installed_ = readOnly || (!besideExists && isFile(shared));
    installedCatalogue_ = besideExists ? beside : resolved(shared);
}

ProgramPaths ProgramPaths::current() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return ProgramPaths("ostrel");
    return ProgramPaths(std::string(buffer, static_cast<std::size_t>(n)));
}

std::string ProgramPaths::withExtension(const std::string& extension) const {
    return join(folder_, baseName_ + extension);
}

std::string ProgramPaths::userCataloguePath() const {
    return join(user_.data, std::string(kPackageName) + "/" + kPackageName + ".Dat");
}

std::string ProgramPaths::catalogueFilePath() const {
    if (!installed_) return withExtension(".Dat");
    const std::string own = userCataloguePath();
    return isFile(own) ? own : installedCatalogue_;
}

std::string ProgramPaths::catalogueSavePath() const {
    if (!installed_) return withExtension(".Dat");
    const std::string own = userCataloguePath();
    makeFolderFor(own);
    return own;
}

std::string ProgramPaths::settingsFilePath() const {
    if (!installed_) return withExtension(".ini");
    return join(user_.config, std::string(kPackageName) + "/" + kPackageName + ".ini");
}

bool makeFolderFor(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return true;
    const std::string folder = path.substr(0, slash);
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    if (!makeFolderFor(folder)) return false;
    return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace ostrel
