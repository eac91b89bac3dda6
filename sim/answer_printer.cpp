#include "sim/answer_printer.h"

#include <cstdio>
#include <map>

#include "device/xml_messages.h"

namespace camfleet::sim {

namespace {

std::string Attr(const char* name, const std::string& value) {
    return std::string(name) + "=\"" + EscapeAttribute(value) + "\" ";
}

std::string Attr(const char* name, int value) {
    return Attr(name, std::to_string(value));
}

CameraProfile Overlong(CameraProfile p) {
    for (std::string* text : {&p.serialNumber, &p.platformId, &p.p2pId, &p.uuid, &p.model,
                              &p.version, &p.macAddress, &p.ipAddress, &p.netmask, &p.gateway,
                              &p.dns1, &p.dns2, &p.username, &p.password, &p.group, &p.status})
        *text += std::string(150, 'x');
    p.osdText += std::string(300, 'o');
    return p;
}

std::string OsdHex(const CameraProfile& p, Hostility h) {
    const std::string hex = HexEncode(p.osdText);
    if (h == Hostility::kOddOsd)
        return hex + "4";
    if (h == Hostility::kNonHexOsd)
        return "zz" + hex + "g!";
    if (h == Hostility::kInvalidUtf8Osd)
        return hex + "c3";
    return hex;
}

std::string Identity(const CameraProfile& p, int runningTime, Hostility h) {
    const std::string type = h == Hostility::kNotCameraType ? "IPC-BULLET-2M" : p.model;
    return "<IPC_SERIALNUMBER " + Attr("SerialNumber", p.serialNumber) +
           Attr("PLATFORMID", p.platformId) + Attr("VERSION", p.version) + Attr("P2PID", p.p2pId) +
           Attr("UUID", p.uuid) + Attr("runtime", runningTime) + Attr("P2PSTATUS", p.p2pStatus) +
           "/>\r\n<DEVICE_TYPE " + Attr("DeviceType", type) + Attr("OSD", OsdHex(p, h)) + "/>\r\n";
}

std::string Lan(const CameraProfile& p) {
    return "<LANConfig " + Attr("MacAddress", p.macAddress) + Attr("DHCP", p.dhcp) +
           Attr("ALLNET", p.allNet) + Attr("IPAddress", p.ipAddress) + Attr("Netmask", p.netmask) +
           Attr("Gateway", p.gateway) + Attr("DNS1", p.dns1) + Attr("DNS2", p.dns2) + "/>\r\n";
}

std::string Stream(const CameraProfile& p) {
    return "<MediaStreamConfig>\r\n<StreamAccess " + Attr("Auth", p.auth) +
           Attr("VideoPort", p.videoPort) + Attr("RTPOverRTSP", p.rtpOverRtsp) +
           Attr("PTZPort", p.ptzPort) + Attr("WEBPort", p.webPort) +
           "/>\r\n</MediaStreamConfig>\r\n";
}

std::string User(const CameraProfile& p) {
    return "<UserConfig>\r\n<Account " + Attr("Username", p.username) +
           Attr("Password", p.password) + Attr("Group", p.group) + Attr("Status", p.status) +
           "/>\r\n</UserConfig>\r\n";
}

std::string Body(const CameraProfile& p, int runningTime, Hostility h) {
    std::string body = Identity(p, runningTime, h);
    if (h != Hostility::kNoLanConfig)
        body += Lan(p);
    if (h != Hostility::kNoStreamAccess)
        body += Stream(p);
    if (h != Hostility::kNoUserConfig)
        body += User(p);
    if (h == Hostility::kOversize)
        body += "<PADDING>" + std::string(6000, 'p') + "</PADDING>\r\n";
    return body;
}

std::string Envelope(const std::string& body, Hostility h) {
    // A wrong code is any code other than the answer's.
    const int code = h == Hostility::kWrongMsgCode ? kMsgAnswer + 1 : kMsgAnswer;
    const std::string flag = h == Hostility::kNoMsgFlag ? "" : "Msg_flag=\"0\"\n";
    const std::string inner =
        h == Hostility::kNoBody ? "" : "<MESSAGE_BODY>\n" + body + "</MESSAGE_BODY>\n";
    const std::string extra =
        h == Hostility::kBothRoots ? "<!-- <XML_KESTRAVIN></XML_KESTRAVIN> -->\n" : "";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<XML_NORVEK>\n" + extra +
           "<MESSAGE_HEADER\nMsg_type=\"SYSTEM_SEARCHIPC_MESSAGE\"\nMsg_code=\"" +
           std::to_string(code) + "\"\n" + flag + "/>\n" + inner + "</XML_NORVEK>";
}

}  // namespace

std::string PrintCameraAnswer(const CameraProfile& profile, int runningTime, Hostility hostility) {
    const CameraProfile p =
        hostility == Hostility::kOverlongAttributes ? Overlong(profile) : profile;
    return Envelope(Body(p, runningTime, hostility), hostility);
}

const std::vector<HostilityName>& HostilityNames() {
    static const std::vector<HostilityName> kNames = {
        {"none", Hostility::kNone, "correct answers (the default)"},
        {"overlong", Hostility::kOverlongAttributes, "every text far longer than its field"},
        {"no-lan", Hostility::kNoLanConfig, "no LAN configuration"},
        {"no-stream", Hostility::kNoStreamAccess, "no stream access"},
        {"no-user", Hostility::kNoUserConfig, "no user configuration"},
        {"no-body", Hostility::kNoBody, "no message body"},
        {"both-roots", Hostility::kBothRoots, "a document that also holds the other root's tags"},
        {"wrong-code", Hostility::kWrongMsgCode, "message code 4"},
        {"no-flag", Hostility::kNoMsgFlag, "a header without its flag"},
        {"not-camera", Hostility::kNotCameraType, "a device type that is no camera"},
        {"odd-osd", Hostility::kOddOsd, "an OSD text of odd length"},
        {"nonhex-osd", Hostility::kNonHexOsd, "an OSD text with characters that are not hex"},
        {"bad-utf8-osd", Hostility::kInvalidUtf8Osd, "an OSD text that decodes to broken UTF-8"},
        {"oversize", Hostility::kOversize, "a datagram longer than 5,120 bytes"},
        {"silent", Hostility::kSilent, "no answer at all (commands still apply)"},
    };
    return kNames;
}

bool ParseHostility(const std::string& name, Hostility* hostility) {
    for (const HostilityName& entry : HostilityNames()) {
        if (name == entry.name) {
            *hostility = entry.kind;
            return true;
        }
    }
    return false;
}

}  // namespace camfleet::sim
