#pragma once
// Switches that change one field of a camera document the tool reads first: the TV system
// (video capture, 504 read / 524 write), ONVIF all-net (network, 305 / 325) and the HIK,
// ONVIF, DH and TST protocol services (stream access, 600 / 620).
//
// Per camera each switch keeps its own pending wish (the wanted value and when it was made),
// then the read goes out through the answer router. The read's answer carries out every wish
// of its document that is pending for that camera: a field that already has the wanted value
// shows the switch's not-changed key and sends nothing; otherwise the changed document is
// written once, with all of them. So two protocol switches asked one after the other are
// both carried out by the first answer, and neither undoes the other. A wish ends when its
// answer carried it out, when its read failed (the row shows the failure) or 30 s after it
// was made, so that a late answer never carries out a stale change.
//
// Each camera's job is the row's job state of OperationKind::kMaintenance: it ends with the
// not-changed key, or with the camera's answer to the write ("SET_OK" / "SET_FAILED"), or
// failed with the switch's failure key.
//
// Thread: the list's (UI) thread.

#include <QObject>

#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "devicelist/device_list_model.h"
#include "operations/answer_router.h"
#include "operations/prompt.h"

namespace camfleet {

enum class FeatureSwitch {
    kTvSystem,     // 1 = PAL (50 Hz), 0 = NTSC (60 Hz)
    kOnvifAllNet,  // 1 = on
    kHik,          // the protocol services, 1 = on; carried out in this order
    kOnvif,
    kDh,
    kTst,
};
inline constexpr int kFeatureSwitchCount = 6;

// The SDK's calls, replaceable in tests: a read and a write of channel 0, queued (0 when the
// SDK took the request; the answer comes through the router).
struct FeatureSwitchCalls {
    std::function<int(int handle, int code)> read;
    std::function<int(int handle, int code, const std::string& document)> write;
};
FeatureSwitchCalls SdkFeatureSwitchCalls();  // QV_NETSDK_IPC_GetDVRConfig / SetDVRConfig

// How a switch picks its cameras: the window's batch (ticked rows, with the switch's question
// for TV system and all-net) or the command line's rows, confirmed by the caller.
enum class SwitchForm { kWindow, kScripted };

// The document `answer` (a read of the switch's read code) with every switch of `wishes`
// (value per switch, -1 = none) applied; empty when the answer does not parse. `changed`
// tells, per switch, whether its field had another value.
std::string ApplySwitches(FeatureSwitch first, std::string_view answer,
                          const std::array<int, kFeatureSwitchCount>& wishes,
                          std::array<bool, kFeatureSwitchCount>* changed);

class FeatureSwitches : public QObject {
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kWishLifetime{30};

    // All must outlive the object.
    FeatureSwitches(DeviceListModel* model, AnswerRouter* router,
                    FeatureSwitchCalls calls = SdkFeatureSwitchCalls(), QObject* parent = nullptr);
    ~FeatureSwitches() override;

    void SetClock(std::function<Clock::time_point()> now) { now_ = std::move(now); }
    // Cameras whose video capture must not be written now (the night-mode demonstration):
    // a TV-system switch for them waits, unread, until Release names them.
    void SetVideoCaptureHold(std::function<bool(const std::string& key)> holds) {
        holds_ = std::move(holds);
    }
    void Release(const std::vector<std::string>& keys);

    // Sets `which` to `value` on `rows`; false when refused or not confirmed (nothing sent).
    bool Switch(const std::vector<int>& rows, FeatureSwitch which, int value, SwitchForm form,
                Prompt& prompt);

    // Wishes waiting for a read's answer (all cameras).
    int PendingWishes() const;
    // Jobs waiting for an answer.
    int Running() const { return running_; }
    const std::map<std::string, JobState>& Jobs() const { return jobs_; }
    void ClearJobs() { jobs_.clear(); }

signals:
    void jobChanged(int row);

private:
    struct Wish {
        int value = -1;  // -1: none
        Clock::time_point made{};
    };
    using Wishes = std::array<Wish, kFeatureSwitchCount>;

    void SendRead(const std::string& key, int handle, FeatureSwitch which);
    void OnRead(const std::string& key, FeatureSwitch which, const RoutedAnswer& answer);
    void OnWrite(const std::string& key, const RoutedAnswer& answer);
    void SetJob(const std::string& key, JobPhase phase, const char* stateKey);
    void DropExpired(Wishes* wishes);

    DeviceListModel* model_;
    AnswerRouter* router_;
    FeatureSwitchCalls calls_;
    std::function<Clock::time_point()> now_;
    std::map<std::string, Wishes> wishes_;  // by the row's key
    std::function<bool(const std::string&)> holds_;
    std::map<std::string, int> held_;  // TV-system reads waiting, by key: the handle
    std::map<std::string, JobState> jobs_;
    int running_ = 0;
    std::shared_ptr<const int> alive_ = std::make_shared<const int>(0);
};

}  // namespace camfleet
