#include "resources/known_cameras.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <cstdio>

#include "resources/log.h"
#include "resources/save_param.h"

namespace camfleet {

namespace {

constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

// Serial numbers are written percent-encoded, so one never splits a line.
QByteArray EncodeSerial(const std::string& serial) {
    return QUrl::toPercentEncoding(QString::fromStdString(serial));
}

std::string DecodeSerial(const QByteArray& text) {
    return QUrl::fromPercentEncoding(text).toStdString();
}

}  // namespace

KnownCameras::KnownCameras(QString filePath) : filePath_(std::move(filePath)) {}

QString KnownCameras::DefaultFilePath() {
    return QDir::toNativeSeparators(
        QDir(CommonDocumentsFolder()).filePath("camfleet_known_cameras.txt"));
}

KnownCameras& KnownCameras::Shared() {
    // Never destroyed: the SDK's I/O thread may still log in while the process exits.
    static KnownCameras& shared = *new KnownCameras(DefaultFilePath());
    const QString path = DefaultFilePath();
    std::lock_guard lock(shared.mutex_);
    if (path != shared.filePath_) {
        shared.filePath_ = path;
        shared.keys_.clear();
        shared.loadedSize_ = -1;
    }
    return shared;
}

void KnownCameras::Reload() {
    const QFileInfo info(filePath_);
    const qint64 size = info.exists() ? info.size() : -1;
    const QDateTime time = info.exists() ? info.lastModified() : QDateTime();
    if (size == loadedSize_ && time == loadedTime_)
        return;
    loadedSize_ = size;
    loadedTime_ = time;
    keys_.clear();
    if (size < 0)
        return;
    QFile file(filePath_);
    if (!file.open(QIODevice::ReadOnly) || size > kMaxFileBytes) {
        LogMessage("known cameras file %s unreadable\n", qPrintable(filePath_));
        return;
    }
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.trimmed().split(' ');
        if (fields.size() == 2 && !fields[0].isEmpty() && !fields[1].isEmpty())
            keys_[DecodeSerial(fields[0])] = fields[1].toStdString();
    }
}

bool KnownCameras::Save() {
    QByteArray text;
    for (const auto& [serial, key] : keys_)
        text += EncodeSerial(serial) + ' ' + QByteArray::fromStdString(key) + '\n';
    if (!QDir().mkpath(QFileInfo(filePath_).absolutePath())) {
        LogMessage("save known cameras %s failed: cannot create its folder\n",
                   qPrintable(filePath_));
        return false;
    }
    // A temporary file renamed over the old one: readers see the old or the new table,
    // never half of one. Not synced to disk (QSaveFile would be): a first contact with
    // hundreds of cameras pins them all from the SDK's thread, and a pin lost in a power cut
    // is only taken again at the next contact.
    const QString temporary = filePath_ + QStringLiteral(".new");
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size() ||
        !file.flush()) {
        LogMessage("save known cameras %s failed: %s\n", qPrintable(filePath_),
                   qPrintable(file.errorString()));
        file.close();
        QFile::remove(temporary);
        return false;
    }
    file.close();
    if (std::rename(QFile::encodeName(temporary).constData(),
                    QFile::encodeName(filePath_).constData()) != 0) {
        LogMessage("save known cameras %s failed: cannot replace it\n", qPrintable(filePath_));
        QFile::remove(temporary);
        return false;
    }
    const QFileInfo info(filePath_);
    loadedSize_ = info.size();
    loadedTime_ = info.lastModified();
    return true;
}

KnownCameras::Verdict KnownCameras::Check(const std::string& serial, const std::string& keyHex) {
    std::lock_guard lock(mutex_);
    Reload();
    const auto it = keys_.find(serial);
    if (it != keys_.end())
        return it->second == keyHex ? Verdict::kMatches : Verdict::kChanged;
    keys_[serial] = keyHex;
    if (!Save())
        loadedSize_ = -2;  // read the file again next time rather than trust this table
    LogMessage("camera %s: key pinned on first contact\n", serial.c_str());
    return Verdict::kFirstContact;
}

bool KnownCameras::Trust(const std::string& serial, bool* wasKnown) {
    std::lock_guard lock(mutex_);
    Reload();
    *wasKnown = keys_.erase(serial) > 0;
    if (!*wasKnown)
        return true;
    LogMessage("camera %s: pinned key forgotten; the next contact pins its key\n", serial.c_str());
    return Save();
}

std::string KnownCameras::KeyOf(const std::string& serial) {
    std::lock_guard lock(mutex_);
    Reload();
    const auto it = keys_.find(serial);
    return it != keys_.end() ? it->second : std::string();
}

}  // namespace camfleet
