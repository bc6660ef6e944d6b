#include "base/program_paths.h"

#include <cerrno>

#include "base/platform.h"

namespace ostrel {

namespace {

// The name of the package's folders and files in the installed layout, the
// same for every program of the package.
constexpr const char* kPackageName = "ostrel";

std::string resolved(const std::string& path) {
    return platform::resolvedPath(path).value_or(path);
}

bool isFile(const std::string& path) {
    const auto info = platform::pathInfo(path);
    return info && info->regular;
}

std::string join(const std::string& folder, const std::string& name) {
    return (folder == "/" ? std::string() : folder) + "/" + name;
}

}  // namespace

ProgramPaths::UserFolders ProgramPaths::userFolders() {
    platform::UserFolders folders = platform::userFolders();
    return {std::move(folders.config), std::move(folders.data)};
}

std::string ProgramPaths::stateFolder() {
    return join(platform::userFolders().state, kPackageName);
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
    const bool readOnly = platform::pathExists(folder_) && !platform::mayWrite(folder_);
    installed_ = readOnly || (!besideExists && isFile(shared));
    installedCatalogue_ = besideExists ? beside : resolved(shared);
}

ProgramPaths ProgramPaths::current() {
    const std::string executable = platform::executablePath();
    return ProgramPaths(executable.empty() ? std::string("ostrel") : executable);
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
    if (const auto info = platform::pathInfo(folder)) return info->folder;
    if (!makeFolderFor(folder)) return false;
    return platform::makeFolder(folder) || errno == EEXIST;
}

}  // namespace ostrel
