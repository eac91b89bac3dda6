#include "operations/firmware_upgrade.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

#include "device/codes.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "operations/batch_targets.h"
#include "operations/firmware_choice.h"
#include "operations/ip_assignment.h"
#include "resources/log.h"

namespace camfleet {

namespace {

int64_t SteadyMs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return clock.elapsed();
}

// A text field of a fixed block, which a camera may fill to its end without a zero.
template <std::size_t N>
QString Field(const char (&field)[N]) {
    return QString::fromUtf8(field, static_cast<qsizetype>(strnlen(field, N)));
}

bool Unfinished(const UpgradeJob& job) {
    return job.phase == JobPhase::kPending || job.phase == JobPhase::kRunning;
}

bool IsFirmwareJob(const UpgradeJob& job) {
    return job.kind == UpgradeKind::kFirmware || job.kind == UpgradeKind::kClearCustom;
}

}  // namespace

UpgradeCalls SdkUpgradeCalls() {
    UpgradeCalls calls;
    calls.upgrade = [](int handle, const QString& path) {
        return QV_NETSDK_IPC_Upgrade(handle, QFile::encodeName(path).constData());
    };
    calls.progress = [](int handle) { return QV_NETSDK_IPC_GetUpgradeProgress(handle); };
    calls.setConfigFile = [](int handle, const QString& path) {
        return QV_NETSDK_IPC_SetConfigFile(handle, QFile::encodeName(path).constData());
    };
    return calls;
}

FirmwareUpgrade::FirmwareUpgrade(DeviceListModel* model, AnswerRouter* router,
                                 SessionTracker* tracker, WorkerPool* pool, UpgradeCalls calls,
                                 bool manualWatch, QObject* parent)
    : QObject(parent),
      model_(model),
      router_(router),
      tracker_(tracker),
      pool_(pool),
      calls_(std::move(calls)),
      manualWatch_(manualWatch),
      now_(SteadyMs),
      toolDirectory_(QCoreApplication::applicationDirPath()) {
    watch_.setInterval(kWatchPeriodMs);
    connect(&watch_, &QTimer::timeout, this, &FirmwareUpgrade::WatchTick);
    // The tracker subscribed first: by the time these run, the state column and the record's
    // upgrading flag already follow the event.
    events_ = router_->OnEvent(AnswerRouter::kAnyKind, AnswerRouter::kAnyHandle,
                               [this](const StatusMessage& m) { OnEvent(m); });
    versions_ = router_->OnAnswer(kCtlFileSystemVersion,
                                  [this](const ResponseMessage& m) { OnVersion(m); });
}

FirmwareUpgrade::~FirmwareUpgrade() = default;

UpgradeJob* FirmwareUpgrade::JobOfRow(int row) {
    const DeviceRecord* record = model_->Record(row);
    if (record == nullptr)
        return nullptr;
    const auto it = jobs_.find(record->key);
    return it == jobs_.end() ? nullptr : &it->second;
}

const UpgradeJob* FirmwareUpgrade::Job(const std::string& key) const {
    const auto it = jobs_.find(key);
    return it == jobs_.end() ? nullptr : &it->second;
}

bool FirmwareUpgrade::AllFinished(bool andReturned, int64_t returnMs) const {
    const int64_t now = Now();
    for (const auto& [key, job] : jobs_) {
        if (Unfinished(job))
            return false;
        if (andReturned && job.phase == JobPhase::kDone && IsFirmwareJob(job) && !job.returned &&
            now - job.endedMs < returnMs)
            return false;
    }
    return true;
}

void FirmwareUpgrade::Fail(int row, UpgradeJob& job, const char* key) {
    job.phase = JobPhase::kFailed;
    job.failKey = key;
    job.endedMs = Now();
    if (DeviceRecord* record = model_->Record(row); record && IsFirmwareJob(job))
        record->upgrading = 0;
    model_->SetJobState(row, OperationKind::kUpgrade, {JobPhase::kFailed, -1, key});
    emit jobChanged(row);
}

