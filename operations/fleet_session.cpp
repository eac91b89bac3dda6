#include "operations/fleet_session.h"

#include <QElapsedTimer>
#include <QEventLoop>

#include "device/sdk/qv_netsdk_ipc.h"
#include "device/xml_messages.h"
#include "resources/log.h"

namespace camfleet {

FleetSession::FleetSession(FleetOptions options, QObject* parent)
    : QObject(parent),
      options_(options),
      searcher_(table_, options_.searcher),
      sync_(&table_, &model_),
      followUp_(searcher_, table_),
      autoStopPending_(options.autoStopFirst) {
    table_.SetSender(&searcher_);
    sync_.SetLoginsEnabled(false);  // until the SDK is up
    mergeTimer_.setInterval(kMergePeriodMs);
    requestTimer_.setInterval(kRequestPeriodMs);
    followUpTimer_.setInterval(kMergePeriodMs);
    connect(&mergeTimer_, &QTimer::timeout, this, &FleetSession::MergeTick);
    connect(&requestTimer_, &QTimer::timeout, this, &FleetSession::RequestTick);
    connect(&followUpTimer_, &QTimer::timeout, this, &FleetSession::FollowUpTick);
    if (!options_.manualTicks)
        followUpTimer_.start();
}

FleetSession::~FleetSession() {
    Shutdown();
}

bool FleetSession::StartSdk() {
    if (router_ != nullptr)
        return true;
    if (QV_NETSDK_IPC_Init() != QV_OK)
        return false;
    sdkInitialised_ = true;
    LogMessage("device SDK version 0x%08x, build %u\n", QV_NETSDK_IPC_GetSDKVersion(),
               QV_NETSDK_IPC_GetSDKBuildData());
    sync_.SetLoginsEnabled(true);
    router_ = std::make_unique<AnswerRouter>();
    tracker_ = std::make_unique<SessionTracker>(&model_, router_.get(), &workers_);
    pictures_ = std::make_unique<PictureDownloads>(
        &model_, router_.get(),
        options_.snapshotFolder.isEmpty() ? DefaultSnapshotFolder() : options_.snapshotFolder);
    configs_ = std::make_unique<ConfigTransfer>(
        &model_, router_.get(), &workers_,
        options_.configFolder.isEmpty() ? DefaultConfigFolder() : options_.configFolder);
    defaultConfigs_ =
        tracker_->OnDefaultConfiguration([this](int row) { configs_->PushDefault(row); });
    tracker_->SetUpgradeProgressSource(
        [](int handle) { return QV_NETSDK_IPC_GetUpgradeProgress(handle); });
    QV_NETSDK_IPC_SetAutoReconnect(0, 1);
    return true;
}

void FleetSession::Shutdown() {
    if (shutDown_)
        return;
    shutDown_ = true;
    followUpTimer_.stop();
    SetTimers(false, false);
    searcher_.StopSearchThread();
    searching_ = false;
    workers_.StopAll();
    if (sdkInitialised_)
        QV_NETSDK_IPC_LogoutAll();
    defaultConfigs_ = {};
    configs_.reset();
    pictures_.reset();
    tracker_.reset();
    router_.reset();
    sync_.SetLoginsEnabled(false);
    sync_.ClearDevices();
    if (sdkInitialised_)
        QV_NETSDK_IPC_Cleanup();
    sdkInitialised_ = false;
}

void FleetSession::StartSearch(uint32_t netcard, SearchStart start) {
    if (shutDown_)
        return;
    if (searching_)
        StopSearch();
    searcher_.SetNetcardSelection(netcard);
    bool asking = false;  // the request timer runs while the thread does
    if (start == SearchStart::kFresh) {
        if (sdkInitialised_)
            sync_.RefreshDevices();
        else
            sync_.ClearDevices();
        emit ListCleared();
        asking = searcher_.StartSearch() == 0;
    } else {
        searcher_.StartListening();
        asking = searcher_.IsRunning();
    }
    SetTimers(true, asking);
    SetSearching(true);
}

bool FleetSession::ImportDevices(const std::vector<SearchAnswer>& answers) {
    const bool wasSearching = searching_;
    if (searching_)
        StopSearch();
    if (sdkInitialised_)
        sync_.RefreshDevices();
    else
        sync_.ClearDevices();
    emit ListCleared();
    for (const SearchAnswer& answer : answers)
        table_.StoreDeviceAnswer(answer, "0.0.0.0");
    MergeTick();
    return wasSearching;
}

void FleetSession::StopSearch() {
    // The request timer stops with the thread; a thread that did not stop keeps it.
    const bool stopped = searcher_.StopSearchThread() == 1;
    SetTimers(false, requestRunning_ && !stopped);
    SetSearching(false);
}

void FleetSession::MergeTick() {
    if (accountSource_)
        sync_.SetDefaultAccount(accountSource_());
    sync_.SyncDeviceList();
    emit Merged();
    if (!autoStopPending_ || sync_.PrintMode() || !searching_)
        return;
    if (autoStopTicks_++ > kAutoStopAfter) {
        autoStopTicks_ = 0;
        autoStopPending_ = false;
        StopSearch();
    }
}

void FleetSession::RequestTick() {
    searcher_.SendSearchMessage(kMsgSearch, nullptr, 0);
}

void FleetSession::FollowUpTick() {
    if (searching_ || shutDown_)
        return;
    if (followUp_.Tick())
        MergeTick();
}

void FleetSession::SearchUntil(const std::function<bool(qint64 elapsedMs)>& done, int seconds,
                               uint32_t netcard, SearchStart start) {
    constexpr int kCheckIntervalMs = 50;
    QEventLoop loop;
    QElapsedTimer clock;
    QTimer check;
    connect(&check, &QTimer::timeout, &loop, [&] {
        if (clock.elapsed() >= seconds * 1000 || done(clock.elapsed()))
            loop.quit();
    });
    clock.start();
    StartSearch(netcard, start);
    check.start(kCheckIntervalMs);
    loop.exec();
    StopSearch();
    MergeTick();
}

void FleetSession::SetSearching(bool on) {
    const bool changed = searching_ != on;
    searching_ = on;
    if (changed)
        emit SearchStateChanged(on);
}

void FleetSession::SetTimers(bool merge, bool request) {
    mergeRunning_ = merge;
    requestRunning_ = request;
    const bool timers = !options_.manualTicks;
    if (merge && timers)
        mergeTimer_.start();
    else
        mergeTimer_.stop();
    if (request && timers)
        requestTimer_.start();
    else
        requestTimer_.stop();
}

bool LoginSettled(const DeviceListModel& model, int row) {
    const RowState* state = model.State(row);
    return state != nullptr && state->LoginSettled();
}

bool AllLoginsSettled(const DeviceListModel& model, int expected) {
    if (model.Count() < expected)
        return false;
    for (int row = 0; row < model.Count(); ++row)
        if (!LoginSettled(model, row))
            return false;
    return true;
}

}  // namespace camfleet
