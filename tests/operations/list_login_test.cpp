// The list merge and the session tracker against simulated cameras in this process: logins,
// refusals, reconnects, address changes, and events and answers reaching their rows.

#include <gtest/gtest.h>

#include <QDir>
#include <QObject>
#include <QTemporaryDir>

#include <cstring>
#include <memory>

#include "device/codes.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "device/sdk/sdk_timing.h"
#include "discovery/device_table.h"
#include "discovery/recording_sender.h"
#include "operations/camera_trust.h"
#include "operations/device_list_sync.h"
#include "operations/device_login.h"
#include "operations/device_restore.h"
#include "operations/fleet_session.h"
#include "operations/list_fixture.h"
#include "resources/save_param.h"
#include "scratch_documents.h"
#include "sdk/sdk_fixture.h"
#include "sim/control_server.h"

namespace camfleet {
namespace {

using testing::ProcessEventsUntil;
using testing::Shown;

class ListLoginTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::EnsureCoreApplication();
        sdk::SetSdkTimingForTesting(testing::FastTiming());
        ASSERT_EQ(QV_NETSDK_IPC_Init(), QV_OK);
        QV_NETSDK_IPC_SetAutoReconnect(0, 1);
        server_.Start();
        engine_ = std::make_unique<testing::SdkReceiver>(&model_);
        QObject::connect(&model_, &DeviceListModel::dataChanged,
                         [this](const QModelIndex& from, const QModelIndex& to) {
                             if (from.column() <= kColumnState && to.column() >= kColumnState)
                                 history_.append(model_.CellText(from.row(), kColumnState));
                         });
    }
    void TearDown() override {
        engine_.reset();
        QV_NETSDK_IPC_Cleanup();
        server_.Stop();
        sdk::SetSdkTimingForTesting(sdk::SdkTiming());
    }

    int AddCamera(const std::string& serial, const std::string& firmware = "V5.2.1") {
        sim::ControlIdentity identity;
        identity.serialNumber = serial;
        identity.firmwareVersion = firmware;
        identity.sdkPort = 0;
        std::string error;
        const int id = server_.AddCamera(identity, {}, &error);
        EXPECT_GE(id, 0) << error;
        return id;
    }
    // The camera's discovery answer reaches the table.
    void Announce(int id, const char* serial, const char* ip = "127.0.0.1") {
        table_.StoreDeviceAnswer(testing::Answer(serial, ip, server_.Port(id)), "127.0.0.1");
    }
    bool WaitState(int row, const char* key) {
        const QString wanted = Shown(key);
        return ProcessEventsUntil([&] { return model_.CellText(row, kColumnState) == wanted; });
    }
    // Logged in with the version shown.
    bool WaitLoggedIn(int row) {
        return ProcessEventsUntil([&] {
            return model_.Record(row)->loggedIn == 1 &&
                   !model_.CellText(row, kColumnVersion).isEmpty();
        });
    }

    sim::ControlServer server_;
    DeviceTable table_;
    DeviceListModel model_;
    DeviceListSync sync_{&table_, &model_};
    std::unique_ptr<testing::SdkReceiver> engine_;
    QStringList history_;  // every state text written, in order
};

TEST_F(ListLoginTest, NewCamerasLogInAndAnswersLandInTheirRows) {
    const int a = AddCamera("SNA", "V1.0.A");
    const int b = AddCamera("SNB", "V2.0.B");
    Announce(a, "SNA");
    Announce(b, "SNB");
    sync_.SyncDeviceList();
    ASSERT_EQ(model_.Count(), 2);
    ASSERT_TRUE(WaitLoggedIn(0));
    ASSERT_TRUE(WaitLoggedIn(1));
    EXPECT_EQ(model_.CellText(0, kColumnState), Shown("MSGTIP1"));
    EXPECT_EQ(model_.CellText(0, kColumnVersion), "V1.0.A");
    EXPECT_EQ(model_.CellText(1, kColumnVersion), "V2.0.B");
    // The follow-up queries of the two rows run side by side: wait for both.
    ASSERT_TRUE(ProcessEventsUntil([&] {
        return model_.Record(0)->sdkSerialNumber[0] != '\0' &&
               model_.Record(1)->sdkSerialNumber[0] != '\0' &&
               model_.Record(1)->answerText[0] != '\0';
    }));
    EXPECT_STREQ(model_.Record(0)->sdkSerialNumber, "SNA");
    EXPECT_STREQ(model_.Record(1)->sdkSerialNumber, "SNB");
    EXPECT_NE(std::string(model_.Record(1)->answerText).find("V2.0.B"), std::string::npos);
    EXPECT_EQ(server_.LoginCount(a), 1);

    // The answer had no version: the next tick stands the SDK's in for it.
    sync_.SyncDeviceList();
    EXPECT_STREQ(model_.Record(0)->answer.version, "V1.0.A");
    EXPECT_EQ(server_.LoginCount(a), 1) << "a known camera is not logged in again";

    // An event for one camera changes only its row; two in a row leave the later text.
    const int handled = engine_->HandledCount();
    server_.EmitEvent(b, QV_EVENT_BUSY, "");
    server_.EmitEvent(b, QV_EVENT_FILE_DONE, "<RESPONSE_PARAM />");
    ASSERT_TRUE(ProcessEventsUntil([&] { return engine_->HandledCount() >= handled + 2; }));
    EXPECT_EQ(model_.CellText(1, kColumnState), Shown("MSGTIP9"));
    EXPECT_EQ(model_.CellText(0, kColumnState), Shown("MSGTIP1"));
    EXPECT_EQ(history_.mid(history_.size() - 2), (QStringList{Shown("MSGTIP5"), Shown("MSGTIP9")}));
}

