// camfleet-cli search: runs the discovery search for a few seconds and prints the cameras.

#include <algorithm>
#include <cstdio>

#include "cli/command.h"
#include "cli/search_options.h"
#include "cli/search_output.h"
#include "devicelist/cell_sort_key.h"
#include "devicelist/device_row_text.h"

namespace camfleet::cli {

namespace {

// Sorts the answers by the text of the asked column as the list shows it (stable: equal
// cells keep the table's serial-number order).
void SortAnswers(const SearchOptions& a, std::vector<SearchAnswer>* answers) {
    if (a.sortColumn < 0)
        return;
    std::vector<std::pair<CellSortKey, SearchAnswer>> keyed;
    keyed.reserve(answers->size());
    for (const SearchAnswer& answer : *answers)
        keyed.emplace_back(CellSortKey(DeviceRowCells(answer)[a.sortColumn]), answer);
    std::stable_sort(keyed.begin(), keyed.end(), [&](const auto& x, const auto& y) {
        const int c = CompareSortKeys(x.first, y.first);
        return a.sortOrder == Qt::AscendingOrder ? c < 0 : c > 0;
    });
    for (std::size_t i = 0; i < keyed.size(); ++i)
        (*answers)[i] = keyed[i].second;
}

int RunSearch(const QStringList& args) {
    SearchOptions a;
    QString error;
    if (!ParseSearchOptions(args, &a, &error))
        return Fail("search", error, 2);
    CliSession session;
    int status = 0;
    if (!session.Start(a, false, &error, &status))
        return Fail("search", error, status);
    session.SearchUntil([](qint64) { return false; }, a.seconds);
    std::vector<SearchAnswer> answers = session.fleet().Table().Snapshot();
    SortAnswers(a, &answers);
    const QByteArray out = a.json ? FormatJson(answers) : FormatTable(answers);
    std::fwrite(out.constData(), 1, out.size(), stdout);
    return 0;
}

const CommandRegistration searchCommand(
    "search",
    "search [--lab N | --loopback] [--adapter ADDR] [--seconds S] [--sort COLUMN[:desc]] [--json]",
    "search the LAN (or a lab of simulated cameras) and list the cameras", RunSearch);

}  // namespace
}  // namespace camfleet::cli
