#pragma once
// Per-camera and per-connection state of the control server (sim/control_server.h). Every
// field is guarded by the server's mutex_.

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "device/sdk/bulk_protocol.h"
#include "device/sdk/control_frame.h"
#include "device/sdk/secure_channel.h"
#include "sim/control_server.h"
#include "sim/firmware_image.h"

namespace camfleet::sim {

// The answer to `request` with `status` and `payload`, encoded.
inline std::string EncodeAnswer(const sdk::Frame& request, int32_t status, std::string payload) {
    sdk::Frame answer;
    answer.kind = sdk::FrameKind::kAnswer;
    answer.code = request.code;
    answer.sequence = request.sequence;
    answer.status = status;
    answer.payload = std::move(payload);
    return sdk::EncodeFrame(answer);
}

// A data frame of a bulk connection, encoded.
inline std::string EncodeDataFrame(uint32_t code, uint32_t sequence, std::string payload) {
    sdk::Frame frame;
    frame.kind = sdk::FrameKind::kData;
    frame.code = code;
    frame.sequence = sequence;
    frame.payload = std::move(payload);
    return sdk::EncodeFrame(frame);
}

// A token handed out on a session and not yet attached.
struct BulkToken {
    uint64_t session = 0;  // the connection that asked for it
    sdk::BulkOpen open;
    std::chrono::steady_clock::time_point expires{};
    std::string content;  // downloads: the file
    std::string digest;   // downloads: its SHA-256
};

// An attached bulk connection.
struct BulkLink {
    uint64_t session = 0;
    sdk::BulkOpen open;
    std::string data;     // uploads: what arrived; downloads: the file being sent
    std::string digest;   // downloads: of `data`
    uint64_t bytes = 0;   // file bytes received or queued
    uint32_t chunks = 0;  // chunks received or queued
    uint32_t acked = 0;   // downloads: chunks the client took
    bool done = false;    // the verdict is given
    // Firmware uploads: the image check the chunks stream through instead of into `data`.
    std::unique_ptr<FirmwareImageChecker> firmware;
};

// The write phase after an accepted firmware image, and what follows it.
struct FirmwareWrite {
    enum class Outcome { kInstall, kFail, kHang };
    bool running = false;
    uint64_t session = 0;  // the session that made the upload
    std::string version;   // the camera runs it after the reboot
    bool clean = false;    // the clean-up image: the custom configuration goes, no install
    Outcome outcome = Outcome::kInstall;
    int stopAt = 100;  // percent where the outcome comes
    std::chrono::steady_clock::time_point start{};
    int progress = 0;   // the last progress percent sent
    bool hung = false;  // kHang reached its stop: nothing more until the sessions are gone
};

struct ControlServer::Camera {
    Camera(ControlIdentity identity, ControlCallbacks calls)
        : logic(std::move(identity)), callbacks(std::move(calls)) {
        DeriveKey();
    }
    // The camera's long-term key follows from its serial number and key generation alone, so
    // a lab started again shows the same keys.
    void DeriveKey() {
        key =
            sdk::SigningKeyFromMaterial("camfleet-sim camera key:" + logic.identity().serialNumber +
                                        ":" + std::to_string(keyGeneration));
        keyHex = sdk::ToHex(key.pk.data(), key.pk.size());
    }
    ControlCamera logic;
    int keyGeneration = 0;
    sdk::SigningKey key;
    std::string keyHex;
    ControlCallbacks callbacks;
    int listenFd = -1;
    bool down = false;
    Clock::time_point upAt{};
    std::chrono::milliseconds restartTime{3000};
    bool refuse = false;
    std::chrono::milliseconds delay{0};
    bool lose = false;
    int32_t failStatus = 0;
    bool dropRequested = false;
    std::string moveTo;  // a new address to listen on
    int logins = 0;
    int restarts = 0;
    std::map<std::string, BulkToken> tokens;
    std::map<std::string, std::string> files;  // served for download
    std::string snapshotName;                  // a test's name for the next snapshots
    int snapshots = 0;
    std::map<sdk::BulkPurpose, StoredFile> uploads;
    int uploadsAccepted = 0;
    int uploadsFailed = 0;
    bool confirmDefaultConfig = true;  // status event 14 after a default configuration
    int defaultConfigs = 0;            // default configurations applied
    std::string lastDefaultConfig;     // the upload name of the last one
    BulkFault bulkFault;
    std::chrono::milliseconds writeTime = kFirmwareWriteTime;
    std::chrono::milliseconds rebootTime = kFirmwareRebootTime;
    FirmwareFault firmwareFault;
    FirmwareWrite firmwareWrite;
    int firmwareWrites = 0;
};

struct ControlServer::Connection {
    uint64_t key = 0;
    int fd = -1;
    int camera = 0;
    bool loggedIn = false;
    bool verdictPending = false;  // a refused login's answer is held back by the throttle
    bool closing = false;         // close once `out` is sent
    bool dead = false;            // close now
    bool keyed = false;           // the channel runs
    bool switched = false;  // the key exchange was just answered: the parser's rest is ciphertext
    std::string nonce;
    std::string hello;  // the hello's text, for the handshake transcript
    sdk::EphemeralKey ephemeral;
    sdk::ChannelCipher cipher;
    sdk::FrameParser parser;
    std::string in;    // as received (ciphertext once keyed)
    std::string out;   // frames to send, plain
    std::string wire;  // bytes to send as they go out
    Clock::time_point lastReceived{};
    Clock::time_point acceptedAt{};
    std::string source;              // the peer's address, for the login throttle
    std::unique_ptr<BulkLink> bulk;  // set by the attach

    // Counts against the deadline and the caps of connections that have not logged in.
    bool Unauthenticated() const { return !loggedIn && !bulk; }
};

}  // namespace camfleet::sim
