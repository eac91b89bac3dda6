#pragma once
// Whole configuration files between the PC and logged-in cameras, and the default
// configuration pushed to cameras after their login.
//
// - Download: the camera's configuration goes to "<folder>/config_<serial>_<ip>.xml". The
//   SDK reports the finished file with event 16 (or 17) naming the local path; only a path
//   this operation asked for on that login handle is taken, then printed again in the tool's
//   XML form through a temporary file and a rename. A file that is not well-formed XML is
//   kept as received (and logged), never deleted. Serial and address come from the network:
//   ConfigFileName keeps them from naming anything outside the folder.
// - Upload: the chosen file goes to each camera as it is (QV_NETSDK_IPC_SetConfigFile, which
//   waits for the camera's verdict and so runs as a job of the worker pool).
// - Default configuration: a file that passes the configuration check becomes the default;
//   choosing one empties the table of cameras that had one and sends it to every listed
//   camera. After each login of a "DIR-OVADU" camera it is sent again unless that camera
//   confirmed it (state 2). Each send makes "config.defaut.xml" (SET_OEM_DEFAULT_CONFIG="1")
//   in a private temporary folder of its own, removed when that upload ends, so uploads still
//   reading an earlier default never see the next one.
// - A camera confirms its default configuration with status event 14. An event 14 whose
//   document is an upgrade report (root `Upgrade`) is the end of a firmware upgrade and
//   confirms nothing.
//
// Thread: the list's (UI) thread. The model, the router and the pool outlive the operation.

#include <QString>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "devicelist/device_list_model.h"
#include "operations/answer_router.h"
#include "operations/subscription.h"
#include "operations/worker.h"

namespace camfleet {

// The SDK calls of the operation; replaceable in tests.
struct ConfigFileCalls {
    // QV_NETSDK_IPC_GetConfigFile: 0 = the download started.
    std::function<int(int handle, const std::string& path)> download;
    // QV_NETSDK_IPC_SetConfigFile: 0 = the camera took the file. Blocks for the transfer.
    std::function<int(int handle, const std::string& path)> upload;
};
ConfigFileCalls SdkConfigFileCalls();

// The default download folder: the documents folder (CommonDocumentsFolder) +
// "/camfleet/config".
QString DefaultConfigFolder();

// "config_<serial>_<ip>.xml". A serial that is not made of [A-Za-z0-9._-] only (or is empty,
// "." or "..") and an IP that is not a dotted IPv4 address have every byte outside that set
// (for "." and "..": every byte) replaced by '_'.
QString ConfigFileName(const QString& serial, const QString& ip);

class ConfigTransfer {
public:
    enum class Kind { kDownload, kUpload, kDefault };
    enum class State { kRunning, kDone, kFailed };
    struct Job {
        std::string key;  // the row's key (serial number)
        Kind kind;
        int handle = 0;
        QString path;  // download: the local file; uploads: the file sent
        State state = State::kRunning;
        bool received = false;  // download: the SDK reported the file; it is printed again
    };
    // Default-configuration table states.
    static constexpr int kDefaultSent = 1;
    static constexpr int kDefaultConfirmed = 2;

    ConfigTransfer(DeviceListModel* model, AnswerRouter* router, WorkerPool* pool, QString folder,
                   ConfigFileCalls calls = SdkConfigFileCalls());
    ConfigTransfer(const ConfigTransfer&) = delete;
    ConfigTransfer& operator=(const ConfigTransfer&) = delete;

    // Download of each row's configuration: a logged-in row without a handle shows "MSGTIP21";
    // a download "MSGTIP18", and "MSGTIP33" when the SDK refused to start it (the SDK calls run
    // on the worker pool). Returns the number asked for.
    int Download(const std::vector<int>& rows);
    // Upload of `path` to each row: without a handle "MSGTIP20"; started "MSGTIP32"; refused
    // or failed "MSGTIP31" (the camera's own events 16 and 17 show as well). Returns the
    // number started.
    int Upload(const std::vector<int>& rows, const QString& path);

    // The default configuration: false when `path` fails the configuration check (nothing
    // changes); else it becomes the default, the table is emptied and every row gets it.
    bool ChooseDefault(const QString& path);
    const QString& DefaultPath() const { return defaultPath_; }
    // The per-device step (also after the login of a "DIR-OVADU" camera): true when an upload
    // started. A confirmed camera, a default path that fails the check, a camera not logged
    // in or without a handle get none.
    bool PushDefault(int row);
    // 0 (none), kDefaultSent or kDefaultConfirmed for a serial number.
    int DefaultState(const std::string& serial) const;

    const std::vector<Job>& Jobs() const { return jobs_; }
    int Running() const;

private:
    int StartUpload(int row, int handle, const QString& path, Kind kind,
                    std::shared_ptr<void> keepAlive);
    void OnFileEvent(const StatusMessage& m, bool done);
    void OnConfirmed(const StatusMessage& m);
    void Finish(std::size_t job, bool ok);

    DeviceListModel* model_;
    WorkerPool* pool_;
    QString folder_;
    ConfigFileCalls calls_;
    QString defaultPath_;
    std::map<std::string, int> defaultStates_;  // serial -> kDefaultSent / kDefaultConfirmed
    std::vector<Job> jobs_;
    Subscription done_;
    Subscription failed_;
    Subscription confirmed_;
    // Watched by the upload jobs' results: a result after the operation went is dropped.
    std::shared_ptr<const int> alive_ = std::make_shared<const int>(0);
};

}  // namespace camfleet
