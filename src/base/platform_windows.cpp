// clang-format off
#include <windows.h>
#include <bcrypt.h>
#include <setupapi.h>
#include <shellapi.h>
// clang-format on
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "base/platform.h"
#include "base/platform_windows_text.h"

namespace ostrel::platform {

std::wstring wide(const std::string& text) {
    if (text.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

namespace {

std::string narrow(const wchar_t* text, int length = -1) {
    if (length == 0) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
    if (length < 0 && !out.empty()) out.pop_back();  // the terminating zero
    return out;
}

std::string forwardSlashes(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    while (path.size() > 3 && path.back() == '/') path.pop_back();
    return path;
}

// errno for the last Windows error, as the C runtime would set it.
int errnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return EACCES;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        default:
            return EIO;
    }
}

bool failed() {
    errno = errnoOf(GetLastError());
    return false;
}

HANDLE handleOf(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

std::optional<PathInfo> infoOf(const struct _stati64& st) {
    PathInfo info;
    info.regular = (st.st_mode & _S_IFMT) == _S_IFREG;
    info.folder = (st.st_mode & _S_IFMT) == _S_IFDIR;
    info.mode = st.st_mode & 0777;
    info.size = static_cast<int64_t>(st.st_size);
    return info;
}

volatile std::sig_atomic_t* interruptFlag = nullptr;

BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    // A second Ctrl+C: the user no longer waits for the block to end, and the
    // system's own handler ends the program.
    if (*interruptFlag) return FALSE;
    *interruptFlag = 1;
    return TRUE;
}

// The arguments in UTF-8, kept for the program's whole run.
std::vector<std::string> argumentTexts;
std::vector<char*> argumentPointers;

}  // namespace

int openFile(const std::string& path, int flags, int mode) {
    DWORD access = 0;
    switch (flags & (O_RDONLY | O_WRONLY | O_RDWR)) {
        case O_WRONLY:
            access = GENERIC_WRITE;
            break;
        case O_RDWR:
            access = GENERIC_READ | GENERIC_WRITE;
            break;
        default:
            access = GENERIC_READ;
            break;
    }
    // Appending through a handle that may append but not write puts each
    // write at the end as one piece, whoever else appends. It may read too:
    // LockFileEx refuses a handle that may neither read nor write.
    if ((flags & O_APPEND) != 0 && (flags & O_RDWR) == 0)
        access = FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
    DWORD disposition = OPEN_EXISTING;
    if ((flags & O_CREAT) != 0 && (flags & O_EXCL) != 0)
        disposition = CREATE_NEW;
    else if ((flags & O_CREAT) != 0 && (flags & O_TRUNC) != 0)
        disposition = CREATE_ALWAYS;
    else if ((flags & O_CREAT) != 0)
        disposition = OPEN_ALWAYS;
    else if ((flags & O_TRUNC) != 0)
        disposition = TRUNCATE_EXISTING;
    const DWORD attributes = (mode & 0200) != 0 ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
    const HANDLE handle = CreateFileW(wide(path).c_str(), access,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, disposition, attributes, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const DWORD found = GetFileAttributesW(wide(path).c_str());
        errno = found != INVALID_FILE_ATTRIBUTES && (found & FILE_ATTRIBUTE_DIRECTORY) != 0
                    ? EISDIR
                    : errnoOf(error);
        return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle),
                                   (flags & (O_APPEND | O_RDONLY | O_WRONLY | O_RDWR)) | O_BINARY);
    if (fd < 0) CloseHandle(handle);
    return fd;
}

std::FILE* openStream(const std::string& path, const char* mode) {
    // The bytes as written, on every system: no "\r" before each "\n".
    std::string binary = mode;
    if (binary.find('b') == std::string::npos) binary += 'b';
    return _wfopen(wide(path).c_str(), wide(binary).c_str());
}

std::optional<PathInfo> pathInfo(const std::string& path) {
    struct _stati64 st {};
    if (_wstati64(wide(path).c_str(), &st) != 0) return std::nullopt;
    return infoOf(st);
}

std::optional<PathInfo> fileInfo(int fd) {
    struct _stati64 st {};
    if (_fstati64(fd, &st) != 0) return std::nullopt;
    return infoOf(st);
}

