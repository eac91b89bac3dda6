// TV system, ONVIF all-net and the protocol services: read, change one field, write, with the
// camera's answers fed to the real router. The wishes pending per camera, what one answer
// carries out, and when a wish ends.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/codes.h"
#include "device/records.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "device/xml_messages.h"
#include "operations/feature_switches.h"
#include "operations/list_fixture.h"

namespace camfleet {
namespace {

using testing::AddRow;
using testing::Shown;

std::string StreamDocument(int hik, int onvif, int dh, int tst) {
    StreamAccessRecord access;
    SetStreamAccessDefaults(&access);
    access.enableHik = hik;
    access.enableOnvif = onvif;
    access.enableDh = dh;
    access.enableTst = tst;
    access.webPort = 8080;  // a field no switch touches
    return PrintStreamAccessBody(access);
}

std::string CaptureDocument(int tvSystem) {
    QV_VIDEO_CAPTURE capture{};
    capture.brightness = 77;
    capture.tvSystem = tvSystem;
    char* text = QV_NETSDK_IPC_XMLGET_VideoCaptureConfig(&capture);
    std::string document = text;
    QV_NETSDK_IPC_XMLGET_SAFE_FREE(text);
    return document;
}

class FeatureSwitchesTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::EnsureCoreApplication();
        for (int i = 0; i < 2; ++i) {
            const std::string serial = "F" + std::to_string(i);
            rows_.push_back(AddRow(model_, serial.c_str(), kHandle + i, true));
            model_.SetLoginState(rows_.back(), LoginState::kLoggedIn);
        }
        FeatureSwitchCalls calls;
        calls.read = [this](int handle, int code) {
            sent_.push_back({"read", handle, code, {}});
            return readResult_;
        };
        calls.write = [this](int handle, int code, const std::string& document) {
            sent_.push_back({"write", handle, code, document});
            return writeResult_;
        };
        switches_ = std::make_unique<FeatureSwitches>(&model_, &router_, calls);
        switches_->SetClock([this] { return now_; });
    }
    void Answer(int handle, int code, int status, const std::string& text) {
        const uint32_t word = (static_cast<uint32_t>(status) << 24) | static_cast<uint32_t>(code);
        router_.HandleResponse(*MakeResponseMessage(handle, word, text.c_str()));
    }
    int Writes() const {
        int n = 0;
        for (const Sent& s : sent_)
            n += s.what == "write" ? 1 : 0;
        return n;
    }
    QString State(int row) const { return model_.CellText(row, kColumnState); }
    const JobState& Job(const char* key) const { return switches_->Jobs().at(key); }
    struct Sent {
        std::string what;
        int handle;
        int code;
        std::string document;
    };

    static constexpr int kHandle = 70;
    DeviceListModel model_;
    AnswerRouter router_;
    std::unique_ptr<FeatureSwitches> switches_;
    ScriptedPrompt prompt_;
    std::vector<int> rows_;
    std::vector<Sent> sent_;
    int readResult_ = 0;
    int writeResult_ = 0;
    FeatureSwitches::Clock::time_point now_{std::chrono::hours(1)};
};

// The window asks first for TV system and all-net; PAL on a camera in PAL sends no write, on
// one in NTSC the read document comes back with only that field changed.
TEST_F(FeatureSwitchesTest, TvSystemWritesOnlyWhereTheFieldDiffers) {
    EXPECT_FALSE(switches_->Switch(rows_, FeatureSwitch::kTvSystem, 1, SwitchForm::kWindow,
                                   prompt_));  // "No"
    EXPECT_TRUE(sent_.empty());
    ASSERT_EQ(prompt_.Records().size(), 1u);
    EXPECT_EQ(prompt_.Records()[0].textKey, "MSG_BATCH_SET_TVSYSTEM");

    prompt_.QueueAnswer(true);
    ASSERT_TRUE(
        switches_->Switch(rows_, FeatureSwitch::kTvSystem, 1, SwitchForm::kWindow, prompt_));
    ASSERT_EQ(sent_.size(), 2u);
    EXPECT_EQ(sent_[0].code, kCmdGetVideoCapture);
    Answer(kHandle, kCmdGetVideoCapture, 0, CaptureDocument(1));
    Answer(kHandle + 1, kCmdGetVideoCapture, 0, CaptureDocument(0));
    EXPECT_EQ(State(rows_[0]), Shown("MSG_SET_TVSYSTEM_NOTCHANGE"));
    EXPECT_EQ(Job("F0").phase, JobPhase::kDone);
    ASSERT_EQ(Writes(), 1);
    const Sent& write = sent_.back();
    EXPECT_EQ(write.handle, kHandle + 1);
    EXPECT_EQ(write.code, kCmdSetVideoCapture);
    QV_VIDEO_CAPTURE written{};
    ASSERT_EQ(QV_NETSDK_IPC_Media_getVideoCaptureByXml(write.document.c_str(), &written), 0);
    EXPECT_EQ(written.tvSystem, 1);
    EXPECT_EQ(written.brightness, 77) << "the rest of the document as read";
    EXPECT_EQ(State(rows_[1]), Shown("MSG_SET_TVSYSTEM_OK"));
    EXPECT_EQ(Job("F1").phase, JobPhase::kPending);
    Answer(kHandle + 1, kCmdSetVideoCapture, 0, "");
    EXPECT_EQ(Job("F1").phase, JobPhase::kDone);
    EXPECT_EQ(Job("F1").key, std::string("SET_OK"));
    EXPECT_EQ(switches_->Running(), 0);
    EXPECT_EQ(switches_->PendingWishes(), 0);
}

