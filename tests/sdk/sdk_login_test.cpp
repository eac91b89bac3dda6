// Sessions against simulated cameras on loopback: login outcomes, loss and reconnection,
// logout while connecting, cleanup with sessions open, many sessions at once.

#include <sys/socket.h>

#include "device/sdk/socket_util.h"
#include "sdk_fixture.h"

namespace camfleet::testing {
namespace {

// A port on 127.0.0.1 on which nothing listens.
uint16_t ClosedPort() {
    std::string error;
    const int fd = sdk::Listen("127.0.0.1", 0, &error);
    const uint16_t port = sdk::LocalPort(fd);
    sdk::CloseSocket(fd);
    return port;
}

using SdkLogin = SdkTest;

TEST_F(SdkLogin, Outcomes) {
    const int camera = AddCamera();
    const int refusing = AddCamera();
    server_.SetRefuseLogins(refusing, true);
    struct Case {
        const char* name;
        int handle;
        int event;
    };
    const Case cases[] = {
        {"right password", Login(camera), QV_EVENT_LOGGED_IN},
        {"wrong password", Login(camera, "wrong"), QV_EVENT_AUTH_FAILED},
        {"camera refusing logins", Login(refusing), QV_EVENT_AUTH_FAILED},
        {"nothing listening", QV_NETSDK_IPC_Login("127.0.0.1", ClosedPort(), "admin", "730418", 0),
         QV_EVENT_CONNECT_FAILED},
    };
    for (const Case& c : cases) {
        ASSERT_GT(c.handle, 0) << c.name;
        EXPECT_TRUE(hooks_.WaitEvent(c.handle, c.event)) << c.name;
        EXPECT_EQ(hooks_.EventTypes(c.handle).front(), c.event) << c.name;
    }
    EXPECT_EQ(server_.LoginCount(camera), 1);
}

TEST_F(SdkLogin, InvalidArgumentsGetNoHandle) {
    struct Case {
        const char* name;
        const char* ip;
        int port;
        const char* user;
        const char* password;
    };
    const Case cases[] = {
        {"null address", nullptr, 8091, "admin", "x"},
        {"empty address", "", 8091, "admin", "x"},
        {"host name", "camera.local", 8091, "admin", "x"},
        {"port 0", "127.0.0.1", 0, "admin", "x"},
        {"port above 65535", "127.0.0.1", 65536, "admin", "x"},
        {"null user", "127.0.0.1", 8091, nullptr, "x"},
        {"null password", "127.0.0.1", 8091, "admin", nullptr},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QV_NETSDK_IPC_Login(c.ip, c.port, c.user, c.password, 0), QV_ERR_PARAM) << c.name;
    EXPECT_EQ(QV_NETSDK_IPC_Logout(12345), QV_ERR_HANDLE);
    EXPECT_EQ(QV_NETSDK_IPC_GetDVRConfig(12345, kCmdGetVideoCapture, 0, "", 0, nullptr),
              QV_ERR_HANDLE);
}

TEST_F(SdkLogin, DroppedSessionReconnects) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    server_.DropSessions(camera);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_LOGGED_IN, 2));
    EXPECT_EQ(hooks_.EventTypes(handle),
              (std::vector<int>{QV_EVENT_LOGGED_IN, QV_EVENT_DISCONNECTED, QV_EVENT_LOGGED_IN}));
    EXPECT_EQ(QV_NETSDK_IPC_SystemControl(handle, kCtlFileSystemVersion, nullptr, "RESPONSE_PARAM"),
              QV_OK);
}

