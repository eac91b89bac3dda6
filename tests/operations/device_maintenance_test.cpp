// Reboot, restore, time, password and language against fake SDK calls and the real device
// table: the confirmations and boxes, the keys of each outcome, the datagrams that follow,
// and the texts sent.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <QTimeZone>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "device/codes.h"
#include "discovery/recording_sender.h"
#include "operations/device_maintenance.h"
#include "operations/list_fixture.h"

namespace camfleet {
namespace {

using testing::AddRow;
using testing::Shown;

class DeviceMaintenanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::EnsureCoreApplication();
        for (int i = 0; i < 3; ++i) {
            const std::string serial = "M" + std::to_string(i);
            rows_.push_back(AddRow(model_, serial.c_str(), kHandle + i, true));
            model_.SetLoginState(rows_.back(), LoginState::kLoggedIn);
            std::strcpy(model_.Record(rows_.back())->sdkSerialNumber, serial.c_str());
            table_.StoreDeviceAnswer(model_.Record(rows_.back())->answer, "127.0.0.1");
        }
        table_.SetSender(&sender_);
        MaintenanceCalls calls;
        calls.reboot = [this](int handle) { return Record("reboot", handle, {}); };
        calls.restore = [this](int handle) { return Record("restore", handle, {}); };
        calls.systemControl = [this](int handle, int code, const std::string& text) {
            return Record("control " + std::to_string(code), handle, text);
        };
        calls.setConfig = [this](int handle, int code, const std::string& document) {
            return Record("write " + std::to_string(code), handle, document);
        };
        calls.ptzPreset = [this](int handle, int command, int preset) {
            return Record("preset", handle, std::to_string(command) + " " + std::to_string(preset));
        };
        maintenance_ = std::make_unique<DeviceMaintenance>(&model_, &table_, &pool_, calls);
    }
    int Record(const std::string& what, int handle, const std::string& text) {
        std::lock_guard lock(mutex_);
        sent_.push_back({what, handle, text});
        const auto it = results_.find(handle);
        return it == results_.end() ? 0 : it->second;
    }
    void Wait() {
        for (int i = 0; i < 1000 && maintenance_->Running() > 0; ++i) {
            QCoreApplication::processEvents();
            QThread::msleep(2);
        }
        ASSERT_EQ(maintenance_->Running(), 0);
    }
    QString State(int row) const { return model_.CellText(row, kColumnState); }
    struct Sent {
        std::string what;
        int handle;
        std::string text;
    };

    static constexpr int kHandle = 40;
    DeviceListModel model_;
    RecordingSender sender_;
    DeviceTable table_;
    WorkerPool pool_{2};
    std::unique_ptr<DeviceMaintenance> maintenance_;
    ScriptedPrompt prompt_;
    std::vector<int> rows_;
    std::mutex mutex_;
    std::vector<Sent> sent_;
    std::map<int, int> results_;  // by handle; 0 unless set
};

TEST_F(DeviceMaintenanceTest, RebootAsksFirstAndShowsEachCamerasOutcome) {
    EXPECT_FALSE(maintenance_->Reboot({}, MaintenanceForm::kTicked, prompt_));
    EXPECT_FALSE(maintenance_->Reboot(rows_, MaintenanceForm::kTicked, prompt_));  // "No"
    EXPECT_TRUE(sent_.empty());
    ASSERT_EQ(prompt_.Records().size(), 2u);
    EXPECT_EQ(prompt_.Records()[0].textKey, "MSGTIP16");
    EXPECT_EQ(prompt_.Records()[1].textKey, "MSGTIP38");
    EXPECT_EQ(prompt_.Records()[1].captionKey, "TEXT21");

    results_[kHandle + 1] = QV_ERR_TIMEOUT;
    model_.SetLoginHandle(rows_[2], 0);
    prompt_.QueueAnswer(true);
    ASSERT_TRUE(maintenance_->Reboot(rows_, MaintenanceForm::kTicked, prompt_));
    Wait();
    EXPECT_EQ(State(rows_[0]), Shown("RESTARTING"));
    EXPECT_EQ(State(rows_[1]), Shown("MSGTIP35"));
    EXPECT_EQ(State(rows_[2]), Shown("MSGTIP23"));
    EXPECT_EQ(sent_.size(), 2u);
    EXPECT_EQ(sender_.messages.size(), 3u) << "every camera gets the discovery reboot";
    EXPECT_EQ(maintenance_->Jobs().at("M0").phase, JobPhase::kDone);
    EXPECT_EQ(maintenance_->Jobs().at("M1").phase, JobPhase::kFailed);

    // The context item asks nothing; a camera that is not logged in gets the datagram only.
    model_.SetLoginState(rows_[0], LoginState::kLost);
    sent_.clear();
    const std::size_t asked = prompt_.Records().size();
    ASSERT_TRUE(maintenance_->Reboot({rows_[0]}, MaintenanceForm::kSelected, prompt_));
    Wait();
    EXPECT_TRUE(sent_.empty());
    EXPECT_EQ(prompt_.Records().size(), asked);
}

