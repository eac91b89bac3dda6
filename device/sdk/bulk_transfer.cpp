#include "device/sdk/bulk_transfer.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>

#include "device/sdk/client_handshake.h"
#include "device/sdk/control_frame.h"
#include "device/sdk/control_protocol.h"
#include "resources/log.h"

namespace camfleet::sdk {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

BulkResult Failed(BulkStatus status, int32_t cameraStatus = 0) {
    BulkResult result;
    result.status = status;
    result.cameraStatus = cameraStatus;
    return result;
}

int MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1000000));
}

}  // namespace

const char* BulkStatusName(BulkStatus status) {
    switch (status) {
        case BulkStatus::kOk:
            return "ok";
        case BulkStatus::kCameraRefused:
            return "refused by the camera";
        case BulkStatus::kUnreachable:
            return "camera unreachable";
        case BulkStatus::kSetupFailed:
            return "connection set-up failed";
        case BulkStatus::kKeyChanged:
            return "camera key changed";
        case BulkStatus::kLost:
            return "connection lost";
        case BulkStatus::kStalled:
            return "stalled";
        case BulkStatus::kCorrupt:
            return "file does not match its digest";
        case BulkStatus::kLocalFile:
            return "local file error";
        case BulkStatus::kCancelled:
            return "cancelled";
        case BulkStatus::kSessionClosed:
            return "control session closed";
    }
    return "?";
}

// The transfer's connection: a non-blocking socket waited on together with the transfer's
// wake pipe, frames read out of the channel's records.
class BulkTransfer::Link {
public:
    enum class Got { kFrame, kClosed, kStalled, kCancelled };

    explicit Link(BulkTransfer* owner) : owner_(owner) {}
    ~Link() { CloseSocket(fd_); }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    int fd() const { return fd_; }
    ChannelCipher& cipher() { return cipher_; }
    void Moved() { lastMove_ = Clock::now(); }
    // How long the stall limit still allows waiting.
    int StallLeftMs() const {
        return MsLeft(lastMove_ + milliseconds(owner_->timing_.bulkStallMs));
    }

    bool Connect() {
        fd_ = StartConnect(owner_->ip_, owner_->port_);
        if (fd_ < 0)
            return false;
        const int revents = Wait(POLLOUT, owner_->timing_.connectTimeoutMs);
        Moved();
        return revents > 0 && ConnectResult(fd_) == 0;
    }

    // The socket's revents; 0 when `timeoutMs` passed, -1 when the transfer was cancelled.
    int Wait(short events, int timeoutMs) {
        pollfd fds[2] = {{fd_, events, 0}, {owner_->wake_.readFd(), POLLIN, 0}};
        const int ready = poll(fds, 2, timeoutMs);
        if (owner_->cancel_.load() >= 0)
            return -1;
        return ready > 0 ? fds[0].revents : 0;
    }

    // Reads what arrived into the parser. false when the peer closed or a record failed; the
    // frames before that stay readable.
    bool Receive() {
        const std::size_t before = in_.size();
        const int got = ReceiveSome(fd_, &in_);
        if (in_.size() != before) {
            Moved();
            if (!Absorb())
                return false;
        }
        return got >= 0;
    }

    // The next frame, waiting at most for the stall limit (`limitMs` during set-up).
    Got Next(Frame* frame, int limitMs = -1) {
        for (;;) {
            const FrameParser::Result result = parser_.Next(frame);
            if (result == FrameParser::Result::kFrame)
                return Got::kFrame;
            if (result == FrameParser::Result::kBroken || broken_)
                return Got::kClosed;
            const int left = limitMs >= 0 ? limitMs : StallLeftMs();
            if (left <= 0)
                return Got::kStalled;
            const int revents = Wait(POLLIN, left);
            if (revents < 0)
                return Got::kCancelled;
            if (revents > 0 && !Receive())
                broken_ = true;  // frames that came before the close still count
        }
    }

