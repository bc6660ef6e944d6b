#include "base/ui/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "base/messages.h"

namespace ostrel {

bool useQtTranslation(int language) {
    // One translator for the whole run, as long as the application.
    static QTranslator* translator = nullptr;
    if (translator != nullptr) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
        translator = nullptr;
    }
    if (language != LangSimplified && language != LangTraditional) return true;
    auto* loaded = new QTranslator(QCoreApplication::instance());
    const QString name = language == LangSimplified ? QStringLiteral("qtbase_zh_CN")
                                                    : QStringLiteral("qtbase_zh_TW");
    if (!loaded->load(name, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete loaded;
        return false;
    }
    QCoreApplication::installTranslator(loaded);
    translator = loaded;
    return true;
}

}  // namespace ostrel
