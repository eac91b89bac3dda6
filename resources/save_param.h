#pragma once
// The operator's choices kept between runs in "qv_cfg.xml" in the common documents folder.
// UI thread only: the main window owns one CSaveParam, loads it once at start and hands it to
// its controls; whoever changes a field calls Save at once. Load and Save are the only file
// I/O: a CSaveParam that is never loaded holds the defaults and touches no file.

#include <QString>

#include <cstdint>

namespace camfleet {

// The machine's shared documents folder, without a trailing separator: the public documents
// folder on Windows, the first documents location Qt reports elsewhere (the home folder when
// there is none). The environment variable CAMFLEET_DOCUMENTS_DIR, when set and not empty,
// takes its place (tests, portable installs). Native separators.
QString CommonDocumentsFolder();

// Window rectangle in screen pixels; right and bottom lie one past the last pixel.
struct WindowRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    bool operator==(const WindowRect&) const = default;
};

// Text overlay parameters stored for the overlay dialog.
struct OverlaySettings {
    int32_t enabled = 1;
    int32_t transparency = 0;
    int32_t timePosX = 1;
    int32_t timePosY = 1;
    QString timeFormat;
    int32_t timePosType = 0;
    int32_t titlePosX = 0;
    int32_t titlePosY = 0;
    int32_t titlePosType = 0;
    QString titleText = QStringLiteral("Camera");
    int32_t style = 3;
    int32_t weekShown = 1;
    int32_t fontSize = 0;
    int32_t hourMode = 0;  // 24- or 12-hour clock, as the camera codes it

    bool operator==(const OverlaySettings&) const = default;
};

class CSaveParam {
public:
    // Sets the defaults; reads nothing (see Load).
    CSaveParam() = default;

    // Resets every field except settingsFilePath to its default, then reads settingsFilePath.
    // Returns true when the file was read; false (missing, unreadable, larger than 1 MiB, not
    // a settings document) leaves all defaults. Elements or attributes the file lacks keep
    // their defaults; numbers follow TextToInt, texts are taken as they stand.
    bool Load();

    // Writes every field to settingsFilePath (creating its folder when missing). The file is
    // replaced atomically: a failure at any point (full disk, no permission, crash) leaves the
    // previous file as it was. Returns false on failure and logs it; the fields are unchanged.
    bool Save() const;

    // Fields in file order. Texts are paths or single-line text, stored in the file as UTF-8;
    // a carriage return in a text reads back as a line feed (XML line-end handling).
    QString settingsFilePath = DefaultSettingsFilePath();
    QString upgradeDirectory = CommonDocumentsFolder();
    QString upgradeFile = CommonDocumentsFolder();
    QString uploadConfigFile = CommonDocumentsFolder();
    QString mp3FilePath = CommonDocumentsFolder();
    QString appFilePath = CommonDocumentsFolder();
    int32_t fullScreenStreamSwitch = 1;
    int32_t openAudio = 0;
    int32_t videoRows = 0;
    int32_t videoColumns = 0;
    int32_t playMode = 0;
    WindowRect videoWindow;
    QString defaultUser = QStringLiteral("admin");
    QString defaultPassword = QStringLiteral("730418");
    QString firstAssignAddress = QStringLiteral("0.0.0.0");  // first address of IP assignment
    int32_t qrShown = 1;
    OverlaySettings overlay;

    bool operator==(const CSaveParam&) const = default;

    // "qv_cfg.xml" in CommonDocumentsFolder().
    static QString DefaultSettingsFilePath();
};

// A CSaveParam loaded from its file (the defaults where the file has no value).
CSaveParam LoadedSettings();

}  // namespace camfleet
