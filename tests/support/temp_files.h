#pragma once
// Temporary folders for tests that read and write real files, reproducible
// content for them, and a way to make writes fail even for root (who ignores
// permissions): a file size limit.

#ifndef _WIN32
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace ostrel::testing {

class TempDir {
  public:
    TempDir() {
#ifdef _WIN32
        // A name no other test program uses at the same time: time and counter.
        static unsigned counter = 0;
        const auto base = std::filesystem::temp_directory_path();
        for (unsigned attempt = 0; path_.empty() && attempt < 1000; ++attempt) {
            const auto name = "ostrel-test-" + std::to_string(std::random_device{}()) + "-" +
                              std::to_string(++counter);
            std::error_code ec;
            if (std::filesystem::create_directory(base / name, ec))
                path_ = (base / name).generic_string();
        }
        if (path_.empty()) throw std::runtime_error("no temporary folder");
#else
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ostrel-test-XXXXXX").string();
        if (mkdtemp(&pattern[0]) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
#endif
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const {
        return path_;
    }
    std::string file(const std::string& name) const {
        return path_ + "/" + name;
    }

  private:
    std::string path_;
};

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The names of the files in a folder, sorted: what a failed save left behind.
inline std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// `count` bytes that look random and are the same for the same `seed`, for
// files and chip images.
inline std::string randomBytes(std::size_t count, uint32_t seed) {
    std::string bytes(count, '\0');
    for (char& b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<char>(seed >> 16);
    }
    return bytes;
}

#ifndef _WIN32
// While alive, no file of this process may grow beyond `bytes`: a write past
// it fails with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

// Runs `check` in a child process that has given up root, so that file
// permissions hold as they do for a user. The result is the check's answer;
// nullopt when the child could not drop its privileges. `folder` is opened to
// everybody first, so the child may create files in it.
inline std::optional<bool> runUnprivileged(const std::string& folder,
                                           const std::function<bool()>& check) {
    std::filesystem::permissions(folder, std::filesystem::perms::all);
    const pid_t child = fork();
    if (child < 0) return std::nullopt;
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return std::nullopt;
    if (WEXITSTATUS(status) == 3) return std::nullopt;
    return WEXITSTATUS(status) == 0;
}
#endif

}  // namespace ostrel::testing
