#pragma once
// Serves the camera-control protocol (docs/camera-protocol.md) for any number of simulated
// cameras, each listening on its own address and SDK port, from one thread with poll.
//
// Threads: AddCamera, Start, Stop and the test controls run on any thread; the server thread
// owns the sockets. `mutex_` guards every member below it; the thread drops it while
// polling. Test controls never touch a socket: they leave work for the thread and wake it.

#include <chrono>
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "device/sdk/bulk_protocol.h"
#include "device/sdk/control_frame.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "device/sdk/socket_util.h"
#include "sim/control_camera.h"
#include "sim/control_limits.h"

namespace camfleet::sim {

// The payload camfleet-sim --event sends with status event `type`: for a fixed-record type a
// record of its size (an alarm of kind 0 at the local time of `now` with the text
// "camfleet-sim alarm", the other records zero-filled), else an empty text.
std::string SampleEventPayload(int type, std::time_t now);
// An alarm record of `alarmType` at the local time of `when` with `text` (cut to fit).
QV_ALARM_INFO LabAlarm(int alarmType, std::time_t when, const std::string& text);

// The configuration upload that sets or removes a camera's OEM model (one line,
// "SET_OEM_DEVTYPE_FLAG=MODEL" or "DEL_OEM_DEVTYPE_FLAG="), and the firmware upload name whose
// valid image clears the camera's custom configuration instead of installing anything.
inline constexpr char kDeviceTypeFileName[] = "devicetype.oem";
inline constexpr char kCleanFirmwareName[] = "firmware_clean_all_cust.bin";

class ControlServer {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kMaxSessionsPerCamera = 64;
    // A firmware write's duration and the downtime after it, unless SetFirmwareTiming says
    // otherwise.
    static constexpr std::chrono::milliseconds kFirmwareWriteTime{1000};
    static constexpr std::chrono::milliseconds kFirmwareRebootTime{2000};

    ControlServer();
    ~ControlServer();  // Stop()
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Listens for one camera at identity.ipAddress:identity.sdkPort. Returns its id (0, 1, ...)
    // or -1 with `error` set. Cameras may be added before or after Start.
    int AddCamera(const ControlIdentity& identity, ControlCallbacks callbacks, std::string* error);
    // Cameras of a LAN lab live in another network namespace: set it before the first
    // AddCamera; listeners are then made inside it and the server thread enters it.
    void SetNetworkNamespace(int namespaceFd);
    void Start();
    void Stop();  // closes every socket; idempotent
    // The camera moved to `ip` (discovery set-network): sessions close, it listens there.
    void MoveCamera(int id, const std::string& ip);

    uint16_t Port(int id) const;  // the port the camera listens on
    int CameraCount() const;

    // ---- Test controls (id of a camera) ---------------------------------------------------
    void SetRefuseLogins(int id, bool refuse);  // answer every login with status 5
    void DropSessions(int id);                  // close every session now
    void SetAnswerDelay(int id, std::chrono::milliseconds delay);
    void SetLoseAnswers(int id, bool lose);                        // device commands get no answer
    void SetFailStatus(int id, int32_t status);                    // device commands fail (0 = off)
    void SetRestartTime(int id, std::chrono::milliseconds time);   // reboot/restore downtime
    void EmitEvent(int id, int type, const std::string& payload);  // to every logged-in session
    void EmitAlarm(int id, const QV_ALARM_INFO& alarm);            // event 23 with the record
    void SetPassword(int id, const std::string& password);         // changed on the camera
    // Replaces the limits of sim/control_limits.h (tests shorten the times).
    void SetLimits(const ControlLimits& limits);
    // The camera gets another long-term key (a replaced camera with the same serial number):
    // generation 0 is its own, every other number a different key. Sessions stay.
    void SetKeyGeneration(int id, int generation);

