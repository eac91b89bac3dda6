#include "device/sdk/control_protocol.h"

#include <tinyxml2.h>

#include <QByteArray>
#include <QMessageAuthenticationCode>
#include <algorithm>
#include <cctype>

#include "device/sdk/secure_channel.h"
#include "device/xml_messages.h"

namespace camfleet::sdk {

namespace {

const tinyxml2::XMLElement* RootNamed(tinyxml2::XMLDocument* doc, std::string_view text,
                                      const char* name) {
    if (doc->Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS)
        return nullptr;
    const tinyxml2::XMLElement* root = doc->RootElement();
    return root != nullptr && std::string_view(root->Name()) == name ? root : nullptr;
}

std::string Text(const tinyxml2::XMLElement* e, const char* name) {
    const char* v = e->Attribute(name);
    return v != nullptr ? v : "";
}

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == ':' ||
           c == '.';
}

}  // namespace

std::string PrintHello(const Hello& hello) {
    return "<Hello Protocol=\"" + std::to_string(hello.protocol) + "\" MinProtocol=\"" +
           std::to_string(hello.minProtocol) + "\" Nonce=\"" + EscapeAttribute(hello.nonce) +
           "\" Digest=\"HMAC-SHA256\" Kx=\"" + EscapeAttribute(hello.kx) + "\" />";
}

std::string PrintKeyExchange(const KeyExchange& exchange) {
    return "<KeyExchange Protocol=\"" + std::to_string(exchange.protocol) + "\" Kx=\"" +
           EscapeAttribute(exchange.kx) + "\" Header=\"" + EscapeAttribute(exchange.header) +
           "\" />";
}

bool ParseKeyExchange(std::string_view text, KeyExchange* exchange) {
    tinyxml2::XMLDocument doc;
    const tinyxml2::XMLElement* root = RootNamed(&doc, text, "KeyExchange");
    if (root == nullptr)
        return false;
    exchange->protocol = root->IntAttribute("Protocol", 0);
    exchange->kx = Text(root, "Kx");
    exchange->header = Text(root, "Header");
    return true;
}

std::string PrintKeyExchangeResult(const KeyExchangeResult& result) {
    return "<KeyExchangeResult Serial=\"" + EscapeAttribute(result.serial) + "\" Key=\"" +
           EscapeAttribute(result.key) + "\" Signature=\"" + EscapeAttribute(result.signature) +
           "\" Header=\"" + EscapeAttribute(result.header) + "\" />";
}

bool ParseKeyExchangeResult(std::string_view text, KeyExchangeResult* result) {
    tinyxml2::XMLDocument doc;
    const tinyxml2::XMLElement* root = RootNamed(&doc, text, "KeyExchangeResult");
    if (root == nullptr)
        return false;
    result->serial = Text(root, "Serial");
    result->key = Text(root, "Key");
    result->signature = Text(root, "Signature");
    result->header = Text(root, "Header");
    return true;
}

bool ParseHello(std::string_view text, Hello* hello) {
    tinyxml2::XMLDocument doc;
    const tinyxml2::XMLElement* root = RootNamed(&doc, text, "Hello");
    if (root == nullptr)
        return false;
    Hello h;
    h.protocol = root->IntAttribute("Protocol", 0);
    h.minProtocol = root->IntAttribute("MinProtocol", 0);
    h.nonce = Text(root, "Nonce");
    h.kx = Text(root, "Kx");
    if (h.protocol <= 0 || h.minProtocol <= 0 || h.nonce.empty())
        return false;
    *hello = h;
    return true;
}

std::string MakeNonce() {
    // Every random byte of a connection comes from libsodium's generator (the same one that
    // makes the keys), so one source decides what a connection draws.
    unsigned char bytes[16];
    if (!CryptoReady())
        return {};  // no generator: the hello is malformed and the client closes
    randombytes_buf(bytes, sizeof bytes);
    return ToHex(bytes, sizeof bytes);
}

std::string LoginDigest(std::string_view password, std::string_view nonce, std::string_view user) {
    const QByteArray key(password.data(), static_cast<qsizetype>(password.size()));
    QByteArray message(nonce.data(), static_cast<qsizetype>(nonce.size()));
    message.append(':');
    message.append(user.data(), static_cast<qsizetype>(user.size()));
    return QMessageAuthenticationCode::hash(message, key, QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

std::string PrintLogin(const Login& login) {
    return "<Login Protocol=\"" + std::to_string(login.protocol) + "\" User=\"" +
           EscapeAttribute(login.user) + "\" Digest=\"" + EscapeAttribute(login.digest) + "\" />";
}

bool ParseLogin(std::string_view text, Login* login) {
    tinyxml2::XMLDocument doc;
    const tinyxml2::XMLElement* root = RootNamed(&doc, text, "Login");
    if (root == nullptr)
        return false;
    login->protocol = root->IntAttribute("Protocol", 0);
    login->user = Text(root, "User");
    login->digest = Text(root, "Digest");
    return true;
}

std::string PrintLoginResult(int keepAliveSeconds) {
    return "<LoginResult KeepAlive=\"" + std::to_string(keepAliveSeconds) + "\" />";
}

int ParseLoginResult(std::string_view text, int fallback) {
    tinyxml2::XMLDocument doc;
    const tinyxml2::XMLElement* root = RootNamed(&doc, text, "LoginResult");
    const int seconds = root != nullptr ? root->IntAttribute("KeepAlive", 0) : 0;
    return seconds >= 1 && seconds <= 3600 ? seconds : fallback;
}

int ChooseProtocol(const Hello& hello) {
    const int chosen = std::min(kProtocolVersion, hello.protocol);
    return chosen >= kMinProtocolVersion && chosen >= hello.minProtocol ? chosen : 0;
}

// Start of the first element's name in `text`, or npos.
static std::size_t FindFirstElement(std::string_view text) {
    std::size_t i = 0;
    while ((i = text.find('<', i)) != std::string_view::npos) {
        ++i;
        if (i < text.size() && IsNameChar(text[i]) && text[i] != '-' && text[i] != '.')
            return i;
    }
    return std::string_view::npos;
}

static std::size_t NameEnd(std::string_view text, std::size_t i) {
    while (i < text.size() && IsNameChar(text[i]))
        ++i;
    return i;
}

std::string FirstElementName(std::string_view text) {
    const std::size_t start = FindFirstElement(text);
    if (start == std::string_view::npos)
        return {};
    return std::string(text.substr(start, NameEnd(text, start) - start));
}

std::map<std::string, std::string> ReadAttributes(std::string_view text) {
    std::map<std::string, std::string> out;
    const std::size_t start = FindFirstElement(text);
    if (start == std::string_view::npos)
        return out;
    std::size_t i = NameEnd(text, start);
    const std::size_t end = text.find('>', i);
    const std::string_view tag = text.substr(i, end == std::string_view::npos ? end : end - i);
    i = 0;
    while (i < tag.size()) {
        while (i < tag.size() && !IsNameChar(tag[i]))
            ++i;
        const std::size_t nameEnd = NameEnd(tag, i);
        std::size_t q = nameEnd;
        while (q < tag.size() && std::isspace(static_cast<unsigned char>(tag[q])))
            ++q;
        if (q >= tag.size() || tag[q] != '=')
            break;
        q = tag.find('"', q);
        const std::size_t close = q == std::string_view::npos ? q : tag.find('"', q + 1);
        if (close == std::string_view::npos)
            break;
        out[std::string(tag.substr(i, nameEnd - i))] =
            std::string(tag.substr(q + 1, close - q - 1));
        i = close + 1;
    }
    return out;
}

}  // namespace camfleet::sdk
