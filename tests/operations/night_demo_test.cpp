// The night-mode demonstration against fake SDK calls and the real router: what goes to each
// camera, the states, the restore at the end, late answers, and the TV-system write that
// waits for the end.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <mutex>
#include <string>
#include <vector>

#include "device/codes.h"
#include "operations/feature_switches.h"
#include "operations/list_fixture.h"
#include "operations/night_demo.h"

namespace camfleet {
namespace {

using testing::AddRow;

std::string Capture(int brightness, int dayNight) {
    QV_VIDEO_CAPTURE capture{};
    capture.brightness = brightness;
    capture.tvSystem = 1;
    capture.dayNightMode = dayNight;
    char* text = QV_NETSDK_IPC_XMLGET_VideoCaptureConfig(&capture);
    std::string document = text;
    QV_NETSDK_IPC_XMLGET_SAFE_FREE(text);
    return document;
}

QV_VIDEO_CAPTURE Parsed(const std::string& document) {
    QV_VIDEO_CAPTURE capture{};
    EXPECT_EQ(QV_NETSDK_IPC_Media_getVideoCaptureByXml(document.c_str(), &capture), 0);
    return capture;
}

class NightDemoTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::EnsureCoreApplication();
        for (int i = 0; i < 2; ++i) {
            const std::string serial = "N" + std::to_string(i);
            rows_.push_back(AddRow(model_, serial.c_str(), kHandle + i, true));
            model_.SetLoginState(rows_.back(), LoginState::kLoggedIn);
        }
        NightDemoCalls calls;
        calls.readCapture = [this](int handle) { return Record("read", handle, ""); };
        calls.writeCapture = [this](int handle, const std::string& document) {
            return Record("write", handle, document);
        };
        calls.dayNight = [this](int handle, const std::string& text) {
            return Record("1046", handle, text);
        };
        demo_ = std::make_unique<NightDemo>(&model_, &router_, &pool_, calls);
        demo_->SetLength(std::chrono::hours(1));  // the test ends it
    }
    int Record(const std::string& what, int handle, const std::string& text) {
        std::lock_guard lock(mutex_);
        sent_.push_back({what, handle, text});
        return 0;
    }
    void Answer(int handle, const std::string& text) {
        const uint32_t word = static_cast<uint32_t>(kCmdGetVideoCapture);
        router_.HandleResponse(*MakeResponseMessage(handle, word, text.c_str()));
    }
    void Wait() {
        for (int i = 0; i < 1000 && demo_->Running() > 0; ++i) {
            QCoreApplication::processEvents();
            QThread::msleep(2);
        }
        ASSERT_EQ(demo_->Running(), 0);
    }
    std::vector<std::string> Sent(int handle) {
        std::lock_guard lock(mutex_);
        std::vector<std::string> out;
        for (const auto& s : sent_)
            if (s.handle == handle)
                out.push_back(s.what == "1046" ? s.what + " " + s.text : s.what);
        return out;
    }
    std::string LastWrite(int handle) {
        std::lock_guard lock(mutex_);
        for (auto it = sent_.rbegin(); it != sent_.rend(); ++it)
            if (it->handle == handle && it->what == "write")
                return it->text;
        return {};
    }
    struct Sent_ {
        std::string what;
        int handle;
        std::string text;
    };

    static constexpr int kHandle = 50;
    DeviceListModel model_;
    AnswerRouter router_;
    WorkerPool pool_{2};
    std::unique_ptr<NightDemo> demo_;
    ScriptedPrompt prompt_;
    std::vector<int> rows_;
    std::mutex mutex_;
    std::vector<Sent_> sent_;
};

// One camera answers its read: forced night, then its own settings back at the end. The other
// answers only after the end: it stays as it was.
TEST_F(NightDemoTest, ForcesNightThenRestoresAndIgnoresLateAnswers) {
    EXPECT_FALSE(demo_->Start({}, prompt_));
    EXPECT_EQ(prompt_.MessageKeys(), QStringList{"MSGTIP13"});
    ASSERT_TRUE(demo_->Start(rows_, prompt_));
    EXPECT_TRUE(demo_->Active());
    EXPECT_FALSE(demo_->Start(rows_, prompt_)) << "one demonstration at a time";
    EXPECT_EQ(demo_->StateOf("N0"), 1);
    EXPECT_TRUE(demo_->Holds("N0"));

    Answer(kHandle, Capture(77, 0));
    Wait();
    EXPECT_EQ(demo_->StateOf("N0"), 3);
    const QV_VIDEO_CAPTURE night = Parsed(LastWrite(kHandle));
    EXPECT_EQ(night.dayNightMode, 3);
    EXPECT_EQ(night.brightness, 77);
    EXPECT_EQ(model_.CellText(rows_[0], kColumnState),
              GetDisplayString(DisplayKey("MSG_SET_IRCUT_OK")));

    demo_->Finish();
    Wait();
    EXPECT_FALSE(demo_->Active());
    EXPECT_FALSE(demo_->Holds("N0"));
    const QV_VIDEO_CAPTURE restored = Parsed(LastWrite(kHandle));
    EXPECT_EQ(restored.dayNightMode, 0);
    EXPECT_EQ(restored.brightness, 77);
    EXPECT_EQ(Sent(kHandle),
              (std::vector<std::string>{"read", "write", "1046 " + NightModeText(true), "write",
                                        "1046 " + NightModeText(false)}));
    EXPECT_EQ(demo_->Jobs().at("N0").phase, JobPhase::kDone);

    Answer(kHandle + 1, Capture(10, 1));  // late
    Wait();
    EXPECT_EQ(Sent(kHandle + 1), std::vector<std::string>{"read"});
    EXPECT_EQ(demo_->Jobs().at("N1").phase, JobPhase::kFailed);
    EXPECT_EQ(demo_->StateOf("N1"), 0);
}

// A TV-system switch for a camera in the demonstration waits until the demonstration ended,
// so the restore does not undo it; other cameras' switches go at once.
TEST_F(NightDemoTest, TvSystemWritesWaitForTheEnd) {
    std::vector<std::pair<int, int>> reads;  // handle, code
    FeatureSwitchCalls calls;
    calls.read = [&](int handle, int code) {
        reads.push_back({handle, code});
        return 0;
    };
    calls.write = [](int, int, const std::string&) { return 0; };
    FeatureSwitches switches(&model_, &router_, calls);
    switches.SetVideoCaptureHold([this](const std::string& key) { return demo_->Holds(key); });
    QObject::connect(demo_.get(), &NightDemo::released,
                     [&](const std::vector<std::string>& keys) { switches.Release(keys); });

    ASSERT_TRUE(demo_->Start({rows_[0]}, prompt_));
    ASSERT_TRUE(
        switches.Switch(rows_, FeatureSwitch::kTvSystem, 0, SwitchForm::kScripted, prompt_));
    EXPECT_EQ(reads, (std::vector<std::pair<int, int>>{{kHandle + 1, kCmdGetVideoCapture}}));
    EXPECT_EQ(switches.PendingWishes(), 2);
    demo_->Finish();
    Wait();
    EXPECT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads.back().first, kHandle);
}

}  // namespace
}  // namespace camfleet
