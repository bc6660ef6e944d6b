#include "cli/file_words.h"

#include <cerrno>
#include <cstring>

#include "base/platform.h"
#include "base/texts.h"

namespace ostrel::cli {
namespace {

std::string reason(int error) {
    return std::strerror(error);
}

std::string withReason(const std::string& text, int error) {
    return error != 0 ? text + ": " + reason(error) : text;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of(platform::kPathSeparators);
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Whether the folder takes a new file: tried with one of its own.
int folderRefusal(const std::string& folder) {
    std::string probe = folder + "/.ostrel-cli-XXXXXX";
    const int fd = platform::makeUniqueFile(probe);
    if (fd < 0) return errno;
    platform::closeFile(fd);
    platform::removeFile(probe);
    return 0;
}

}  // namespace

std::string loadFailureLine(const LoadResult& result, const std::string& path, int language) {
    switch (result.fault) {
        case FileFault::None:
            return {};
        case FileFault::CannotOpen:
            return withReason(fillIn(programText(Txt::CannotOpenFile, language), {path}),
                              result.error);
        case FileFault::ReadFailed:
            return withReason(programText(Txt::ErrorReadingFile, language), result.error);
        case FileFault::TooBig:
            return programText(Txt::FileTooBigForBuffer, language);
        case FileFault::Record:
            if (result.record == RecordFault::FileEnded)
                return programText(Txt::FileMayBeCutOff, language);
            return fillIn(programText(Txt::RecordErrorAtLine, language),
                          {std::to_string(result.line), recordFaultText(result.record)});
        case FileFault::RecordText:
            return fillIn(programText(Txt::RecordTextUnderRawName, language),
                          {path, formatName(result.format)});
        case FileFault::IsFolder:
        case FileFault::CannotCreate:
        case FileFault::WriteFailed:
            break;
    }
    return programText(Txt::ErrorReadingFile, language);
}

std::string saveFailureLine(const SaveResult& result, const std::string& path, int language) {
    if (result.fault == FileFault::WriteFailed)
        return fillIn(programText(Txt::CliWriteFailed, language), {path, reason(result.error)});
    return withReason(fillIn(programText(Txt::CannotCreateFile, language), {path}), result.error);
}

std::string outputRefusal(const std::string& path, bool force, int language) {
    if (path == kStandardStream) return {};
    const auto text = [language](Txt key, std::initializer_list<std::string> values) {
        return fillIn(programText(key, language), values);
    };
    const std::optional<platform::PathInfo> info = platform::pathInfo(path);
    if (!info) {
        if (folderRefusal(folderOf(path)) != 0) return text(Txt::CliOutputUncreatable, {path});
        return {};
    }
    if (info->folder) return text(Txt::CliOutputIsFolder, {path});
    if (!force) return text(Txt::CliOutputExists, {path});
    // A device or a FIFO is written in place; a file is replaced by a new one
    // made beside it, so its folder must take one too.
    if (!platform::mayWrite(path)) return text(Txt::CliOutputUnwritable, {path, reason(errno)});
    if (info->regular) {
        const int refused = folderRefusal(folderOf(platform::resolvedPath(path).value_or(path)));
        if (refused != 0) return text(Txt::CliOutputUnwritable, {path, reason(refused)});
    }
    return {};
}

}  // namespace ostrel::cli
