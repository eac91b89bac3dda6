#pragma once
// The night-mode demonstration (button 1303): the ticked cameras switch to forced night mode
// for a few seconds (5 by default), then back to what they had.
//
// Per camera: its state becomes 1 and its video capture is read (504). The answer to that
// read, and only that one, gives the copy to restore later; a copy with the day/night mode set
// to 3 (forced night) is written (524) and system command 1046 "NightMode" follows: state 2,
// then 3 once the command succeeded. When the time is up every camera in state 2 or more gets
// 1046 "DayMode" and its copy written back, and every state returns to 0. Keys:
// "MSG_SET_IRCUT_OK" when a write went out, "MSG_SET_IRCUT_FAILED" when a write or a command
// failed.
//
// Answers to the demonstration's reads that come after its time are ignored, so a late answer
// can no longer leave a camera in forced night mode. While a camera takes part, other writes
// of its video capture must wait (Holds), or the restore at the end would undo them.
//
// Thread: the list's (UI) thread.

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "device/sdk/qv_netsdk_ipc.h"
#include "devicelist/device_list_model.h"
#include "operations/answer_router.h"
#include "operations/prompt.h"
#include "operations/worker.h"

namespace camfleet {

struct NightDemoCalls {
    std::function<int(int handle)> readCapture;                                // queued, 504
    std::function<int(int handle, const std::string& document)> writeCapture;  // queued, 524
    std::function<int(int handle, const std::string& text)> dayNight;          // blocks, 1046
};
NightDemoCalls SdkNightDemoCalls();

// The texts of system command 1046.
std::string NightModeText(bool night);

class NightDemo : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kDefaultLength{5000};

    // All must outlive the object.
    NightDemo(DeviceListModel* model, AnswerRouter* router, WorkerPool* pool,
              NightDemoCalls calls = SdkNightDemoCalls(), QObject* parent = nullptr);
    ~NightDemo() override;

    void SetLength(std::chrono::milliseconds length) { length_ = length; }

    // Starts the demonstration on `rows` (the ticked ones; none: the "MSGTIP13" box). false
    // when it runs already or nothing started.
    bool Start(const std::vector<int>& rows, Prompt& prompt);
    // Ends it now (the timer does it when the time is up).
    void Finish();
    bool Active() const { return active_; }
    // Whether the camera of `key` takes part: its video capture writes must wait.
    bool Holds(const std::string& key) const;
    // The state of the camera of `key` (0 when not in a demonstration).
    int StateOf(const std::string& key) const;
    // Commands still waiting for a worker.
    int Running() const { return running_; }
    const std::map<std::string, JobState>& Jobs() const { return jobs_; }

signals:
    void activeChanged(bool active);
    // The demonstration ended for these cameras: writes held for them may go now.
    void released(const std::vector<std::string>& keys);

private:
    struct Camera {
        int state = 0;
        int handle = 0;
        bool haveCopy = false;
        QV_VIDEO_CAPTURE copy{};
        bool failed = false;
    };
    void OnRead(const std::string& key, uint64_t run, const RoutedAnswer& answer);
    void Command(const std::string& key, bool night);
    void Show(const std::string& key, const char* stateKey, bool failed);

    DeviceListModel* model_;
    AnswerRouter* router_;
    WorkerPool* pool_;
    NightDemoCalls calls_;
    std::chrono::milliseconds length_ = kDefaultLength;
    QTimer timer_;
    bool active_ = false;
    uint64_t run_ = 0;  // the current demonstration; answers of another are ignored
    std::map<std::string, Camera> cameras_;
    std::map<std::string, JobState> jobs_;
    int running_ = 0;
    std::shared_ptr<const int> alive_ = std::make_shared<const int>(0);
};

}  // namespace camfleet