    // Sends `bytes` (sealed once the channel runs) within the stall limit; false when the
    // connection failed, stalled or the transfer was cancelled.
    bool Send(std::string_view bytes) {
        std::string wire;
        if (cipher_.sending() && keyed_)
            cipher_.Seal(bytes, &wire);
        else
            wire.assign(bytes);
        std::size_t sent = 0;
        while (sent < wire.size()) {
            const ssize_t n = send(fd_, wire.data() + sent, wire.size() - sent, MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                Moved();
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                return false;
            const int left = StallLeftMs();
            if (left <= 0 || Wait(POLLOUT, left) <= 0)
                return false;
        }
        return true;
    }

    // Hello, key exchange and the camera's key; the channel runs on kOk.
    BulkStatus SetUp() {
        const int limit = owner_->timing_.handshakeTimeoutMs;
        const Clock::time_point deadline = Clock::now() + milliseconds(limit);
        ClientHandshake handshake(owner_->ip_, "SDK bulk transfer");
        Frame frame;
        std::string request;
        Got got = Next(&frame, limit);
        if (got == Got::kCancelled)
            return owner_->Cancelled();
        if (got != Got::kFrame || !handshake.OnHello(frame, 1, &cipher_, &request) ||
            !Send(request))
            return BulkStatus::kSetupFailed;
        got = Next(&frame, MsLeft(deadline));
        if (got == Got::kCancelled)
            return owner_->Cancelled();
        if (got != Got::kFrame)
            return BulkStatus::kSetupFailed;
        switch (handshake.OnAnswer(frame, &cipher_)) {
            case ClientHandshake::Verdict::kOk:
                break;
            case ClientHandshake::Verdict::kKeyChanged:
                return BulkStatus::kKeyChanged;
            case ClientHandshake::Verdict::kFailed:
                return BulkStatus::kSetupFailed;
        }
        // What followed the answer in the parser is the camera's first records.
        keyed_ = true;
        in_ = parser_.TakeRest() + in_;
        return Absorb() ? BulkStatus::kOk : BulkStatus::kSetupFailed;
    }

    void SendSealed(std::string_view plain, std::string* wire) { cipher_.Seal(plain, wire); }

private:
    bool Absorb() {
        if (!keyed_) {
            parser_.Feed(in_.data(), in_.size());
            in_.clear();
            return true;
        }
        return cipher_.Open(&in_, parser_.FeedBuffer());
    }

    BulkTransfer* const owner_;
    int fd_ = -1;
    ChannelCipher cipher_;
    FrameParser parser_;
    bool keyed_ = false;
    bool broken_ = false;
    std::string in_;
    Clock::time_point lastMove_ = Clock::now();
};

BulkTransfer::BulkTransfer(BulkDirection direction, BulkRequest request, BulkCallbacks callbacks,
                           std::string ip, uint16_t port, const SdkTiming& timing,
                           BulkOpener opener)
    : direction_(direction),
      request_(std::move(request)),
      callbacks_(std::move(callbacks)),
      ip_(std::move(ip)),
      port_(port),
      timing_(timing),
      opener_(std::move(opener)) {}

BulkTransfer::~BulkTransfer() {
    Cancel(BulkStatus::kCancelled);
    Join();
}

void BulkTransfer::Start() {
    thread_ = std::thread(&BulkTransfer::Run, this);
}

void BulkTransfer::Cancel(BulkStatus why) {
    int none = -1;
    if (cancel_.compare_exchange_strong(none, static_cast<int>(why)))
        wake_.Wake();
}

void BulkTransfer::Join() {
    if (thread_.joinable())
        thread_.join();
}

BulkStatus BulkTransfer::Cancelled() const {
    return static_cast<BulkStatus>(cancel_.load());
}

void BulkTransfer::Run() {
    BulkResult result = direction_ == BulkDirection::kUpload ? Upload() : Download();
    result.attached = attached_;
    if (result.status != BulkStatus::kOk)
        LogMessage("SDK bulk transfer of %s to %s: %s (status %d)\n", request_.name.c_str(),
                   ip_.c_str(), BulkStatusName(result.status), result.cameraStatus);
    decided_ = true;
    if (callbacks_.finished)
        callbacks_.finished(result);
    finished_ = true;
}

void BulkTransfer::Progress(uint64_t done, uint64_t total) {
    if (reportedAny_ && done <= reported_)
        return;
    reportedAny_ = true;
    reported_ = done;
    if (callbacks_.progress)
        callbacks_.progress(done, total);
}

BulkResult BulkTransfer::Open(const BulkOpen& open, Link* link, BulkGrant* grant) {
    std::string answer;
    const int32_t status = opener_(PrintBulkOpen(open), &answer);
    if (cancel_.load() >= 0)
        return Failed(Cancelled());
    if (status == kStatusSessionLost)
        return Failed(BulkStatus::kSessionClosed);
    if (status != kStatusOk)
        return Failed(BulkStatus::kCameraRefused, status);
    if (!ParseBulkGrant(answer, grant))
        return Failed(BulkStatus::kSetupFailed);
    if (!link->Connect())
        return Failed(cancel_.load() >= 0 ? Cancelled() : BulkStatus::kUnreachable);
    const BulkStatus setUp = link->SetUp();
    if (setUp != BulkStatus::kOk)
        return Failed(setUp);
    Frame attach;
    attach.code = kCodeAttachBulk;
    attach.param = RequestParam(Access::kCommand);
    attach.sequence = 2;
    attach.payload = PrintAttach(grant->token);
    Frame frame;
    if (!link->Send(EncodeFrame(attach)))
        return Failed(cancel_.load() >= 0 ? Cancelled() : BulkStatus::kLost);
    const Link::Got got = link->Next(&frame, timing_.handshakeTimeoutMs);
    if (got == Link::Got::kCancelled)
        return Failed(Cancelled());
    if (got != Link::Got::kFrame || frame.kind != FrameKind::kAnswer || frame.sequence != 2)
        return Failed(BulkStatus::kSetupFailed);
    if (frame.status != kStatusOk)
        return Failed(BulkStatus::kCameraRefused, frame.status);
    attached_ = true;
    return {};
}

// The file is read once, chunk by chunk as the window allows. Nothing holds more than one
// chunk. The channel's records are numbered and authenticated, so the camera takes exactly
// the bytes read, in order, or the connection breaks; with the announced size and the mark
// of the last chunk that makes the whole file's check.
BulkResult BulkTransfer::Upload() {
    File file(std::fopen(request_.path.c_str(), "rb"));
    struct stat info {};
    if (!file || fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode))
        return Failed(BulkStatus::kLocalFile);
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    std::string plain;
    plain.reserve(kFrameHeaderSize + kBulkChunk);  // one chunk's frame

