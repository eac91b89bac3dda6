// camfleet-cli search: runs the discovery search for a few seconds and prints the cameras.

#include <chrono>
#include <cstdio>
#include <thread>

#include "cli/command.h"
#include "cli/search_options.h"
#include "cli/search_output.h"
#include "device/xml_messages.h"

namespace camfleet::cli {

namespace {

// Searches for `seconds`, sending one request per second as the window's timer does.
void Search(DeviceSearcher& searcher, int seconds) {
    searcher.StartSearch();
    for (int elapsed = 1; elapsed < seconds; ++elapsed) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        searcher.SendSearchMessage(kMsgSearch, nullptr, 0);
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    searcher.StopSearchThread();
}

int RunSearch(const QStringList& args) {
    SearchOptions a;
    QString error;
    if (!ParseSearchOptions(args, &a, &error))
        return Fail("search", error, 2);
    SearchSession session;
    int status = 0;
    if (!session.Start(a, &error, &status))
        return Fail("search", error, status);
    Search(session.searcher(), a.seconds);
    const std::vector<SearchAnswer> answers = session.table().Snapshot();
    const QByteArray out = a.json ? FormatJson(answers) : FormatTable(answers);
    std::fwrite(out.constData(), 1, out.size(), stdout);
    return 0;
}

const CommandRegistration searchCommand(
    "search", "search [--lab N | --loopback] [--adapter ADDR] [--seconds S] [--json]",
    "search the LAN (or a lab of simulated cameras) and list the cameras", RunSearch);

}  // namespace
}  // namespace camfleet::cli
