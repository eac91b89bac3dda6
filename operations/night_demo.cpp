#include "operations/night_demo.h"

#include "device/codes.h"
#include "operations/batch_targets.h"
#include "resources/display_strings.h"

namespace camfleet {

namespace {

constexpr int kForcedNight = 3;  // dayNightMode of the demonstration

std::string CaptureDocument(const QV_VIDEO_CAPTURE& capture) {
    char* text = QV_NETSDK_IPC_XMLGET_VideoCaptureConfig(&capture);
    std::string document = text != nullptr ? text : "";
    QV_NETSDK_IPC_XMLGET_SAFE_FREE(text);
    return document;
}

}  // namespace

NightDemoCalls SdkNightDemoCalls() {
    NightDemoCalls calls;
    calls.readCapture = [](int handle) {
        static const char kAsk[] = "RESPONSE_PARAM";
        return QV_NETSDK_IPC_GetDVRConfig(handle, kCmdGetVideoCapture, 0, kAsk, sizeof kAsk - 1,
                                          nullptr);
    };
    calls.writeCapture = [](int handle, const std::string& document) {
        return QV_NETSDK_IPC_SetDVRConfig(handle, kCmdSetVideoCapture, 0, document.data(),
                                          static_cast<int>(document.size()));
    };
    calls.dayNight = [](int handle, const std::string& text) {
        return QV_NETSDK_IPC_SystemControl(handle, kCtlDayNightMode, nullptr, text.c_str());
    };
    return calls;
}

std::string NightModeText(bool night) {
    return std::string("<REQUEST_PARAM Mode=\"") + (night ? "NightMode" : "DayMode") + "\" />\n";
}

NightDemo::NightDemo(DeviceListModel* model, AnswerRouter* router, WorkerPool* pool,
                     NightDemoCalls calls, QObject* parent)
    : QObject(parent), model_(model), router_(router), pool_(pool), calls_(std::move(calls)) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &NightDemo::Finish);
}

NightDemo::~NightDemo() = default;

bool NightDemo::Holds(const std::string& key) const {
    const auto it = cameras_.find(key);
    return active_ && it != cameras_.end() && it->second.state > 0;
}

int NightDemo::StateOf(const std::string& key) const {
    const auto it = cameras_.find(key);
    return it == cameras_.end() ? 0 : it->second.state;
}

void NightDemo::Show(const std::string& key, const char* stateKey, bool failed) {
    Camera& camera = cameras_[key];
    camera.failed = camera.failed || failed;
    JobState& job = jobs_[key];
    job.phase = JobPhase::kRunning;
    job.key = stateKey;
    const int row = model_->FindRowByKey(key.c_str());
    if (row >= 0)
        model_->SetJobState(row, OperationKind::kMaintenance, job);
}

bool NightDemo::Start(const std::vector<int>& rows, Prompt& prompt) {
    if (active_)
        return false;
    if (rows.empty()) {
        prompt.ShowMessage(DisplayKey("MSGTIP13"), DisplayKey("ERROR"), PromptIcon::kError);
        return false;
    }
    cameras_.clear();
    jobs_.clear();
    const uint64_t run = ++run_;
    for (int row : rows) {
        int handle = 0;
        if (CheckDevice(*model_, row, kNotConnectedConfig, &handle) != StepCheck::kReady)
            continue;
        const std::string key = model_->Record(row)->key;
        Camera& camera = cameras_[key];
        camera.state = 1;
        camera.handle = handle;
        jobs_[key] = JobState{JobPhase::kRunning, -1, nullptr};
        router_->Send(
            handle, kCmdGetVideoCapture,
            [read = calls_.readCapture, handle] { return read(handle); },
            [this, alive = std::weak_ptr<const int>(alive_), key, run](const RoutedAnswer& a) {
                if (!alive.expired())
                    OnRead(key, run, a);
            });
    }
    if (cameras_.empty())
        return false;
    active_ = true;
    emit activeChanged(true);
    timer_.start(length_);
    return true;
}

void NightDemo::OnRead(const std::string& key, uint64_t run, const RoutedAnswer& answer) {
    // Another demonstration's read, or one answered after the time was up: the camera is
    // restored already and must not be forced into night mode now.
    if (run != run_ || !active_)
        return;
    Camera& camera = cameras_[key];
    if (camera.state != 1)
        return;
    QV_VIDEO_CAPTURE capture{};
    if (answer.outcome != RequestOutcome::kAnswered ||
        QV_NETSDK_IPC_Media_getVideoCaptureByXml(answer.message->payload, &capture) != 0) {
        camera.state = 0;  // nothing to restore at the end
        Show(key, DisplayKey("MSG_SET_IRCUT_FAILED"), true);
        return;
    }
    camera.copy = capture;
    camera.haveCopy = true;
    QV_VIDEO_CAPTURE night = capture;
    night.dayNightMode = kForcedNight;
    const bool written = calls_.writeCapture(camera.handle, CaptureDocument(night)) == 0;
    Show(key, written ? DisplayKey("MSG_SET_IRCUT_OK") : DisplayKey("MSG_SET_IRCUT_FAILED"),
         !written);
    camera.state = 2;
    Command(key, true);
}

// System command 1046 on a worker; night: state 3 when it succeeded.
void NightDemo::Command(const std::string& key, bool night) {
    const int handle = cameras_[key].handle;
    ++running_;
    pool_->Start(
        [dayNight = calls_.dayNight, handle, night](std::stop_token) {
            return dayNight(handle, NightModeText(night));
        },
        [this, alive = std::weak_ptr<const int>(alive_), key, night, run = run_](int result) {
            if (alive.expired())
                return;
            --running_;
            if (result != 0)
                Show(key, DisplayKey("MSG_SET_IRCUT_FAILED"), true);
            Camera& camera = cameras_[key];
            if (night && result == 0 && run == run_ && camera.state == 2)
                camera.state = 3;
            if (!night) {
                JobState& job = jobs_[key];
                job.phase = camera.failed ? JobPhase::kFailed : JobPhase::kDone;
                const int row = model_->FindRowByKey(key.c_str());
                if (row >= 0)
                    model_->SetJobState(row, OperationKind::kMaintenance, job);
            }
        });
}

void NightDemo::Finish() {
    if (!active_)
        return;
    timer_.stop();
    std::vector<std::string> keys;
    for (auto& [key, camera] : cameras_) {
        keys.push_back(key);
        if (camera.state >= 2 && camera.haveCopy) {
            const bool written =
                calls_.writeCapture(camera.handle, CaptureDocument(camera.copy)) == 0;
            Show(key, written ? DisplayKey("MSG_SET_IRCUT_OK") : DisplayKey("MSG_SET_IRCUT_FAILED"),
                 !written);
            Command(key, false);
        } else {
            // Never forced: nothing to undo.
            JobState& job = jobs_[key];
            job.phase = JobPhase::kFailed;
            if (job.key == nullptr)
                job.key = DisplayKey("MSG_SET_IRCUT_FAILED");
            const int row = model_->FindRowByKey(key.c_str());
            if (row >= 0)
                model_->SetJobState(row, OperationKind::kMaintenance, job);
        }
        camera.state = 0;
    }
    active_ = false;
    emit activeChanged(false);
    emit released(keys);
}

}  // namespace camfleet