TEST_F(DeviceMaintenanceTest, RestoreUsesTheSessionOnlyWhenItReachesThisVeryCamera) {
    prompt_.QueueAnswer(true);
    std::strcpy(model_.Record(rows_[1])->sdkSerialNumber, "ANOTHER");
    model_.SetLoginState(rows_[2], LoginState::kLost);
    ASSERT_TRUE(maintenance_->Restore(rows_, MaintenanceForm::kTicked, prompt_));
    Wait();
    ASSERT_EQ(sent_.size(), 1u);
    EXPECT_EQ(sender_.messages.size(), 9u) << "three restore datagrams per camera";
    EXPECT_EQ(sent_[0].what, "restore");
    EXPECT_EQ(sent_[0].handle, kHandle);
    EXPECT_EQ(prompt_.Records().back().textKey, "MSGTIP11");
    for (int row : rows_)
        EXPECT_EQ(maintenance_->Jobs().at(model_.Record(row)->key).phase, JobPhase::kDone);

    // The context item's own question; "No" sends nothing.
    sent_.clear();
    EXPECT_FALSE(maintenance_->Restore({rows_[0]}, MaintenanceForm::kSelected, prompt_));
    EXPECT_EQ(prompt_.Records().back().textKey, "IDS_STR_ZH_CN_MSG_TIPS122");
    EXPECT_FALSE(maintenance_->Restore({}, MaintenanceForm::kTicked, prompt_));
    EXPECT_EQ(prompt_.Records().back().textKey, "MSGTIP14");
    EXPECT_TRUE(sent_.empty());
}

TEST_F(DeviceMaintenanceTest, TimeSyncSendsThePcsOwnZone) {
    const struct {
        const char* zone;
        const char* expected;
    } cases[] = {
        {"Asia/Shanghai", "TimeZone=\"1200\""},
        {"UTC", "TimeZone=\"720\""},
        {"America/New_York", "TimeZone=\"420\""},  // GMT-5 in January
        {"Asia/Kolkata", "TimeZone=\"1050\""},
    };
    for (const auto& c : cases) {
        const QDateTime local(QDate(2026, 1, 5), QTime(9, 26, 53), QTimeZone(c.zone));
        const std::string text = TimeSyncText(local);
        EXPECT_NE(text.find("Time=\"20260105 09:26:53\""), std::string::npos) << text;
        EXPECT_NE(text.find(c.expected), std::string::npos) << c.zone << ": " << text;
    }
    maintenance_->SetClock(
        [] { return QDateTime(QDate(2026, 3, 14), QTime(1, 2, 3), QTimeZone("UTC")); });
    EXPECT_FALSE(maintenance_->SyncTime({}, prompt_));
    EXPECT_EQ(prompt_.MessageKeys(), QStringList{"MSGTIP17"});
    results_[kHandle + 1] = QV_ERR_REFUSED;
    model_.SetLoginHandle(rows_[2], -1);
    model_.SetStateText(rows_[0], "before");
    ASSERT_TRUE(maintenance_->SyncTime(rows_, prompt_));
    Wait();
    ASSERT_EQ(sent_.size(), 2u);
    EXPECT_EQ(sent_[0].what, "control 1005");
    EXPECT_EQ(sent_[0].text,
              "<REQUEST_PARAM\r\nTime=\"20260314 01:02:03\"\r\nTimeZone=\"720\"\n/>");
    EXPECT_EQ(State(rows_[0]), "before") << "a success leaves the row as it was";
    EXPECT_EQ(State(rows_[1]), Shown("MSGTIP36"));
    EXPECT_EQ(State(rows_[2]), Shown("MSGTIP22"));
}

