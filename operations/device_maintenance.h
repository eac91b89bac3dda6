#pragma once
// Maintenance of listed cameras: reboot, factory restore, time synchronisation, the admin
// password and the interface language.
//
// Reboot and restore reach a camera twice: through its SDK session when it has one, then by
// the discovery datagram, which finds it by serial number even without a login. The SDK's
// reboot, restore and system commands wait for the camera's answer (up to 3 s each), so they
// run as jobs of the worker pool and their results come back on the list's thread; the
// datagram follows each camera's SDK step. Password and language are configuration writes:
// the SDK queues them at once and the camera's answer reaches the state column through the
// session tracker ("SET_OK" / "SET_FAILED"); only a write the SDK refuses shows its key here.
//
// Each camera's job is the row's job state of OperationKind::kMaintenance.
//
// Thread: the list's (UI) thread.

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "devicelist/device_list_model.h"
#include "discovery/device_table.h"
#include "operations/answer_router.h"
#include "operations/prompt.h"
#include "operations/worker.h"
#include "resources/display_strings.h"

namespace camfleet {

// The device SDK's calls, replaceable in tests. The first three block until the camera
// answered and run on worker threads.
struct MaintenanceCalls {
    std::function<int(int handle)> reboot;
    std::function<int(int handle)> restore;
    std::function<int(int handle, int code, const std::string& text)> systemControl;
    std::function<int(int handle, int code, const std::string& document)> setConfig;  // queued
    std::function<int(int handle, int command, int preset)> ptzPreset;                // blocks
};
// QV_NETSDK_IPC_RebootDVR, RestoreConfig, SystemControl and SetDVRConfig (channel 0).
MaintenanceCalls SdkMaintenanceCalls();

// The time text of system command 1005: the local date and time and the zone as the cameras
// count it, minutes east of UTC plus 720 (UTC is 720, GMT+8 1200, GMT-5 420).
std::string TimeSyncText(const QDateTime& local);
// The admin account document of a password change, the password attribute-escaped.
std::string PasswordDocument(const QString& password);
// The language document: "en_us", "zh_cn" or "zh_tw".
std::string LanguageDocument(const char* language);

// The video codec document: both streams get the codec and default encoding values, each
// attribute on the stream's element, one element per line indented with a tab.
std::string VideoTypeDocument(const char* codec);
// The P2P service document: enabled (1) or not (0), type 0.
std::string P2pDocument(bool enable);
// The IO output text of system command 1042 (attributes separated by a blank).
std::string IoOutputText(int output);
// The text of system command 1094: mode 0 turns the factory mode on, 1 off.
std::string FactoryModeText(int mode);
// The pixel maintenance summary: "[200 preset ptz] <SUCCEED_SET_NUM>3".
QString PixelSummaryText(int preset, int succeeded);

// The snapshot request of system command 1043 (attributes separated by a blank).
std::string SnapshotText();

// Presets of pixel maintenance (PTZ preset command 8).
inline constexpr int kPixelScanPreset = 200;
inline constexpr int kPixelSavePreset = 201;

enum class Language { kEnglish, kSimplifiedChinese, kTraditionalChinese };
enum class VideoType { kH264, kH265, kH265Plus };
const char* VideoTypeName(VideoType type);  // "H264", "H265", "H265+"
const char* LanguageCode(Language language);

// How a command picks its cameras, as the window's buttons and context items differ.
enum class MaintenanceForm {
    kTicked,    // the batch button: ticked rows, with its confirmation
    kSelected,  // the context item: the selected row
    kScripted,  // the command line: the rows given, confirmed by the caller
};

class DeviceMaintenance : public QObject {
    Q_OBJECT

public:
    // All must outlive the object.
    // With a router, the password and language jobs end with the camera's answer to the
    // write (done for status 0, failed with "SET_FAILED" otherwise); without one they end
    // when the SDK queued the write.
    DeviceMaintenance(DeviceListModel* model, DeviceTable* table, WorkerPool* pool,
                      MaintenanceCalls calls = SdkMaintenanceCalls(),
                      AnswerRouter* router = nullptr, QObject* parent = nullptr);
    ~DeviceMaintenance() override;

    // Local time for time synchronisation (tests set it).
    void SetClock(std::function<QDateTime()> now) { now_ = std::move(now); }

