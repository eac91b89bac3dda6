// The window's address commands over a listed lab with a fixed PC network, a scripted probe
// and a fixed neighbour table: the IP dialog's fields and rules, the conflict check's colours,
// the batch button's menu, and edit, free address and numbering ending with the camera listed
// at its new address and logged in again. Last, a dialog destroyed while its probes run, and
// the window closed while its free address search waits on a probe that only a stop ends:
// both return and leave no thread of theirs behind.

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "app/ip_commands.h"
#include "app/list_commands.h"
#include "device/codes.h"
#include "dialogs/dialog_ip_setting.h"
#include "operations/ip_fakes.h"
#include "resources/display_strings.h"
#include "tests/app/window_fixture.h"
#include "thread_list.h"
#include "widgets/report_ctrl.h"

namespace camfleet {

namespace {

// The fake probe with its sets guarded, so the test may change them between checks. Busy
// addresses answer every probe, late ones only the confirmation. Each probe takes `delayMs`.
class LockedProbe : public AddressProbe {
public:
    int Probe(uint32_t address) override {
        ++probes;
        ++active;
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs.load()));
        const bool answers = Has(busy, address);
        --active;
        return answers ? kProbeInUse : kProbeUnused;
    }
    int Confirm(uint32_t address, std::stop_token) override {
        return Has(late, address) ? kProbeInUse : Probe(address);
    }
    void SetBusy(std::set<uint32_t> addresses, std::set<uint32_t> lateAddresses = {}) {
        std::lock_guard lock(mutex);
        busy = std::move(addresses);
        late = std::move(lateAddresses);
    }
    std::atomic<int> delayMs{0};
    std::atomic<int> probes{0};
    std::atomic<int> active{0};  // probes running now

private:
    bool Has(const std::set<uint32_t>& set, uint32_t address) {
        std::lock_guard lock(mutex);
        return set.count(address) != 0;
    }
    std::mutex mutex;
    std::set<uint32_t> busy;
    std::set<uint32_t> late;
};

// Every host is silent to the quick probe, and the confirmation of the one chosen waits until
// the search is stopped (20 s at most). Records the threads that probed.
class StopWaitingProbe : public AddressProbe {
public:
    int Probe(uint32_t) override {
        Record();
        return kProbeUnused;
    }
    int Confirm(uint32_t, std::stop_token stop) override {
        Record();
        waiting = true;
        for (int i = 0; i < 20000 && !stop.stop_requested(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        endedByStop = stop.stop_requested();
        waiting = false;
        return kProbeUnused;
    }
    std::set<pid_t> Threads() {
        std::lock_guard lock(mutex);
        return threads;
    }
    std::atomic<bool> waiting{false};
    std::atomic<bool> endedByStop{false};

private:
    void Record() {
        std::lock_guard lock(mutex);
        threads.insert(testing::CurrentThreadId());
    }
    std::mutex mutex;
    std::set<pid_t> threads;
};

}  // namespace

class WindowIpTest : public QObject {
    Q_OBJECT

private:
    static constexpr int kCameras = 3;
    std::unique_ptr<sim::SimLab> lab_;
    uint16_t port_ = 0;
    RecordingPrompt prompt_;
    ScriptedPrompt keys_;
    std::unique_ptr<CRoRudAzovorErarDlg> window_;
    std::shared_ptr<LockedProbe> probe_ = std::make_shared<LockedProbe>();
    std::shared_ptr<testing::FakeNeighbours> neighbours_ =
        std::make_shared<testing::FakeNeighbours>();
    AddressChecks checks_{probe_, neighbours_};

    IpCommands* Ip() { return window_->Ip(); }
    int RowOf(const std::string& serial) { return window_->Model().FindRowByKey(serial.c_str()); }
    // The camera of `serial` is listed at `ip`, logged in with its version read.
    bool ListedAt(const std::string& serial, const QString& ip) {
        const int row = RowOf(serial);
        const DeviceRecord* r = window_->Model().Record(row);
        return r != nullptr && QString::fromLatin1(r->answer.network.ipAddress) == ip &&
               r->loggedIn != 0 && !window_->Model().CellText(row, kColumnVersion).isEmpty();
    }
    void Select(int row) {
        window_->List()->clearSelection();
        for (int v = 0; v < window_->List()->model()->rowCount(); ++v)
            if (window_->List()->SourceRowAt(v) == row)
                window_->List()->selectRow(v);
    }
    std::string Serial(int camera) { return lab_->Snapshot(camera).profile.serialNumber; }

private slots:
    void initTestCase() {
        lab_ = StartLab(kCameras, &port_);
        window_ = std::make_unique<CRoRudAzovorErarDlg>(LabWindowOptions(port_, &prompt_));
        auto network = std::make_unique<testing::FakeNetwork>();
        network->outgoing = {{testing::Ip("127.0.60.1")},
                             {{testing::Ip("127.0.60.100"), testing::Ip("255.255.255.0")}}};
        network->local = {{testing::Ip("127.0.60.100"), testing::Ip("255.255.255.0")}};
        Ip()->SetNetworkSource(std::move(network));
        Ip()->SetProbe(probe_);
        Ip()->SetNeighbourTable(neighbours_);
        window_->show();
        StartUsersSearch(*window_);
        QVERIFY(DriveSearch(*window_, [&] { return AllListedAndLoggedIn(*window_, kCameras); }));
    }

