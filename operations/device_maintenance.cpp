#include "operations/device_maintenance.h"

#include <QTimeZone>

#include <cstring>

#include "device/codes.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "device/xml_messages.h"
#include "operations/batch_targets.h"
#include "operations/ip_assignment.h"
#include "resources/log.h"

namespace camfleet {

namespace {

constexpr const char* kConfirmCaption = DisplayKey("TEXT21");
constexpr const char* kNoTicked = DisplayKey("MSGTIP13");

template <std::size_t N>
std::string Field(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// The record's SDK session reaches the camera of its discovery answer: its serial number as
// the SDK reported it is the one of the discovery answer.
bool SessionIsThisCamera(const DeviceRecord& record) {
    const std::string sdkSerial = Field(record.sdkSerialNumber);
    return !sdkSerial.empty() && sdkSerial == Field(record.answer.serialNumber);
}

// Whether there are rows to act on; none: the box `noneKey` (when given) and false.
bool AnyRows(const std::vector<int>& rows, const char* noneKey, Prompt& prompt) {
    if (!rows.empty())
        return true;
    if (noneKey != nullptr)
        prompt.ShowMessage(noneKey, kErrorCaption, PromptIcon::kError);
    return false;
}

// The targets' confirmation and the box when there are none; false: stop.
bool Confirm(const std::vector<int>& rows, MaintenanceForm form, const char* noneKey,
             const char* tickedQuestion, const char* selectedQuestion, Prompt& prompt) {
    if (!AnyRows(rows, form == MaintenanceForm::kTicked ? noneKey : nullptr, prompt))
        return false;
    const char* question = form == MaintenanceForm::kTicked     ? tickedQuestion
                           : form == MaintenanceForm::kSelected ? selectedQuestion
                                                                : nullptr;
    return question == nullptr || prompt.AskYesNo(question, kConfirmCaption);
}

}  // namespace

MaintenanceCalls SdkMaintenanceCalls() {
    MaintenanceCalls calls;
    calls.reboot = [](int handle) { return QV_NETSDK_IPC_RebootDVR(handle); };
    calls.restore = [](int handle) { return QV_NETSDK_IPC_RestoreConfig(handle); };
    calls.systemControl = [](int handle, int code, const std::string& text) {
        return QV_NETSDK_IPC_SystemControl(handle, code, nullptr, text.c_str());
    };
    calls.setConfig = [](int handle, int code, const std::string& document) {
        return QV_NETSDK_IPC_SetDVRConfig(handle, code, 0, document.data(),
                                          static_cast<int>(document.size()));
    };
    calls.ptzPreset = [](int handle, int command, int preset) {
        return QV_NETSDK_IPC_PTZPreset(handle, command, preset);
    };
    return calls;
}

std::string TimeSyncText(const QDateTime& local) {
    const QDate d = local.date();
    const QTime t = local.time();
    const int zone = 720 + local.offsetFromUtc() / 60;
    char text[128];
    std::snprintf(text, sizeof text,
                  "<REQUEST_PARAM\r\nTime=\"%04d%02d%02d %02d:%02d:%02d\"\r\nTimeZone=\"%d\"\n/>",
                  d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), zone);
    return text;
}

std::string PasswordDocument(const QString& password) {
    return "<UserConfig><Account Username=\"admin\" Password=\"" +
           EscapeAttribute(password.toStdString()) +
           "\" Group=\"Administrator\" Status=\"Enable\" /></UserConfig>";
}

std::string LanguageDocument(const char* language) {
    return std::string("<MiscConfig Language=\"") + language + "\" />";
}

std::string VideoTypeDocument(const char* codec) {
    std::string document = "<Encode>\n";
    for (const char* stream : {"1", "2"})
        document += std::string("\t<EncodeConfig Stream=\"") + stream +
                    "\" Resolution=\"INVALID\" EncodeFormat=\"" + codec +
                    "\" BitRateControl=\"VBR\" Initquant=\"100\" BitRate=\"200000\" "
                    "FrameRate=\"25\" />\n";
    return document + "</Encode>\n";
}

std::string P2pDocument(bool enable) {
    return std::string("<P2PConfig\n\tEnable=\"") + (enable ? "1" : "0") + "\" Type=\"0\" />\n";
}

std::string IoOutputText(int output) {
    return "<REQUEST_PARAM ChannelNo=\"0\" Output=\"" + std::to_string(output) + "\"/>\n";
}

std::string SnapshotText() {
    return "<REQUEST_PARAM Stream=\"0\" Quality=\"100\"/>\n";
}

std::string FactoryModeText(int mode) {
    return "<REQUEST_PARAM Mode=\"" + std::to_string(mode) + "\"/>\n";
}

QString PixelSummaryText(int preset, int succeeded) {
    return QStringLiteral("[%1 preset ptz] %2%3")
        .arg(preset)
        .arg(GetDisplayString(DisplayKey("SUCCEED_SET_NUM")))
        .arg(succeeded);
}

const char* VideoTypeName(VideoType type) {
    switch (type) {
        case VideoType::kH264:
            return "H264";
        case VideoType::kH265:
            return "H265";
        case VideoType::kH265Plus:
            return "H265+";
    }
    return "H264";
}

const char* LanguageCode(Language language) {
    switch (language) {
        case Language::kEnglish:
            return "en_us";
        case Language::kSimplifiedChinese:
            return "zh_cn";
        case Language::kTraditionalChinese:
            return "zh_tw";
    }
    return "en_us";
}

DeviceMaintenance::DeviceMaintenance(DeviceListModel* model, DeviceTable* table, WorkerPool* pool,
                                     MaintenanceCalls calls, AnswerRouter* router, QObject* parent)
    : QObject(parent),
      model_(model),
      table_(table),
      pool_(pool),
      calls_(std::move(calls)),
      now_([] { return QDateTime::currentDateTime(); }) {
    if (router != nullptr)
        answers_ = router->OnAnswer(AnswerRouter::kAnyCode,
                                    [this](const ResponseMessage& m) { OnWriteAnswer(m); });
}

// The session tracker showed the answer already ("SET_OK" / "SET_FAILED").
void DeviceMaintenance::OnWriteAnswer(const ResponseMessage& m) {
    const int row = model_->FindRowByHandle(m.handle);
    const DeviceRecord* record = row >= 0 ? model_->Record(row) : nullptr;
    if (record == nullptr)
        return;
    const auto it = writes_.find(record->key);
    if (it == writes_.end() || it->second != m.code)
        return;
    writes_.erase(it);
    const JobState job{m.status == 0 ? JobPhase::kDone : JobPhase::kFailed, -1,
                       m.status == 0 ? DisplayKey("SET_OK") : DisplayKey("SET_FAILED")};
    jobs_[record->key] = job;
    emit jobChanged(row);
}

DeviceMaintenance::~DeviceMaintenance() = default;

void DeviceMaintenance::SetJob(int row, JobPhase phase, const char* key) {
    const DeviceRecord* record = model_->Record(row);
    if (record == nullptr)
        return;
    const JobState job{phase, -1, key};
    jobs_[record->key] = job;
    model_->SetJobState(row, OperationKind::kMaintenance, job);
    emit jobChanged(row);
}

void DeviceMaintenance::SetJobByKey(const std::string& key, JobPhase phase, const char* stateKey) {
    const int row = model_->FindRowByKey(key.c_str());
    if (row >= 0) {
        SetJob(row, phase, stateKey);
    } else {
        jobs_[key] = JobState{phase, -1, stateKey};
    }
}

// A success that leaves the row's text as it was.
void DeviceMaintenance::FinishQuietly(const std::string& key) {
    SetJobByKey(key, JobPhase::kDone, nullptr);
}

void DeviceMaintenance::RunBlocking(int row, std::function<int()> call,
                                    std::function<void(const std::string& key, int result)> then) {
    const std::string key = model_->Record(row)->key;
    SetJob(row, JobPhase::kPending, nullptr);
    ++running_;
    pool_->Start(
        [call = std::move(call)](std::stop_token) { return call(); },
        [this, alive = std::weak_ptr<const int>(alive_), key, then = std::move(then)](int result) {
            if (alive.expired())
                return;
            --running_;
            then(key, result);
        });
}

bool DeviceMaintenance::SendDiscoveryReboot(const std::string& key) {
    const int result = table_->RebootDevice(key.c_str());
    if (result != kTableOk)
        LogMessage("RebootIPC %s failed. error = %ld\n", key.c_str(), long{result});
    return result == kTableOk;
}

bool DeviceMaintenance::SendDiscoveryRestore(const std::string& key) {
    const int result = table_->RestoreDevice(key.c_str());
    if (result != kTableOk)
        LogMessage("restore IPC %s failed. error = %ld\n", key.c_str(), long{result});
    return result == kTableOk;
}

bool DeviceMaintenance::Reboot(const std::vector<int>& rows, MaintenanceForm form, Prompt& prompt) {
    if (!Confirm(rows, form, DisplayKey("MSGTIP16"), DisplayKey("MSGTIP38"), nullptr, prompt))
        return false;
    for (int row : rows) {
        const DeviceRecord* record = model_->Record(row);
        if (record == nullptr)
            continue;
        int handle = 0;
        const StepCheck check = CheckDevice(*model_, row, DisplayKey("MSGTIP23"), &handle);
        if (check != StepCheck::kReady) {
            // Without a session the datagram alone reboots it; the row keeps its text.
            const std::string key = record->key;
            const bool sent = SendDiscoveryReboot(key);
            if (check == StepCheck::kNotConnected)
                SetJob(row, JobPhase::kFailed, DisplayKey("MSGTIP23"));
            else
                SetJob(row, sent ? JobPhase::kDone : JobPhase::kFailed, nullptr);
            continue;
        }
        // The datagram follows the SDK's answer: sent first, the camera's restart could cut
        // the session before the SDK heard its answer.
        RunBlocking(
            row, [reboot = calls_.reboot, handle] { return reboot(handle); },
            [this](const std::string& key, int result) {
                SetJobByKey(key, result == 0 ? JobPhase::kDone : JobPhase::kFailed,
                            result == 0 ? DisplayKey("RESTARTING") : DisplayKey("MSGTIP35"));
                SendDiscoveryReboot(key);
            });
    }
    return true;
}

bool DeviceMaintenance::Restore(const std::vector<int>& rows, MaintenanceForm form,
                                Prompt& prompt) {
    if (!Confirm(rows, form, DisplayKey("MSGTIP14"), DisplayKey("MSGTIP11"),
                 DisplayKey("IDS_STR_ZH_CN_MSG_TIPS122"), prompt))
        return false;
    for (int row : rows) {
        const DeviceRecord* record = model_->Record(row);
        if (record == nullptr)
            continue;
        const std::string key = record->key;
        if (!model_->State(row)->LoggedIn() || record->loginHandle <= 0 ||
            !SessionIsThisCamera(*record)) {
            SetJob(row, SendDiscoveryRestore(key) ? JobPhase::kDone : JobPhase::kFailed, nullptr);
            continue;
        }
        const int handle = record->loginHandle;
        RunBlocking(
            row, [restore = calls_.restore, handle] { return restore(handle); },
            [this](const std::string& key, int result) {
                if (result != 0)
                    LogMessage("restore IPC %s failed. error = %ld\n", key.c_str(), long{result});
                // The datagram decides: it reaches the camera whatever its session did.
                SetJobByKey(key, SendDiscoveryRestore(key) ? JobPhase::kDone : JobPhase::kFailed,
                            nullptr);
            });
    }
    return true;
}

bool DeviceMaintenance::RestoreThenReboot(const std::vector<int>& rows, Prompt& prompt) {
    if (!Confirm(rows, MaintenanceForm::kTicked, kNoTicked, DisplayKey("MSGTIP11"), nullptr,
                 prompt))
        return false;
    enum { kOk, kRestoreFailed, kRebootFailed };
    for (int row : rows) {
        int handle = 0;
        if (CheckDevice(*model_, row, kNotConnectedConfig, &handle) != StepCheck::kReady)
            continue;
        RunBlocking(
            row,
            [control = calls_.systemControl, reboot = calls_.reboot, handle] {
                if (control(handle, kCtlFactoryRestore, "") != 0)
                    return static_cast<int>(kRestoreFailed);
                return static_cast<int>(reboot(handle) != 0 ? kRebootFailed : kOk);
            },
            [this](const std::string& key, int result) {
                if (result == kOk)
                    FinishQuietly(key);
                else
                    SetJobByKey(
                        key, JobPhase::kFailed,
                        result == kRestoreFailed ? DisplayKey("MSGTIP44") : DisplayKey("MSGTIP35"));
            });
    }
    return true;
}

bool DeviceMaintenance::SyncTime(const std::vector<int>& rows, Prompt& prompt) {
    if (!AnyRows(rows, DisplayKey("MSGTIP17"), prompt))
        return false;
    SendSystemCommand(rows, kCtlSyncTime, TimeSyncText(now_()), DisplayKey("MSGTIP22"),
                      DisplayKey("MSGTIP36"));
    return true;
}

// A system command to each row; a failure shows `failKey`, a success leaves the row's text.
void DeviceMaintenance::SendSystemCommand(const std::vector<int>& rows, int code,
                                          const std::string& text, const char* notConnectedKey,
                                          const char* failKey) {
    for (int row : rows) {
        int handle = 0;
        if (CheckDevice(*model_, row, notConnectedKey, &handle) != StepCheck::kReady)
            continue;
        RunBlocking(
            row,
            [control = calls_.systemControl, handle, code, text] {
                return control(handle, code, text);
            },
            [this, failKey](const std::string& key, int result) {
                if (result != 0)
                    SetJobByKey(key, JobPhase::kFailed, failKey);
                else
                    FinishQuietly(key);
            });
    }
}

bool DeviceMaintenance::WriteDocument(const std::vector<int>& rows, int code,
                                      const std::string& document, const char* failKey) {
    for (int row : rows) {
        int handle = 0;
        if (CheckDevice(*model_, row, kNotConnectedConfig, &handle) != StepCheck::kReady)
            continue;
        const int result = calls_.setConfig(handle, code, document);
        // A queued write ends with the camera's answer, which the session tracker shows.
        const bool awaited = result == 0 && answers_.Active();
        SetJob(row,
               result != 0 ? JobPhase::kFailed
               : awaited   ? JobPhase::kPending
                           : JobPhase::kDone,
               result == 0 ? nullptr : failKey);
        if (awaited)
            writes_[model_->Record(row)->key] = code;
    }
    return true;
}

bool DeviceMaintenance::SetPassword(const std::vector<int>& rows, const QString& password,
                                    const QString& repeat, Prompt& prompt) {
    if (password != repeat) {
        prompt.ShowMessage(DisplayKey("MSGTIP51"), kErrorCaption, PromptIcon::kError);
        return false;
    }
    if (!AnyRows(rows, kNoTicked, prompt))
        return false;
    return WriteDocument(rows, kCmdSetAdminPassword, PasswordDocument(password),
                         DisplayKey("MSGTIP41"));
}

bool DeviceMaintenance::SetLanguage(const std::vector<int>& rows, Language language,
                                    MaintenanceForm form, Prompt& prompt) {
    if (!Confirm(rows, form, kNoTicked, DisplayKey("MSG_BATCH_SET_LANGUAGE"),
                 DisplayKey("MSG_BATCH_SET_LANGUAGE"), prompt))
        return false;
    return WriteDocument(rows, kCmdSetLanguage, LanguageDocument(LanguageCode(language)),
                         DisplayKey("MSGTIP42"));
}

bool DeviceMaintenance::SetVideoType(const std::vector<int>& rows, VideoType type,
                                     MaintenanceForm form, Prompt& prompt) {
    if (!Confirm(rows, form, kNoTicked, DisplayKey("ID_BATCH_SET_VIDEOTYPE_TIPS"),
                 DisplayKey("ID_BATCH_SET_VIDEOTYPE_TIPS"), prompt))
        return false;
    return WriteDocument(rows, kCmdSetVideoEncoding, VideoTypeDocument(VideoTypeName(type)),
                         DisplayKey("MSGTIP39"));
}

bool DeviceMaintenance::SetIoOutput(const std::vector<int>& rows, int output, Prompt& prompt) {
    if (!AnyRows(rows, kNoTicked, prompt))
        return false;
    SendSystemCommand(rows, kCtlIoOutput, IoOutputText(output), kNotConnectedConfig,
                      DisplayKey("SET_IOOUTPUT_FAILED"));
    return true;
}

void DeviceMaintenance::SendDiscoveryMode(const std::string& key, int mode) {
    const int result = table_->SetDeviceMode(key.c_str(), mode);
    if (result != kTableOk)
        LogMessage("set factory mode IPC %s failed. error = %ld\n", key.c_str(), long{result});
}

bool DeviceMaintenance::SetFactoryMode(const std::vector<int>& rows, bool enable,
                                       MaintenanceForm form, Prompt& prompt) {
    if (!AnyRows(rows, form == MaintenanceForm::kTicked ? kNoTicked : nullptr, prompt))
        return false;
    if (form != MaintenanceForm::kScripted) {
        const QString question =
            GetDisplayString(DisplayKey("MSG_MODE_FACTORY_COMFIRM")) + " " +
            GetDisplayString(enable ? DisplayKey("ENABLE") : DisplayKey("STRING_CLOSE")) + "?";
        if (!prompt.AskYesNoText(question, kConfirmCaption))
            return false;
    }
    const int mode = enable ? 0 : 1;  // the cameras' own numbering
    for (int row : rows) {
        int handle = 0;
        if (CheckDevice(*model_, row, kNotConnectedConfig, &handle) != StepCheck::kReady)
            continue;
        RunBlocking(
            row,
            [control = calls_.systemControl, handle, mode] {
                return control(handle, kCtlFactoryMode, FactoryModeText(mode));
            },
            [this, mode](const std::string& key, int result) {
                if (result != 0) {
                    LogMessage("set factory mode IPC %s failed. error = %ld\n", key.c_str(),
                               long{result});
                    SetJobByKey(key, JobPhase::kFailed, nullptr);
                    return;
                }
                SendDiscoveryMode(key, mode);
                FinishQuietly(key);
            });
    }
    return true;
}

bool DeviceMaintenance::PixelMaintenance(const std::vector<int>& rows, int preset, Prompt& prompt) {
    if (!AnyRows(rows, kNoTicked, prompt))
        return false;
    // The summary comes when the last camera's answer is in.
    struct Tally {
        int waiting = 0;
        int succeeded = 0;
    };
    auto tally = std::make_shared<Tally>();
    const auto done = [tally, preset, &prompt] {
        if (--tally->waiting == 0)
            prompt.ShowText(PixelSummaryText(preset, tally->succeeded), DisplayKey("Tips"),
                            PromptIcon::kInformation);
    };
    ++tally->waiting;  // held until every call went out
    for (int row : rows) {
        int handle = 0;
        if (CheckDevice(*model_, row, kNotConnectedConfig, &handle) != StepCheck::kReady)
            continue;
        ++tally->waiting;
        RunBlocking(
            row, [ptz = calls_.ptzPreset, handle, preset] { return ptz(handle, 8, preset); },
            [this, tally, done](const std::string& key, int result) {
                if (result == 0) {
                    ++tally->succeeded;
                    FinishQuietly(key);
                } else {
                    SetJobByKey(key, JobPhase::kFailed, DisplayKey("SET_PRESET_FAILED"));
                }
                done();
            });
    }
    done();
    return true;
}

bool DeviceMaintenance::Snapshot(const std::vector<int>& rows, MaintenanceForm form,
                                 Prompt& prompt) {
    if (!AnyRows(rows, form == MaintenanceForm::kTicked ? kNoTicked : nullptr, prompt))
        return false;
    for (int row : rows) {
        DeviceRecord* record = model_->Record(row);
        if (record == nullptr)
            continue;
        if (record->snapshotPending != 0) {
            SetJob(row, JobPhase::kFailed, DisplayKey("SNAPPING_WAIT"));
            continue;
        }
        int handle = 0;
        if (CheckDevice(*model_, row, kNotConnectedCommand, &handle) != StepCheck::kReady)
            continue;
        // Pending from the request on: the camera's alarm follows its answer at once and may
        // be handled before the answer's result comes back from the worker.
        record->snapshotPending = 1;
        record->snapshotTime = now_().toSecsSinceEpoch();
        RunBlocking(
            row,
            [control = calls_.systemControl, handle] {
                return control(handle, kCtlSnapshot, SnapshotText());
            },
            [this](const std::string& key, int result) {
                const int at = model_->FindRowByKey(key.c_str());
                if (result != 0) {
                    if (at >= 0)
                        model_->Record(at)->snapshotPending = 0;
                    SetJobByKey(key, JobPhase::kFailed, DisplayKey("SNAPPIC_REQFAIL"));
                    return;
                }
                // The picture's download may have shown its key already: keep it.
                const DeviceRecord* r = at >= 0 ? model_->Record(at) : nullptr;
                SetJobByKey(
                    key, JobPhase::kDone,
                    r != nullptr && r->snapshotPending != 0 ? DisplayKey("SNAPPIC") : nullptr);
            });
    }
    return true;
}

bool DeviceMaintenance::SetP2p(const std::vector<int>& rows, bool enable, Prompt& prompt) {
    if (!AnyRows(rows, kNoTicked, prompt))
        return false;
    return WriteDocument(rows, kCmdSetP2p, P2pDocument(enable), DisplayKey("SET_FAILED"));
}

}  // namespace camfleet