TEST_F(DeviceMaintenanceTest, PasswordAndLanguageWritesAndTheirChecks) {
    EXPECT_FALSE(maintenance_->SetPassword(rows_, "a", "b", prompt_));
    EXPECT_EQ(prompt_.MessageKeys(), QStringList{"MSGTIP51"});
    results_[kHandle + 1] = QV_ERR_NOT_CONNECTED;
    ASSERT_TRUE(maintenance_->SetPassword(rows_, "p\"<&'>w", "p\"<&'>w", prompt_));
    ASSERT_EQ(sent_.size(), 3u);
    EXPECT_EQ(sent_[0].what, "write 223");
    EXPECT_EQ(sent_[0].text,
              "<UserConfig><Account Username=\"admin\" Password=\"p&quot;&lt;&amp;&apos;&gt;w\" "
              "Group=\"Administrator\" Status=\"Enable\" /></UserConfig>");
    EXPECT_EQ(State(rows_[1]), Shown("MSGTIP41"));

    sent_.clear();
    EXPECT_FALSE(maintenance_->SetLanguage(rows_, Language::kTraditionalChinese,
                                           MaintenanceForm::kTicked, prompt_));  // "No"
    EXPECT_EQ(prompt_.Records().back().textKey, "MSG_BATCH_SET_LANGUAGE");
    EXPECT_TRUE(sent_.empty());
    ASSERT_TRUE(maintenance_->SetLanguage({rows_[0]}, Language::kTraditionalChinese,
                                          MaintenanceForm::kScripted, prompt_));
    ASSERT_EQ(sent_.size(), 1u);
    EXPECT_EQ(sent_[0].what, "write 227");
    EXPECT_EQ(sent_[0].text, "<MiscConfig Language=\"zh_tw\" />");
}

TEST_F(DeviceMaintenanceTest, VideoTypeIoOutputAndP2p) {
    EXPECT_FALSE(maintenance_->SetVideoType(rows_, VideoType::kH265Plus, MaintenanceForm::kTicked,
                                            prompt_));  // "No"
    EXPECT_EQ(prompt_.Records().back().textKey, "ID_BATCH_SET_VIDEOTYPE_TIPS");
    results_[kHandle + 2] = QV_ERR_NOT_CONNECTED;
    prompt_.QueueAnswer(true);
    ASSERT_TRUE(
        maintenance_->SetVideoType(rows_, VideoType::kH265Plus, MaintenanceForm::kTicked, prompt_));
    ASSERT_EQ(sent_.size(), 3u);
    EXPECT_EQ(sent_[0].what, "write 523");
    EXPECT_EQ(sent_[0].text,
              "<Encode>\n"
              "\t<EncodeConfig Stream=\"1\" Resolution=\"INVALID\" EncodeFormat=\"H265+\" "
              "BitRateControl=\"VBR\" Initquant=\"100\" BitRate=\"200000\" FrameRate=\"25\" />\n"
              "\t<EncodeConfig Stream=\"2\" Resolution=\"INVALID\" EncodeFormat=\"H265+\" "
              "BitRateControl=\"VBR\" Initquant=\"100\" BitRate=\"200000\" FrameRate=\"25\" />\n"
              "</Encode>\n");
    EXPECT_EQ(State(rows_[2]), Shown("MSGTIP39"));

    sent_.clear();
    results_[kHandle + 2] = QV_ERR_REFUSED;
    EXPECT_FALSE(maintenance_->SetIoOutput({}, 1, prompt_));
    EXPECT_EQ(prompt_.MessageKeys().last(), "MSGTIP13");
    ASSERT_TRUE(maintenance_->SetIoOutput(rows_, 1, prompt_));
    Wait();
    ASSERT_EQ(sent_.size(), 3u);
    EXPECT_EQ(sent_[0].what, "control 1042");
    EXPECT_EQ(sent_[0].text, "<REQUEST_PARAM ChannelNo=\"0\" Output=\"1\"/>\n");
    EXPECT_EQ(State(rows_[2]), Shown("SET_IOOUTPUT_FAILED"));

    sent_.clear();
    ASSERT_TRUE(maintenance_->SetP2p({rows_[0], rows_[2]}, false, prompt_));
    ASSERT_EQ(sent_.size(), 2u);
    EXPECT_EQ(sent_[0].what, "write 335");
    EXPECT_EQ(sent_[0].text, "<P2PConfig\n\tEnable=\"0\" Type=\"0\" />\n");
    EXPECT_EQ(State(rows_[2]), Shown("SET_FAILED"));
    EXPECT_EQ(maintenance_->Jobs().at("M0").phase, JobPhase::kDone);
}