    void cleanupTestCase() {
        window_.reset();
        lab_.reset();
    }

    void dialogFieldsAndOkRule() {
        NetworkSettings v{false, "192.168.1.250", "255.255.255.0", "192.168.1.1", "8.8.8.8", ""};
        CDialogIpSetting dialog(v, true, 7, checks_, keys_);
        QVERIFY(dialog.EndLabel()->isEnabled());
        QCOMPARE(dialog.EndEdit()->text(), QString("192.168.2.2"));  // .255 and 2.0 skipped
        dialog.StartEdit()->setText("192.168.1.10");
        QCOMPARE(dialog.EndEdit()->text(), QString("192.168.1.16"));
        dialog.DhcpBox()->setChecked(true);
        for (QLineEdit* e : {dialog.StartEdit(), dialog.EndEdit(), dialog.GatewayEdit(),
                             dialog.MaskEdit(), dialog.Dns1Edit(), dialog.Dns2Edit()})
            QVERIFY(!e->isEnabled());
        dialog.DhcpBox()->setChecked(false);
        QVERIFY(dialog.StartEdit()->isEnabled());

        struct Case {
            const char* start;
            const char* gateway;
            bool accepted;
        } cases[] = {{"192.168.1.255", "192.168.1.1", false},
                     {"192.168.1.9", "192.168.3.1", false},
                     {"192.168.1.250", "192.168.1.1", true}};
        for (const Case& c : cases) {
            keys_ = ScriptedPrompt();
            dialog.StartEdit()->setText(c.start);
            dialog.GatewayEdit()->setText(c.gateway);
            dialog.accept();
            QCOMPARE(dialog.result() == QDialog::Accepted, c.accepted);
            QCOMPARE(dialog.Cancelled(), !c.accepted);
            QCOMPARE(keys_.MessageKeys(), c.accepted ? QStringList() : QStringList{"MSGTIP46"});
        }
        QCOMPARE(dialog.Values().ip, std::string("192.168.1.250"));

        CDialogIpSetting single(v, false, 1, checks_, keys_);
        QVERIFY(!single.EndLabel()->isEnabled());
    }

    void conflictCheckShowsRedOrGreen() {
        NetworkSettings v{false, "10.0.0.10", "255.255.255.0", "10.0.0.1", "", ""};
        CDialogIpSetting dialog(v, true, 3, checks_, keys_);
        QSignalSpy done(&dialog, &CDialogIpSetting::checkFinished);
        struct Case {
            const char* name;
            std::set<uint32_t> busy, late, neighbours;
            int result;
        } cases[] = {
            {"answers the quick probe", {testing::Ip("10.0.0.12")}, {}, {}, 0},
            {"answers only the slower confirmation", {}, {testing::Ip("10.0.0.11")}, {}, 0},
            {"has a neighbour entry", {}, {}, {testing::Ip("10.0.0.10")}, 0},
            {"all just past the range",
             {testing::Ip("10.0.0.13")},
             {testing::Ip("10.0.0.13")},
             {testing::Ip("10.0.0.13")},
             1},
        };
        for (const Case& c : cases) {
            probe_->SetBusy(c.busy, c.late);
            neighbours_->Set(c.neighbours);
            QTest::mouseClick(dialog.CheckButton(), Qt::LeftButton);
            QVERIFY2(done.wait(10000), c.name);
            QVERIFY2(dialog.CheckResult() == c.result, c.name);
            QCOMPARE(dialog.CheckLabel()->text(),
                     GetDisplayString(c.result == 0 ? "IP_CONFLICT" : "IP_NOCONFLICT"));
            QVERIFY2(dialog.CheckLabel()->styleSheet().contains(c.result == 0 ? "red" : "green"),
                     c.name);
        }
        probe_->SetBusy({});
        neighbours_->Set({});
    }

