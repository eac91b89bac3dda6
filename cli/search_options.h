#pragma once
// Options shared by the commands that search first (`search`, `list`, and the operations
// that act on listed cameras): where to search, for how long, and the output form.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

#include "discovery/device_searcher.h"
#include "operations/device_list_sync.h"
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

// Selection for the searcher: 0 = all adapters; false when ADDR is no local adapter.
bool AdapterSelection(const SearchOptions& options, uint32_t* selection);

// The lab (when asked for), the device table and the searcher, set up as `options` say.
class SearchSession {
public:
    SearchSession() = default;
    // Starts the lab and prepares the searcher; false with `error` (exit status in `status`).
    bool Start(const SearchOptions& options, QString* error, int* status);

    DeviceTable& table() { return table_; }
    DeviceSearcher& searcher() { return *searcher_; }

private:
    sim::SimLab lab_;  // destroyed last: the searcher and the SDK sessions talk to it
    DeviceTable table_;
    std::unique_ptr<DeviceSearcher> searcher_;
};

// How SearchAndMergeUntil starts the search thread.
enum class SearchStart {
    kFresh,      // a new search: the device table is emptied first
    kKeepTable,  // listening on: the table, and the moves it awaits, stay
};

// Searches and merges as the window's timers do (a merge every 200 ms, a search request every
// second) until `done(elapsed milliseconds)` holds or `seconds` passed, then merges once more.
void SearchAndMergeUntil(SearchSession& session, DeviceListSync& sync,
                         const std::function<bool(qint64 elapsedMs)>& done, int seconds,
                         SearchStart start = SearchStart::kFresh);

// Sorts `model` as --sort asked (nothing without it).
void SortAsAsked(const SearchOptions& options, DeviceListModel& model);

// Prints "camfleet-cli COMMAND: MESSAGE" to stderr and returns `status`.
int Fail(const char* command, const QString& message, int status);

}  // namespace camfleet::cli
