#pragma once
// What the program needs of the operating system, in one place: files named
// in UTF-8, locks, the time of day, large buffers, libraries loaded by name,
// the user's folders, Ctrl+C, the console, GBK text and SHA-256. The build
// compiles one implementation: platform_posix.cpp or platform_windows.cpp.
// Everything else in the program (apart from the USB and HID transports)
// reaches the system only through here.
//
// File descriptors are the C runtime's, read, written and closed through
// readSome(), writeSome() and closeFile() on every system. Failures leave
// errno set, as the C calls do.

#include <array>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ostrel::platform {

#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

// ---- Files. Every path is UTF-8.

// The characters that end a folder's name in a path.
#ifdef _WIN32
inline constexpr const char* kPathSeparators = "/\\";
#else
inline constexpr const char* kPathSeparators = "/";
#endif

// open() with the file kept from child processes and, on systems that tell
// text from binary, in binary; retried when a signal interrupts it.
int openFile(const std::string& path, int flags, int mode = 0666);
// fopen() for a UTF-8 path; the file takes the bytes as written (no line
// ends changed on systems that tell text from binary).
std::FILE* openStream(const std::string& path, const char* mode);

struct PathInfo {
    bool regular = false;
    bool folder = false;
    uint32_t mode = 0;  // permission bits
    int64_t size = 0;
    // Which file it is: the same two numbers for every name and descriptor
    // of one file (0 and 0 where the system does not say, as on Windows).
    uint64_t device = 0;
    uint64_t file = 0;
};
// What is at `path` (links followed); nullopt when nothing is or it cannot be seen.
std::optional<PathInfo> pathInfo(const std::string& path);
std::optional<PathInfo> fileInfo(int fd);
bool pathExists(const std::string& path);
// Whether the file or folder may be written; errno says why not.
bool mayWrite(const std::string& path);
// The absolute path with links resolved, or nullopt when it does not exist.
std::optional<std::string> resolvedPath(const std::string& path);
// Creates one folder (for the user alone where the system has such rights).
bool makeFolder(const std::string& path);
bool removeFile(const std::string& path);
// Creates a new file from a name ending in "XXXXXX", which are replaced to
// make it unique; returns its descriptor, or -1.
int makeUniqueFile(std::string& nameTemplate);
// Gives a new file its mode, or the mode new files get (0666 less the umask).
void setFileMode(int fd, std::optional<uint32_t> mode);
// Puts `from` in the place of `to` in one step, replacing what was there, and
// has the change reach the disk before it returns (its folder flushed).
// `from` should have been flushed first, or the new name may come to the disk
// before the content it names.
bool replaceFile(const std::string& from, const std::string& to);
// Makes a copy of `from` appear as `to` only when nothing is there yet, its
// folder flushed as replaceFile() does.
bool linkNewFile(const std::string& from, const std::string& to);
// Has an open file's content reach the disk.
bool flushToDisk(int fd);
// Has the folder holding `path` reach the disk, so that a file created,
// renamed or linked there keeps its name after a power cut. True where there
// is nothing to flush: a folder that cannot be opened for reading, a file
// system that does not flush folders, Windows (which keeps names itself).
bool flushFolderOf(const std::string& path);
bool truncateFile(int fd, int64_t size);
// Reads or writes at an offset without moving the file position for others;
// the count done, or -1. Retried when a signal interrupts them; a call does
// at most kMostPerCall bytes.
long readAt(int fd, void* buffer, std::size_t count, int64_t offset);
long writeAt(int fd, const void* buffer, std::size_t count, int64_t offset);
// read() and write() at the file position: the count done, or -1; retried
// when a signal interrupts them, at most kMostPerCall bytes a call.
long readSome(int fd, void* buffer, std::size_t count);
long writeSome(int fd, const void* buffer, std::size_t count);
// So that the count fits every system's call and the result a long.
inline constexpr std::size_t kMostPerCall = std::size_t{1} << 30;
// close(); false when it failed (the descriptor is gone all the same).
bool closeFile(int fd);
int64_t filePosition(int fd);
bool rewindFile(int fd);
// Waits for a lock on the whole file, released when the descriptor closes.
bool lockFile(int fd, bool exclusive);
// Takes an exclusive lock on the whole file only when nobody holds one:
// false at once otherwise (or when the file cannot be locked).
bool tryLockFile(int fd);
int processId();
// The names in a folder, without the hidden ones ("." and ".." included); empty when it cannot be
// read.
std::vector<std::string> folderEntries(const std::string& path);
// What a symbolic link points to; empty when it is none.
std::string linkTarget(const std::string& path);

// ---- Time of day.
std::tm localTime(std::time_t time);
std::tm utcTime(std::time_t time);
// The time of a broken-down UTC date, normalised in `parts` as mktime does; -1 on failure.
std::time_t timeFromUtc(std::tm& parts);

// ---- Memory.
// An area of `size` bytes (a multiple of `alignment`) that takes memory only
// where it is touched, aligned to `alignment`; null when none is left.
uint8_t* reserveArea(std::size_t size, std::size_t alignment);
void releaseArea(uint8_t* area, std::size_t size);
// Gives the pages back; they read as zeros afterwards.
void discardPages(uint8_t* area, std::size_t size);
// memrchr().
const void* findLastByte(const void* data, int byte, std::size_t count);

// ---- Libraries loaded at run time.
void* loadLibrary(const std::string& name);
void unloadLibrary(void* library);
void* librarySymbol(void* library, const char* name);
// The file a loaded library came from, with its links resolved; empty for a
// null handle.
std::string libraryFile(void* library);
// The name the USB library goes by on this system.
const char* usbLibraryName();
const char* hidLibraryName();

// ---- USB devices as the system lists them, served by a driver or not.
struct UsbDeviceEntry {
    std::vector<std::string> hardwareIds;  // "USB\VID_1FC8&PID_300B&REV_0100", ...
    std::string name;                      // as the system shows it to the user
    std::string driver;                    // the driver's service ("libusb0"); empty: none
};
// Windows asks SetupAPI; empty where the USB library sees every device anyway.
std::vector<UsbDeviceEntry> usbDevices();

// ---- The program and its user.
// The running program's file.
std::string executablePath();
struct UserFolders {
    std::string config;  // settings
    std::string data;    // the user's catalogue
    std::string state;   // what outlives a run (production logs), as the parent of "ostrel"
};
// Absolute, without a trailing separator.
UserFolders userFolders();
// This computer's name; empty when it has none.
std::string hostName();
// The system's name, version and machine, for a diagnosis report.
std::string systemDescription();
// Whether standard error is a terminal (a console window).
bool standardErrorIsTerminal();
// Makes the console show UTF-8 and the standard streams carry bytes as they
// are, and has `argv` hold the arguments in UTF-8; called first thing in main.
void prepareConsole(int& argc, char**& argv);
// The first Ctrl+C (or termination request) sets `*flag`; a second one ends
// the program at once.
void installInterruptHandler(volatile std::sig_atomic_t* flag);

// ---- Text: code page 936 (GBK) and UTF-8, both ways. A byte or character
// that cannot be converted becomes `replacement` and `clean` turns false; from
// UTF-8, a refused character's continuation bytes go with it.
std::string convertGbk(const std::string& in, bool toGbk, const char* replacement, bool* clean);

// ---- SHA-256, fed in pieces.
class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    bool update(const uint8_t* data, std::size_t length);
    // False when the system's hash failed: the digest is then no figure.
    bool finish(std::array<uint8_t, 32>& digest);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace ostrel::platform