TEST_F(SdkLogin, WithoutReconnectTheHandleStaysDisconnectedUntilSwitchedOn) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    ASSERT_EQ(QV_NETSDK_IPC_SetAutoReconnect(handle, 0), QV_OK);
    server_.DropSessions(camera);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_DISCONNECTED));
    EXPECT_EQ(QV_NETSDK_IPC_GetDVRConfig(handle, kCmdGetVideoCapture, 0, "", 0, nullptr),
              QV_ERR_NOT_CONNECTED);
    EXPECT_EQ(QV_NETSDK_IPC_RebootDVR(handle), QV_ERR_NOT_CONNECTED);
    EXPECT_EQ(server_.LoginCount(camera), 1);
    ASSERT_EQ(QV_NETSDK_IPC_SetAutoReconnect(handle, 1), QV_OK);
    EXPECT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_LOGGED_IN, 2));
    EXPECT_EQ(server_.LoginCount(camera), 2);
}

TEST_F(SdkLogin, RebootDropsTheSessionAndItComesBack) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    EXPECT_EQ(QV_NETSDK_IPC_RebootDVR(handle), QV_OK);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_LOGGED_IN, 2));
    EXPECT_EQ(server_.RestartCount(camera), 1);
    EXPECT_EQ(hooks_.EventTypes(handle),
              (std::vector<int>{QV_EVENT_LOGGED_IN, QV_EVENT_DISCONNECTED, QV_EVENT_LOGGED_IN}));
}

TEST_F(SdkLogin, PasswordChangedWhileDisconnectedEndsTheRetries) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    const char* doc =
        "<UserConfig><Account Username=\"admin\" Password=\"other\" "
        "Group=\"Administrator\" Status=\"Enable\" /></UserConfig>";
    ASSERT_EQ(QV_NETSDK_IPC_SetDVRConfig(handle, kCmdSetAdminPassword, 0, doc,
                                         static_cast<int>(strlen(doc))),
              QV_OK);
    AnswerRecord answer;
    ASSERT_TRUE(hooks_.WaitAnswer(handle, kCmdSetAdminPassword, &answer));
    EXPECT_EQ(answer.status, 0);
    server_.DropSessions(camera);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_AUTH_FAILED));
    EXPECT_EQ(hooks_.EventTypes(handle),
              (std::vector<int>{QV_EVENT_LOGGED_IN, QV_EVENT_DISCONNECTED, QV_EVENT_AUTH_FAILED}));
    EXPECT_GT(Login(camera, "other"), 0);
    EXPECT_TRUE(hooks_.WaitEventsOfType(QV_EVENT_LOGGED_IN, 2));
}

TEST_F(SdkLogin, UnreachableFirstLoginKeepsTryingWithReconnectOn) {
    // A camera still restarting: the port opens only after the first try failed.
    const int camera = AddCamera();
    server_.SetRestartTime(camera, std::chrono::milliseconds(1000));
    const int first = LoggedIn(camera);
    ASSERT_EQ(QV_NETSDK_IPC_SetAutoReconnect(first, 0), QV_OK);
    ASSERT_EQ(QV_NETSDK_IPC_RebootDVR(first), QV_OK);
    ASSERT_TRUE(hooks_.WaitEvent(first, QV_EVENT_DISCONNECTED));
    const int second = Login(camera);
    ASSERT_TRUE(hooks_.WaitEvent(second, QV_EVENT_CONNECT_FAILED));
    EXPECT_TRUE(hooks_.WaitEvent(second, QV_EVENT_LOGGED_IN));
}

