#include "operations/picture_downloads.h"

#include <QDir>
#include <QHostAddress>
#include <QStandardPaths>

#include <algorithm>
#include <cstring>

#include "device/codes.h"
#include "device/sdk/control_protocol.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "device/xml_messages.h"
#include "resources/display_strings.h"
#include "resources/log.h"

namespace camfleet {

namespace {

constexpr const char* kAlarmPictureTags[] = {"@@alarmjpg1=", "@@alarmjpg2="};

QString FieldText(const char* field, std::size_t size) {
    return QString::fromUtf8(field, static_cast<qsizetype>(strnlen(field, size)));
}

// The camera-side path after `tag` in an alarm text, up to the next "@@" or the end.
QString PathAfter(const QString& text, const QString& tag) {
    const qsizetype at = text.indexOf(tag);
    if (at < 0)
        return {};
    const qsizetype from = at + tag.size();
    const qsizetype end = text.indexOf(QStringLiteral("@@"), from);
    return text.mid(from, end < 0 ? -1 : end - from).trimmed();
}

}  // namespace

GetFileCall SdkGetFileCall() {
    return [](int handle, const std::string& name, const std::string& path) {
        return QV_NETSDK_IPC_GetFileByName(handle, 1, name.c_str(), path.c_str());
    };
}

QString DefaultSnapshotFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
        .filePath(QStringLiteral("snap"));
}

QString SafePictureName(const QString& cameraPath) {
    const qsizetype cut = std::max(cameraPath.lastIndexOf('/'), cameraPath.lastIndexOf('\\'));
    const QString name = cameraPath.mid(cut + 1);
    if (name.isEmpty() || name == "." || name == ".." || name.size() > 255)
        return {};
    // Control characters, and what Windows does not take in a file name (':' would name a
    // drive or a stream there).
    for (const QChar c : name)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || QStringLiteral("<>:\"|?*").contains(c))
            return {};
    return name;
}

bool IsDottedAddress(const QString& text) {
    QHostAddress address;
    return address.setAddress(text) && address.protocol() == QAbstractSocket::IPv4Protocol &&
           address.toString() == text;
}

PictureDownloads::PictureDownloads(DeviceListModel* model, AnswerRouter* router, QString folder,
                                   GetFileCall getFile)
    : model_(model),
      folder_(std::move(folder)),
      getFile_(std::move(getFile)),
      now_([] { return QDateTime::currentDateTime(); }) {
    alarms_ = router->OnEvent(kEventAlarm, AnswerRouter::kAnyHandle,
                              [this](const StatusMessage& m) { OnAlarm(m); });
    done_ = router->OnEvent(kEventFileDone, AnswerRouter::kAnyHandle,
                            [this](const StatusMessage& m) { OnFileEvent(m, true); });
    failed_ = router->OnEvent(kEventFileFailed, AnswerRouter::kAnyHandle,
                              [this](const StatusMessage& m) { OnFileEvent(m, false); });
}

int PictureDownloads::Running() const {
    int count = 0;
    for (const Download& d : downloads_)
        count += d.state == State::kRunning ? 1 : 0;
    return count;
}

void PictureDownloads::OnAlarm(const StatusMessage& m) {
    QV_ALARM_INFO alarm;
    if (m.size != sizeof alarm)
        return;
    std::memcpy(&alarm, m.payload, sizeof alarm);
    const int row = model_->FindRowByHandle(m.handle);
    if (row < 0)
        return;
    const QString text = FieldText(alarm.alarmText, sizeof alarm.alarmText);
    if (alarm.alarmType == QV_ALARM_SNAPSHOT) {
        Fetch(row, text.trimmed(), {});
        return;
    }
    const QString stamp = now_().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int i = 0; i < 2; ++i) {
        const QString path = PathAfter(text, QString::fromLatin1(kAlarmPictureTags[i]));
        if (!path.isEmpty())
            Fetch(row, path, QStringLiteral("alarmjpg%1_%2.jpg").arg(i + 1).arg(stamp));
    }
}

bool PictureDownloads::Refuse(int row, const char* why, const QString& what) {
    LogMessage("picture download refused: %s \"%s\"\n", why, qPrintable(what));
    model_->SetStateKey(row, DisplayKey("FILEDOWN_REQFAIL"));
    return false;
}

bool PictureDownloads::Fetch(int row, const QString& cameraPath, const QString& localName) {
    const DeviceRecord* record = model_->Record(row);
    if (record == nullptr)
        return false;
    if (record->loginHandle <= 0) {
        model_->SetStateKey(row, DisplayKey("MSGTIP21"));
        return false;
    }
    const QString name = localName.isEmpty() ? SafePictureName(cameraPath) : localName;
    if (name.isEmpty())
        return Refuse(row, "the camera's file name", cameraPath);
    const QString ip =
        FieldText(record->answer.network.ipAddress, sizeof record->answer.network.ipAddress);
    if (!IsDottedAddress(ip))
        return Refuse(row, "the camera's address", ip);
    const QString folder = QDir(folder_).filePath(ip);
    if (!QDir().mkpath(folder))
        return Refuse(row, "cannot create", folder);
    const QString path = QDir(folder).filePath(name);
    const int result = getFile_(record->loginHandle, cameraPath.toStdString(),
                                QDir::toNativeSeparators(path).toStdString());
    if (result != 0) {
        model_->SetStateKey(row, DisplayKey("FILEDOWN_REQFAIL"));
        return false;
    }
    model_->SetStateKey(row, DisplayKey("FILEDOWNLOADDING"));
    downloads_.push_back({record->key, QDir::toNativeSeparators(path), State::kRunning});
    return true;
}

void PictureDownloads::OnFileEvent(const StatusMessage& m, bool done) {
    const std::string text(m.payload, strnlen(m.payload, sizeof m.payload));
    const auto attributes = sdk::ReadAttributes(text);
    const auto it = attributes.find("LocalFileName");
    if (it == attributes.end())
        return;
    // The SDK prints the path attribute-escaped; the lenient reader leaves it so.
    for (Download& d : downloads_)
        if (d.state == State::kRunning && EscapeAttribute(d.path.toStdString()) == it->second) {
            d.state = done ? State::kDone : State::kFailed;
            return;
        }
}

}  // namespace camfleet
