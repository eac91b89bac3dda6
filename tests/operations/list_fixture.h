#pragma once
// Shared pieces of the list and engine tests: a device list with records made from answers,
// and display texts that must exist for the state checks to mean anything.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include <cstring>
#include <memory>
#include <string>

#include "device/xml_messages.h"
#include "devicelist/device_list_model.h"
#include "discovery/search_answer.h"
#include "operations/answer_router.h"
#include "operations/session_tracker.h"
#include "operations/worker.h"
#include "qt_application.h"
#include "resources/display_strings.h"

namespace camfleet::testing {

// The SDK's receiving side as the fleet session wires it, for tests of the merge and the
// tracker without a search: the router, the worker pool of the follow-up queries and the
// tracker. Construct after QV_NETSDK_IPC_Init, destroy before QV_NETSDK_IPC_Cleanup.
struct SdkReceiver {
    explicit SdkReceiver(DeviceListModel* model) : tracker(model, &router, &pool) {}
    ~SdkReceiver() { pool.StopAll(); }

    int HandledCount() const { return router.HandledCount(); }
    int DroppedCount() const { return tracker.DroppedCount(); }
    int PendingQueries() const { return tracker.PendingQueries(); }

    AnswerRouter router;
    WorkerPool pool{4};
    SessionTracker tracker;
};

inline SearchAnswer Answer(const char* serial, const char* ip = "127.0.0.1", int port = 1) {
    SearchAnswer a = EmptySearchAnswer();
    CopyField(a.serialNumber, serial);
    CopyField(a.network.ipAddress, ip);
    a.streamAccess.ptzPort = port;
    return a;
}

// Appends a row for `serial` with `handle` and the logged-in flag; returns its index.
inline int AddRow(DeviceListModel& model, const char* serial, int handle, bool loggedIn) {
    auto r = std::make_unique<DeviceRecord>();
    std::memset(r.get(), 0, sizeof *r);
    r->answer = Answer(serial);
    CopyField(r->key, serial);
    r->loggedIn = loggedIn ? 1 : 0;
    const int row = model.AppendRow(std::move(r));
    model.SetLoginHandle(row, handle);
    return row;
}

// The display text of `key`; fails the test when the strings file lacks it (an empty text
// would make every state comparison pass).
inline QString Shown(const char* key) {
    const QString text = GetDisplayString(key);
    EXPECT_FALSE(text.isEmpty()) << key;
    return text;
}

// Runs `script` with sh in a network namespace of its own (the labs answer on discovery port
// 3001, which other tests running at the same time use too) with the programs' folder as
// working directory; returns its standard output and sets `exitStatus`.
inline std::string RunInOwnNamespace(const std::string& script, int* exitStatus) {
    const std::string command = std::string("unshare ") + (getuid() == 0 ? "-n" : "-r -n") +
                                " -- sh -c 'ip link set lo up || exit 1; cd " + CAMFLEET_BIN_DIR +
                                " || exit 1; " + script + "'";
    std::string out;
    *exitStatus = -1;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return out;
    char chunk[4096];
    for (std::size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        out.append(chunk, n);
    const int status = pclose(pipe);
    if (WIFEXITED(status))
        *exitStatus = WEXITSTATUS(status);
    return out;
}

}  // namespace camfleet::testing
