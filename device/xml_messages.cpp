// Discovery envelope, message roots and headers, RESPONSE_PARAM answers.
#include "device/xml_messages.h"

#include <tinyxml2.h>

#include "device/bounded_text.h"
#include "resources/log.h"

namespace camfleet {

namespace {

bool IsTagEnd(char c) {
    return c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// True when `text` holds `prefix` immediately followed by a character that ends a tag name.
bool HoldsTag(std::string_view text, const std::string& prefix) {
    for (std::size_t at = text.find(prefix); at != std::string_view::npos;
         at = text.find(prefix, at + 1)) {
        const std::size_t next = at + prefix.size();
        if (next < text.size() && IsTagEnd(text[next])) {
            return true;
        }
    }
    return false;
}

bool HoldsBothTags(std::string_view text, const char* root) {
    return HoldsTag(text, std::string("<") + root) && HoldsTag(text, std::string("</") + root);
}

constexpr const char* kRootsInOrder[] = {kRootNorvek, kRootKestravin};

}  // namespace

std::string PrintDiscoveryEnvelope(const char* root, int code, int flag, const char* body) {
    if (root == nullptr) {
        root = kRootKestravin;  // the only root the tool sends under
    }
    BoundedText out(kEnvelopeBufferSize);
    if (body != nullptr) {
        out.Printf(
            "<?xml version=\"1.0\" encoding=\"GB2312\" ?>\n<%s>\n<MESSAGE_HEADER\n"
            "Msg_type=\"SYSTEM_SEARCHIPC_MESSAGE\"\nMsg_code=\"%d\"\nMsg_flag=\"%d\"\n/>\n"
            "<MESSAGE_BODY>\n%s\n</MESSAGE_BODY>\n</%s>",
            root, code, flag, body, root);
    } else {
        out.Printf(
            "<?xml version=\"1.0\" encoding=\"GB2312\" ?>\n<%s>\n<MESSAGE_HEADER\n"
            "Msg_type=\"SYSTEM_SEARCHIPC_MESSAGE\"\nMsg_code=\"%d\"\nMsg_flag=\"%d\"\n/>\n"
            "<MESSAGE_BODY>\n</MESSAGE_BODY>\n</%s>",
            root, code, flag, root);
    }
    return out.Finish("discovery message");
}

const char* FindMessageRoot(std::string_view text) {
    for (const char* root : kRootsInOrder) {
        if (HoldsBothTags(text, root)) {
            return root;
        }
    }
    return nullptr;
}

const tinyxml2::XMLElement* ParseMessageRoot(std::string_view text, tinyxml2::XMLDocument* doc) {
    if (FindMessageRoot(text) == nullptr) {
        return nullptr;
    }
    if (doc->Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS) {
        return nullptr;
    }
    const tinyxml2::XMLElement* element = doc->RootElement();
    if (element == nullptr) {
        return nullptr;
    }
    for (const char* root : kRootsInOrder) {
        if (HoldsBothTags(text, root) && std::string_view(element->Name()) == root) {
            return element;
        }
    }
    return nullptr;
}

int ParseMessageHeader(std::string_view text, MessageHeader* header) {
    tinyxml2::XMLDocument doc;
    const tinyxml2::XMLElement* root = ParseMessageRoot(text, &doc);
    if (root == nullptr) {
        LogMessage("Invalid message, XML root not found:\n%s\n", std::string(text).c_str());
        return -1;
    }
    const tinyxml2::XMLElement* head = root->FirstChildElement("MESSAGE_HEADER");
    if (head == nullptr) {
        return -2;
    }
    const char* type = head->Attribute("Msg_type");
    if (type == nullptr) {
        return -3;
    }
    const char* code = head->Attribute("Msg_code");
    if (code == nullptr) {
        return -4;
    }
    const char* flag = head->Attribute("Msg_flag");
    if (flag == nullptr) {
        return -5;
    }
    header->root = root->Name();
    header->msgType = type;
    header->msgCode = code;
    header->msgFlag = flag;
    return 0;
}

int ParseResponseParam(std::string_view text, const char* name, char* out, std::size_t outSize) {
    CopyField(out, outSize, {});
    tinyxml2::XMLDocument doc;
    doc.Parse(text.data(), text.size());
    const tinyxml2::XMLElement* root = doc.Error() ? nullptr : doc.RootElement();
    if (root == nullptr) {
        return -1;
    }
    if (std::string_view(root->Name()) != "RESPONSE_PARAM") {
        return -2;
    }
    const char* value = root->Attribute(name);
    if (value == nullptr) {
        return -3;
    }
    CopyField(out, outSize, value);
    return 0;
}

}  // namespace camfleet
