// The session tracker's handling of status events and command answers, fed to the router
// directly (the road through the SDK's hooks is covered by the login tests against the
// simulator).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "device/codes.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "operations/answer_router.h"
#include "operations/list_fixture.h"
#include "operations/session_tracker.h"

namespace camfleet {
namespace {

using testing::AddRow;
using testing::Shown;

class SessionTrackerTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::EnsureCoreApplication();
        row_ = AddRow(model_, "S1", kHandle, true);
        other_ = AddRow(model_, "S2", kHandle + 1, true);
    }
    // Fixed-record types read their whole record: the text sits in a buffer large enough.
    void Status(int type, const std::string& text = {}, int handle = kHandle) {
        std::vector<char> data(std::max<std::size_t>(text.size() + 1, 1360), '\0');
        std::copy(text.begin(), text.end(), data.begin());
        router_.HandleStatus(*MakeStatusMessage(handle, type, data.data()));
    }
    void Answer(int code, int status, const std::string& text, int handle = kHandle) {
        const uint32_t word = (static_cast<uint32_t>(status) << 24) | static_cast<uint32_t>(code);
        router_.HandleResponse(*MakeResponseMessage(handle, word, text.c_str()));
    }
    QString State(int row) const { return model_.CellText(row, kColumnState); }
    DeviceRecord& Record() { return *model_.Record(row_); }

    static constexpr int kHandle = 7;
    DeviceListModel model_;
    AnswerRouter router_;
    WorkerPool pool_{4};
    SessionTracker engine_{&model_, &router_, &pool_};
    int row_ = 0;
    int other_ = 0;
};

