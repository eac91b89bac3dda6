// The answer router: each request gets its own answer, even with several pending on one
// camera; a lost session or a refused send reaches the request that waits; subscribers see
// events by kind and handle. First fed directly, then against a simulated camera through the
// device SDK.

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <string>
#include <vector>

#include "device/codes.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "device/sdk/sdk_timing.h"
#include "operations/answer_router.h"
#include "operations/list_fixture.h"
#include "sdk/sdk_fixture.h"
#include "sim/control_server.h"

namespace camfleet {
namespace {

using testing::ProcessEventsUntil;

void Answer(AnswerRouter& router, int handle, int code, int status, const std::string& text) {
    const uint32_t word = (static_cast<uint32_t>(status) << 24) | static_cast<uint32_t>(code);
    router.HandleResponse(*MakeResponseMessage(handle, word, text.c_str()));
}

void Event(AnswerRouter& router, int handle, int type) {
    router.HandleStatus(*MakeStatusMessage(handle, type, ""));
}

// What a continuation was given.
struct Got {
    RequestOutcome outcome;
    std::string text;
};

AnswerRouter::Continuation Into(std::vector<Got>* got) {
    return [got](const RoutedAnswer& a) {
        got->push_back({a.outcome, a.message != nullptr ? a.message->payload : "(none)"});
    };
}

const auto kSent = [] { return 0; };

TEST(AnswerRouter, RequestsOfOneCameraEachGetTheirOwnAnswerInOrder) {
    testing::EnsureCoreApplication();
    AnswerRouter router;
    std::vector<Got> first, second, other, elsewhere;
    router.Send(7, kCmdGetVideoCapture, kSent, Into(&first));
    router.Send(7, kCmdGetVideoCapture, kSent, Into(&second));
    router.Send(7, kCmdGetNetwork, kSent, Into(&other));
    router.Send(8, kCmdGetVideoCapture, kSent, Into(&elsewhere));
    EXPECT_EQ(router.PendingRequests(7), 3);

    Answer(router, 7, kCmdGetNetwork, 0, "network");
    Answer(router, 7, kCmdGetVideoCapture, 0, "capture 1");
    Answer(router, 8, kCmdGetVideoCapture, 254, "");
    Answer(router, 7, kCmdGetVideoCapture, 3, "capture 2");
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 1u);
    ASSERT_EQ(other.size(), 1u);
    ASSERT_EQ(elsewhere.size(), 1u);
    EXPECT_EQ(first[0].text, "capture 1");
    EXPECT_EQ(first[0].outcome, RequestOutcome::kAnswered);
    EXPECT_EQ(second[0].text, "capture 2");
    EXPECT_EQ(second[0].outcome, RequestOutcome::kRefused);
    EXPECT_EQ(other[0].text, "network");
    EXPECT_EQ(elsewhere[0].outcome, RequestOutcome::kSessionLost);
    EXPECT_EQ(router.PendingRequests(), 0);

    // An answer nobody asked for reaches no continuation.
    Answer(router, 7, kCmdGetVideoCapture, 0, "late");
    EXPECT_EQ(first.size() + second.size(), 2u);
}

TEST(AnswerRouter, CancelledAndUnsentRequestsKeepTheOrderOfTheOthers) {
    testing::EnsureCoreApplication();
    AnswerRouter router;
    std::vector<Got> cancelled, refused, next;
    const auto id = router.Send(3, kCmdGetStreamAccess, kSent, Into(&cancelled));
    EXPECT_EQ(router.Send(
                  3, kCmdGetStreamAccess, [] { return QV_ERR_NOT_CONNECTED; }, Into(&refused)),
              0u);
    ASSERT_EQ(refused.size(), 1u) << "a send the SDK refused ends at once";
    EXPECT_EQ(refused[0].outcome, RequestOutcome::kNotSent);
    router.Send(3, kCmdGetStreamAccess, kSent, Into(&next));
    router.Cancel(id);
    Answer(router, 3, kCmdGetStreamAccess, 0, "for the cancelled one");
    Answer(router, 3, kCmdGetStreamAccess, 253, "");
    EXPECT_TRUE(cancelled.empty());
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0].outcome, RequestOutcome::kTimedOut) << "its own answer, not the first";
}

