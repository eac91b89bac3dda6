#pragma once
// Options shared by the commands that search first (`search`, `list`, and the operations
// that act on listed cameras): where to search, for how long, and the output form.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "discovery/device_searcher.h"
#include "operations/fleet_session.h"
#include "sim/sim_lab.h"

namespace camfleet::cli {

struct SearchOptions {
    int labCameras = 0;  // > 0: start this many simulated cameras in-process
    bool loopback = false;
    QString adapter;
    int seconds = 3;
    bool json = false;
    // --sort COLUMN[:asc|:desc]: the list sorted as a header click would sort it; -1 keeps
    // the list's order (the order the cameras were listed in).
    int sortColumn = -1;
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
};

// Parses the options into `options` (whose fields hold the defaults); false with `error` on
// a usage error.
bool ParseSearchOptions(const QStringList& args, SearchOptions* options, QString* error);

// The column of a --sort value: a column number (0 to 15), the column's header key ("IP",
// "SN", "VERSIONNUMBER", ...) or the JSON key of its value ("IPADDR", "HTTPPORT", "TYPE",
// "TITLE", "VERSION", "RUNTIME", "ADAPTER", "P2PSTATUS"), any letter case, optionally
// followed by ":asc" or ":desc". False for anything else.
bool ParseSortColumn(const QString& text, int* column, Qt::SortOrder* order);

// The arguments every command that acts on listed cameras shares: SERIAL..., --all and the
// search options. The command looks at each argument first and hands the others here.
class TargetArgs {
public:
    // Takes args[*i] (and its value, moving *i on, for a search option that has one).
    void Take(const QStringList& args, qsizetype* i);
    // Parses the search options into `options` (whose fields hold the command's defaults).
    bool Finish(QStringList* serials, bool* all, SearchOptions* options, QString* error) const;

private:
    QStringList serials_;
    bool all_ = false;
    QStringList searchArgs_;
};

// Selection for the searcher: 0 = all adapters; false when ADDR is no local adapter.
bool AdapterSelection(const SearchOptions& options, uint32_t* selection);

// The lab (when asked for) and the fleet session, set up as the options say.
class CliSession {
public:
    CliSession() = default;
    // Starts the lab, the fleet session and, with `sdk`, the device SDK (logins of the
    // cameras found, with the stored default account); false with `error` (exit status in
    // `status`).
    bool Start(const SearchOptions& options, bool sdk, QString* error, int* status);
    // Where pictures the cameras name go (before Start; empty: DefaultSnapshotFolder()).
    void SetSnapshotFolder(const QString& folder) { snapshotFolder_ = folder; }
    // Where downloaded configurations go (before Start; empty: DefaultConfigFolder()).
    void SetConfigFolder(const QString& folder) { configFolder_ = folder; }

    FleetSession& fleet() { return *fleet_; }
    DeviceListModel& model() { return fleet_->Model(); }

    // Searches and merges as the window's timers do (FleetSession::SearchUntil) on the
    // adapter asked for.
    void SearchUntil(const std::function<bool(qint64 elapsedMs)>& done, int seconds,
                     SearchStart start = SearchStart::kFresh) {
        fleet_->SearchUntil(done, seconds, netcard_, start);
    }

    // Runs the event loop without searching until `done(elapsed milliseconds)` holds or
    // `seconds` passed.
    void WaitUntil(const std::function<bool(qint64 elapsedMs)>& done, int seconds);

    // Searches until the cameras asked for (`serials`, or with `all` every camera: as many as
    // the lab holds, or at least one after two seconds) are listed with their logins settled,
    // or the options' seconds passed; then sorts the list as --sort asked.
    void SearchForTargets(const QStringList& serials, bool all, const SearchOptions& options);

private:
    sim::SimLab lab_;  // destroyed last: the searcher and the SDK sessions talk to it
    std::unique_ptr<FleetSession> fleet_;
    QString snapshotFolder_;
    QString configFolder_;
    uint32_t netcard_ = 0;
};

// The rows of the cameras asked for, in list order (SelectTargets): every row with `all`,
// else the rows of `serials`; serials without a row go to `unknown`.
std::vector<int> CliTargetRows(const DeviceListModel& model, const QStringList& serials, bool all,
                               QStringList* unknown);

// Sorts `model` as --sort asked (nothing without it).
void SortAsAsked(const SearchOptions& options, DeviceListModel& model);

// Prints "camfleet-cli COMMAND: MESSAGE" to stderr and returns `status`.
int Fail(const char* command, const QString& message, int status);

}  // namespace camfleet::cli
