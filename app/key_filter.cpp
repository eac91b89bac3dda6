#include "app/key_filter.h"

#include <QKeyEvent>
#include <QWidget>

namespace camfleet {

KeyFilter::KeyFilter(QWidget* window) : QObject(window), window_(window) {}

bool KeyFilter::IsSwallowed(const QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease &&
        event->type() != QEvent::ShortcutOverride)
        return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    const bool inWindow = widget && window_ && (widget == window_ || window_->isAncestorOf(widget));
    if (inWindow && IsSwallowed(event))
        return true;
    return QObject::eventFilter(watched, event);
}

}  // namespace camfleet