TEST_F(ListLoginTest, AlarmFromACameraLandsInItsRowsStateColumn) {
    const int a = AddCamera("SNQUIET");
    const int b = AddCamera("SNALARM");
    Announce(a, "SNQUIET");
    Announce(b, "SNALARM");
    sync_.SyncDeviceList();
    ASSERT_TRUE(WaitLoggedIn(0));
    ASSERT_TRUE(WaitLoggedIn(1));
    const int row = model_.FindRowByKey("SNALARM");

    QV_ALARM_INFO alarm;
    std::memset(&alarm, 0, sizeof alarm);
    alarm.alarmType = 5;
    alarm.hour = 23;
    alarm.minute = 4;
    alarm.second = 59;
    std::memset(alarm.alarmText, 'm', sizeof alarm.alarmText);  // fills its field, unterminated
    server_.EmitAlarm(b, alarm);
    const QString shown = "23:04:59 " + Shown("IDS_ALARM") + ":" +
                          QString(static_cast<qsizetype>(sizeof alarm.alarmText), 'm');
    EXPECT_TRUE(ProcessEventsUntil([&] { return model_.CellText(row, kColumnState) == shown; }));

    // Kinds 1 and 2 leave the state as it is; a later alarm shows again.
    alarm.alarmType = kAlarmQuiet1;
    server_.EmitAlarm(b, alarm);
    alarm.alarmType = kAlarmQuiet2;
    server_.EmitAlarm(b, alarm);
    alarm.alarmType = 7;
    alarm.second = 0;
    std::strcpy(alarm.alarmText, "door");
    server_.EmitAlarm(b, alarm);  // events of a session arrive in order
    const QString door = "23:04:00 " + Shown("IDS_ALARM") + ":door";
    EXPECT_TRUE(ProcessEventsUntil([&] { return model_.CellText(row, kColumnState) == door; }));
    EXPECT_EQ(history_.count(shown), 1) << "kinds 1 and 2 wrote no state text";
    EXPECT_EQ(model_.CellText(1 - row, kColumnState), Shown("MSGTIP1")) << "the other row";
}

// As the CLI logs in: with the default account of the settings file, which it never writes.
TEST_F(ListLoginTest, AnswersWithoutAnAccountUseTheStoredDefaultAccount) {
    QTemporaryDir documents;
    ASSERT_TRUE(documents.isValid());
    qputenv("CAMFLEET_DOCUMENTS_DIR", documents.path().toUtf8());
    const LoginAccount factory = StoredDefaultAccount();
    EXPECT_EQ(factory.user, "admin");
    EXPECT_EQ(factory.password, "730418");
    EXPECT_TRUE(QDir(documents.path()).isEmpty()) << "reading the account wrote a file";

    CSaveParam settings;
    settings.defaultUser = "fitter";
    settings.defaultPassword = "pw";
    ASSERT_TRUE(settings.Save());
    sync_.SetDefaultAccount(StoredDefaultAccount());
    camfleet::scratch::RestoreDocuments();
    sim::ControlIdentity identity;
    identity.serialNumber = "SNFIT";
    identity.sdkPort = 0;
    identity.username = "fitter";
    identity.password = "pw";
    std::string error;
    const int fitted = server_.AddCamera(identity, {}, &error);
    ASSERT_GE(fitted, 0) << error;
    const int factoryCamera = AddCamera("SNFACTORY");
    Announce(fitted, "SNFIT");  // the answers carry no account
    Announce(factoryCamera, "SNFACTORY");
    sync_.SyncDeviceList();
    EXPECT_TRUE(WaitLoggedIn(model_.FindRowByKey("SNFIT")));
    EXPECT_TRUE(WaitState(model_.FindRowByKey("SNFACTORY"), "MSGTIP3"));
}

