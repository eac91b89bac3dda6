// The worked example of docs/camera-protocol.md is a real session: the SDK logs in to a
// simulated camera through a recording relay with every random draw fixed, and the example
// printed from that capture must equal the document's text. The printing derives the keys
// with libsodium and opens the records with OpenSSL directly (not with the channel code under
// test), so the example also shows that the channel is the documented composition of calls.
//
// Its own program: the fixed random source must be installed before libsodium starts.

#include <openssl/evp.h>
#include <sodium.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>

#include "device/sdk/control_frame.h"
#include "device/sdk/control_protocol.h"
#include "device/sdk/secure_channel.h"
#include "recording_relay.h"
#include "sdk_fixture.h"

namespace camfleet::testing {
namespace {

// ---- The fixed random source -------------------------------------------------------------
// Draw n (from 0, counted from the last reset) is randombytes_buf_deterministic with a seed of
// 32 bytes all equal to n.

std::atomic<unsigned> g_draw{0};

void FixedBuf(void* buf, size_t size) {
    unsigned char seed[randombytes_SEEDBYTES];
    std::memset(seed, static_cast<int>(g_draw++ & 0xFF), sizeof seed);
    randombytes_buf_deterministic(buf, size, seed);
}

uint32_t FixedRandom() {
    uint32_t value = 0;
    FixedBuf(&value, sizeof value);
    return value;
}

const char* FixedName() {
    return "camfleet worked example";
}

randombytes_implementation g_fixed = {FixedName, FixedRandom, nullptr, nullptr, FixedBuf, nullptr};

// The draws of one session, in the order the two ends make them.
enum Draw { kCameraNonce, kCameraKx, kClientKx, kClientHeader, kCameraHeader };

std::string DrawBytes(unsigned n, std::size_t size) {
    unsigned char seed[randombytes_SEEDBYTES];
    std::memset(seed, static_cast<int>(n), sizeof seed);
    std::string out(size, '\0');
    randombytes_buf_deterministic(out.data(), size, seed);
    return out;
}

// ---- Printing ------------------------------------------------------------------------------

std::string Hex(std::string_view bytes) {
    return sdk::ToHex(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

// Hex in lines of 32 bytes.
std::string HexLines(std::string_view bytes) {
    std::string out;
    for (std::size_t at = 0; at < bytes.size(); at += 32)
        out += Hex(bytes.substr(at, 32)) + "\n";
    return out;
}

std::string Block(const std::string& lines) {
    return "```text\n" + lines + "```\n\n";
}

const char* KindName(sdk::FrameKind kind) {
    switch (kind) {
        case sdk::FrameKind::kRequest:
            return "request";
        case sdk::FrameKind::kAnswer:
            return "answer";
        case sdk::FrameKind::kEvent:
            return "event";
        case sdk::FrameKind::kData:
            return "data";
    }
    return "?";
}

// One frame: its header split into fields, then its payload as the text it is.
std::string FrameLines(std::string_view bytes) {
    const std::string_view h = bytes.substr(0, sdk::kFrameHeaderSize);
    std::ostringstream out;
    out << Hex(h.substr(0, 4)) << ' ' << Hex(h.substr(4, 1)) << ' ' << Hex(h.substr(5, 1)) << ' '
        << Hex(h.substr(6, 1)) << ' ' << Hex(h.substr(7, 1)) << ' ' << Hex(h.substr(8, 4)) << ' '
        << Hex(h.substr(12, 4)) << ' ' << Hex(h.substr(16, 4)) << ' ' << Hex(h.substr(20, 4))
        << "\n";
    const std::string_view payload = bytes.substr(sdk::kFrameHeaderSize);
    if (!payload.empty())
        out << payload << "\n";
    return out.str();
}

// Splits `stream` into frames (none may be partial).
std::vector<std::string> Frames(std::string_view stream) {
    std::vector<std::string> frames;
    while (stream.size() >= sdk::kFrameHeaderSize) {
        const auto* h = reinterpret_cast<const unsigned char*>(stream.data());
        const std::size_t length =
            (std::size_t{h[20]} << 24) | (h[21] << 16) | (h[22] << 8) | h[23];
        const std::size_t size = sdk::kFrameHeaderSize + length;
        if (stream.size() < size)
            break;
        frames.emplace_back(stream.substr(0, size));
        stream.remove_prefix(size);
    }
    EXPECT_TRUE(stream.empty()) << "a partial frame";
    return frames;
}

std::string FrameTitle(const std::string& frame) {
    sdk::FrameParser parser;
    parser.Feed(frame.data(), frame.size());
    sdk::Frame f;
    if (parser.Next(&f) != sdk::FrameParser::Result::kFrame)
        return "a broken frame";
    std::ostringstream title;
    title << KindName(f.kind) << ", code 0x" << std::hex << f.code << std::dec << ", sequence "
          << f.sequence;
    if (f.kind == sdk::FrameKind::kAnswer)
        title << ", status " << f.status;
    if (f.kind == sdk::FrameKind::kRequest)
        title << ", access " << static_cast<int>(sdk::AccessOf(f.param));
    return title.str();
}

// One direction after its clear frames: records opened with libsodium's secret stream.
struct Direction {
    const char* name;
    std::string wire;  // records
    std::string header;
    std::array<unsigned char, crypto_kx_SESSIONKEYBYTES> key{};
    uint64_t records = 0;  // opened so far: the next one's number
};

// The plain bytes of one record: ChaCha20-Poly1305 with the direction's key, the nonce its
// base with the record's number in the last 8 bytes (exclusive or, big-endian), the 4 length
// bytes as associated data; false when it does not open. `record` is the whole record,
// `length` its bytes with the length field.
bool OpenRecord(const Direction& d, uint64_t number, const unsigned char* record,
                std::size_t length, std::string* plain) {
    unsigned char nonce[12];
    if (!sdk::FromHex(d.header, nonce, sizeof nonce) || length < 4 + 16)
        return false;
    for (int i = 0; i < 8; ++i)
        nonce[11 - i] ^= static_cast<unsigned char>(number >> (8 * i));
    plain->assign(length - 4 - 16, '\0');
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int n = 0;
    const bool ok =
        ctx &&
        EVP_DecryptInit_ex(ctx, EVP_chacha20_poly1305(), nullptr, d.key.data(), nonce) == 1 &&
        EVP_DecryptUpdate(ctx, nullptr, &n, record, 4) == 1 &&
        EVP_DecryptUpdate(ctx, reinterpret_cast<unsigned char*>(plain->data()), &n, record + 4,
                          static_cast<int>(plain->size())) == 1 &&
        EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_TAG, 16,
                            const_cast<unsigned char*>(record + length - 16)) == 1 &&
        EVP_DecryptFinal_ex(ctx, reinterpret_cast<unsigned char*>(plain->data()) + n, &n) == 1;
    EVP_CIPHER_CTX_free(ctx);
    return ok;
}

// Appends the next record of `d` (its bytes and what it opens to) to `out`; false when none
// is left.
bool NextRecord(Direction& d, int* step, std::string* out) {
    if (d.wire.size() < 4)
        return false;
    const auto* p = reinterpret_cast<const unsigned char*>(d.wire.data());
    const std::size_t length = (std::size_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    if (d.wire.size() < 4 + length)
        return false;
    std::string plain;
    if (!OpenRecord(d, d.records++, p, 4 + length, &plain)) {
        ADD_FAILURE() << d.name << ": a record that does not open";
        return false;
    }
    std::string frames;
    for (const std::string& frame : Frames(plain))
        frames += "# " + FrameTitle(frame) + "\n" + FrameLines(frame);
    *out += std::to_string((*step)++) + ". " + d.name + ", a record (" +
            std::to_string(4 + length) + " bytes):\n\n" +
            Block(HexLines(d.wire.substr(0, 4 + length))) + "   It opens to " +
            std::to_string(plain.size()) + " plain bytes:\n\n" + Block(frames);
    d.wire.erase(0, 4 + length);
    return true;
}

// The example's text from the two captured directions.
std::string PrintExample(const std::string& toClient, const std::string& toCamera) {
    std::string out;
    sdk::FrameParser cameraClear, clientClear;
    cameraClear.Feed(toClient.data(), toClient.size());
    clientClear.Feed(toCamera.data(), toCamera.size());
    sdk::Frame hello, exchange, result;
    if (cameraClear.Next(&hello) != sdk::FrameParser::Result::kFrame ||
        clientClear.Next(&exchange) != sdk::FrameParser::Result::kFrame ||
        cameraClear.Next(&result) != sdk::FrameParser::Result::kFrame) {
        ADD_FAILURE() << "no handshake in the capture";
        return {};
    }
    const std::string helloBytes = sdk::EncodeFrame(hello);
    const std::string exchangeBytes = sdk::EncodeFrame(exchange);
    const std::string resultBytes = sdk::EncodeFrame(result);

    // The client's ephemeral pair from its draw; its public half must be the one it sent.
    sdk::Hello h;
    sdk::KeyExchange k;
    sdk::KeyExchangeResult r;
    EXPECT_TRUE(sdk::ParseHello(hello.payload, &h));
    EXPECT_TRUE(sdk::ParseKeyExchange(exchange.payload, &k));
    EXPECT_TRUE(sdk::ParseKeyExchangeResult(result.payload, &r));
    const std::string clientSk = DrawBytes(kClientKx, crypto_kx_SECRETKEYBYTES);
    unsigned char clientPk[crypto_kx_PUBLICKEYBYTES], cameraPk[crypto_kx_PUBLICKEYBYTES];
    crypto_scalarmult_base(clientPk, reinterpret_cast<const unsigned char*>(clientSk.data()));
    EXPECT_EQ(sdk::ToHex(clientPk, sizeof clientPk), k.kx) << "the client drew another key";
    EXPECT_EQ(h.nonce, Hex(DrawBytes(kCameraNonce, 16)));
    EXPECT_TRUE(sdk::FromHex(h.kx, cameraPk, sizeof cameraPk));
    EXPECT_TRUE(sdk::VerifyTranscript(
        r.key, sdk::HandshakeTranscript(hello.payload, exchange.payload, r.serial, r.key),
        r.signature));

    Direction up{"Client to camera", clientClear.TakeRest(), k.header, {}, 0};
    Direction down{"Camera to client", cameraClear.TakeRest(), r.header, {}, 0};
    if (crypto_kx_client_session_keys(down.key.data(), up.key.data(), clientPk,
                                      reinterpret_cast<const unsigned char*>(clientSk.data()),
                                      cameraPk) != 0)
        ADD_FAILURE() << "no session keys";

    out +=
        "The client's ephemeral secret key (the camera's ephemeral public key is the hello's "
        "`Kx`) and the two session keys they give:\n\n";
    out += Block("client ephemeral secret key  " + Hex(clientSk) + "\n" +
                 "client to camera key         " + Hex(std::string(up.key.begin(), up.key.end())) +
                 "\n" + "camera to client key         " +
                 Hex(std::string(down.key.begin(), down.key.end())) + "\n");
    out +=
        "Header fields are shown as magic, version, kind, access, channel, code, sequence, "
        "status, length; payloads as their text.\n\n";
    out += "1. Camera to client, in clear: the hello (" + std::to_string(helloBytes.size()) +
           " bytes).\n\n" + Block(FrameLines(helloBytes));
    out += "2. Client to camera, in clear: the key exchange (" +
           std::to_string(exchangeBytes.size()) + " bytes).\n\n" + Block(FrameLines(exchangeBytes));
    out += "3. Camera to client, in clear: the key exchange's answer (" +
           std::to_string(resultBytes.size()) +
           " bytes). Everything after it travels in records; "
           "each direction's nonces start from the base its sender gave (client: `Header` of "
           "step 2; camera: `Header` of step 3), its first record being number 0.\n\n" +
           Block(FrameLines(resultBytes));
    // The exchange alternates: the client asks, the camera answers.
    int step = 4;
    while (NextRecord(up, &step, &out) && NextRecord(down, &step, &out)) {
    }
    return out;
}

constexpr const char* kBegin =
    "<!-- worked example: printed by tests/sdk/protocol_example_test.cpp -->\n";
constexpr const char* kEnd = "<!-- end of the worked example -->\n";

std::string DocumentedExample() {
    std::ifstream in(CAMFLEET_SOURCE_DIR "/docs/camera-protocol.md");
    std::stringstream text;
    text << in.rdbuf();
    const std::string doc = text.str();
    const std::size_t begin = doc.find(kBegin);
    const std::size_t end = doc.find(kEnd);
    if (begin == std::string::npos || end == std::string::npos || end < begin)
        return {};
    return doc.substr(begin + std::strlen(kBegin), end - begin - std::strlen(kBegin));
}

using ProtocolExample = SdkTestWithOwnPins;  // nothing pinned yet

// The example session: log in, ask for the serial number (1019), log out.
TEST_F(ProtocolExample, DocumentShowsTheRealExchange) {
    ASSERT_TRUE(sdk::CryptoReady());
    sim::ControlIdentity identity;
    identity.serialNumber = "5A3F09C21B7E44D0";
    identity.sdkPort = 0;
    std::string error;
    const int camera = server_.AddCamera(identity, {}, &error);
    ASSERT_GE(camera, 0) << error;
    RecordingRelay relay(server_.Port(camera));

    g_draw = 0;
    const int handle = QV_NETSDK_IPC_Login("127.0.0.1", relay.port(), "admin", "730418", 0);
    ASSERT_GT(handle, 0);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_LOGGED_IN));
    ASSERT_EQ(QV_NETSDK_IPC_SystemControl(handle, kCtlSerialNumber, nullptr, "RESPONSE_PARAM"),
              QV_OK);
    EXPECT_EQ(g_draw.load(), kCameraHeader + 1u) << "the session drew more than the example";
    const std::string toClient = relay.ToClient();
    const std::string toCamera = relay.ToCamera();
    QV_NETSDK_IPC_Logout(handle);

    const std::string printed = PrintExample(toClient, toCamera);
    ASSERT_FALSE(printed.empty());
    if (const QByteArray path = qgetenv("CAMFLEET_PRINT_EXAMPLE"); !path.isEmpty())
        std::ofstream(path.constData()) << printed;
    EXPECT_EQ(DocumentedExample(), printed)
        << "docs/camera-protocol.md's worked example differs from the real exchange; run with "
           "CAMFLEET_PRINT_EXAMPLE=file to print it";
}

}  // namespace
}  // namespace camfleet::testing

int main(int argc, char** argv) {
    // Before libsodium starts: every key, nonce and stream header of the session is fixed.
    randombytes_set_implementation(&camfleet::testing::g_fixed);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