// The factory mode asks with a composed question; each camera whose command succeeded gets
// the discovery datagram three times with the mode as flag, a refused one gets nothing more.
TEST_F(DeviceMaintenanceTest, FactoryModeAsksThenSendsTheCommandAndTheDatagrams) {
    EXPECT_FALSE(maintenance_->SetFactoryMode(rows_, true, MaintenanceForm::kTicked, prompt_));
    ASSERT_EQ(prompt_.Records().size(), 1u);
    EXPECT_EQ(prompt_.Records()[0].textKey,
              GetDisplayString(DisplayKey("MSG_MODE_FACTORY_COMFIRM")) + " " +
                  GetDisplayString(DisplayKey("ENABLE")) + "?");
    EXPECT_EQ(prompt_.Records()[0].captionKey, "TEXT21");
    EXPECT_TRUE(sent_.empty());

    results_[kHandle + 1] = QV_ERR_TIMEOUT;
    prompt_.QueueAnswer(true);
    ASSERT_TRUE(maintenance_->SetFactoryMode(rows_, false, MaintenanceForm::kTicked, prompt_));
    Wait();
    EXPECT_EQ(prompt_.Records().back().textKey,
              GetDisplayString(DisplayKey("MSG_MODE_FACTORY_COMFIRM")) + " " +
                  GetDisplayString(DisplayKey("STRING_CLOSE")) + "?");
    ASSERT_EQ(sent_.size(), 3u);
    EXPECT_EQ(sent_[0].what, "control 1094");
    EXPECT_EQ(sent_[0].text, "<REQUEST_PARAM Mode=\"1\"/>\n");
    ASSERT_EQ(sender_.messages.size(), 6u) << "two cameras, three datagrams each";
    for (const auto& m : sender_.messages) {
        EXPECT_EQ(m.code, 9);
        EXPECT_EQ(m.flag, 1);
    }
    EXPECT_EQ(maintenance_->Jobs().at("M0").phase, JobPhase::kDone);
    EXPECT_EQ(maintenance_->Jobs().at("M1").phase, JobPhase::kFailed);
    EXPECT_EQ(State(rows_[1]), State(rows_[0])) << "a failure only goes to the log";
}