bool pathExists(const std::string& path) {
    return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

int makeUniqueFile(std::string& nameTemplate);

bool mayWrite(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return _waccess(wide(path).c_str(), 2) == 0;
    // A folder's rights are in its access list, which the attributes do not
    // show (C:\Program Files is no read-only folder): a file is tried.
    std::string probe = path + "/.ostrel-probe-XXXXXX";
    const int fd = makeUniqueFile(probe);
    if (fd < 0) return false;
    _close(fd);
    _wunlink(wide(probe).c_str());
    return true;
}

std::optional<std::string> resolvedPath(const std::string& path) {
    const std::wstring name = wide(path);
    if (GetFileAttributesW(name.c_str()) == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    wchar_t full[32768];
    const DWORD n = GetFullPathNameW(name.c_str(), 32768, full, nullptr);
    if (n == 0 || n >= 32768) return std::nullopt;
    return forwardSlashes(narrow(full, static_cast<int>(n)));
}

bool makeFolder(const std::string& path) {
    return _wmkdir(wide(path).c_str()) == 0;
}

bool removeFile(const std::string& path) {
    return _wunlink(wide(path).c_str()) == 0;
}

int makeUniqueFile(std::string& nameTemplate) {
    static std::atomic<unsigned> counter{0};
    const std::size_t at = nameTemplate.size() >= 6 ? nameTemplate.size() - 6 : 0;
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned value =
            GetCurrentProcessId() * 2654435761u ^ GetTickCount() ^ (counter.fetch_add(1) * 40503u);
        for (std::size_t i = at; i < nameTemplate.size(); ++i) {
            nameTemplate[i] = kLetters[value % 36];
            value = value / 36 + 7919u * static_cast<unsigned>(i);
        }
        const int fd = openFile(nameTemplate, O_RDWR | O_CREAT | O_EXCL, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// New files take the rights of their folder.
void setFileMode(int, std::optional<uint32_t>) {}

bool replaceFile(const std::string& from, const std::string& to) {
    return MoveFileExW(wide(from).c_str(), wide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0 ||
           failed();
}

bool linkNewFile(const std::string& from, const std::string& to) {
    // Without "replace", the move fails when something is there already.
    return MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_WRITE_THROUGH) != 0 ||
           failed();
}

bool flushToDisk(int fd) {
    return _commit(fd) == 0;
}

// NTFS keeps its folders in its journal, and a move goes through write-through.
bool flushFolderOf(const std::string&) {
    return true;
}

bool truncateFile(int fd, int64_t size) {
    if (_chsize_s(fd, size) == 0) return true;
    // A handle that may append but not write cannot set the file's end (the
    // production log's and the spool's): a second handle on the same file
    // that may write does it.
    const HANDLE writer = ReOpenFile(handleOf(fd), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    if (writer == INVALID_HANDLE_VALUE) return failed();
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = size;
    const bool ok = SetFileInformationByHandle(writer, FileEndOfFileInfo, &end, sizeof end) != 0;
    if (!ok) failed();
    CloseHandle(writer);
    return ok;
}

namespace {

// ReadFile and WriteFile with an OVERLAPPED offset on a handle opened for
// synchronous use leave the file position behind what they moved, so it is
// put back afterwards (as libuv does); the count is capped to fit a DWORD.
long transferAt(int fd, void* buffer, std::size_t count, int64_t offset, bool write) {
    const HANDLE handle = handleOf(fd);
    LARGE_INTEGER position{};
    const LARGE_INTEGER zero{};
    if (!SetFilePointerEx(handle, zero, &position, FILE_CURRENT)) {
        failed();
        return -1;
    }
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const auto piece = static_cast<DWORD>(std::min(count, kMostPerCall));
    DWORD done = 0;
    const BOOL ok = write ? WriteFile(handle, buffer, piece, &done, &at)
                          : ReadFile(handle, buffer, piece, &done, &at);
    const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    SetFilePointerEx(handle, position, nullptr, FILE_BEGIN);
    if (ok) return static_cast<long>(done);
    if (!write && error == ERROR_HANDLE_EOF) return 0;
    errno = errnoOf(error);
    return -1;
}

}  // namespace

long readAt(int fd, void* buffer, std::size_t count, int64_t offset) {
    return transferAt(fd, buffer, count, offset, false);
}

long writeAt(int fd, const void* buffer, std::size_t count, int64_t offset) {
    return transferAt(fd, const_cast<void*>(buffer), count, offset, true);
}

long readSome(int fd, void* buffer, std::size_t count) {
    return _read(fd, buffer, static_cast<unsigned>(std::min(count, kMostPerCall)));
}

long writeSome(int fd, const void* buffer, std::size_t count) {
    return _write(fd, buffer, static_cast<unsigned>(std::min(count, kMostPerCall)));
}

bool closeFile(int fd) {
    return _close(fd) == 0;
}

int64_t filePosition(int fd) {
    return _lseeki64(fd, 0, SEEK_CUR);
}

bool rewindFile(int fd) {
    return _lseeki64(fd, 0, SEEK_SET) == 0;
}

bool lockFile(int fd, bool exclusive) {
    OVERLAPPED whole{};
    return LockFileEx(handleOf(fd), exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, MAXDWORD, MAXDWORD,
                      &whole) != 0 ||
           failed();
}

bool tryLockFile(int fd) {
    OVERLAPPED whole{};
    return LockFileEx(handleOf(fd), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                      MAXDWORD, MAXDWORD, &whole) != 0;
}

int processId() {
    return static_cast<int>(GetCurrentProcessId());
}

std::vector<std::string> folderEntries(const std::string& path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW(wide(path + "/*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (entry.cFileName[0] != L'.') names.push_back(narrow(entry.cFileName));
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return names;
}

std::string linkTarget(const std::string&) {
    return {};
}

std::tm localTime(std::time_t time) {
    std::tm local{};
    localtime_s(&local, &time);
    return local;
}

std::tm utcTime(std::time_t time) {
    std::tm utc{};
    gmtime_s(&utc, &time);
    return utc;
}

std::time_t timeFromUtc(std::tm& parts) {
    return _mkgmtime(&parts);
}

uint8_t* reserveArea(std::size_t size, std::size_t alignment) {
    // Reserved larger, given back, and taken again at the aligned address
    // inside; another thread may take that address meanwhile, so a few tries.
    for (int attempt = 0; attempt < 8; ++attempt) {
        void* probe = VirtualAlloc(nullptr, size + alignment, MEM_RESERVE, PAGE_NOACCESS);
        if (probe == nullptr) return nullptr;
        const auto base = reinterpret_cast<std::uintptr_t>(probe);
        const std::uintptr_t aligned = (base + alignment - 1) / alignment * alignment;
        VirtualFree(probe, 0, MEM_RELEASE);
        void* area = VirtualAlloc(reinterpret_cast<void*>(aligned), size, MEM_RESERVE | MEM_COMMIT,
                                  PAGE_READWRITE);
        if (area != nullptr) return static_cast<uint8_t*>(area);
    }
    return static_cast<uint8_t*>(
        VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

void releaseArea(uint8_t* area, std::size_t) {
    VirtualFree(area, 0, MEM_RELEASE);
}

void discardPages(uint8_t* area, std::size_t size) {
    // Decommitted pages come back as zeros when committed again.
    VirtualFree(area, size, MEM_DECOMMIT);
    VirtualAlloc(area, size, MEM_COMMIT, PAGE_READWRITE);
}

const void* findLastByte(const void* data, int byte, std::size_t count) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    const auto wanted = static_cast<unsigned char>(byte);
    while (count > 0) {
        --count;
        if (bytes[count] == wanted) return bytes + count;
    }
    return nullptr;
}

void* loadLibrary(const std::string& name) {
    return reinterpret_cast<void*>(LoadLibraryW(wide(name).c_str()));
}

void unloadLibrary(void* library) {
    if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

void* librarySymbol(void* library, const char* name) {
    if (library == nullptr) return nullptr;
    const FARPROC entry = GetProcAddress(static_cast<HMODULE>(library), name);
    void* address = nullptr;
    static_assert(sizeof entry == sizeof address);
    std::memcpy(&address, &entry, sizeof address);
    return address;
}

std::string libraryFile(void* library) {
    if (library == nullptr) return {};
    wchar_t file[32768];
    const DWORD n = GetModuleFileNameW(static_cast<HMODULE>(library), file, 32768);
    return n == 0 || n >= 32768 ? std::string() : narrow(file, static_cast<int>(n));
}

const char* usbLibraryName() {
    return "libusb0.dll";
}
const char* hidLibraryName() {
    return "hid.dll";
}

std::vector<UsbDeviceEntry> usbDevices() {
    std::vector<UsbDeviceEntry> devices;
    const HDEVINFO set =
        SetupDiGetClassDevsW(nullptr, L"USB", nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return devices;
    // A property as text; a list (REG_MULTI_SZ) comes as its strings one after another.
    const auto property = [set](SP_DEVINFO_DATA& info, DWORD which) {
        std::vector<std::string> texts;
        wchar_t value[2048] = {};
        DWORD type = 0;
        if (!SetupDiGetDeviceRegistryPropertyW(set, &info, which, &type,
                                               reinterpret_cast<BYTE*>(value),
                                               sizeof value - 2 * sizeof(wchar_t), nullptr))
            return texts;
        for (const wchar_t* at = value; *at != L'\0'; at += std::wcslen(at) + 1) {
            texts.push_back(narrow(at));
            if (type != REG_MULTI_SZ) break;
        }
        return texts;
    };
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); ++i) {
        UsbDeviceEntry device;
        device.hardwareIds = property(info, SPDRP_HARDWAREID);
        for (const DWORD which : {SPDRP_FRIENDLYNAME, SPDRP_DEVICEDESC}) {
            const std::vector<std::string> name = property(info, which);
            if (device.name.empty() && !name.empty()) device.name = name.front();
        }
        const std::vector<std::string> service = property(info, SPDRP_SERVICE);
        if (!service.empty()) device.driver = service.front();
        devices.push_back(std::move(device));
    }
    SetupDiDestroyDeviceInfoList(set);
    return devices;
}

std::string executablePath() {
    wchar_t file[32768];
    const DWORD n = GetModuleFileNameW(nullptr, file, 32768);
    return n == 0 || n >= 32768 ? std::string() : forwardSlashes(narrow(file, static_cast<int>(n)));
}

UserFolders userFolders() {
    std::string local;
    if (const wchar_t* value = _wgetenv(L"LOCALAPPDATA"); value != nullptr && value[0] != L'\0')
        local = forwardSlashes(narrow(value));
    else if (const wchar_t* profile = _wgetenv(L"USERPROFILE"); profile != nullptr)
        local = forwardSlashes(narrow(profile)) + "/AppData/Local";
    return {local, local, local};
}

std::string hostName() {
    wchar_t name[256];
    DWORD length = 256;
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &length)) return {};
    return narrow(name, static_cast<int>(length));
}

std::string systemDescription() {
    using GetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto getVersion =
        reinterpret_cast<GetVersionFunction>(librarySymbol(ntdll, "RtlGetVersion"));
    if (getVersion == nullptr || getVersion(&version) != 0) return "Windows";
    return "Windows " + std::to_string(version.dwMajorVersion) + "." +
           std::to_string(version.dwMinorVersion) + "." + std::to_string(version.dwBuildNumber) +
           " x86_64";
}

bool standardErrorIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void prepareConsole(int& argc, char**& argv) {
    SetConsoleOutputCP(CP_UTF8);
    for (const DWORD stream : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        DWORD mode = 0;
        const HANDLE console = GetStdHandle(stream);
        if (GetConsoleMode(console, &mode))
            SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
    // Bytes go through as they are: no "\r" added, none taken away.
    _setmode(0, _O_BINARY);
    _setmode(1, _O_BINARY);
    _setmode(2, _O_BINARY);
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr) return;
    argumentTexts.clear();
    for (int i = 0; i < count; ++i) argumentTexts.push_back(narrow(arguments[i]));
    LocalFree(arguments);
    argumentPointers.clear();
    for (std::string& text : argumentTexts) argumentPointers.push_back(text.data());
    argumentPointers.push_back(nullptr);
    argc = count;
    argv = argumentPointers.data();
}

void installInterruptHandler(volatile std::sig_atomic_t* flag) {
    interruptFlag = flag;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

namespace {

constexpr UINT kGbk = 936;

// The length of the UTF-8 sequence that starts with `lead`, 0 for a byte that
// starts none.
std::size_t utf8Length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

std::string gbkToUtf8(const std::string& in, const char* replacement, bool& ok) {
    std::string out;
    out.reserve(in.size() * 2);
    std::size_t i = 0;
    while (i < in.size()) {
        const auto byte = static_cast<unsigned char>(in[i]);
        if (byte < 0x80) {
            out += static_cast<char>(byte);
            ++i;
            continue;
        }
        // A lead byte and its trail, else the byte alone; what the code page
        // refuses is marked and stepped over one byte at a time.
        wchar_t character[2];
        int n = 0;
        if (i + 1 < in.size())
            n = MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, in.data() + i, 2, character, 2);
        std::size_t used = 2;
        if (n != 1) {
            n = MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, in.data() + i, 1, character, 2);
            used = 1;
        }
        if (n == 1) {
            out += narrow(character, 1);
            i += used;
        } else {
            ok = false;
            out += replacement;
            ++i;
        }
    }
    return out;
}

std::string utf8ToGbk(const std::string& in, const char* replacement, bool& ok) {
    std::string out;
    out.reserve(in.size());
    std::size_t i = 0;
    while (i < in.size()) {
        const auto lead = static_cast<unsigned char>(in[i]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        const std::size_t length = utf8Length(lead);
        bool whole = length > 0 && i + length <= in.size();
        for (std::size_t k = 1; whole && k < length; ++k)
            whole = (static_cast<unsigned char>(in[i + k]) & 0xC0) == 0x80;
        wchar_t character[2];
        const int n = whole ? MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, in.data() + i,
                                                  static_cast<int>(length), character, 2)
                            : 0;
        char bytes[4];
        BOOL defaulted = FALSE;
        const int m = n > 0 ? WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, character, n, bytes,
                                                  sizeof bytes, nullptr, &defaulted)
                            : 0;
        if (m > 0 && !defaulted) {
            out.append(bytes, static_cast<std::size_t>(m));
            i += length;
            continue;
        }
        // Refused: the mark stands for the lead byte and its continuation bytes.
        ok = false;
        out += replacement;
        ++i;
        while (i < in.size() && (static_cast<unsigned char>(in[i]) & 0xC0) == 0x80) ++i;
    }
    return out;
}

}  // namespace

std::string convertGbk(const std::string& in, bool toGbk, const char* replacement, bool* clean) {
    bool ok = true;
    std::string out = toGbk ? utf8ToGbk(in, replacement, ok) : gbkToUtf8(in, replacement, ok);
    if (clean) *clean = ok;
    return out;
}

struct Sha256::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = false;
};

Sha256::Sha256() : state_(new State) {
    state_->ok =
        BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) == 0 &&
        BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0) == 0;
}

Sha256::~Sha256() {
    if (state_->hash != nullptr) BCryptDestroyHash(state_->hash);
    if (state_->algorithm != nullptr) BCryptCloseAlgorithmProvider(state_->algorithm, 0);
}

bool Sha256::update(const uint8_t* data, std::size_t length) {
    constexpr std::size_t kPiece = 1u << 30;
    while (state_->ok && length > 0) {
        const std::size_t piece = std::min(length, kPiece);
        state_->ok = BCryptHashData(state_->hash, const_cast<PUCHAR>(data),
                                    static_cast<ULONG>(piece), 0) == 0;
        data += piece;
        length -= piece;
    }
    return state_->ok;
}

bool Sha256::finish(std::array<uint8_t, 32>& digest) {
    state_->ok = state_->ok && BCryptFinishHash(state_->hash, digest.data(),
                                                static_cast<ULONG>(digest.size()), 0) == 0;
    return state_->ok;
}

}  // namespace ostrel::platform
