#include "resources/language_setting.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <tinyxml2.h>

#include <iterator>
#include <memory>

#include "platform/paths.h"
#include "resources/display_strings.h"

namespace camfleet {
namespace {

struct LanguageName {
    const char* value;    // stored in the registry
    const char* code;     // language code of "language.xml"
    const char* altCode;  // spelling used by the system menu items
};

constexpr LanguageName kLanguageNames[] = {
    {"Simplified Chinese", "zh-cn", "zh_cn"},
    {"Traditional Chinese", "zh-tw", "zh_tw"},
    {"Korean", "ko-ko", "ko_ko"},
    {"Polish", "pl-pl", "pl_pl"},
    {"Russian", "Russian", "Russian"},
    {"Mongolian", "Mongolian", "Mongolian"},
};

// System menu items kFirstLanguageMenuItem.. in order.
constexpr const char* kMenuItemCodes[] = {"zh_cn", "zh_tw",   "en_us",
                                          "ko_ko", "Russian", "Mongolian"};
static_assert(std::size(kMenuItemCodes) == kLastLanguageMenuItem - kFirstLanguageMenuItem + 1);

constexpr char kLanguageValueName[] = "Language";

// Where the language value lives: an open store and the name of the value in it.
struct LanguageStore {
    std::unique_ptr<QSettings> settings;  // null when there is no storage location
    QString valueKey;
};

#ifdef Q_OS_WIN
LanguageStore OpenLanguageStore(const std::string& registryName) {
    const QString key = QStringLiteral("HKEY_LOCAL_MACHINE\\") + LanguageKeyPath(registryName);
    return {std::make_unique<QSettings>(key, QSettings::NativeFormat),
            QString::fromLatin1(kLanguageValueName)};
}
#else
QString RegistryFilePath() {
    const QString overridden = qEnvironmentVariable(kRegistryFileEnvironment);
    if (!overridden.isEmpty())
        return overridden;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty())
        return {};
    return config + QStringLiteral("/camfleet/registry.ini");
}

LanguageStore OpenLanguageStore(const std::string& registryName) {
    const QString path = RegistryFilePath();
    if (path.isEmpty())
        return {};
    // Same key path as in the registry, with QSettings' group separator '/': the file holds
    // [Software] and in it Microsoft\Windows\CurrentVersion\Uninstall\<name>\Language=<value>.
    QString key =
        LanguageKeyPath(registryName) + QLatin1Char('\\') + QString::fromLatin1(kLanguageValueName);
    key.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return {std::make_unique<QSettings>(path, QSettings::IniFormat), key};
}
#endif

}  // namespace

std::string ReadRegistryName(const std::string& path) {
    tinyxml2::XMLDocument doc;
    if (doc.LoadFile(path.c_str()) != tinyxml2::XML_SUCCESS)
        return kDefaultRegistryName;
    const tinyxml2::XMLElement* root = doc.FirstChildElement("root");
    const tinyxml2::XMLElement* first = root ? root->FirstChildElement() : nullptr;
    if (!first || std::string_view(first->Name()) != "Registry")
        return kDefaultRegistryName;
    const char* name = first->Attribute("name");
    return name ? name : "";
}

std::string RegistryName() {
    return ReadRegistryName(ProgramDirectory() + "/registry.xml");
}

QString LanguageKeyPath(const std::string& registryName) {
    return QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") +
           QString::fromStdString(registryName);
}

std::string LanguageCodeFromRegistryValue(std::string_view value) {
    for (const LanguageName& name : kLanguageNames) {
        if (value == name.value)
            return name.code;
    }
    return kDefaultLanguageCode;
}

std::string RegistryValueForLanguage(std::string_view code) {
    for (const LanguageName& name : kLanguageNames) {
        if (code == name.code || code == name.altCode)
            return name.value;
    }
    return kDefaultLanguageCode;
}

const char* LanguageCodeForMenuItem(int commandId) {
    if (commandId < kFirstLanguageMenuItem || commandId > kLastLanguageMenuItem)
        return nullptr;
    return kMenuItemCodes[commandId - kFirstLanguageMenuItem];
}

std::string GetLanguage(const std::string& registryName) {
    LanguageStore store = OpenLanguageStore(registryName);
    if (!store.settings)
        return kDefaultLanguageCode;
    const QString value = store.settings->value(store.valueKey).toString();
    return LanguageCodeFromRegistryValue(value.toStdString());
}

std::string GetLanguage() {
    return GetLanguage(RegistryName());
}

int SetLanguage(std::string_view code, const std::string& registryName) {
    LanguageStore store = OpenLanguageStore(registryName);
    if (!store.settings)
        return -1;
#ifndef Q_OS_WIN
    // QSettings does not create missing folders of an INI file.
    QDir().mkpath(QFileInfo(store.settings->fileName()).absolutePath());
#endif
    store.settings->setValue(store.valueKey,
                             QString::fromStdString(RegistryValueForLanguage(code)));
    store.settings->sync();
    return store.settings->status() == QSettings::NoError ? 0 : int(store.settings->status());
}

int SetLanguage(std::string_view code) {
    return SetLanguage(code, RegistryName());
}

LanguageSwitchMessage ComposeLanguageSwitchMessage(bool succeeded, const DisplayStrings& strings) {
    const QString head = strings.Lookup(DisplayKey("SWITCHLANGUAGE")) + QLatin1Char(' ');
    if (succeeded) {
        return {head + strings.Lookup(DisplayKey("STRING_SUCCESS")) + QStringLiteral(".\r\n") +
                    strings.Lookup(DisplayKey("LANGAGE_SWITCH_TIPS2")),
                strings.Lookup(DisplayKey("Tips")), MessageIcon::Information, true};
    }
    return {head + strings.Lookup(DisplayKey("STRING_FAILED")) + QStringLiteral("\r\n") +
                strings.Lookup(DisplayKey("LANGAGE_SWITCH_TIPS1")),
            strings.Lookup(DisplayKey("ERROR")), MessageIcon::Error, false};
}

LanguageSwitchMessage SwitchLanguage(std::string_view code) {
    if (SetLanguage(code) != 0)
        return ComposeLanguageSwitchMessage(false, DisplayStrings::Instance());
    return ComposeLanguageSwitchMessage(true, DisplayStrings::ReloadInstance());
}

}  // namespace camfleet
