#include "buffers/ui/file_commands.h"

#include "base/safe_file.h"

namespace ostrel {

void showLoadFailure(UiPort& ui, const LoadResult& result, const std::string& path) {
    for (const std::string& text : loadFailureTexts(result, path)) ui.errorBox(text);
}

bool saveFileAsking(const std::string& path, const uint8_t* source, uint32_t count, UiPort& ui,
                    int language) {
    if (fileExists(path) && !ui.askInfo(messageText(Msg::MsgFileExists, language))) return false;
    const SaveResult saved = saveFile(path, source, count);
    switch (saved.fault) {
        case FileFault::None:
            return true;
        case FileFault::WriteFailed:
            ui.errorBox(messageText(Msg::MsgWriteFileError, language));
            return false;
        default:
            ui.errorBox(cannotCreateText(path));
            return false;
    }
}

void OpenFileCommand(const ChipRecord& chip, DataBuffers& buffers, ActivePage page, UiPort& ui,
                     int language) {
    const std::string path = ui.openFileName(kOpenFilter, 0);
    if (path.empty()) return;
    LoadOptions options;
    options.readRecordTextAs = [&](FileFormat looks) {
        const std::string name = formatName(looks);
        return ui.askInfo(fillIn(programText(Txt::ReadRecordTextAs, language), {path, name, name}));
    };
    FileOpen open(chip, buffers, page);
    const LoadResult loaded = open.load(path, options);
    if (loaded.failed()) {
        showLoadFailure(ui, loaded, path);
        return;
    }
    if (open.longerThanChip() && !ui.askInfo(messageText(Msg::MsgFileTooLong, language))) return;
    open.commit();
    ui.insertLogLine(messageText(Msg::MsgOpenTitle, language) + path + " (" + ui.timeOfDay() + ")");
}

void SaveFileCommand(const ChipRecord& chip, DataBuffers& buffers, UiPort& ui, int language) {
    const std::string path = ui.saveFileName(kSaveFilter, kSaveDefaultExtension);
    if (path.empty()) return;
    // The file gets what Write would send: the bytes typed into the views are
    // taken over first.
    buffers.TakeFlashEdits(chip.flashSize);
    buffers.TakeEepromEdits(chip.eepromSize);
    // A record larger than the buffer must not make Save read past its end.
    const uint32_t count = DataBuffers::flashCountFor(chip.flashSize);
    if (saveFileAsking(path, buffers.flashUpTo(count), count, ui, language))
        buffers.flashEditsSettled();
}

}  // namespace ostrel
