#include "device/sdk/secure_channel.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

namespace camfleet::sdk {

namespace {

constexpr std::string_view kTranscriptLabel = "camfleet control handshake 2";
constexpr std::size_t kMaxRecord = kMaxRecordPlain + crypto_secretstream_xchacha20poly1305_ABYTES;

const unsigned char* Bytes(std::string_view text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

#ifdef CAMFLEET_BENCH_SWITCHES
std::atomic<bool> g_cryptoOff{false};
bool CryptoOff() {
    return g_cryptoOff.load(std::memory_order_relaxed);
}
#else
constexpr bool CryptoOff() {
    return false;
}
#endif

}  // namespace

#ifdef CAMFLEET_BENCH_SWITCHES
void SetChannelCryptoForBenchmark(bool on) {
    g_cryptoOff = !on;
}
#endif

bool CryptoReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

std::string ToHex(const unsigned char* data, std::size_t size) {
    std::string hex(size * 2 + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), data, size);
    hex.pop_back();
    return hex;
}

bool FromHex(std::string_view hex, unsigned char* out, std::size_t size) {
    std::size_t length = 0;
    const char* end = nullptr;
    return hex.size() == size * 2 &&
           sodium_hex2bin(out, size, hex.data(), hex.size(), nullptr, &length, &end) == 0 &&
           length == size && end == hex.data() + hex.size();
}

EphemeralKey MakeEphemeralKey() {
    EphemeralKey key;
    CryptoReady();
    if (CryptoOff())
        randombytes_buf(key.pk.data(), key.pk.size());
    else
        crypto_kx_keypair(key.pk.data(), key.sk.data());
    return key;
}

SigningKey SigningKeyFromMaterial(std::string_view material) {
    unsigned char seed[crypto_sign_SEEDBYTES];
    CryptoReady();
    crypto_generichash(seed, sizeof seed, Bytes(material), material.size(), nullptr, 0);
    SigningKey key;
    crypto_sign_seed_keypair(key.pk.data(), key.sk.data(), seed);
    sodium_memzero(seed, sizeof seed);
    return key;
}

std::string HandshakeTranscript(std::string_view hello, std::string_view keyExchange,
                                std::string_view serial, std::string_view keyHex) {
    std::string t(kTranscriptLabel);
    for (std::string_view part : {hello, keyExchange, serial, keyHex}) {
        // Each part with its length first, so no two different handshakes read alike.
        t += '\n' + std::to_string(part.size()) + ':';
        t += part;
    }
    return t;
}

std::string SignTranscript(const SigningKey& key, std::string_view transcript) {
    unsigned char signature[crypto_sign_BYTES] = {};
    if (!CryptoOff())
        crypto_sign_detached(signature, nullptr, Bytes(transcript), transcript.size(),
                             key.sk.data());
    return ToHex(signature, sizeof signature);
}

bool VerifyTranscript(std::string_view keyHex, std::string_view transcript,
                      std::string_view signatureHex) {
    unsigned char pk[crypto_sign_PUBLICKEYBYTES];
    unsigned char signature[crypto_sign_BYTES];
    return FromHex(keyHex, pk, sizeof pk) && FromHex(signatureHex, signature, sizeof signature) &&
           (CryptoOff() ||
            crypto_sign_verify_detached(signature, Bytes(transcript), transcript.size(), pk) == 0);
}

bool ClientSessionKeys(const EphemeralKey& own, const unsigned char* cameraPk, SessionKeys* keys) {
    if (CryptoOff())
        return true;  // zero keys
    return crypto_kx_client_session_keys(keys->rx.data(), keys->tx.data(), own.pk.data(),
                                         own.sk.data(), cameraPk) == 0;
}

bool CameraSessionKeys(const EphemeralKey& own, const unsigned char* clientPk, SessionKeys* keys) {
    if (CryptoOff())
        return true;
    return crypto_kx_server_session_keys(keys->rx.data(), keys->tx.data(), own.pk.data(),
                                         own.sk.data(), clientPk) == 0;
}

ChannelCipher::~ChannelCipher() {
    sodium_memzero(&push_, sizeof push_);
    sodium_memzero(&pull_, sizeof pull_);
}

ChannelCipher::ChannelCipher(ChannelCipher&& other) noexcept
    : push_(other.push_),
      pull_(other.pull_),
      sending_(std::exchange(other.sending_, false)),
      receiving_(std::exchange(other.receiving_, false)) {}

ChannelCipher& ChannelCipher::operator=(ChannelCipher&& other) noexcept {
    if (this != &other) {
        push_ = other.push_;
        pull_ = other.pull_;
        sending_ = std::exchange(other.sending_, false);
        receiving_ = std::exchange(other.receiving_, false);
    }
    return *this;
}

std::string ChannelCipher::StartSending(const SessionKeys& keys) {
    unsigned char header[crypto_secretstream_xchacha20poly1305_HEADERBYTES];
    crypto_secretstream_xchacha20poly1305_init_push(&push_, header, keys.tx.data());
    sending_ = true;
    return ToHex(header, sizeof header);
}

bool ChannelCipher::StartReceiving(const SessionKeys& keys, std::string_view headerHex) {
    unsigned char header[crypto_secretstream_xchacha20poly1305_HEADERBYTES];
    receiving_ =
        FromHex(headerHex, header, sizeof header) &&
        crypto_secretstream_xchacha20poly1305_init_pull(&pull_, header, keys.rx.data()) == 0;
    return receiving_;
}

void ChannelCipher::Seal(std::string_view plain, std::string* wire) {
    while (!plain.empty()) {
        const std::size_t take = std::min(plain.size(), kMaxRecordPlain);
        const std::size_t length = take + crypto_secretstream_xchacha20poly1305_ABYTES;
        const std::size_t at = wire->size();
        wire->resize(at + kRecordHeaderSize + length);
        auto* p = reinterpret_cast<unsigned char*>(wire->data() + at);
        p[0] = static_cast<unsigned char>(length >> 24);
        p[1] = static_cast<unsigned char>(length >> 16);
        p[2] = static_cast<unsigned char>(length >> 8);
        p[3] = static_cast<unsigned char>(length);
        if (CryptoOff()) {
            std::memcpy(p + kRecordHeaderSize, plain.data(), take);
            std::memset(p + kRecordHeaderSize + take, 0, length - take);
        } else {
            crypto_secretstream_xchacha20poly1305_push(
                &push_, p + kRecordHeaderSize, nullptr, Bytes(plain), take, nullptr, 0,
                crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
        }
        plain.remove_prefix(take);
    }
}

bool ChannelCipher::Open(std::string* wire, std::string* plain) {
    std::size_t at = 0;
    bool ok = true;
    while (wire->size() - at >= kRecordHeaderSize) {
        const auto* p = reinterpret_cast<const unsigned char*>(wire->data() + at);
        const std::size_t length =
            (std::size_t{p[0]} << 24) | (std::size_t{p[1]} << 16) | (std::size_t{p[2]} << 8) | p[3];
        if (length < crypto_secretstream_xchacha20poly1305_ABYTES || length > kMaxRecord) {
            ok = false;
            break;
        }
        if (wire->size() - at - kRecordHeaderSize < length)
            break;
        const std::size_t out = plain->size();
        plain->resize(out + length - crypto_secretstream_xchacha20poly1305_ABYTES);
        unsigned long long got = 0;
        unsigned char tag = crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
        if (CryptoOff())
            std::memcpy(plain->data() + out, p + kRecordHeaderSize, plain->size() - out);
        else if (crypto_secretstream_xchacha20poly1305_pull(
                     &pull_, reinterpret_cast<unsigned char*>(plain->data() + out), &got, &tag,
                     p + kRecordHeaderSize, length, nullptr, 0) != 0 ||
                 tag != crypto_secretstream_xchacha20poly1305_TAG_MESSAGE) {
            plain->resize(out);
            ok = false;
            break;
        }
        at += kRecordHeaderSize + length;
    }
    wire->erase(0, at);
    return ok;
}

}  // namespace camfleet::sdk
