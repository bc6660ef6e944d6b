#pragma once
// Every message the program shows, in Simplified Chinese, Traditional Chinese
// and English. Callers look a text up at the moment they show it and keep no
// copy, so a language switch takes effect on the next message.

#include <string>

namespace ostrel {

enum class Msg {
    MsgConfigDestroyed,
    MsgFileExists,
    MsgWriteFileError,
    MsgProgrammerFound,
    MsgConnected,
    MsgNotConnected,
    MsgEraseFlash,
    MsgReadFlash,
    MsgBlankFlash,
    MsgChipNotEmpty,
    MsgVerifyFlash,
    MsgVerifyErrorAddress,
    MsgWriteFlash,
    MsgFileTooLong,
    MsgOpenTitle,
    MsgReadComplete,
    MsgEraseComplete,
    MsgWriteComplete,
    MsgVerifyComplete,
    MsgAutoComplete,
    MsgBlankComplete,
    MsgStop,
    MsgBulk,
    MsgUnknownChipId,
    MsgChooseCompatible,
    MsgNoChip,
    MsgChipDetected,
    MsgChipTypeLine,
    MsgChipTypeDetected,
    MsgSelectTypeManually,
};

inline constexpr int kMessageCount = static_cast<int>(Msg::MsgSelectTypeManually) + 1;

enum Language { LangSimplified = 0, LangTraditional = 1, LangEnglish = 2 };

// The text of a message in the given language. An index outside 0 to 2 can
// only come from a hand-edited settings file; the captions then stay Simplified
// Chinese, so the messages do too.
const std::string& messageText(Msg key, int language);

// Titles of the chip search window's three result columns (column 0 to 2).
const std::string& searchColumnTitle(int column, int language);

// The key's name as written in the code ("MsgReadComplete"), for logs and tests.
const char* messageKeyName(Msg key);

}  // namespace ostrel
