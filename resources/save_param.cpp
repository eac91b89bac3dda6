#include "resources/save_param.h"

#include "platform/number_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <tinyxml2.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "resources/log.h"

#ifdef _WIN32
#include <shlobj.h>
#endif

namespace camfleet {
namespace {

using tinyxml2::XMLElement;

// A settings file is about 1 KiB; anything far larger is not ours and is not read.
constexpr qint64 kMaxFileBytes = 1024 * 1024;

QString PlatformDocumentsFolder() {
#ifdef _WIN32
    PWSTR path = nullptr;
    QString folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_PublicDocuments, 0, nullptr, &path)))
        folder = QString::fromWCharArray(path);
    CoTaskMemFree(path);
    return folder;
#else
    return QStandardPaths::standardLocations(QStandardPaths::DocumentsLocation).value(0);
#endif
}

int32_t SaturateToInt32(long long value) {
    return static_cast<int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

// Readers leave `field` alone when the element or the attribute is missing.
void ReadInt(const XMLElement* element, const char* name, int32_t& field) {
    const char* text = element ? element->Attribute(name) : nullptr;
    if (text)
        field = TextToInt(text);
}

void ReadText(const XMLElement* element, const char* name, QString& field) {
    const char* text = element ? element->Attribute(name) : nullptr;
    if (text)
        field = QString::fromUtf8(text);
}

void ReadVideoWindow(const XMLElement* element, CSaveParam& p) {
    if (!element)
        return;
    ReadInt(element, "row", p.videoRows);
    ReadInt(element, "col", p.videoColumns);
    WindowRect& r = p.videoWindow;
    ReadInt(element, "left", r.left);
    ReadInt(element, "top", r.top);
    // The file holds the size (0 when missing); the sums saturate rather than overflow.
    int32_t width = 0;
    int32_t height = 0;
    ReadInt(element, "width", width);
    ReadInt(element, "height", height);
    r.right = SaturateToInt32(static_cast<long long>(r.left) + width);
    r.bottom = SaturateToInt32(static_cast<long long>(r.top) + height);
}

void ReadOverlay(const XMLElement* element, OverlaySettings& o) {
    if (!element)
        return;
    ReadInt(element, "Enable", o.enabled);
    ReadInt(element, "Transparency", o.transparency);
    ReadInt(element, "time24or12", o.hourMode);
    ReadInt(element, "Week", o.weekShown);
    ReadInt(element, "Fontsize", o.fontSize);
    ReadInt(element, "Style", o.style);
    const XMLElement* time = element->FirstChildElement("TimeOverlay");
    ReadInt(time, "PosX", o.timePosX);
    ReadInt(time, "PosY", o.timePosY);
    ReadText(time, "Format", o.timeFormat);
    ReadInt(time, "PosType", o.timePosType);
    const XMLElement* title = element->FirstChildElement("TitleOverlay");
    ReadInt(title, "PosX", o.titlePosX);
    ReadInt(title, "PosY", o.titlePosY);
    ReadInt(title, "PosType", o.titlePosType);
    ReadText(title, "TitleUtf8", o.titleText);
}

void ReadRoot(const XMLElement* root, CSaveParam& p) {
    auto child = [root](const char* name) { return root->FirstChildElement(name); };
    ReadText(child("UpgradePath"), "name", p.upgradeDirectory);
    ReadText(child("UpgradeFileName"), "name", p.upgradeFile);
    ReadText(child("UploadCfgFileName"), "name", p.uploadConfigFile);
    ReadText(child("Mp3FilePath"), "name", p.mp3FilePath);
    ReadText(child("AppFilePath"), "name", p.appFilePath);
    ReadInt(child("FullSwitchStream"), "value", p.fullScreenStreamSwitch);
    ReadInt(child("OpenAudio"), "value", p.openAudio);
    ReadVideoWindow(child("VideoWindow"), p);
    ReadInt(child("PlayMode"), "mode", p.playMode);
    ReadInt(child("QR"), "show", p.qrShown);
    ReadText(child("DefaultUser"), "username", p.defaultUser);
    ReadText(child("DefaultUser"), "password", p.defaultPassword);
    ReadText(child("DefaultFromIP"), "ip", p.firstAssignAddress);
    ReadOverlay(child("Overlay"), p.overlay);
}

void SetText(XMLElement* element, const char* name, const QString& value) {
    element->SetAttribute(name, value.toUtf8().constData());
}

void WriteOverlay(XMLElement* element, const OverlaySettings& o) {
    element->SetAttribute("Enable", o.enabled);
    element->SetAttribute("Transparency", o.transparency);
    element->SetAttribute("time24or12", o.hourMode);
    element->SetAttribute("Week", o.weekShown);
    element->SetAttribute("Fontsize", o.fontSize);
    element->SetAttribute("Style", o.style);
    XMLElement* time = element->InsertNewChildElement("TimeOverlay");
    time->SetAttribute("PosX", o.timePosX);
    time->SetAttribute("PosY", o.timePosY);
    SetText(time, "Format", o.timeFormat);
    time->SetAttribute("PosType", o.timePosType);
    XMLElement* title = element->InsertNewChildElement("TitleOverlay");
    title->SetAttribute("PosX", o.titlePosX);
    title->SetAttribute("PosY", o.titlePosY);
    title->SetAttribute("PosType", o.titlePosType);
    SetText(title, "TitleUtf8", o.titleText);
}

QByteArray ToXml(const CSaveParam& p) {
    tinyxml2::XMLDocument doc;
    doc.InsertEndChild(doc.NewDeclaration());
    XMLElement* root = doc.NewElement("root");
    doc.InsertEndChild(root);
    auto child = [root](const char* name) { return root->InsertNewChildElement(name); };
    SetText(child("UpgradePath"), "name", p.upgradeDirectory);
    SetText(child("UpgradeFileName"), "name", p.upgradeFile);
    SetText(child("UploadCfgFileName"), "name", p.uploadConfigFile);
    SetText(child("Mp3FilePath"), "name", p.mp3FilePath);
    SetText(child("AppFilePath"), "name", p.appFilePath);
    child("FullSwitchStream")->SetAttribute("value", p.fullScreenStreamSwitch);
    child("OpenAudio")->SetAttribute("value", p.openAudio);
    XMLElement* window = child("VideoWindow");
    const WindowRect& r = p.videoWindow;
    window->SetAttribute("row", p.videoRows);
    window->SetAttribute("col", p.videoColumns);
    window->SetAttribute("left", r.left);
    window->SetAttribute("top", r.top);
    window->SetAttribute("width", static_cast<int64_t>(r.right) - r.left);
    window->SetAttribute("height", static_cast<int64_t>(r.bottom) - r.top);
    child("PlayMode")->SetAttribute("mode", p.playMode);
    child("QR")->SetAttribute("show", p.qrShown);
    XMLElement* user = child("DefaultUser");
    SetText(user, "username", p.defaultUser);
    SetText(user, "password", p.defaultPassword);
    SetText(child("DefaultFromIP"), "ip", p.firstAssignAddress);
    WriteOverlay(child("Overlay"), p.overlay);

    tinyxml2::XMLPrinter printer;
    doc.Print(&printer);
    return QByteArray(printer.CStr(), printer.CStrSize() - 1);
}

}  // namespace

