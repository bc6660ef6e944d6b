#pragma once
// The checks both record readers get from their fuzz programs. Each input is
// read twice through the line source the loader gives the readers: into the
// 64 MiB FLASH buffer with its whole size as the limit, as Open passes it, and
// into a small target, where a record's extent passes the limit far more
// often. The line source is the one over memory: it cuts lines exactly as the
// one over a descriptor does, without a 1 MiB chunk buffer per input (the
// loader's fuzz program reads through descriptors).

#include <vector>

#include "buffers/codec_io.h"
#include "buffers/file_io.h"
#include "fuzz/fuzz_support.h"

namespace ostrel::fuzzing {

// A reader's run, its fault shown in the window's boxes as Open shows them.
inline int32_t runShown(RecordReader read, FileFormat format, LineReader& lines, uint8_t* target,
                        uint32_t limit, testing::ScriptedUi& ui, bool& failed) {
    const RecordRead run = read(lines, target, limit, kAllPrepared);
    failed = run.failed();
    if (run.failed() && run.extent != 0) return -1;  // a fault never comes with an extent
    LoadResult result;
    result.fault = run.failed() ? FileFault::Record : FileFault::None;
    result.record = run.fault;
    result.format = format;
    for (const std::string& text : loadFailureTexts(result, "")) ui.errorBox(text);
    return run.extent;
}

inline constexpr uint32_t kSmallLimit = 256;

// `messages` are the reader's own; `pairs` lists box sequences of two that may
// be shown together (a reader otherwise shows at most one box).
inline void checkReaderRun(const testing::ScriptedUi& ui, int32_t result, bool failed,
                           uint32_t limit, std::initializer_list<Txt> messages,
                           const std::vector<std::string>& pair) {
    // A failure is never a success: the reader says it failed exactly when it
    // showed an error, so that Open commits nothing of a file it could not read.
    require(failed == !ui.boxes.empty(), "the failure flag disagrees with the boxes shown");
    require(result >= 0 && static_cast<uint32_t>(result) <= limit,
            "the result lies outside 0..limit");
    requireOwnErrors(ui, messages);
    if (result > 0) require(ui.boxes.empty(), "a reader reported success after an error box");
    if (ui.boxes.size() > 1)
        require(ui.boxTexts() == pair, "more than one box, and not the reader's pair");
}

inline void fuzzRecordReader(RecordReader read, FileFormat format, const uint8_t* data,
                             std::size_t size, std::initializer_list<Txt> messages,
                             const std::vector<std::string>& pair = {}) {
    static GuardedTarget flash(kFlashLimit);
    {
        LineReader lines(reinterpret_cast<const char*>(data), size);
        testing::ScriptedUi ui;
        bool failed = false;
        const int32_t result = runShown(read, format, lines, flash.data(), kFlashLimit, ui, failed);
        require(flash.guardsIntact(), "a byte outside the FLASH buffer was written");
        checkReaderRun(ui, result, failed, kFlashLimit, messages, pair);
    }
    {
        static GuardedTarget small(kSmallLimit);
        LineReader lines(reinterpret_cast<const char*>(data), size);
        testing::ScriptedUi ui;
        bool failed = false;
        const int32_t result = runShown(read, format, lines, small.data(), kSmallLimit, ui, failed);
        require(small.guardsIntact(), "a byte outside the small target was written");
        checkReaderRun(ui, result, failed, kSmallLimit, messages, pair);
    }
}

}  // namespace ostrel::fuzzing
