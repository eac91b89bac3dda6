// The C call contract of the device SDK (qv_netsdk_ipc.h) on top of the engine.

#include "device/sdk/qv_netsdk_ipc.h"

#include <arpa/inet.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "device/sdk/control_protocol.h"
#include "device/sdk/sdk_engine.h"
#include "device/sdk/secure_channel.h"

namespace {

using camfleet::sdk::Engine;

std::mutex g_lifeMutex;            // guards g_engine and g_timing
std::shared_ptr<Engine> g_engine;  // null outside Init .. Cleanup
camfleet::sdk::SdkTiming g_timing;

std::shared_ptr<Engine> Running() {
    std::lock_guard lock(g_lifeMutex);
    return g_engine;
}

// Sessions still open at process exit are logged out and the threads stopped.
struct CleanupAtExit {
    ~CleanupAtExit() { QV_NETSDK_IPC_Cleanup(); }
} g_cleanupAtExit;

bool ValidIpv4(const char* ip) {
    in_addr address;
    return ip != nullptr && inet_pton(AF_INET, ip, &address) == 1;
}

std::string TextOf(const char* text, int length) {
    if (text == nullptr || length <= 0)
        return {};
    return std::string(text, strnlen(text, static_cast<std::size_t>(length)));
}

// Month number of the compiler's __DATE__ ("Mmm dd yyyy").
int BuildMonth(const char* date) {
    static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const char* found = std::strstr(kMonths, std::string(date, 3).c_str());
    return found != nullptr ? static_cast<int>(found - kMonths) / 3 + 1 : 0;
}

template <typename Call>
int WithEngine(Call call) {
    const std::shared_ptr<Engine> engine = Running();
    return engine ? call(*engine) : QV_ERR_NOT_INIT;
}

int SessionCommand(int handle, uint32_t code, std::string payload) {
    return WithEngine([&](Engine& e) { return e.RequestSync(handle, code, payload, false); });
}

// A document read or write: the access mark tells the camera which, so a read never changes
// anything whatever text comes with it. Channels are 0 .. 255 (one byte of the frame).
int ConfigRequest(int handle, int command, int channel, camfleet::sdk::Access access,
                  const char* text, int length) {
    if (command <= 0 || static_cast<uint32_t>(command) > camfleet::sdk::kCodeMask || channel < 0 ||
        channel > 0xFF || length > static_cast<int>(camfleet::sdk::kMaxPayload))
        return QV_ERR_PARAM;
    return WithEngine([&](Engine& e) {
        return e.Request(handle, static_cast<uint32_t>(command),
                         camfleet::sdk::RequestParam(access, static_cast<uint8_t>(channel)),
                         TextOf(text, length));
    });
}

}  // namespace

namespace camfleet::sdk {

void SetSdkTimingForTesting(const SdkTiming& timing) {
    std::lock_guard lock(g_lifeMutex);
    g_timing = timing;
}

std::shared_ptr<Engine> RunningEngine() {
    return Running();
}

SdkTiming CurrentSdkTiming() {
    std::lock_guard lock(g_lifeMutex);
    return g_timing;
}

}  // namespace camfleet::sdk