// The hidden restore: the question, then restore and reboot on each camera; the key tells
// which step failed.
TEST_F(DeviceMaintenanceTest, HiddenRestoreRestoresThenReboots) {
    EXPECT_FALSE(maintenance_->RestoreThenReboot(rows_, prompt_));  // "No"
    EXPECT_EQ(prompt_.Records().back().textKey, "MSGTIP11");
    EXPECT_EQ(prompt_.Records().back().captionKey, "TEXT21");
    EXPECT_TRUE(sent_.empty());
    results_[kHandle + 1] = QV_ERR_REFUSED;  // the restore fails: no reboot
    prompt_.QueueAnswer(true);
    ASSERT_TRUE(maintenance_->RestoreThenReboot(rows_, prompt_));
    Wait();
    std::vector<std::string> what;
    for (const Sent& s : sent_)
        what.push_back(s.what + " " + std::to_string(s.handle));
    std::sort(what.begin(), what.end());
    EXPECT_EQ(what, (std::vector<std::string>{"control 1002 40", "control 1002 41",
                                              "control 1002 42", "reboot 40", "reboot 42"}));
    EXPECT_EQ(State(rows_[1]), Shown("MSGTIP44"));
    EXPECT_EQ(maintenance_->Jobs().at("M0").phase, JobPhase::kDone);
}

// A snapshot request per camera, none while one is still awaited; a refused request leaves
// nothing pending for the watch to time out.
TEST_F(DeviceMaintenanceTest, SnapshotRequestsAndTheirPendingState) {
    EXPECT_FALSE(maintenance_->Snapshot({}, MaintenanceForm::kTicked, prompt_));
    EXPECT_EQ(prompt_.MessageKeys(), QStringList{"MSGTIP13"});
    model_.Record(rows_[0])->snapshotPending = 1;
    results_[kHandle + 1] = QV_ERR_REFUSED;
    model_.SetLoginHandle(rows_[2], 0);
    ASSERT_TRUE(maintenance_->Snapshot(rows_, MaintenanceForm::kTicked, prompt_));
    Wait();
    ASSERT_EQ(sent_.size(), 1u) << "only the camera without a pending snapshot is asked";
    EXPECT_EQ(sent_[0].what, "control 1043");
    EXPECT_EQ(sent_[0].text, "<REQUEST_PARAM Stream=\"0\" Quality=\"100\"/>\n");
    EXPECT_EQ(State(rows_[0]), Shown("SNAPPING_WAIT"));
    EXPECT_EQ(State(rows_[1]), Shown("SNAPPIC_REQFAIL"));
    EXPECT_EQ(model_.Record(rows_[1])->snapshotPending, 0);
    EXPECT_EQ(State(rows_[2]), Shown("MSGTIP23"));

    results_.clear();
    sent_.clear();
    ASSERT_TRUE(maintenance_->Snapshot({rows_[1]}, MaintenanceForm::kSelected, prompt_));
    Wait();
    EXPECT_EQ(State(rows_[1]), Shown("SNAPPIC"));
    EXPECT_EQ(model_.Record(rows_[1])->snapshotPending, 1);
    EXPECT_GT(model_.Record(rows_[1])->snapshotTime, 0);
}

// Pixel maintenance: preset 200 or 201 with command 8 on each camera, the failures in their
// rows, and one summary box once the last camera answered.
TEST_F(DeviceMaintenanceTest, PixelMaintenanceCountsTheCamerasThatTookThePreset) {
    results_[kHandle + 2] = QV_ERR_TIMEOUT;
    model_.SetLoginHandle(rows_[1], 0);
    ASSERT_TRUE(maintenance_->PixelMaintenance(rows_, kPixelSavePreset, prompt_));
    Wait();
    ASSERT_EQ(sent_.size(), 2u);
    EXPECT_EQ(sent_[0].text, "8 201");
    EXPECT_EQ(State(rows_[1]), Shown("MSGTIP40"));
    EXPECT_EQ(State(rows_[2]), Shown("SET_PRESET_FAILED"));
    ASSERT_EQ(prompt_.MessageKeys().size(), 1) << "one box, at the end";
    EXPECT_EQ(prompt_.MessageKeys()[0],
              "[201 preset ptz] " + GetDisplayString(DisplayKey("SUCCEED_SET_NUM")) + "1");
    EXPECT_EQ(PixelSummaryText(200, 12),
              "[200 preset ptz] " + GetDisplayString(DisplayKey("SUCCEED_SET_NUM")) + "12");
}

}  // namespace
}  // namespace camfleet
