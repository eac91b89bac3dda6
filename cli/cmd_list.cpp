// camfleet-cli list: searches, logs every camera in through the device SDK and prints the
// device list as the window shows it, with the state and version columns.

#include <cstdio>

#include "cli/command.h"
#include "cli/search_options.h"
#include "cli/search_output.h"

namespace camfleet::cli {

namespace {

constexpr int kDefaultSeconds = 10;

int RunList(const QStringList& args) {
    SearchOptions a;
    a.seconds = kDefaultSeconds;
    QString error;
    if (!ParseSearchOptions(args, &a, &error))
        return Fail("list", error, 2);
    CliSession session;
    int status = 0;
    if (!session.Start(a, true, &error, &status))
        return Fail("list", error, status);
    DeviceListModel& model = session.model();
    // A lab says how many cameras to wait for; on a LAN the search gets two seconds.
    const bool lab = a.labCameras > 0;
    const int expected = lab ? a.labCameras : 1;
    const int minimumMs = lab ? 1000 : 2000;
    session.SearchUntil(
        [&](qint64 elapsedMs) {
            return elapsedMs >= minimumMs && AllLoginsSettled(model, expected);
        },
        a.seconds);
    SortAsAsked(a, model);
    const QByteArray out = FormatList(model, a.json);
    std::fwrite(out.constData(), 1, out.size(), stdout);
    return 0;
}

const CommandRegistration listCommand(
    "list",
    "list [--lab N | --loopback] [--adapter ADDR] [--seconds S] [--sort COLUMN[:desc]] [--json]",
    "search, log every camera in and print the list with state and version", RunList);

}  // namespace
}  // namespace camfleet::cli
