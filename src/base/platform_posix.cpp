#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <iconv.h>
#include <link.h>
#include <openssl/evp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "base/platform.h"

namespace ostrel::platform {

namespace {

std::optional<PathInfo> infoOf(const struct stat& st) {
    PathInfo info;
    info.regular = S_ISREG(st.st_mode);
    info.folder = S_ISDIR(st.st_mode);
    info.mode = st.st_mode & 07777;
    info.size = static_cast<int64_t>(st.st_size);
    info.device = static_cast<uint64_t>(st.st_dev);
    info.file = static_cast<uint64_t>(st.st_ino);
    return info;
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return withoutTrailingSlashes(home);
    const passwd* entry = getpwuid(getuid());
    if (entry != nullptr && entry->pw_dir != nullptr && entry->pw_dir[0] == '/')
        return withoutTrailingSlashes(entry->pw_dir);
    return "/";
}

// A relative XDG value is ignored, as the XDG rules say.
std::string xdgFolder(const char* variable, const char* belowHome) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') return withoutTrailingSlashes(value);
    const std::string home = homeFolder();
    return (home == "/" ? std::string() : home) + belowHome;
}

volatile std::sig_atomic_t* interruptFlag = nullptr;

extern "C" void onSignal(int signal) {
    if (*interruptFlag) {
        // A second Ctrl+C: the user no longer waits for the block to end.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    *interruptFlag = 1;
}

}  // namespace

int openFile(const std::string& path, int flags, int mode) {
    int fd;
    do fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

std::FILE* openStream(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

std::optional<PathInfo> pathInfo(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return infoOf(st);
}

std::optional<PathInfo> fileInfo(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    return infoOf(st);
}

bool pathExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool mayWrite(const std::string& path) {
    return ::access(path.c_str(), W_OK) == 0;
}

std::optional<std::string> resolvedPath(const std::string& path) {
    std::unique_ptr<char, decltype(&free)> real(::realpath(path.c_str(), nullptr), &free);
    if (!real) return std::nullopt;
    return std::string(real.get());
}

bool makeFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0700) == 0;
}

bool removeFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

int makeUniqueFile(std::string& nameTemplate) {
    return ::mkstemp(&nameTemplate[0]);
}

void setFileMode(int fd, std::optional<uint32_t> mode) {
    if (!mode) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, static_cast<mode_t>(*mode));
}

bool replaceFile(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0 && flushFolderOf(to);
}

bool linkNewFile(const std::string& from, const std::string& to) {
    return ::link(from.c_str(), to.c_str()) == 0 && flushFolderOf(to);
}

bool flushToDisk(int fd) {
    int done;
    do done = ::fsync(fd);
    while (done != 0 && errno == EINTR);
    return done == 0;
}

bool flushFolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    // A folder the user may write but not read cannot be opened; SQLite gives
    // up there too, as there is no other way to flush it.
    const int fd = openFile(folder, O_RDONLY | O_DIRECTORY);
    if (fd < 0) return true;
    const bool flushed = flushToDisk(fd);
    const int error = errno;
    ::close(fd);
    // EINVAL: a file system that does not flush folders.
    if (flushed || error == EINVAL) return true;
    errno = error;
    return false;
}

bool truncateFile(int fd, int64_t size) {
    return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

long readAt(int fd, void* buffer, std::size_t count, int64_t offset) {
    ssize_t got;
    do got = ::pread(fd, buffer, std::min(count, kMostPerCall), static_cast<off_t>(offset));
    while (got < 0 && errno == EINTR);
    return got;
}

long writeAt(int fd, const void* buffer, std::size_t count, int64_t offset) {
    ssize_t written;
    do written = ::pwrite(fd, buffer, std::min(count, kMostPerCall), static_cast<off_t>(offset));
    while (written < 0 && errno == EINTR);
    return written;
}

long readSome(int fd, void* buffer, std::size_t count) {
    ssize_t got;
    do got = ::read(fd, buffer, std::min(count, kMostPerCall));
    while (got < 0 && errno == EINTR);
    return got;
}

long writeSome(int fd, const void* buffer, std::size_t count) {
    ssize_t written;
    do written = ::write(fd, buffer, std::min(count, kMostPerCall));
    while (written < 0 && errno == EINTR);
    return written;
}

// Not retried on EINTR: Linux has closed the descriptor all the same, and
// another thread may already have its number.
bool closeFile(int fd) {
    return ::close(fd) == 0;
}

int64_t filePosition(int fd) {
    return ::lseek(fd, 0, SEEK_CUR);
}

bool rewindFile(int fd) {
    return ::lseek(fd, 0, SEEK_SET) == 0;
}

bool lockFile(int fd, bool exclusive) {
    int locked;
    do locked = ::flock(fd, exclusive ? LOCK_EX : LOCK_SH);
    while (locked != 0 && errno == EINTR);
    return locked == 0;
}

bool tryLockFile(int fd) {
    int locked;
    do locked = ::flock(fd, LOCK_EX | LOCK_NB);
    while (locked != 0 && errno == EINTR);
    return locked == 0;
}

int processId() {
    return static_cast<int>(::getpid());
}

std::vector<std::string> folderEntries(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') names.push_back(entry->d_name);
        closedir(dir);
    }
    return names;
}

