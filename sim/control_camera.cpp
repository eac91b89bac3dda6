#include "sim/control_camera.h"

#include <cctype>

#include "device/codes.h"
#include "device/sdk/control_protocol.h"
#include "device/xml_messages.h"

namespace camfleet::sim {

namespace {

using sdk::ReadAttributes;

std::string Response(const char* name, const std::string& value) {
    return std::string("<RESPONSE_PARAM ") + name + "=\"" + EscapeAttribute(value) + "\" />";
}

// "yyyymmdd hh:mm:ss" with plausible fields.
bool ValidTime(const std::string& t) {
    if (t.size() != 17 || t[8] != ' ' || t[11] != ':' || t[14] != ':')
        return false;
    for (std::size_t i : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 9u, 10u, 12u, 13u, 15u, 16u})
        if (!std::isdigit(static_cast<unsigned char>(t[i])))
            return false;
    const int month = std::stoi(t.substr(4, 2));
    const int day = std::stoi(t.substr(6, 2));
    return month >= 1 && month <= 12 && day >= 1 && day <= 31 && std::stoi(t.substr(9, 2)) < 24 &&
           std::stoi(t.substr(12, 2)) < 60 && std::stoi(t.substr(15, 2)) < 60;
}

bool OneOf(const std::map<std::string, std::string>& a, const char* name,
           std::initializer_list<const char*> values) {
    const auto it = a.find(name);
    if (it == a.end())
        return false;
    for (const char* v : values)
        if (it->second == v)
            return true;
    return false;
}

// Whether a REQUEST_PARAM text of system command `code` is one the camera takes.
bool RequestFits(int code, const std::string& text) {
    if (sdk::FirstElementName(text) != "REQUEST_PARAM")
        return false;
    const auto a = ReadAttributes(text);
    switch (code) {
        case kCtlSyncTime:
            return a.count("Time") != 0 && ValidTime(a.at("Time"));
        case kCtlIoOutput:
            return OneOf(a, "Output", {"0", "1"});
        case kCtlSnapshot:
            return a.count("Stream") != 0;
        case kCtlDayNightMode:
            return OneOf(a, "Mode", {"NightMode", "DayMode"});
        case kCtlFactoryMode:
            return OneOf(a, "Mode", {"0", "1"});
        default:
            return true;  // kCtlImageAdjust: any image attributes
    }
}

}  // namespace

std::string ControlCamera::reportedModel() const {
    if (modelOverride_.empty())
        return identity_.model;
    constexpr const char* kClasses[] = {"NVS", "DVS", "DEC", "NVR"};
    for (const char* marker : kClasses)
        if (modelOverride_.find(marker) != std::string::npos)
            return modelOverride_;
    for (const char* marker : kClasses)
        if (identity_.model.find(marker) != std::string::npos)
            return std::string(marker) + "-" + modelOverride_;
    return std::string(kClasses[0]) + "-" + modelOverride_;
}

ControlCamera::ControlCamera(ControlIdentity identity)
    : identity_(std::move(identity)), password_(identity_.password), documents_(identity_) {}

int32_t ControlCamera::CheckLogin(std::string_view text, std::string_view nonce) const {
    sdk::Login login;
    if (!sdk::ParseLogin(text, &login))
        return sdk::kStatusRefused;
    if (login.protocol < sdk::kMinProtocolVersion || login.protocol > sdk::kProtocolVersion)
        return sdk::kStatusVersion;
    if (login.user != identity_.username ||
        login.digest != sdk::LoginDigest(password_, nonce, login.user))
        return sdk::kStatusRefused;
    return sdk::kStatusOk;
}

void ControlCamera::FactoryReset() {
    password_ = identity_.password;
    documents_.Reset();
}

void ControlCamera::SetAddress(const std::string& ip) {
    identity_.ipAddress = ip;
    documents_.SetAddress(ip);
}

int32_t ControlCamera::AccessFits(const sdk::Frame& request) {
    const int code = static_cast<int>(request.code);
    const sdk::Access access = sdk::AccessOf(request.param);
    const bool command = request.code >= sdk::kCodeHello || IsSystemControlCode(code);
    const bool fits = command ? access == sdk::Access::kCommand
                              : access == sdk::Access::kRead || access == sdk::Access::kWrite;
    if (!fits)
        return sdk::kStatusWrongAccess;
    // These cameras have one video channel, 0; commands carry no channel.
    return sdk::ChannelOf(request.param) == 0 ? sdk::kStatusOk : sdk::kStatusBadDocument;
}

ControlCamera::Reply ControlCamera::Handle(const sdk::Frame& request) {
    using Action = Reply::Action;
    const int code = static_cast<int>(request.code);
    switch (request.code) {
        case sdk::kCodeKeepAlive:
            return {};
        case sdk::kCodeLogout:
            return {0, {}, Action::kClose};
        case sdk::kCodeReboot:
            return {0, {}, Action::kRestart};
        case sdk::kCodeRestore:
            FactoryReset();
            return {0, {}, Action::kRestore};
        case sdk::kCodePtzControl:
        case sdk::kCodePtzPreset:
        case sdk::kCodeCreateIFrame:
            controls_[code] = request.payload;
            return {ReadAttributes(request.payload).empty() ? sdk::kStatusBadDocument : 0, {}};
        default:
            break;
    }
    if (IsSystemControlCode(code))
        return HandleSystem(code, request.payload);
    int32_t status = 0;
    if (sdk::AccessOf(request.param) == sdk::Access::kRead) {
        std::string document = documents_.Read(code, &status);  // whatever text came with it
        return {status, status == 0 ? std::move(document) : std::string()};
    }
    std::string password;
    status = documents_.Write(code, request.payload, &password);
    if (status == 0 && !password.empty())
        password_ = password;
    return {status, {}};
}

ControlCamera::Reply ControlCamera::HandleSystem(int code, const std::string& text) {
    const ControlIdentity& id = identity_;
    switch (code) {
        case kCtlFactoryRestore:
            FactoryReset();
            return {0, {}};
        case kCtlFileSystemVersion:
            return {0, Response("FileSystemVersion", id.firmwareVersion)};
        case kCtlSerialNumber:
            return {0, Response("SerialNumber", id.serialNumber)};
        case kCtlDeviceAnswerText:
            return {0, "<RESPONSE_PARAM DeviceType=\"" + EscapeAttribute(reportedModel()) +
                           "\" SerialNumber=\"" + EscapeAttribute(id.serialNumber) +
                           "\" HardwareVersion=\"" + EscapeAttribute(id.hardwareVersion) +
                           "\" SoftwareVersion=\"" + EscapeAttribute(id.firmwareVersion) + "\" />"};
        case kCtlSnapshot:
            if (!RequestFits(code, text))
                return {sdk::kStatusBadDocument, {}};
            controls_[code] = text;
            // The picture is taken and announced once the answer went (ControlServer).
            return {0, {}, Reply::Action::kSnapshot};
        case kCtlSyncTime:
        case kCtlIoOutput:
        case kCtlDayNightMode:
        case kCtlImageAdjust:
        case kCtlFactoryMode:
            if (!RequestFits(code, text))
                return {sdk::kStatusBadDocument, {}};
            controls_[code] = text;
            return {0, {}};
        default:
            return {sdk::kStatusUnsupported, {}};
    }
}

}  // namespace camfleet::sim
