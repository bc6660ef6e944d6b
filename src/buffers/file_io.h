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

#include <cstdint>
#include <string>

#include "base/messages.h"
#include "base/ui_port.h"
#include "buffers/data_buffers.h"
#include "buffers/format_sniff.h"
#include "catalogue/chip_record.h"

namespace ostrel {

// The page of the main window's page control that is active when Open runs.
enum class ActivePage { Flash, Eeprom, Config };

inline constexpr uint32_t kCapsuleHeaderSize = 2048;

extern const char* const kOpenFilter;
extern const char* const kSaveFilter;
extern const char* const kSaveDefaultExtension;

// The extension of a path (the last dot of the file name and what follows),
// lower-cased; empty when the file name has no dot.
std::string fileExtension(const std::string& path);

// How a load ended. `count` is the bytes read (raw and capsule files) or the
// highest address written plus 1 (Intel HEX, S-record), and 0 when `failed`.
// A failed load has shown its error and may have written part of the target;
// `cannotOpen` is the failure to open the file ("Cannot open file <path>").
// `format` is the format the file was read as.
struct LoadResult {
    int32_t count = 0;
    bool failed = false;
    bool cannotOpen = false;
    FileFormat format = FileFormat::Raw;
};

// How a load chooses the format and reports errors.
struct LoadOptions {
    // Read the file as this format (the command line's --format) instead of
    // by its extension; no question is asked then.
    bool chosen = false;
    FileFormat format = FileFormat::Raw;
    // Record text under a raw extension: false asks whether to read it as that
    // format (the window; No reads it raw), true refuses it with a text that
    // names the format and --format (the command-line tools).
    bool refuseRecordText = false;
    // The command-line tools: a record error names its line ("line 500:
    // Checksum Error"), and a file that ends before its end record says that it
    // may be cut off. The window keeps the readers' own messages.
    bool plainErrors = false;
    // The language of the question and of the command line's texts.
    int language = LangEnglish;
};

// The format a load takes from the path's extension alone; ".eep" and ".src"
// files are probed by their first character.
FileFormat loadFormatOf(const std::string& path);
// The format a save writes for the path's extension (raw for a capsule name).
FileFormat saveFormatOf(const std::string& path);

// Reads the file into `target`, never writing at or beyond target + limit.
// A read error, a file larger than the limit and a malformed record file fail;
// an empty file is a successful load of 0 bytes.
LoadResult LoadFileChecked(const std::string& path, uint8_t* target, uint32_t limit, UiPort& ui,
                           const LoadOptions& options = {});

// The same, for callers content with one number: the count, which is 0 for an
// empty file and after an error. `*cannotOpen` (if given) becomes true when
// the file could not be opened.
int32_t LoadFile(const std::string& path, uint8_t* target, uint32_t limit, UiPort& ui,
                 bool* cannotOpen = nullptr);

// Writes `count` bytes of `source` in the format of the extension, after asking
// MsgFileExists (caption "Info") when the file exists. The new content goes to
// a file beside the old one that then replaces it, so a failed write (shown as
// MsgWriteFileError) leaves the old file whole. A file that cannot be created
// shows "Cannot create file <path>". True when the file was written.
bool SaveFile(const std::string& path, const uint8_t* source, uint32_t count, UiPort& ui,
              int language = LangEnglish);

// The Open command: asks for a file and loads it into the FLASH buffer or the
// EEPROM buffer, as the active page says, then logs "Open<path> (<time>)".
// The file goes into a staging copy first: a load that fails, or that the user
// declines at MsgFileTooLong, leaves the buffer, its view, the FLASH data
// length and the log as they were.
// `chip` is the selected record, whose sizes bound what is taken over;
// `options` choose the format as LoadFileChecked says (in `language`).
void OpenFileCommand(const ChipRecord& chip, DataBuffers& buffers, ActivePage page, UiPort& ui,
                     int language, const LoadOptions& options = {});
// The Save command: takes the views' edits into the buffers as Write does,
// asks for a name and writes the chip's size of the FLASH buffer.
void SaveFileCommand(const ChipRecord& chip, DataBuffers& buffers, UiPort& ui, int language);

}  // namespace ostrel
