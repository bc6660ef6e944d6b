#include "base/ui/file_filters.h"

namespace ostrel {

QStringList qtNameFilters(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString shown = parts[i];
        QString pattern = parts[i + 1];
        if (pattern == QLatin1String("*.*")) {
            pattern = QStringLiteral("*");
            shown.replace(QLatin1String("(*.*)"), QLatin1String("(*)"));
        }
        if (!shown.contains(pattern)) shown += " (" + pattern + ")";
        out << shown;
    }
    return out;
}

}  // namespace ostrel
