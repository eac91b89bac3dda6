#pragma once
// The main window's controls by id, so that tables (control texts, display switches) can
// reach them. Controls of features not built are simply absent.
//
// UI thread only. The registry does not own the widgets.

#include <QPointer>
#include <QString>
#include <QWidget>

#include <map>

namespace camfleet {

class CLoadDisplayCfg;

class ControlRegistry {
public:
    void Add(int id, QWidget* control) { controls_[id] = control; }
    // The control with `id`, or null.
    QWidget* Find(int id) const;

    // Sets the text of `id` (button, label, check box or group box); false when absent.
    bool SetText(int id, const QString& text) const;

    // The control-text table: each listed control that exists gets its display string.
    void ApplyControlTexts() const;

    // The tooltip table: each listed control that exists gets its display string.
    void ApplyToolTips() const;

    // Shows or hides every control that has a display switch entry.
    void ApplyDisplaySwitches(const CLoadDisplayCfg& switches) const;

private:
    std::map<int, QPointer<QWidget>> controls_;
};

}  // namespace camfleet
