#pragma once
// Firmware upgrades of logged-in cameras and the two maintenance actions built on the same
// step: clearing a camera's custom configuration (a special firmware file from the tool's
// own folder) and the custom model (a one-line configuration file that makes a camera report
// another model name).
//
// Road of an upgrade: the per-device step starts the SDK's upload (the row shows "MSGTIP29"
// and its record's upgrading flag is set); events 54/55 move the job on (the session tracker
// shows "UPLOAD: nn%"); event 14 means the camera took the image and restarts ("MSG_UPGRADE"),
// event 15 that it did not ("MSGTIP7"). The job then waits for the camera to come back: the
// version query of its next login tells the version it now runs. A camera that reports no
// progress for the deadline (10 minutes unless set) ends with "MSGTIP7", so a silent camera
// never holds up the run.
//
// The upgrade watch ticks every second while a run is on: it ends overdue jobs and, through
// the session tracker, clears the upgrade-running flag once no row is upgrading.
//
// Thread: the list's (UI) thread. The custom model's uploads wait for the camera's verdict
// and run as jobs of the worker pool; their results come back on this thread.

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "devicelist/device_list_model.h"
#include "operations/answer_router.h"
#include "operations/custom_model_file.h"
#include "operations/prompt.h"
#include "operations/session_tracker.h"
#include "operations/worker.h"
#include "resources/display_strings.h"

namespace camfleet {

inline constexpr char kCleanCustomFirmware[] = "firmware_clean_all_cust.bin";
inline constexpr const char* kUpgradeRunningKey = DisplayKey("MSGTIP37");
inline constexpr const char* kFirmwareMissingKey = DisplayKey("MSGTIP27");
inline constexpr const char* kNoUpgradeTargetKey = DisplayKey("MSGTIP24");
inline constexpr const char* kNoDirectoryKey = DisplayKey("TEXT20");
inline constexpr const char* kUpgradeStartedKey = DisplayKey("MSGTIP29");
inline constexpr const char* kUpgradeNotStartedKey = DisplayKey("MSGTIP30");
inline constexpr const char* kUpgradeFailedKey = DisplayKey("MSGTIP7");
inline constexpr const char* kUpgradeDoneKey = DisplayKey("MSG_UPGRADE");
inline constexpr const char* kNoTargetKey = DisplayKey("MSGTIP13");
inline constexpr const char* kEmptyModelKey = DisplayKey("BATCH_EMPTY_DEVICETYPE");
inline constexpr const char* kConfigNotConnectedKey = DisplayKey("MSGTIP20");
inline constexpr const char* kConfigTakenKey = DisplayKey("MSGTIP32");
inline constexpr const char* kConfigRefusedKey = DisplayKey("MSGTIP31");

// The device SDK's calls the operation makes, replaceable in tests.
struct UpgradeCalls {
    std::function<int(int handle, const QString& path)> upgrade;  // 0 = started
    std::function<int(int handle)> progress;                      // percentage
    // Blocks until the camera took the file (0) or refused it; runs on a worker thread.
    std::function<int(int handle, const QString& path)> setConfigFile;
};
// QV_NETSDK_IPC_Upgrade, QV_NETSDK_IPC_GetUpgradeProgress and QV_NETSDK_IPC_SetConfigFile.
UpgradeCalls SdkUpgradeCalls();

enum class UpgradeKind {
    kFirmware,     // file or directory upgrade
    kClearCustom,  // firmware_clean_all_cust.bin
    kCustomModel,  // devicetype.oem set or removed
};

// The job of one camera. Its phase is the row's job state of OperationKind::kUpgrade:
//   kPending  the upload started; nothing heard yet
//   kRunning  progress came (percent)
//   kDone     the camera took it: event 14 (it restarts), or the custom-model file was taken
//   kFailed   not started, refused (15), silent past the deadline, or the file was refused
struct UpgradeJob {
    UpgradeKind kind = UpgradeKind::kFirmware;
    QString path;
    QString oldVersion;  // the firmware version when the job started
    QString version;     // the version it runs once it came back after its restart
    JobPhase phase = JobPhase::kPending;
    int percent = 0;
    const char* failKey = nullptr;  // kFailed: the state key
    int64_t startedMs = 0;
    int64_t lastMoveMs = 0;  // start or the last progress
    int64_t endedMs = 0;     // done or failed
    bool returned = false;   // logged in again after the restart, version known
    int64_t returnedMs = 0;
};

class FirmwareUpgrade : public QObject {
    Q_OBJECT

public:
    static constexpr int kWatchPeriodMs = 1000;
    static constexpr int64_t kDefaultDeadlineMs = 10 * 60 * 1000;