    // Bulk-data faults of camera `id`: `stall` stops it reading and sending on its bulk
    // connections; `closeAfterBytes` >= 0 closes a bulk connection once that many file bytes
    // have crossed it.
    struct BulkFault {
        bool stall = false;
        int64_t closeAfterBytes = -1;
    };
    void SetBulkFault(int id, BulkFault fault);
    // A file the camera serves for download under `name` (purpose "file").
    void PutFile(int id, const std::string& name, std::string bytes);
    // Snapshots (system command 1043): the camera takes a picture (sim/snapshot_picture.h),
    // keeps it for download and names it in an alarm of kind 23 to the session that asked,
    // right after the answer. With a name set here the alarm names that text instead (a
    // hostile camera's path) and the picture is kept under it; "" restores its own names.
    void SetSnapshotName(int id, const std::string& name);
    int SnapshotCount(int id) const;
    // The names of the files camera `id` serves, in order.
    std::vector<std::string> FileNames(int id) const;

    // Default configurations (a config upload whose root has SET_OEM_DEFAULT_CONFIG="1"):
    // camera `id` confirms each one it applied with status event 14 to the uploading session,
    // unless `confirm` is false; it applies them either way.
    void SetConfirmDefaultConfig(int id, bool confirm);

    // Firmware upgrade of camera `id`: how long the write phase after an accepted image lasts
    // and how long the camera is down after it (kFirmwareWriteTime, kFirmwareRebootTime).
    void SetFirmwareTiming(int id, std::chrono::milliseconds writeTime,
                           std::chrono::milliseconds rebootTime);
    // Firmware faults of camera `id` (-1 / false: off):
    // - failAtPercent N (0 to 100): the write stops at N %: event 15, no reboot, old version;
    // - dropAtPercent N (0 to 100): once the transfer took N % of the announced size, every
    //   session of the camera closes (the bulk connection with them); no reboot;
    // - neverFinish: the write reports progress up to 50 % and then nothing, until every
    //   session of the camera has gone; the camera keeps its old version.
    struct FirmwareFault {
        int failAtPercent = -1;
        int dropAtPercent = -1;
        bool neverFinish = false;
    };
    void SetFirmwareFault(int id, FirmwareFault fault);

    // ---- Inspection ---------------------------------------------------------------------
    int SessionCount(int id) const;  // logged-in sessions
    int LoginCount(int id) const;    // successful logins so far
    int RestartCount(int id) const;
    std::string Document(int id, int code) const;
    std::string LastControl(int id, int code) const;
    std::string Password(int id) const;
    int UnauthenticatedCount(int id) const;  // connections of camera `id` not logged in
    int AcceptPauses() const;                // times accepting rested for want of descriptors
    std::size_t LargestQueue() const;        // most unsent bytes any session has had
    std::string PublicKey(int id) const;     // hex
    // The last file camera `id` accepted for `purpose`. Firmware streams through the image
    // check and is never kept: its record has the name, size and digest, no bytes.
    struct StoredFile {
        std::string name;
        uint64_t size = 0;
        std::string digest;  // SHA-256, hex (of the bytes, or of the image streamed through)
        std::string bytes;
    };
    std::optional<StoredFile> UploadedFile(int id, sdk::BulkPurpose purpose) const;
    int UploadsAccepted(int id) const;
    int UploadsFailed(int id) const;              // refused or broken after the attach
    int BulkConnections(int id) const;            // attached and open
    std::string ConfigExport(int id) const;       // what a "config" download delivers
    int DefaultConfigsApplied(int id) const;      // default configurations taken so far
    std::string LastDefaultConfig(int id) const;  // the name of the last one, "" before any
    std::string FirmwareVersion(int id) const;    // the version the camera runs
    std::string ReportedModel(int id) const;      // its own model or its OEM model
    int FirmwareWrites(int id) const;             // write phases that ended in a reboot

private:
    struct Camera;
    struct Connection;
    struct Delayed {
        Clock::time_point due;
        uint64_t connection;
        std::string bytes;
        ControlCamera::Reply::Action action;
    };
    using Callback = std::function<void()>;