// Steps of one device: not logged in, nothing; no handle, "MSGTIP19"; already upgrading,
// skipped (a second image must not be pushed while the first is written); then the upload.
bool FirmwareUpgrade::Step(int row, const QString& path, UpgradeKind kind) {
    int handle = 0;
    if (CheckDevice(*model_, row, kNotConnectedUpgrade, &handle) != StepCheck::kReady)
        return false;
    DeviceRecord* record = model_->Record(row);
    if (record->upgrading != 0) {
        LogMessage("upgrade of %s skipped: it is upgrading already\n", record->key);
        return false;
    }
    UpgradeJob job;
    job.kind = kind;
    job.path = path;
    job.oldVersion = Field(record->firmwareVersion);
    job.startedMs = job.lastMoveMs = Now();
    const int result = calls_.upgrade(handle, path);
    if (result != 0) {
        LogMessage("upgrade of %s with %s not started: %d\n", record->key,
                   path.toUtf8().constData(), result);
        UpgradeJob& stored = jobs_[record->key] = job;
        Fail(row, stored, kUpgradeNotStartedKey);
        return false;
    }
    record->upgrading = 1;
    jobs_[record->key] = job;
    model_->SetJobState(row, OperationKind::kUpgrade, {JobPhase::kPending, -1, kUpgradeStartedKey});
    emit jobChanged(row);
    return true;
}

bool FirmwareUpgrade::StartRun(const std::vector<int>& rows, Prompt& prompt, bool watch) {
    if (rows.empty()) {
        prompt.ShowMessage(kNoUpgradeTargetKey, kErrorCaption, PromptIcon::kError);
        return false;
    }
    if (watch)
        tracker_->SetUpgradeRunning(true);
    StartWatch();
    return true;
}

bool FirmwareUpgrade::UpgradeFile(const QString& path, const std::vector<int>& rows,
                                  Prompt& prompt) {
    if (tracker_->UpgradeRunning()) {
        prompt.ShowMessage(kUpgradeRunningKey, kErrorCaption, PromptIcon::kError);
        return false;
    }
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        prompt.ShowMessage(kFirmwareMissingKey, kErrorCaption, PromptIcon::kError);
        return false;
    }
    for (int row : rows)
        Step(row, path, UpgradeKind::kFirmware);
    return StartRun(rows, prompt, true);
}

bool FirmwareUpgrade::UpgradeDirectory(const QString& directory, const std::vector<int>& rows,
                                       Prompt& prompt) {
    if (tracker_->UpgradeRunning()) {
        prompt.ShowMessage(kUpgradeRunningKey, kErrorCaption, PromptIcon::kError);
        return false;
    }
    if (directory.trimmed().isEmpty()) {
        prompt.ShowMessage(kNoDirectoryKey, kErrorCaption, PromptIcon::kError);
        return false;
    }
    for (int row : rows) {
        const DeviceRecord* record = model_->Record(row);
        if (record == nullptr)
            continue;
        const FirmwareChoice choice = ChooseFirmware(directory, Field(record->answer.deviceType),
                                                     Field(record->firmwareVersion));
        if (choice.miss != FirmwareMiss::kNone) {
            model_->SetStateKey(row, FirmwareMissKey(choice.miss));
            continue;
        }
        Step(row, choice.path, UpgradeKind::kFirmware);
    }
    return StartRun(rows, prompt, true);
}

bool FirmwareUpgrade::ClearCustomConfiguration(const std::vector<int>& rows, Prompt& prompt) {
    if (rows.empty()) {
        prompt.ShowMessage(kNoTargetKey, kErrorCaption, PromptIcon::kError);
        return false;
    }
    if (tracker_->UpgradeRunning()) {
        prompt.ShowMessage(kUpgradeRunningKey, kErrorCaption, PromptIcon::kError);
        return false;
    }
    const QString path = QDir(toolDirectory_).filePath(QString::fromLatin1(kCleanCustomFirmware));
    if (!QFileInfo(path).isFile()) {
        prompt.ShowMessage(kFirmwareMissingKey, kErrorCaption, PromptIcon::kError);
        return false;
    }
    for (int row : rows)
        Step(row, path, UpgradeKind::kClearCustom);
    // No upgrade run is flagged for it; the watch still ends cameras that go silent.
    StartWatch();
    return true;
}

