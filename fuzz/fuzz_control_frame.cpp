// Camera-control frame parser: any byte stream, fed in pieces of any size, yields frames that
// encode back to the same bytes, or stops the parser; never more than one frame is buffered.
// Payloads also go through the session-document readers the SDK applies to them.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "device/sdk/control_frame.h"
#include "device/sdk/control_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using camfleet::sdk::Frame;
    using camfleet::sdk::FrameParser;
    if (size == 0)
        return 0;
    const std::size_t piece = data[0] % 64 + 1;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const std::size_t length = size - 1;
    FrameParser parser;
    Frame frame;
    std::string reassembled;
    for (std::size_t at = 0; at < length; at += piece) {
        parser.Feed(bytes + at, std::min(piece, length - at));
        FrameParser::Result result;
        while ((result = parser.Next(&frame)) == FrameParser::Result::kFrame) {
            if (frame.payload.size() > camfleet::sdk::kMaxPayload)
                std::abort();
            reassembled += camfleet::sdk::EncodeFrame(frame);
            camfleet::sdk::Hello hello;
            camfleet::sdk::ParseHello(frame.payload, &hello);
            camfleet::sdk::ReadAttributes(frame.payload);
            camfleet::sdk::ParseLoginResult(frame.payload, 10);
        }
        if (result == FrameParser::Result::kBroken)
            break;
    }
    // Every frame taken re-encodes to exactly the bytes it came from.
    if (reassembled != std::string(bytes, reassembled.size()))
        std::abort();
    return 0;
}