std::string linkTarget(const std::string& path) {
    char target[4096];
    const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
    return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

std::tm localTime(std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    return local;
}

std::tm utcTime(std::time_t time) {
    std::tm utc{};
    gmtime_r(&time, &utc);
    return utc;
}

std::time_t timeFromUtc(std::tm& parts) {
    return timegm(&parts);
}

uint8_t* reserveArea(std::size_t size, std::size_t alignment) {
    const std::size_t mapped = size + alignment;
    void* area = mmap(nullptr, mapped, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (area == MAP_FAILED) return nullptr;
    const auto base = reinterpret_cast<std::uintptr_t>(area);
    const std::uintptr_t aligned = (base + alignment - 1) / alignment * alignment;
    if (aligned > base) munmap(area, aligned - base);
    const std::size_t tail = base + mapped - (aligned + size);
    if (tail > 0) munmap(reinterpret_cast<void*>(aligned + size), tail);
    auto* bytes = reinterpret_cast<uint8_t*>(aligned);
    // Where the kernel gives large pages, a fill takes far fewer page faults.
    madvise(bytes, size, MADV_HUGEPAGE);
    return bytes;
}

void releaseArea(uint8_t* area, std::size_t size) {
    munmap(area, size);
}

void discardPages(uint8_t* area, std::size_t size) {
    madvise(area, size, MADV_DONTNEED);
}

const void* findLastByte(const void* data, int byte, std::size_t count) {
    return memrchr(data, byte, count);
}

void* loadLibrary(const std::string& name) {
    return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void unloadLibrary(void* library) {
    if (library != nullptr) dlclose(library);
}

void* librarySymbol(void* library, const char* name) {
    return library != nullptr ? dlsym(library, name) : nullptr;
}

std::string libraryFile(void* library) {
    link_map* map = nullptr;
    if (library == nullptr || dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr ||
        map->l_name == nullptr)
        return {};
    char resolved[PATH_MAX];
    return realpath(map->l_name, resolved) != nullptr ? resolved : map->l_name;
}

const char* usbLibraryName() {
    return "libusb-0.1.so.4";
}
const char* hidLibraryName() {
    return "libhidapi-hidraw.so.0";
}

// libusb sees every device on Linux, driver or not.
std::vector<UsbDeviceEntry> usbDevices() {
    return {};
}

std::string executablePath() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    return std::string(buffer, static_cast<std::size_t>(n));
}

UserFolders userFolders() {
    return {xdgFolder("XDG_CONFIG_HOME", "/.config"), xdgFolder("XDG_DATA_HOME", "/.local/share"),
            xdgFolder("XDG_STATE_HOME", "/.local/state")};
}

std::string hostName() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) return {};
    return host;
}

std::string systemDescription() {
    utsname system{};
    if (uname(&system) != 0) return {};
    return std::string(system.sysname) + " " + system.release + " " + system.machine;
}

bool standardErrorIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

void prepareConsole(int&, char**&) {}

void installInterruptHandler(volatile std::sig_atomic_t* flag) {
    interruptFlag = flag;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

namespace {

// glibc knows code page 936 as "CP936"; some iconv builds only as "GBK".
iconv_t openConverter(bool toGbk) {
    for (const char* gbkName : {"CP936", "GBK"}) {
        iconv_t cd = toGbk ? iconv_open(gbkName, "UTF-8") : iconv_open("UTF-8", gbkName);
        if (cd != reinterpret_cast<iconv_t>(-1)) return cd;
    }
    throw std::runtime_error("iconv knows neither CP936 nor GBK");
}

void skipUtf8Tail(char*& src, size_t& left) {
    while (left > 0 && (static_cast<unsigned char>(*src) & 0xC0) == 0x80) {
        ++src;
        --left;
    }
}

}  // namespace

std::string convertGbk(const std::string& in, bool toGbk, const char* replacement, bool* clean) {
    const iconv_t cd = openConverter(toGbk);
    std::string out;
    out.reserve(in.size() * 2 + 4);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    bool ok = true;
    char buffer[256];
    for (;;) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        const size_t r = srcLeft == 0 ? iconv(cd, nullptr, nullptr, &dst, &dstLeft)
                                      : iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<size_t>(dst - buffer));
        if (r != static_cast<size_t>(-1)) {
            if (srcLeft == 0) break;
            continue;
        }
        if (errno == E2BIG) continue;
        if (srcLeft == 0) {  // the final flush refused: nothing left to step over
            ok = false;
            break;
        }
        // EILSEQ (not convertible) or EINVAL (cut off at the end): mark the
        // spot and go on behind it.
        ok = false;
        out += replacement;
        ++src;
        --srcLeft;
        if (toGbk) skipUtf8Tail(src, srcLeft);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    if (clean) *clean = ok;
    return out;
}

struct Sha256::State {
    EVP_MD_CTX* context = nullptr;
    bool ok = false;
};

Sha256::Sha256() : state_(new State) {
    state_->context = EVP_MD_CTX_new();
    state_->ok = state_->context != nullptr &&
                 EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(state_->context);
}

bool Sha256::update(const uint8_t* data, std::size_t length) {
    state_->ok = state_->ok && EVP_DigestUpdate(state_->context, data, length) == 1;
    return state_->ok;
}

bool Sha256::finish(std::array<uint8_t, 32>& digest) {
    unsigned int length = 0;
    state_->ok = state_->ok && EVP_DigestFinal_ex(state_->context, digest.data(), &length) == 1 &&
                 length == digest.size();
    return state_->ok;
}

}  // namespace ostrel::platform
