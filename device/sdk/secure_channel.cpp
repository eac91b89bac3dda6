#include "device/sdk/secure_channel.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

namespace camfleet::sdk {

namespace {

constexpr std::string_view kTranscriptLabel = "camfleet control handshake 4";
constexpr std::size_t kMaxRecord = kMaxRecordPlain + kRecordTagSize;

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
    // OpenSSL starts here too, on the first caller's thread (the SDK's Init, a simulator's
    // setup), rather than on an I/O thread's first record: its start-up state then belongs
    // to a thread that ends with the process's own clean-up.
    static const bool ready =
        sodium_init() >= 0 && OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CONFIG, nullptr) == 1;
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

void ChannelCipher::Direction::Reset() {
    EVP_CIPHER_CTX_free(ctx);  // clears the key schedule it holds
    ctx = nullptr;
    sodium_memzero(base.data(), base.size());
    counter = 0;
}

void ChannelCipher::Direction::Nonce(unsigned char out[kRecordNonceSize]) const {
    // The record's number, big-endian, folded into the last 8 bytes of the base: unique for
    // every record of a direction, and the receiver counts along, so a record opens only in
    // its own place.
    std::memcpy(out, base.data(), kRecordNonceSize);
    for (int i = 0; i < 8; ++i)
        out[kRecordNonceSize - 1 - i] ^= static_cast<unsigned char>(counter >> (8 * i));
}

ChannelCipher::~ChannelCipher() {
    send_.Reset();
    receive_.Reset();
}

ChannelCipher::ChannelCipher(ChannelCipher&& other) noexcept
    : send_(std::exchange(other.send_, {})), receive_(std::exchange(other.receive_, {})) {}

ChannelCipher& ChannelCipher::operator=(ChannelCipher&& other) noexcept {
    if (this != &other) {
        send_.Reset();
        receive_.Reset();
        send_ = std::exchange(other.send_, {});
        receive_ = std::exchange(other.receive_, {});
    }
    return *this;
}

namespace {

// A context keyed for one direction; nullptr when OpenSSL refuses (out of memory).
EVP_CIPHER_CTX* KeyedContext(const unsigned char* key, bool encrypt) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (ctx && EVP_CipherInit_ex(ctx, EVP_chacha20_poly1305(), nullptr, key, nullptr,
                                 encrypt ? 1 : 0) == 1)
        return ctx;
    EVP_CIPHER_CTX_free(ctx);
    return nullptr;
}

void PutLength(unsigned char* p, std::size_t length) {
    p[0] = static_cast<unsigned char>(length >> 24);
    p[1] = static_cast<unsigned char>(length >> 16);
    p[2] = static_cast<unsigned char>(length >> 8);
    p[3] = static_cast<unsigned char>(length);
}

}  // namespace

std::string ChannelCipher::StartSending(const SessionKeys& keys) {
    send_.Reset();
    randombytes_buf(send_.base.data(), send_.base.size());
    send_.ctx = KeyedContext(keys.tx.data(), true);
    return ToHex(send_.base.data(), send_.base.size());
}

bool ChannelCipher::StartReceiving(const SessionKeys& keys, std::string_view headerHex) {
    receive_.Reset();
    if (!FromHex(headerHex, receive_.base.data(), receive_.base.size()))
        return false;
    receive_.ctx = KeyedContext(keys.rx.data(), false);
    return receive_.ctx != nullptr;
}

void ChannelCipher::Seal(std::string_view plain, std::string* wire) {
    while (!plain.empty()) {
        const std::size_t take = std::min(plain.size(), kMaxRecordPlain);
        const std::size_t length = take + kRecordTagSize;
        const std::size_t at = wire->size();
        wire->resize(at + kRecordHeaderSize + length);
        auto* p = reinterpret_cast<unsigned char*>(wire->data() + at);
        PutLength(p, length);
        unsigned char* sealed = p + kRecordHeaderSize;
        unsigned char nonce[kRecordNonceSize];
        send_.Nonce(nonce);
        ++send_.counter;
        int n = 0;
        int tail = 0;
        if (CryptoOff()) {
            std::memcpy(sealed, plain.data(), take);
            std::memset(sealed + take, 0, kRecordTagSize);
        } else if (!send_.ctx ||
                   EVP_EncryptInit_ex(send_.ctx, nullptr, nullptr, nullptr, nonce) != 1 ||
                   EVP_EncryptUpdate(send_.ctx, nullptr, &n, p, kRecordHeaderSize) != 1 ||
                   EVP_EncryptUpdate(send_.ctx, sealed, &n, Bytes(plain), static_cast<int>(take)) !=
                       1 ||
                   EVP_EncryptFinal_ex(send_.ctx, sealed + n, &tail) != 1 ||
                   EVP_CIPHER_CTX_ctrl(send_.ctx, EVP_CTRL_AEAD_GET_TAG, kRecordTagSize,
                                       sealed + take) != 1) {
            // Only a broken library gets here: a record of zeros fails at the peer, which
            // closes the connection, rather than anything leaving in clear.
            std::memset(sealed, 0, length);
        }
        plain.remove_prefix(take);
    }
}

bool ChannelCipher::Open(std::string* wire, std::string* plain) {
    std::size_t at = 0;
    bool ok = true;
    while (wire->size() - at >= kRecordHeaderSize) {
        auto* p = reinterpret_cast<unsigned char*>(wire->data() + at);
        const std::size_t length =
            (std::size_t{p[0]} << 24) | (std::size_t{p[1]} << 16) | (std::size_t{p[2]} << 8) | p[3];
        if (length <= kRecordTagSize || length > kMaxRecord) {
            ok = false;
            break;
        }
        if (wire->size() - at - kRecordHeaderSize < length)
            break;
        const std::size_t size = length - kRecordTagSize;
        unsigned char* sealed = p + kRecordHeaderSize;
        const std::size_t out = plain->size();
        plain->resize(out + size);
        auto* opened = reinterpret_cast<unsigned char*>(plain->data() + out);
        unsigned char nonce[kRecordNonceSize];
        receive_.Nonce(nonce);
        ++receive_.counter;
        int n = 0;
        int tail = 0;
        if (CryptoOff()) {
            std::memcpy(opened, sealed, size);
        } else if (!receive_.ctx ||
                   EVP_DecryptInit_ex(receive_.ctx, nullptr, nullptr, nullptr, nonce) != 1 ||
                   EVP_DecryptUpdate(receive_.ctx, nullptr, &n, p, kRecordHeaderSize) != 1 ||
                   EVP_DecryptUpdate(receive_.ctx, opened, &n, sealed, static_cast<int>(size)) !=
                       1 ||
                   EVP_CIPHER_CTX_ctrl(receive_.ctx, EVP_CTRL_AEAD_SET_TAG, kRecordTagSize,
                                       sealed + size) != 1 ||
                   EVP_DecryptFinal_ex(receive_.ctx, opened + n, &tail) != 1) {
            // Nothing of a record that fails is kept.
            sodium_memzero(opened, size);
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
