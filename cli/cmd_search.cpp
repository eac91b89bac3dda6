// camfleet-cli search: runs the discovery search for a few seconds and prints the cameras.

#include <cstdio>
#include <memory>
#include <thread>

#include "cli/command.h"
#include "cli/search_output.h"
#include "device/xml_messages.h"
#include "discovery/device_searcher.h"
#include "sim/sim_lab.h"

namespace camfleet::cli {

namespace {

struct SearchArguments {
    int labCameras = 0;  // > 0: start this many simulated cameras in-process
    bool loopback = false;
    QString adapter;
    int seconds = 3;
    bool json = false;
};

// Parses the options; false (with `error`) on a usage error.
bool ParseSearchArguments(const QStringList& args, SearchArguments* a, QString* error) {
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& flag = args[i];
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        if (flag == "--json") {
            a->json = true;
        } else if (flag == "--loopback") {
            a->loopback = true;
        } else if (flag == "--lab" && hasValue) {
            a->labCameras = args[++i].toInt(&ok);
            ok = ok && a->labCameras > 0;
        } else if (flag == "--seconds" && hasValue) {
            a->seconds = args[++i].toInt(&ok);
            ok = ok && a->seconds > 0;
        } else if (flag == "--adapter" && hasValue) {
            a->adapter = args[++i];
        } else {
            ok = false;
        }
        if (!ok) {
            *error = "invalid option " + flag;
            return false;
        }
    }
    if (a->labCameras > 0 && a->loopback)
        *error = "--lab and --loopback exclude each other";
    return error->isEmpty();
}

// Selection for the searcher: 0 = all adapters; false when ADDR is no local adapter.
bool AdapterSelection(const SearchArguments& a, uint32_t* selection) {
    *selection = 0;
    if (a.adapter.isEmpty())
        return true;
    const uint32_t address = ParseAddress(a.adapter.toLatin1().constData());
    const bool lab = a.labCameras > 0 || a.loopback;
    *selection = address;
    return EnumAdapters(lab).count(address) == 1;
}

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

int Fail(const QString& message, int status) {
    std::fprintf(stderr, "camfleet-cli search: %s\n", qPrintable(message));
    return status;
}

int RunSearch(const QStringList& args) {
    SearchArguments a;
    QString error;
    if (!ParseSearchArguments(args, &a, &error))
        return Fail(error, 2);
    uint32_t selection = 0;
    if (!AdapterSelection(a, &selection))
        return Fail("no local adapter " + a.adapter, 1);
    sim::SimLab lab;
    std::string labError;
    sim::LabOptions options;
    options.cameras = a.labCameras;
    if (a.labCameras > 0 && lab.Start(options, &labError) != 0)
        return Fail(QString::fromStdString(labError), 1);
    DeviceTable table;
    DeviceSearcher searcher(table, {.labMode = a.labCameras > 0 || a.loopback});
    table.SetSender(&searcher);
    searcher.SetNetcardSelection(selection);
    Search(searcher, a.seconds);
    const QByteArray out = a.json ? FormatJson(table.Snapshot()) : FormatTable(table.Snapshot());
    std::fwrite(out.constData(), 1, out.size(), stdout);
    return 0;
}

const CommandRegistration searchCommand(
    "search", "search [--lab N | --loopback] [--adapter ADDR] [--seconds S] [--json]",
    "search the LAN (or a lab of simulated cameras) and list the cameras", RunSearch);

}  // namespace
}  // namespace camfleet::cli
