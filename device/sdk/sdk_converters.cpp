// Structure <-> XML converters of the device SDK: video capture (`Video`/`Capture`), network
// (`LANConfig`) and audio capture (`Audio`/`Capture`). Each structure field is one attribute;
// printing and parsing share one field table per structure so they cannot drift apart.

#include <tinyxml2.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "device/sdk/qv_netsdk_ipc.h"
#include "device/xml_messages.h"

namespace {

struct Field {
    const char* name;
    std::size_t offset;
    std::size_t size;  // numbers: 2 or 4 bytes, signed; texts: the field's bytes
    bool text;
};

#define NUMBER(type, member, name) \
    { name, offsetof(type, member), sizeof(type::member), false }
#define TEXT(type, member, name) \
    { name, offsetof(type, member), sizeof(type::member), true }

const Field kVideoFields[] = {
    NUMBER(QV_VIDEO_CAPTURE, brightness, "Brightness"),
    NUMBER(QV_VIDEO_CAPTURE, contrast, "Contrast"),
    NUMBER(QV_VIDEO_CAPTURE, saturation, "Saturation"),
    NUMBER(QV_VIDEO_CAPTURE, sharpness, "Sharpness"),
    NUMBER(QV_VIDEO_CAPTURE, tvSystem, "TVSystem"),
    NUMBER(QV_VIDEO_CAPTURE, backLight, "BackLight"),
    NUMBER(QV_VIDEO_CAPTURE, mirror, "Mirror"),
    NUMBER(QV_VIDEO_CAPTURE, flip, "Flip"),
    NUMBER(QV_VIDEO_CAPTURE, rotation, "Rotation"),
    NUMBER(QV_VIDEO_CAPTURE, gain, "Gain"),
    NUMBER(QV_VIDEO_CAPTURE, shutter, "Shutter"),
    NUMBER(QV_VIDEO_CAPTURE, irCutMode, "IRCutMode"),
    NUMBER(QV_VIDEO_CAPTURE, ledMode, "LEDMode"),
    NUMBER(QV_VIDEO_CAPTURE, wdr, "WDR"),
    NUMBER(QV_VIDEO_CAPTURE, wdrLevel, "WDRLevel"),
    NUMBER(QV_VIDEO_CAPTURE, defog, "Defog"),
    NUMBER(QV_VIDEO_CAPTURE, defogLevel, "DefogLevel"),
    NUMBER(QV_VIDEO_CAPTURE, whiteBalance, "WhiteBalance"),
    NUMBER(QV_VIDEO_CAPTURE, noiseFilter, "NoiseFilter"),
    NUMBER(QV_VIDEO_CAPTURE, dayNightMode, "DayNightMode"),
};

const Field kNetworkFields[] = {
    TEXT(QV_NETWORK_LAN_CFG, macAddress, "MacAddress"),
    NUMBER(QV_NETWORK_LAN_CFG, dhcp, "DHCP"),
    NUMBER(QV_NETWORK_LAN_CFG, allNet, "ALLNET"),
    TEXT(QV_NETWORK_LAN_CFG, ipAddress, "IPAddress"),
    TEXT(QV_NETWORK_LAN_CFG, netmask, "Netmask"),
    TEXT(QV_NETWORK_LAN_CFG, gateway, "Gateway"),
    TEXT(QV_NETWORK_LAN_CFG, dns1, "DNS1"),
    TEXT(QV_NETWORK_LAN_CFG, dns2, "DNS2"),
};

// Volume, VolumePlay and ra_answer are the names the audio capture dialog writes.
const Field kAudioFields[] = {
    NUMBER(QV_AUDIO_CAPTURE, inputType, "InputType"),
    NUMBER(QV_AUDIO_CAPTURE, sampleRate, "SampleRate"),
    NUMBER(QV_AUDIO_CAPTURE, encoding, "Encoding"),
    NUMBER(QV_AUDIO_CAPTURE, captureVolume, "Volume"),
    NUMBER(QV_AUDIO_CAPTURE, playbackVolume, "VolumePlay"),
    NUMBER(QV_AUDIO_CAPTURE, echoCancel, "EchoCancel"),
    NUMBER(QV_AUDIO_CAPTURE, keyAnswer, "ra_answer"),
};

#undef NUMBER
#undef TEXT

long long ReadNumber(const unsigned char* base, const Field& f) {
    if (f.size == 2) {
        int16_t v;
        std::memcpy(&v, base + f.offset, sizeof v);
        return v;
    }
    int32_t v;
    std::memcpy(&v, base + f.offset, sizeof v);
    return v;
}

// One element with every field as an attribute; wrapped in `outer` when it is not null.
template <std::size_t N>
char* Print(const void* record, const Field (&fields)[N], const char* outer, const char* inner) {
    const auto* base = static_cast<const unsigned char*>(record);
    std::string text;
    if (outer != nullptr)
        text += std::string("<") + outer + ">\n";
    text += std::string("<") + inner;
    for (const Field& f : fields) {
        text += std::string(" ") + f.name + "=\"";
        if (f.text) {
            const char* field = reinterpret_cast<const char*>(base + f.offset);
            text += camfleet::EscapeAttribute(std::string_view(field, strnlen(field, f.size)));
        } else {
            text += std::to_string(ReadNumber(base, f));
        }
        text += "\"";
    }
    text += " />\n";
    if (outer != nullptr)
        text += std::string("</") + outer + ">\n";
    char* out = static_cast<char*>(std::malloc(text.size() + 1));
    if (out != nullptr)
        std::memcpy(out, text.c_str(), text.size() + 1);
    return out;
}

bool StoreNumber(unsigned char* base, const Field& f, const char* value) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(value, &end, 10);
    if (end == value || *end != '\0' || errno != 0)
        return false;
    if (f.size == 2) {
        if (v < std::numeric_limits<int16_t>::min() || v > std::numeric_limits<int16_t>::max())
            return false;
        const auto n = static_cast<int16_t>(v);
        std::memcpy(base + f.offset, &n, sizeof n);
        return true;
    }
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        return false;
    const auto n = static_cast<int32_t>(v);
    std::memcpy(base + f.offset, &n, sizeof n);
    return true;
}

