#pragma once
// Lab firmware images: the container simulated cameras accept as firmware. It names the
// camera models it is meant for and a version, and carries a payload and a SHA-256 digest,
// so a camera can tell a whole image for its own model from a damaged or foreign one. The
// layout (docs/firmware-image.md), every integer big-endian:
//
//   offset      size  field
//   0           8     magic "CFLABFW1"
//   8           1     M: length of the model pattern, 1 to 127
//   9           M     model pattern, printable ASCII; '*' stands for any run of characters,
//                     every other character for itself (case counts)
//   9+M         1     V: length of the version, 1 to 127
//   10+M        V     version, printable ASCII
//   10+M+V      8     P: payload length in bytes
//   18+M+V      P     payload
//   18+M+V+P    32    SHA-256 of every byte before it (header and payload)
//
// Both sides stream: the writer never holds more than the chunk it is given, and the checker
// takes the image chunk by chunk as a camera receives a transfer, keeping only the header.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace camfleet::sim {

inline constexpr char kFirmwareMagic[] = "CFLABFW1";  // 8 bytes, no terminating zero stored
inline constexpr std::size_t kFirmwareMagicSize = 8;
inline constexpr std::size_t kMaxFirmwareText = 127;
inline constexpr std::size_t kFirmwareDigestSize = 32;
// The largest payload a simulated camera takes unless told otherwise: 1 GiB.
inline constexpr uint64_t kMaxFirmwarePayload = uint64_t{1} << 30;

struct FirmwareImageHeader {
    std::string modelPattern;
    std::string version;
    uint64_t payloadSize = 0;
};

// True when the pattern and the version are 1 to kMaxFirmwareText printable ASCII characters.
bool IsValidFirmwareHeader(const FirmwareImageHeader& header);

// True when `model` as a whole matches `pattern` ('*' any run of characters, the rest
// literal). Characters of the model are never wildcards.
bool FirmwareModelMatches(std::string_view pattern, std::string_view model);

// Streams one image to a sink: Begin with the header, the payload in chunks of any size,
// then Finish, which appends the digest. The sink returns false when it could not take the
// bytes; every later call then fails.
class FirmwareImageWriter {
public:
    using Sink = std::function<bool(std::span<const uint8_t> bytes)>;
    explicit FirmwareImageWriter(Sink sink);
    ~FirmwareImageWriter();

    // False for an invalid header (IsValidFirmwareHeader) or a failing sink.
    bool Begin(const FirmwareImageHeader& header);
    // False when the chunk goes beyond the declared payload length or the sink fails.
    bool Write(std::span<const uint8_t> chunk);
    // False unless exactly the declared payload length was written.
    bool Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

enum class FirmwareImageFault {
    kNone,            // a whole, intact image for this camera
    kBadMagic,        // the image does not begin with kFirmwareMagic
    kBadHeader,       // a text length out of range or a text not printable ASCII
    kTruncated,       // the feed ended before the image's last byte
    kWrongLength,     // bytes beyond the image's end, or a payload above the camera's limit
    kDigestMismatch,  // the bytes are not those the image was written with
    kModelMismatch,   // the model pattern does not match the camera's model
};

// A short English name of the fault ("digest mismatch"), for logs and test output.
std::string_view FirmwareImageFaultName(FirmwareImageFault fault);

struct FirmwareImageVerdict {
    FirmwareImageFault fault = FirmwareImageFault::kNone;
    // From the header, once it was read whole (also when a later fault is found).
    std::string modelPattern;
    std::string version;
    uint64_t payloadSize = 0;
};

// Checks an image as it arrives, for a camera whose model is `cameraModel`. Keeps the header
// and one running digest of everything fed (the image's digest is taken from it where the
// payload ends), never the payload, so a declared length costs nothing until its
// bytes arrive.
class FirmwareImageChecker {
public:
    explicit FirmwareImageChecker(std::string cameraModel,
                                  uint64_t maxPayload = kMaxFirmwarePayload);
    ~FirmwareImageChecker();

    // Takes the next chunk. False once a fault is known (a camera may stop the transfer
    // then); later chunks are ignored.
    bool Feed(std::span<const uint8_t> chunk);
    // The verdict after the last chunk. A feed that stopped early is kTruncated.
    FirmwareImageVerdict Finish() const;
    // SHA-256 (hex) of every byte fed, the ignored ones after a fault too: what a camera
    // records of the file it took, without a second pass over it.
    std::string FedDigestHex() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The payload filler of lab images: `out` receives the bytes at `offset` onwards of an
// endless deterministic sequence, so any chunking yields the same payload.
void FirmwareFiller(uint64_t offset, std::span<uint8_t> out);

// Writes a lab image with `header.payloadSize` filler bytes to the file at `path`, in
// chunks, beside it and renamed over it at the end: a failure leaves whatever file was
// there before and describes itself in `error`.
bool WriteLabFirmwareFile(const std::string& path, const FirmwareImageHeader& header,
                          std::string* error);

}  // namespace camfleet::sim
