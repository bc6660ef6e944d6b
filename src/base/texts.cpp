#include "base/texts.h"

#include <array>

#include "base/platform.h"

namespace ostrel {
namespace {

struct Entry {
    Txt key;
    const char* name;
    std::array<const char*, 3> texts;  // Simplified, Traditional, English; null: English
};

#define OSTREL_TEXT(key) Txt::key, #key
constexpr Entry kTexts[kTextCount] = {
    {OSTREL_TEXT(CaptionError), {nullptr, nullptr, "Error"}},
    {OSTREL_TEXT(CaptionInfo), {nullptr, nullptr, "Info"}},
    {OSTREL_TEXT(CaptionInformation), {nullptr, nullptr, "Information"}},
    {OSTREL_TEXT(CantOpenFile), {nullptr, nullptr, "Can't open File"}},
    {OSTREL_TEXT(FileTooBigForBuffer), {nullptr, nullptr, "File is too big for Buffer"}},
    {OSTREL_TEXT(FileReadOperationFailed), {nullptr, nullptr, "File Read Operation Failed"}},
    {OSTREL_TEXT(ErrorReadingFile), {nullptr, nullptr, "Error reading File"}},
    {OSTREL_TEXT(IllegalLineFound), {nullptr, nullptr, "Illegal Line found"}},
    {OSTREL_TEXT(IllegalCharInFile), {nullptr, nullptr, "Illegal Char in File"}},
    {OSTREL_TEXT(FileExceedsMaximumSize), {nullptr, nullptr, "File exceeds Maximum Size"}},
    {OSTREL_TEXT(InvalidEofRecord), {nullptr, nullptr, "Invalid EOF Record"}},
    {OSTREL_TEXT(InvalidRecordType), {nullptr, nullptr, "Invalid Record type"}},
    {OSTREL_TEXT(ChecksumError), {nullptr, nullptr, "Checksum Error"}},
    {OSTREL_TEXT(ChecksumErrorType0), {nullptr, nullptr, "Checksum Error type 0"}},
    {OSTREL_TEXT(ChecksumErrorType2), {nullptr, nullptr, "Checksum Error type 2"}},
    {OSTREL_TEXT(ChecksumErrorType4), {nullptr, nullptr, "Checksum Error type 4"}},
    {OSTREL_TEXT(InvalidRecordLengthType2), {nullptr, nullptr, "Invalid Record Length for type 2"}},
    {OSTREL_TEXT(InvalidRecordLengthType4), {nullptr, nullptr, "Invalid Record Length for type 4"}},
    {OSTREL_TEXT(CannotOpenFile), {nullptr, nullptr, "Cannot open file %s"}},
    {OSTREL_TEXT(CannotCreateFile), {nullptr, nullptr, "Cannot create file %s"}},
    {OSTREL_TEXT(NotValidInteger), {nullptr, nullptr, "'%s' is not a valid integer value"}},
    {OSTREL_TEXT(UnableToWriteTo), {nullptr, nullptr, "Unable to write to %s"}},
    {OSTREL_TEXT(ChipTooLarge),
     {"芯片容量超过 64 MB 缓冲区，无法操作。", "晶片容量超過 64 MB 緩衝區，無法操作。",
      "The chip is larger than the 64 MB buffer and cannot be programmed."}},
    {OSTREL_TEXT(NoPageSize),
     {"芯片页大小为 0，无法按页擦除。", "晶片頁大小為 0，無法按頁擦除。",
      "The chip's page size is 0, so its pages cannot be erased."}},
    {OSTREL_TEXT(ChipExceedsBuffers),
     {"芯片容量超过程序缓冲区（FLASH %s 字节，最多 %s；DATA %s 字节，最多 %s）。"
      "只显示和处理能容纳的部分。",
      "晶片容量超過程式緩衝區（FLASH %s 位元組，最多 %s；DATA %s 位元組，最多 %s）。"
      "只顯示和處理能容納的部分。",
      "The chip is larger than the program's buffers (FLASH %s bytes, at most %s; DATA %s "
      "bytes, at most %s). Only the part that fits is shown and handled."}},
    {OSTREL_TEXT(FillRangeRefused),
     {"无法从 %s 填充到 %s：起始地址不能大于结束地址，且两者都必须在 0 到 %s 之间。",
      "無法從 %s 填充到 %s：起始位址不能大於結束位址，且兩者都必須在 0 到 %s 之間。",
      "Cannot fill from %s to %s: the start address must not be above the end address, and "
      "both must lie between 0 and %s."}},
    {OSTREL_TEXT(OperationRead), {"读出", "讀出", "Read"}},
    {OSTREL_TEXT(OperationBlankCheck), {"查空", "查空", "Blank check"}},
    {OSTREL_TEXT(OperationVerify), {"校验", "校驗", "Verify"}},
    {OSTREL_TEXT(OperationErase), {"擦除", "擦除", "Erase"}},
    {OSTREL_TEXT(OperationWrite), {"编程", "編程", "Write"}},
    {OSTREL_TEXT(TransferFailed),
     {"%s在地址 %s 处中断：编程器没有应答。操作未完成。",
      "%s在位址 %s 處中斷：編程器沒有應答。操作未完成。",
      "%s stopped at address %s: the programmer did not answer. The operation is not "
      "complete."}},
    {OSTREL_TEXT(EraseNotFinished),
     {"擦除未完成：%s 次状态查询后芯片仍然忙碌，或编程器没有应答。",
      "擦除未完成：%s 次狀態查詢後晶片仍然忙碌，或編程器沒有應答。",
      "The erase did not finish: the chip was still busy after %s status polls, or the "
      "programmer did not answer."}},
    {OSTREL_TEXT(EraseNotTaken),
     {"擦除未生效（地址 %s）：芯片很可能被写保护。",
      "擦除未生效（位址 %s）：晶片很可能受寫入保護。",
      "The erase did not take at address %s: the chip is likely write-protected."}},
    {OSTREL_TEXT(ChipIdNoAnswer),
     {"读取芯片ID时编程器没有应答。", "讀取晶片ID時編程器沒有應答。",
      "The programmer did not answer the chip ID read."}},
    {OSTREL_TEXT(SetupNoAnswer),
     {"编程器没有应答芯片设置，操作未开始。", "編程器沒有應答晶片設定，操作未開始。",
      "The programmer did not answer the chip set-up; nothing was done."}},
    {OSTREL_TEXT(EditorTooManyChips),
     {"表中有 %s 个芯片，配置文件最多只能保存 %s 个。文件未写入。",
      "表中有 %s 個晶片，配置檔最多只能保存 %s 個。檔案未寫入。",
      "The grid holds %s chips; the catalogue file holds at most %s. The file was not "
      "written."}},
    {OSTREL_TEXT(EditorNameTooLong),
     {"第 %s 行：类型、厂商和型号合计 %s 字节，芯片记录最多容纳 %s 字节。文件未写入。",
      "第 %s 行：類型、廠商和型號合計 %s 位元組，晶片記錄最多容納 %s 位元組。檔案未寫入。",
      "Row %s: type, manufacturer and name take %s bytes together; a chip record holds %s. "
      "The file was not written."}},
    {OSTREL_TEXT(EditorValueTooLarge),
     {"第 %s 行：%s 的值 %s 超出范围（0 到 %s）。文件未写入。",
      "第 %s 行：%s 的值 %s 超出範圍（0 到 %s）。檔案未寫入。",
      "Row %s: the %s value %s is out of range (0 to %s). The file was not written."}},
    {OSTREL_TEXT(EditorTextNotGbk),
     {"“%s”含有芯片库无法保存的字符。", "「%s」含有晶片庫無法保存的字元。",
      "'%s' holds characters that the chip catalogue cannot store."}},
    {OSTREL_TEXT(FirmwareFileRefused),
     {"无法读取固件文件 %s。没有发送任何数据，编程器保留原有固件。",
      "無法讀取固件檔案 %s。沒有傳送任何資料，編程器保留原有固件。",
      "The firmware file %s could not be read. Nothing was sent; the programmer keeps its "
      "firmware."}},
    {OSTREL_TEXT(FirmwareFileTooBig),
     {"固件文件 %s 有 %s 字节，引导程序最多接受 %s 字节。没有发送任何数据，编程器保留原有固件。",
      "固件檔案 %s 有 %s 位元組，引導程式最多接受 %s "
      "位元組。沒有傳送任何資料，編程器保留原有固件。",
      "The firmware file %s holds %s bytes; the boot loader takes at most %s. Nothing was sent; "
      "the programmer keeps its firmware."}},
    {OSTREL_TEXT(FirmwareFileEmpty),
     {"固件文件 %s 是空的，引导程序将得不到固件。仍然发送吗？",
      "固件檔案 %s 是空的，引導程式將得不到固件。仍然傳送嗎？",
      "The firmware file %s is empty: the boot loader would get no firmware. Send it all the "
      "same?"}},
    {OSTREL_TEXT(FirmwareFileNoImage),
     {"固件文件 %s 在前 12288 字节（这部分从不发送）之后没有数据，引导程序将得不到固件。"
      "仍然发送吗？",
      "固件檔案 %s 在前 12288 位元組（這部分從不傳送）之後沒有資料，引導程式將得不到固件。"
      "仍然傳送嗎？",
      "The firmware file %s holds nothing beyond its first 12,288 bytes, which are never sent: "
      "the boot loader would get no firmware. Send it all the same?"}},
    {OSTREL_TEXT(FirmwareFileErased),
     {"固件文件 %s 在前 12288 字节（这部分从不发送）之后只有 FF 字节，引导程序将得不到固件。"
      "仍然发送吗？",
      "固件檔案 %s 在前 12288 位元組（這部分從不傳送）之後只有 FF 位元組，引導程式將得不到固件。"
      "仍然傳送嗎？",
      "Beyond its first 12,288 bytes, which are never sent, the firmware file %s holds only FF "
      "bytes: the boot loader would get no firmware. Send it all the same?"}},
    {OSTREL_TEXT(FirmwareFileNotArm),
     {"固件文件 %s 不是编程器的固件：从偏移 0x3000 起应先是 RAM 中按 4 字节对齐的栈指针"
      "（20000000h 至 20030000h），再是闪存中从 08003000h 起的奇数启动地址，但它以 %s 和 %s "
      "开头。仍然发送吗？",
      "固件檔案 %s 不是編程器的固件：從位移 0x3000 起應先是 RAM 中按 4 位元組對齊的堆疊指標"
      "（20000000h 至 20030000h），再是快閃記憶體中從 08003000h 起的奇數啟動位址，但它以 %s 和 "
      "%s 開頭。仍然傳送嗎？",
      "The firmware file %s is not the programmer's firmware: from offset 0x3000 on it should "
      "begin with a word-aligned stack pointer in RAM (20000000h to 20030000h) and an odd start "
      "address in the flash from 08003000h on, but it begins with %s and %s. Send it all the "
      "same?"}},
    {OSTREL_TEXT(BootLoaderNotFound),
     {"尝试 %s 次后仍未找到编程器的引导程序，固件没有升级。如果编程器不再应答，请重新升级。",
      "嘗試 %s 次後仍未找到編程器的引導程式，固件沒有升級。如果編程器不再應答，請重新升級。",
      "The programmer's boot loader was not found in %s attempts; the firmware was not "
      "upgraded. If the programmer no longer answers, run the upgrade again."}},
    {OSTREL_TEXT(UpgradeNoAnswer),
     {"固件升级中断：引导程序在 %s 秒内没有应答（已发送 %s / %s "
      "字节）。编程器停留在引导程序中，请重新升级。",
      "固件升級中斷：引導程式在 %s 秒內沒有應答（已傳送 %s / %s "
      "位元組）。編程器停留在引導程式中，請重新升級。",
      "The firmware upgrade stopped: the boot loader did not answer within %s seconds (%s of %s "
      "bytes sent). The programmer stays in its boot loader; run the upgrade again."}},
    {OSTREL_TEXT(UpgradeTransferFailed),
     {"固件升级中断：与引导程序的连接失败（已发送 %s / %s "
      "字节）。编程器停留在引导程序中，请重新升级。",
      "固件升級中斷：與引導程式的連線失敗（已傳送 %s / %s "
      "位元組）。編程器停留在引導程式中，請重新升級。",
      "The firmware upgrade stopped: the connection to the boot loader failed (%s of %s bytes "
      "sent). The programmer stays in its boot loader; run the upgrade again."}},
    {OSTREL_TEXT(BootLoaderBlockSizeZero),
     {"引导程序报告的块大小为 0，固件无法分块，没有发送固件数据。编程器停留在引导程序中。",
      "引導程式回報的區塊大小為 0，固件無法分塊，沒有傳送固件資料。編程器停留在引導程式中。",
      "The boot loader reported a block size of 0, so the firmware cannot be divided into "
      "blocks; none of it was sent. The programmer stays in its boot loader."}},
    {OSTREL_TEXT(FirmwareUpgradeComplete),
     {"固件升级完成，%s 字节", "固件升級完成，%s 位元組", "Firmware upgrade complete, %s bytes"}},
    {OSTREL_TEXT(CliNoProgrammer),
     {"没有找到编程器。请检查 USB 连接（lsusb 应列出 1fc8:300b），以及当前用户是否有权打开它"
      "（安装 udev 规则，或把用户加入 plugdev 组后重新登录）。",
      "沒有找到編程器。請檢查 USB 連接（lsusb 應列出 1fc8:300b），以及目前使用者是否有權開啟它"
      "（安裝 udev 規則，或把使用者加入 plugdev 群組後重新登入）。",
      "No programmer found. Check the USB connection (lsusb should list 1fc8:300b) and that "
      "your user may open it (install the udev rule, or join the plugdev group and log in "
      "again)."}},
    {OSTREL_TEXT(CliNoLibrary),
     {"无法载入 USB 库 %s，因此无法连接编程器。%s",
      "無法載入 USB 函式庫 %s，因此無法連接編程器。%s",
      "The USB library %s could not be loaded, so no programmer can be reached. %s"}},
    {OSTREL_TEXT(CliCatalogueUnreadable),
     {"无法读取芯片库 %s。", "無法讀取晶片庫 %s。", "Cannot read the chip catalogue %s."}},
    {OSTREL_TEXT(CliChooseChip),
     {"请用 --chip 名称 或 --detect 选择芯片。", "請用 --chip 名稱 或 --detect 選擇晶片。",
      "Choose the chip with --chip NAME or --detect."}},
    {OSTREL_TEXT(CliUnknownChip),
     {"芯片库中没有名为 %s 的芯片（ostrel-cli chips 列出全部芯片）。",
      "晶片庫中沒有名為 %s 的晶片（ostrel-cli chips 列出全部晶片）。",
      "The catalogue has no chip named %s (ostrel-cli chips lists them all)."}},
    {OSTREL_TEXT(CliAmbiguousChip),
     {"有多个芯片名为 %s，请用 --maker 厂商 或 类型,厂商,名称 选择其中之一：",
      "有多個晶片名為 %s，請用 --maker 廠商 或 類型,廠商,名稱 選擇其中之一：",
      "Several chips are named %s; choose one with --maker MAKER or as TYPE,MAKER,NAME:"}},
    {OSTREL_TEXT(CliOutputExists),
     {"%s 已存在；加上 --force 才会覆盖。", "%s 已存在；加上 --force 才會覆蓋。",
      "%s exists; add --force to replace it."}},
    {OSTREL_TEXT(CliFileRefused),
     {"未能使用文件 %s，命令未执行。", "未能使用檔案 %s，命令未執行。",
      "The file %s could not be used; nothing was done."}},
    {OSTREL_TEXT(CliNoData),
     {"文件 %s 没有数据，没有可编程或校验的内容。", "檔案 %s 沒有資料，沒有可編程或校驗的內容。",
      "The file %s holds no data: there is nothing to write or verify."}},
    {OSTREL_TEXT(CliStopped),
     {"%s已按要求在当前数据块后停止，作业已结束；操作未完成。",
      "%s已按要求在目前資料塊後停止，作業已結束；操作未完成。",
      "%s stopped on request after the current block; the job was ended and the operation is "
      "not complete."}},
    {OSTREL_TEXT(CliDetectRefused),
     {"--detect 无法选择芯片：%s。", "--detect 無法選擇晶片：%s。",
      "--detect cannot choose the chip: %s."}},
    {OSTREL_TEXT(CliDetectTypeOnly),
     {"检测到 %s 类型的芯片，但没有 ID；请用 --chip 选择。",
      "偵測到 %s 類型的晶片，但沒有 ID；請用 --chip 選擇。",
      "A chip of the type %s was found, but it has no ID; choose it with --chip."}},
    {OSTREL_TEXT(ProgrammerUnusable),
     {"已找到 Ostrel I 编程器（USB 1FC8:300B），但无法打开。请检查 udev 规则 60-ostrel.rules "
      "是否已安装（软件包将其放在 /usr/lib/udev/rules.d），然后拔下编程器重新插入。"
      "如果仍然不行，请关闭正在使用编程器的其他程序。",
      "已找到 Ostrel I 編程器（USB 1FC8:300B），但無法開啟。請檢查 udev 規則 60-ostrel.rules "
      "是否已安裝（套件將其放在 /usr/lib/udev/rules.d），然後拔下編程器重新插入。"
      "如果仍然不行，請關閉正在使用編程器的其他程式。",
      "An Ostrel I programmer is attached (USB 1FC8:300B) but could not be opened. Check that "
      "the udev rule 60-ostrel.rules is installed (the package puts it into "
      "/usr/lib/udev/rules.d), then unplug the programmer and plug it in again. If it still "
      "fails, close any other program that is using the programmer."}},
    // Guarding the chip from the wrong file and the wrong choice, and the
    // command line's own outcome lines.
    {OSTREL_TEXT(ReadRecordTextAs),
     {"%s 的内容是 %s 文本，但按文件扩展名会作为二进制数据读入。是否按 %s 格式读入？",
      "%s 的內容是 %s 文字，但依檔案副檔名會當作二進位資料讀入。是否依 %s 格式讀入？",
      "%s holds %s text, but its extension reads it as raw binary. Read it as %s?"}},
    {OSTREL_TEXT(RecordTextUnderRawName),
     {"%s 的内容是 %s 文本，但按扩展名会作为二进制数据读入；请用 --format bin|hex|srec "
      "指定读入格式。",
      "%s 的內容是 %s 文字，但依副檔名會當作二進位資料讀入；請用 --format bin|hex|srec "
      "指定讀入格式。",
      "%s holds %s text, but its extension reads it as raw binary; choose how to read it with "
      "--format bin|hex|srec."}},
    {OSTREL_TEXT(FileMayBeCutOff),
     {"文件在结束记录之前就结束了，可能不完整。", "檔案在結束記錄之前就結束了，可能不完整。",
      "the file ends before its end record; it may be cut off"}},
    {OSTREL_TEXT(RecordErrorAtLine), {"第 %s 行：%s", "第 %s 行：%s", "line %s: %s"}},
    {OSTREL_TEXT(CliChipCheckNoChip),
     {"插座中没有芯片，但选择的是 %s；--any-chip 可不检查继续。",
      "插座中沒有晶片，但選擇的是 %s；--any-chip 可不檢查繼續。",
      "The socket holds no chip, but %s was chosen; --any-chip goes on regardless."}},
    {OSTREL_TEXT(CliChipCheckWrong),
     {"插座中是 %s，但选择的是 %s；--any-chip 可不检查继续。",
      "插座中是 %s，但選擇的是 %s；--any-chip 可不檢查繼續。",
      "The socket holds %s, but %s was chosen; --any-chip goes on regardless."}},
    {OSTREL_TEXT(CliFoundChipId), {"%s（ID %s）", "%s（ID %s）", "%s (ID %s)"}},
    {OSTREL_TEXT(CliFoundUnknownId),
     {"芯片库中没有的芯片（ID %s）", "晶片庫中沒有的晶片（ID %s）",
      "a chip that is not in the catalogue (ID %s)"}},
    {OSTREL_TEXT(CliFoundType),
     {"一个 %s 类型的芯片（没有 ID）", "一個 %s 類型的晶片（沒有 ID）",
      "a chip of the type %s (without an ID)"}},
    {OSTREL_TEXT(CliOtherMaker),
     {"%s 不是 %s 的芯片，而是 %s 的。", "%s 不是 %s 的晶片，而是 %s 的。",
      "%s is not made by %s; %s makes it."}},
    {OSTREL_TEXT(CliDidYouMean), {"是否要找：%s", "是否要找：%s", "Did you mean: %s"}},
    {OSTREL_TEXT(CliOutputUncreatable),
     {"无法创建文件 %s；芯片未被读取。", "無法建立檔案 %s；晶片未被讀取。",
      "Cannot create file %s; the chip was not read."}},
    {OSTREL_TEXT(CliOutputIsFolder),
     {"%s 是文件夹；芯片未被读取。", "%s 是資料夾；晶片未被讀取。",
      "%s is a folder; the chip was not read."}},
    {OSTREL_TEXT(CliOutputUnwritable),
     {"%s 无法被替换（%s）；芯片未被读取。", "%s 無法被取代（%s）；晶片未被讀取。",
      "%s cannot be replaced (%s); the chip was not read."}},
    {OSTREL_TEXT(CliWriteFailed),
     {"写入文件 %s 时出错：%s", "寫入檔案 %s 時出錯：%s", "Error writing file %s: %s"}},
    {OSTREL_TEXT(CliJsonHoldsOutput),
     {"--json 占用标准输出，read 不能把数据写到标准输出（-）；芯片未被读取。",
      "--json 佔用標準輸出，read 不能把資料寫到標準輸出（-）；晶片未被讀取。",
      "--json takes standard output, so read cannot save to it (-); the chip was not read."}},
    {OSTREL_TEXT(CliStandardOutput), {"标准输出", "標準輸出", "standard output"}},
    {OSTREL_TEXT(CliStandardInput), {"标准输入", "標準輸入", "standard input"}},
    {OSTREL_TEXT(CliOutcomeRead),
     {"已读出 %s 数据：%s → %s（%s），用时 %s 秒。", "已讀出 %s 資料：%s → %s（%s），用時 %s 秒。",
      "Read %s of %s into %s (%s) in %s s."}},
    {OSTREL_TEXT(CliOutcomeWrite),
     {"已将 %s 数据从 %s（%s）写入 %s，用时 %s 秒。",
      "已將 %s 資料從 %s（%s）寫入 %s，用時 %s 秒。", "Wrote %s of %s (%s) to %s in %s s."}},
    {OSTREL_TEXT(CliOutcomeVerify),
     {"已校验 %s 数据：%s 与 %s（%s）相同，用时 %s 秒。",
      "已校驗 %s 資料：%s 與 %s（%s）相同，用時 %s 秒。",
      "Verified %s of %s: the same as %s (%s), in %s s."}},
    {OSTREL_TEXT(CliOutcomeAuto),
     {"已将 %s 数据从 %s（%s）擦除后写入 %s 并校验通过，用时 %s 秒。",
      "已將 %s 資料從 %s（%s）擦除後寫入 %s 並校驗通過，用時 %s 秒。",
      "Erased, wrote and verified %s of %s (%s) on %s in %s s."}},
    {OSTREL_TEXT(CliOutcomeErase),
     {"%s 已擦除，用时 %s 秒。", "%s 已擦除，用時 %s 秒。", "Erased %s in %s s."}},
    {OSTREL_TEXT(CliOutcomeBlank), {"%s 是空的。", "%s 是空的。", "%s is blank."}},
    {OSTREL_TEXT(CliVerifyDiffers),
     {"%s 与 %s 不同，地址 %s：芯片为 %s，文件为 %s。",
      "%s 與 %s 不同，位址 %s：晶片為 %s，檔案為 %s。",
      "%s differs from %s at address %s: the chip holds %s, the file %s."}},
    {OSTREL_TEXT(DoctorLibraryOk),
     {"USB 库：已载入 %s。", "USB 函式庫：已載入 %s。", "USB library: loaded %s."}},
    {OSTREL_TEXT(DoctorLibraryMissing),
     {"USB 库：无法载入 libusb-0.1.so.4。", "USB 函式庫：無法載入 libusb-0.1.so.4。",
      "USB library: libusb-0.1.so.4 could not be loaded."}},
    {OSTREL_TEXT(DoctorLibraryInstall),
     {"请安装软件包 libusb-0.1-4：sudo apt install libusb-0.1-4",
      "請安裝套件 libusb-0.1-4：sudo apt install libusb-0.1-4",
      "Install the package libusb-0.1-4: sudo apt install libusb-0.1-4"}},
    {OSTREL_TEXT(DoctorLibraryIncomplete),
     {"USB 库：%s 缺少入口 %s。", "USB 函式庫：%s 缺少進入點 %s。",
      "USB library: %s lacks the entry points %s."}},
    {OSTREL_TEXT(DoctorLibraryReinstall),
     {"请重新安装软件包 libusb-0.1-4：sudo apt install --reinstall libusb-0.1-4",
      "請重新安裝套件 libusb-0.1-4：sudo apt install --reinstall libusb-0.1-4",
      "Reinstall the package libusb-0.1-4: sudo apt install --reinstall libusb-0.1-4"}},
    {OSTREL_TEXT(DoctorBusOk),
     {"USB 总线：编程器 1FC8:300B 位于 %s。", "USB 匯流排：編程器 1FC8:300B 位於 %s。",
      "USB bus: programmer 1FC8:300B at %s."}},
    {OSTREL_TEXT(DoctorBusBootLoader),
     {"USB 总线：没有编程器，但它的引导程序 (28E9:028B) 在线：上次固件升级没有完成。",
      "USB 匯流排：沒有編程器，但它的引導程式 (28E9:028B) 在線：上次固件升級沒有完成。",
      "USB bus: no programmer, but its boot loader (28E9:028B) is there: a firmware upgrade "
      "did not finish."}},
    {OSTREL_TEXT(DoctorBusFinishUpgrade),
     {"用 ostrel-cli upgrade FILE 完成升级。", "用 ostrel-cli upgrade FILE 完成升級。",
      "Finish it with: ostrel-cli upgrade FILE"}},
    {OSTREL_TEXT(DoctorBusNone),
     {"USB 总线：没有编程器 (1FC8:300B)。", "USB 匯流排：沒有編程器 (1FC8:300B)。",
      "USB bus: no programmer (1FC8:300B)."}},
    {OSTREL_TEXT(DoctorBusPlugIn),
     {"请插上编程器，或换一根数据线、换一个 USB 口；lsusb 应当列出 1FC8:300B。",
      "請插上編程器，或換一條傳輸線、換一個 USB 埠；lsusb 應當列出 1FC8:300B。",
      "Plug the programmer in, or try another cable or port; lsusb must list 1FC8:300B."}},
    {OSTREL_TEXT(DoctorBusNoDriver),
     {"USB 总线：编程器 (1FC8:300B) 已接入（%s），但没有驱动程序，USB 库无法使用它。",
      "USB 匯流排：編程器 (1FC8:300B) 已接入（%s），但沒有驅動程式，USB 函式庫無法使用它。",
      "USB bus: the programmer (1FC8:300B) is attached (%s) but has no driver, so the USB "
      "library cannot reach it."}},
    {OSTREL_TEXT(DoctorBusOtherDriver),
     {"USB 总线：编程器 (1FC8:300B) 已接入（%s），但使用的是驱动程序 %s，USB 库无法使用它。",
      "USB 匯流排：編程器 (1FC8:300B) 已接入（%s），但使用的是驅動程式 %s，USB 函式庫無法使用它。",
      "USB bus: the programmer (1FC8:300B) is attached (%s) with the driver %s, through which "
      "the USB library cannot reach it."}},
    {OSTREL_TEXT(DoctorBusInstallDriver),
     {"请为它安装 libusb-win32 驱动（libusb0.sys 与 libusb0.dll：用 libusb-win32 "
      "项目的安装程序选择设备 1FC8:300B），然后重新插拔编程器。",
      "請為它安裝 libusb-win32 驅動程式（libusb0.sys 與 libusb0.dll：用 libusb-win32 "
      "專案的安裝程式選擇裝置 1FC8:300B），然後重新插拔編程器。",
      "Install the libusb-win32 driver for it (libusb0.sys and libusb0.dll: choose the device "
      "1FC8:300B in the libusb-win32 project's installer), then replug the programmer."}},
    {OSTREL_TEXT(DoctorAccessOk),
     {"设备节点 %s：本用户可以打开。", "裝置節點 %s：本使用者可以開啟。",
      "Device node %s: this user can open it."}},
    {OSTREL_TEXT(DoctorAccessDenied),
     {"设备节点 %s：本用户无法打开。", "裝置節點 %s：本使用者無法開啟。",
      "Device node %s: this user cannot open it."}},
    {OSTREL_TEXT(DoctorAccessNoRule),
     {"没有安装 udev 规则 60-ostrel.rules。软件包把它安装为 /usr/lib/udev/rules.d/60-ostrel.rules"
      "（请重新安装软件包）；自行编译时，从源代码目录安装它：sudo cp packaging/60-ostrel.rules "
      "/etc/udev/rules.d/ && sudo udevadm control --reload-rules && sudo udevadm trigger，"
      "然后重新插拔编程器。",
      "沒有安裝 udev 規則 60-ostrel.rules。套件把它安裝為 /usr/lib/udev/rules.d/60-ostrel.rules"
      "（請重新安裝套件）；自行編譯時，從原始碼目錄安裝它：sudo cp packaging/60-ostrel.rules "
      "/etc/udev/rules.d/ && sudo udevadm control --reload-rules && sudo udevadm trigger，"
      "然後重新插拔編程器。",
      "The udev rule 60-ostrel.rules is not installed. The package installs it as "
      "/usr/lib/udev/rules.d/60-ostrel.rules (reinstall the package); for a build, install it "
      "from the source tree: sudo cp packaging/60-ostrel.rules /etc/udev/rules.d/ && sudo "
      "udevadm control --reload-rules && sudo udevadm trigger, then replug the programmer."}},
    {OSTREL_TEXT(DoctorAccessRemote),
     {"udev 规则 %s 只给本地登录会话授权 (uaccess)，而当前会话不是本地的。请给一个用户组授权："
      "echo 'SUBSYSTEM==\"usb\", ATTR{idVendor}==\"1fc8\", ATTR{idProduct}==\"300b\", "
      "GROUP=\"plugdev\", MODE=\"0660\"' | sudo tee /etc/udev/rules.d/61-ostrel-plugdev.rules，"
      "再执行 sudo usermod -aG plugdev $USER，重新登录并重新插拔编程器。",
      "udev 規則 %s 只給本機登入工作階段授權 "
      "(uaccess)，而目前的工作階段不是本機的。請給一個群組授權："
      "echo 'SUBSYSTEM==\"usb\", ATTR{idVendor}==\"1fc8\", ATTR{idProduct}==\"300b\", "
      "GROUP=\"plugdev\", MODE=\"0660\"' | sudo tee /etc/udev/rules.d/61-ostrel-plugdev.rules，"
      "再執行 sudo usermod -aG plugdev $USER，重新登入並重新插拔編程器。",
      "The udev rule %s grants access to local sessions only (uaccess), and this session is "
      "not local. Give a group access: echo 'SUBSYSTEM==\"usb\", ATTR{idVendor}==\"1fc8\", "
      "ATTR{idProduct}==\"300b\", GROUP=\"plugdev\", MODE=\"0660\"' | sudo tee "
      "/etc/udev/rules.d/61-ostrel-plugdev.rules, then sudo usermod -aG plugdev $USER, log in "
      "again and replug the programmer."}},
    {OSTREL_TEXT(DoctorAccessReplug),
     {"udev 规则 %s 已安装：执行 sudo udevadm control --reload-rules && sudo udevadm trigger，"
      "然后重新插拔编程器。",
      "udev 規則 %s 已安裝：執行 sudo udevadm control --reload-rules && sudo udevadm trigger，"
      "然後重新插拔編程器。",
      "The udev rule %s is installed: reload it with sudo udevadm control --reload-rules && "
      "sudo udevadm trigger, then replug the programmer."}},
    {OSTREL_TEXT(DoctorClaimOk),
     {"接口 %s：可以独占使用。", "介面 %s：可以獨佔使用。", "Interface %s: claimed."}},
    {OSTREL_TEXT(DoctorClaimHeld),
     {"接口 %s 被另一个进程占用：%s。", "介面 %s 被另一個行程佔用：%s。",
      "Interface %s is held by another process: %s."}},
    {OSTREL_TEXT(DoctorClaimCloseIt),
     {"请关闭那个程序，然后再试。", "請關閉那個程式，然後再試。",
      "Close that program and try again."}},
    {OSTREL_TEXT(DoctorClaimUnknown),
     {"接口 %s 无法独占：另一个程序或内核驱动占用了它（本用户看不到是哪一个）。",
      "介面 %s 無法獨佔：另一個程式或核心驅動程式佔用了它（本使用者看不到是哪一個）。",
      "Interface %s could not be claimed: another program or a kernel driver holds it (none "
      "that this user can see)."}},
    {OSTREL_TEXT(DoctorClaimFindIt),
     {"关闭其他使用编程器的程序；sudo fuser -v %s 会显示是谁占用了它。",
      "關閉其他使用編程器的程式；sudo fuser -v %s 會顯示是誰佔用了它。",
      "Close other programs that use the programmer; sudo fuser -v %s shows which one holds "
      "it."}},
    {OSTREL_TEXT(DoctorHardwareOk),
     {"编程器应答：硬件 %s，固件 %s，序列号 %s。", "編程器回應：硬件 %s，固件 %s，序號 %s。",
      "The programmer answers: hardware %s, firmware %s, serial number %s."}},
    {OSTREL_TEXT(DoctorHardwareSilent),
     {"编程器没有应答硬件信息请求。", "編程器沒有回應硬件資訊請求。",
      "The programmer does not answer its hardware-information request."}},
    {OSTREL_TEXT(DoctorHardwareReplug),
     {"请重新插拔编程器；如果仍然没有应答，请升级它的固件 (ostrel-cli upgrade FILE)。",
      "請重新插拔編程器；如果仍然沒有回應，請升級它的固件 (ostrel-cli upgrade FILE)。",
      "Replug the programmer; if it still does not answer, upgrade its firmware (ostrel-cli "
      "upgrade FILE)."}},
    {OSTREL_TEXT(DoctorChipSeat),
     {"请放好芯片（第 1 脚如插座图所示），或检查夹子的接触。",
      "請放好晶片（第 1 腳如插座圖所示），或檢查夾子的接觸。",
      "Seat the chip (pin 1 as the socket picture shows) or check the clip's contacts."}},
    {OSTREL_TEXT(DoctorChipUnknownAdvice),
     {"这个 ID 不在芯片库中：用 -c 按名称选择芯片，或在芯片库编辑器中添加它。",
      "這個 ID 不在晶片庫中：用 -c 按名稱選擇晶片，或在晶片庫編輯器中新增它。",
      "This ID is not in the catalogue: choose the chip by name with -c, or add it in the "
      "catalogue editor."}},
    {OSTREL_TEXT(DoctorReadSame),
     {"读取测试：%s 读了两次，两次的 CRC-32 都是 %s，%s MB/s。",
      "讀取測試：%s 讀了兩次，兩次的 CRC-32 都是 %s，%s MB/s。",
      "Read test: %s read twice, CRC-32 %s both times, %s MB/s."}},
    {OSTREL_TEXT(DoctorReadDiffer),
     {"读取测试：%s 的两次读取不同（CRC-32 %s 和 %s）：芯片或夹子接触不良。",
      "讀取測試：%s 的兩次讀取不同（CRC-32 %s 和 %s）：晶片或夾子接觸不良。",
      "Read test: two reads of %s differ (CRC-32 %s and %s): a loose chip or clip."}},
    {OSTREL_TEXT(DoctorReadReseat),
     {"请重新放好芯片或夹子，清洁触点，缩短连线，然后再测一次。",
      "請重新放好晶片或夾子，清潔接點，縮短連線，然後再測一次。",
      "Reseat the chip or the clip, clean the contacts, keep the wires short, and run the test "
      "again."}},
    {OSTREL_TEXT(DoctorReadFailed),
     {"读取测试：读取 %s 失败。", "讀取測試：讀取 %s 失敗。", "Read test: reading %s failed."}},
    {OSTREL_TEXT(DoctorReadNoChip),
     {"读取测试：没有可读的芯片（用 -c 选择一个）。",
      "讀取測試：沒有可讀的晶片（用 -c 選擇一個）。",
      "Read test: no chip to read (choose one with -c)."}},
    {OSTREL_TEXT(DoctorStopped),
     {"到此为止：后面的检查需要这一项通过。", "到此為止：後面的檢查需要這一項通過。",
      "Stopped here: the later checks need this one to pass."}},
    {OSTREL_TEXT(DiagnoseMenu), {"诊断(&D)...", "診斷(&D)...", "Diagnose(&D)..."}},
    {OSTREL_TEXT(DiagnoseTitle), {"诊断", "診斷", "Diagnosis"}},
    {OSTREL_TEXT(DiagnoseSaveReport), {"保存报告...", "儲存報告...", "Save report..."}},
    {OSTREL_TEXT(DiagnoseNotConnectedTip),
     {"“帮助 › 诊断...”会查出原因。", "「幫助 › 診斷...」會查出原因。",
      "Help > Diagnose... finds out why."}},
    {OSTREL_TEXT(DiagnoseReportSaved),
     {"报告已保存到 %s", "報告已儲存到 %s", "Report saved to %s"}},
    // Commands that would move nothing.
    {OSTREL_TEXT(TypeNotStreamed),
     {"本编程器不能读写 %s 类型的芯片，什么也没有传送。",
      "本編程器不能讀寫 %s 類型的晶片，什麼也沒有傳送。",
      "This programmer cannot read or write chips of the type %s; nothing was transferred."}},
    {OSTREL_TEXT(ClassHasNoErase),
     {"本编程器不能擦除 %s 类型的芯片，什么也没有擦除。",
      "本編程器不能擦除 %s 類型的晶片，什麼也沒有擦除。",
      "This programmer cannot erase chips of the type %s; nothing was erased."}},
    // Several programmers: choosing one, and a part of a chip.
    {OSTREL_TEXT(CliProgrammerGone),
     {"%s 处没有接入编程器。", "%s 處沒有接入編程器。", "No programmer is attached at %s."}},
    {OSTREL_TEXT(CliProgrammerBusy),
     {"%s 处的编程器正忙：另一个程序正在使用它。", "%s 處的編程器正忙：另一個程式正在使用它。",
      "The programmer at %s is busy: another program holds it."}},
    {OSTREL_TEXT(CliSerialAbsent),
     {"没有接入序列号为 %s 的编程器。", "沒有接入序號為 %s 的編程器。",
      "No attached programmer has the serial number %s."}},
    {OSTREL_TEXT(CliSerialBusy),
     {"没有空闲的编程器的序列号为 %s；正忙而无法查询的编程器：%s 台。",
      "沒有空閒的編程器的序號為 %s；正忙而無法查詢的編程器：%s 台。",
      "No free programmer has the serial number %s; busy programmers that could not be asked: "
      "%s."}},
    {OSTREL_TEXT(CliUsingFirst),
     {"已接入 %s 台编程器；使用第一台 %s（--device 可选择其他编程器）。",
      "已接入 %s 台編程器；使用第一台 %s（--device 可選擇其他編程器）。",
      "%s programmers are attached; using the first, %s (--device chooses another)."}},
    {OSTREL_TEXT(CliRangeReversed),
     {"无法使用从 %s 到 %s 的区域：起始地址大于结束地址。",
      "無法使用從 %s 到 %s 的區域：起始位址大於結束位址。",
      "The part from %s to %s cannot be used: its start is above its end."}},
    {OSTREL_TEXT(CliStartPastEnd),
     {"无法使用从 %s 开始的区域：起始地址超出芯片末尾（芯片的最后地址是 %s）。",
      "無法使用從 %s 開始的區域：起始位址超出晶片末端（晶片的最後位址是 %s）。",
      "The part from %s cannot be used: it starts past the chip's end (its last address is "
      "%s)."}},
    {OSTREL_TEXT(CliRangePastEnd),
     {"无法使用从 %s 到 %s 的区域：芯片的最后地址是 %s。",
      "無法使用從 %s 到 %s 的區域：晶片的最後位址是 %s。",
      "The part from %s to %s cannot be used: the chip's last address is %s."}},
    {OSTREL_TEXT(MenuProgrammer), {"编程器(&P)", "編程器(&P)", "Programmer(&P)"}},
    {OSTREL_TEXT(MenuNoProgrammer),
     {"（未接入编程器）", "（未接入編程器）", "(no programmer attached)"}},
    {OSTREL_TEXT(ProgrammerBusyEntry), {"%s（忙）", "%s（忙）", "%s (busy)"}},
    // Production runs: the production log, the serial numbers and their dialog.
    {OSTREL_TEXT(ProductionLogUnwritable),
     {"无法写入生产记录 %s：%s。记录丢失的芯片不能算作合格。",
      "無法寫入生產記錄 %s：%s。記錄遺失的晶片不能算作合格。",
      "The production log %s cannot be written: %s. A chip whose record is lost has not "
      "passed."}},
    {OSTREL_TEXT(ProductionLogStarted), {"生产记录：%s", "生產記錄：%s", "Production log: %s"}},
    {OSTREL_TEXT(ProductionCounts), {"合格%s 失败%s", "合格%s 失敗%s", "OK %s NG %s"}},
    {OSTREL_TEXT(SerialCounterFailed),
     {"无法读取或推进序列号计数器 %s：%s。", "無法讀取或推進序號計數器 %s：%s。",
      "The serial number counter %s cannot be read or advanced: %s."}},
    {OSTREL_TEXT(SerialOutsideChip),
     {"序列号位于地址 %s（%s 字节），超出芯片容量（%s 字节）。",
      "序號位於位址 %s（%s 位元組），超出晶片容量（%s 位元組）。",
      "The serial number at address %s (%s bytes) lies outside the chip (%s bytes)."}},
    {OSTREL_TEXT(SerialDialogTitle), {"序列号", "序號", "Serial numbers"}},
    {OSTREL_TEXT(SerialDialogEnable),
     {"在每片芯片中写入序列号", "在每顆晶片中寫入序號", "Write a serial number into each chip"}},
    {OSTREL_TEXT(SerialDialogAddress), {"地址", "位址", "Address"}},
    {OSTREL_TEXT(SerialDialogBytes), {"字节数", "位元組數", "Bytes"}},
    {OSTREL_TEXT(SerialDialogStart), {"起始值", "起始值", "Start"}},
    {OSTREL_TEXT(SerialDialogStep), {"步长", "步長", "Step"}},
    {OSTREL_TEXT(SerialDialogBigEndian),
     {"高字节在前", "高位元組在前", "Most significant byte first"}},
    {OSTREL_TEXT(SerialDialogInvalid),
     {"序列号设置无效：%s", "序號設定無效：%s", "The serial number settings are not valid: %s"}},
    // The production database of a line.
    {OSTREL_TEXT(SerialDialogProduct), {"产品", "產品", "Product"}},
    {OSTREL_TEXT(SerialDialogNoProduct), {"（无）", "（無）", "(none)"}},
    {OSTREL_TEXT(DatabaseStarted), {"生产数据库：%s", "生產資料庫：%s", "Production database: %s"}},
    {OSTREL_TEXT(DatabaseUnusable),
     {"无法使用生产数据库 %s：%s。", "無法使用生產資料庫 %s：%s。",
      "The production database %s cannot be used: %s."}},
    {OSTREL_TEXT(DatabaseAway),
     {"无法使用生产数据库 %s：%s。芯片未开始编程。", "無法使用生產資料庫 %s：%s。晶片未開始燒錄。",
      "The production database %s cannot be used: %s. The chip was not started."}},
    {OSTREL_TEXT(DatabaseSpooled),
     {"生产数据库未接收芯片的记录（%s）。记录已保存在 %s，下次连接时写入数据库。",
      "生產資料庫未接收晶片的記錄（%s）。記錄已保存在 %s，下次連線時寫入資料庫。",
      "The production database did not take the chip's record (%s). It is kept in %s and "
      "written to the database at the next connection."}},
    {OSTREL_TEXT(DatabaseRecordLost),
     {"生产数据库未接收芯片的记录（%s），也无法保存到 %s（%s）。记录丢失的芯片不能算作合格。",
      "生產資料庫未接收晶片的記錄（%s），也無法保存到 %s（%s）。記錄遺失的晶片不能算作合格。",
      "The production database did not take the chip's record (%s), nor could it be kept in "
      "%s (%s). A chip whose record is lost has not passed."}},
    {OSTREL_TEXT(DatabaseSpoolWritten),
     {"已将保存的记录写入生产数据库：%s 条。", "已將保存的記錄寫入生產資料庫：%s 筆。",
      "Records kept while the production database was away were written to it: %s."}},
    {OSTREL_TEXT(DatabaseSetAside),
     {"生产数据库离线时保存的 %s 条记录无法写入数据库，已另存于 %s（%s）。",
      "生產資料庫離線時保存的 %s 筆記錄無法寫入資料庫，已另存於 %s（%s）。",
      "Records kept while the production database was away that it cannot take: %s, set aside "
      "in %s (%s)."}},
    {OSTREL_TEXT(ProductUnknown),
     {"生产数据库中没有名为 %s 的产品。", "生產資料庫中沒有名為 %s 的產品。",
      "The production database has no product named %s."}},
    {OSTREL_TEXT(ProductWrongChip),
     {"产品 %s 使用芯片 %s，而不是 %s。", "產品 %s 使用晶片 %s，而不是 %s。",
      "Product %s is made with %s, not with %s."}},
    {OSTREL_TEXT(ProductWrongImage),
     {"该映像不是产品 %s 的映像：其 SHA-256 为 %s，产品的为 %s。",
      "該映像不是產品 %s 的映像：其 SHA-256 為 %s，產品的為 %s。",
      "The image is not product %s's: its SHA-256 is %s, the product's is %s."}},
    {OSTREL_TEXT(ProductAdded),
     {"已添加产品 %s：%s，映像 SHA-256 %s（%s 字节）。",
      "已新增產品 %s：%s，映像 SHA-256 %s（%s 位元組）。",
      "Product %s added: %s, image SHA-256 %s (%s bytes)."}},
    {OSTREL_TEXT(ProductLeaseSet),
     {"产品 %s 的工位每次租用 %s 个序列号。", "產品 %s 的工站每次租用 %s 個序號。",
      "The stations of product %s lease %s serial numbers at a time."}},
    {OSTREL_TEXT(DatabaseOffline),
     {"无法使用生产数据库 %s：%s。本工位使用租用的序列号继续编程，记录在数据库恢复后写入。",
      "無法使用生產資料庫 %s：%s。本工站使用租用的序號繼續燒錄，記錄在資料庫恢復後寫入。",
      "The production database %s cannot be used: %s. The station goes on with the serial "
      "numbers leased to it; the records are written when the database is back."}},
    {OSTREL_TEXT(LeaseUsedUp),
     {"无法使用生产数据库 %s：%s。本工位为产品 %s 租用的序列号已用完：租用共给出 %s "
      "个芯片。芯片未开始编程。",
      "無法使用生產資料庫 %s：%s。本工站為產品 %s 租用的序號已用完：租用共給出 %s "
      "顆晶片。晶片未開始燒錄。",
      "The production database %s cannot be used: %s. The serial numbers leased to this "
      "station for product %s are used up: the lease gave %s chips. The chip was not "
      "started."}},
    {OSTREL_TEXT(LeaseHolding),
     {"租用剩余序列号：%s；等待写入数据库的记录：%s。",
      "租用剩餘序號：%s；等待寫入資料庫的記錄：%s。",
      "Numbers left in the lease: %s; records waiting for the database: %s."}},
    {OSTREL_TEXT(LeaseReclaimed),
     {"已收回工位 %s 的 %s 个租用：%s 个未用的序列号回到序列号池。",
      "已收回工站 %s 的 %s 個租用：%s 個未用的序號回到序號池。",
      "Station %s: %s leases reclaimed; %s unused serial numbers are back in the pool."}},
    {OSTREL_TEXT(LeaseReclaimNothing),
     {"工位 %s 没有未收回的租用：没有收回任何序列号。",
      "工站 %s 沒有未收回的租用：沒有收回任何序號。",
      "Station %s holds no lease that was not reclaimed: nothing was reclaimed."}},
    {OSTREL_TEXT(LeaseReclaimRefused),
     {"工位 %s 最近仍在工作（最后一次见到：%s）。请先停止该工位，十分钟后再收回其租用。",
      "工站 %s 最近仍在工作（最後一次見到：%s）。請先停止該工站，十分鐘後再收回其租用。",
      "Station %s was seen working recently (last seen %s). Stop the station first, then "
      "reclaim its leases ten minutes later. Nothing was reclaimed."}},
    {OSTREL_TEXT(OrphansSpent),
     {"本工位上次停止时有 %s 个芯片未完成：其序列号可能已写入芯片，已记为作废（原因 %s）。",
      "本工站上次停止時有 %s 顆晶片未完成：其序號可能已寫入晶片，已記為作廢（原因 %s）。",
      "The station stopped during %s chips last time: their serial numbers may be on them and "
      "are recorded as spent (cause %s)."}},
    {OSTREL_TEXT(OrphansRefused),
     {"本工位有 %s 个芯片的序列号所在的租用已被收回并重新发出：%s。请检查这些芯片。",
      "本工站有 %s 顆晶片的序號所在的租用已被收回並重新發出：%s。請檢查這些晶片。",
      "%s chips of this station hold serial numbers of a reclaimed lease that were handed out "
      "again: %s. Check those chips."}},
    {OSTREL_TEXT(StationHolding),
     {"工位 %s：租用剩余 %s 个序列号，%s 个序列号作废于失败的芯片，%s 个记录等待写入（报告于 "
      "%s）。",
      "工站 %s：租用剩餘 %s 個序號，%s 個序號作廢於失敗的晶片，%s 筆記錄等待寫入（報告於 %s）。",
      "Station %s: %s numbers left in its leases, %s spent on failed chips, %s records waiting "
      "for the database (reported %s)."}},
    {OSTREL_TEXT(StationNeverReported),
     {"工位 %s：租用剩余 %s 个序列号，%s 个序列号作废于失败的芯片；尚未报告等待写入的记录。",
      "工站 %s：租用剩餘 %s 個序號，%s 個序號作廢於失敗的晶片；尚未報告等待寫入的記錄。",
      "Station %s: %s numbers left in its leases, %s spent on failed chips; it has not "
      "reported its waiting records."}},
    {OSTREL_TEXT(SerialWritten),
     {"已写入序列号 %s。", "已寫入序號 %s。", "Serial number %s written."}},
    {OSTREL_TEXT(DifferenceBytes),
     {"%s：芯片为 %s，文件为 %s", "%s：晶片為 %s，檔案為 %s",
      "%s: the chip holds %s, the file %s"}},
    // The buffer tools.
    {OSTREL_TEXT(MenuChecksum), {"校验和(&S)...", "校驗和(&S)...", "Checksum(&S)..."}},
    {OSTREL_TEXT(MenuFind), {"查找(&I)...", "尋找(&I)...", "Find(&I)..."}},
    {OSTREL_TEXT(MenuFindNext), {"查找下一个(&N)", "尋找下一個(&N)", "Find next(&N)"}},
    {OSTREL_TEXT(MenuFindPrevious), {"查找上一个(&V)", "尋找上一個(&V)", "Find previous(&V)"}},
    {OSTREL_TEXT(MenuGoTo), {"转到地址(&G)...", "跳至位址(&G)...", "Go to(&G)..."}},
    {OSTREL_TEXT(MenuUndo), {"撤销(&U)", "復原(&U)", "Undo(&U)"}},
    {OSTREL_TEXT(MenuRedo), {"重做(&R)", "重做(&R)", "Redo(&R)"}},
    {OSTREL_TEXT(MenuCopy), {"复制(&C)", "複製(&C)", "Copy(&C)"}},
    {OSTREL_TEXT(MenuPaste), {"粘贴(&P)", "貼上(&P)", "Paste(&P)"}},
    {OSTREL_TEXT(ChecksumTitle), {"校验和", "校驗和", "Checksums"}},
    {OSTREL_TEXT(ChecksumDataRange),
     {"数据长度 %s 字节（编程写入的部分）", "資料長度 %s 位元組（編程寫入的部分）",
      "Data length, %s bytes (what Write sends)"}},
    {OSTREL_TEXT(ChecksumChipRange),
     {"芯片容量 %s 字节（读出得到的部分）", "晶片容量 %s 位元組（讀出得到的部分）",
      "Chip size, %s bytes (what Read gives)"}},
    {OSTREL_TEXT(ButtonClose), {"关闭", "關閉", "Close"}},
    {OSTREL_TEXT(GoToTitle), {"转到地址", "跳至位址", "Go to"}},
    {OSTREL_TEXT(GoToPrompt),
     {"地址（十六进制，0 到 %s）：", "位址（十六進位，0 到 %s）：", "Address (hex, 0 to %s):"}},
    {OSTREL_TEXT(GoToRefused),
     {"此视图中没有这个地址。", "此檢視中沒有這個位址。",
      "There is no such address in this view."}},
    {OSTREL_TEXT(FindLabel), {"查找：", "尋找：", "Find:"}},
    {OSTREL_TEXT(FindHex), {"十六进制", "十六進位", "Hex"}},
    {OSTREL_TEXT(FindText), {"文本", "文字", "Text"}},
    {OSTREL_TEXT(FindNextButton), {"下一个", "下一個", "Next"}},
    {OSTREL_TEXT(FindPreviousButton), {"上一个", "上一個", "Previous"}},
    {OSTREL_TEXT(FindNotHex),
     {"不是字节串：请输入十六进制字节，例如 EF 40 17。",
      "不是位元組串：請輸入十六進位位元組，例如 EF 40 17。",
      "Not a byte string: type hex bytes such as EF 40 17."}},
    {OSTREL_TEXT(FindNotFound), {"未找到。", "找不到。", "Not found."}},
    {OSTREL_TEXT(FindFoundAt), {"在 %s 处找到。", "在 %s 處找到。", "Found at %s."}},
    {OSTREL_TEXT(FindWrapped),
     {"在 %s 处找到（已越过缓冲区末尾从头查找）。", "在 %s 處找到（已越過緩衝區末端從頭尋找）。",
      "Found at %s (the search went round the end of the buffer)."}},
    {OSTREL_TEXT(PasteNotHex),
     {"剪贴板中没有十六进制字节。", "剪貼簿中沒有十六進位位元組。",
      "The clipboard holds no hex bytes."}},
    {OSTREL_TEXT(AccessibleHexView), {"十六进制视图", "十六進位檢視", "Hex view"}},
    {OSTREL_TEXT(AccessibleCursor),
     {"地址 %s，字节 %s", "位址 %s，位元組 %s", "Address %s, byte %s"}},
    {OSTREL_TEXT(CliMoreDifferences),
     {"……另有 %s 个不同的区域", "……另有 %s 個不同的區域", "... and %s more differing ranges"}},
    {OSTREL_TEXT(CliDifferingBytes), {"共 %s 个字节不同", "共 %s 個位元組不同", "%s bytes differ"}},
    {OSTREL_TEXT(ProgrammerStoppedAnswering),
     {"编程器已找到，但在芯片设置时停止了应答。请拔下编程器重新插入，然后再试。",
      "編程器已找到，但在晶片設定時停止了應答。請拔下編程器重新插入，然後再試。",
      "The programmer was found but stopped answering at the chip set-up. Unplug it, plug it "
      "in again and retry."}},
    {OSTREL_TEXT(ChecksumByteSum),
     {"字节和（32 位 / 16 位）", "位元組和（32 位元 / 16 位元）", "Byte sum (32 / 16 bits)"}},
    {OSTREL_TEXT(ButtonOk), {"确定", "確定", "OK"}},
    {OSTREL_TEXT(ButtonCancel), {"取消", "取消", "Cancel"}},
    {OSTREL_TEXT(ButtonCopy), {"复制", "複製", "Copy"}},
    {OSTREL_TEXT(DiagnoseCheckOk), {"正常", "正常", "ok"}},
    {OSTREL_TEXT(DiagnoseCheckProblem), {"问题", "問題", "PROBLEM"}},
    {OSTREL_TEXT(UnsavedEditsQuestion),
     {"缓冲区中有尚未保存到文件的修改。放弃这些修改吗？",
      "緩衝區中有尚未儲存到檔案的修改。放棄這些修改嗎？",
      "The buffer holds changes that no file has kept. Throw them away?"}},
    {OSTREL_TEXT(MenuCheckChip), {"先检查芯片(&K)", "先檢查晶片(&K)", "Check the chip first(&K)"}},
    {OSTREL_TEXT(MenuVerifyAfterWrite),
     {"编程后校验，擦除后查空(&Y)", "編程後校驗，擦除後查空(&Y)",
      "Verify after Write, blank check after Erase(&Y)"}},
    {OSTREL_TEXT(ChipCheckAskNoChip),
     {"插座中没有芯片，但选择的是 %s。仍然继续吗？", "插座中沒有晶片，但選擇的是 %s。仍然繼續嗎？",
      "The socket holds no chip, but %s is chosen. Go on anyway?"}},
    {OSTREL_TEXT(ChipCheckAskWrong),
     {"插座中是 %s，但选择的是 %s。仍然继续吗？", "插座中是 %s，但選擇的是 %s。仍然繼續嗎？",
      "The socket holds %s, but %s is chosen. Go on anyway?"}},
    {OSTREL_TEXT(WriteNotErased),
     {"数据为 1 的位在芯片中是 0：芯片没有擦除。请先擦除芯片，或使用 AUTO。",
      "資料為 1 的位元在晶片中是 0：晶片沒有擦除。請先擦除晶片，或使用 AUTO。",
      "The chip holds a 0 bit where the data has a 1: it was not erased. A write only clears "
      "bits: erase the chip first, or use AUTO."}},
    {OSTREL_TEXT(WriteNotTaken),
     {"数据为 0 的位在芯片中仍是 1：写入未生效，芯片可能被写保护。",
      "資料為 0 的位元在晶片中仍是 1：寫入未生效，晶片可能受寫入保護。",
      "The chip kept a 1 bit where the data has a 0: the write did not take. The chip may be "
      "write-protected."}},
    {OSTREL_TEXT(NoChipAnswered),
     {"没有芯片应答 ID 读取（ID %s）：请检查芯片是否放好、是否通电，以及夹子是否夹好。没有 ID "
      "的芯片请在列表中选择。",
      "沒有晶片應答 ID 讀取（ID %s）：請檢查晶片是否放好、是否通電，以及夾子是否夾好。沒有 ID "
      "的晶片請在清單中選擇。",
      "No chip answered the ID read (ID %s): check the chip's seating, its power and the clip. "
      "A chip without an ID is chosen in the lists."}},
    {OSTREL_TEXT(ChipCheckAskNoAnswer),
     {"没有芯片应答 ID 读取（ID %s）：请检查芯片是否放好、是否通电，以及夹子是否夹好。选择的是 "
      "%s。仍然继续吗？",
      "沒有晶片應答 ID 讀取（ID %s）：請檢查晶片是否放好、是否通電，以及夾子是否夾好。選擇的是 "
      "%s。仍然繼續嗎？",
      "No chip answered the ID read (ID %s): check the chip's seating, its power and the clip. "
      "%s is chosen. Go on anyway?"}},
    {OSTREL_TEXT(CliChipCheckNoAnswer),
     {"没有芯片应答 ID 读取（ID %s），但选择的是 %s：请检查芯片是否放好、是否通电，以及夹子是否"
      "夹好；--any-chip 可不检查继续。",
      "沒有晶片應答 ID 讀取（ID %s），但選擇的是 %s：請檢查晶片是否放好、是否通電，以及夾子是否"
      "夾好；--any-chip 可不檢查繼續。",
      "No chip answered the ID read (ID %s), but %s was chosen: check the chip's seating, its "
      "power and the clip; --any-chip goes on regardless."}},
    {OSTREL_TEXT(ProgrammerNotUsable),
     {"选择的编程器 %s 不能使用：%s。改用 %s 吗？", "選擇的編程器 %s 不能使用：%s。改用 %s 嗎？",
      "The chosen programmer %s cannot be used: %s. Use %s instead?"}},
    {OSTREL_TEXT(ProgrammerWhyGone), {"它没有接入", "它沒有接入", "it is not attached"}},
    {OSTREL_TEXT(ProgrammerWhyBusy),
     {"它可能正被另一个程序占用", "它可能正被另一個程式佔用", "another program may be holding it"}},
    {OSTREL_TEXT(ProgrammerWhyNoAccess),
     {"当前用户可能无权打开它", "目前使用者可能無權開啟它",
      "this user may not be allowed to open it"}},
    {OSTREL_TEXT(BatchProgrammerGone),
     {"批量模式使用的编程器 %s 已不可用，批量模式已停止。",
      "批量模式使用的編程器 %s 已不可用，批量模式已停止。",
      "The programmer %s that batch mode ran on cannot be used any more; batch mode has "
      "stopped."}},
    {OSTREL_TEXT(CliCaptionInfo), {"提示", "提示", "Info"}},
    {OSTREL_TEXT(CliCaptionInformation), {"信息", "資訊", "Information"}},
    {OSTREL_TEXT(CliAnsweredNo),
     {" -> 否（加 %s 即回答“是”）", " -> 否（加 %s 即回答「是」）", " -> no (%s answers yes)"}},
    {OSTREL_TEXT(CliAnsweredYes), {" -> 是（%s）", " -> 是（%s）", " -> yes (%s)"}},
    {OSTREL_TEXT(CliRawBinary), {"二进制", "二進位", "raw binary"}},
    {OSTREL_TEXT(DumpBlank),
     {"读出的每个字节都是 FF：芯片是空的。", "讀出的每個位元組都是 FF：晶片是空的。",
      "Every byte read is FF: the chip is blank."}},
    {OSTREL_TEXT(DumpAllZero),
     {"读出的每个字节都是 00：芯片可能没有供电或没有接触好。",
      "讀出的每個位元組都是 00：晶片可能沒有供電或沒有接觸好。",
      "Every byte read is 00: the chip may have no power or no contact."}},
    {OSTREL_TEXT(DumpStuckBit),
     {"每个字节的第 %s 位都是 %s，其余各位都有变化：可能有一根数据线卡住或没有接触好。",
      "每個位元組的第 %s 位都是 %s，其餘各位都有變化：可能有一條資料線卡住或沒有接觸好。",
      "Bit %s is %s in every byte while the other bits vary: a data line may be stuck or "
      "without contact."}},
    {OSTREL_TEXT(DumpRepeats),
     {"数据每 %s 重复一次：芯片可能只有 %s，比所选的型号小。",
      "資料每 %s 重複一次：晶片可能只有 %s，比所選的型號小。",
      "The data repeats every %s: the chip is likely only %s, smaller than the one chosen."}},
    {OSTREL_TEXT(DumpPattern),
     {"读出的全部数据是同一个 %s 字节图样（%s）的重复：请检查接触和所选的芯片。",
      "讀出的全部資料是同一個 %s 位元組圖樣（%s）的重複：請檢查接觸和所選的晶片。",
      "One pattern of %s bytes (%s) repeats over everything read: check the contact and the "
      "chip chosen."}},
    {OSTREL_TEXT(ReadsDiffer),
     {"两次读出的数据不同：%s 个字节，分布在 %s 个块中；第一个在地址 %s，第一次为 %s，"
      "第二次为 %s。可能是接触不良（夹子松动）。",
      "兩次讀出的資料不同：%s 個位元組，分佈在 %s 個區塊中；第一個在位址 %s，第一次為 %s，"
      "第二次為 %s。可能是接觸不良（夾子鬆動）。",
      "The two reads differ in %s bytes in %s blocks, the first at address %s: %s in the first "
      "read, %s in the second. A contact that is not firm (a slipping clip) is the likely "
      "cause."}},
    {OSTREL_TEXT(ReadsMatched),
     {"芯片已读出两次，两次一致。", "晶片已讀出兩次，兩次一致。",
      "The chip was read twice and the reads matched."}},
    {OSTREL_TEXT(CliReadsNotSaved), {"没有保存 %s。", "沒有儲存 %s。", "Nothing was saved to %s."}},
    {OSTREL_TEXT(MenuReadTwice), {"读两次并比较", "讀兩次並比較", "Read twice and compare"}},
    {OSTREL_TEXT(MapTitle),
     {"%s（%s）的分布图，每个字符代表 %s：", "%s（%s）的分佈圖，每個字元代表 %s：",
      "Map of %s (%s), one character for %s:"}},
    {OSTREL_TEXT(MapDataSpan),
     {"数据位于 %s 到 %s 之间（--start 和 --end）。",
      "資料位於 %s 到 %s 之間（--start 和 --end）。",
      "Data lies from %s to %s (--start and --end)."}},
    {OSTREL_TEXT(MapBlank), {"空（全为 FF）", "空（全為 FF）", "blank (all FF)"}},
    {OSTREL_TEXT(MapZero), {"全为 00", "全為 00", "all 00"}},
    {OSTREL_TEXT(MapData), {"数据", "資料", "data"}},
    {OSTREL_TEXT(MapDiffers), {"校验不同", "校驗不同", "differs in the verify"}},
    {OSTREL_TEXT(MapReadsDiffer),
     {"两次读出不同", "兩次讀出不同", "differed between the two reads"}},
    {OSTREL_TEXT(MenuChipMap), {"芯片分布图...", "晶片分佈圖...", "Chip map..."}},
    {OSTREL_TEXT(MapCaption), {"芯片分布图", "晶片分佈圖", "Chip map"}},
    {OSTREL_TEXT(MapHover), {"%s - %s：%s", "%s - %s：%s", "%s - %s: %s"}},
    {OSTREL_TEXT(MapWindowTitle),
     {"%s（%s），每格代表 %s", "%s（%s），每格代表 %s", "%s (%s), one cell for %s"}},
    {OSTREL_TEXT(LineUsage),
     {"用法：ostrel-line --db URL [选项]\n"
      "      ostrel-line --db URL station|viewer|admin add 名称\n"
      "\n"
      "产线服务器：独占产线的生产数据库（sqlite:路径 或 PostgreSQL URL），\n"
      "通过 HTTP 为各工位提供产品、序列号租约和芯片记录，并提供看板页面。\n"
      "\n"
      "  --db URL            数据库；未给出时取环境变量 OSTREL_LINE_DB\n"
      "  --listen 地址:端口  监听地址（默认 127.0.0.1:8470）\n"
      "  --host 名称         也接受此主机名（可重复）；其他 Host 一律拒绝\n"
      "  --tls-cert 文件     TLS 证书（PEM），与 --tls-key 一起使用\n"
      "  --tls-key 文件      TLS 私钥（PEM）\n"
      "  --lang en|zh_CN|zh_TW  帮助和提示的语言\n"
      "  --help, --version\n"
      "\n"
      "station add 名称 添加工位并只打印一次其令牌；viewer add 与 admin add\n"
      "分别添加看板和管理员令牌。再次添加同一名称会替换旧令牌。\n",
      "用法：ostrel-line --db URL [選項]\n"
      "      ostrel-line --db URL station|viewer|admin add 名稱\n"
      "\n"
      "產線伺服器：獨佔產線的生產資料庫（sqlite:路徑 或 PostgreSQL URL），\n"
      "透過 HTTP 為各工位提供產品、序號租約和晶片記錄，並提供看板頁面。\n"
      "\n"
      "  --db URL            資料庫；未給出時取環境變數 OSTREL_LINE_DB\n"
      "  --listen 位址:埠    監聽位址（預設 127.0.0.1:8470）\n"
      "  --host 名稱         也接受此主機名（可重複）；其他 Host 一律拒絕\n"
      "  --tls-cert 檔案     TLS 憑證（PEM），與 --tls-key 一起使用\n"
      "  --tls-key 檔案      TLS 私鑰（PEM）\n"
      "  --lang en|zh_CN|zh_TW  說明和提示的語言\n"
      "  --help, --version\n"
      "\n"
      "station add 名稱 新增工位並只列印一次其權杖；viewer add 與 admin add\n"
      "分別新增看板和管理員權杖。再次新增同一名稱會取代舊權杖。\n",
      "Usage: ostrel-line --db URL [OPTIONS]\n"
      "       ostrel-line --db URL station|viewer|admin add NAME\n"
      "\n"
      "The line server: it alone holds the line's production database (sqlite:PATH\n"
      "or a PostgreSQL URL) and serves the stations their products, leases of\n"
      "serial numbers and chip records over HTTP, and the board to people.\n"
      "\n"
      "  --db URL             the database; without it, the environment's OSTREL_LINE_DB\n"
      "  --listen ADDR:PORT   where to listen (default 127.0.0.1:8470)\n"
      "  --host NAME          answer to this host name too (repeatable); any other\n"
      "                       Host is refused\n"
      "  --tls-cert FILE      TLS certificate (PEM), with --tls-key\n"
      "  --tls-key FILE       TLS private key (PEM)\n"
      "  --lang en|zh_CN|zh_TW  the language of the help and notes\n"
      "  --help, --version\n"
      "\n"
      "station add NAME adds a station and prints its token, this once only;\n"
      "viewer add and admin add do the same for the board and for changing\n"
      "products. Adding a name again replaces its token.\n"}},
    {OSTREL_TEXT(LineTokenAdded),
     {"%s %s 的令牌如下，只显示这一次，请妥善保存：",
      "%s %s 的權杖如下，只顯示這一次，請妥善保存：",
      "The token of %s %s follows, shown this once only: keep it safe."}},
    {OSTREL_TEXT(LineListening),
     {"产线服务器在 %s 上运行（%s），数据库 %s", "產線伺服器在 %s 上執行（%s），資料庫 %s",
      "The line server runs on %s (%s), database %s"}},
};

// Where the programmer is reached differently on Windows (the libusb-win32
// driver and its libusb0.dll instead of a package, a udev rule and groups),
// these words replace the ones above.
constexpr Entry kWindowsTexts[] = {
    {OSTREL_TEXT(CliNoProgrammer),
     {"没有找到编程器。请检查 USB 连接，以及设备管理器是否把编程器 (1FC8:300B) 列在 libusb-win32 "
      "驱动之下（没有驱动时请为它安装 libusb-win32 驱动）。",
      "沒有找到編程器。請檢查 USB 連接，以及裝置管理員是否把編程器 (1FC8:300B) 列在 libusb-win32 "
      "驅動程式之下（沒有驅動程式時請為它安裝 libusb-win32 驅動程式）。",
      "No programmer found. Check the USB connection and that Device Manager lists the "
      "programmer (1FC8:300B) with the libusb-win32 driver (without one, install that driver "
      "for it)."}},
    {OSTREL_TEXT(DoctorLibraryMissing),
     {"USB 库：无法载入 libusb0.dll。", "USB 函式庫：無法載入 libusb0.dll。",
      "USB library: libusb0.dll could not be loaded."}},
    {OSTREL_TEXT(DoctorLibraryInstall),
     {"请为编程器安装 libusb-win32 驱动（libusb0.sys 与 libusb0.dll，来自 libusb-win32 "
      "项目的发行包），然后重新插拔编程器。",
      "請為編程器安裝 libusb-win32 驅動程式（libusb0.sys 與 libusb0.dll，來自 libusb-win32 "
      "專案的發行包），然後重新插拔編程器。",
      "Install the libusb-win32 driver for the programmer (libusb0.sys and libusb0.dll, from "
      "the libusb-win32 project's release), then replug the programmer."}},
    {OSTREL_TEXT(DoctorLibraryReinstall),
     {"请重新安装编程器的 libusb-win32 驱动。", "請重新安裝編程器的 libusb-win32 驅動程式。",
      "Reinstall the programmer's libusb-win32 driver."}},
    {OSTREL_TEXT(DoctorBusPlugIn),
     {"请插上编程器，或换一根数据线、换一个 USB 口；设备管理器应当把 1FC8:300B 列在 libusb-win32 "
      "驱动之下，没有驱动时请为它安装。",
      "請插上編程器，或換一條傳輸線、換一個 USB 埠；裝置管理員應當把 1FC8:300B 列在 libusb-win32 "
      "驅動程式之下，沒有驅動程式時請為它安裝。",
      "Plug the programmer in, or try another cable or port; Device Manager must list 1FC8:300B "
      "with the libusb-win32 driver: without one, install it for the programmer."}},
    {OSTREL_TEXT(DoctorClaimFindIt),
     {"关闭其他使用编程器的程序，然后再试。", "關閉其他使用編程器的程式，然後再試。",
      "Close other programs that use the programmer and try again."}},
};
#undef OSTREL_TEXT

constexpr bool inKeyOrder() {
    for (int i = 0; i < kTextCount; ++i)
        if (static_cast<int>(kTexts[i].key) != i) return false;
    return true;
}
static_assert(inKeyOrder(), "the text table must follow the order of Txt");

int clampLanguage(int language) {
    return language >= 0 && language <= 2 ? language : 0;
}

}  // namespace

const std::string& programText(Txt key, int language) {
    static const auto built = [] {
        std::array<std::array<std::string, 3>, kTextCount> t;
        for (int i = 0; i < kTextCount; ++i) {
            const Entry& e = kTexts[i];
            for (int l = 0; l < 3; ++l) t[i][l] = e.texts[l] != nullptr ? e.texts[l] : e.texts[2];
        }
        if (platform::kWindows)
            for (const Entry& e : kWindowsTexts)
                for (int l = 0; l < 3; ++l) t[static_cast<int>(e.key)][l] = e.texts[l];
        return t;
    }();
    return built[static_cast<int>(key)][clampLanguage(language)];
}

bool englishOnly(Txt key) {
    const Entry& e = kTexts[static_cast<int>(key)];
    return e.texts[0] == nullptr && e.texts[1] == nullptr;
}

const char* textKeyName(Txt key) {
    return kTexts[static_cast<int>(key)].name;
}

std::string fillIn(const std::string& pattern, std::initializer_list<std::string> values) {
    std::string out;
    auto value = values.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's' &&
            value != values.end()) {
            out += *value++;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

}  // namespace ostrel
