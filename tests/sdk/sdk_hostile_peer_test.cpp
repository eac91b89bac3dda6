// A peer that breaks the protocol: the SDK closes that session and reports it, nothing else.

#include <poll.h>

#include <thread>

#include "device/codes.h"
#include "device/sdk/control_protocol.h"
#include "device/sdk/secure_channel.h"
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

// Serves one connection on 127.0.0.1: optionally a correct hello, key exchange and login
// answer, then `hostile` bytes (through the channel after a login, with the byte at `flip`
// of the sealed bytes inverted when >= 0), then (when `close`) it hangs up; otherwise it
// waits for the SDK to.
class HostilePeer {
public:
    HostilePeer(bool login, std::string hostile, bool close, int flip = -1)
        : listen_(sdk::Listen("127.0.0.1", 0, &error_)),
          thread_([=, this] { Serve(login, hostile, close, flip); }) {}
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
    // Reads until one frame arrived (through the channel once it receives); false when none.
    bool ReadFrame(int fd, Frame* f) {
        while (WaitReadable(fd)) {
            const bool closed = sdk::ReceiveSome(fd, &in_) < 0;
            if (cipher_.receiving()) {
                std::string plain;
                if (!cipher_.Open(&in_, &plain))
                    return false;
                parser_.Feed(plain.data(), plain.size());
            } else {
                parser_.Feed(in_.data(), in_.size());
                in_.clear();
            }
            if (parser_.Next(f) == sdk::FrameParser::Result::kFrame)
                return true;
            if (closed)
                return false;
        }
        return false;
    }
    // The camera's side of the handshake with a key of its own; false when the SDK left.
    bool Handshake(int fd) {
        const sdk::EphemeralKey ephemeral = sdk::MakeEphemeralKey();
        const std::string hello =
            sdk::PrintHello({sdk::kProtocolVersion, sdk::kMinProtocolVersion, sdk::MakeNonce(),
                             sdk::ToHex(ephemeral.pk.data(), ephemeral.pk.size())});
        SendAll(fd, Encoded(FrameKind::kEvent, sdk::kCodeHello, 0, hello));
        Frame request;
        sdk::KeyExchange exchange;
        unsigned char clientKx[crypto_kx_PUBLICKEYBYTES];
        sdk::SessionKeys keys;
        if (!ReadFrame(fd, &request) || !sdk::ParseKeyExchange(request.payload, &exchange) ||
            !sdk::FromHex(exchange.kx, clientKx, sizeof clientKx) ||
            !sdk::CameraSessionKeys(ephemeral, clientKx, &keys) ||
            !cipher_.StartReceiving(keys, exchange.header))
            return false;
        in_ = parser_.TakeRest() + in_;
        const sdk::SigningKey key = sdk::SigningKeyFromMaterial("hostile peer");
        sdk::KeyExchangeResult result;
        result.serial = "HOSTILE" + std::to_string(sdk::LocalPort(listen_));
        result.key = sdk::ToHex(key.pk.data(), key.pk.size());
        result.signature = sdk::SignTranscript(
            key, sdk::HandshakeTranscript(hello, request.payload, result.serial, result.key));
        result.header = cipher_.StartSending(keys);
        SendAll(fd, Encoded(FrameKind::kAnswer, sdk::kCodeKeyExchange, request.sequence,
                            sdk::PrintKeyExchangeResult(result)));
        Frame loginRequest;
        if (!ReadFrame(fd, &loginRequest))
            return false;
        std::string sealed;
        cipher_.Seal(Encoded(FrameKind::kAnswer, sdk::kCodeLogin, loginRequest.sequence,
                             sdk::PrintLoginResult(10)),
                     &sealed);
        SendAll(fd, sealed);
        return true;
    }
    void Serve(bool login, const std::string& hostile, bool close, int flip) {
        if (!WaitReadable(listen_))
            return;
        const int fd = sdk::AcceptOne(listen_);
        std::string bytes = hostile;
        if (login && Handshake(fd)) {
            bytes.clear();
            cipher_.Seal(hostile, &bytes);
            if (flip >= 0)
                bytes[static_cast<std::size_t>(flip)] ^= 0x01;
        }
        SendAll(fd, bytes);
        if (!close) {
            std::string sink;
            while (WaitReadable(fd) && sdk::ReceiveSome(fd, &sink) >= 0)
                sink.clear();
        }
        sdk::CloseSocket(fd);
    }

    std::string error_;
    int listen_;
    sdk::ChannelCipher cipher_;
    sdk::FrameParser parser_;
    std::string in_;
    std::thread thread_;  // last: starts once everything above exists
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
        Encoded(FrameKind::kEvent, sdk::kCodeHello, 0, sdk::PrintHello({2, 2, "abcd", "00"}));
    struct Case {
        const char* name;
        bool login;
        std::string bytes;
        bool close;
        int event;
        int flip = -1;
    };
    const Case cases[] = {
        {"bad magic instead of the hello", false, "GET / HTTP/1.0\r\n\r\n", false,
         QV_EVENT_LOGIN_FAILED},
        {"oversized hello", false, WithLength(hello, 0xFFFFFFFFu), false, QV_EVENT_LOGIN_FAILED},
        {"truncated hello", false, hello.substr(0, 30), true, QV_EVENT_LOGIN_FAILED},
        {"hello of a newer protocol only", false,
         Encoded(FrameKind::kEvent, sdk::kCodeHello, 0, sdk::PrintHello({9, 9, "abcd", ""})), false,
         QV_EVENT_LOGIN_FAILED},
        {"hello of the protocol before the channel", false,
         Encoded(FrameKind::kEvent, sdk::kCodeHello, 0, sdk::PrintHello({1, 1, "abcd", ""})), false,
         QV_EVENT_LOGIN_FAILED},
        {"hello without a usable exchange key", false, hello, false, QV_EVENT_LOGIN_FAILED},
        {"event instead of the hello", false, event, false, QV_EVENT_LOGIN_FAILED},
        {"tampered length of a record", true, event, false, QV_EVENT_DISCONNECTED, 3},
        {"tampered byte inside a record", true, event, false, QV_EVENT_DISCONNECTED, 30},
        {"tampered last byte of a record", true, event, false, QV_EVENT_DISCONNECTED,
         static_cast<int>(sdk::kRecordHeaderSize + event.size() + sdk::kRecordTagSize - 1)},
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
        HostilePeer peer(c.login, c.bytes, c.close, c.flip);
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
