// The channel under the control session: pinned camera keys, and what a listener on the wire
// gets to see.

#include <poll.h>

#include <QTemporaryDir>

#include <atomic>
#include <thread>

#include "device/codes.h"
#include "device/sdk/socket_util.h"
#include "resources/known_cameras.h"
#include "sdk_fixture.h"

namespace camfleet::testing {
namespace {

// Pins go to a folder of this test alone.
class SdkSecureChannel : public SdkTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(documents_.isValid());
        qputenv("CAMFLEET_DOCUMENTS_DIR", documents_.path().toUtf8());
        SdkTest::SetUp();
    }
    void TearDown() override {
        SdkTest::TearDown();
        qunsetenv("CAMFLEET_DOCUMENTS_DIR");
    }
    QTemporaryDir documents_;
};

// Passes one connection on to a camera and keeps every byte that crossed, both ways.
class RecordingRelay {
public:
    explicit RecordingRelay(uint16_t cameraPort)
        : listen_(sdk::Listen("127.0.0.1", 0, &error_)),
          thread_([this, cameraPort] { Run(cameraPort); }) {}
    ~RecordingRelay() {
        stop_ = true;
        thread_.join();
        sdk::CloseSocket(listen_);
    }
    uint16_t port() const { return sdk::LocalPort(listen_); }
    std::string Recorded() {
        std::lock_guard lock(mutex_);
        return recorded_;
    }

private:
    void Run(uint16_t cameraPort) {
        pollfd l{listen_, POLLIN, 0};
        while (!stop_ && poll(&l, 1, 50) == 0) {
        }
        const int client = sdk::AcceptOne(listen_);
        const int camera = sdk::StartConnect("127.0.0.1", cameraPort);
        pollfd w{camera, POLLOUT, 0};
        poll(&w, 1, 2000);
        std::string toCamera, toClient;
        while (!stop_) {
            pollfd fds[2] = {{client, POLLIN, 0}, {camera, POLLIN, 0}};
            poll(fds, 2, 50);
            std::string in;
            const bool clientGone = fds[0].revents != 0 && sdk::ReceiveSome(client, &in) < 0;
            toCamera += in;
            Record(in);
            in.clear();
            const bool cameraGone = fds[1].revents != 0 && sdk::ReceiveSome(camera, &in) < 0;
            toClient += in;
            Record(in);
            sdk::SendSome(camera, &toCamera);
            sdk::SendSome(client, &toClient);
            if (clientGone || cameraGone)
                break;
        }
        sdk::CloseSocket(client);
        sdk::CloseSocket(camera);
    }
    void Record(const std::string& bytes) {
        std::lock_guard lock(mutex_);
        recorded_ += bytes;
    }

    std::string error_;
    int listen_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::string recorded_;
    std::thread thread_;  // last: starts once everything above exists
};

TEST_F(SdkSecureChannel, ChangedCameraKeyIsRefusedUntilTrusted) {
    QV_NETSDK_IPC_SetAutoReconnect(0, 0);
    const int camera = AddCamera();
    QV_NETSDK_IPC_Logout(LoggedIn(camera));
    KnownCameras& known = KnownCameras::Shared();
    EXPECT_EQ(known.KeyOf("SN1"), server_.PublicKey(camera));

    server_.SetKeyGeneration(camera, 1);  // a replaced camera with the same serial number
    const int refused = Login(camera);
    ASSERT_GT(refused, 0);
    EXPECT_TRUE(hooks_.WaitEvent(refused, QV_EVENT_KEY_CHANGED));
    EXPECT_EQ(server_.LoginCount(camera), 1);
    EXPECT_NE(known.KeyOf("SN1"), server_.PublicKey(camera));
    QV_NETSDK_IPC_Logout(refused);

    bool wasKnown = false;
    ASSERT_TRUE(known.Trust("SN1", &wasKnown));
    EXPECT_TRUE(wasKnown);
    QV_NETSDK_IPC_Logout(LoggedIn(camera));
    EXPECT_EQ(known.KeyOf("SN1"), server_.PublicKey(camera));
    EXPECT_EQ(server_.LoginCount(camera), 2);
}

TEST_F(SdkSecureChannel, SniffedSessionShowsNoPasswordsOrDocuments) {
    const int camera = AddCamera("FirstSecret-730418");
    RecordingRelay relay(server_.Port(camera));
    const int handle =
        QV_NETSDK_IPC_Login("127.0.0.1", relay.port(), "admin", "FirstSecret-730418", 0);
    ASSERT_GT(handle, 0);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_LOGGED_IN));
    const std::string account =
        "<UserConfig><Account Username=\"admin\" Password=\"NextSecret-99\" "
        "Group=\"Administrator\" Status=\"Enable\" /></UserConfig>";
    ASSERT_EQ(QV_NETSDK_IPC_SetDVRConfig(handle, kCmdSetAdminPassword, 0, account.c_str(),
                                         static_cast<int>(account.size())),
              QV_OK);
    AnswerRecord answer;
    ASSERT_TRUE(hooks_.WaitAnswer(handle, kCmdSetAdminPassword, &answer));
    EXPECT_EQ(answer.status, 0);
    EXPECT_EQ(server_.Password(camera), "NextSecret-99");
    QV_NETSDK_IPC_Logout(handle);

    const std::string wire = relay.Recorded();
    EXPECT_GT(wire.size(), account.size());
    for (const char* secret : {"FirstSecret", "NextSecret", "UserConfig", "LoginResult", "admin"})
        EXPECT_EQ(wire.find(secret), std::string::npos) << secret;
}

}  // namespace
}  // namespace camfleet::testing