    // Each returns false when it was refused or not confirmed as a whole (nothing sent).
    bool Reboot(const std::vector<int>& rows, MaintenanceForm form, Prompt& prompt);
    bool Restore(const std::vector<int>& rows, MaintenanceForm form, Prompt& prompt);
    // The hidden batch restore (12): system command 1002 and then the SDK's reboot on each
    // ticked camera, after the question ("MSGTIP44" when the restore fails, "MSGTIP35" when
    // the reboot does; success leaves the row's text).
    bool RestoreThenReboot(const std::vector<int>& rows, Prompt& prompt);
    bool SyncTime(const std::vector<int>& rows, Prompt& prompt);
    // The password dialog's two texts must match ("MSGTIP51" otherwise).
    bool SetPassword(const std::vector<int>& rows, const QString& password, const QString& repeat,
                     Prompt& prompt);
    bool SetLanguage(const std::vector<int>& rows, Language language, MaintenanceForm form,
                     Prompt& prompt);
    bool SetVideoType(const std::vector<int>& rows, VideoType type, MaintenanceForm form,
                      Prompt& prompt);
    // Switches the cameras' P2P service on or off ("SET_FAILED" when the SDK refuses).
    bool SetP2p(const std::vector<int>& rows, bool enable, Prompt& prompt);
    // Output 0 or 1 of the cameras' alarm output.
    bool SetIoOutput(const std::vector<int>& rows, int output, Prompt& prompt);
    // The cameras' factory mode on or off: system command 1094, then the discovery mode
    // datagram (three times) to each camera the command reached. A failure is logged; the
    // row keeps its text.
    bool SetFactoryMode(const std::vector<int>& rows, bool enable, MaintenanceForm form,
                        Prompt& prompt);
    // Scans (kPixelScanPreset) or saves (kPixelSavePreset) the sensor's defective pixels;
    // when every camera answered, a box tells how many succeeded.
    bool PixelMaintenance(const std::vector<int>& rows, int preset, Prompt& prompt);
    // Asks each camera for a snapshot: "SNAPPIC" and a pending snapshot when it took the
    // request, "SNAPPIC_REQFAIL" when not; a camera whose snapshot is still awaited shows
    // "SNAPPING_WAIT" and gets no new request. The picture comes with the camera's alarm
    // (PictureDownloads); the session tracker's watch shows "SNAPPING_TIMEOUT" after 5 s.
    bool Snapshot(const std::vector<int>& rows, MaintenanceForm form, Prompt& prompt);

    // Jobs waiting for a worker's result.
    int Running() const { return running_; }
    // The job state of each camera asked for since the last ClearJobs, by the row's key.
    const std::map<std::string, JobState>& Jobs() const { return jobs_; }
    void ClearJobs() { jobs_.clear(); }

signals:
    void jobChanged(int row);

private:
    void SetJob(int row, JobPhase phase, const char* key);
    void SetJobByKey(const std::string& key, JobPhase phase, const char* stateKey);
    void FinishQuietly(const std::string& key);
    void SendSystemCommand(const std::vector<int>& rows, int code, const std::string& text,
                           const char* notConnectedKey, const char* failKey);
    // Runs `call` on a worker, then `then(result)` on this thread with the row's key.
    void RunBlocking(int row, std::function<int()> call,
                     std::function<void(const std::string& key, int result)> then);
    bool SendDiscoveryReboot(const std::string& key);  // false: not sent
    bool SendDiscoveryRestore(const std::string& key);
    void SendDiscoveryMode(const std::string& key, int mode);
    bool WriteDocument(const std::vector<int>& rows, int code, const std::string& document,
                       const char* failKey);

    DeviceListModel* model_;
    DeviceTable* table_;
    WorkerPool* pool_;
    MaintenanceCalls calls_;
    std::function<QDateTime()> now_;
    void OnWriteAnswer(const ResponseMessage& message);

    std::map<std::string, JobState> jobs_;
    std::map<std::string, int> writes_;  // by the row's key: the write code awaiting its answer
    int running_ = 0;
    Subscription answers_;
    std::shared_ptr<const int> alive_ = std::make_shared<const int>(0);
};

}  // namespace camfleet
