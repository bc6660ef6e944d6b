#pragma once
// Loading files into the buffers and saving them, with the format taken from
// the file name's extension, and the Open and Save commands built on them.
//
//   extension   loaded as                               saved as
//   .bin        raw binary                              raw binary
//   .hex        Intel HEX                               Intel HEX
//   .cap        raw binary after a 2,048-byte header    raw binary
//   .eep        by the first character: ":" Intel HEX,  raw binary
//               "S" S-record, other raw binary
//   .src        by the first character, as .eep         S-record
//   .s19 .s28 .s37 .srec .mot                           S-record
//   .ihx .ihex  Intel HEX                               Intel HEX
//   other/none  raw binary                              raw binary
//
// A file that its name sends to raw binary but that holds nothing but Intel
// HEX or S-record text is not taken as raw bytes without a word: the window
// asks whether to read it as that format, the command-line tools refuse it.
//
// Every input is read once, from its start to its end, so that a pipe loads
// as a file does; the path "-" is standard input (load) or standard output
// (save). Nothing here shows or words anything: a load and a save return what
// happened, and each front end says it in its own words.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/messages.h"
#include "buffers/codec_io.h"
#include "buffers/data_buffers.h"
#include "buffers/format_sniff.h"
#include "catalogue/chip_record.h"

namespace ostrel {

// The page of the main window's page control that is active when Open runs.
enum class ActivePage { Flash, Eeprom, Config };

inline constexpr uint32_t kCapsuleHeaderSize = 2048;

// The name that stands for standard input or output.
inline constexpr const char* kStandardStream = "-";

extern const char* const kOpenFilter;
extern const char* const kSaveFilter;
extern const char* const kSaveDefaultExtension;

// The extension of a path (the last dot of the file name and what follows),
// lower-cased; empty when the file name has no dot.
std::string fileExtension(const std::string& path);

// What went wrong with a file.
enum class FileFault {
    None,
    CannotOpen,    // the input could not be opened, or is a folder
    ReadFailed,    // a read failed, or the file gave fewer bytes than its size said
    TooBig,        // raw content larger than the room for it
    Record,        // a malformed record file: `record` and `line` say how and where
    RecordText,    // record text under a name that reads raw, refused
    IsFolder,      // the output is a folder
    CannotCreate,  // the output cannot be created or replaced
    WriteFailed,   // a write to the output, or putting it in place, failed
};

// How a load ended. `count` is the bytes read (raw and capsule files) or the
// highest address written plus 1 (Intel HEX, S-record), and 0 after a fault.
// A failed load may have written part of the target. `error` is the errno of
// the open or read that failed (0 when none did). `format` is the format the
// file was read as; for RecordText, the format its text is in.
struct LoadResult {
    int32_t count = 0;
    FileFault fault = FileFault::None;
    int error = 0;
    RecordFault record = RecordFault::None;
    std::size_t line = 0;
    FileFormat format = FileFormat::Raw;
    bool failed() const { return fault != FileFault::None; }
};

// How a load chooses the format.
struct LoadOptions {
    // Read the file as this format (the command line's --format) instead of
    // by its extension; no question is asked then.
    bool chosen = false;
    FileFormat format = FileFormat::Raw;
    // Record text under a raw name: asked whether to read it as the format its
    // text is in (the window: No reads it raw). Without a question the file is
    // refused (the command-line tools). Asked at most once per load.
    std::function<bool(FileFormat looks)> readRecordTextAs;
    // Target bytes at and past `prepared` hold nothing yet: the gaps a record
    // file leaves below its extent are set to 0xFF there.
    uint32_t prepared = kAllPrepared;
};

// The format a load takes from the path's extension alone, without looking
// into the file; ".eep" and ".src" files, which are probed by their first
// character, give Raw.
FileFormat loadFormatOf(const std::string& path);
// The format a save writes for the path's extension (raw for a capsule name).
FileFormat saveFormatOf(const std::string& path);

// Reads the file into `target`, never writing at or beyond target + limit.
// A read error, a file larger than the limit and a malformed record file fail;
// an empty file is a successful load of 0 bytes.
LoadResult loadFile(const std::string& path, uint8_t* target, uint32_t limit,
                    const LoadOptions& options = {});

// How a save ended; `error` is the errno of the step that failed.
struct SaveResult {
    FileFault fault = FileFault::None;
    int error = 0;
    bool failed() const { return fault != FileFault::None; }
};

// Writes `count` bytes of `source` in the format of the extension, without
// asking (the caller asks whether to replace a file). A regular file gets the
// new content in a file beside it that then replaces it, so a failed write
// leaves the old file whole; a read-only one is not replaced. A device, a
// FIFO or a socket is written in place, never replaced; a folder is refused.
SaveResult saveFile(const std::string& path, const uint8_t* source, uint32_t count);

// The texts the program has always shown for a failed load, one error box each
// (English): "Cannot open file <path>", "Error reading File", the record
// reader's messages.
std::vector<std::string> loadFailureTexts(const LoadResult& result, const std::string& path);

// An Open of a file into the FLASH buffer or the EEPROM buffer, as the active
// page says, in two steps. load() reads the file into a staging copy; the
// caller may then ask about a file longer than the chip (longerThanChip()),
// and commit() takes the file over. A load that fails, or that is not
// committed, leaves the buffer, its view and the FLASH data length as they
// were. On the configuration page nothing is loaded.
class FileOpen {
  public:
    FileOpen(const ChipRecord& chip, DataBuffers& buffers, ActivePage page);

    LoadResult load(const std::string& path, LoadOptions options = {});
    bool longerThanChip() const;
    // Takes the loaded file over: the buffer, its view and (FLASH) the data length.
    void commit();

  private:
    const ChipRecord& chip_;
    DataBuffers& buffers_;
    ActivePage page_;
    uint32_t start_ = 0;
    uint32_t count_ = 0;
    std::vector<uint8_t> eeprom_;
};

}  // namespace ostrel