TEST_F(SdkLogin, LogoutWhileConnecting) {
    // A listener that never accepts: TCP connects complete but no hello ever comes.
    std::string error;
    const int silent = sdk::Listen("127.0.0.1", 0, &error);
    const uint16_t port = sdk::LocalPort(silent);
    const int a = QV_NETSDK_IPC_Login("127.0.0.1", port, "admin", "x", 0);
    const int b = QV_NETSDK_IPC_Login("127.0.0.1", port, "admin", "x", 0);
    const int c = QV_NETSDK_IPC_Login("127.0.0.1", port, "admin", "x", 0);
    ASSERT_GT(a, 0);
    EXPECT_EQ(QV_NETSDK_IPC_Logout(a), QV_OK);
    EXPECT_EQ(QV_NETSDK_IPC_Logout(a), QV_ERR_HANDLE);
    EXPECT_EQ(QV_NETSDK_IPC_LogoutAll(), QV_OK);
    EXPECT_EQ(QV_NETSDK_IPC_Logout(b), QV_ERR_HANDLE);
    EXPECT_EQ(QV_NETSDK_IPC_SetAutoReconnect(c, 1), QV_ERR_HANDLE);
    // A handle logged in afterwards still works and is distinct.
    const int d = LoggedIn(AddCamera());
    EXPECT_NE(d, a);
    EXPECT_NE(d, c);
    for (int gone : {a, b, c})
        EXPECT_TRUE(hooks_.EventTypes(gone).empty());
    sdk::CloseSocket(silent);
}

TEST_F(SdkLogin, CleanupWithSessionsOpenAndInitAgain) {
    const int camera = AddCamera();
    const int h1 = LoggedIn(camera);
    LoggedIn(camera);
    Login(camera);  // maybe still connecting
    EXPECT_EQ(QV_NETSDK_IPC_Cleanup(), QV_OK);
    EXPECT_EQ(QV_NETSDK_IPC_Cleanup(), QV_OK);
    EXPECT_EQ(QV_NETSDK_IPC_GetDVRConfig(h1, kCmdGetVideoCapture, 0, "", 0, nullptr),
              QV_ERR_NOT_INIT);
    EXPECT_EQ(QV_NETSDK_IPC_Login("127.0.0.1", 8091, "admin", "x", 0), QV_ERR_NOT_INIT);
    ASSERT_EQ(QV_NETSDK_IPC_Init(), QV_OK);
    QV_NETSDK_IPC_SetStatusEventCallBack(&HookRecorder::OnStatus, &hooks_);
    EXPECT_GT(LoggedIn(camera), h1) << "handles are never reused across a restart of the SDK";
}

TEST_F(SdkLogin, TwoHundredCamerasAtOnce) {
    constexpr int kCameras = 200;
    std::vector<int> cameras;
    for (int i = 0; i < kCameras; ++i)
        cameras.push_back(AddCamera("730418", "127.0.10." + std::to_string(i + 1)));
    std::vector<int> handles;
    for (int i = 0; i < kCameras; ++i) {
        const std::string address = "127.0.10." + std::to_string(i + 1);
        handles.push_back(Login(cameras[i], "730418", address.c_str()));
        ASSERT_GT(handles.back(), 0);
    }
    ASSERT_TRUE(hooks_.WaitEventsOfType(QV_EVENT_LOGGED_IN, kCameras));
    for (int i = 0; i < kCameras; ++i)
        EXPECT_EQ(server_.SessionCount(cameras[i]), 1) << i;
    EXPECT_EQ(QV_NETSDK_IPC_LogoutAll(), QV_OK);
}

}  // namespace
}  // namespace camfleet::testing

namespace camfleet::testing {
namespace {

// Sessions still open when the process ends are logged out by the SDK itself; the exit is
// clean (and, in the sanitizer build, free of leaks).
TEST(SdkExit, ProcessExitWithSessionsOpen) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            sim::ControlServer server;
            sim::ControlIdentity identity;
            identity.sdkPort = 0;
            std::string error;
            const int id = server.AddCamera(identity, {}, &error);
            server.Start();
            HookRecorder hooks;
            QV_NETSDK_IPC_Init();
            QV_NETSDK_IPC_SetStatusEventCallBack(&HookRecorder::OnStatus, &hooks);
            const int handle =
                QV_NETSDK_IPC_Login("127.0.0.1", server.Port(id), "admin", "730418", 0);
            QV_NETSDK_IPC_Login("127.0.0.1", server.Port(id), "admin", "730418", 0);
            std::exit(hooks.WaitEvent(handle, QV_EVENT_LOGGED_IN) ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace camfleet::testing
