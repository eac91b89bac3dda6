#pragma once
// The window's system menu items, on the menu bar: the language switch (1950 to 1955) and
// the about box (16). A language switch stores the new language and tells the operator that
// it applies at the next start; the running window keeps its texts.
//
// UI thread only. The prompt outlives this object.

#include <QMenuBar>
#include <QObject>

namespace camfleet {

class WindowPrompt;

class SystemMenu : public QObject {
    Q_OBJECT
public:
    SystemMenu(QMenuBar* bar, WindowPrompt& prompt, QWidget* window);

    // Runs menu item `id` (1950..1955 or the about item); false for other ids.
    bool Run(int id);
    // The action of item `id`, or null.
    QAction* Action(int id) const;

private:
    void SwitchLanguageItem(int id);
    void ShowAbout();

    QMenuBar* bar_;
    WindowPrompt& prompt_;
    QWidget* window_;
};

}  // namespace camfleet
