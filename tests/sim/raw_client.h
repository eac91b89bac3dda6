#pragma once
// Simulated cameras on loopback and a hand-made client of them for tests: a blocking socket that
// speaks frames and the channel by hand, so tests can send what the SDK never would.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "device/sdk/control_frame.h"
#include "device/sdk/control_protocol.h"
#include "device/sdk/secure_channel.h"
#include "sim/control_server.h"

namespace camfleet::sim {

// A blocking client socket with a receive limit, speaking frames by hand.
class Client {
public:
    explicit Client(uint16_t port, int receiveBuffer = 0, const char* address = "127.0.0.1") {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receiveBuffer > 0)
            setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        timeval limit{5, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        inet_pton(AF_INET, address, &addr.sin_addr);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~Client() { close(fd_); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool connected() const { return connected_; }
    int fd() const { return fd_; }

    // The next frame; false when the camera closed or nothing came in time. Once the
    // channel runs, frames are read out of its records.
    bool Next(sdk::Frame* frame) {
        for (;;) {
            if (parser_.Next(frame) == sdk::FrameParser::Result::kFrame)
                return true;
            char buffer[4096];
            const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0)
                return false;
            if (!cipher_.receiving()) {
                parser_.Feed(buffer, static_cast<std::size_t>(n));
                continue;
            }
            wire_.append(buffer, static_cast<std::size_t>(n));
            std::string plain;
            if (!cipher_.Open(&wire_, &plain))
                return false;
            parser_.Feed(plain.data(), plain.size());
        }
    }
    bool Send(const std::string& bytes) {
        std::string sealed;
        if (cipher_.sending())
            cipher_.Seal(bytes, &sealed);
        const std::string& out = cipher_.sending() ? sealed : bytes;
        return send(fd_, out.data(), out.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(out.size());
    }
    // Reads the hello and runs the key exchange; the hello's nonce, or empty.
    std::string Handshake() {
        sdk::Frame hello;
        sdk::Hello parsed;
        if (!Next(&hello) || !sdk::ParseHello(hello.payload, &parsed))
            return {};
        const sdk::EphemeralKey own = sdk::MakeEphemeralKey();
        unsigned char cameraPk[crypto_kx_PUBLICKEYBYTES];
        sdk::SessionKeys keys;
        if (!sdk::FromHex(parsed.kx, cameraPk, sizeof cameraPk) ||
            !sdk::ClientSessionKeys(own, cameraPk, &keys))
            return {};
        sdk::Frame exchange;
        exchange.code = sdk::kCodeKeyExchange;
        exchange.param = sdk::RequestParam(sdk::Access::kCommand);
        exchange.sequence = 1;
        exchange.payload =
            sdk::PrintKeyExchange({sdk::kProtocolVersion, sdk::ToHex(own.pk.data(), own.pk.size()),
                                   cipher_.StartSending(keys)});
        sdk::Frame answer;
        sdk::KeyExchangeResult result;
        // The exchange goes out in clear; everything after it through the channel.
        const std::string bytes = sdk::EncodeFrame(exchange);
        if (send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) !=
                static_cast<ssize_t>(bytes.size()) ||
            !Next(&answer) || !sdk::ParseKeyExchangeResult(answer.payload, &result) ||
            !cipher_.StartReceiving(keys, result.header))
            return {};
        wire_ = parser_.TakeRest();  // bytes after the answer are records already
        return parsed.nonce;
    }
    // Handshake, then logs in with `password`; the answer's status, or -1.
    int Login(const std::string& password) {
        const std::string nonce = Handshake();
        if (nonce.empty())
            return -1;
        sdk::Frame login;
        login.code = sdk::kCodeLogin;
        login.param = sdk::RequestParam(sdk::Access::kCommand);
        login.sequence = 2;
        login.payload = sdk::PrintLogin(
            {sdk::kProtocolVersion, "admin", sdk::LoginDigest(password, nonce, "admin")});
        sdk::Frame answer;
        if (!Send(sdk::EncodeFrame(login)) || !Next(&answer))
            return -1;
        return answer.status;
    }
    // True when the camera closed the connection (reads end) within the receive limit.
    bool ClosedByCamera() {
        char buffer[4096];
        for (;;) {
            const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
            if (n == 0 || (n < 0 && errno == ECONNRESET))
                return true;
            if (n < 0)
                return false;
        }
    }

private:
    int fd_ = -1;
    bool connected_ = false;
    sdk::FrameParser parser_;
    sdk::ChannelCipher cipher_;
    std::string wire_;  // records not yet opened
};

// Cameras of a control server on 127.0.0.1, each on a free port, password kTestPassword.
inline constexpr const char* kTestPassword = "730418";

class LoopbackCameraTest : public ::testing::Test {
protected:
    int AddCamera() {
        ControlIdentity identity;
        identity.serialNumber = "SN" + std::to_string(server_.CameraCount() + 1);
        identity.ipAddress = "127.0.0.1";
        identity.sdkPort = 0;
        identity.password = kTestPassword;
        std::string error;
        const int id = server_.AddCamera(identity, {}, &error);
        EXPECT_GE(id, 0) << error;
        return id;
    }
    // Waits up to 5 s for `done` to hold.
    template <typename Done>
    static bool Eventually(Done done) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done()) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }
    ControlServer server_;
};

}  // namespace camfleet::sim