    Link link(this);
    BulkGrant grant;
    BulkResult result =
        Open({BulkDirection::kUpload, request_.purpose, request_.name, size, 0}, &link, &grant);
    if (result.status != BulkStatus::kOk)
        return result;
    Progress(0, size);

    const uint64_t chunks = ChunkCount(size);
    uint64_t next = 0;   // chunks sealed
    uint64_t acked = 0;  // chunks the camera took
    std::string wire;
    wire.reserve(kFrameHeaderSize + kBulkChunk + 8 * (kRecordHeaderSize + 17));
    std::size_t sent = 0;
    Frame frame;
    for (;;) {
        if (sent == wire.size() && next < chunks && next - acked < kBulkWindowChunks) {
            const uint64_t offset = next * kBulkChunk;
            const auto n = static_cast<uint32_t>(std::min<uint64_t>(kBulkChunk, size - offset));
            plain.clear();
            AppendFrameHeader(&plain, FrameKind::kData, next + 1 == chunks ? kBulkLastChunk : 0,
                              kBulkUpload, static_cast<uint32_t>(next), 0, n);
            plain.resize(kFrameHeaderSize + n);
            if (std::fread(plain.data() + kFrameHeaderSize, 1, n, file.get()) != n)
                return Failed(BulkStatus::kLocalFile);
            wire.clear();
            sent = 0;
            link.SendSealed(plain, &wire);
            ++next;
            result.peakHeld = std::max(result.peakHeld, plain.capacity() + wire.capacity());
            result.peakUnacknowledged = std::max(
                result.peakUnacknowledged, std::min(next * kBulkChunk, size) - acked * kBulkChunk);
        }
        const int left = link.StallLeftMs();
        if (left <= 0)
            return Failed(BulkStatus::kStalled);
        const int revents = link.Wait(POLLIN | (sent < wire.size() ? POLLOUT : 0), left);
        if (revents < 0)
            return Failed(Cancelled());
        if ((revents & POLLOUT) != 0) {
            const ssize_t n = send(link.fd(), wire.data() + sent, wire.size() - sent,
                                   MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                link.Moved();
            } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                return Failed(BulkStatus::kLost);
            }
        }
        if ((revents & (POLLIN | POLLHUP | POLLERR)) == 0)
            continue;
        const bool open = link.Receive();
        // Acknowledgements and the verdict that are already here count even after a close.
        while (link.Next(&frame, 0) == Link::Got::kFrame) {
            if (frame.kind != FrameKind::kData)
                return Failed(BulkStatus::kLost);
            if (frame.code == kBulkAck && frame.sequence >= acked && frame.sequence <= next) {
                acked = frame.sequence;
                Progress(std::min(acked * kBulkChunk, size), size);
                continue;
            }
            int32_t status = 0;
            if (frame.code != kBulkEnd || !ParseBulkEnd(frame.payload, &status))
                return Failed(BulkStatus::kLost);
            // The verdict acknowledges the last chunk.
            if (status != kStatusOk || frame.sequence != chunks || next != chunks)
                return Failed(BulkStatus::kCameraRefused, status);
            Progress(size, size);
            result.bytes = size;
            return result;
        }
        if (!open)
            return Failed(BulkStatus::kLost);
    }
}

