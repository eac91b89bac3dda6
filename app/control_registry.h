#pragma once
// The main window's controls and menu items by id, so that tables (control texts, display
// switches) can reach them. Controls of features not built are simply absent. The registry
// also shows every text of the window again after a language switch (RetranslateUi).
//
// Window controls (buttons, edits, boxes, the list) and menu items are kept apart: one id
// may name both, as 16 names the factory-mode button and the system menu's about item. The
// control-text, tooltip and display-switch tables act on window controls only; a menu item
// keeps the caption and the visibility its menu gave it.
//
// UI thread only. The registry does not own the widgets.

#include <QAction>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <vector>

namespace camfleet {

class CLoadDisplayCfg;

class ControlRegistry {
public:
    // Registers the window control `id`; a later control with the same id replaces it.
    void Add(int id, QWidget* control) { controls_[id] = control; }
    // Registers a menu or a menu bar: its items, present and added later, submenus included,
    // are found by the command id in their data, beside any window control with that id.
    void AddMenu(QWidget* menu) { menus_.emplace_back(menu); }
    // The window control with `id`, or null.
    QWidget* Find(int id) const;
    // The first menu item with `id` in the menus in the order added, or null.
    QAction* FindMenuItem(int id) const;

    // Sets the caption of `id` (widgets/display_text.h ShowCaption); false when absent.
    bool SetText(int id, const QString& text) const;

    // The control-text table: each listed control that exists gets its display string.
    void ApplyControlTexts() const;

    // The tooltip table: each listed control that exists gets its display string.
    void ApplyToolTips() const;

    // Shows or hides every window control that has a display switch entry.
    void ApplyDisplaySwitches(const CLoadDisplayCfg& switches) const;

    // A text that no key table covers because it joins several keys or follows a state (the
    // title, the status line, the search button); RetranslateUi runs it last.
    void AddTextRefresher(std::function<void()> refresh) {
        refreshers_.push_back(std::move(refresh));
    }

    // Shows every text of the window from the current display strings, in this order: the
    // control-text and tooltip tables, the captions and tooltips set by key on `root` and
    // everything below it (widgets/display_text.h), then the refreshers in the order added.
    void RetranslateUi(QObject* root) const;

private:
    std::map<int, QPointer<QWidget>> controls_;
    std::vector<QPointer<QWidget>> menus_;
    std::vector<std::function<void()>> refreshers_;
};

}  // namespace camfleet
