#include "widgets/display_text.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include "resources/display_strings.h"

namespace camfleet {

namespace {

// Dynamic properties holding the keys (as QByteArray) of the caption and the tooltip.
constexpr char kCaptionKeyProperty[] = "camfleetCaptionKey";
constexpr char kToolTipKeyProperty[] = "camfleetToolTipKey";

void ShowToolTip(QObject* target, const QString& text) {
    if (auto* action = qobject_cast<QAction*>(target))
        action->setToolTip(text);
    else if (auto* widget = qobject_cast<QWidget*>(target))
        widget->setToolTip(text);
}

// Remembers `key` under `property` of `target` and returns its text.
QString RememberKey(QObject* target, const char* property, const char* key) {
    target->setProperty(property, key ? QVariant(QByteArray(key)) : QVariant());
    return key ? GetDisplayString(key) : QString();
}

// The key remembered under `property`, or an empty array.
QByteArray KeyOf(const QObject* object, const char* property) {
    return object->property(property).toByteArray();
}

void Retranslate(QObject* object) {
    const QByteArray caption = KeyOf(object, kCaptionKeyProperty);
    if (!caption.isEmpty())
        ShowCaption(object, GetDisplayString(caption.constData()));
    const QByteArray toolTip = KeyOf(object, kToolTipKeyProperty);
    if (!toolTip.isEmpty())
        ShowToolTip(object, GetDisplayString(toolTip.constData()));
}

}  // namespace

bool ShowCaption(QObject* target, const QString& text) {
    if (auto* menu = qobject_cast<QMenu*>(target))
        menu->setTitle(text);
    else if (auto* group = qobject_cast<QGroupBox*>(target))
        group->setTitle(text);
    else if (auto* action = qobject_cast<QAction*>(target))
        action->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(target))
        button->setText(text);
    else if (auto* label = qobject_cast<QLabel*>(target))
        label->setText(text);
    else if (auto* widget = qobject_cast<QWidget*>(target); widget && widget->isWindow())
        widget->setWindowTitle(text);
    else
        return false;
    return true;
}

void SetCaptionKey(QObject* target, const char* key) {
    if (target)
        ShowCaption(target, RememberKey(target, kCaptionKeyProperty, key));
}

void SetToolTipKey(QObject* target, const char* key) {
    if (target)
        ShowToolTip(target, RememberKey(target, kToolTipKeyProperty, key));
}

QLabel* KeyLabel(const char* key, QWidget* parent) {
    auto* label = new QLabel(parent);
    SetCaptionKey(label, key);
    return label;
}

QAction* AddKeyedAction(QMenu* menu, const char* key, int id) {
    QAction* action = menu->addAction(QString());
    SetCaptionKey(action, key);
    action->setData(id);
    return action;
}

QAction* FindCommandAction(const QWidget* menu, int id) {
    if (menu == nullptr)
        return nullptr;
    for (QAction* item : menu->actions()) {
        if (item->menu() != nullptr) {
            if (QAction* inner = FindCommandAction(item->menu(), id))
                return inner;
        } else if (!item->isSeparator() && item->data().toInt() == id) {
            return item;
        }
    }
    return nullptr;
}

void SetStandardButtonKeys(QDialogButtonBox* buttons) {
    SetCaptionKey(buttons->button(QDialogButtonBox::Ok), DisplayKey("BTN_OK"));
    SetCaptionKey(buttons->button(QDialogButtonBox::Cancel), DisplayKey("BTN_CANCEL"));
    SetCaptionKey(buttons->button(QDialogButtonBox::Yes), DisplayKey("BTN_YES"));
    SetCaptionKey(buttons->button(QDialogButtonBox::No), DisplayKey("BTN_NO"));
}

void SetStandardButtonKeys(QMessageBox* box) {
    SetCaptionKey(box->button(QMessageBox::Ok), DisplayKey("BTN_OK"));
    SetCaptionKey(box->button(QMessageBox::Cancel), DisplayKey("BTN_CANCEL"));
    SetCaptionKey(box->button(QMessageBox::Yes), DisplayKey("BTN_YES"));
    SetCaptionKey(box->button(QMessageBox::No), DisplayKey("BTN_NO"));
}

void RetranslateTexts(QObject* root) {
    if (!root)
        return;
    Retranslate(root);
    for (QObject* object : root->findChildren<QObject*>())
        Retranslate(object);
}

}  // namespace camfleet