TEST_F(ListLoginTest, RefusedAndUnreachableCamerasShowTheirState) {
    const int changed = AddCamera("SNPW");
    server_.SetPassword(changed, "not-the-default");
    Announce(changed, "SNPW");
    // Nothing listens on port 1 of loopback: the connection is refused.
    table_.StoreDeviceAnswer(testing::Answer("SNGONE", "127.0.0.1", 1), "127.0.0.1");
    sync_.SyncDeviceList();
    ASSERT_EQ(model_.Count(), 2);
    const int refused = model_.FindRowByKey("SNPW");
    const int unreachable = model_.FindRowByKey("SNGONE");
    EXPECT_TRUE(WaitState(refused, "MSGTIP3"));
    EXPECT_TRUE(WaitState(unreachable, "MSGTIP4"));
    for (int row : {refused, unreachable}) {
        EXPECT_EQ(model_.Record(row)->loggedIn, 0);
        EXPECT_GT(model_.Record(row)->loginHandle, 0);
        EXPECT_TRUE(LoginSettled(model_, row));
    }
    EXPECT_EQ(server_.LoginCount(changed), 0);
}

TEST_F(ListLoginTest, InvalidLoginArgumentsShowTheLoginFailure) {
    table_.StoreDeviceAnswer(testing::Answer("SNBAD", "", 8091), "127.0.0.1");  // no address
    sync_.SyncDeviceList();
    EXPECT_EQ(model_.CellText(0, kColumnState), kLoginFailedText);
    EXPECT_LE(model_.Record(0)->loginHandle, 0);
}

TEST_F(ListLoginTest, DroppedSessionReconnects) {
    const int id = AddCamera("SNDROP");
    Announce(id, "SNDROP");
    sync_.SyncDeviceList();
    ASSERT_TRUE(WaitLoggedIn(0));
    const int handle = model_.Record(0)->loginHandle;
    history_.clear();
    server_.DropSessions(id);
    ASSERT_TRUE(ProcessEventsUntil([&] { return server_.LoginCount(id) == 2; }));
    ASSERT_TRUE(WaitState(0, "MSGTIP1"));
    EXPECT_TRUE(history_.contains(Shown("MSGTIP10"))) << "the drop was shown";
    EXPECT_EQ(model_.Record(0)->loggedIn, 1);
    EXPECT_EQ(model_.Record(0)->loginHandle, handle) << "the same handle reconnects";
}

TEST_F(ListLoginTest, AddressChangeLogsOutAndInAgainOnTheNextTick) {
    const int id = AddCamera("SNMOVE");
    Announce(id, "SNMOVE");
    sync_.SyncDeviceList();
    ASSERT_TRUE(WaitLoggedIn(0));
    const int oldHandle = model_.Record(0)->loginHandle;

    server_.MoveCamera(id, "127.0.0.5");
    Announce(id, "SNMOVE", "127.0.0.5");
    sync_.SyncDeviceList();
    const int newHandle = model_.Record(0)->loginHandle;
    EXPECT_NE(newHandle, oldHandle);
    EXPECT_GT(newHandle, 0);
    EXPECT_EQ(model_.FindRowByHandle(oldHandle), -1);
    EXPECT_EQ(model_.CellText(0, kColumnIp), "127.0.0.5");
    EXPECT_EQ(model_.Record(0)->loggedIn, 0) << "the old session no longer counts";
    ASSERT_TRUE(ProcessEventsUntil([&] { return model_.Record(0)->loggedIn == 1; }));
    EXPECT_EQ(server_.LoginCount(id), 2);
    EXPECT_EQ(model_.CellText(0, kColumnState), Shown("MSGTIP1"));
    EXPECT_STREQ(model_.Record(0)->answer.network.ipAddress, "127.0.0.5");
}

