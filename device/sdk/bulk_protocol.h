#pragma once
// Messages and numbers of the bulk-data channel (docs/camera-protocol.md, "Bulk-data
// channel"): the open-bulk request and its answer, the attach request, the data-frame codes,
// the end-of-transfer record and the streaming SHA-256 both ends check a file with. Shared by
// the SDK and the simulated cameras. Pure functions, callable from any thread; a Sha256 object
// belongs to one thread at a time.

#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "device/sdk/control_frame.h"

namespace camfleet::sdk {

// Payload bytes of every data frame but the last of a transfer (which holds 0 .. this many).
inline constexpr std::size_t kBulkChunk = kMaxPayload;
// Chunks a sender may have sent that the receiver has not acknowledged yet: 2 MiB in flight
// keeps loopback and LAN pipes full while bounding what either end buffers.
inline constexpr uint32_t kBulkWindowChunks = 8;
// A bulk connection on which nothing moved for this long is closed (both ends).
inline constexpr int kBulkStallMs = 10000;
// A token must be attached within this time of its answer.
inline constexpr int kBulkTokenMs = 10000;

// Data-frame codes (frame kind 4).
enum BulkDataCode : uint32_t {
    kBulkUpload = 1,    // a chunk of a file, client to camera
    kBulkDownload = 2,  // a chunk of a file, camera to client
    kBulkAudioOut = 3,  // an encoded audio frame to the camera
    kBulkAudioIn = 4,   // an encoded audio frame from the camera
    kBulkAck = 5,       // receiver to sender: `sequence` chunks taken so far
    kBulkEnd = 6,       // receiver to sender: the verdict on the whole file (BulkEnd)
    // 7 was the digest frame of protocol 3: the channel's numbered records carry the file's
    // integrity since, and a receiver closes on it as on any unknown code.
};
inline constexpr uint16_t kBulkLastChunk = 1;  // `param` bit of the last chunk

enum class BulkDirection { kUpload, kDownload, kTalk };
enum class BulkPurpose { kFirmware, kConfig, kOemApp, kFile, kAudio };

const char* DirectionName(BulkDirection direction);
const char* PurposeName(BulkPurpose purpose);

// The open-bulk request (kCodeOpenBulk) as the client sends it.
struct BulkOpen {
    BulkDirection direction = BulkDirection::kUpload;
    BulkPurpose purpose = BulkPurpose::kFile;
    std::string name;   // the camera-side name
    uint64_t size = 0;  // uploads: the file's bytes
    int format = 0;     // talk: the audio format code
};
std::string PrintBulkOpen(const BulkOpen& open);
// false for a text that is not a well-formed request (unknown direction or purpose, a purpose
// that does not go in that direction, a bad name or size).
bool ParseBulkOpen(std::string_view text, BulkOpen* open);

// The camera's answer: the token and, for downloads, what will come.
struct BulkGrant {
    std::string token;  // 32 lower-case hex digits
    uint64_t size = 0;
    std::string digest;
};
std::string PrintBulkGrant(const BulkGrant& grant);
bool ParseBulkGrant(std::string_view text, BulkGrant* grant);

std::string PrintAttach(std::string_view token);
std::string ParseAttach(std::string_view text);  // the token, "" when malformed

// The verdict of the receiver: status 0 (the file is accepted) or the reason it is not.
std::string PrintBulkEnd(int32_t status, uint64_t size);
bool ParseBulkEnd(std::string_view text, int32_t* status);

// The camera's firmware-upgrade events: 55 carries <Upgrade Progress="p" /> (the write, 0 to
// 100), 14 carries <Upgrade Version="V" /> (the version it restarts with).
std::string PrintUpgradeProgress(int percent);
// The percentage of an event-55 text; false for a text that is not one (or out of 0..100).
bool ParseUpgradeProgress(std::string_view text, int* percent);

// A file name on the camera: 1 to 128 bytes of printable ASCII without '/', '\\', quotes,
// '&', '<' or '>' (so it travels in an attribute as it stands), and not "." or "..".
bool ValidBulkName(std::string_view name);

// Chunks of a file of `size` bytes (an empty file is one empty last chunk).
uint64_t ChunkCount(uint64_t size);

// SHA-256 over bytes fed piecewise; Hex ends it. OpenSSL's digest uses the processor's SHA
// instructions where there are some: both ends hash every byte of a transfer, and the
// portable code would take longer than the channel's encryption.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    void Update(const void* data, std::size_t size);
    // Takes over `other`'s state, so one pass can yield the digest of a prefix and go on.
    void Assign(const Sha256& other);
    // Ends the hash: the 32 bytes of the digest, or their hexadecimal text.
    void Final(uint8_t out[32]);
    std::string Hex();

private:
    EVP_MD_CTX* context_;
};

}  // namespace camfleet::sdk
