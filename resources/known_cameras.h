#pragma once
// The cameras' long-term keys the tool has seen, one per serial number, pinned on first
// contact like the known hosts of a shell client. Kept in "camfleet_known_cameras.txt" beside
// the settings file (CommonDocumentsFolder), one "serial key" line per camera, and replaced
// atomically on every change, so a tool and a command line running at once never read half a
// file.
//
// Threads: any; one mutex guards the table. The file is read again whenever it changed on
// disk, so a camera trusted by another process counts at the next login.

#include <QDateTime>
#include <QString>

#include <map>
#include <mutex>
#include <string>

namespace camfleet {

class KnownCameras {
public:
    enum class Verdict {
        kFirstContact,  // not known before; now pinned
        kMatches,       // the pinned key
        kChanged,       // another key than the pinned one: refuse
    };

    explicit KnownCameras(QString filePath);
    // The store beside the settings file of this process (follows CAMFLEET_DOCUMENTS_DIR).
    static KnownCameras& Shared();
    static QString DefaultFilePath();

    const QString& filePath() const { return filePath_; }
    Verdict Check(const std::string& serial, const std::string& keyHex);
    // Forgets the pinned key of `serial`: its next contact pins the key it then shows.
    // `wasKnown` tells whether there was one. false when the file could not be written.
    bool Trust(const std::string& serial, bool* wasKnown);
    // The pinned key, "" when none.
    std::string KeyOf(const std::string& serial);

private:
    void Reload();  // mutex_ held
    bool Save();    // mutex_ held

    std::mutex mutex_;
    QString filePath_;
    std::map<std::string, std::string> keys_;
    QDateTime loadedTime_;
    qint64 loadedSize_ = -1;
};

}  // namespace camfleet
