// The control server's defences (sim/control_limits.h): the login throttle, the deadline and
// the caps of connections that have not logged in, the cap on unread bytes and the pause of
// accepting when descriptors run out.

#include <algorithm>
#include <vector>

#include "device/sdk/control_protocol.h"
#include "resources/log.h"
#include "sim/control_server.h"
#include "sim/control_server_state.h"

namespace camfleet::sim {

using std::chrono::milliseconds;

// ---- LoginThrottle --------------------------------------------------------------------------

bool LoginThrottle::MayCheck(const std::string& source, Clock::time_point now) {
    Forget(now);
    const auto it = sources_.find(source);
    return it == sources_.end() || (!LockedOut(source, now) && now >= it->second.notBefore);
}

bool LoginThrottle::LockedOut(const std::string& source, Clock::time_point now) const {
    const auto it = sources_.find(source);
    return it != sources_.end() && it->second.failures >= limits_.lockoutFailures &&
           now < it->second.lockedUntil;
}

milliseconds LoginThrottle::Refused(const std::string& source, bool counted,
                                    Clock::time_point now) {
    if (!counted) {
        const auto it = sources_.find(source);
        return it == sources_.end() ? limits_.loginDelayFirst : DelayFor(it->second.failures);
    }
    if (sources_.size() >= kMaxTrackedSources && sources_.count(source) == 0) {
        const auto oldest =
            std::min_element(sources_.begin(), sources_.end(), [](const auto& a, const auto& b) {
                return a.second.lastFailure < b.second.lastFailure;
            });
        sources_.erase(oldest);
    }
    Record& record = sources_[source];
    ++record.failures;
    record.lastFailure = now;
    const milliseconds delay = DelayFor(record.failures);
    record.notBefore = now + delay;
    if (record.failures >= limits_.lockoutFailures)
        record.lockedUntil = now + limits_.lockoutWindow;
    return delay;
}

milliseconds LoginThrottle::DelayFor(int failures) const {
    milliseconds delay = limits_.loginDelayFirst;
    for (int i = 1; i < failures && delay < limits_.loginDelayMax; ++i)
        delay *= 2;
    return std::min(delay, limits_.loginDelayMax);
}

// An address is forgotten once its lockout (or, short of one, a lockout window after its last
// failure) has passed: the right password then works again, and the next wrong one starts
// the delays from the beginning.
void LoginThrottle::Forget(Clock::time_point now) {
    for (auto it = sources_.begin(); it != sources_.end();) {
        const Record& r = it->second;
        const bool over = r.failures >= limits_.lockoutFailures
                              ? now >= r.lockedUntil
                              : now - r.lastFailure >= limits_.lockoutWindow;
        it = over ? sources_.erase(it) : std::next(it);
    }
}

// ---- ControlServer --------------------------------------------------------------------------

void ControlServer::SetLimits(const ControlLimits& limits) {
    std::lock_guard lock(mutex_);
    limits_ = limits;
    throttle_.SetLimits(limits);
}

int ControlServer::UnauthenticatedCount(int id) const {
    std::lock_guard lock(mutex_);
    int count = 0;
    for (const auto& [key, c] : connections_)
        count += c.camera == id && c.Unauthenticated() && !c.dead ? 1 : 0;
    return count;
}

std::size_t ControlServer::LargestQueue() const {
    std::lock_guard lock(mutex_);
    return largestQueue_;
}

int ControlServer::AcceptPauses() const {
    std::lock_guard lock(mutex_);
    return acceptPauses_;
}

int32_t ControlServer::LoginVerdict(const Connection& c, const std::string& payload,
                                    Clock::time_point now, milliseconds* delay) {
    Camera& camera = *cameras_[c.camera];
    *delay = milliseconds(0);
    if (camera.refuse)
        return sdk::kStatusRefused;  // a test control, not a wrong password
    // Every simulated camera keeps its own account of wrong logins, as separate devices do.
    const std::string source = c.source + '/' + std::to_string(c.camera);
    if (!throttle_.MayCheck(source, now)) {
        *delay = throttle_.Refused(source, false, now);
        return sdk::kStatusRefused;
    }
    int32_t status = camera.logic.CheckLogin(payload, c.nonce);
    if (status == sdk::kStatusRefused) {
        *delay = throttle_.Refused(source, true, now);
        if (throttle_.LockedOut(source, now))
            LogMessage("camera %s: logins from %s locked out\n",
                       camera.logic.identity().ipAddress.c_str(), c.source.c_str());
        return status;
    }
    if (status == sdk::kStatusOk) {
        throttle_.Succeeded(source);
        if (CountSessions(c.camera) >= kMaxSessionsPerCamera)
            status = sdk::kStatusBusy;
    }
    return status;
}

// A new connection of camera `id` is about to be added: the oldest connection that has not
// logged in makes way when the camera's or the server's cap is reached.
void ControlServer::MakeRoomFor(int id) {
    int mine = 0, all = 0;
    for (const auto& [key, c] : connections_) {
        if (!c.Unauthenticated() || c.dead)
            continue;
        ++all;
        mine += c.camera == id ? 1 : 0;
    }
    // A server hosting many cameras lets each of them take two logins at once (a list's
    // login storm reaches every camera together), whatever the fixed cap.
    const int total =
        std::max(limits_.maxUnauthenticatedTotal, 2 * static_cast<int>(cameras_.size()));
    if (mine >= limits_.maxUnauthenticatedPerCamera)
        ShedOldestUnauthenticated(id, mine - limits_.maxUnauthenticatedPerCamera + 1);
    else if (all >= total)
        ShedOldestUnauthenticated(-1, all - total + 1);
}

// Closes at once (the descriptors are free on return) the `count` oldest connections that
// have not logged in; a held-back refusal is not waited for.
int ControlServer::ShedOldestUnauthenticated(int id, int count) {
    std::vector<Connection*> candidates;
    for (auto& [key, c] : connections_)
        if (c.Unauthenticated() && !c.dead && (id < 0 || c.camera == id))
            candidates.push_back(&c);
    std::sort(candidates.begin(), candidates.end(),
              [](const Connection* a, const Connection* b) { return a->key < b->key; });
    const int shed = std::min<int>(count, static_cast<int>(candidates.size()));
    for (int i = 0; i < shed; ++i) {
        sdk::CloseSocket(candidates[i]->fd);
        candidates[i]->fd = -1;
        candidates[i]->dead = true;
    }
    return shed;
}

// accept failed for want of descriptors. The pending connection stays in the backlog and
// keeps the listener readable, so polling it again at once would spin: every listener rests
// for a moment while the oldest unauthenticated connections make room.
void ControlServer::OnDescriptorsExhausted(Clock::time_point now) {
    if (AcceptPaused(now))
        return;
    acceptPausedUntil_ = now + limits_.acceptPause;
    ++acceptPauses_;
    const int shed = ShedOldestUnauthenticated(-1, limits_.shedOnExhaustion);
    LogMessage("control server: out of descriptors, accepting paused, %d connections shed\n", shed);
}

void ControlServer::CloseOverdueLogins(Clock::time_point now) {
    for (auto& [key, c] : connections_)
        if (c.Unauthenticated() && !c.verdictPending && now - c.acceptedAt >= limits_.loginDeadline)
            c.dead = true;
}

bool ControlServer::OverQueued(Connection& c) {
    if (c.bulk)
        return false;  // the window bounds what a bulk connection queues
    // Plain frames not yet sealed and sealed bytes not yet sent.
    const std::size_t queued = c.out.size() + c.wire.size();
    largestQueue_ = std::max(largestQueue_, queued);
    if (queued <= limits_.maxQueuedBytes)
        return false;
    LogMessage("camera %s: %s does not read its answers, closed\n",
               cameras_[c.camera]->logic.identity().ipAddress.c_str(), c.source.c_str());
    c.dead = true;
    return true;
}

}  // namespace camfleet::sim
