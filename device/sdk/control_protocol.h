#pragma once
// Messages of the camera-control protocol above the framing (docs/camera-protocol.md):
// session command codes, answer statuses, the hello and login documents and the login
// digest. Pure functions, callable from any thread.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace camfleet::sdk {

// Version 2 ran every connection over the secure channel (version 1, login in clear, is no
// longer spoken); version 3 marks every request with its access (read, write, command);
// version 4 seals the channel's records with ChaCha20-Poly1305 and numbered nonces instead of
// a secret stream (the same frames, about three times the rate; 3 is no longer spoken).
inline constexpr int kProtocolVersion = 4;     // highest command-set version spoken here
inline constexpr int kMinProtocolVersion = 4;  // lowest

// Session command codes (device command codes such as 504 or 1012 travel as they are).
enum SessionCode : uint32_t {
    kCodeHello = 0xF00001,
    kCodeLogin = 0xF00002,
    kCodeKeepAlive = 0xF00003,
    kCodeLogout = 0xF00004,
    kCodeKeyExchange = 0xF00005,
    kCodeReboot = 0xF00010,
    kCodeRestore = 0xF00011,
    kCodePtzControl = 0xF00012,
    kCodePtzPreset = 0xF00013,
    kCodeCreateIFrame = 0xF00014,
    kCodeOpenBulk = 0xF00020,
    kCodeAttachBulk = 0xF00021,
};

// Answer statuses, 0 .. 255 (they share the code word of the response hook).
enum AnswerStatus : int32_t {
    kStatusOk = 0,
    kStatusFailed = 1,
    kStatusUnsupported = 2,
    kStatusBadDocument = 3,
    kStatusNotLoggedIn = 4,
    kStatusRefused = 5,
    kStatusBusy = 6,
    kStatusVersion = 7,
    kStatusWrongAccess = 8,    // the request's access mark does not fit its code
    kStatusTimeout = 253,      // SDK only: no answer in time
    kStatusSessionLost = 254,  // SDK only: session lost before the answer
};

struct Hello {
    int protocol = 0;
    int minProtocol = 0;
    std::string nonce;  // 32 lower-case hex digits
    std::string kx;     // the camera's ephemeral key-exchange key, hex (empty from old cameras)
};

std::string PrintHello(const Hello& hello);
// false for a text that is not a Hello element with a non-empty nonce and versions > 0.
bool ParseHello(std::string_view text, Hello* hello);

// The client's half of the key exchange (request kCodeKeyExchange).
struct KeyExchange {
    int protocol = 0;
    std::string kx;      // the client's ephemeral key, hex
    std::string header;  // header of the client's sending stream, hex
};
std::string PrintKeyExchange(const KeyExchange& exchange);
bool ParseKeyExchange(std::string_view text, KeyExchange* exchange);

// The camera's answer: who it is, proven by signing the handshake.
struct KeyExchangeResult {
    std::string serial;
    std::string key;        // long-term Ed25519 public key, hex
    std::string signature;  // over HandshakeTranscript, hex
    std::string header;     // header of the camera's sending stream, hex
};
std::string PrintKeyExchangeResult(const KeyExchangeResult& result);
bool ParseKeyExchangeResult(std::string_view text, KeyExchangeResult* result);

// 16 random bytes as 32 lower-case hex digits.
std::string MakeNonce();
// Lower-case hex HMAC-SHA256 keyed with the password's bytes over "nonce:user".
std::string LoginDigest(std::string_view password, std::string_view nonce, std::string_view user);

struct Login {
    int protocol = 0;
    std::string user;
    std::string digest;
};
std::string PrintLogin(const Login& login);
bool ParseLogin(std::string_view text, Login* login);
std::string PrintLoginResult(int keepAliveSeconds);
// Keep-alive seconds of a login answer; `fallback` when missing or not in 1..3600.
int ParseLoginResult(std::string_view text, int fallback);

// The protocol version a client speaking [kMinProtocolVersion, kProtocolVersion] uses with a
// camera announcing `hello`, or 0 when they share none.
int ChooseProtocol(const Hello& hello);

// Attributes of the first element of `text`, read leniently: name="value" pairs with or
// without white space between them (as the tool prints REQUEST_PARAM texts). Values are
// taken as they stand (entities are not decoded). Empty for a text without an element.
std::map<std::string, std::string> ReadAttributes(std::string_view text);
// Name of the first element of `text` ("" when there is none).
std::string FirstElementName(std::string_view text);

}  // namespace camfleet::sdk
