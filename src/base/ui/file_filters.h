#pragma once
// The file dialogs' filter lists as Qt takes them.

#include <QStringList>
#include <string>

namespace ostrel {

// "Shown text|pattern|Shown text|pattern" as a Qt filter list. Qt reads the
// patterns from the parentheses of each entry, so the pattern is added where
// the shown text lacks it. "*.*" means every file where the desktop's own
// dialogs read it; here it would hide names without a dot (which load as raw
// binary), so it becomes "*".
QStringList qtNameFilters(const std::string& filter);

}  // namespace ostrel
