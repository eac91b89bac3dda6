#include "app/system_menu.h"

#include <QMessageBox>

#include "app/control_ids.h"
#include "app/version_text.h"
#include "app/window_prompt.h"
#include "resources/display_strings.h"
#include "resources/language_setting.h"

namespace camfleet {

namespace {

const char* const kLanguageItemKeys[] = {
    DisplayKey("LANGAGE_ZH_CN"), DisplayKey("LANGAGE_ZH_TW"),   DisplayKey("LANGAGE_ENGLISH"),
    DisplayKey("LANGAGE_KO_KO"), DisplayKey("LANGAGE_RUSSIAN"), DisplayKey("LANGAGE_MONGOLIAN"),
};

}  // namespace

SystemMenu::SystemMenu(QMenuBar* bar, WindowPrompt& prompt, QWidget* window)
    : QObject(bar), bar_(bar), prompt_(prompt), window_(window) {
    QMenu* languages = bar->addMenu(GetDisplayString("SWITCHLANGUAGE"));
    for (int id = kFirstLanguageMenuItem; id <= kLastLanguageMenuItem; ++id) {
        QAction* item =
            languages->addAction(GetDisplayString(kLanguageItemKeys[id - kFirstLanguageMenuItem]));
        item->setData(id);
        connect(item, &QAction::triggered, this, [this, id] { Run(id); });
    }
    QMenu* help = bar->addMenu(tr("&Help"));
    QAction* about = help->addAction(tr("&About camfleet..."));
    about->setData(int(kIdAbout));
    connect(about, &QAction::triggered, this, [this] { Run(kIdAbout); });
}

QAction* SystemMenu::Action(int id) const {
    for (QAction* menu : bar_->actions()) {
        for (QAction* item : menu->menu()->actions()) {
            if (item->data().toInt() == id)
                return item;
        }
    }
    return nullptr;
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
    prompt_.ShowMessage(
        box.text, box.caption,
        box.icon == MessageIcon::Error ? PromptIcon::kError : PromptIcon::kInformation);
}

void SystemMenu::ShowAbout() {
    QMessageBox::about(window_, tr("About camfleet"),
                       tr("<b>camfleet</b> %1<br>Finds, lists and manages the IP cameras of a "
                          "LAN.<br>Qt %2")
                           .arg(VersionText(), QString::fromLatin1(qVersion())));
}

}  // namespace camfleet
