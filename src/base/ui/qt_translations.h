#pragma once
// Qt's own words (the standard buttons of message boxes, the file dialogs) in
// the window's language: Qt's translations for Simplified and Traditional
// Chinese are installed into the application, English needs none.

namespace ostrel {

// Replaces the Qt translation in use by the one for `language` (0 Simplified
// Chinese, 1 Traditional Chinese, 2 English). False when the language needs a
// translation that is not installed; Qt then speaks English.
bool useQtTranslation(int language);

}  // namespace ostrel
