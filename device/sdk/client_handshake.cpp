#include "device/sdk/client_handshake.h"

#include "resources/known_cameras.h"
#include "resources/log.h"

namespace camfleet::sdk {

ClientHandshake::ClientHandshake(std::string address, std::string label)
    : address_(std::move(address)), label_(std::move(label)) {}

ClientHandshake::~ClientHandshake() {
    sodium_memzero(&keys_, sizeof keys_);
}

bool ClientHandshake::OnHello(const Frame& frame, uint32_t sequence, ChannelCipher* cipher,
                              std::string* request) {
    const bool isHello = frame.kind == FrameKind::kEvent && frame.code == kCodeHello &&
                         ParseHello(frame.payload, &hello_);
    protocol_ = isHello ? ChooseProtocol(hello_) : 0;
    unsigned char cameraKx[crypto_kx_PUBLICKEYBYTES];
    const EphemeralKey own = MakeEphemeralKey();
    if (protocol_ == 0 || !CryptoReady() || !FromHex(hello_.kx, cameraKx, sizeof cameraKx) ||
        !ClientSessionKeys(own, cameraKx, &keys_)) {
        if (isHello && protocol_ == 0)
            LogMessage("%s: %s speaks protocol %d to %d only\n", label_.c_str(), address_.c_str(),
                       hello_.minProtocol, hello_.protocol);
        return false;
    }
    helloText_ = frame.payload;
    // The receiving stream starts from the header of the camera's answer.
    const std::string header = cipher->StartSending(keys_);
    exchangeText_ = PrintKeyExchange({protocol_, ToHex(own.pk.data(), own.pk.size()), header});
    sequence_ = sequence;
    Frame exchange;
    exchange.kind = FrameKind::kRequest;
    exchange.code = kCodeKeyExchange;
    exchange.param = RequestParam(Access::kCommand);
    exchange.sequence = sequence;
    exchange.payload = exchangeText_;
    *request = EncodeFrame(exchange);
    return true;
}

ClientHandshake::Verdict ClientHandshake::OnAnswer(const Frame& frame, ChannelCipher* cipher) {
    KeyExchangeResult result;
    if (frame.kind != FrameKind::kAnswer || frame.sequence != sequence_ ||
        frame.status != kStatusOk || !ParseKeyExchangeResult(frame.payload, &result) ||
        !VerifyTranscript(result.key,
                          HandshakeTranscript(helloText_, exchangeText_, result.serial, result.key),
                          result.signature) ||
        !cipher->StartReceiving(keys_, result.header)) {
        LogMessage("%s: %s failed the key exchange\n", label_.c_str(), address_.c_str());
        return Verdict::kFailed;
    }
    sodium_memzero(&keys_, sizeof keys_);
    // A camera without a serial number is pinned by its address.
    const std::string name = result.serial.empty() ? "address:" + address_ : result.serial;
    if (KnownCameras::Shared().Check(name, result.key) == KnownCameras::Verdict::kChanged) {
        LogMessage("%s: camera %s at %s shows another key than the one pinned\n", label_.c_str(),
                   result.serial.c_str(), address_.c_str());
        return Verdict::kKeyChanged;
    }
    return Verdict::kOk;
}

}  // namespace camfleet::sdk
