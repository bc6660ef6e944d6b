#include "base/texts.h"

#include <array>

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
     {"固件文件 %s 在前 12288 "
      "字节之后没有数据，或者无法读取。没有发送任何数据，编程器保留原有固件。",
      "固件檔案 %s 在前 12288 "
      "位元組之後沒有資料，或者無法讀取。沒有傳送任何資料，編程器保留原有固件。",
      "The firmware file %s holds nothing beyond its first 12,288 bytes, or could not be read. "
      "Nothing was sent; the programmer keeps its firmware."}},
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
    {OSTREL_TEXT(CliNotStreamed),
     {"编程器不传送 %s 类型芯片的数据，什么也没有传送。",
      "編程器不傳送 %s 類型晶片的資料，什麼也沒有傳送。",
      "The programmer does not stream chips of the type %s; nothing was transferred."}},
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
    // The buffer tools.
    {OSTREL_TEXT(MenuChecksum), {"校验和...", "校驗和...", "Checksum..."}},
    {OSTREL_TEXT(MenuFind), {"查找...", "尋找...", "Find..."}},
    {OSTREL_TEXT(MenuFindNext), {"查找下一个", "尋找下一個", "Find next"}},
    {OSTREL_TEXT(MenuFindPrevious), {"查找上一个", "尋找上一個", "Find previous"}},
    {OSTREL_TEXT(MenuGoTo), {"转到地址...", "跳至位址...", "Go to..."}},
    {OSTREL_TEXT(MenuUndo), {"撤销", "復原", "Undo"}},
    {OSTREL_TEXT(MenuRedo), {"重做", "重做", "Redo"}},
    {OSTREL_TEXT(MenuCopy), {"复制", "複製", "Copy"}},
    {OSTREL_TEXT(MenuPaste), {"粘贴", "貼上", "Paste"}},
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
    {OSTREL_TEXT(CliWriteNotTaken),
     {"写入未生效：芯片内容与 %s 不同（首个不同地址 %s）。芯片是否写保护？",
      "寫入未生效：晶片內容與 %s 不同（首個不同位址 %s）。晶片是否寫入保護？",
      "The write did not take: the chip differs from %s (first at %s). Is the chip "
      "write-protected?"}},
    {OSTREL_TEXT(ChecksumByteSum),
     {"字节和（32 位 / 16 位）", "位元組和（32 位元 / 16 位元）", "Byte sum (32 / 16 bits)"}},
    {OSTREL_TEXT(ButtonOk), {"确定", "確定", "OK"}},
    {OSTREL_TEXT(ButtonCancel), {"取消", "取消", "Cancel"}},
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
