#pragma once
// Reading and writing whole files so that a failed write never damages what
// was there: new content goes into a fresh file beside the old one, which is
// renamed over it only when everything was written. The catalogue, the
// settings and the data files are all saved this way.

#include <cstddef>
#include <optional>
#include <string>

namespace ostrel {

// Writes all `count` bytes, retrying short writes; false on any failure,
// errno saying why (EIO for a write that took nothing and gave no error).
bool writeAll(int fd, const void* data, std::size_t count);
// The same through `write`, a stand-in for the system's write().
bool writeAllWith(long (*write)(int, const void*, std::size_t), int fd, const void* data,
                  std::size_t count);

// Whether something (a file, a folder, a device) is at `path`.
bool fileExists(const std::string& path);

// The whole content of a file; nullopt when it cannot be opened or read.
std::optional<std::string> readWholeFile(const std::string& path);

// A new file being written in place of `path`. A symbolic link is followed, so
// the link keeps naming the replaced file; the new file takes the old one's
// permissions (a file that did not exist gets the usual ones). Until commit()
// the old file stays as it was; a replacement that is not committed is removed.
// Only a regular file is replaced: a device, a FIFO or a socket is opened and
// written in place (there is nothing to keep whole), and a folder is refused.
class FileReplacement {
  public:
    explicit FileReplacement(const std::string& path);
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // False when the new file could not be created (no folder, no permission),
    // the old file may not be written, or the path names a folder; error()
    // then holds the reason (an errno value, EISDIR for a folder).
    bool ready() const { return fd_ >= 0; }
    int error() const { return error_; }
    int fd() const { return fd_; }
    // True when the path is written in place rather than replaced.
    bool inPlace() const { return scratch_.empty(); }
    // Flushes the new file to the disk, closes it and renames it over the old
    // one, the folder flushed after: once it returns true, a power cut leaves
    // the new content under the name, never an empty or old file (a file
    // written in place is only closed). On failure error() holds the reason.
    bool commit();

  private:
    std::string destination_;
    std::string scratch_;
    int fd_ = -1;
    int error_ = 0;
};

// Replaces the file's content in one step through a FileReplacement. Returns
// false on failure; the old file is then untouched.
bool replaceFileContents(const std::string& path, const std::string& content);

}  // namespace ostrel