// Chunks go to "<path>.part", renamed to `path` once the size and digest the camera announced
// match; anything else removes the part file.
BulkResult BulkTransfer::Download() {
    Link link(this);
    BulkGrant grant;
    BulkResult result =
        Open({BulkDirection::kDownload, request_.purpose, request_.name, 0, 0}, &link, &grant);
    if (result.status != BulkStatus::kOk)
        return result;
    const std::string part = request_.path + ".part";
    File file(std::fopen(part.c_str(), "wb"));
    if (!file)
        return Failed(BulkStatus::kLocalFile);
    const auto fail = [&](BulkStatus status) {
        file.reset();
        std::remove(part.c_str());
        return Failed(status);
    };
    Progress(0, grant.size);
    Sha256 hash;
    uint64_t received = 0;
    uint32_t chunk = 0;
    Frame frame;
    for (;;) {
        const Link::Got got = link.Next(&frame);
        if (got != Link::Got::kFrame)
            return fail(got == Link::Got::kCancelled ? Cancelled()
                        : got == Link::Got::kStalled ? BulkStatus::kStalled
                                                     : BulkStatus::kLost);
        const bool last = (frame.param & kBulkLastChunk) != 0;
        if (frame.kind != FrameKind::kData || frame.code != kBulkDownload ||
            frame.sequence != chunk || (!last && frame.payload.size() != kBulkChunk) ||
            received + frame.payload.size() > grant.size)
            return fail(BulkStatus::kLost);
        if (std::fwrite(frame.payload.data(), 1, frame.payload.size(), file.get()) !=
            frame.payload.size())
            return fail(BulkStatus::kLocalFile);
        hash.Update(frame.payload.data(), frame.payload.size());
        received += frame.payload.size();
        ++chunk;
        Frame ack;
        ack.kind = FrameKind::kData;
        ack.code = last ? kBulkEnd : kBulkAck;
        ack.sequence = chunk;
        if (!last) {
            if (!link.Send(EncodeFrame(ack)))
                return fail(cancel_.load() >= 0 ? Cancelled() : BulkStatus::kLost);
            Progress(received, grant.size);
            continue;
        }
        result.digest = hash.Hex();
        const bool whole = received == grant.size && result.digest == grant.digest;
        const bool written = std::fflush(file.get()) == 0;
        ack.payload = PrintBulkEnd(whole && written ? kStatusOk : kStatusBadDocument, received);
        link.Send(EncodeFrame(ack));
        if (!whole)
            return fail(BulkStatus::kCorrupt);
        file.reset();
        if (!written || std::rename(part.c_str(), request_.path.c_str()) != 0)
            return fail(BulkStatus::kLocalFile);
        Progress(received, grant.size);
        result.bytes = received;
        return result;
    }
}

}  // namespace camfleet::sdk
