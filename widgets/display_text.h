#pragma once
// Texts of widgets and actions given by display key. The key is kept on the object, so that
// RetranslateTexts can show the same key again in another language after a language switch.
// Keys are written as literals marked with DisplayKey, so that the key-list check sees them.
//
// UI thread only.

#include <QString>

class QAction;
class QDialogButtonBox;
class QLabel;
class QMenu;
class QMessageBox;
class QObject;
class QWidget;

namespace camfleet {

// Shows `text` as the caption of `target`: the title of a menu or a group box, the text of
// an action, a button or a label, the window title of a window. False (and nothing shown)
// for other objects and for null.
bool ShowCaption(QObject* target, const QString& text);

// Shows the display string of `key` as the caption of `target` (ShowCaption) and remembers
// the key for RetranslateTexts. A null `key` shows the empty text and forgets the key.
void SetCaptionKey(QObject* target, const char* key);

// Shows the display string of `key` as the tooltip of a widget or an action.
void SetToolTipKey(QObject* target, const char* key);

// A label showing the display string of `key`.
QLabel* KeyLabel(const char* key, QWidget* parent);

// Appends an item showing the display string of `key` to `menu`, with the command id `id`
// as its data.
QAction* AddKeyedAction(QMenu* menu, const char* key, int id);

// The first item with the command id `id` as its data in `menu` (a menu or a menu bar) or
// any of its submenus, in menu order; null when there is none or `menu` is null.
QAction* FindCommandAction(const QWidget* menu, int id);

// The OK, Cancel, Yes and No buttons of a button box or message box, where present, show
// the display strings "BTN_OK", "BTN_CANCEL", "BTN_YES" and "BTN_NO".
void SetStandardButtonKeys(QDialogButtonBox* buttons);
void SetStandardButtonKeys(QMessageBox* box);

// Shows again, from the current display strings, every caption and tooltip that `root` or
// any object below it got through SetCaptionKey or SetToolTipKey.
void RetranslateTexts(QObject* root);

}  // namespace camfleet
