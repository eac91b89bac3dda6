#pragma once
// One file transfer over the bulk-data channel (docs/camera-protocol.md, "Bulk-data
// channel"): the token asked for on the control session, a connection of its own with the
// same set-up as a session (hello, key exchange, the camera's key checked against the pins),
// the attach, then the file in acknowledged chunks with the whole-file SHA-256 checked by the
// receiver.
//
// Each transfer runs on a thread of its own with one socket, polled together with a wake pipe
// for cancellation. Sealing, opening and hashing megabytes take milliseconds per chunk; done
// on the engine's I/O thread they would delay the answers and keep-alives of every other
// session. A transfer is a straight sequence (connect, set up, stream, verdict), which a
// thread of its own keeps readable, and the camera's cap keeps such threads few.
//
// Threads: the constructor, Start, Cancel, Finished and Join run on any thread (Join never on
// the transfer's own thread). The callbacks run on the transfer's thread; they must return
// soon and must not join the transfer (Cancel is fine).

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "device/sdk/bulk_protocol.h"
#include "device/sdk/sdk_timing.h"
#include "device/sdk/socket_util.h"

namespace camfleet::sdk {

enum class BulkStatus {
    kOk,             // the receiver accepted the whole file
    kCameraRefused,  // the camera answered the open, the attach or the file with a status
    kUnreachable,    // the bulk connection could not be made
    kSetupFailed,    // no or a broken hello, a failed key exchange or signature
    kKeyChanged,     // the camera showed another key than the pinned one
    kLost,           // the connection closed or broke before the verdict
    kStalled,        // nothing moved for the stall time
    kCorrupt,        // a download did not match the size or digest announced
    kLocalFile,      // the local file could not be read or written
    kCancelled,      // Cancel
    kSessionClosed,  // the control session was logged out or lost
};
const char* BulkStatusName(BulkStatus status);

struct BulkResult {
    BulkStatus status = BulkStatus::kOk;
    int32_t cameraStatus = 0;  // kCameraRefused: the camera's status
    uint64_t bytes = 0;        // moved and acknowledged
    std::string digest;        // downloads: SHA-256 of the file, hex
    bool attached = false;     // the bulk connection was attached: the camera saw the transfer
    // Most bytes of the file the sender held in its own buffers at once, and most bytes it
    // had read from the file that the receiver had not acknowledged: the first stays within
    // one chunk and its records, the second within the window.
    std::size_t peakHeld = 0;
    uint64_t peakUnacknowledged = 0;
};

struct BulkRequest {
    BulkPurpose purpose = BulkPurpose::kFile;
    std::string name;  // the camera-side name
    std::string path;  // uploads: the file sent; downloads: where the file goes
};

struct BulkCallbacks {
    std::function<void(uint64_t done, uint64_t total)> progress;  // monotonic
    std::function<void(const BulkResult& result)> finished;       // exactly once
};

// Asks the control session for a token: the open-bulk request's text in, the answer's status
// and text out. Called on the transfer's thread; blocks until the answer.
using BulkOpener = std::function<int32_t(const std::string& request, std::string* answer)>;

class BulkTransfer {
public:
    BulkTransfer(BulkDirection direction, BulkRequest request, BulkCallbacks callbacks,
                 std::string ip, uint16_t port, const SdkTiming& timing, BulkOpener opener);
    ~BulkTransfer();  // Cancel and Join
    BulkTransfer(const BulkTransfer&) = delete;
    BulkTransfer& operator=(const BulkTransfer&) = delete;

    void Start();
    // Ends the transfer soon with `why` (unless it already has a verdict); any thread.
    void Cancel(BulkStatus why);
    // The verdict is known (its callback may still run); a cancel no longer changes it.
    bool HasVerdict() const { return decided_; }
    // The thread is done, callback included: it may be joined from any thread but its own.
    bool Finished() const { return finished_; }
    void Join();

private:
    class Link;
    void Run();
    BulkResult Upload();
    BulkResult Download();
    // The token, the connection and the attach; kOk leaves `link` ready for data.
    BulkResult Open(const BulkOpen& open, Link* link, BulkGrant* grant);
    void Progress(uint64_t done, uint64_t total);
    BulkStatus Cancelled() const;  // why Cancel was called

    const BulkDirection direction_;
    const BulkRequest request_;
    const BulkCallbacks callbacks_;
    const std::string ip_;
    const uint16_t port_;
    const SdkTiming timing_;
    const BulkOpener opener_;
    WakePipe wake_;
    std::atomic<int> cancel_{-1};  // a BulkStatus once cancelled
    std::atomic<bool> decided_{false};
    std::atomic<bool> finished_{false};
    bool attached_ = false;  // transfer thread: the attach was answered with status 0
    uint64_t reported_ = 0;  // transfer thread: the last progress reported
    bool reportedAny_ = false;
    std::thread thread_;
};

}  // namespace camfleet::sdk
