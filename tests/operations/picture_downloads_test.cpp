// Pictures named by the cameras' alarms: where each goes, under which name, and the names and
// addresses from a hostile camera that must never leave the snapshot folder.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <cstring>
#include <string>
#include <vector>

#include "device/codes.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "device/xml_messages.h"
#include "operations/list_fixture.h"
#include "operations/picture_downloads.h"

namespace camfleet {
namespace {

using testing::AddRow;
using testing::Shown;

class PictureDownloadsTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::EnsureCoreApplication();
        row_ = AddRow(model_, "P1", kHandle, true);
        pictures_ = std::make_unique<PictureDownloads>(
            &model_, &router_, dir_.path(),
            [this](int handle, const std::string& name, const std::string& path) {
                asked_.push_back({handle, name, path});
                return name.find('/') != std::string::npos ? QV_ERR_PARAM : result_;
            });
        pictures_->SetClock([] { return QDateTime(QDate(2026, 12, 8), QTime(10, 11, 12)); });
    }
    void Alarm(int type, const std::string& text, int handle = kHandle) {
        QV_ALARM_INFO alarm{};
        alarm.alarmType = type;
        std::strncpy(alarm.alarmText, text.c_str(), sizeof alarm.alarmText - 1);
        router_.HandleStatus(*MakeStatusMessage(handle, kEventAlarm, &alarm));
    }
    void FileEvent(int type, const std::string& path) {
        const std::string text = "<RESPONSE_PARAM LocalFileName=\"" + path + "\" />";
        router_.HandleStatus(*MakeStatusMessage(kHandle, type, text.c_str()));
    }
    QString State() const { return model_.CellText(row_, kColumnState); }
    std::string Local(const char* name) const {
        return QDir::toNativeSeparators(dir_.filePath(QString("127.0.0.1/") + name)).toStdString();
    }
    struct Asked {
        int handle;
        std::string name;
        std::string path;
    };

    static constexpr int kHandle = 31;
    QTemporaryDir dir_;
    DeviceListModel model_;
    AnswerRouter router_;
    std::unique_ptr<PictureDownloads> pictures_;
    std::vector<Asked> asked_;
    int result_ = 0;
    int row_ = -1;
};

// A snapshot's picture under its own name in the camera's folder, the alarm pictures under
// their own names with the PC's time; the SDK's events end each download.
TEST_F(PictureDownloadsTest, SnapshotAndAlarmPicturesGoToTheCamerasFolder) {
    Alarm(QV_ALARM_SNAPSHOT, "snap_20261208-101112_1.jpg");
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_EQ(asked_[0].handle, kHandle);
    EXPECT_EQ(asked_[0].name, "snap_20261208-101112_1.jpg");
    EXPECT_EQ(asked_[0].path, Local("snap_20261208-101112_1.jpg"));
    EXPECT_TRUE(QDir(dir_.filePath("127.0.0.1")).exists());
    EXPECT_EQ(State(), Shown("FILEDOWNLOADDING"));
    EXPECT_EQ(pictures_->Running(), 1);
    FileEvent(kEventFileDone, asked_[0].path);
    EXPECT_EQ(pictures_->Running(), 0);
    EXPECT_EQ(pictures_->Downloads()[0].state, PictureDownloads::State::kDone);

    Alarm(5, "motion@@alarmjpg1=pic_a.jpg@@alarmjpg2=pic_b.jpg");
    ASSERT_EQ(asked_.size(), 3u);
    EXPECT_EQ(asked_[1].name, "pic_a.jpg");
    EXPECT_EQ(asked_[1].path, Local("alarmjpg1_20261208-101112.jpg"));
    EXPECT_EQ(asked_[2].path, Local("alarmjpg2_20261208-101112.jpg"));
    FileEvent(kEventFileFailed, asked_[2].path);
    EXPECT_EQ(pictures_->Downloads()[2].state, PictureDownloads::State::kFailed);

    // A name with characters the event's text escapes still ends its download.
    Alarm(QV_ALARM_SNAPSHOT, "a&b'c.jpg");
    ASSERT_EQ(asked_.size(), 4u);
    FileEvent(kEventFileDone, EscapeAttribute(asked_[3].path));
    EXPECT_EQ(pictures_->Downloads()[3].state, PictureDownloads::State::kDone);

    Alarm(5, "an alarm without pictures");
    Alarm(QV_ALARM_SNAPSHOT, "snap.jpg", 999);  // no such camera
    EXPECT_EQ(asked_.size(), 4u);
}

// Names and addresses that would leave the folder are refused before anything is asked for.
TEST_F(PictureDownloadsTest, AHostileCamerasNamesNeverLeaveTheFolder) {
    for (const char* name :
         {"", ".", "..", "dir/", "dir\\..", "C:evil.jpg", "a\tb.jpg", "a<b.jpg", "a?.jpg"}) {
        Alarm(QV_ALARM_SNAPSHOT, name);
        EXPECT_EQ(State(), Shown("FILEDOWN_REQFAIL")) << name;
    }
    EXPECT_TRUE(asked_.empty());
    // A path's last part is a fine local name; the camera-side path itself is the SDK's to
    // refuse (the bulk channel carries no separators).
    Alarm(QV_ALARM_SNAPSHOT, "../../etc/passwd");
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_EQ(asked_[0].path, Local("passwd"));
    EXPECT_EQ(State(), Shown("FILEDOWN_REQFAIL"));

    for (const char* ip : {"../../tmp", "127.0.0.1/..", "::1", "", "1.2.3"}) {
        std::strcpy(model_.Record(row_)->answer.network.ipAddress, ip);
        model_.SetStateText(row_, "before");
        Alarm(QV_ALARM_SNAPSHOT, "snap.jpg");
        EXPECT_EQ(State(), Shown("FILEDOWN_REQFAIL")) << ip;
    }
    EXPECT_EQ(asked_.size(), 1u);
    const QStringList left = QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    EXPECT_EQ(left, QStringList{"127.0.0.1"});

    model_.SetLoginHandle(row_, 0);
    EXPECT_FALSE(pictures_->Fetch(row_, "snap.jpg", {}));
    EXPECT_EQ(State(), Shown("MSGTIP21"));
}

TEST(PictureNames, LastPartOnlyAndDottedAddresses) {
    EXPECT_EQ(SafePictureName("/mnt/snap/a.jpg"), "a.jpg");
    EXPECT_EQ(SafePictureName("C:\\snap\\b.jpg"), "b.jpg");
    EXPECT_EQ(SafePictureName("x/.."), "");
    EXPECT_TRUE(IsDottedAddress("192.168.1.20"));
    EXPECT_FALSE(IsDottedAddress("192.168.001.020"));
    EXPECT_FALSE(IsDottedAddress("3232235796"));
    EXPECT_FALSE(IsDottedAddress("fe80::1"));
}

}  // namespace
}  // namespace camfleet
