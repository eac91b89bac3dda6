#include "operations/feature_switches.h"

#include "device/codes.h"
#include "device/records.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "device/xml_messages.h"
#include "operations/batch_targets.h"
#include "resources/display_strings.h"

namespace camfleet {

namespace {

struct SwitchKind {
    int readCode;
    int writeCode;
    const char* question;    // the window's Yes/No question, null: none
    const char* notChanged;  // the field had the wanted value already
    const char* writing;     // the write went out (null: the row keeps its text)
    const char* failed;      // the read or the write could not be made
};

SwitchKind KindOf(FeatureSwitch which) {
    switch (which) {
        case FeatureSwitch::kTvSystem:
            return {kCmdGetVideoCapture,
                    kCmdSetVideoCapture,
                    DisplayKey("MSG_BATCH_SET_TVSYSTEM"),
                    DisplayKey("MSG_SET_TVSYSTEM_NOTCHANGE"),
                    DisplayKey("MSG_SET_TVSYSTEM_OK"),
                    DisplayKey("MSG_SET_TVSYSTEM_FAILED")};
        case FeatureSwitch::kOnvifAllNet:
            return {kCmdGetNetwork,
                    kCmdSetNetwork,
                    DisplayKey("MSG_BATCH_SET_ONVIFALLNET"),
                    DisplayKey("MSG_SET_ONVIFALLNET_NOTCHANGE"),
                    DisplayKey("MSG_SET_ONVIFALLNET_OK"),
                    DisplayKey("MSG_SET_ONVIFALLNET_FAILED")};
        default:
            return {kCmdGetStreamAccess,
                    kCmdSetStreamAccess,
                    nullptr,
                    DisplayKey("SET_OK"),
                    nullptr,
                    DisplayKey("SET_FAILED")};
    }
}

bool IsProtocol(FeatureSwitch which) {
    return which >= FeatureSwitch::kHik;
}

// The switches one read carries out: its own, or every protocol service.
std::vector<FeatureSwitch> SwitchesOfRead(FeatureSwitch which) {
    if (!IsProtocol(which))
        return {which};
    return {FeatureSwitch::kHik, FeatureSwitch::kOnvif, FeatureSwitch::kDh, FeatureSwitch::kTst};
}

std::size_t Index(FeatureSwitch which) {
    return static_cast<std::size_t>(which);
}

// Sets `*field` to `wish` (when there is one); true when that changed it.
template <typename T>
bool Put(T* field, int wish) {
    if (wish < 0 || *field == static_cast<T>(wish))
        return false;
    *field = static_cast<T>(wish);
    return true;
}

std::string Taken(char* text) {
    std::string document = text != nullptr ? text : "";
    QV_NETSDK_IPC_XMLGET_SAFE_FREE(text);
    return document;
}

}  // namespace

FeatureSwitchCalls SdkFeatureSwitchCalls() {
    FeatureSwitchCalls calls;
    calls.read = [](int handle, int code) {
        static const char kAsk[] = "RESPONSE_PARAM";
        return QV_NETSDK_IPC_GetDVRConfig(handle, code, 0, kAsk, sizeof kAsk - 1, nullptr);
    };
    calls.write = [](int handle, int code, const std::string& document) {
        return QV_NETSDK_IPC_SetDVRConfig(handle, code, 0, document.data(),
                                          static_cast<int>(document.size()));
    };
    return calls;
}

std::string ApplySwitches(FeatureSwitch first, std::string_view answer,
                          const std::array<int, kFeatureSwitchCount>& wishes,
                          std::array<bool, kFeatureSwitchCount>* changed) {
    changed->fill(false);
    const std::string text(answer);
    const auto wish = [&](FeatureSwitch which) { return wishes[Index(which)]; };
    const auto mark = [&](FeatureSwitch which, bool value) { (*changed)[Index(which)] = value; };
    if (first == FeatureSwitch::kTvSystem) {
        QV_VIDEO_CAPTURE capture{};
        if (QV_NETSDK_IPC_Media_getVideoCaptureByXml(text.c_str(), &capture) != 0)
            return {};
        mark(first, Put(&capture.tvSystem, wish(first)));
        return Taken(QV_NETSDK_IPC_XMLGET_VideoCaptureConfig(&capture));
    }
    if (first == FeatureSwitch::kOnvifAllNet) {
        QV_NETWORK_LAN_CFG lan{};
        if (QV_NETSDK_IPC_Network_getLANCfgByXml(text.c_str(), &lan) != 0)
            return {};
        mark(first, Put(&lan.allNet, wish(first)));
        return Taken(QV_NETSDK_IPC_XMLGET_NetworkLANConfig(&lan));
    }
    StreamAccessRecord access;
    if (ParseStreamAccessDocument(answer, &access) != 0)
        return {};
    mark(FeatureSwitch::kHik, Put(&access.enableHik, wish(FeatureSwitch::kHik)));
    mark(FeatureSwitch::kOnvif, Put(&access.enableOnvif, wish(FeatureSwitch::kOnvif)));
    mark(FeatureSwitch::kDh, Put(&access.enableDh, wish(FeatureSwitch::kDh)));
    mark(FeatureSwitch::kTst, Put(&access.enableTst, wish(FeatureSwitch::kTst)));
    return PrintStreamAccessBody(access);
}

FeatureSwitches::FeatureSwitches(DeviceListModel* model, AnswerRouter* router,
                                 FeatureSwitchCalls calls, QObject* parent)
    : QObject(parent), model_(model), router_(router), calls_(std::move(calls)), now_([] {
          return Clock::now();
      }) {}

FeatureSwitches::~FeatureSwitches() = default;

int FeatureSwitches::PendingWishes() const {
    int count = 0;
    for (const auto& [key, wishes] : wishes_)
        for (const Wish& w : wishes)
            count += w.value >= 0 ? 1 : 0;
    return count;
}

void FeatureSwitches::DropExpired(Wishes* wishes) {
    const Clock::time_point now = now_();
    for (Wish& w : *wishes)
        if (w.value >= 0 && now - w.made >= kWishLifetime)
            w = Wish{};
}

void FeatureSwitches::SetJob(const std::string& key, JobPhase phase, const char* stateKey) {
    const JobState job{phase, -1, stateKey};
    jobs_[key] = job;
    const int row = model_->FindRowByKey(key.c_str());
    if (row < 0)
        return;
    model_->SetJobState(row, OperationKind::kMaintenance, job);
    emit jobChanged(row);
}

bool FeatureSwitches::Switch(const std::vector<int>& rows, FeatureSwitch which, int value,
                             SwitchForm form, Prompt& prompt) {
    const SwitchKind kind = KindOf(which);
    if (rows.empty())
        return false;
    if (form == SwitchForm::kWindow && kind.question != nullptr &&
        !prompt.AskYesNo(kind.question, DisplayKey("TEXT21")))
        return false;
    for (int row : rows) {
        int handle = 0;
        if (CheckDevice(*model_, row, kNotConnectedConfig, &handle) != StepCheck::kReady)
            continue;
        const std::string key = model_->Record(row)->key;
        Wishes& wishes = wishes_[key];
        DropExpired(&wishes);
        wishes[Index(which)] = Wish{value, now_()};
        SetJob(key, JobPhase::kPending, nullptr);
        if (which == FeatureSwitch::kTvSystem && holds_ && holds_(key)) {
            held_[key] = handle;
            continue;
        }
        SendRead(key, handle, which);
    }
    return true;
}

void FeatureSwitches::SendRead(const std::string& key, int handle, FeatureSwitch which) {
    const SwitchKind kind = KindOf(which);
    ++running_;
    router_->Send(
        handle, kind.readCode,
        [read = calls_.read, handle, code = kind.readCode] { return read(handle, code); },
        [this, alive = std::weak_ptr<const int>(alive_), key, which](const RoutedAnswer& a) {
            if (alive.expired())
                return;
            --running_;
            OnRead(key, which, a);
        });
}

void FeatureSwitches::Release(const std::vector<std::string>& keys) {
    for (const std::string& key : keys) {
        const auto it = held_.find(key);
        if (it == held_.end())
            continue;
        const int handle = it->second;
        held_.erase(it);
        // The wish is read and carried out as if just asked for (or ends, when it expired).
        SendRead(key, handle, FeatureSwitch::kTvSystem);
    }
}

void FeatureSwitches::OnRead(const std::string& key, FeatureSwitch which,
                             const RoutedAnswer& answer) {
    const SwitchKind kind = KindOf(which);
    Wishes& wishes = wishes_[key];
    DropExpired(&wishes);
    if (answer.outcome != RequestOutcome::kAnswered) {
        // Only this read's wish ends: another read of the same document may still carry out
        // the others.
        const bool mine = wishes[Index(which)].value >= 0;
        wishes[Index(which)] = Wish{};
        if (mine)
            SetJob(key, JobPhase::kFailed, kind.failed);
        return;
    }
    std::array<int, kFeatureSwitchCount> values;
    values.fill(-1);
    bool any = false;
    for (FeatureSwitch s : SwitchesOfRead(which)) {
        values[Index(s)] = wishes[Index(s)].value;
        any = any || values[Index(s)] >= 0;
        wishes[Index(s)] = Wish{};
    }
    if (!any)
        return;  // an earlier answer carried them out, or they expired
    std::array<bool, kFeatureSwitchCount> changed{};
    const std::string document = ApplySwitches(which, answer.message->payload, values, &changed);
    if (document.empty()) {
        SetJob(key, JobPhase::kFailed, kind.failed);
        return;
    }
    bool write = false;
    for (bool c : changed)
        write = write || c;
    if (!write) {
        SetJob(key, JobPhase::kDone, kind.notChanged);
        return;
    }
    const int handle = answer.handle;
    ++running_;
    const AnswerRouter::RequestId id = router_->Send(
        handle, kind.writeCode,
        [write = calls_.write, handle, code = kind.writeCode, document] {
            return write(handle, code, document);
        },
        [this, alive = std::weak_ptr<const int>(alive_), key,
         failed = kind.failed](const RoutedAnswer& a) {
            if (alive.expired())
                return;
            --running_;
            if (a.outcome == RequestOutcome::kNotSent)
                SetJob(key, JobPhase::kFailed, failed);
            else
                OnWrite(key, a);
        });
    if (id != 0)
        SetJob(key, JobPhase::kPending, kind.writing);
}

// The session tracker shows the same keys for the write's answer.
void FeatureSwitches::OnWrite(const std::string& key, const RoutedAnswer& answer) {
    const bool ok = answer.outcome == RequestOutcome::kAnswered;
    SetJob(key, ok ? JobPhase::kDone : JobPhase::kFailed,
           ok ? DisplayKey("SET_OK") : DisplayKey("SET_FAILED"));
}

}  // namespace camfleet