TEST(AnswerRouter, SubscribersGetEventsByKindAndHandleAndMayLeaveWhileCalled) {
    testing::EnsureCoreApplication();
    AnswerRouter router;
    int busyOf5 = 0, any = 0, answers = 0;
    Subscription busy = router.OnEvent(kEventBusy, 5, [&](const StatusMessage&) { ++busyOf5; });
    Subscription all;
    all = router.OnEvent(AnswerRouter::kAnyKind, AnswerRouter::kAnyHandle,
                         [&](const StatusMessage& m) {
                             ++any;
                             if (m.type == kEventDisconnected)
                                 all.Reset();  // leaves from inside its own call
                         });
    Subscription written =
        router.OnAnswer(kCmdSetNetwork, [&](const ResponseMessage&) { ++answers; });
    Event(router, 5, kEventBusy);
    Event(router, 6, kEventBusy);
    Event(router, 5, kEventLoggedIn);
    Event(router, 5, kEventDisconnected);
    Event(router, 5, kEventBusy);
    EXPECT_EQ(busyOf5, 2);
    EXPECT_EQ(any, 4);
    Answer(router, 5, kCmdSetNetwork, 0, "");
    Answer(router, 5, kCmdSetVideoCapture, 0, "");
    EXPECT_EQ(answers, 1);
    {
        AnswerRouter gone;  // a subscription may outlive its router
        written = gone.OnAnswer(AnswerRouter::kAnyCode, [](const ResponseMessage&) {});
    }
    written.Reset();
}

// Against a simulated camera: the SDK, the router and one logged-in session.
class RoutedCameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::EnsureCoreApplication();
        sdk::SetSdkTimingForTesting(testing::FastTiming());
        ASSERT_EQ(QV_NETSDK_IPC_Init(), QV_OK);
        server_.Start();
        sim::ControlIdentity identity;
        identity.serialNumber = "ROUTED1";
        identity.sdkPort = 0;
        std::string error;
        camera_ = server_.AddCamera(identity, {}, &error);
        ASSERT_GE(camera_, 0) << error;
        router_ = std::make_unique<AnswerRouter>();
        bool loggedIn = false;
        Subscription login = router_->OnEvent(kEventLoggedIn, AnswerRouter::kAnyHandle,
                                              [&](const StatusMessage&) { loggedIn = true; });
        handle_ = QV_NETSDK_IPC_Login("127.0.0.1", server_.Port(camera_), "admin", "730418", 0);
        ASSERT_GT(handle_, 0);
        ASSERT_TRUE(ProcessEventsUntil([&] { return loggedIn; }));
    }
    void TearDown() override {
        router_.reset();
        QV_NETSDK_IPC_Cleanup();
        server_.Stop();
        sdk::SetSdkTimingForTesting(sdk::SdkTiming());
    }
    AnswerRouter::RequestId Read(int code, std::vector<Got>* got) {
        return router_->Send(
            handle_, code,
            [this, code] { return QV_NETSDK_IPC_GetDVRConfig(handle_, code, 0, "", 0, nullptr); },
            Into(got));
    }

    sim::ControlServer server_;
    int camera_ = -1;
    int handle_ = 0;
    std::unique_ptr<AnswerRouter> router_;
};

TEST_F(RoutedCameraTest, TwoOperationsPendingOnOneCameraEachGetTheirOwnAnswer) {
    // The camera answers slowly, so both reads of each document are pending at once.
    server_.SetAnswerDelay(camera_, std::chrono::milliseconds(150));
    std::vector<Got> captureA, captureB, network;
    Read(kCmdGetVideoCapture, &captureA);
    Read(kCmdGetNetwork, &network);
    Read(kCmdGetVideoCapture, &captureB);
    EXPECT_EQ(router_->PendingRequests(handle_), 3);
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return captureA.size() + captureB.size() + network.size() == 3; }));
    for (const auto* got : {&captureA, &captureB, &network}) {
        ASSERT_EQ(got->size(), 1u);
        EXPECT_EQ(got->front().outcome, RequestOutcome::kAnswered);
    }
    // Each got the document it asked for.
    QV_VIDEO_CAPTURE capture;
    QV_NETWORK_LAN_CFG lan;
    EXPECT_EQ(QV_NETSDK_IPC_Media_getVideoCaptureByXml(captureA[0].text.c_str(), &capture), 0);
    EXPECT_EQ(QV_NETSDK_IPC_Media_getVideoCaptureByXml(captureB[0].text.c_str(), &capture), 0);
    EXPECT_EQ(QV_NETSDK_IPC_Network_getLANCfgByXml(network[0].text.c_str(), &lan), 0);
    EXPECT_EQ(network[0].text.find("Capture"), std::string::npos) << network[0].text;
}

TEST_F(RoutedCameraTest, RequestsWhoseSessionDropsGetTheirFailure) {
    server_.SetLoseAnswers(camera_, true);
    std::vector<Got> capture, network;
    Read(kCmdGetVideoCapture, &capture);
    Read(kCmdGetNetwork, &network);
    QCoreApplication::processEvents();
    server_.DropSessions(camera_);
    ASSERT_TRUE(ProcessEventsUntil([&] { return capture.size() + network.size() == 2; }));
    EXPECT_EQ(capture[0].outcome, RequestOutcome::kSessionLost);
    EXPECT_EQ(network[0].outcome, RequestOutcome::kSessionLost);
    EXPECT_EQ(router_->PendingRequests(), 0);
}

}  // namespace
}  // namespace camfleet
