// Readers of the LANConfig, MediaStreamConfig/StreamAccess and UserConfig/Account elements.
// Input is untrusted: every text is cut to its field, every number is read with the
// saturating text-to-int rule and then narrowed to its field's type.
#include <tinyxml2.h>

#include <cstdint>

#include "device/xml_messages.h"

namespace camfleet {

namespace {

using tinyxml2::XMLElement;

template <std::size_t N>
void ReadText(const XMLElement* e, const char* name, char (&field)[N]) {
    if (const char* value = e->Attribute(name)) {
        CopyField(field, value);
    }
}

// Signed fields: the int result of the text-to-int rule, narrowed as a C assignment does.
template <typename T>
void ReadSigned(const XMLElement* e, const char* name, T* field) {
    if (const char* value = e->Attribute(name)) {
        *field = static_cast<T>(TextToInt(value));
    }
}

// Unsigned fields: read over the full 64-bit range so that every value of the field
// (for example a multicast address above 2^31) survives a print/read cycle.
template <typename T>
void ReadUnsigned(const XMLElement* e, const char* name, T* field) {
    if (const char* value = e->Attribute(name)) {
        *field = static_cast<T>(static_cast<uint64_t>(TextToInt64(value)));
    }
}

const XMLElement* FindStreamAccess(const XMLElement* parent) {
    const XMLElement* config = parent ? parent->FirstChildElement("MediaStreamConfig") : nullptr;
    return config ? config->FirstChildElement("StreamAccess") : nullptr;
}

void ReadAllStreamAccess(const XMLElement* e, StreamAccessRecord* a) {
    ReadSigned(e, "enable_rtsp", &a->enableRtsp);
    ReadSigned(e, "Auth", &a->auth);
    ReadSigned(e, "RTPOverRTSP", &a->rtpOverRtsp);
    ReadSigned(e, "VideoPort", &a->videoPort);
    ReadSigned(e, "enable_comm", &a->enableComm);
    ReadSigned(e, "PTZPort", &a->ptzPort);
    ReadSigned(e, "enable_onvif", &a->enableOnvif);
    ReadSigned(e, "enable_web", &a->enableWeb);
    ReadSigned(e, "OnvifAuth", &a->onvifAuth);
    ReadSigned(e, "WEBPort", &a->webPort);
    ReadSigned(e, "enable_hik", &a->enableHik);
    ReadSigned(e, "hik_port", &a->hikPort);
    ReadSigned(e, "hik_auth", &a->hikAuth);
    ReadSigned(e, "enable_dh", &a->enableDh);
    ReadUnsigned(e, "dh_port", &a->dhPort);
    ReadSigned(e, "dh_auth", &a->dhAuth);
    ReadSigned(e, "enable_tst", &a->enableTst);
    ReadSigned(e, "enable_rtmp", &a->enableRtmp);
    ReadText(e, "rtmp_server", a->rtmpServer);
    ReadSigned(e, "rtmp_port", &a->rtmpPort);
    ReadSigned(e, "streamno", &a->streamNo);
    ReadText(e, "rtmp_appname", a->rtmpAppName);
    ReadText(e, "rtmp_streamid", a->rtmpStreamId);
    ReadSigned(e, "rtmp_type", &a->rtmpType);
    ReadSigned(e, "Multicast0_enable", &a->multicast0Enable);
    ReadUnsigned(e, "Multicast0_port", &a->multicast0Port);
    ReadUnsigned(e, "Multicast0_IP", &a->multicast0Ip);
    ReadSigned(e, "Multicast1_enable", &a->multicast1Enable);
    ReadUnsigned(e, "Multicast1_port", &a->multicast1Port);
    ReadUnsigned(e, "Multicast1_IP", &a->multicast1Ip);
}

}  // namespace

int ParseLanConfig(const XMLElement* body, NetworkBlock* net) {
    const XMLElement* e = body ? body->FirstChildElement("LANConfig") : nullptr;
    if (e == nullptr) {
        return -1;
    }
    ReadText(e, "MacAddress", net->macAddress);
    ReadSigned(e, "DHCP", &net->dhcp);
    ReadSigned(e, "ALLNET", &net->allNet);
    ReadText(e, "IPAddress", net->ipAddress);
    ReadText(e, "Netmask", net->netmask);
    ReadText(e, "Gateway", net->gateway);
    ReadText(e, "DNS1", net->dns1);
    ReadText(e, "DNS2", net->dns2);
    return 0;
}

void SetStreamAccessDefaults(StreamAccessRecord* a) {
    *a = StreamAccessRecord{};
    a->enableRtsp = 1;
    a->auth = 1;
    a->rtpOverRtsp = 1;
    a->videoPort = 554;
    a->enableComm = 1;
    a->ptzPort = 8091;
    a->enableOnvif = 1;
    a->enableWeb = 1;
    a->webPort = 80;
    a->enableHik = 1;
    a->hikPort = 8000;
    a->enableDh = 1;
    a->dhPort = 37777;
    a->enableTst = 1;
    a->rtmpPort = 1935;
}

int ParseStreamAccess(const XMLElement* parent, StreamAccessRecord* access) {
    SetStreamAccessDefaults(access);
    const XMLElement* e = FindStreamAccess(parent);
    if (e == nullptr) {
        return -1;
    }
    ReadAllStreamAccess(e, access);
    return 0;
}

int ParseStreamAccessDocument(std::string_view text, StreamAccessRecord* access) {
    SetStreamAccessDefaults(access);
    tinyxml2::XMLDocument doc;
    if (doc.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS) {
        return -1;
    }
    // The document is MediaStreamConfig itself or an envelope holding it.
    const XMLElement* root = doc.RootElement();
    const XMLElement* e = nullptr;
    if (root != nullptr && std::string_view(root->Name()) == "MediaStreamConfig") {
        e = root->FirstChildElement("StreamAccess");
    } else {
        e = FindStreamAccess(root);
    }
    if (e == nullptr) {
        return -1;
    }
    ReadAllStreamAccess(e, access);
    return 0;
}

int ParseStreamAccessBrief(const XMLElement* parent, StreamAccessRecord* a) {
    a->auth = 1;
    a->videoPort = 554;
    a->rtpOverRtsp = 1;
    a->ptzPort = 8091;
    a->webPort = 80;
    const XMLElement* e = FindStreamAccess(parent);
    if (e == nullptr) {
        return -1;
    }
    ReadSigned(e, "Auth", &a->auth);
    ReadSigned(e, "VideoPort", &a->videoPort);
    ReadSigned(e, "RTPOverRTSP", &a->rtpOverRtsp);
    ReadSigned(e, "PTZPort", &a->ptzPort);
    ReadSigned(e, "WEBPort", &a->webPort);
    return 0;
}

int ParseAccount(const XMLElement* parent, AccountRecord* account) {
    const XMLElement* config = parent ? parent->FirstChildElement("UserConfig") : nullptr;
    const XMLElement* e = config ? config->FirstChildElement("Account") : nullptr;
    if (e == nullptr) {
        return -1;
    }
    ReadText(e, "Username", account->username);
    ReadText(e, "Password", account->password);
    ReadText(e, "Group", account->group);
    ReadText(e, "Status", account->status);
    account->found = 1;
    return 0;
}

}  // namespace camfleet
