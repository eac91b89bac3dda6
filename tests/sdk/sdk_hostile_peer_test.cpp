// A peer that breaks the protocol: the SDK closes that session and reports it, nothing else.

#include <poll.h>

#include <thread>

#include "device/codes.h"
#include "device/sdk/control_protocol.h"
#include "device/sdk/socket_util.h"
#include "sdk_fixture.h"

namespace camfleet::testing {
namespace {

using sdk::Frame;
using sdk::FrameKind;

std::string Encoded(FrameKind kind, uint32_t code, uint32_t sequence, std::string payload) {
    Frame f;
    f.kind = kind;
    f.code = code;
    f.sequence = sequence;
    f.payload = std::move(payload);
    return sdk::EncodeFrame(f);
}

// Serves one connection on 127.0.0.1: optionally a correct hello and login answer, then
// `hostile` bytes, then (when `close`) it hangs up; otherwise it waits for the SDK to.
class HostilePeer {
public:
    HostilePeer(bool login, std::string hostile, bool close)
        : listen_(sdk::Listen("127.0.0.1", 0, &error_)),
          thread_([=, this] { Serve(login, hostile, close); }) {}
    ~HostilePeer() {
        thread_.join();
        sdk::CloseSocket(listen_);
    }
    uint16_t port() const { return sdk::LocalPort(listen_); }

private:
    static bool WaitReadable(int fd) {
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, 5000) == 1;
    }
    static void SendAll(int fd, std::string bytes) {
        while (!bytes.empty() && sdk::SendSome(fd, &bytes)) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 1000);
        }
    }
    // Reads until one frame arrived (the login request); its sequence, or 0.
    static uint32_t ReadFrame(int fd) {
        sdk::FrameParser parser;
        std::string in;
        Frame f;
        while (WaitReadable(fd)) {
            if (sdk::ReceiveSome(fd, &in) < 0 && in.empty())
                return 0;
            parser.Feed(in.data(), in.size());
            in.clear();
            if (parser.Next(&f) == sdk::FrameParser::Result::kFrame)
                return f.sequence;
        }
        return 0;
    }
    void Serve(bool login, const std::string& hostile, bool close) {
        if (!WaitReadable(listen_))
            return;
        const int fd = sdk::AcceptOne(listen_);
        if (login) {
            SendAll(fd, Encoded(FrameKind::kEvent, sdk::kCodeHello, 0,
                                sdk::PrintHello({1, 1, sdk::MakeNonce()})));
            const uint32_t sequence = ReadFrame(fd);
            SendAll(fd, Encoded(FrameKind::kAnswer, sdk::kCodeLogin, sequence,
                                sdk::PrintLoginResult(10)));
        }
        SendAll(fd, hostile);
        if (!close) {
            std::string sink;
            while (WaitReadable(fd) && sdk::ReceiveSome(fd, &sink) >= 0)
                sink.clear();
        }
        sdk::CloseSocket(fd);
    }

    std::string error_;
    int listen_;
    std::thread thread_;
};

std::string WithLength(std::string frame, uint32_t length) {
    frame[20] = static_cast<char>(length >> 24);
    frame[21] = static_cast<char>(length >> 16);
    frame[22] = static_cast<char>(length >> 8);
    frame[23] = static_cast<char>(length);
    return frame;
}

using SdkHostilePeer = SdkTest;

TEST_F(SdkHostilePeer, BrokenFramesCloseOnlyThatSession) {
    const std::string event = Encoded(FrameKind::kEvent, 32, 0, "busy");
    const std::string hello =
        Encoded(FrameKind::kEvent, sdk::kCodeHello, 0, sdk::PrintHello({1, 1, "abcd"}));
    struct Case {
        const char* name;
        bool login;
        std::string bytes;
        bool close;
        int event;
    };
    const Case cases[] = {
        {"bad magic instead of the hello", false, "GET / HTTP/1.0\r\n\r\n", false,
         QV_EVENT_LOGIN_FAILED},
        {"oversized hello", false, WithLength(hello, 0xFFFFFFFFu), false, QV_EVENT_LOGIN_FAILED},
        {"truncated hello", false, hello.substr(0, 30), true, QV_EVENT_LOGIN_FAILED},
        {"hello of a newer protocol only", false,
         Encoded(FrameKind::kEvent, sdk::kCodeHello, 0, sdk::PrintHello({9, 9, "abcd"})), false,
         QV_EVENT_LOGIN_FAILED},
        {"event instead of the hello", false, event, false, QV_EVENT_LOGIN_FAILED},
        {"bad magic after login", true, "XXXX" + event.substr(4), false, QV_EVENT_DISCONNECTED},
        {"oversized length after login", true, WithLength(event, sdk::kMaxPayload + 1), false,
         QV_EVENT_DISCONNECTED},
        {"truncated frame after login", true, event.substr(0, 26), true, QV_EVENT_DISCONNECTED},
        {"request from the camera", true, Encoded(FrameKind::kRequest, kCmdGetVideoCapture, 1, ""),
         false, QV_EVENT_DISCONNECTED},
    };
    QV_NETSDK_IPC_SetAutoReconnect(0, 0);
    const int healthy = LoggedIn(AddCamera());
    for (const Case& c : cases) {
        HostilePeer peer(c.login, c.bytes, c.close);
        const int handle = QV_NETSDK_IPC_Login("127.0.0.1", peer.port(), "admin", "x", 0);
        ASSERT_GT(handle, 0) << c.name;
        EXPECT_TRUE(hooks_.WaitEvent(handle, c.event)) << c.name;
        QV_NETSDK_IPC_Logout(handle);
    }
    EXPECT_EQ(
        QV_NETSDK_IPC_SystemControl(healthy, kCtlFileSystemVersion, nullptr, "RESPONSE_PARAM"),
        QV_OK);
}

}  // namespace
}  // namespace camfleet::testing
