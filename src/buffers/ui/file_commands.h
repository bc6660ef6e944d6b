#pragma once
// The window's Open and Save: the file dialogs, the questions and the boxes
// around the core's load and save.

#include <cstdint>
#include <string>

#include "base/ui_port.h"
#include "buffers/file_io.h"

namespace ostrel {

// Shows the boxes of a failed load (see loadFailureTexts).
void showLoadFailure(UiPort& ui, const LoadResult& result, const std::string& path);

// Saves `count` bytes of `source` to `path` after asking MsgFileExists (caption
// "Info") when the file exists. A file that cannot be created shows "Cannot
// create file <path>", a failed write MsgWriteFileError. True when the file
// was written.
bool saveFileAsking(const std::string& path, const uint8_t* source, uint32_t count, UiPort& ui,
                    int language = LangEnglish);

// The Open command: asks for a file and loads it into the FLASH buffer or the
// EEPROM buffer, as the active page says, then logs "Open<path> (<time>)".
// Record text under a raw name is asked about once; a file longer than the
// chip is taken over only when the user agrees at MsgFileTooLong. A load that
// fails or is declined leaves the buffer, its view, the FLASH data length and
// the log as they were.
void OpenFileCommand(const ChipRecord& chip, DataBuffers& buffers, ActivePage page, UiPort& ui,
                     int language);
// The Save command: takes the views' edits into the buffers as Write does,
// asks for a name and writes the chip's size of the FLASH buffer. Only the
// FLASH bytes count as saved then, and only when the file was written: no file
// holds the EEPROM bytes.
void SaveFileCommand(const ChipRecord& chip, DataBuffers& buffers, UiPort& ui, int language);

}  // namespace ostrel