bool FirmwareUpgrade::SetCustomModel(const QString& text, const std::vector<int>& rows,
                                     Prompt& prompt) {
    return UploadModelFile(CustomModelAction::kSet, text, rows, prompt);
}

bool FirmwareUpgrade::RemoveCustomModel(const std::vector<int>& rows, Prompt& prompt) {
    return UploadModelFile(CustomModelAction::kRemove, {}, rows, prompt);
}

bool FirmwareUpgrade::UploadModelFile(CustomModelAction action, const QString& text,
                                      const std::vector<int>& rows, Prompt& prompt) {
    CustomModelFault fault = CustomModelFault::kNone;
    if (action == CustomModelAction::kSet) {
        CustomModelLine(action, text, &fault);
        if (fault != CustomModelFault::kNone) {
            prompt.ShowMessage(kEmptyModelKey, kErrorCaption, PromptIcon::kError);
            return false;
        }
    }
    if (rows.empty()) {
        prompt.ShowMessage(kNoTargetKey, kErrorCaption, PromptIcon::kError);
        return false;
    }
    std::shared_ptr<CustomModelFile> file =
        CustomModelFile::Write(action, text, &fault, temporaryParent_);
    if (!file) {
        LogMessage("custom model file not written (%d)\n", static_cast<int>(fault));
        prompt.ShowMessage(kConfigRefusedKey, kErrorCaption, PromptIcon::kError);
        return false;
    }
    for (int row : rows)
        UploadModelFileTo(row, file);
    return true;
}

// The file stays while any upload still reads it: each job holds it.
void FirmwareUpgrade::UploadModelFileTo(int row, std::shared_ptr<CustomModelFile> file) {
    int handle = 0;
    if (CheckDevice(*model_, row, kConfigNotConnectedKey, &handle) != StepCheck::kReady)
        return;
    const std::string key = model_->Record(row)->key;
    UpgradeJob job;
    job.kind = UpgradeKind::kCustomModel;
    job.path = file->Path();
    job.startedMs = job.lastMoveMs = Now();
    jobs_[key] = job;
    model_->SetJobState(row, OperationKind::kUpgrade, {JobPhase::kPending, -1, nullptr});
    ++uploadsRunning_;
    const auto upload = calls_.setConfigFile;
    const QString path = file->Path();
    pool_->Start([upload, handle, path, file](std::stop_token) { return upload(handle, path); },
                 [this, alive = std::weak_ptr<const int>(alive_), key, file](int result) {
                     if (alive.expired())
                         return;
                     --uploadsRunning_;
                     const int at = model_->FindRowByKey(key.c_str());
                     const auto it = jobs_.find(key);
                     if (it == jobs_.end() || it->second.kind != UpgradeKind::kCustomModel)
                         return;
                     UpgradeJob& done = it->second;
                     done.endedMs = Now();
                     done.phase = result == 0 ? JobPhase::kDone : JobPhase::kFailed;
                     done.failKey = result == 0 ? nullptr : kConfigRefusedKey;
                     if (at >= 0) {
                         model_->SetJobState(
                             at, OperationKind::kUpgrade,
                             {done.phase, -1, result == 0 ? kConfigTakenKey : kConfigRefusedKey});
                         emit jobChanged(at);
                     }
                 });
}

void FirmwareUpgrade::StartWatch() {
    watchActive_ = true;
    if (!manualWatch_ && !watch_.isActive())
        watch_.start();
}

