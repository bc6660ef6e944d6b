#pragma once
// The captions of the six windows in the three languages: window titles,
// control and toolbar captions, menu items, the two status bar labels and the
// check marks of the Language menu. Every window is built with the Simplified
// Chinese column and a language switch writes the whole table for the new
// language, in its order. Controls are found by their object names, so every
// named control of a window carries its name as objectName.

#include <array>
#include <cstddef>

namespace ostrel {

enum class CaptionKind {
    CheckMark,    // a Language menu item: checked when the text is "1"
    StatusPanel,  // a label of the main window's status bar
    WindowTitle,  // the window's own title; the component names the window
    Control,      // a label, button, group box, check box, tab page or toolbar button
    MenuItem,     // an item of the main menu
};

struct CaptionEntry {
    const char* window;     // the window's class: "TForm1", "TForm4", ...
    const char* component;  // the object name inside that window
    CaptionKind kind;
    std::array<const char*, 3> texts;  // Simplified Chinese, Traditional Chinese, English (UTF-8)
};

inline constexpr std::size_t kCaptionsPerLanguage = 102;

// The whole table in the order a language switch writes it.
const std::array<CaptionEntry, kCaptionsPerLanguage>& captionTable();

// The entry's text in `language`; nullptr outside 0 to 2.
const char* captionText(const CaptionEntry& entry, int language);

}  // namespace ostrel
