// Factory documents of a simulated camera and the checks it applies to written ones.

#include <tinyxml2.h>

#include <cstring>

#include "device/codes.h"
#include "device/records.h"
#include "device/sdk/control_protocol.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "device/xml_messages.h"
#include "sim/control_camera.h"

namespace camfleet::sim {

namespace {

std::string Take(char* text) {
    std::string out = text != nullptr ? text : "";
    QV_NETSDK_IPC_XMLGET_SAFE_FREE(text);
    return out;
}

QV_VIDEO_CAPTURE DefaultVideo() {
    QV_VIDEO_CAPTURE v{};
    v.brightness = v.contrast = v.saturation = v.sharpness = 128;
    v.tvSystem = 1;
    v.gain = 50;
    v.wdrLevel = v.defogLevel = v.noiseFilter = 50;
    return v;
}

QV_AUDIO_CAPTURE DefaultAudio() {
    QV_AUDIO_CAPTURE a{};
    a.sampleRate = 8000;
    a.captureVolume = 50;
    a.playbackVolume = 100;
    return a;
}

QV_NETWORK_LAN_CFG Network(const ControlIdentity& id) {
    QV_NETWORK_LAN_CFG n{};
    CopyField(n.macAddress, id.macAddress);
    n.dhcp = static_cast<int16_t>(id.dhcp);
    CopyField(n.ipAddress, id.ipAddress);
    CopyField(n.netmask, id.netmask);
    CopyField(n.gateway, id.gateway);
    CopyField(n.dns1, id.dns1);
    CopyField(n.dns2, id.dns2);
    return n;
}

std::string StreamAccess(const ControlIdentity& id) {
    StreamAccessRecord access;
    SetStreamAccessDefaults(&access);
    access.ptzPort = id.sdkPort;
    access.videoPort = id.rtspPort;
    access.webPort = id.webPort;
    return PrintStreamAccessBody(access);
}

// Root element a write code's document must have (several for audio capture).
bool RootFits(int code, const char* root) {
    const std::string r = root;
    switch (code) {
        case kCmdSetTime:
            return r == "TimeConfig";
        case kCmdSetAdminPassword:
            return r == "UserConfig";
        case kCmdSetLanguage:
            return r == "MiscConfig";
        case kCmdSetMaintenance:
            return r == "MaintainConfig";
        case kCmdSetNetwork:
            return r == "LANConfig";
        case kCmdSetP2p:
            return r == "P2PConfig";
        case kCmdSetVideoEncoding:
            return r == "Encode";
        case kCmdSetVideoCapture:
            return r == "Video";
        case kCmdSetOverlay:
            return r == "Overlay";
        case kCmdSetAudioCapture:
            return r == "Audio" || r == "Capture";
        case kCmdSetAudioEncoding:
            return r == "Audio";
        case kCmdSetStreamAccess:
            return r == "MediaStreamConfig";
        case kCmdSetPlatform:
            return r == "PlatformConfig";
        case kCmdSetMotionDetect:
            return r == "MotionDetectAlarm";
        default:
            return false;
    }
}

bool IsWriteCode(int code) {
    switch (code) {
        case kCmdSetTime:
        case kCmdSetAdminPassword:
        case kCmdSetLanguage:
        case kCmdSetMaintenance:
        case kCmdSetNetwork:
        case kCmdSetP2p:
        case kCmdSetVideoEncoding:
        case kCmdSetVideoCapture:
        case kCmdSetOverlay:
        case kCmdSetAudioCapture:
        case kCmdSetAudioEncoding:
        case kCmdSetStreamAccess:
        case kCmdSetPlatform:
        case kCmdSetMotionDetect:
            return true;
        default:
            return false;
    }
}

// Where a write code keeps its document: under its read code where it has one.
int StoredUnder(int code) {
    const int read = ReadCodeOf(code);
    return read != 0 ? read : code;
}

bool InRange(int v, int low, int high) {
    return v >= low && v <= high;
}

bool VideoValid(const QV_VIDEO_CAPTURE& v) {
    return InRange(v.brightness, 0, 255) && InRange(v.contrast, 0, 255) &&
           InRange(v.saturation, 0, 255) && InRange(v.sharpness, 0, 255) &&
           InRange(v.tvSystem, 0, 1) && InRange(v.mirror, 0, 1) && InRange(v.flip, 0, 1) &&
           (v.rotation == 0 || v.rotation == 90 || v.rotation == 180 || v.rotation == 270) &&
           InRange(v.dayNightMode, 0, 3);
}

bool AudioValid(const QV_AUDIO_CAPTURE& a) {
    return InRange(a.captureVolume, 0, 100) && InRange(a.playbackVolume, 0, 100) &&
           InRange(a.keyAnswer, 0, 1);
}

}  // namespace

CameraDocuments::CameraDocuments(const ControlIdentity& identity) : identity_(identity) {
    Reset();
}

void CameraDocuments::Reset() {
    const QV_VIDEO_CAPTURE video = DefaultVideo();
    const QV_AUDIO_CAPTURE audio = DefaultAudio();
    const QV_NETWORK_LAN_CFG lan = Network(identity_);
    documents_ = {
        {kCmdGetVideoCapture, Take(QV_NETSDK_IPC_XMLGET_VideoCaptureConfig(&video))},
        {kCmdGetNetwork, Take(QV_NETSDK_IPC_XMLGET_NetworkLANConfig(&lan))},
        {kCmdGetStreamAccess, StreamAccess(identity_)},
        {kCmdGetAudioCapture, Take(QV_NETSDK_IPC_XMLGET_AudioCaptureConfig(&audio))},
        {kCmdSetTime,
         "<TimeConfig TimeMode=\"NTP\" TimeZone=\"1200\">\n"
         "\t<NTPConfig ServerIP=\"pool.ntp.org\" ServerPort=\"123\" RefreshInterval=\"60\" />\n"
         "\t<SummerTime enable=\"0\" auto=\"0\" offset=\"0\" />\n</TimeConfig>\n"},
        {kCmdSetAdminPassword,
         "<UserConfig><Account Username=\"" + EscapeAttribute(identity_.username) +
             "\" Password=\"******\" Group=\"Administrator\" Status=\"Enable\" />"
             "</UserConfig>"},
        {kCmdSetLanguage, "<MiscConfig Language=\"en_us\" />"},
        {kCmdSetMaintenance, "<MaintainConfig\tEnable=\"0\" Day=\"7\" Time=\"03:00:00\" />"},
        {kCmdSetP2p, "<P2PConfig\n\tEnable=\"1\" Type=\"0\" />\n"},
        {kCmdSetVideoEncoding,
         "<Encode>\n"
         "\t<EncodeConfig Stream=\"1\" Resolution=\"1920x1080\" EncodeFormat=\"H264\" "
         "BitRateControl=\"VBR\" Initquant=\"50\" BitRate=\"4096\" FrameRate=\"25\" />\n"
         "\t<EncodeConfig Stream=\"2\" Resolution=\"640x360\" EncodeFormat=\"H264\" "
         "BitRateControl=\"VBR\" Initquant=\"50\" BitRate=\"512\" FrameRate=\"25\" />\n"
         "</Encode>\n"},
        {kCmdSetOverlay,
         "<Overlay Enable=\"1\" Transparency=\"0\" Style=\"0\" Fontsize=\"0\" Week=\"0\">"
         "<TimeOverlay PosX=\"16\" PosY=\"16\" Format=\"YYYY-MM-DD hh:mm:ss\" />"
         "<TitleOverlay PosX=\"16\" PosY=\"560\" TitleUtf8=\"\" /></Overlay>"},
        {kCmdSetAudioEncoding,
         "<Audio>\n\t<Encode Enable=\"1\" SampleRate=\"8000\" EncodeType=\"G711A\" "
         "BitRate=\"64\" />\n</Audio>\n"},
        {kCmdSetPlatform,
         "<PlatformConfig Enable=\"0\" PlayStartVoice=\"0\" ServerIP=\"\" ServerPort=\"0\" "
         "Account=\"\" Password=\"\" />"},
        {kCmdSetMotionDetect,
         "<MotionDetectAlarm Enable=\"0\" BlockCount=\"0\" BlockConfig=\"\" "
         "Sensitivity=\"60\" AlarmThreshold=\"30\" />"},
    };
    recordSchedule_ =
        "<RecordSchedule Enable=\"0\" Stream=\"1\" Days=\"127\" StartTime=\"00:00:00\" "
        "EndTime=\"23:59:59\" />";
}

void CameraDocuments::SetAddress(const std::string& ip) {
    identity_.ipAddress = ip;
    std::string& kept = documents_[kCmdGetNetwork];
    QV_NETWORK_LAN_CFG n{};
    QV_NETSDK_IPC_Network_getLANCfgByXml(kept.c_str(), &n);
    CopyField(n.ipAddress, ip);
    kept = Take(QV_NETSDK_IPC_XMLGET_NetworkLANConfig(&n));
}

// A configuration file goes to many cameras: of its network document only the all-net flag
// is taken (the MAC, DHCP flag and addresses stay), of its stream access everything but the
// SDK, RTSP and web ports.
void CameraDocuments::KeepIdentityOf(const CameraDocuments& before) {
    std::string& lan = documents_[kCmdGetNetwork];
    const std::string& lanBefore = before.documents_.at(kCmdGetNetwork);
    if (lan != lanBefore) {
        QV_NETWORK_LAN_CFG taken{};
        QV_NETWORK_LAN_CFG kept{};
        QV_NETSDK_IPC_Network_getLANCfgByXml(lan.c_str(), &taken);
        QV_NETSDK_IPC_Network_getLANCfgByXml(lanBefore.c_str(), &kept);
        kept.allNet = taken.allNet;
        lan = Take(QV_NETSDK_IPC_XMLGET_NetworkLANConfig(&kept));
    }
    std::string& streams = documents_[kCmdGetStreamAccess];
    const std::string& streamsBefore = before.documents_.at(kCmdGetStreamAccess);
    if (streams != streamsBefore) {
        StreamAccessRecord taken;
        StreamAccessRecord kept;
        ParseStreamAccessDocument(streams, &taken);
        ParseStreamAccessDocument(streamsBefore, &kept);
        taken.ptzPort = kept.ptzPort;
        taken.videoPort = kept.videoPort;
        taken.webPort = kept.webPort;
        streams = PrintStreamAccessBody(taken);
    }
}

std::string CameraDocuments::Read(int code, int32_t* status) const {
    const auto it = documents_.find(code);
    *status = it != documents_.end() ? sdk::kStatusOk : sdk::kStatusUnsupported;
    return it != documents_.end() ? it->second : std::string();
}

int32_t CameraDocuments::Write(int code, std::string_view text, std::string* password) {
    if (!IsWriteCode(code))
        return sdk::kStatusUnsupported;
    tinyxml2::XMLDocument doc;
    if (doc.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS ||
        doc.RootElement() == nullptr || !RootFits(code, doc.RootElement()->Name()))
        return sdk::kStatusBadDocument;
    if (code == kCmdSetVideoCapture || code == kCmdSetAudioCapture || code == kCmdSetNetwork)
        return WriteCapture(code, text);
    if (code == kCmdSetStreamAccess) {
        StreamAccessRecord access;
        if (ParseStreamAccessDocument(text, &access) != 0)
            return sdk::kStatusBadDocument;
    }
    if (code == kCmdSetAdminPassword) {
        const tinyxml2::XMLElement* account = doc.RootElement()->FirstChildElement("Account");
        const char* value = account != nullptr ? account->Attribute("Password") : nullptr;
        if (value == nullptr || *value == '\0')
            return sdk::kStatusBadDocument;
        *password = value;
        documents_[kCmdSetAdminPassword] =
            "<UserConfig><Account Username=\"" + EscapeAttribute(identity_.username) +
            "\" Password=\"******\" Group=\"Administrator\" Status=\"Enable\" />"
            "</UserConfig>";
        return sdk::kStatusOk;
    }
    if (code == kCmdSetLanguage && doc.RootElement()->Attribute("Language") == nullptr)
        return sdk::kStatusBadDocument;
    documents_[StoredUnder(code)] = std::string(text);
    return sdk::kStatusOk;
}

// Structure-backed documents: the written attributes change the kept structure, which is
// printed again, so a partial document (the audio dialog's bare Capture) merges.
int32_t CameraDocuments::WriteCapture(int code, std::string_view text) {
    const std::string written(text);
    std::string& kept = documents_[StoredUnder(code)];
    if (code == kCmdSetVideoCapture) {
        QV_VIDEO_CAPTURE v{};
        if (QV_NETSDK_IPC_Media_getVideoCaptureByXml(kept.c_str(), &v) != 0 ||
            QV_NETSDK_IPC_Media_getVideoCaptureByXml(written.c_str(), &v) != 0 || !VideoValid(v))
            return sdk::kStatusBadDocument;
        kept = Take(QV_NETSDK_IPC_XMLGET_VideoCaptureConfig(&v));
    } else if (code == kCmdSetAudioCapture) {
        QV_AUDIO_CAPTURE a{};
        if (QV_NETSDK_IPC_Media_getAudioCaptureByXml(kept.c_str(), &a) != 0 ||
            QV_NETSDK_IPC_Media_getAudioCaptureByXml(written.c_str(), &a) != 0 || !AudioValid(a))
            return sdk::kStatusBadDocument;
        kept = Take(QV_NETSDK_IPC_XMLGET_AudioCaptureConfig(&a));
    } else {
        QV_NETWORK_LAN_CFG n{};
        if (QV_NETSDK_IPC_Network_getLANCfgByXml(kept.c_str(), &n) != 0 ||
            QV_NETSDK_IPC_Network_getLANCfgByXml(written.c_str(), &n) != 0 ||
            !InRange(n.dhcp, 0, 1) || !InRange(n.allNet, 0, 1))
            return sdk::kStatusBadDocument;
        kept = Take(QV_NETSDK_IPC_XMLGET_NetworkLANConfig(&n));
    }
    return sdk::kStatusOk;
}

}  // namespace camfleet::sim
