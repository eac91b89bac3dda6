#include "discovery/search_answer_parser.h"

#include <tinyxml2.h>

#include <cstring>

#include "device/text_convert.h"
#include "device/xml_messages.h"
#include "platform/number_text.h"
#include "resources/log.h"

namespace camfleet {

namespace {

std::string Attribute(const tinyxml2::XMLElement* element, const char* name) {
    const char* value = element->Attribute(name);
    return value != nullptr ? value : "";
}

int IntAttribute(const tinyxml2::XMLElement* element, const char* name, int missing) {
    const char* value = element->Attribute(name);
    return value != nullptr ? TextToInt(value) : missing;
}

void ReadSerialElement(const tinyxml2::XMLElement* body, SearchIdentity* id) {
    const tinyxml2::XMLElement* e = body->FirstChildElement("IPC_SERIALNUMBER");
    if (e == nullptr)
        return;
    id->serialNumber = Attribute(e, "SerialNumber");
    id->platformId = Attribute(e, "PLATFORMID");
    id->version = Attribute(e, "VERSION");
    id->p2pId = Attribute(e, "P2PID");
    id->uuid = Attribute(e, "UUID");
    id->runningTime = IntAttribute(e, "runtime", 0);
    id->p2pStatus = IntAttribute(e, "P2PSTATUS", -1);
}

void ReadDeviceTypes(const tinyxml2::XMLElement* body, SearchIdentity* id) {
    for (const auto* e = body->FirstChildElement("DEVICE_TYPE"); e != nullptr;
         e = e->NextSiblingElement("DEVICE_TYPE")) {
        id->deviceType = Attribute(e, "DeviceType");
        id->osdHex = Attribute(e, "OSD");
    }
}

void CopyIdentity(const SearchIdentity& id, SearchAnswer* answer) {
    CopyField(answer->serialNumber, id.serialNumber);
    CopyField(answer->platformId, id.platformId);
    CopyField(answer->p2pId, id.p2pId);
    CopyField(answer->deviceType, id.deviceType);
    CopyField(answer->version, id.version);
    CopyField(answer->uuid, id.uuid);
    CopyField(answer->osdText, DecodeOsdText(id.osdHex));
    answer->runningTime = id.runningTime;
    answer->p2pStatus = id.p2pStatus;
}

// Only the five attributes an answer carries reach the block; the rest stays zero.
void CopyBriefStreamAccess(const StreamAccessRecord& from, StreamAccessRecord* to) {
    to->auth = from.auth;
    to->rtpOverRtsp = from.rtpOverRtsp;
    to->videoPort = from.videoPort;
    to->ptzPort = from.ptzPort;
    to->webPort = from.webPort;
}

AnswerVerdict ParseRecords(const tinyxml2::XMLElement* body, SearchAnswer* answer) {
    if (ParseLanConfig(body, &answer->network) != 0) {
        LogMessage("lan config not found.\n");
        return AnswerVerdict::kNoLan;
    }
    StreamAccessRecord access{};
    if (ParseStreamAccessBrief(body, &access) != 0) {
        LogMessage("stream config not found.\n");
        return AnswerVerdict::kNoStream;
    }
    CopyBriefStreamAccess(access, &answer->streamAccess);
    if (ParseAccount(body, &answer->account) != 0) {
        LogMessage("user config not found.\n");
        return AnswerVerdict::kNoUser;
    }
    return AnswerVerdict::kAccepted;
}

const tinyxml2::XMLElement* FindBody(const tinyxml2::XMLDocument& doc, const char* root) {
    const tinyxml2::XMLElement* top = doc.RootElement();
    if (top == nullptr || std::strcmp(top->Name(), root) != 0)
        return nullptr;
    return top->FirstChildElement("MESSAGE_BODY");
}

// Parses `text` into `doc` and returns its MESSAGE_BODY, or nullptr (logged) when the text
// holds no acceptable root or the root has no body.
const tinyxml2::XMLElement* ParseBody(const char* text, std::size_t length,
                                      tinyxml2::XMLDocument* doc) {
    const std::string_view view(text, length);
    const char* root = FindMessageRoot(view);
    if (root == nullptr) {
        LogMessage("Invalid message, XML root not found:\n%s\n", std::string(view).c_str());
        return nullptr;
    }
    doc->Parse(text, length);
    const tinyxml2::XMLElement* body = FindBody(*doc, root);
    if (body == nullptr)
        LogMessage("serial number not found\n, msg=%s", std::string(view).c_str());
    return body;
}

}  // namespace

bool IsSearchAnswerMessage(std::string_view text) {
    MessageHeader header;
    return ParseMessageHeader(text, &header) == 0 && !header.msgType.empty() &&
           !header.msgFlag.empty() && TextToInt(header.msgCode.c_str()) == kMsgAnswer;
}

std::string DecodeOsdText(const std::string& hex) {
    std::string oem;
    const char* error = nullptr;
    if (Utf8ToOemCodePage(HexDecode(hex), &oem, &error))
        return oem;
    LogMessage("%s\n", error != nullptr ? error : kConversionError);
    return {};
}

bool IsCameraType(const char* type) {
    for (const char* marker : {"NVS", "DVS", "DEC", "NVR"})
        if (std::strstr(type, marker) != nullptr)
            return true;
    return false;
}

bool ParseSearchIdentity(const char* text, std::size_t length, SearchIdentity* identity) {
    tinyxml2::XMLDocument doc;
    const tinyxml2::XMLElement* body = ParseBody(text, length, &doc);
    if (body == nullptr)
        return false;
    ReadSerialElement(body, identity);
    ReadDeviceTypes(body, identity);
    return true;
}

AnswerVerdict BuildSearchAnswer(const char* text, long length, SearchAnswer* answer) {
    if (text == nullptr || length < 0)
        return AnswerVerdict::kNoText;
    *answer = EmptySearchAnswer();
    tinyxml2::XMLDocument doc;
    const tinyxml2::XMLElement* body = ParseBody(text, static_cast<std::size_t>(length), &doc);
    if (body == nullptr)
        return AnswerVerdict::kNoRoot;
    SearchIdentity identity;
    ReadSerialElement(body, &identity);
    ReadDeviceTypes(body, &identity);
    CopyIdentity(identity, answer);
    if (!IsCameraType(answer->deviceType)) {
        LogMessage("Found one device not NVS or DVS, type=%s, sn=%s\n", answer->deviceType,
                   answer->serialNumber);
        return AnswerVerdict::kNotCamera;
    }
    return ParseRecords(body, answer);
}

}  // namespace camfleet