// Two protocol switches asked before the first answer: that answer carries out both in one
// write, so the second does not undo the first; the second read's answer finds nothing to do.
TEST_F(FeatureSwitchesTest, OneAnswerCarriesOutEveryPendingProtocolSwitch) {
    ASSERT_TRUE(
        switches_->Switch({rows_[0]}, FeatureSwitch::kHik, 0, SwitchForm::kWindow, prompt_));
    ASSERT_TRUE(
        switches_->Switch({rows_[0]}, FeatureSwitch::kTst, 0, SwitchForm::kWindow, prompt_));
    EXPECT_TRUE(prompt_.Records().empty()) << "protocol switches ask nothing";
    EXPECT_EQ(switches_->PendingWishes(), 2);
    Answer(kHandle, kCmdGetStreamAccess, 0, StreamDocument(1, 1, 1, 1));
    ASSERT_EQ(Writes(), 1);
    StreamAccessRecord written;
    ASSERT_EQ(ParseStreamAccessDocument(sent_.back().document, &written), 0);
    EXPECT_EQ(written.enableHik, 0);
    EXPECT_EQ(written.enableOnvif, 1);
    EXPECT_EQ(written.enableDh, 1);
    EXPECT_EQ(written.enableTst, 0);
    EXPECT_EQ(written.webPort, 8080);
    Answer(kHandle, kCmdGetStreamAccess, 0, StreamDocument(1, 1, 1, 1));
    EXPECT_EQ(Writes(), 1) << "the second answer has nothing left to do";
    Answer(kHandle, kCmdSetStreamAccess, 1, "");
    EXPECT_EQ(Job("F0").phase, JobPhase::kFailed);
    EXPECT_EQ(Job("F0").key, std::string("SET_FAILED"));

    // Enabling what is on already: "SET_OK" without a write.
    ASSERT_TRUE(
        switches_->Switch({rows_[0]}, FeatureSwitch::kOnvif, 1, SwitchForm::kScripted, prompt_));
    Answer(kHandle, kCmdGetStreamAccess, 0, StreamDocument(0, 1, 1, 0));
    EXPECT_EQ(Writes(), 1);
    EXPECT_EQ(State(rows_[0]), Shown("SET_OK"));
}

// A read that fails ends its own wish at once (the row shows the failure); a wish whose read
// never came back ends after 30 s, so a later answer of the same document does not carry out
// the stale change; a camera without a session gets nothing.
TEST_F(FeatureSwitchesTest, AFailedOrStaleWishIsNeverCarriedOut) {
    readResult_ = QV_ERR_HANDLE;
    prompt_.QueueAnswer(true);
    ASSERT_TRUE(switches_->Switch({rows_[0]}, FeatureSwitch::kOnvifAllNet, 1, SwitchForm::kWindow,
                                  prompt_));
    EXPECT_EQ(State(rows_[0]), Shown("MSG_SET_ONVIFALLNET_FAILED"));
    EXPECT_EQ(switches_->PendingWishes(), 0);

    readResult_ = 0;
    ASSERT_TRUE(
        switches_->Switch({rows_[0]}, FeatureSwitch::kDh, 0, SwitchForm::kScripted, prompt_));
    Answer(kHandle, kCmdGetStreamAccess, 253, "");  // timed out
    EXPECT_EQ(Job("F0").key, std::string("SET_FAILED"));
    EXPECT_EQ(switches_->PendingWishes(), 0);

    // The HIK wish is made, then its answer is lost behind a later read of the same document
    // that comes 31 s on: only the later wish is carried out.
    ASSERT_TRUE(
        switches_->Switch({rows_[0]}, FeatureSwitch::kHik, 0, SwitchForm::kScripted, prompt_));
    now_ += std::chrono::seconds(31);
    ASSERT_TRUE(
        switches_->Switch({rows_[0]}, FeatureSwitch::kOnvif, 0, SwitchForm::kScripted, prompt_));
    Answer(kHandle, kCmdGetStreamAccess, 0, StreamDocument(1, 1, 1, 1));
    ASSERT_EQ(Writes(), 1);
    StreamAccessRecord written;
    ASSERT_EQ(ParseStreamAccessDocument(sent_.back().document, &written), 0);
    EXPECT_EQ(written.enableHik, 1) << "the stale wish was carried out";
    EXPECT_EQ(written.enableOnvif, 0);

    // A garbled answer is a failure, not a write.
    const int before = Writes();
    ASSERT_TRUE(
        switches_->Switch({rows_[1]}, FeatureSwitch::kTvSystem, 0, SwitchForm::kScripted, prompt_));
    Answer(kHandle + 1, kCmdGetVideoCapture, 0, "<Video><Capture");
    EXPECT_EQ(Writes(), before);
    EXPECT_EQ(State(rows_[1]), Shown("MSG_SET_TVSYSTEM_FAILED"));

    model_.SetLoginHandle(rows_[1], 0);
    sent_.clear();
    ASSERT_TRUE(
        switches_->Switch({rows_[1]}, FeatureSwitch::kTvSystem, 0, SwitchForm::kScripted, prompt_));
    EXPECT_TRUE(sent_.empty());
    EXPECT_EQ(State(rows_[1]), Shown("MSGTIP40"));
}

}  // namespace
}  // namespace camfleet
