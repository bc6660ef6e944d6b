#pragma once
// Writes caption table entries onto windows: each component is found by its
// object name inside its window (widgets and actions alike) and given its text
// the way its kind of control shows one.

#include <QString>
#include <utility>
#include <vector>

#include "base/captions.h"

class QObject;
class QWidget;

namespace ostrel {

// One window the table names, by its class ("TForm4"), and the window itself.
using CaptionWindow = std::pair<const char*, QWidget*>;

// Sets `text` on `target` as its kind shows it: an action's text or check mark,
// a group box's title, a tab page's tab text, a button's or label's text, a
// window's title. False when the object has no caption of that kind.
bool setCaption(QObject* target, CaptionKind kind, const QString& text);

// The component an entry names inside `window`, or nullptr.
QObject* findCaptionTarget(QWidget* window, const CaptionEntry& entry);

// Writes every entry of `language` whose window is among `windows`, in table
// order. A language outside 0 to 2 changes nothing. Returns the entries that
// found no component or could not take their text.
std::vector<const CaptionEntry*> applyCaptions(const std::vector<CaptionWindow>& windows,
                                               int language);

// The same for one window, as its constructor does with the Simplified Chinese column.
std::vector<const CaptionEntry*> applyWindowCaptions(const char* windowClass, QWidget* window,
                                                     int language);

}  // namespace ostrel