extern "C" {

int QV_NETSDK_IPC_Init(void) {
    camfleet::sdk::CryptoReady();  // on the caller's thread; a failure shows at each login
    std::lock_guard lock(g_lifeMutex);
    if (!g_engine)
        g_engine = std::make_shared<Engine>(g_timing);
    return QV_OK;
}

int QV_NETSDK_IPC_Cleanup(void) {
    std::shared_ptr<Engine> engine;
    {
        std::lock_guard lock(g_lifeMutex);
        if (g_engine && g_engine->OnHookThread())
            return QV_ERR_PARAM;  // a hook cannot wait for its own thread to end
        engine.swap(g_engine);
    }
    if (engine)
        engine->Shutdown();
    return QV_OK;
}

uint32_t QV_NETSDK_IPC_GetSDKVersion(void) {
    return 0x01000000u;  // 1.0.0
}

uint32_t QV_NETSDK_IPC_GetSDKBuildData(void) {
    const char* date = __DATE__;
    const int day = std::atoi(date + 4);
    const int year = std::atoi(date + 7);
    return static_cast<uint32_t>(year * 10000 + BuildMonth(date) * 100 + day);
}

int QV_NETSDK_IPC_SetStatusEventCallBack(QV_NETSDK_IPC_StatusEventCallBack hook, void* user) {
    return WithEngine([&](Engine& e) {
        e.hooks().SetStatusHook(hook, user);
        return QV_OK;
    });
}

int QV_NETSDK_IPC_SetAUXResponseCallBack(QV_NETSDK_IPC_AUXResponseCallBack hook, void* user) {
    return WithEngine([&](Engine& e) {
        e.hooks().SetResponseHook(hook, user);
        return QV_OK;
    });
}

int QV_NETSDK_IPC_SetAutoReconnect(int loginHandle, int enable) {
    return WithEngine([&](Engine& e) {
        if (loginHandle == 0) {
            e.SetDefaultAutoReconnect(enable != 0);
            return QV_OK;
        }
        return e.SetAutoReconnect(loginHandle, enable != 0);
    });
}

int QV_NETSDK_IPC_Login(const char* ip, int port, const char* user, const char* password,
                        int /*reserved*/) {
    if (!ValidIpv4(ip) || port <= 0 || port > 65535 || user == nullptr || password == nullptr)
        return Running() ? QV_ERR_PARAM : QV_ERR_NOT_INIT;
    return WithEngine([&](Engine& e) {
        return e.Login({ip, static_cast<uint16_t>(port), user, password});
    });
}

int QV_NETSDK_IPC_Logout(int loginHandle) {
    return WithEngine([&](Engine& e) { return e.Logout(loginHandle); });
}

int QV_NETSDK_IPC_LogoutAll(void) {
    return WithEngine([](Engine& e) { return e.LogoutAll(); });
}

int QV_NETSDK_IPC_GetDVRConfig(int loginHandle, int command, int channel, const char* in,
                               int inLength, void* /*reserved*/) {
    return ConfigRequest(loginHandle, command, channel, camfleet::sdk::Access::kRead, in, inLength);
}

int QV_NETSDK_IPC_SetDVRConfig(int loginHandle, int command, int channel, const char* xml,
                               int length) {
    if (xml == nullptr || length <= 0)
        return QV_ERR_PARAM;
    return ConfigRequest(loginHandle, command, channel, camfleet::sdk::Access::kWrite, xml, length);
}

int QV_NETSDK_IPC_SystemControl(int loginHandle, int code, void* /*reserved*/, const char* text) {
    const std::string payload = text != nullptr ? text : "";
    if (code <= 0 || static_cast<uint32_t>(code) > camfleet::sdk::kCodeMask ||
        payload.size() > camfleet::sdk::kMaxPayload)
        return QV_ERR_PARAM;
    return WithEngine([&](Engine& e) {
        return e.RequestSync(loginHandle, static_cast<uint32_t>(code), payload, true);
    });
}

int QV_NETSDK_IPC_RebootDVR(int loginHandle) {
    return SessionCommand(loginHandle, camfleet::sdk::kCodeReboot, {});
}

int QV_NETSDK_IPC_RestoreConfig(int loginHandle) {
    return SessionCommand(loginHandle, camfleet::sdk::kCodeRestore, {});
}

int QV_NETSDK_IPC_PTZControl(int loginHandle, int command, int param1, int param2) {
    return SessionCommand(loginHandle, camfleet::sdk::kCodePtzControl,
                          "<PTZ Command=\"" + std::to_string(command) + "\" Param1=\"" +
                              std::to_string(param1) + "\" Param2=\"" + std::to_string(param2) +
                              "\" />");
}

int QV_NETSDK_IPC_PTZPreset(int loginHandle, int command, int preset) {
    return SessionCommand(loginHandle, camfleet::sdk::kCodePtzPreset,
                          "<PTZPreset Command=\"" + std::to_string(command) + "\" Preset=\"" +
                              std::to_string(preset) + "\" />");
}

int QV_NETSDK_IPC_CreateIFrame(int loginHandle, int stream) {
    return SessionCommand(loginHandle, camfleet::sdk::kCodeCreateIFrame,
                          "<IFrame Stream=\"" + std::to_string(stream) + "\" />");
}

int QV_NETSDK_IPC_Upgrade(int loginHandle, const char* path) {
    if (path == nullptr)
        return QV_ERR_PARAM;
    return WithEngine([&](Engine& e) { return e.StartUpgrade(loginHandle, path); });
}

int QV_NETSDK_IPC_GetUpgradeProgress(int loginHandle) {
    return WithEngine([&](Engine& e) { return e.UpgradeProgress(loginHandle); });
}

int QV_NETSDK_IPC_SetConfigFile(int loginHandle, const char* path) {
    if (path == nullptr)
        return QV_ERR_PARAM;
    return WithEngine([&](Engine& e) {
        return e.UploadAndWait(loginHandle, camfleet::sdk::BulkPurpose::kConfig, path);
    });
}

int QV_NETSDK_IPC_UploadOEMAppFile(int loginHandle, const char* path) {
    if (path == nullptr)
        return QV_ERR_PARAM;
    return WithEngine([&](Engine& e) {
        return e.UploadReported(loginHandle, camfleet::sdk::BulkPurpose::kOemApp, path);
    });
}

int QV_NETSDK_IPC_GetFileByName(int loginHandle, int type, const char* name, const char* path) {
    if (type != 1 || name == nullptr || path == nullptr)
        return QV_ERR_PARAM;
    return WithEngine([&](Engine& e) {
        return e.DownloadReported(loginHandle, camfleet::sdk::BulkPurpose::kFile, name, path);
    });
}

int QV_NETSDK_IPC_GetConfigFile(int loginHandle, const char* path) {
    if (path == nullptr)
        return QV_ERR_PARAM;
    return WithEngine([&](Engine& e) {
        return e.DownloadReported(loginHandle, camfleet::sdk::BulkPurpose::kConfig, {}, path);
    });
}

}  // extern "C"
