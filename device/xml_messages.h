#pragma once
// Discovery envelope, command bodies and the parsers of incoming camera documents.
//
// Everything here is pure and may be called from any thread: no sockets, no globals
// beyond the diagnostic log. Builders
// print fixed templates; parsers take untrusted text and never overflow a field (texts
// are cut to their field size minus one).

#include <cstddef>
#include <string>
#include <string_view>

#include "device/codes.h"
#include "device/records.h"
#include "platform/number_text.h"

namespace tinyxml2 {
class XMLDocument;
class XMLElement;
}  // namespace tinyxml2

namespace camfleet {

inline constexpr const char kRootNorvek[] = "XML_NORVEK";        // root of camera answers
inline constexpr const char kRootKestravin[] = "XML_KESTRAVIN";  // root of tool requests
inline constexpr std::size_t kEnvelopeBufferSize = 10240;        // outgoing discovery datagram
inline constexpr std::size_t kBodyBufferSize = 1024;             // one command body
inline constexpr std::size_t kDatagramBufferSize = 5120;         // one incoming datagram

// ---- Envelope -------------------------------------------------------------------------

// Prints the discovery envelope with `root`, `code`, `flag` and `body` (nullptr: the
// empty-body template). Returns the text; at most kEnvelopeBufferSize - 1 characters.
// A message that would not fit is not cut: the result is empty and the case is logged.
std::string PrintDiscoveryEnvelope(const char* root, int code, int flag, const char* body);

// Header of an incoming discovery message.
struct MessageHeader {
    std::string root;     // kRootNorvek or kRootKestravin
    std::string msgType;  // Msg_type
    std::string msgCode;  // Msg_code as text
    std::string msgFlag;  // Msg_flag as text
};

// Which root an incoming text carries: kRootNorvek when it holds both tags of XML_NORVEK
// (tried first), else kRootKestravin when it holds both of its tags, else nullptr.
const char* FindMessageRoot(std::string_view text);

// Parses the header. 0 = ok; -1 no acceptable root (logs "Invalid message, XML root not
// found:\n%s\n"), also for text that is not well-formed XML; -2 no MESSAGE_HEADER child;
// -3 no Msg_type; -4 no Msg_code; -5 no Msg_flag. `header` is written only on 0.
int ParseMessageHeader(std::string_view text, MessageHeader* header);

// Parses `text` into `doc` and returns its root element when the message is acceptable:
// for XML_NORVEK, then XML_KESTRAVIN, both tags are in the text and the document root has
// that name. nullptr otherwise (nothing logged). The element lives as long as `doc`.
const tinyxml2::XMLElement* ParseMessageRoot(std::string_view text, tinyxml2::XMLDocument* doc);

// ---- Command bodies (each at most kBodyBufferSize - 1 characters) ----------------------
// Every text value is printed attribute-escaped (EscapeAttribute), so a value holding a
// quote or an ampersand still gives a well-formed document. A body that would exceed
// kBodyBufferSize - 1 characters is never cut inside an element: the result is empty and
// the case is logged. A null text prints as empty.

std::string PrintSerialElement(const char* serial);         // multi-line form
std::string PrintSerialElementOneLine(const char* serial);  // one-line form
std::string PrintNetworkBody(const char* serial, const NetworkBlock& net);
// Seven consecutive 32-byte fields: DEVICETYPE, EXTNUMBER, MAINNUMBER, EXTNAME,
// ADDRESSBOXIP, NOTES, MANAGECENTER.
std::string PrintFhConfigBody(const char* serial, const char (&fields)[7][32]);
std::string PrintStreamAccessBody(const StreamAccessRecord& access);

// ---- Body parsers: 0 when the element was found, else -1 (target left as it was,
// except the stream-access defaults which are always set first). `body` is the
// MESSAGE_BODY element or any element under which the documents are looked for; a null
// `body` gives -1. A missing attribute leaves its field as it was; texts are cut to their
// field; numbers follow TextToInt and are then narrowed to their field's type.
int ParseLanConfig(const tinyxml2::XMLElement* body, NetworkBlock* net);
void SetStreamAccessDefaults(StreamAccessRecord* access);
// Full read of every StreamAccess attribute (SDK documents, code 600). All defaults are
// set first. The unsigned fields (dh_port, multicast ports and addresses) are read over
// the whole unsigned range, so a value printed by PrintStreamAccessBody reads back equal.
int ParseStreamAccess(const tinyxml2::XMLElement* parent, StreamAccessRecord* access);
// Same for a whole SDK document: its root is MediaStreamConfig or holds it as a child.
int ParseStreamAccessDocument(std::string_view text, StreamAccessRecord* access);
// Discovery-answer read: only Auth, VideoPort, RTPOverRTSP, PTZPort, WEBPort. These five
// get their defaults first; every other field is left untouched.
int ParseStreamAccessBrief(const tinyxml2::XMLElement* parent, StreamAccessRecord* access);
// First UserConfig/Account only; sets `found` to 1 when it was read.
int ParseAccount(const tinyxml2::XMLElement* parent, AccountRecord* account);

// ---- SDK answers ------------------------------------------------------------------------

// Reads attribute `name` of a RESPONSE_PARAM document into out (cut to outSize - 1).
// 0 = copied; -2 the root has another name; -1 the text holds no element (or is not
// well-formed); -3 the attribute is missing (out left empty). out is empty on failure.
int ParseResponseParam(std::string_view text, const char* name, char* out, std::size_t outSize);

// ---- Text helpers ------------------------------------------------------------------------

// Copies src into a fixed field of `size` bytes, cut to size - 1, zero-terminated. Bytes
// are copied as they are (a multi-byte character may be cut). A null C string copies as
// empty; a null dst or a size of 0 writes nothing.
void CopyField(char* dst, std::size_t size, std::string_view src);
inline void CopyField(char* dst, std::size_t size, const char* src) {
    CopyField(dst, size, src ? std::string_view(src) : std::string_view());
}
template <std::size_t N>
void CopyField(char (&dst)[N], std::string_view src) {
    CopyField(dst, N, src);
}
template <std::size_t N>
void CopyField(char (&dst)[N], const char* src) {
    CopyField(dst, N, src);
}

// " & ' < > as "&quot;" "&amp;" "&apos;" "&lt;" "&gt;"; a null text gives an empty text.
std::string EscapeAttribute(std::string_view text);
inline std::string EscapeAttribute(const char* text) {
    return text ? EscapeAttribute(std::string_view(text)) : std::string();
}
std::string HexEncode(std::string_view bytes);  // "%02x" per byte
// Two characters per byte, high digit first; a non-hex character counts as 0; an odd
// last character pairs with a terminating zero.
std::string HexDecode(std::string_view hex);

}  // namespace camfleet
