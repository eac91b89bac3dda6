#pragma once
// The window's system menu items, on the menu bar: the language switch (1950 to 1955) and
// the about box (16). A language switch stores the new language, makes it the language of
// the display strings and has the window show its texts again (the languageChanged hook),
// then tells the operator the result.
//
// UI thread only. The prompt outlives this object.

#include <QMenuBar>
#include <QObject>

#include <functional>

namespace camfleet {

class WindowPrompt;

class SystemMenu : public QObject {
    Q_OBJECT
public:
    // `languageChanged` runs after a switch that stored the new language, before the box.
    SystemMenu(QMenuBar* bar, WindowPrompt& prompt, std::function<void()> languageChanged);

    // Runs menu item `id` (1950..1955 or the about item); false for other ids.
    bool Run(int id);
    // The action of item `id`, or null.
    QAction* Action(int id) const;

private:
    void SwitchLanguageItem(int id);
    void ShowAbout();

    QMenuBar* bar_;
    WindowPrompt& prompt_;
    std::function<void()> languageChanged_;
};

}  // namespace camfleet
