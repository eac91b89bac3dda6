#include "app/system_menu.h"

#include "app/version_text.h"
#include "app/window_prompt.h"
#include "device/codes.h"
#include "resources/display_strings.h"
#include "resources/language_setting.h"
#include "widgets/display_text.h"

namespace camfleet {

namespace {

const char* const kLanguageItemKeys[] = {
    DisplayKey("LANGAGE_ZH_CN"), DisplayKey("LANGAGE_ZH_TW"),   DisplayKey("LANGAGE_ENGLISH"),
    DisplayKey("LANGAGE_KO_KO"), DisplayKey("LANGAGE_RUSSIAN"), DisplayKey("LANGAGE_MONGOLIAN"),
};

}  // namespace

SystemMenu::SystemMenu(QMenuBar* bar, WindowPrompt& prompt, std::function<void()> languageChanged)
    : QObject(bar), bar_(bar), prompt_(prompt), languageChanged_(std::move(languageChanged)) {
    QMenu* languages = bar->addMenu(QString());
    SetCaptionKey(languages, DisplayKey("SWITCHLANGUAGE"));
    for (int id = kFirstLanguageMenuItem; id <= kLastLanguageMenuItem; ++id) {
        QAction* item = languages->addAction(QString());
        SetCaptionKey(item, kLanguageItemKeys[id - kFirstLanguageMenuItem]);
        item->setData(id);
        connect(item, &QAction::triggered, this, [this, id] { Run(id); });
    }
    QMenu* help = bar->addMenu(QString());
    SetCaptionKey(help, DisplayKey("MENU_HELP"));
    QAction* about = help->addAction(QString());
    SetCaptionKey(about, DisplayKey("IDS_ABOUTBOX"));
    about->setData(int(kIdAbout));
    connect(about, &QAction::triggered, this, [this] { Run(kIdAbout); });
}

QAction* SystemMenu::Action(int id) const {
    return FindCommandAction(bar_, id);
}

bool SystemMenu::Run(int id) {
    if (id == kIdAbout) {
        ShowAbout();
        return true;
    }
    if (!LanguageCodeForMenuItem(id))
        return false;
    SwitchLanguageItem(id);
    return true;
}

void SystemMenu::SwitchLanguageItem(int id) {
    const LanguageSwitchMessage box = SwitchLanguage(LanguageCodeForMenuItem(id));
    if (box.succeeded && languageChanged_)
        languageChanged_();
    prompt_.ShowMessage(
        box.text, box.caption,
        box.icon == MessageIcon::Error ? PromptIcon::kError : PromptIcon::kInformation);
}

void SystemMenu::ShowAbout() {
    prompt_.ShowMessage(AboutText(), GetDisplayString("ABOUT_CAPTION"), PromptIcon::kInformation);
}

}  // namespace camfleet