TEST_F(ListLoginTest, EventsAndAnswersForHandlesNoLongerListedAreDropped) {
    const int id = AddCamera("SNOLD");
    Announce(id, "SNOLD");
    sync_.SyncDeviceList();
    ASSERT_TRUE(WaitLoggedIn(0));
    const int handle = model_.Record(0)->loginHandle;
    ASSERT_TRUE(ProcessEventsUntil([&] { return engine_->PendingQueries() == 0; }));
    QCoreApplication::processEvents();
    model_.Clear();  // the rows go; the session stays open
    const int dropped = engine_->DroppedCount();
    server_.EmitEvent(id, QV_EVENT_BUSY, "");
    ASSERT_EQ(QV_NETSDK_IPC_GetDVRConfig(handle, kCmdGetVideoCapture, 0, "", 0, nullptr), QV_OK);
    ASSERT_TRUE(ProcessEventsUntil([&] { return engine_->DroppedCount() >= dropped + 2; }));
    EXPECT_EQ(model_.Count(), 0);
    // Records still queued when the engine goes are freed with it (checked by LeakSanitizer).
    server_.EmitEvent(id, QV_EVENT_BUSY, "");
    engine_.reset();
}

TEST_F(ListLoginTest, RestoreUsesTheSessionOnlyWhenItReachesThisVeryCamera) {
    RecordingSender datagrams;
    table_.SetSender(&datagrams);
    const int id = AddCamera("RESTORE1");
    Announce(id, "RESTORE1");
    sync_.SyncDeviceList();
    ASSERT_TRUE(WaitLoggedIn(0));
    DeviceRecord* record = model_.Record(0);
    ASSERT_TRUE(ProcessEventsUntil([&] { return record->sdkSerialNumber[0] != '\0'; }));
    auto restoreDatagrams = [&] {
        int n = 0;
        for (const auto& m : datagrams.messages)
            n += m.code == kMsgRestore;
        return n;
    };

    // The session answers for another serial number: the datagram alone.
    const std::string sdkSerial = record->sdkSerialNumber;
    CopyField(record->sdkSerialNumber, "SOMEONE-ELSE");
    EXPECT_EQ(RestoreDevice(table_, "RESTORE1", record), 0);
    EXPECT_EQ(restoreDatagrams(), 3);
    CopyField(record->sdkSerialNumber, sdkSerial.c_str());
    EXPECT_EQ(server_.RestartCount(id), 0);

    EXPECT_EQ(RestoreDevice(table_, "RESTORE1", record), 0);
    EXPECT_EQ(restoreDatagrams(), 6);
    EXPECT_TRUE(ProcessEventsUntil([&] { return server_.RestartCount(id) == 1; }));

    EXPECT_EQ(RestoreDevice(table_, "NOT-LISTED", nullptr), kTableUnknownSerial);
    EXPECT_EQ(restoreDatagrams(), 6);
    table_.SetSender(nullptr);
}

}  // namespace
}  // namespace camfleet

namespace camfleet {
namespace {

// A replaced camera (same serial, another key) is refused with its own state text until it
// is trusted from its row; then it logs in and its new key is pinned.
TEST_F(ListLoginTest, AReplacedCameraIsRefusedUntilTrustedFromItsRow) {
    KnownCameras& known = KnownCameras::Shared();
    bool wasKnown = false;
    ASSERT_TRUE(known.Trust("TRUSTROW1", &wasKnown));  // whatever an earlier run pinned
    const int id = AddCamera("TRUSTROW1");
    Announce(id, "TRUSTROW1");
    sync_.SyncDeviceList();
    ASSERT_TRUE(WaitLoggedIn(0));
    const std::string first = known.KeyOf("TRUSTROW1");
    ASSERT_FALSE(first.empty()) << "pinned at the first login";

    server_.SetKeyGeneration(id, 1);
    ASSERT_TRUE(sync_.LogInAgain(0));
    EXPECT_TRUE(WaitState(0, "CAMERA_KEY_CHANGED"));
    EXPECT_FALSE(model_.State(0)->LoggedIn());
    EXPECT_EQ(known.KeyOf("TRUSTROW1"), first) << "a refused key is not pinned";

    ASSERT_TRUE(TrustCameraOfRow(model_, sync_, known, 0));
    ASSERT_TRUE(WaitState(0, "MSGTIP1"));
    EXPECT_TRUE(model_.State(0)->LoggedIn());
    EXPECT_NE(known.KeyOf("TRUSTROW1"), first);
    EXPECT_EQ(known.KeyOf("TRUSTROW1"), server_.PublicKey(id));
    EXPECT_FALSE(TrustCameraOfRow(model_, sync_, known, 5)) << "no such row";
}

}  // namespace
}  // namespace camfleet
