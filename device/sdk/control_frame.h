#pragma once
// Framing of the camera-control protocol (docs/camera-protocol.md): a 24-byte big-endian
// header followed by the payload. Used by the SDK and by the simulated cameras.
//
// Pure functions and a per-connection parser; no sockets. FrameParser is not thread-safe:
// one parser belongs to one connection and is used by the thread that reads it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace camfleet::sdk {

inline constexpr uint32_t kFrameMagic = 0x51564350u;  // "QVCP"
inline constexpr uint8_t kFrameVersion = 1;
inline constexpr std::size_t kFrameHeaderSize = 24;
inline constexpr uint32_t kMaxPayload = 262144;  // bytes
inline constexpr uint32_t kCodeMask = 0x00FFFFFFu;

enum class FrameKind : uint8_t { kRequest = 1, kAnswer = 2, kEvent = 3, kData = 4 };

// What a request may do, carried in the high byte of its `param`; the low byte is the
// channel. A camera refuses a request whose access does not fit its code, so a read can
// never change anything and a document write can never run a command.
enum class Access : uint8_t {
    kNone = 0,     // never valid in a request
    kRead = 1,     // GetDVRConfig: returns a document, changes nothing
    kWrite = 2,    // SetDVRConfig: replaces or changes a document
    kCommand = 3,  // session commands and system control: may act (reboot, restore, ...)
};
inline constexpr uint16_t RequestParam(Access access, uint8_t channel = 0) {
    return static_cast<uint16_t>((static_cast<unsigned>(access) << 8) | channel);
}
inline constexpr Access AccessOf(uint16_t param) {
    return static_cast<Access>(param >> 8);
}
inline constexpr uint8_t ChannelOf(uint16_t param) {
    return static_cast<uint8_t>(param & 0xFF);
}

struct Frame {
    FrameKind kind = FrameKind::kRequest;
    uint16_t param = 0;     // requests: access and channel (RequestParam); data: bit 0 = last chunk
    uint32_t code = 0;      // command code or event type, 0 .. kCodeMask
    uint32_t sequence = 0;  // requests and their answers; 0 for events
    int32_t status = 0;     // answers only
    std::string payload;    // at most kMaxPayload bytes
};

// Header and payload as bytes. A code above kCodeMask or a payload above kMaxPayload is a
// caller's mistake: the result is empty.
std::string EncodeFrame(const Frame& frame);
// Appends the header of a frame whose `length` payload bytes the caller appends next (bulk
// chunks are read from a file straight behind their header). The caller keeps the limits.
void AppendFrameHeader(std::string* out, FrameKind kind, uint16_t param, uint32_t code,
                       uint32_t sequence, int32_t status, uint32_t length);

// Splits a byte stream into frames. Feed whatever arrived, then take frames until Next
// returns kNeedMore. After kBroken the parser stays broken: the connection must be closed.
class FrameParser {
public:
    enum class Result { kFrame, kNeedMore, kBroken };

    void Feed(const char* data, std::size_t size);
    // The same for a caller that appends the bytes itself: the buffer to append to (the
    // channel opens records straight into it, which saves copying every byte once more).
    std::string* FeedBuffer();
    // kFrame: `frame` holds the next frame. kBroken: bad magic, version or kind, code bits
    // above 24, or a length above kMaxPayload (`error` names it).
    Result Next(Frame* frame);
    // True when bytes of an unfinished frame wait (a close now truncates a frame).
    bool HasPartialFrame() const { return buffer_.size() > consumed_; }
    // The bytes after the last frame taken, removed from the parser (the encrypted stream
    // that follows the handshake frames).
    std::string TakeRest();
    const char* error() const { return error_; }

private:
    std::string buffer_;
    std::size_t consumed_ = 0;
    const char* error_ = nullptr;
};

}  // namespace camfleet::sdk
