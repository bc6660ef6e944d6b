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
    EraseNotTaken,     // %s: the first address the erase did not clear
    ChipIdNoAnswer,
    SetupNoAnswer,
    // Refusals of the catalogue editor's Save, and of texts the catalogue cannot hold.
    EditorTooManyChips,   // %s: chips in the grid, the most the file holds
    EditorNameTooLong,    // %s: row, bytes, the most a record holds
    EditorValueTooLarge,  // %s: row, column header, the cell's text, the most allowed
    EditorTextNotGbk,     // %s: the text
    // The firmware upgrade.
    FirmwareFileRefused,    // %s: path
    FirmwareFileTooBig,     // %s: path, its bytes, the most the boot loader takes
    FirmwareFileEmpty,      // %s: path (a question)
    FirmwareFileNoImage,    // %s: path (a question)
    FirmwareFileErased,     // %s: path (a question)
    FirmwareFileNotArm,     // %s: path, the image's first and second word (a question)
    BootLoaderNotFound,     // %s: attempts
    UpgradeNoAnswer,        // %s: seconds, bytes sent, image length
    UpgradeTransferFailed,  // %s: bytes sent, image length
    BootLoaderBlockSizeZero,
    FirmwareUpgradeComplete,  // %s: image length
    // The command line.
    CliNoProgrammer,
    CliNoLibrary,            // %s: the library's name, what to install
    CliCatalogueUnreadable,  // %s: path
    CliChooseChip,
    CliUnknownChip,     // %s: the name asked for
    CliAmbiguousChip,   // %s: the name asked for
    CliOutputExists,    // %s: path
    CliFileRefused,     // %s: path
    CliNoData,          // %s: path
    CliStopped,         // %s: operation
    CliDetectRefused,   // %s: what the programmer found
    CliDetectTypeOnly,  // %s: the type
    // The programmer is attached but cannot be used: what to check. The
    // window's "Not connected" panel shows it as its tip, ostrel-cli prints it.
    ProgrammerUnusable,
    // Guarding the chip from the wrong file and the wrong choice, and the
    // command line's own outcome lines.
    ReadRecordTextAs,        // %s: path, format, format (the window's question)
    RecordTextUnderRawName,  // %s: path, format (the command-line tools refuse)
    FileMayBeCutOff,
    RecordErrorAtLine,     // %s: line number, the reader's message
    CliChipCheckNoChip,    // %s: the chosen chip
    CliChipCheckWrong,     // %s: what was found, the chosen chip
    CliFoundChipId,        // %s: the chip's name, the ID
    CliFoundUnknownId,     // %s: the ID
    CliFoundType,          // %s: the type
    CliOtherMaker,         // %s: the name, the maker asked for, the makers that have it
    CliDidYouMean,         // %s: up to five names
    CliOutputUncreatable,  // %s: path
    CliOutputIsFolder,     // %s: path
    CliOutputUnwritable,   // %s: path, the reason
    CliWriteFailed,        // %s: path, the reason
    CliJsonHoldsOutput,
    CliStandardOutput,
    CliStandardInput,
    CliOutcomeRead,    // %s: size, chip, file, format, seconds
    CliOutcomeWrite,   // %s: size, file, format, chip, seconds
    CliOutcomeVerify,  // %s: size, chip, file, format, seconds
    CliOutcomeAuto,    // %s: size, file, format, chip, seconds
    CliOutcomeErase,   // %s: chip, seconds
    CliOutcomeBlank,   // %s: chip
    CliVerifyDiffers,  // %s: chip, file, address, chip's byte, file's byte
    // The diagnosis (ostrel-cli doctor, Help > Diagnose...): a finding, then
    // for a problem what to do.
    DoctorLibraryOk,  // %s: the library file
    DoctorLibraryMissing,
    DoctorLibraryInstall,
    DoctorLibraryIncomplete,  // %s: the library file, the entry points it lacks
    DoctorLibraryReinstall,
    DoctorBusOk,  // %s: bus paths
    DoctorBusBootLoader,
    DoctorBusFinishUpgrade,
    DoctorBusNone,
    DoctorBusPlugIn,
    DoctorBusNoDriver,     // %s: the device's name as the system lists it
    DoctorBusOtherDriver,  // %s: the device's name, its driver
    DoctorBusInstallDriver,
    DoctorAccessOk,      // %s: device node
    DoctorAccessDenied,  // %s: device node
    DoctorAccessNoRule,
    DoctorAccessRemote,  // %s: the rule's file
    DoctorAccessReplug,  // %s: the rule's file
    DoctorClaimOk,       // %s: interface number
    DoctorClaimHeld,     // %s: interface number, the processes
    DoctorClaimCloseIt,
    DoctorClaimUnknown,  // %s: interface number
    DoctorClaimFindIt,   // %s: device node
    DoctorHardwareOk,    // %s: hardware version, firmware version, serial number
    DoctorHardwareSilent,
    DoctorHardwareReplug,
    DoctorChipSeat,
    DoctorChipUnknownAdvice,
    DoctorReadSame,    // %s: chip, CRC-32, MB/s
    DoctorReadDiffer,  // %s: chip, CRC-32 of the first read, of the second
    DoctorReadReseat,
    DoctorReadFailed,  // %s: chip
    DoctorReadNoChip,
    DoctorStopped,
    DiagnoseMenu,
    DiagnoseTitle,
    DiagnoseSaveReport,
    DiagnoseNotConnectedTip,
    DiagnoseReportSaved,  // %s: path
    // Commands that would move nothing: the type is not streamed, the class has no erase.
    TypeNotStreamed,  // %s: the type
    ClassHasNoErase,  // %s: the type
    // Several programmers: choosing one, and a part of a chip.
    CliProgrammerGone,    // %s: bus path
    CliProgrammerBusy,    // %s: bus path
    CliSerialAbsent,      // %s: serial number
    CliSerialBusy,        // %s: serial number, programmers that could not be asked
    CliUsingFirst,        // %s: programmers attached, the bus path used
    CliRangeReversed,     // %s: start, end (hexadecimal)
    CliStartPastEnd,      // %s: start, the chip's last address (0x...)
    CliRangePastEnd,      // %s: start, end, the chip's last address (hexadecimal)
    MenuProgrammer,       // the Operation menu's submenu
    MenuNoProgrammer,     // its only entry when none is attached
    ProgrammerBusyEntry,  // %s: bus path
    // Production runs: the production log, the serial numbers and their dialog.
    ProductionLogUnwritable,  // %s: path, reason
    ProductionLogStarted,     // %s: path
    ProductionCounts,         // %s: chips passed, chips failed
    SerialCounterFailed,      // %s: path, reason
    SerialOutsideChip,        // %s: address, bytes, the chip's size
    SerialDialogTitle,
    SerialDialogEnable,
    SerialDialogAddress,
    SerialDialogBytes,
    SerialDialogStart,
    SerialDialogStep,
    SerialDialogBigEndian,
    SerialDialogInvalid,  // %s: what is wrong (English)
    // The production database of a line: products, the database away.
    SerialDialogProduct,
    SerialDialogNoProduct,
    DatabaseStarted,       // %s: the database (its password hidden)
    DatabaseUnusable,      // %s: the database, the reason
    DatabaseAway,          // %s: the database, the reason
    DatabaseSpooled,       // %s: the reason, the spool file
    DatabaseRecordLost,    // %s: the reason, the spool file, why it could not be written
    DatabaseSpoolWritten,  // %s: records written from the spool
    DatabaseSetAside,      // %s: records set aside, the file, the first one's reason
    ProductUnknown,        // %s: product
    ProductWrongChip,      // %s: product, its chip, the chip chosen
    ProductWrongImage,     // %s: product, the image's SHA-256, the product's
    ProductAdded,          // %s: product, chip, SHA-256, bytes
    ProductLeaseSet,       // %s: the product, the numbers of a lease
    DatabaseOffline,       // %s: the database, the reason
    LeaseUsedUp,           // %s: the database, the reason, the product, chips the lease gave
    LeaseHolding,          // %s: numbers left in the lease, outcomes waiting
    LeaseReclaimed,        // %s: station, leases, numbers returned to the pool
    LeaseReclaimNothing,   // %s: station
    LeaseReclaimRefused,   // %s: station, when it was last seen
    OrphansSpent,          // %s: numbers spent, their cause
    OrphansRefused,        // %s: chips refused, the first one's reason
    StationHolding,        // %s: station, numbers left, numbers spent, waiting, when reported
    StationNeverReported,  // %s: station, numbers left, numbers spent
    SerialWritten,         // %s: the serial number written into the chip
    DifferenceBytes,       // %s: the difference's words, the chip's byte, the file's byte
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
    ProgrammerStoppedAnswering,
    ChecksumByteSum,
    ButtonOk,
    ButtonCancel,
    ButtonCopy,
    DiagnoseCheckOk,
    DiagnoseCheckProblem,
    // The window guards the user's work and the chip.
    UnsavedEditsQuestion,
    MenuCheckChip,
    MenuVerifyAfterWrite,
    ChipCheckAskNoChip,  // %s: the chosen chip
    ChipCheckAskWrong,   // %s: what was found, the chosen chip
    WriteNotErased,      // the likely cause of a difference after a write
    WriteNotTaken,
    NoChipAnswered,        // %s: the ID read (00 00 00 or FF FF FF)
    ChipCheckAskNoAnswer,  // %s: the ID read, the chosen chip
    CliChipCheckNoAnswer,  // %s: the ID read, the chosen chip
    ProgrammerNotUsable,   // %s: the chosen programmer, why, the one offered instead
    ProgrammerWhyGone,
    ProgrammerWhyBusy,
    ProgrammerWhyNoAccess,
    BatchProgrammerGone,  // %s: the programmer batch mode ran on
    // The command line's words for what the core leaves in English.
    CliCaptionInfo,
    CliCaptionInformation,
    CliAnsweredNo,
    CliAnsweredYes,
    CliRawBinary,
    // What a read looks like, and a read done twice.
    DumpBlank,
    DumpAllZero,
    DumpStuckBit,  // %s: the bit, its value
    DumpRepeats,   // %s: the size it repeats after, the same size
    DumpPattern,   // %s: the pattern's length, its bytes
    ReadsDiffer,   // %s: bytes, blocks, the first address, the first read's byte, the second's
    ReadsMatched,
    CliReadsNotSaved,  // %s: the file
    MenuReadTwice,
    // The chip map.
    MapTitle,     // %s: the chip or file, its size, the cell's size
    MapDataSpan,  // %s: the first and the last address of the cells that are not blank
    MapBlank,
    MapZero,
    MapData,
    MapDiffers,
    MapReadsDiffer,
    MenuChipMap,
    MapCaption,
    MapHover,        // %s: first address, last address, what the cell holds
    MapWindowTitle,  // %s: the chip, its size, the cell's size
    // The line server.
    LineUsage,
    LineTokenAdded,  // %s: the role's word, the name
    LineListening,   // %s: the address and port, http or https, the database
    // Not a text: the number of texts. New texts go above it.
    EndOfTexts
};

inline constexpr int kTextCount = static_cast<int>(Txt::EndOfTexts);

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
