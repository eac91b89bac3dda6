#pragma once
// The fleet session: the one place that owns and wires what every front end needs to find
// cameras and act on them: the device table and the search thread that fills it, the list
// model, the table-to-list merge, the device SDK's lifetime, the answer router and the
// session tracker, the worker pool, and the search's timing. The window, every camfleet-cli
// command and the benches use it; nothing wires these a second time.
//
// Search timing, a state machine driven by three ticks (timers, or the caller with manual
// ticks in tests):
//   stopped   --StartSearch-->  searching   (the list emptied first for a fresh search)
//   searching --merge tick-->   the table merged into the list; the first search of a
//                               session with automatic stop ends on its 27th merge tick
//                               unless print mode is on
//   searching --request tick--> one search request (every second)
//   searching --StopSearch-->   stopped     (found cameras stay listed)
//   stopped   --follow-up tick--> while cameras sent new network settings are awaited, the
//                               search thread listens, asks every second and the list is
//                               merged (MoveFollowUp)
//
// Close order (Shutdown, also run by the destructor): search and follow-up stopped, every
// background job stopped and joined, every camera logged out, router and tracker gone, rows
// freed, SDK released.
//
// Thread: the owner's (UI) thread, which runs the Qt event loop.

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>

#include "devicelist/device_list_model.h"
#include "discovery/device_searcher.h"
#include "discovery/device_table.h"
#include "operations/answer_router.h"
#include "operations/config_transfer.h"
#include "operations/device_list_sync.h"
#include "operations/device_login.h"
#include "operations/move_follow_up.h"
#include "operations/picture_downloads.h"
#include "operations/session_tracker.h"
#include "operations/worker.h"

namespace camfleet {

struct FleetOptions {
    SearcherOptions searcher{};  // labMode for a lab of simulated cameras
    bool manualTicks = false;    // the caller drives the ticks (tests)
    bool autoStopFirst = false;  // the first search stops by itself (the window's rule)
    QString snapshotFolder{};    // where alarm pictures go; empty: DefaultSnapshotFolder()
    QString configFolder{};      // where downloaded configurations go; empty: DefaultConfigFolder()
};

// How a search starts the search thread.
enum class SearchStart {
    kFresh,      // a new search: every camera logged out, the table and the list emptied
    kKeepTable,  // listening on: the table, the list and the moves awaited stay
};

class FleetSession : public QObject {
    Q_OBJECT

public:
    static constexpr int kMergePeriodMs = 200;
    static constexpr int kRequestPeriodMs = 1000;
    // The first search stops on the tick after the counter passed this value (the 27th).
    static constexpr int kAutoStopAfter = 25;
    // Background jobs (follow-up queries, transfers) running at once.
    static constexpr int kWorkerThreads = 4;

    explicit FleetSession(FleetOptions options = {}, QObject* parent = nullptr);
    ~FleetSession() override;

    // ---- Device SDK -----------------------------------------------------------------------
    // Starts the SDK (automatic reconnection on), the router and the tracker; false when
    // the SDK does not start. Without it the session searches and lists, with no logins.
    bool StartSdk();
    bool SdkStarted() const { return router_ != nullptr; }
    // The close order above. Idempotent.
    void Shutdown();

    // ---- Search ---------------------------------------------------------------------------
    // Starts searching on `netcard` (0: every adapter).
    void StartSearch(uint32_t netcard = 0, SearchStart start = SearchStart::kFresh);
    void StopSearch();
    bool Searching() const { return searching_; }
    bool AutoStopPending() const { return autoStopPending_; }
    bool MergeTimerRunning() const { return mergeRunning_; }
    bool RequestTimerRunning() const { return requestRunning_; }
    // The search thread listens for a moved camera while no search runs.
    bool Following() const { return followUp_.Following(); }

    // The ticks (timers call them; with manual ticks the caller does).
    void MergeTick();
    void RequestTick();
    void FollowUpTick();

    // Searches and merges as the timers do, in a local event loop, until `done(elapsed
    // milliseconds)` holds or `seconds` passed; then stops the search thread and merges once
    // more. For the CLI and benches (no automatic stop).
    void SearchUntil(const std::function<bool(qint64 elapsedMs)>& done, int seconds,
                     uint32_t netcard = 0, SearchStart start = SearchStart::kFresh);

    // Replaces the list by `answers` (an imported device list): the search stops (true when
    // one ran), every camera is logged out, the table and the list are emptied (ListCleared),
    // each answer goes into the table as if it had come in on adapter "0.0.0.0", and one
    // merge lists them and logs them in with the default account.
    bool ImportDevices(const std::vector<SearchAnswer>& answers);

    // The account new cameras are logged in with, asked for at every merge.
    void SetAccountSource(std::function<LoginAccount()> source) {
        accountSource_ = std::move(source);
    }

    // ---- Parts ----------------------------------------------------------------------------
    DeviceTable& Table() { return table_; }
    DeviceSearcher& Searcher() { return searcher_; }
    DeviceListModel& Model() { return model_; }
    const DeviceListModel& Model() const { return model_; }
    DeviceListSync& Sync() { return sync_; }
    const DeviceListSync& Sync() const { return sync_; }
    WorkerPool& Workers() { return workers_; }
    // Null until StartSdk.
    AnswerRouter* Router() { return router_.get(); }
    SessionTracker* Tracker() { return tracker_.get(); }
    PictureDownloads* Pictures() { return pictures_.get(); }
    ConfigTransfer* Configs() { return configs_.get(); }

signals:
    // Searching began or ended.
    void SearchStateChanged(bool searching);
    // A fresh search emptied the list (before its thread starts).
    void ListCleared();
    // After every merge of the table into the list.
    void Merged();

private:
    void SetSearching(bool on);
    void SetTimers(bool merge, bool request);

    const FleetOptions options_;
    DeviceTable table_;
    DeviceSearcher searcher_;
    DeviceListModel model_;
    DeviceListSync sync_;
    MoveFollowUp followUp_;
    std::function<LoginAccount()> accountSource_;
    QTimer mergeTimer_;
    QTimer requestTimer_;
    QTimer followUpTimer_;
    bool mergeRunning_ = false;
    bool requestRunning_ = false;
    bool searching_ = false;
    bool autoStopPending_ = false;
    int autoStopTicks_ = 0;
    bool sdkInitialised_ = false;
    bool shutDown_ = false;
    // Last: their jobs and subscriptions refer to the members above.
    WorkerPool workers_{kWorkerThreads};
    std::unique_ptr<AnswerRouter> router_;
    std::unique_ptr<SessionTracker> tracker_;
    std::unique_ptr<PictureDownloads> pictures_;
    std::unique_ptr<ConfigTransfer> configs_;
    Subscription defaultConfigs_;
};

// Whether the login of `row` has come to an end (RowState::LoginSettled).
bool LoginSettled(const DeviceListModel& model, int row);
// At least `expected` rows, each LoginSettled.
bool AllLoginsSettled(const DeviceListModel& model, int expected);

}  // namespace camfleet