    void Run();
    void ServeOnce(std::vector<Callback>* callbacks);
    void Accept(int id, Clock::time_point now);
    void Read(Connection& c, Clock::time_point now, std::vector<Callback>* calls);
    bool HandleFrame(Connection& c, sdk::Frame& frame, Clock::time_point now,
                     std::vector<Callback>* calls);
    bool HandleKeyExchange(Connection& c, const sdk::Frame& frame);
    // The end frame of an upload whose digest came.
    bool UploadVerdict(Connection& c, Clock::time_point now, std::vector<Callback>* calls);
    static bool Absorb(Connection& c);  // received bytes into the parser; false: close
    static void Seal(Connection& c);    // frames waiting in `out` onto the wire
    void Answer(Connection& c, const sdk::Frame& request, ControlCamera::Reply reply,
                Clock::time_point now, std::vector<Callback>* calls);
    void ApplyAction(Connection& c, ControlCamera::Reply::Action action, Clock::time_point now,
                     std::vector<Callback>* calls);
    void SendDelayed(Clock::time_point now, std::vector<Callback>* calls);
    void TakeSnapshot(Connection& c);
    void TakeDown(int id, Clock::time_point upAt);
    void Housekeeping(Clock::time_point now);
    int TimeoutMs(Clock::time_point now) const;
    int CountSessions(int id) const;  // mutex_ held

    // Limits (sim/control_server_limits.cpp); mutex_ held.
    void MakeRoomFor(int id);
    int ShedOldestUnauthenticated(int id, int count);  // id < 0: any camera; returns closed
    void OnDescriptorsExhausted(Clock::time_point now);
    bool AcceptPaused(Clock::time_point now) const { return now < acceptPausedUntil_; }
    void CloseOverdueLogins(Clock::time_point now);
    // The status of a login and how long its answer waits (0: at once).
    int32_t LoginVerdict(const Connection& c, const std::string& payload, Clock::time_point now,
                         std::chrono::milliseconds* delay);
    bool OverQueued(Connection& c);  // closes `c` when its unsent bytes passed the cap

    // Bulk-data channel (sim/control_server_bulk.cpp); mutex_ held.
    std::string OpenBulk(Connection& c, const sdk::Frame& request, Clock::time_point now);
    std::string Attach(Connection& c, const sdk::Frame& request, Clock::time_point now);
    bool HandleBulkData(Connection& c, const sdk::Frame& frame, Clock::time_point now,
                        std::vector<Callback>* calls);  // false: close
    void PumpDownload(Connection& c);                   // queues the chunks the window allows
    void BulkHousekeeping(Clock::time_point now);
    void Discard(Connection& c);  // `c` closes now: an unfinished upload fails
    void SendEvent(uint64_t session, int type, const std::string& payload);
    int BulkInUse(int id, uint64_t session) const;  // session 0: the whole camera
    // A configuration file other than "devicetype.oem" (sim/camera_config_file.cpp): false
    // when the camera refused it and nothing changed. `defaultConfig` tells whether it was a
    // default configuration.
    bool ApplyConfigFile(Connection& c, const std::string& content, bool* defaultConfig);

    // Firmware upgrade (sim/control_server_firmware.cpp); mutex_ held.
    bool FirmwareBusy(int id) const;  // an image is arriving, being written or hung
    // A chunk of a firmware upload into the image check; false: the image is refused and the
    // end frame is queued.
    bool CheckFirmwareChunk(Connection& c, const std::string& chunk, bool last);
    int32_t FirmwareVerdict(Connection& c);  // the end status of a whole firmware transfer
    void StartFirmwareWrite(Connection& c, Clock::time_point now);
    void FirmwareHousekeeping(Clock::time_point now, std::vector<Callback>* calls);
    Clock::time_point FirmwareDue(Clock::time_point next) const;  // the earlier of it and `next`
    void SendUpgradeEvent(int id, uint64_t session, int type, const std::string& payload);
    // A "devicetype.oem" configuration file: false when it is not one the camera takes.
    bool ApplyDeviceType(Connection& c, const std::string& content, std::vector<Callback>* calls);

    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<Camera>> cameras_;
    std::map<uint64_t, Connection> connections_;
    std::vector<Delayed> delayed_;
    uint64_t nextConnection_ = 1;
    ControlLimits limits_;
    LoginThrottle throttle_{limits_};
    Clock::time_point acceptPausedUntil_{};
    int acceptPauses_ = 0;
    std::size_t largestQueue_ = 0;
    sdk::Frame scratch_;  // server thread: the frame being handled
    int namespaceFd_ = -1;
    bool stop_ = false;
    sdk::WakePipe wake_;
    std::thread thread_;
};

}  // namespace camfleet::sim