TEST_F(SessionTrackerTest, StatusEventsSetStateAndFlags) {
    const struct {
        int type;
        const char* key;  // null: empty text
        bool upgradingBefore;
        int loggedInAfter;
        int upgradingAfter;
    } cases[] = {
        {2, "MSGTIP10", true, 0, 0},
        {3, "MSGTIP4", true, 0, 0},
        {5, "MSGTIP3", true, 0, 0},
        {34, "MSGTIP2", true, 0, 0},
        {38, "SESSION_OVER_LIMIT", true, 0, 0},
        {4, "MSGTIP1", true, 1, 1},
        {6, "STRING_STARTTALK_OK", false, 1, 0},
        {7, nullptr, false, 1, 0},
        {8, "STRING_STOPTALK_OK", false, 1, 0},
        {14, "MSG_UPGRADE", true, 1, 0},
        {14, "MSGTIP6", false, 1, 0},
        {15, "MSGTIP7", true, 1, 0},
        {16, "MSGTIP9", true, 1, 1},
        {17, "MSGTIP8", false, 1, 0},
        {32, "MSGTIP5", false, 1, 0},
        {35, "STRING_STARTTALK_DEVBUSY", false, 1, 0},
        {36, "STRING_STARTTALK_PARAMERROR", false, 1, 0},
        {37, "STRING_STARTTALK_NOTSUPPORT", false, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        Record().loggedIn = 1;
        Record().upgrading = c.upgradingBefore ? 1 : 0;
        model_.SetStateText(row_, "before");
        Status(c.type, "text");
        EXPECT_EQ(State(row_), c.key ? Shown(c.key) : QString());
        EXPECT_EQ(Record().loggedIn, c.loggedInAfter);
        EXPECT_EQ(Record().upgrading, c.upgradingAfter);
        EXPECT_EQ(State(other_), QString()) << "another row was touched";
    }
}

TEST_F(SessionTrackerTest, IgnoredEventsAndUnknownHandlesChangeNothing) {
    model_.SetStateText(row_, "before");
    for (int type : {1, 9, 25, 30, 99})
        Status(type);
    EXPECT_EQ(State(row_), "before");
    Status(QV_EVENT_LOGGED_IN, {}, 99);
    Answer(224, 0, "", 99);
    EXPECT_EQ(engine_.DroppedCount(), 2);
    EXPECT_EQ(State(row_), "before");
    EXPECT_EQ(State(other_), QString());
}

TEST_F(SessionTrackerTest, UpgradeProgressIsClamped) {
    int percent = 0;
    engine_.SetUpgradeProgressSource([&](int handle) { return handle == kHandle ? percent : -1; });
    const struct {
        int percent;
        QString shown;  // empty: the state stays
    } cases[] = {
        {0, {}},
        {-5, {}},
        {1, Shown("UPLOAD") + ": 01%"},
        {42, Shown("UPLOAD") + ": 42%"},
        {100, Shown("UPLOAD") + ": 100%"},
        {150, Shown("UPLOAD") + ": 100%"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.percent);
        percent = c.percent;
        model_.SetStateText(row_, "before");
        Status(QV_EVENT_UPGRADE_PROGRESS);
        EXPECT_EQ(State(row_), c.shown.isEmpty() ? QString("before") : c.shown);
        model_.SetStateText(row_, "before");
        Status(QV_EVENT_UPGRADE_PROGRESS_2);
        EXPECT_EQ(State(row_), c.shown.isEmpty() ? QString("before") : c.shown);
    }
}

TEST_F(SessionTrackerTest, ConfigurationAnswersShowSetOkOrFailed) {
    const struct {
        int code;
        int status;
        const char* key;  // null: the state stays
    } cases[] = {
        {220, 0, "SET_OK"},
        {249, 1, "SET_FAILED"},
        {kCmdSetNetwork, 0, "SET_OK"},
        {449, 0, "SET_OK"},
        {kCmdSetVideoCapture, 2, "SET_FAILED"},
        {kCmdSetPlatform, 0, "SET_OK"},
        {681, 0, "SET_OK"},
        {682, 0, "SET_OK"},
        {849, 253, "SET_FAILED"},
        {219, 0, nullptr},
        {250, 0, nullptr},
        {680, 0, nullptr},
        {683, 0, nullptr},
        {850, 0, nullptr},
        {kCmdGetVideoCapture, 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        model_.SetStateText(row_, "before");
        Answer(c.code, c.status, "");
        EXPECT_EQ(State(row_), c.key ? Shown(c.key) : QString("before"));
    }
}

TEST_F(SessionTrackerTest, IdentityAnswersAreStoredCut) {
    Answer(kCtlFileSystemVersion, 0, "<RESPONSE_PARAM FileSystemVersion=\"V5.2.1\" />");
    EXPECT_STREQ(Record().firmwareVersion, "V5.2.1");
    EXPECT_EQ(model_.CellText(row_, kColumnVersion), "V5.2.1");
    Answer(kCtlFileSystemVersion, 3, "");  // a failure keeps the version known
    EXPECT_STREQ(Record().firmwareVersion, "V5.2.1");

    const std::string longVersion(300, 'v');
    Answer(kCtlFileSystemVersion, 0,
           "<RESPONSE_PARAM FileSystemVersion=\"" + longVersion + "\" />");
    EXPECT_EQ(std::string(Record().firmwareVersion), longVersion.substr(0, 127));

    Answer(kCtlSerialNumber, 0, "<RESPONSE_PARAM SerialNumber=\"ABC123\" />");
    EXPECT_STREQ(Record().sdkSerialNumber, "ABC123");
    const std::string text = "<RESPONSE_PARAM DeviceType=\"X\" " + std::string(2000, 'a') + "/>";
    Answer(kCtlDeviceAnswerText, 0, text);
    EXPECT_EQ(std::string(Record().answerText), text.substr(0, 1023));
    EXPECT_EQ(model_.CellText(other_, kColumnVersion), QString());
}

TEST_F(SessionTrackerTest, MessageRecordsAreCutAndFixedRecordsCopiedWhole) {
    const std::string huge(20000, 'x');
    auto text = MakeStatusMessage(1, QV_EVENT_FILE_DONE, huge.c_str());
    EXPECT_EQ(text->size, kMessagePayloadSize - 1);
    EXPECT_EQ(text->payload[kMessagePayloadSize - 1], '\0');

    char alarm[168];
    for (std::size_t i = 0; i < sizeof alarm; ++i)
        alarm[i] = static_cast<char>(i == 3 ? 0 : i + 1);  // a zero inside the record
    auto fixed = MakeStatusMessage(1, QV_EVENT_ALARM, alarm);
    EXPECT_EQ(fixed->size, 168u);
    EXPECT_EQ(std::memcmp(fixed->payload, alarm, sizeof alarm), 0);

    auto answer = MakeResponseMessage(3, (5u << 24) | kCtlSerialNumber,
                                      "<RESPONSE_PARAM SerialNumber=\"Q\"/>");
    EXPECT_EQ(answer->handle, 3);
    EXPECT_EQ(answer->status, 5);
    EXPECT_EQ(answer->code, kCtlSerialNumber);
    EXPECT_STREQ(answer->payload, "Q");
    auto broken = MakeResponseMessage(3, kCtlFileSystemVersion, "not xml");
    EXPECT_STREQ(broken->payload, "");
    auto null = MakeResponseMessage(3, 224u, nullptr);
    EXPECT_STREQ(null->payload, "");
}

TEST_F(SessionTrackerTest, FailedVersionQueryShowsItInTheVersionColumn) {
    // The SDK is not started here, so the queries after a login fail at once.
    Status(QV_EVENT_LOGGED_IN);
    EXPECT_TRUE(testing::ProcessEventsUntil(
        [&] { return model_.CellText(row_, kColumnVersion) == Shown("MSGTIP34"); }));
    EXPECT_EQ(model_.CellText(other_, kColumnVersion), QString());
}

TEST_F(SessionTrackerTest, DefaultConfigurationOnlyForDirOvaduModels) {
    CopyField(Record().answer.deviceType, "DIR-OVADU-IPC_V2");
    int calls = 0;
    const Subscription subscription = engine_.OnDefaultConfiguration([&](int row) {
        EXPECT_EQ(row, row_);
        ++calls;
    });
    Status(QV_EVENT_LOGGED_IN);
    Status(QV_EVENT_LOGGED_IN, {}, kHandle + 1);  // another model
    EXPECT_TRUE(testing::ProcessEventsUntil([&] { return engine_.PendingQueries() == 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);
}

QV_ALARM_INFO MakeAlarm(int kind, const std::string& text) {
    QV_ALARM_INFO alarm;
    std::memset(&alarm, 0, sizeof alarm);
    alarm = {kind, 2024, 5, 17, 9, 3, 7, {}};
    std::memcpy(alarm.alarmText, text.data(), std::min(text.size(), sizeof alarm.alarmText));
    return alarm;
}

TEST_F(SessionTrackerTest, AlarmsShowTimeAndTextCutAtTheirField) {
    const QString prefix = "09:03:07 " + Shown("IDS_ALARM") + ":";
    const std::string full(sizeof QV_ALARM_INFO::alarmText, 'x');
    const struct {
        const char* name;
        int kind;
        std::string text;
        QString shown;  // empty: the state stays
        int snapshotPendingAfter;
    } cases[] = {
        {"an alarm", 5, "motion", prefix + "motion", 1},
        {"kind 1 leaves the state", kAlarmQuiet1, "io", {}, 1},
        {"kind 2 leaves the state", kAlarmQuiet2, "io", {}, 1},
        {"a snapshot result ends the snapshot", QV_ALARM_SNAPSHOT, "/snap/a.jpg",
         prefix + "/snap/a.jpg", 0},
        {"empty text", 0, "", prefix, 1},
        {"text filling its field, unterminated", 9, full, prefix + QString::fromStdString(full), 1},
        {"UTF-8 text", 5, "B\xc3\xbcro", prefix + QString::fromUtf8("B\xc3\xbcro"), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        model_.SetStateText(row_, "before");
        Record().snapshotPending = 1;
        // The record sits in a payload whose remaining bytes are not zero: nothing past the
        // record may be read.
        StatusMessage message;
        message.handle = kHandle;
        message.type = QV_EVENT_ALARM;
        message.size = sizeof(QV_ALARM_INFO);
        std::memset(message.payload, 'y', sizeof message.payload);
        const QV_ALARM_INFO alarm = MakeAlarm(c.kind, c.text);
        std::memcpy(message.payload, &alarm, sizeof alarm);
        int hooked = 0;
        const auto alarms =
            router_.OnEvent(QV_EVENT_ALARM, kHandle, [&](const StatusMessage&) { ++hooked; });
        router_.HandleStatus(message);
        EXPECT_EQ(State(row_), c.shown.isEmpty() ? QString("before") : c.shown);
        EXPECT_EQ(Record().snapshotPending, c.snapshotPendingAfter);
        EXPECT_EQ(hooked, 1) << "the alarm feature gets every alarm";
        EXPECT_EQ(State(other_), QString());
    }
    // An alarm event without its record changes nothing.
    model_.SetStateText(row_, "before");
    router_.HandleStatus(*MakeStatusMessage(kHandle, QV_EVENT_ALARM, nullptr));
    EXPECT_EQ(State(row_), "before");
}

TEST_F(SessionTrackerTest, WatchesOfUpgradesAndSnapshots) {
    engine_.SetUpgradeRunning(true);
    Record().upgrading = 1;
    EXPECT_TRUE(engine_.UpgradeWatch());
    EXPECT_TRUE(engine_.UpgradeRunning());
    Record().upgrading = 0;
    EXPECT_FALSE(engine_.UpgradeWatch());
    EXPECT_FALSE(engine_.UpgradeRunning());

    Record().snapshotPending = 1;
    Record().snapshotTime = 100;
    engine_.SnapshotWatch(105);  // 5 s: not yet
    EXPECT_EQ(Record().snapshotPending, 1);
    engine_.SnapshotWatch(106);
    EXPECT_EQ(Record().snapshotPending, 0);
    EXPECT_EQ(State(row_), Shown("SNAPPING_TIMEOUT"));
}

}  // namespace
}  // namespace camfleet
