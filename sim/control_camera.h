#pragma once
// The camera-control side of one simulated camera without sockets: its account, its
// configuration documents and its answers to requests (docs/camera-protocol.md). The
// control server owns one per camera and feeds it the frames of that camera's sessions.
//
// Not thread-safe: the control server calls it under its lock.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "device/sdk/control_frame.h"

namespace camfleet::sim {

// What the control side needs to know of its virtual camera.
struct ControlIdentity {
    std::string serialNumber;
    std::string model = "NVS3516E";
    std::string firmwareVersion = "V5.2.1 build 230615";
    std::string hardwareVersion = "V1.0";
    std::string macAddress = "00:1a:2b:00:00:01";
    std::string ipAddress = "127.0.0.1";
    std::string netmask = "255.0.0.0";
    std::string gateway = "127.0.0.1";
    std::string dns1 = "8.8.8.8";
    std::string dns2 = "114.114.114.114";
    int dhcp = 0;
    uint16_t sdkPort = 8091;  // PTZPort; 0 = any free port (tests)
    int rtspPort = 554;
    int webPort = 80;
    std::string username = "admin";  // the factory account
    std::string password = "730418";
    std::string title = "camfleet-sim";  // the OSD title its snapshots show
};

// Reaches the virtual camera when the control side changes it. Called without the server's
// lock held, on the server thread.
struct ControlCallbacks {
    std::function<void(bool restore)> onRestart;  // reboot (false) or restore (true) asked for
    std::function<void(const std::string& password)> onPasswordChanged;
    // A firmware write finished: the camera restarts, silent for `silence`, and runs
    // `version` from then on (its old version after a clean-up image).
    std::function<void(const std::string& version, std::chrono::milliseconds silence)>
        onFirmwareInstalled;
    // The model the camera reports changed: an OEM model, or its own one again.
    std::function<void(const std::string& model)> onModelOverride;
};

// Configuration documents by command code, with a real camera's factory defaults, and the
// configuration file made of them (sim/camera_config_file.cpp).
class CameraDocuments {
public:
    // Configuration files above this size are refused unread.
    static constexpr std::size_t kMaxConfigFileSize = 16 * 1024 * 1024;

    explicit CameraDocuments(const ControlIdentity& identity);
    void Reset();  // factory defaults
    // The camera moved to another address: the network document follows.
    void SetAddress(const std::string& ip);
    // A read code or a write-only code: the document kept under it ("" with status 2 for a
    // code that is not a configuration code).
    std::string Read(int code, int32_t* status) const;
    // Takes a written document: status 0, 3 when it cannot take it, 2 for a code it does not
    // know. A 223 document's new password is returned through `password`.
    int32_t Write(int code, std::string_view text, std::string* password);
    // The configuration file the camera exports: a NORVEKConfig document of its current
    // documents and record schedule (docs/camera-protocol.md, "Configuration file").
    std::string Export() const;
    // Takes a configuration file whole or not at all: 0 when it is one and every document in
    // it that the camera knows passes the checks of a write of its code; the camera's
    // addresses, ports and account stay as they are. Else status 1 and nothing changed.
    // `defaultConfig` tells whether the file is a default configuration
    // (SET_OEM_DEFAULT_CONFIG="1" on its root).
    int32_t Import(std::string_view text, bool* defaultConfig);

private:
    int32_t WriteCapture(int code, std::string_view text);
    // After a file's network and stream-access documents were taken: the values no file
    // changes come back from `before`.
    void KeepIdentityOf(const CameraDocuments& before);
    ControlIdentity identity_;
    std::map<int, std::string> documents_;  // by read code, or by write code for write-only
    std::string recordSchedule_;            // kept only in the configuration file
};

class ControlCamera {
public:
    struct Reply {
        enum class Action { kNone, kClose, kRestart, kRestore, kSnapshot };
        int32_t status = 0;
        std::string payload;
        Action action = Action::kNone;
    };

    explicit ControlCamera(ControlIdentity identity);

    // Login with `text` against the nonce of this connection's hello: 0, 5 or 7.
    int32_t CheckLogin(std::string_view text, std::string_view nonce) const;
    // 0 when a request's access mark and channel fit its code, else the status to answer
    // (8: a read or write of a command, a command sent as a read or write; 3: a channel the
    // camera does not have). Checked before anything else, also before login.
    static int32_t AccessFits(const sdk::Frame& request);
    // A request of a logged-in session that fits (AccessFits).
    Reply Handle(const sdk::Frame& request);
    void FactoryReset();
    void SetAddress(const std::string& ip);
    // A configuration file uploaded to the camera (CameraDocuments::Import).
    int32_t ImportConfig(std::string_view text, bool* defaultConfig) {
        return documents_.Import(text, defaultConfig);
    }
    // The account's password as if changed on the camera itself (the factory one stays).
    void SetPassword(const std::string& password) { password_ = password; }
    // An installed firmware image: the version the camera answers from now on.
    void SetFirmwareVersion(const std::string& version) { identity_.firmwareVersion = version; }
    // An OEM model the camera reports instead of its own ("": its own again). The identity
    // keeps the hardware model, which firmware images are checked against.
    void SetModelOverride(const std::string& model) { modelOverride_ = model; }
    // The model it reports: its own, or the OEM model. The tool lists only cameras whose model
    // names their device class (NVS, DVS, DEC or NVR), so an OEM model without one is reported
    // behind the class of the camera's own model ("NVS-" + the OEM model).
    std::string reportedModel() const;

    const ControlIdentity& identity() const { return identity_; }
    const std::string& password() const { return password_; }
    const CameraDocuments& documents() const { return documents_; }
    const std::string& lastControl(int code) const { return controls_[code]; }

private:
    Reply HandleSystem(int code, const std::string& text);

    ControlIdentity identity_;
    std::string password_;
    std::string modelOverride_;  // survives reboots and factory restores
    CameraDocuments documents_;
    mutable std::map<int, std::string> controls_;  // last request text per system command
};

}  // namespace camfleet::sim
