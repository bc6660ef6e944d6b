#include "base/captions.h"

namespace ostrel {
namespace {

using K = CaptionKind;

// The check marks are written first, Enlish before China and fanti, as the
// switch has always done it.
constexpr std::array<CaptionEntry, kCaptionsPerLanguage> kTable = {{
    {"TForm1", "Enlish", K::CheckMark, {"0", "0", "1"}},
    {"TForm1", "China", K::CheckMark, {"1", "0", "0"}},
    {"TForm1", "fanti", K::CheckMark, {"0", "1", "0"}},
    {"TForm1", "StatusBar1.Panels[0]", K::StatusPanel, {"状态", "狀態", "State"}},
    {"TForm1", "StatusBar1.Panels[2]", K::StatusPanel, {"使用时间", "使用時間", "Use time"}},
    {"TForm1",
     "Form1",
     K::WindowTitle,
     {"Ostrel I 高速编程器", "Ostrel I 高速編程器", "Ostrel I USB High Programmer"}},
    {"TForm1", "GroupBox1", K::Control, {"芯片", "芯片", "Chip"}},
    {"TForm1", "Label1", K::Control, {"类型", "類型", "Type"}},
    {"TForm1", "Label2", K::Control, {"厂商", "廠商", "Manufacturer"}},
    {"TForm1", "Label3", K::Control, {"名称", "名稱", "Name"}},
    {"TForm1", "BitBtn1", K::Control, {"检测", "檢測", "Detect"}},
    {"TForm1", "BitBtn2", K::Control, {"查找", "查找", "Search"}},
    {"TForm1", "Label4", K::Control, {"容量", "容量", "Size"}},
    {"TForm1", "Label5", K::Control, {"页面大小", "頁面大小", "Page Size"}},
    {"TForm1", "Label6", K::Control, {"DATA大小", "DATA大小", "DATA Size"}},
    {"TForm1", "TabSheet1", K::Control, {"FLASH", "FLASH", "FLASH"}},
    {"TForm1", "TabSheet2", K::Control, {"EEPROM", "EEPROM", "EEPROM"}},
    {"TForm1", "TabSheet3", K::Control, {"CONFIG", "CONFIG", "CONFIG"}},
    {"TForm1", "GroupBox2", K::Control, {"自动选项", "自動選項", "Auto Options"}},
    {"TForm1", "CheckBox1", K::Control, {"擦除", "擦除", "Erase"}},
    {"TForm1", "CheckBox2", K::Control, {"编程", "編程", "Program"}},
    {"TForm1", "CheckBox3", K::Control, {"校验", "校驗", "Verify"}},
    {"TForm1", "GroupBox3", K::Control, {"存储器选择", "存儲器選擇", "Mem Select"}},
    {"TForm1", "CheckBox4", K::Control, {"全部存储器", "全部存儲器", "All Mem"}},
    {"TForm1", "GroupBox4", K::Control, {"地址", "地址", "Address"}},
    {"TForm1", "Label7", K::Control, {"起始地址", "起始地址", "Start ADDR"}},
    {"TForm1", "Label8", K::Control, {"结束地址", "結束地址", "End ADDR"}},
    {"TForm1", "ToolOpen", K::Control, {"打开", "打開", "Open"}},
    {"TForm1", "ToolSave", K::Control, {"保存", "保存", "Save"}},
    {"TForm1", "ToolFill", K::Control, {"填充", "填充", "FIll"}},
    {"TForm1", "ToolBank", K::Control, {"查空", "查空", "Bank"}},
    {"TForm1", "ToolAuto", K::Control, {"自动", "自動", "AUTO"}},
    {"TForm1", "ToolErase", K::Control, {"擦除", "擦除", "ERASE"}},
    {"TForm1", "ToolWrite", K::Control, {"编程", "編程", "Write"}},
    {"TForm1", "ToolRead", K::Control, {"读出", "讀出", "Read"}},
    {"TForm1", "ToolVerify", K::Control, {"校验", "校驗", "Verify"}},
    {"TForm1", "ToolBulk", K::Control, {"批量", "批量", "BULK"}},
    {"TForm1", "ToolDevice", K::Control, {"设备", "設備", "Device"}},
    {"TForm1", "ToolAbout", K::Control, {"关于", "關於", "About"}},
    // The main menu.
    {"TForm1", "O1", K::MenuItem, {"文件(&F)", "文件(&F)", "File(&F)"}},
    {"TForm1", "O2", K::MenuItem, {"打开(&O)", "打開(&O)", "Open(&O)"}},
    {"TForm1", "S1", K::MenuItem, {"保存(&S)", "保存(&S)", "Save(&S)"}},
    {"TForm1", "Q1", K::MenuItem, {"退出(&Q)", "退出(&Q)", "Quit(&Q)"}},
    {"TForm1", "Buff", K::MenuItem, {"缓冲区(&B)", "緩衝區(&B)", "Buffer(&B)"}},
    {"TForm1", "Fill", K::MenuItem, {"填充(&F)", "填充(&F)", "Fill(&F)"}},
    {"TForm1", "O3", K::MenuItem, {"操作(&O)", "操作(&O)", "Operation(&O)"}},
    {"TForm1", "A1", K::MenuItem, {"自动(&A)", "自動(&A)", "Auto(&A)"}},
    {"TForm1", "E1", K::MenuItem, {"擦除(&E)", "擦除(&E)", "Erase(&E)"}},
    {"TForm1", "W1", K::MenuItem, {"编程(&W)", "編程(&W)", "Write(&W)"}},
    {"TForm1", "R1", K::MenuItem, {"读出(&R)", "讀出(&R)", "Read(&R)"}},
    {"TForm1", "V1", K::MenuItem, {"校验(&V)", "校驗(&V)", "Verify(&V)"}},
    {"TForm1", "N7", K::MenuItem, {"查空(&B)", "查空(&B)", "Bank(&B)"}},
    {"TForm1", "N3", K::MenuItem, {"设备(&Y)", "設備(&Y)", "Device(&Y)"}},
    {"TForm1", "L1", K::MenuItem, {"语言(&L)", "語言(&L)", "Language(&L)"}},
    {"TForm1", "China", K::MenuItem, {"中文", "中文简体", "Simplified Chinese"}},
    {"TForm1", "fanti", K::MenuItem, {"繁體", "中文繁體", "Traditional Chinese"}},
    {"TForm1", "Enlish", K::MenuItem, {"Enlish", "Enlish", "Enlish"}},
    {"TForm1", "H1", K::MenuItem, {"帮助(&H)", "幫助(&H)", "Help(&H)"}},
    {"TForm1", "N5", K::MenuItem, {"关于(&A)", "關於(&A)", "About(&A)"}},
    {"TForm1", "N4", K::MenuItem, {"硬件(&D)", "硬件(&D)", "Hardware(&D)"}},
    // The chip catalogue editor.
    {"TForm2", "Form2", K::WindowTitle, {"芯片编辑", "芯片編輯", "Chip Editor"}},
    {"TForm2", "GroupBox1", K::Control, {"配置", "配置", "Config"}},
    {"TForm2", "Label1", K::Control, {"种类", "種類", "Type"}},
    {"TForm2", "Label2", K::Control, {"厂商", "廠商", "Manufacturer"}},
    {"TForm2", "Label3", K::Control, {"芯片型号", "芯片型號", "Name"}},
    {"TForm2", "Label4", K::Control, {"延时", "延時", "Delay"}},
    {"TForm2", "Label5", K::Control, {"芯片类型", "芯片類型", "Class"}},
    {"TForm2", "Label6", K::Control, {"FLASH", "FLASH", "FLASH"}},
    {"TForm2", "Label7", K::Control, {"FLASH页", "FLASH頁", "FLASH Page"}},
    {"TForm2", "Label8", K::Control, {"工作电压", "工作電壓", "Voltage"}},
    {"TForm2", "Label9", K::Control, {"算法", "算法", "Algorithm"}},
    {"TForm2", "Label10", K::Control, {"芯片ID", "芯片ID", "Chip ID"}},
    {"TForm2", "Label11", K::Control, {"EEPROM", "EEPROM", "EEPROM"}},
    {"TForm2", "Label12", K::Control, {"EEPROM页", "EEPROM頁", "EEPROM page"}},
    {"TForm2", "Label13", K::Control, {"扩展关联", "擴展關聯", "Extend"}},
    {"TForm2", "BtnDelete", K::Control, {"删除", "刪除", "Delete"}},
    {"TForm2", "BtnAdd", K::Control, {"添加", "添加", "Add"}},
    {"TForm2", "BtnEdit", K::Control, {"编辑", "編輯", "Edit"}},
    {"TForm2", "BtnSave", K::Control, {"保存", "保存", "Save"}},
    {"TForm2", "BtnExit", K::Control, {"退出", "退出", "Quit"}},
    // The chip search window.
    {"TForm3", "Form3", K::WindowTitle, {"芯片选择", "芯片選擇", "Chip Select"}},
    {"TForm3", "Label1", K::Control, {"查找", "查找", "Find"}},
    {"TForm3", "BitBtn1", K::Control, {"选择", "選擇", "Select"}},
    {"TForm3", "BitBtn2", K::Control, {"退出", "退出", "Quit"}},
    // The fill dialog.
    {"TForm4", "Form4", K::WindowTitle, {"填充", "填充", "Fill"}},
    {"TForm4", "GroupBox1", K::Control, {"数据", "數據", "Data"}},
    {"TForm4", "RadioButton1", K::Control, {"字节(8位)", "字節(8位)", "Byte(8bits)"}},
    {"TForm4", "RadioButton2", K::Control, {"字(16位)", "字(16位)", "Word(16bits)"}},
    {"TForm4", "RadioButton3", K::Control, {"随机", "隨機", "Random"}},
    {"TForm4", "GroupBox2", K::Control, {"范围", "範圍", "Range"}},
    {"TForm4", "Label1", K::Control, {"起始地址", "起始地址", "Start ADDR"}},
    {"TForm4", "Label2", K::Control, {"结束地址", "結束地址", "End ADDR"}},
    {"TForm4", "BitBtn1", K::Control, {"确定", "確定", "OK"}},
    {"TForm4", "BitBtn2", K::Control, {"取消", "取消", "Cance"}},
    // The about box: the product name and the maker line under the version.
    {"TAboutBox",
     "ProductName",
     K::Control,
     {"Ostrel高速编程器", "Ostrel高速編程器", "Ostrel High Speed Programmer"}},
    {"TAboutBox",
     "Copyright",
     K::Control,
     {"Ostrel 电子科技有限公司 出品", "Ostrel 電子科技有限公司 出品",
      "Made by Ostrel Electronics Co., Ltd."}},
    // The hardware information window.
    {"TForm6", "Form6", K::WindowTitle, {"硬件信息", "硬件信息", "Hardware information"}},
    {"TForm6", "Label1", K::Control, {"硬件版本：", "硬件版本：", "Hardware version:"}},
    {"TForm6", "Label3", K::Control, {"固件版本：", "固件版本：", "Firmware version:"}},
    {"TForm6", "Label5", K::Control, {"系列号：  ", "系列號：  ", "Series number:"}},
    {"TForm6", "BitBtn1", K::Control, {"升级固件", "升級固件", "Upgrade firmware"}},
    {"TForm6", "BitBtn2", K::Control, {"关闭", "關閉", "Close"}},
}};

}  // namespace

const std::array<CaptionEntry, kCaptionsPerLanguage>& captionTable() {
    return kTable;
}

const char* captionText(const CaptionEntry& entry, int language) {
    if (language < 0 || language > 2) return nullptr;
    return entry.texts[static_cast<std::size_t>(language)];
}

}  // namespace ostrel
