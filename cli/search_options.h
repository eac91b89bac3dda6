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
};

// Parses the options into `options` (whose fields hold the defaults); false with `error` on
// a usage error.
bool ParseSearchOptions(const QStringList& args, SearchOptions* options, QString* error);

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

// Searches and merges as the window's timers do (a merge every 200 ms, a search request every
// second) until `done(elapsed milliseconds)` holds or `seconds` passed, then merges once more.
void SearchAndMergeUntil(SearchSession& session, DeviceListSync& sync,
                         const std::function<bool(qint64 elapsedMs)>& done, int seconds);

// Prints "camfleet-cli COMMAND: MESSAGE" to stderr and returns `status`.
int Fail(const char* command, const QString& message, int status);

}  // namespace camfleet::cli