QString CommonDocumentsFolder() {
    QString folder = qEnvironmentVariable("CAMFLEET_DOCUMENTS_DIR");
    if (folder.isEmpty())
        folder = PlatformDocumentsFolder();
    if (folder.isEmpty())
        folder = QDir::homePath();
    return QDir::toNativeSeparators(QDir::cleanPath(folder));
}

QString CSaveParam::DefaultSettingsFilePath() {
    return QDir::toNativeSeparators(QDir(CommonDocumentsFolder()).filePath("qv_cfg.xml"));
}

CSaveParam LoadedSettings() {
    CSaveParam settings;
    settings.Load();
    return settings;
}

bool CSaveParam::Load() {
    CSaveParam defaults;
    defaults.settingsFilePath = settingsFilePath;
    *this = std::move(defaults);

    QFile file(settingsFilePath);
    if (!file.exists())
        return false;
    if (!file.open(QIODevice::ReadOnly)) {
        LogMessage("settings file %s unreadable: %s\n", qPrintable(settingsFilePath),
                   qPrintable(file.errorString()));
        return false;
    }
    const QByteArray text = file.read(kMaxFileBytes + 1);
    if (text.size() > kMaxFileBytes) {
        LogMessage("settings file %s larger than %lld bytes, ignored\n",
                   qPrintable(settingsFilePath), static_cast<long long>(kMaxFileBytes));
        return false;
    }
    tinyxml2::XMLDocument doc;
    const XMLElement* root = nullptr;
    if (doc.Parse(text.constData(), static_cast<size_t>(text.size())) == tinyxml2::XML_SUCCESS)
        root = doc.FirstChildElement("root");
    if (!root) {
        LogMessage("settings file %s is not a settings document: %s\n",
                   qPrintable(settingsFilePath), doc.Error() ? doc.ErrorStr() : "no root");
        return false;
    }
    ReadRoot(root, *this);
    return true;
}

bool CSaveParam::Save() const {
    const QByteArray text = ToXml(*this);
    if (!QDir().mkpath(QFileInfo(settingsFilePath).absolutePath())) {
        LogMessage("save settings %s failed: cannot create its folder\n",
                   qPrintable(settingsFilePath));
        return false;
    }
    QSaveFile file(settingsFilePath);
    // QSaveFile writes a temporary file beside the target and renames it over the target in
    // commit; destroying it uncommitted removes the temporary file. The explicit flush matters:
    // commit (Qt 6.4) does not notice a failure of the final buffer flush and would rename a
    // file cut short (full disk) over the good one.
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.flush() ||
        !file.commit()) {
        LogMessage("save settings %s failed: %s\n", qPrintable(settingsFilePath),
                   qPrintable(file.errorString()));
        return false;
    }
    return true;
}

}  // namespace camfleet
