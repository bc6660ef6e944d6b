#pragma once
// What the fuzz programs share: a target with guard bytes on both sides, the
// check that a reader's boxes are its own file-format errors, and an in-memory
// file to hand the readers through the descriptor the program's loader uses.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>

#include "base/texts.h"
#include "support/scripted_ui.h"

namespace ostrel::fuzzing {

// A failed property: the fuzzer records the input that caused it.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "fuzz property failed: %s\n", what);
    std::abort();
}

inline void require(bool condition, const char* what) {
    if (!condition) fail(what);
}

// `size` bytes between two guards of 4 KiB; only the inside may change.
class GuardedTarget {
  public:
    static constexpr std::size_t kGuard = 4096;
    static constexpr uint8_t kGuardByte = 0x5A;

    explicit GuardedTarget(std::size_t size) : bytes_(new uint8_t[size + 2 * kGuard]), size_(size) {
        std::memset(bytes_.get(), kGuardByte, kGuard);
        std::memset(bytes_.get() + kGuard, 0xFF, size);
        std::memset(bytes_.get() + kGuard + size, kGuardByte, kGuard);
    }
    uint8_t* data() { return bytes_.get() + kGuard; }
    std::size_t size() const { return size_; }
    // Left out of the coverage feedback: it is the harness, not the code under test.
    __attribute__((no_sanitize("coverage", "address"), noinline)) bool guardsIntact() const {
        return untouched(bytes_.get()) && untouched(bytes_.get() + kGuard + size_);
    }

  private:
    __attribute__((no_sanitize("coverage", "address"), noinline)) static bool untouched(
        const uint8_t* guard) {
        uint8_t differs = 0;
        for (std::size_t i = 0; i < kGuard; ++i) differs |= guard[i] ^ kGuardByte;
        return differs == 0;
    }

    std::unique_ptr<uint8_t[]> bytes_;
    std::size_t size_;
};

// The FLASH buffer's size: what Open passes when no range is set.
inline constexpr uint32_t kFlashLimit = 64u << 20;

// Every box is an error box with one of the English-only texts `keys`.
inline void requireOwnErrors(const testing::ScriptedUi& ui, std::initializer_list<Txt> keys) {
    for (const testing::ShownBox& box : ui.boxes) {
        require(box.caption == programText(Txt::CaptionError, 0) && box.icon == BoxIcon::Error &&
                    !box.question,
                "a box that is not an error box");
        bool known = false;
        for (Txt key : keys) known = known || box.text == programText(key, 0);
        if (!known) {
            std::fprintf(stderr, "unexpected message: %s\n", box.text.c_str());
            fail("a message that is not the reader's");
        }
    }
}

// The bytes as a file behind a descriptor, read from its start.
class MemoryFile {
  public:
    MemoryFile(const uint8_t* data, std::size_t size) : fd_(::memfd_create("fuzz-input", 0)) {
        require(fd_ >= 0, "memfd_create");
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd_, data + done, size - done);
            require(n > 0, "writing the input file");
            done += static_cast<std::size_t>(n);
        }
        ::lseek(fd_, 0, SEEK_SET);
    }
    explicit MemoryFile(int fd) : fd_(fd) {}
    ~MemoryFile() { ::close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    int fd() const { return fd_; }

    // An empty file to write into.
    static MemoryFile empty() { return MemoryFile(::memfd_create("fuzz-output", 0)); }

  private:
    int fd_;
};

}  // namespace ostrel::fuzzing