    // All must outlive the object. Without `manualWatch` a timer ticks the watch.
    FirmwareUpgrade(DeviceListModel* model, AnswerRouter* router, SessionTracker* tracker,
                    WorkerPool* pool, UpgradeCalls calls = SdkUpgradeCalls(),
                    bool manualWatch = false, QObject* parent = nullptr);
    ~FirmwareUpgrade() override;

    // Milliseconds of a steady clock (tests move it by hand).
    void SetClock(std::function<int64_t()> nowMs) { now_ = std::move(nowMs); }
    // How long a camera may stay without progress before its upgrade counts as failed.
    void SetDeadline(int64_t ms) { deadlineMs_ = ms; }
    // The folder of firmware_clean_all_cust.bin (the program's own by default).
    void SetToolDirectory(const QString& folder) { toolDirectory_ = folder; }
    // The custom model text that event 24 applies (the window's edit 1051); empty: none.
    void SetAutomaticModelSource(std::function<QString()> source) {
        automaticModel_ = std::move(source);
    }
    // Where the custom-model file's private folder is made (the temporary folder when empty).
    void SetTemporaryParent(const QString& parent) { temporaryParent_ = parent; }

    // ---- Commands (rows: the ticked rows in the window, the chosen rows in the CLI) -----
    // Upgrades `rows` with one file. False when it did not start a run (a box said why).
    bool UpgradeFile(const QString& path, const std::vector<int>& rows, Prompt& prompt);
    // Upgrades each row with the newest file of `directory` that fits its model.
    bool UpgradeDirectory(const QString& directory, const std::vector<int>& rows, Prompt& prompt);
    // The per-device step with firmware_clean_all_cust.bin of the tool's folder.
    bool ClearCustomConfiguration(const std::vector<int>& rows, Prompt& prompt);
    // Sets (the trimmed text) or removes the custom model of `rows`.
    bool SetCustomModel(const QString& text, const std::vector<int>& rows, Prompt& prompt);
    bool RemoveCustomModel(const std::vector<int>& rows, Prompt& prompt);

    // ---- Watch ----------------------------------------------------------------------------
    // One tick: overdue jobs fail, and the run ends when no row is upgrading.
    void WatchTick();
    bool WatchActive() const { return watchActive_; }

    // ---- Jobs -----------------------------------------------------------------------------
    const UpgradeJob* Job(const std::string& key) const;
    const std::map<std::string, UpgradeJob>& Jobs() const { return jobs_; }
    // Every job is done or failed; with `andReturned` a done firmware job also waits until
    // its camera came back (or failed to within `returnMs` of its restart).
    bool AllFinished(bool andReturned = false, int64_t returnMs = 0) const;
    void ClearJobs() { jobs_.clear(); }
    // Custom-model uploads still running.
    int UploadsRunning() const { return uploadsRunning_; }

signals:
    // A job changed (progress, end, return).
    void jobChanged(int row);

private:
    int64_t Now() const { return now_(); }
    // The per-device step; false when no upload was started for the row.
    bool Step(int row, const QString& path, UpgradeKind kind);
    bool StartRun(const std::vector<int>& rows, Prompt& prompt, bool watch);
    bool UploadModelFile(CustomModelAction action, const QString& text,
                         const std::vector<int>& rows, Prompt& prompt);
    void UploadModelFileTo(int row, std::shared_ptr<CustomModelFile> file);
    void Fail(int row, UpgradeJob& job, const char* key);
    void OnEvent(const StatusMessage& message);
    void OnVersion(const ResponseMessage& message);
    void OnCustomModelRequest(const StatusMessage& message);
    void StartWatch();
    UpgradeJob* JobOfRow(int row);

    DeviceListModel* model_;
    AnswerRouter* router_;
    SessionTracker* tracker_;
    WorkerPool* pool_;
    UpgradeCalls calls_;
    bool manualWatch_;
    std::function<int64_t()> now_;
    int64_t deadlineMs_ = kDefaultDeadlineMs;
    QString toolDirectory_;
    QString temporaryParent_;
    std::function<QString()> automaticModel_;
    std::map<std::string, UpgradeJob> jobs_;  // by the row's key
    QTimer watch_;
    bool watchActive_ = false;
    int uploadsRunning_ = 0;
    Subscription events_;
    Subscription customModel_;
    Subscription versions_;
    // Watched by the upload jobs' results: a result that arrives after this object went is
    // dropped.
    std::shared_ptr<const int> alive_ = std::make_shared<const int>(0);
};

}  // namespace camfleet
