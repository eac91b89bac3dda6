// One untrusted discovery datagram through the root check, the header parse and every
// body reader, as the search thread takes it apart.
#include <tinyxml2.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "device/text_convert.h"
#include "device/xml_messages.h"

namespace {

// Every text field must keep its terminating zero whatever the input was.
template <std::size_t N>
void CheckTerminated(const char (&field)[N]) {
    if (std::memchr(field, '\0', N) == nullptr) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace camfleet;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    FindMessageRoot(text);
    MessageHeader header;
    ParseMessageHeader(text, &header);

    tinyxml2::XMLDocument doc;
    const tinyxml2::XMLElement* root = ParseMessageRoot(text, &doc);
    const tinyxml2::XMLElement* body = root ? root->FirstChildElement("MESSAGE_BODY") : nullptr;
    NetworkBlock net{};
    ParseLanConfig(body, &net);
    StreamAccessRecord access{};
    ParseStreamAccessBrief(body, &access);
    ParseStreamAccess(body, &access);
    AccountRecord account{};
    ParseAccount(body, &account);

    for (const auto* f : {&net.ipAddress, &net.netmask, &net.gateway, &net.dns1, &net.dns2}) {
        CheckTerminated(*f);
    }
    CheckTerminated(net.macAddress);
    CheckTerminated(access.rtmpServer);
    CheckTerminated(access.rtmpAppName);
    CheckTerminated(access.rtmpStreamId);
    CheckTerminated(account.username);
    CheckTerminated(account.password);
    CheckTerminated(account.group);
    CheckTerminated(account.status);

    // Whatever was read must print back into bodies without trouble.
    PrintNetworkBody(header.msgFlag.c_str(), net);
    PrintStreamAccessBody(access);

    if (const tinyxml2::XMLElement* type =
            body ? body->FirstChildElement("DEVICE_TYPE") : nullptr) {
        if (const char* osd = type->Attribute("OSD")) {
            std::string oem;
            const char* error = nullptr;
            Utf8ToOemCodePage(HexDecode(osd), &oem, &error);
        }
    }
    char value[32];
    ParseResponseParam(text, "SerialNumber", value, sizeof value);
    ParseStreamAccessDocument(text, &access);
    return 0;
}