    void menusOfferTheAddressCommands() {
        QList<int> ids;
        for (QAction* a : Ip()->BatchMenu()->actions())
            ids << a->data().toInt();
        QCOMPARE(ids, (QList<int>{kIdDhcp, kIdNumberIp}));
        ids.clear();
        for (QAction* a : window_->ListCommands()->ContextMenu()->actions())
            if (!a->isSeparator())
                ids << a->data().toInt();
        QVERIFY(ids.contains(kIdEditIp) && ids.contains(kIdFreeIp));
        QCOMPARE(Ip()->BatchButton()->text(), GetDisplayString("ID_BATCH_IP"));

        window_->Model().SetAllChecked(false);
        prompt_.messages.clear();
        Ip()->SwitchToDhcp();
        QCOMPARE(prompt_.messages.size(), size_t(1));
        QCOMPARE(prompt_.messages[0].text, GetDisplayString("MSGTIP15"));
    }

    void editedCameraComesBackAtItsNewAddress() {
        const std::string serial = Serial(0);
        Select(RowOf(serial));
        QString shownMask;
        Ip()->SetDialogRunner([&](CDialogIpSetting& dialog) {
            shownMask = dialog.MaskEdit()->text();
            dialog.StartEdit()->setText("127.0.60.40");
            dialog.accept();
            return dialog.result() == QDialog::Accepted;
        });
        Ip()->EditDevice();
        QCOMPARE(shownMask, QString::fromLatin1(lab_->Snapshot(0).profile.netmask.c_str()));
        QCOMPARE(window_->Model().CellText(RowOf(serial), kColumnIp), QString("127.0.60.40"));
        QVERIFY(DriveSearch(*window_, [&] { return ListedAt(serial, "127.0.60.40"); }));
        QCOMPARE(QString::fromStdString(lab_->Snapshot(0).profile.ipAddress), "127.0.60.40");
    }

    void freeAddressSkipsAnsweringHostsAndListedCameras() {
        const std::string serial = Serial(1);
        Select(RowOf(serial));
        // .2 and .3 are lab cameras in the device table; .4 answers the probe.
        probe_->SetBusy({testing::Ip("127.0.60.4")});
        QSignalSpy done(Ip(), &IpCommands::freeAddressDone);
        Ip()->AssignFreeAddress();
        QVERIFY(Ip()->FreeSearchRunning());
        QVERIFY(done.wait(10000));
        QCOMPARE(done.first().first().toInt(), 0);
        QVERIFY(DriveSearch(*window_, [&] { return ListedAt(serial, "127.0.60.5"); }));
        probe_->SetBusy({});
    }

    void numberingTickedCamerasSavesTheStart() {
        window_->Model().SetAllChecked(false);
        window_->Model().SetChecked(RowOf(Serial(0)), true);
        window_->Model().SetChecked(RowOf(Serial(2)), true);
        NetworkSettings opened;
        Ip()->SetDialogRunner([&](CDialogIpSetting& dialog) {
            opened = dialog.Values();
            dialog.StartEdit()->setText("127.0.60.70");
            dialog.accept();
            return dialog.result() == QDialog::Accepted;
        });
        Ip()->NumberDevices();
        QCOMPARE(opened.gateway, std::string("127.0.60.1"));
        QCOMPARE(window_->Settings().firstAssignAddress, QString("127.0.60.70"));
        // Numbered in list order.
        std::string first = Serial(0), second = Serial(2);
        if (RowOf(second) < RowOf(first))
            std::swap(first, second);
        QVERIFY(DriveSearch(*window_, [&] {
            return ListedAt(first, "127.0.60.70") && ListedAt(second, "127.0.60.71");
        }));
        window_->Model().SetAllChecked(false);
    }

    void numberingFollowsTheOrderOnScreen() {
        CReportCtrl* list = window_->List();
        list->SortByHeaderClick(kColumnIp);
        list->SortByHeaderClick(kColumnIp);  // descending
        QCOMPARE(list->SortOrder(), Qt::DescendingOrder);
        std::vector<std::string> shown;
        for (int v = 0; v < kCameras; ++v)
            shown.push_back(window_->Model().Record(list->SourceRowAt(v))->key);
        window_->Model().SetAllChecked(true);
        AcceptDialogWithStart("127.0.60.80");
        Ip()->NumberDevices();
        // The addresses go down the screen in the order the rows were shown.
        QVERIFY(DriveSearch(*window_, [&] {
            return ListedAt(shown[0], "127.0.60.80") && ListedAt(shown[1], "127.0.60.81") &&
                   ListedAt(shown[2], "127.0.60.82");
        }));
        window_->Model().SetAllChecked(false);
    }