void FirmwareUpgrade::WatchTick() {
    const int64_t now = Now();
    for (auto& [key, job] : jobs_) {
        if (!IsFirmwareJob(job) || !Unfinished(job) || now - job.lastMoveMs < deadlineMs_)
            continue;
        const int row = model_->FindRowByKey(key.c_str());
        LogMessage("upgrade of %s: no progress for %lld ms, given up\n", key.c_str(),
                   static_cast<long long>(now - job.lastMoveMs));
        if (row >= 0)
            Fail(row, job, kUpgradeFailedKey);
        else
            job.phase = JobPhase::kFailed, job.failKey = kUpgradeFailedKey, job.endedMs = now;
    }
    if (tracker_->UpgradeRunning())
        tracker_->UpgradeWatch();
    const bool open = std::any_of(jobs_.begin(), jobs_.end(), [](const auto& entry) {
        return IsFirmwareJob(entry.second) && Unfinished(entry.second);
    });
    watchActive_ = tracker_->UpgradeRunning() || open;
    if (!watchActive_)
        watch_.stop();
}

void FirmwareUpgrade::OnEvent(const StatusMessage& m) {
    if (m.type == kEventCustomModel) {
        OnCustomModelRequest(m);
        return;
    }
    if (m.type != kEventUpgradeProgress && m.type != kEventUpgradeProgress2 &&
        m.type != kEventUpgradeDone && m.type != kEventUpgradeFailed)
        return;
    if (m.type == kEventUpgradeDone && !IsUpgradeReport(m))
        return;  // a default configuration's confirmation
    const int row = model_->FindRowByHandle(m.handle);
    UpgradeJob* job = row >= 0 ? JobOfRow(row) : nullptr;
    if (job == nullptr || !IsFirmwareJob(*job) || !Unfinished(*job))
        return;
    job->lastMoveMs = Now();
    switch (m.type) {
        case kEventUpgradeDone:
            job->phase = JobPhase::kDone;
            job->percent = 100;
            job->endedMs = job->lastMoveMs;
            model_->SetJobState(row, OperationKind::kUpgrade,
                                {JobPhase::kDone, 100, kUpgradeDoneKey});
            break;
        case kEventUpgradeFailed:
            Fail(row, *job, kUpgradeFailedKey);
            return;
        default: {
            const int percent = calls_.progress ? calls_.progress(m.handle) : 0;
            if (percent < 1)
                return;  // below 1 changes nothing
            job->phase = JobPhase::kRunning;
            job->percent = std::min(percent, 100);
            model_->SetJobState(row, OperationKind::kUpgrade,
                                {JobPhase::kRunning, job->percent, DisplayKey("UPLOAD")});
            break;
        }
    }
    emit jobChanged(row);
}

// After a camera restarted with its new image and logged in again, the version query of its
// login's follow-up tells the version it now runs (the tracker copied it into the record
// already). The query of the session that took the image was answered before event 14.
void FirmwareUpgrade::OnVersion(const ResponseMessage& m) {
    const int row = model_->FindRowByHandle(m.handle);
    UpgradeJob* job = row >= 0 ? JobOfRow(row) : nullptr;
    if (job == nullptr || !IsFirmwareJob(*job) || job->phase != JobPhase::kDone || job->returned ||
        m.status != 0)
        return;
    job->returned = true;
    job->returnedMs = Now();
    job->version = Field(model_->Record(row)->firmwareVersion);
    emit jobChanged(row);
}

// Event 24: a logged-in camera whose model does not contain the custom model text gets it.
void FirmwareUpgrade::OnCustomModelRequest(const StatusMessage& m) {
    const QString text = automaticModel_ ? automaticModel_().trimmed() : QString();
    if (text.isEmpty())
        return;
    const int row = model_->FindRowByHandle(m.handle);
    const DeviceRecord* record = row >= 0 ? model_->Record(row) : nullptr;
    if (record == nullptr || !model_->State(row)->LoggedIn() ||
        Field(record->answer.deviceType).contains(text))
        return;
    CustomModelFault fault = CustomModelFault::kNone;
    std::shared_ptr<CustomModelFile> file =
        CustomModelFile::Write(CustomModelAction::kSet, text, &fault, temporaryParent_);
    if (!file) {
        LogMessage("automatic custom model for %s: file not written (%d)\n", record->key,
                   static_cast<int>(fault));
        return;
    }
    UploadModelFileTo(row, std::move(file));
}

}  // namespace camfleet