// The element holding the fields: the root named `inner`, or an `inner` child of a root
// named `outer`.
const tinyxml2::XMLElement* FindElement(const tinyxml2::XMLDocument& doc, const char* outer,
                                        const char* inner) {
    const tinyxml2::XMLElement* root = doc.RootElement();
    if (root == nullptr)
        return nullptr;
    if (std::strcmp(root->Name(), inner) == 0)
        return root;
    return outer != nullptr && std::strcmp(root->Name(), outer) == 0
               ? root->FirstChildElement(inner)
               : nullptr;
}

// Attributes present overwrite their fields; absent ones leave them as they were. On any
// error (no document, wrong root, a number that is not one or does not fit) the record is
// left unchanged.
template <typename Record, std::size_t N>
int Parse(const char* xml, Record* record, const Field (&fields)[N], const char* outer,
          const char* inner) {
    if (xml == nullptr || record == nullptr)
        return QV_ERR_PARAM;
    tinyxml2::XMLDocument doc;
    if (doc.Parse(xml) != tinyxml2::XML_SUCCESS)
        return QV_ERR_PARAM;
    const tinyxml2::XMLElement* e = FindElement(doc, outer, inner);
    if (e == nullptr)
        return QV_ERR_PARAM;
    Record copy = *record;
    auto* base = reinterpret_cast<unsigned char*>(&copy);
    for (const Field& f : fields) {
        const char* value = e->Attribute(f.name);
        if (value == nullptr)
            continue;
        if (f.text)
            camfleet::CopyField(reinterpret_cast<char*>(base + f.offset), f.size, value);
        else if (!StoreNumber(base, f, value))
            return QV_ERR_PARAM;
    }
    *record = copy;
    return QV_OK;
}

}  // namespace

extern "C" {

char* QV_NETSDK_IPC_XMLGET_VideoCaptureConfig(const QV_VIDEO_CAPTURE* capture) {
    return capture != nullptr ? Print(capture, kVideoFields, "Video", "Capture") : nullptr;
}

int QV_NETSDK_IPC_Media_getVideoCaptureByXml(const char* xml, QV_VIDEO_CAPTURE* capture) {
    return Parse(xml, capture, kVideoFields, "Video", "Capture");
}

char* QV_NETSDK_IPC_XMLGET_NetworkLANConfig(const QV_NETWORK_LAN_CFG* lan) {
    return lan != nullptr ? Print(lan, kNetworkFields, nullptr, "LANConfig") : nullptr;
}

int QV_NETSDK_IPC_Network_getLANCfgByXml(const char* xml, QV_NETWORK_LAN_CFG* lan) {
    // A LANConfig root, or one under any root (as a discovery body carries it).
    if (xml != nullptr && lan != nullptr) {
        tinyxml2::XMLDocument doc;
        if (doc.Parse(xml) == tinyxml2::XML_SUCCESS && doc.RootElement() != nullptr &&
            std::strcmp(doc.RootElement()->Name(), "LANConfig") != 0)
            return Parse(xml, lan, kNetworkFields, doc.RootElement()->Name(), "LANConfig");
    }
    return Parse(xml, lan, kNetworkFields, nullptr, "LANConfig");
}

char* QV_NETSDK_IPC_XMLGET_AudioCaptureConfig(const QV_AUDIO_CAPTURE* audio) {
    return audio != nullptr ? Print(audio, kAudioFields, "Audio", "Capture") : nullptr;
}

int QV_NETSDK_IPC_Media_getAudioCaptureByXml(const char* xml, QV_AUDIO_CAPTURE* audio) {
    return Parse(xml, audio, kAudioFields, "Audio", "Capture");
}

void QV_NETSDK_IPC_XMLGET_SAFE_FREE(char* text) {
    std::free(text);
}

}  // extern "C"