    // From here on the search is stopped, as it is a few seconds after the window opens: only
    // the follow-up timer ticks.
    void movedWhileTheSearchIsStoppedComesBackLoggedIn() {
        window_->Search()->Stop();
        QVERIFY(!window_->Search()->IsSearching());
        const std::string serial = Serial(1);
        Select(RowOf(serial));
        AcceptDialogWithStart("127.0.60.90");
        Ip()->EditDevice();
        QVERIFY(DriveFollowUp([&] { return ListedAt(serial, "127.0.60.90"); }));
        QVERIFY(!window_->Search()->IsSearching());
        // Once nothing is awaited any more, the search thread stops listening again.
        QVERIFY(DriveFollowUp([&] {
            return !window_->Table().PendingMoveCount() && !window_->Search()->IsFollowing();
        }));
    }

    void aCameraThatIgnoresTheSettingsShowsItsRealAddressAgain() {
        const std::string serial = Serial(2);
        const QString before = QString::fromStdString(lab_->Snapshot(2).profile.ipAddress);
        lab_->SetIgnoreNetworkCommands(2, true);
        window_->Table().SetMoveTimeouts({std::chrono::seconds(2), std::chrono::milliseconds(300)});
        Select(RowOf(serial));
        AcceptDialogWithStart("127.0.60.95");
        Ip()->EditDevice();
        QCOMPARE(window_->Model().CellText(RowOf(serial), kColumnIp), QString("127.0.60.95"));
        QVERIFY(DriveFollowUp([&] {
            return window_->Model().CellText(RowOf(serial), kColumnState) ==
                   GetDisplayString("NETWORK_NOT_APPLIED");
        }));
        QCOMPARE(window_->Model().CellText(RowOf(serial), kColumnIp), before);
        QVERIFY2(ListedAt(serial, before), "the old session goes on");
        lab_->SetIgnoreNetworkCommands(2, false);
        window_->Table().SetMoveTimeouts({});
    }

    void dialogDestroyedMidCheckLeavesNoProbeRunning() {
        const int threads = testing::ThreadCount();
        probe_->delayMs = 300;  // 100 quick probes, 64 at a time: two rounds
        auto dialog = std::make_unique<CDialogIpSetting>(
            NetworkSettings{false, "10.0.0.10", "255.255.255.0", "10.0.0.1", "", ""}, true, 100,
            checks_, keys_);
        QSignalSpy done(dialog.get(), &CDialogIpSetting::checkFinished);
        dialog->StartCheck();
        QVERIFY(QTest::qWaitFor([&] { return probe_->active > 0; }, 10000));
        QElapsedTimer clock;
        clock.start();
        dialog.reset();
        const qint64 closeMs = clock.elapsed();
        QCOMPARE(probe_->active.load(), 0);
        QVERIFY2(closeMs < 1000, qPrintable(QString("took %1 ms").arg(closeMs)));
        QVERIFY(testing::ThreadCountFallsTo(threads));
        const int probes = probe_->probes;
        QTest::qWait(400);
        QCOMPARE(probe_->probes.load(), probes);
        QCOMPARE(done.count(), 0);
        probe_->delayMs = 0;
    }

    // Last: the window is closed for good.
    void closingTheWindowMidSearchLeavesNoThreadOfIt() {
        const int before = testing::ThreadCount();
        auto probe = std::make_shared<StopWaitingProbe>();
        Ip()->SetProbe(probe);
        Select(RowOf(Serial(1)));
        QSignalSpy done(Ip(), &IpCommands::freeAddressDone);
        Ip()->AssignFreeAddress();
        QVERIFY(QTest::qWaitFor([&] { return probe->waiting.load(); }, 10000));
        const std::set<pid_t> searchThreads = probe->Threads();
        QVERIFY(!searchThreads.empty());
        QVERIFY(!searchThreads.count(testing::CurrentThreadId()));

        window_->close();
        QVERIFY2(probe->endedByStop, "closing the window did not stop the search");
        QVERIFY(!probe->waiting);
        QVERIFY(!Ip()->FreeSearchRunning());
        QVERIFY2(testing::ThreadsGone(searchThreads), "a thread of the search outlived the window");
        QVERIFY(testing::ThreadCountFallsTo(before));
        QTest::qWait(100);
        QCOMPARE(done.count(), 0);
    }

private:
    // The IP dialog, when the window opens it, gets `start` as its start address and OK.
    void AcceptDialogWithStart(const QString& start) {
        Ip()->SetDialogRunner([start](CDialogIpSetting& dialog) {
            dialog.StartEdit()->setText(start);
            dialog.accept();
            return dialog.result() == QDialog::Accepted;
        });
    }

    // Drives only the follow-up timer (the one that runs while no search does) until `done`.
    bool DriveFollowUp(const std::function<bool()>& done) {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > 30000)
                return false;
            window_->Search()->OnFollowUpTick();
            QTest::qWait(50);
        }
        return true;
    }
};

}  // namespace camfleet

QObject* NewWindowIpTest() {
    return new camfleet::WindowIpTest;
}

#include "window_ip_test.moc"
