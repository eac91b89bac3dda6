#pragma once
// The encrypted, authenticated channel of a control connection (docs/camera-protocol.md,
// "Secure channel"): ephemeral X25519 keys exchanged in the hello, the camera's long-term
// Ed25519 key signing the handshake (libsodium), and per direction one ChaCha20-Poly1305 key
// (RFC 8439, OpenSSL's implementation) sealing the frames as numbered records: the nonce is
// the direction's random base with the record's number folded in, the record's length is
// authenticated with it, so a changed, dropped, repeated or reordered record fails to open.
//
// ChannelCipher belongs to one connection and the thread that serves it; the free functions
// are callable from any thread.

#include <openssl/evp.h>
#include <sodium.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace camfleet::sdk {

inline constexpr std::size_t kRecordHeaderSize = 4;    // big-endian sealed length
inline constexpr std::size_t kMaxRecordPlain = 65536;  // plain bytes per record
inline constexpr std::size_t kRecordTagSize = 16;      // Poly1305 tag after the sealed bytes
inline constexpr std::size_t kRecordNonceSize = 12;    // a direction's nonce base (its header)

// false when libsodium or OpenSSL cannot start (no entropy source); every caller then refuses
// to talk.
bool CryptoReady();

#ifdef CAMFLEET_BENCH_SWITCHES
// Benchmark builds only (CAMFLEET_BENCH_SWITCHES): with `off`, key exchange, signatures and
// records skip their cryptography (records keep their sizes, their bytes go in clear), so a
// benchmark can show what the channel costs. Both ends of a benchmark share the process.
void SetChannelCryptoForBenchmark(bool on);
#endif

// Hex of raw bytes and back; FromHex is false for a text that is not exactly `size` bytes.
std::string ToHex(const unsigned char* data, std::size_t size);
bool FromHex(std::string_view hex, unsigned char* out, std::size_t size);

// One side's key-exchange pair, fresh for every connection.
struct EphemeralKey {
    std::array<unsigned char, crypto_kx_PUBLICKEYBYTES> pk{};
    std::array<unsigned char, crypto_kx_SECRETKEYBYTES> sk{};
};
EphemeralKey MakeEphemeralKey();

// A camera's long-term signing key.
struct SigningKey {
    std::array<unsigned char, crypto_sign_PUBLICKEYBYTES> pk{};
    std::array<unsigned char, crypto_sign_SECRETKEYBYTES> sk{};
};
// The same material always gives the same key (the simulator derives its cameras' keys).
SigningKey SigningKeyFromMaterial(std::string_view material);

// The bytes a camera signs: both sides' handshake texts and what the camera says it is.
std::string HandshakeTranscript(std::string_view hello, std::string_view keyExchange,
                                std::string_view serial, std::string_view keyHex);
std::string SignTranscript(const SigningKey& key, std::string_view transcript);  // hex
bool VerifyTranscript(std::string_view keyHex, std::string_view transcript,
                      std::string_view signatureHex);

struct SessionKeys {
    std::array<unsigned char, crypto_kx_SESSIONKEYBYTES> rx{};
    std::array<unsigned char, crypto_kx_SESSIONKEYBYTES> tx{};
};
// false when the peer's public key is unusable.
bool ClientSessionKeys(const EphemeralKey& own, const unsigned char* cameraPk, SessionKeys* keys);
bool CameraSessionKeys(const EphemeralKey& own, const unsigned char* clientPk, SessionKeys* keys);

// Both directions of one connection's channel. Records on the wire: a 4-byte big-endian
// length, then that many bytes: the sealed plain bytes (1 to kMaxRecordPlain) and their tag.
class ChannelCipher {
public:
    ChannelCipher() = default;
    ~ChannelCipher();
    ChannelCipher(const ChannelCipher&) = delete;
    ChannelCipher& operator=(const ChannelCipher&) = delete;
    ChannelCipher(ChannelCipher&& other) noexcept;
    ChannelCipher& operator=(ChannelCipher&& other) noexcept;

    // Starts the sending direction with a fresh nonce base; returns it (hex) for the peer.
    std::string StartSending(const SessionKeys& keys);
    // Starts the receiving direction from the peer's nonce base; false for a malformed one.
    bool StartReceiving(const SessionKeys& keys, std::string_view headerHex);
    bool sending() const { return send_.ctx != nullptr; }
    bool receiving() const { return receive_.ctx != nullptr; }

    // Seals `plain` as records appended to `wire`.
    void Seal(std::string_view plain, std::string* wire);
    // Opens every complete record at the front of `wire` (removing them) and appends their
    // plain bytes to `plain`. false when a record is too long or fails authentication: the
    // connection must be closed.
    bool Open(std::string* wire, std::string* plain);

private:
    struct Direction {
        EVP_CIPHER_CTX* ctx = nullptr;  // keyed once; the nonce is set per record
        std::array<unsigned char, kRecordNonceSize> base{};
        uint64_t counter = 0;  // records sealed or opened so far
        void Reset();
        void Nonce(unsigned char out[kRecordNonceSize]) const;
    };
    Direction send_;
    Direction receive_;
};

}  // namespace camfleet::sdk
