#pragma once
// What a simulated camera puts up with from the network (docs/camera-protocol.md, "Limits"):
// wrong logins slow down per source address and lock it out for a while, connections that
// have not logged in are few and short-lived, a peer that does not read its answers is
// dropped, and running out of descriptors pauses accepting instead of spinning.
//
// LoginThrottle takes the time from its caller, so tests drive it with made-up time points.
// Not thread-safe: the control server calls it with its mutex held.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace camfleet::sim {

// The answer to the first wrong login from an address waits this long; each further failure
// doubles it, up to kLoginDelayMax (below the client's 5 s handshake limit, so a refusal
// still arrives as a refusal).
inline constexpr std::chrono::milliseconds kLoginDelayFirst{500};
inline constexpr std::chrono::milliseconds kLoginDelayMax{4000};
// After this many wrong logins in a row the address is locked out: for kLockoutWindow every
// login from it is refused without looking at the password.
inline constexpr int kLockoutFailures = 10;
inline constexpr std::chrono::milliseconds kLockoutWindow{60000};
// Addresses remembered at once; the one whose last failure is oldest is forgotten first.
inline constexpr std::size_t kMaxTrackedSources = 4096;
// A connection must have logged in (or attached as a bulk connection) this long after its
// accept, however many bytes trickle in; a login whose answer the throttle holds back waits
// for that answer instead.
inline constexpr std::chrono::milliseconds kLoginDeadline{10000};
// Connections that have not logged in: at most this many per camera and over all cameras of
// a server (at least two per camera it hosts). A new connection above either cap sheds the
// oldest such connection.
inline constexpr int kMaxUnauthenticatedPerCamera = 16;
inline constexpr int kMaxUnauthenticatedTotal = 256;
// Answer and event bytes a session may leave unread; above it the session is closed. Four
// frames of the largest payload fit.
inline constexpr std::size_t kMaxQueuedBytes = 1048576;
// When accept fails for want of descriptors (EMFILE, ENFILE): listeners rest this long and
// up to kShedOnExhaustion of the oldest connections that have not logged in are closed.
inline constexpr std::chrono::milliseconds kAcceptPause{200};
inline constexpr int kShedOnExhaustion = 8;

// Bulk-data connections: tokens attached or not, per session and per camera (an open above
// either is answered busy); the largest upload a camera takes; how long a token waits for its
// attach; how long a bulk connection may go without receiving anything.
inline constexpr int kMaxBulkPerSession = 2;
inline constexpr int kMaxBulkPerCamera = 4;
inline constexpr uint64_t kMaxBulkSize = 134217728;  // 128 MiB
inline constexpr std::chrono::milliseconds kBulkTokenLife{10000};
inline constexpr std::chrono::milliseconds kBulkStall{10000};

// The limits in force; tests shorten them (ControlServer::SetLimits).
struct ControlLimits {
    std::chrono::milliseconds loginDelayFirst = kLoginDelayFirst;
    std::chrono::milliseconds loginDelayMax = kLoginDelayMax;
    int lockoutFailures = kLockoutFailures;
    std::chrono::milliseconds lockoutWindow = kLockoutWindow;
    std::chrono::milliseconds loginDeadline = kLoginDeadline;
    int maxUnauthenticatedPerCamera = kMaxUnauthenticatedPerCamera;
    int maxUnauthenticatedTotal = kMaxUnauthenticatedTotal;
    std::size_t maxQueuedBytes = kMaxQueuedBytes;
    std::chrono::milliseconds acceptPause = kAcceptPause;
    int shedOnExhaustion = kShedOnExhaustion;
    int maxBulkPerSession = kMaxBulkPerSession;
    int maxBulkPerCamera = kMaxBulkPerCamera;
    uint64_t maxBulkSize = kMaxBulkSize;
    std::chrono::milliseconds bulkTokenLife = kBulkTokenLife;
    std::chrono::milliseconds bulkStall = kBulkStall;
};

// Wrong logins per source address.
class LoginThrottle {
public:
    using Clock = std::chrono::steady_clock;

    explicit LoginThrottle(const ControlLimits& limits) : limits_(limits) {}
    void SetLimits(const ControlLimits& limits) { limits_ = limits; }

    // True when a login from `source` may be checked now. False while its previous failure's
    // delay runs or while it is locked out: the login is refused unchecked.
    bool MayCheck(const std::string& source, Clock::time_point now);
    // A login from `source` was refused (checked or not); returns how long its answer waits.
    // Only a checked login (`counted`) adds a failure.
    std::chrono::milliseconds Refused(const std::string& source, bool counted,
                                      Clock::time_point now);
    // The right password: the address starts afresh.
    void Succeeded(const std::string& source) { sources_.erase(source); }
    bool LockedOut(const std::string& source, Clock::time_point now) const;

private:
    struct Record {
        int failures = 0;
        Clock::time_point notBefore{};    // no check before this
        Clock::time_point lockedUntil{};  // set with the lockout
        Clock::time_point lastFailure{};
    };
    std::chrono::milliseconds DelayFor(int failures) const;
    void Forget(Clock::time_point now);

    ControlLimits limits_;
    std::map<std::string, Record> sources_;
};

}  // namespace camfleet::sim
