#pragma once
// Pictures the cameras name in their alarms, fetched into the snapshot folder: a snapshot's
// result (alarm of kind 23) under the picture's own file name, and the alarm pictures a text
// names with "@@alarmjpg1=" or "@@alarmjpg2=" under "alarmjpg1_<time>.jpg" or
// "alarmjpg2_<time>.jpg" (the PC's local time, "YYYYMMDD-hhmmss").
//
// Each picture goes to <folder>/<camera's IP address>/<file name>. The names come from the
// camera and are not trusted: the IP address must be a dotted IPv4 address and the file name
// the last part of the camera's path, neither empty, "." nor "..", without a separator, a
// control character or a character Windows refuses in file names; anything else is refused with
// "FILEDOWN_REQFAIL" and logged, so no picture ever lands outside its folder.
//
// The SDK reports the end of each download with event 16 or 17; Downloads() keeps what
// became of each picture asked for (the command line waits on it).
//
// Thread: the list's (UI) thread.

#include <QDateTime>
#include <QString>

#include <functional>
#include <map>
#include <string>

#include "devicelist/device_list_model.h"
#include "operations/answer_router.h"
#include "operations/subscription.h"

namespace camfleet {

// QV_NETSDK_IPC_GetFileByName(handle, 1, name, path) in production; replaceable in tests.
using GetFileCall =
    std::function<int(int handle, const std::string& name, const std::string& path)>;
GetFileCall SdkGetFileCall();

// The default folder: the user's documents folder + "/snap".
QString DefaultSnapshotFolder();

// The file-name part of a camera's path (after the last '/' or '\'), or "" when it may not
// name a local file.
QString SafePictureName(const QString& cameraPath);
// true for a dotted IPv4 address as the list shows it ("192.168.1.20").
bool IsDottedAddress(const QString& text);

class PictureDownloads {
public:
    enum class State { kRunning, kDone, kFailed };
    struct Download {
        std::string key;  // the row's key
        QString path;     // local file
        State state = State::kRunning;
    };

    PictureDownloads(DeviceListModel* model, AnswerRouter* router, QString folder,
                     GetFileCall getFile = SdkGetFileCall());

    // PC local time for alarm pictures' names (tests set it).
    void SetClock(std::function<QDateTime()> now) { now_ = std::move(now); }

    // Fetches `cameraPath` of the camera in `row` under `localName` (empty: the path's own
    // file name); the state column shows "FILEDOWNLOADDING", "FILEDOWN_REQFAIL" or, without a
    // handle, "MSGTIP21". false when nothing started.
    bool Fetch(int row, const QString& cameraPath, const QString& localName);

    const std::vector<Download>& Downloads() const { return downloads_; }
    int Running() const;

private:
    void OnAlarm(const StatusMessage& m);
    void OnFileEvent(const StatusMessage& m, bool done);
    bool Refuse(int row, const char* why, const QString& what);

    DeviceListModel* model_;
    QString folder_;
    GetFileCall getFile_;
    std::function<QDateTime()> now_;
    std::vector<Download> downloads_;
    Subscription alarms_;
    Subscription done_;
    Subscription failed_;
};

}  // namespace camfleet
