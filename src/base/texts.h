#pragma once
// The program's own texts beside the message table: what the program says
// that the message table has no key for (refusals of records it cannot
// serve, transfer failures, the English-only file and conversion errors, the
// fixed box captions). Like the messages, each is looked up when it is shown.
//
// A text may hold "%s" places; fillIn() puts values into them in order.
// English-only texts carry the same English in all three languages: the
// file-format errors and the platform's conversion and file errors are shown
// in English whatever the language.

#include <initializer_list>
#include <string>

namespace ostrel {

enum class Txt {
    // Box captions.
    CaptionError,
    CaptionInfo,
    CaptionInformation,
    // English-only errors of the file readers and of the platform.
    CantOpenFile,
    FileTooBigForBuffer,
    FileReadOperationFailed,
    ErrorReadingFile,
    IllegalLineFound,
    IllegalCharInFile,
    FileExceedsMaximumSize,
    InvalidEofRecord,
    InvalidRecordType,
    ChecksumError,
    ChecksumErrorType0,
    ChecksumErrorType2,
    ChecksumErrorType4,
    InvalidRecordLengthType2,
    InvalidRecordLengthType4,
    CannotOpenFile,    // %s: path
    CannotCreateFile,  // %s: path
    NotValidInteger,   // %s: the text
    UnableToWriteTo,   // %s: path
    // Records the program cannot serve.
    ChipTooLarge,
    NoPageSize,
    ChipExceedsBuffers,  // %s: flash size, flash buffer, data size, data buffer
    FillRangeRefused,    // %s: start, end, last address (hexadecimal)
    // Transfers that failed. The operation's name goes into TransferFailed.
    OperationRead,
    OperationBlankCheck,
    OperationVerify,
    OperationErase,
    OperationWrite,
    TransferFailed,    // %s: operation, address (hexadecimal, with "h")
    EraseNotFinished,  // %s: the poll bound
    ChipIdNoAnswer,
    SetupNoAnswer,
    // Refusals of the catalogue editor's Save, and of texts the catalogue cannot hold.
    EditorTooManyChips,   // %s: chips in the grid, the most the file holds
    EditorNameTooLong,    // %s: row, bytes, the most a record holds
    EditorValueTooLarge,  // %s: row, column header, the cell's text, the most allowed
    EditorTextNotGbk,     // %s: the text
    // The firmware upgrade.
    FirmwareFileRefused,    // %s: path
    BootLoaderNotFound,     // %s: attempts
    UpgradeNoAnswer,        // %s: seconds, bytes sent, image length
    UpgradeTransferFailed,  // %s: bytes sent, image length
    BootLoaderBlockSizeZero,
    FirmwareUpgradeComplete,  // %s: image length
    // The command line.
    CliNoProgrammer,
    CliCatalogueUnreadable,  // %s: path
    CliChooseChip,
    CliUnknownChip,     // %s: the name asked for
    CliAmbiguousChip,   // %s: the name asked for
    CliOutputExists,    // %s: path
    CliFileRefused,     // %s: path
    CliNoData,          // %s: path
    CliNotStreamed,     // %s: the chip's type
    CliStopped,         // %s: operation
    CliDetectRefused,   // %s: what the programmer found
    CliDetectTypeOnly,  // %s: the type
    // The programmer is attached but cannot be used: what to check. The
    // window's "Not connected" panel shows it as its tip, ostrel-cli prints it.
    ProgrammerUnusable,
    // The buffer tools: checksums, find, go to, undo, copy and paste, the
    // accessible hex view, and every difference of a verify.
    MenuChecksum,
    MenuFind,
    MenuFindNext,
    MenuFindPrevious,
    MenuGoTo,
    MenuUndo,
    MenuRedo,
    MenuCopy,
    MenuPaste,
    ChecksumTitle,
    ChecksumDataRange,  // %s: bytes
    ChecksumChipRange,  // %s: bytes
    ButtonClose,
    GoToTitle,
    GoToPrompt,  // %s: last address
    GoToRefused,
    FindLabel,
    FindHex,
    FindText,
    FindNextButton,
    FindPreviousButton,
    FindNotHex,
    FindNotFound,
    FindFoundAt,  // %s: address
    FindWrapped,  // %s: address
    PasteNotHex,
    AccessibleHexView,
    AccessibleCursor,    // %s: address, byte
    CliMoreDifferences,  // %s: ranges
    CliDifferingBytes,   // %s: bytes
    CliWriteNotTaken,    // %s: path, address
    ChecksumByteSum,
    ButtonOk,
    ButtonCancel,
};

inline constexpr int kTextCount = static_cast<int>(Txt::ButtonCancel) + 1;

// The text in the given language; outside 0 to 2 the Simplified Chinese one,
// as with the message table.
const std::string& programText(Txt key, int language);
// True for texts shown in English in every language.
bool englishOnly(Txt key);
// The key's name as written in the code ("TransferFailed"), for tests.
const char* textKeyName(Txt key);

// `pattern` with each "%s" replaced by the next value; places without a value
// stay as they are.
std::string fillIn(const std::string& pattern, std::initializer_list<std::string> values);

}  // namespace ostrel
