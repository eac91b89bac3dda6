#pragma once
// The chosen display language, kept as the text value "Language" under the key
// "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\<registry name>", where the
// registry name comes from "registry.xml" in the program directory.
//
// Storage: on Windows the local-machine registry hive (writing needs the right to write
// there). Elsewhere an INI file with the same key path inside: the file named by the
// environment variable CAMFLEET_REGISTRY_FILE when it is set and not empty, else
// "<generic config folder>/camfleet/registry.ini" of the user.
//
// All functions are reentrant; concurrent writers of the same value are not coordinated.

#include <QString>

#include <string>
#include <string_view>

#include "device/codes.h"

namespace camfleet {

class DisplayStrings;

inline constexpr char kDefaultRegistryName[] = "RaDudAdodo";
inline constexpr char kDefaultLanguageCode[] = "en-us";
inline constexpr char kRegistryFileEnvironment[] = "CAMFLEET_REGISTRY_FILE";

// First and last id of the language items of the system menu.
inline constexpr int kFirstLanguageMenuItem = kIdLanguageZhCn;
inline constexpr int kLastLanguageMenuItem = kIdLanguageMongolian;

// The registry name given by "registry.xml" at `path`: the `name` of the first child
// element of the top-level `root` element when that child is named `Registry` (empty when
// it has no `name`); kDefaultRegistryName when the file, `root` or that element is missing
// or the file does not parse.
std::string ReadRegistryName(const std::string& path);

// ReadRegistryName of "registry.xml" in ProgramDirectory().
std::string RegistryName();

// "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + registryName.
QString LanguageKeyPath(const std::string& registryName);

// Language code for a stored value: "Simplified Chinese" -> "zh-cn", "Traditional Chinese"
// -> "zh-tw", "Korean" -> "ko-ko", "Polish" -> "pl-pl", "Russian" and "Mongolian" as they
// are, anything else (including the empty text) -> "en-us".
std::string LanguageCodeFromRegistryValue(std::string_view value);

// Stored value for a language code: either spelling ("zh-cn"/"zh_cn", "zh-tw"/"zh_tw",
// "ko-ko"/"ko_ko", "pl-pl"/"pl_pl") gives the language name above, "Russian" and
// "Mongolian" stay, anything else gives "en-us".
std::string RegistryValueForLanguage(std::string_view code);

// Language code of a system menu item: 1950..1955 -> "zh_cn", "zh_tw", "en_us", "ko_ko",
// "Russian", "Mongolian". Null for any other id.
const char* LanguageCodeForMenuItem(int commandId);

// Reads the stored value and maps it with LanguageCodeFromRegistryValue ("en-us" when the
// key, the value or the storage is missing).
std::string GetLanguage(const std::string& registryName);
std::string GetLanguage();  // with RegistryName()

// Creates or opens the key and writes the value for `code` (RegistryValueForLanguage).
// Returns 0 when the value was written, else non-zero: -1 when there is no storage
// location, or the QSettings::Status of the failed write.
int SetLanguage(std::string_view code, const std::string& registryName);
int SetLanguage(std::string_view code);  // with RegistryName()

enum class MessageIcon { Information, Error };

// A message box as the window shows it.
struct LanguageSwitchMessage {
    QString text;
    QString caption;
    MessageIcon icon = MessageIcon::Information;
    bool succeeded = false;  // the new language was stored
};

// The box shown after a language switch, composed of display strings of `strings`:
// success: SWITCHLANGUAGE " " STRING_SUCCESS ".\r\n" LANGAGE_SWITCH_TIPS2, caption "Tips";
// failure: SWITCHLANGUAGE " " STRING_FAILED "\r\n" LANGAGE_SWITCH_TIPS1, caption "ERROR".
LanguageSwitchMessage ComposeLanguageSwitchMessage(bool succeeded, const DisplayStrings& strings);

// SetLanguage(code); when the value was written, the process-wide strings are rebuilt in
// the new language (DisplayStrings::ReloadInstance), so the next lookups answer in it. Then
// the box for the result, in the language now in use. The caller shows the running
// window's texts again.
LanguageSwitchMessage SwitchLanguage(std::string_view code);

}  // namespace camfleet
