// The list merge calls the SDK, the print-mode and boot-loader hooks and the model's observers
// without the device table lock: whatever they do with the table, the merge goes on, and the
// search thread stores answers meanwhile. Each case runs on a thread of its own with a time
// limit, so a merge that blocks fails the case instead of hanging the suite.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "discovery/device_table.h"
#include "discovery/recording_sender.h"
#include "operations/device_list_sync.h"
#include "operations/list_fixture.h"

namespace camfleet {
namespace {

using namespace std::chrono_literals;
using testing::Answer;

// A table and a list made, used and destroyed on the thread the case runs on.
struct MergeWorld {
    RecordingSender sender;
    DeviceTable table{&sender};
    DeviceListModel model;
    DeviceListSync sync{&table, &model};

    void Store(const char* serial, const char* p2p = "") {
        SearchAnswer a = Answer(serial, "10.0.0.1");
        CopyField(a.p2pId, p2p);
        table.StoreDeviceAnswer(a, "127.0.0.1");
    }
};

// Runs `run` on a new thread and waits for it. A thread that has not finished within `limit`
// is stuck on a lock and can be neither joined nor left behind: the program ends there, which
// fails the case.
void RunWithinLimit(std::chrono::seconds limit, std::function<void(MergeWorld&)> run) {
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    std::jthread worker([&run, &done] {
        {
            MergeWorld world;
            run(world);
        }
        done.set_value();
    });
    if (finished.wait_for(limit) != std::future_status::ready) {
        std::fprintf(stderr, "the merge blocked on the device table lock\n");
        std::_Exit(1);
    }
}

TEST(MergeHooks, HooksLoginsAndModelObserversMayCallTheTable) {
    RunWithinLimit(20s, [](MergeWorld& w) {
        int observed = 0;
        // An observer of the list (the status line) reads the table when a row is born or
        // its state text changes: the failed logins write one.
        auto readTable = [&w, &observed] { observed += w.table.Count() > 0 ? 1 : 0; };
        QObject::connect(&w.model, &DeviceListModel::rowsInserted, readTable);
        QObject::connect(&w.model, &DeviceListModel::dataChanged, readTable);
        int bootLoaderCalls = 0;
        w.sync.bootLoaderHook = [&](const SearchAnswer& entry) {
            SearchAnswer stored;
            EXPECT_EQ(w.table.GetDeviceAnswer(entry.serialNumber, &stored, sizeof stored), 0);
            ++bootLoaderCalls;
        };
        int printed = 0;
        w.sync.printCycle = [&](const SearchAnswer& entry, DeviceRecord*) {
            EXPECT_EQ(w.table.Count(), 3u);
            EXPECT_EQ(w.table.RebootDevice(entry.serialNumber), 0);
            ++printed;
        };
        w.Store("A");
        w.Store("B", "NVSP-B");
        w.sync.SyncDeviceList();  // print mode off: both log in (and fail: no SDK)
        EXPECT_EQ(w.model.CellText(0, kColumnState), kLoginFailedText);
        EXPECT_GT(observed, 0);
        w.Store("C", "NVSP-C");
        w.sync.SetPrintMode(true);
        w.sync.SyncDeviceList();
        EXPECT_EQ(bootLoaderCalls, 5);
        EXPECT_EQ(printed, 2) << "B and C have P2P ids and were not printed yet";
    });
}

TEST(MergeHooks, AnswersAreStoredWhileAHookRuns) {
    RunWithinLimit(20s, [](MergeWorld& w) {
        std::thread searchThread;
        std::future_status storeWhileHooked = std::future_status::deferred;
        w.sync.bootLoaderHook = [&](const SearchAnswer&) {
            if (storeWhileHooked != std::future_status::deferred)
                return;
            auto stored = std::make_shared<std::promise<void>>();
            std::future<void> storedFuture = stored->get_future();
            searchThread = std::thread([&w, stored] {
                w.Store("LATE");
                stored->set_value();
            });
            storeWhileHooked = storedFuture.wait_for(5s);
        };
        w.Store("S1");
        w.sync.SyncDeviceList();
        searchThread.join();
        EXPECT_EQ(storeWhileHooked, std::future_status::ready)
            << "the answer waited for the hook to end";
        EXPECT_EQ(w.model.Count(), 1) << "an answer stored during a merge waits for the next";
        w.sync.SyncDeviceList();
        EXPECT_EQ(w.model.FindRowByKey("LATE"), 1);
    });
}

TEST(MergeHooks, AMergeAskedForOrAClearDoneByAHookLeavesNoStaleRows) {
    RunWithinLimit(20s, [](MergeWorld& w) {
        w.Store("A");
        w.Store("B");
        w.Store("C");
        int hookCalls = 0;
        // A message box in a hook runs the event loop, and with it the merge timer: that
        // merge is skipped, so no entry is merged twice in one tick.
        w.sync.bootLoaderHook = [&](const SearchAnswer&) {
            ++hookCalls;
            w.sync.SyncDeviceList();
        };
        w.sync.SyncDeviceList();
        EXPECT_EQ(hookCalls, 3);
        EXPECT_EQ(w.model.Count(), 3);

        // A new search started from that loop clears the list: the rest of the old table
        // must not come back as rows.
        w.sync.bootLoaderHook = [&](const SearchAnswer& entry) {
            if (std::string(entry.serialNumber) == "B")
                w.sync.RefreshDevices();
        };
        w.sync.SyncDeviceList();
        EXPECT_EQ(w.model.Count(), 0);
        EXPECT_EQ(w.table.Count(), 0u);
        w.Store("C");
        w.sync.SyncDeviceList();
        ASSERT_EQ(w.model.Count(), 1);
        EXPECT_STREQ(w.model.Record(0)->key, "C");

        // The same for a clear during the print cycle: the restore of the cleared camera
        // is not sent.
        w.sync.bootLoaderHook = nullptr;
        w.sync.SetPrintMode(true);
        w.sync.printCycle = [&](const SearchAnswer&, DeviceRecord*) { w.sync.ClearDevices(); };
        w.Store("P", "NVSP-P");
        w.sender.messages.clear();
        w.sync.SyncDeviceList();
        EXPECT_EQ(w.model.Count(), 0);
        for (const auto& m : w.sender.messages)
            EXPECT_NE(m.code, kMsgRestore);
    });
}

}  // namespace
}  // namespace camfleet
