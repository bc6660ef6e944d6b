#include "buffers/ui/hex_key_filter.h"

#include <QKeyEvent>
#include <QLineEdit>

#include "buffers/range_edit.h"

namespace ostrel {

void HexKeyFilter::attach(QLineEdit* edit) {
    edit->installEventFilter(this);
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString& text) {
        const QString upper = text.toUpper();
        if (upper == text) return;
        const int position = edit->cursorPosition();
        edit->setText(upper);
        edit->setCursorPosition(position);
    });
}

bool HexKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    // Keys without a character (cursor keys) and shortcuts pass; so do Enter
    // and Escape, which belong to the dialog, and Delete, which X11 delivers
    // with the text "\x7f".
    if (text.isEmpty() || (key->modifiers() & Qt::ControlModifier)) return false;
    const char32_t c = text.at(0).unicode();
    if (text.size() == 1 && (c < 0x20 || c == 0x7F)) return false;
    if (text.size() != 1 || !isHexEditKey(c)) return true;
    if (c >= 'a' && c <= 'f') {
        if (auto* edit = qobject_cast<QLineEdit*>(watched)) {
            edit->insert(text.toUpper());
            return true;
        }
    }
    return false;
}

}  // namespace ostrel
