#include "base/ui/apply_captions.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QStackedWidget>
#include <QTabWidget>
#include <cstring>

namespace ostrel {
namespace {

// A page of a tab widget sits in the tab widget's stack; its caption is the tab's.
QTabWidget* owningTabWidget(QWidget* page) {
    auto* stack = qobject_cast<QStackedWidget*>(page->parentWidget());
    if (!stack) return nullptr;
    auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget());
    return tabs && tabs->indexOf(page) >= 0 ? tabs : nullptr;
}

// Like findChild, but it stays inside one window: the dialogs are children of
// the main window and carry names of their own ("Label1", "BitBtn1") that must
// not be taken for the main window's. Menus are windows too, yet their actions
// belong to the window whose menu bar holds them.
template <typename T>
T* findInWindow(const QObject* parent, const QString& name) {
    for (QObject* child : parent->children())
        if (auto* hit = qobject_cast<T*>(child); hit && child->objectName() == name) return hit;
    for (QObject* child : parent->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && widget->isWindow() && !qobject_cast<QMenu*>(widget)) continue;
        if (T* hit = findInWindow<T>(child, name)) return hit;
    }
    return nullptr;
}

}  // namespace

bool setCaption(QObject* target, CaptionKind kind, const QString& text) {
    if (!target) return false;
    if (auto* action = qobject_cast<QAction*>(target)) {
        if (kind == CaptionKind::CheckMark) {
            if (!action->isCheckable()) return false;
            action->setChecked(text == QLatin1String("1"));
        } else {
            action->setText(text);
        }
        return true;
    }
    auto* widget = qobject_cast<QWidget*>(target);
    if (!widget || kind == CaptionKind::CheckMark) return false;
    if (kind == CaptionKind::WindowTitle) {
        widget->setWindowTitle(text);
        return true;
    }
    if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(text);
    } else if (QTabWidget* tabs = owningTabWidget(widget)) {
        tabs->setTabText(tabs->indexOf(widget), text);
    } else {
        return false;
    }
    return true;
}

QObject* findCaptionTarget(QWidget* window, const CaptionEntry& entry) {
    if (!window) return nullptr;
    const QString name = QString::fromLatin1(entry.component);
    if (entry.kind == CaptionKind::WindowTitle) return window;
    // Actions first: a menu's own action and the menu widget may share a name.
    if (auto* action = findInWindow<QAction>(window, name)) return action;
    return findInWindow<QWidget>(window, name);
}

std::vector<const CaptionEntry*> applyCaptions(const std::vector<CaptionWindow>& windows,
                                               int language) {
    std::vector<const CaptionEntry*> missed;
    if (language < 0 || language > 2) return missed;
    for (const CaptionEntry& entry : captionTable()) {
        for (const auto& [windowClass, window] : windows) {
            if (std::strcmp(windowClass, entry.window) != 0) continue;
            const QString text = QString::fromUtf8(captionText(entry, language));
            if (!setCaption(findCaptionTarget(window, entry), entry.kind, text))
                missed.push_back(&entry);
        }
    }
    return missed;
}

std::vector<const CaptionEntry*> applyWindowCaptions(const char* windowClass, QWidget* window,
                                                     int language) {
    return applyCaptions({{windowClass, window}}, language);
}

}  // namespace ostrel
