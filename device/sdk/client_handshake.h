#pragma once
// The client's half of a connection's set-up (docs/camera-protocol.md, "Session set-up"),
// shared by control sessions and bulk connections: it reads the camera's hello, makes the key
// exchange, checks the camera's signed answer and its key against the pins, and leaves the
// connection's channel running in both directions.
//
// Not thread-safe: one object belongs to one connection and the thread that reads it.

#include <cstdint>
#include <string>

#include "device/sdk/control_frame.h"
#include "device/sdk/control_protocol.h"
#include "device/sdk/secure_channel.h"

namespace camfleet::sdk {

class ClientHandshake {
public:
    enum class Verdict { kOk, kFailed, kKeyChanged };

    // `address` pins a camera without a serial number; `label` names the connection in logs.
    ClientHandshake(std::string address, std::string label);
    ~ClientHandshake();
    ClientHandshake(const ClientHandshake&) = delete;
    ClientHandshake& operator=(const ClientHandshake&) = delete;

    // The first frame of the connection. true: `request` holds the key exchange (to go out in
    // clear, with sequence `sequence`) and `cipher` sends; false: close the connection.
    bool OnHello(const Frame& frame, uint32_t sequence, ChannelCipher* cipher,
                 std::string* request);
    // The answer to the key exchange. kOk: `cipher` receives too, and the bytes after this
    // frame are channel records.
    Verdict OnAnswer(const Frame& frame, ChannelCipher* cipher);

    bool exchanged() const { return sequence_ != 0; }
    const Hello& hello() const { return hello_; }
    int protocol() const { return protocol_; }

private:
    const std::string address_;
    const std::string label_;
    Hello hello_;
    int protocol_ = 0;
    uint32_t sequence_ = 0;
    SessionKeys keys_;  // between our key exchange and the camera's answer
    std::string helloText_;
    std::string exchangeText_;  // both for the transcript
};

}  // namespace camfleet::sdk
