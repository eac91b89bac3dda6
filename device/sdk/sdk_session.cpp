#include "device/sdk/sdk_session.h"

#include <poll.h>

#include <algorithm>
#include <cstring>

#include "device/codes.h"
#include "device/sdk/control_protocol.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "device/sdk/sdk_event_records.h"
#include "device/sdk/socket_util.h"
#include "resources/log.h"

namespace camfleet::sdk {

namespace {

using std::chrono::milliseconds;

// The session's own requests (key exchange, login, keep-alive, logout) are commands.
constexpr uint16_t kCommandParam = RequestParam(Access::kCommand);

// Session events only the SDK itself may raise.
bool RaisedBySdk(uint32_t type) {
    return type == kEventDisconnected || type == kEventConnectFailed || type == kEventLoggedIn ||
           type == kEventAuthFailed || type == kEventLoginFailed || type == kEventOverLimit ||
           type == kEventKeyChanged;
}

}  // namespace

void SyncWaiter::Finish(int32_t status, std::string text) {
    std::lock_guard lock(mutex_);
    if (done_)
        return;
    done_ = true;
    status_ = status;
    text_ = std::move(text);
    cv_.notify_all();
}

bool SyncWaiter::Wait(std::chrono::milliseconds limit, int32_t* status, std::string* text) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, limit, [this] { return done_; }))
        return false;
    *status = status_;
    if (text != nullptr)
        *text = text_;
    return true;
}

Session::Session(int handle, LoginTarget target, bool autoReconnect, const SdkTiming& timing,
                 SessionSink* sink, Clock::time_point now)
    : handle_(handle),
      target_(std::move(target)),
      timing_(timing),
      sink_(sink),
      autoReconnect_(autoReconnect),
      retryAt_(now),
      retryDelay_(milliseconds(timing.reconnectFirstMs)) {}

Session::~Session() {
    CloseSocket();
    FailPendings(kStatusSessionLost);
}

short Session::PollEvents() const {
    if (state_ == State::kConnecting)
        return POLLOUT;
    return static_cast<short>(POLLIN | (out_.empty() ? 0 : POLLOUT));
}

bool Session::WantsConnect(Clock::time_point now) const {
    return state_ == State::kWaiting && now >= retryAt_;
}

void Session::Connect(Clock::time_point now) {
    fd_ = StartConnect(target_.ip, target_.port);
    if (fd_ < 0) {
        Fail(Failure::kUnreachable, now);
        return;
    }
    state_ = State::kConnecting;
    stateDeadline_ = now + milliseconds(timing_.connectTimeoutMs);
    handshake_ =
        std::make_unique<ClientHandshake>(target_.ip, "SDK session " + std::to_string(handle_));
}

void Session::OnPoll(short revents, Clock::time_point now) {
    if (state_ == State::kConnecting) {
        if (ConnectResult(fd_) != 0) {
            Fail(Failure::kUnreachable, now);
            return;
        }
        state_ = State::kHandshake;
        stateDeadline_ = now + milliseconds(timing_.handshakeTimeoutMs);
        lastReceived_ = now;
        return;
    }
    if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0)
        ReadFrames(now);
    if (fd_ >= 0 && (revents & POLLOUT) != 0 && !SendSome(fd_, &out_))
        Fail(state_ == State::kReady ? Failure::kLost : Failure::kOther, now);
}

bool Session::Absorb(Clock::time_point now) {
    if (!cipher_.receiving()) {
        parser_.Feed(in_.data(), in_.size());
        in_.clear();
        return true;
    }
    std::string plain;
    // The frames of the records before a damaged one still count; the session closes after
    // them (ReadFrames).
    damaged_ = damaged_ || !cipher_.Open(&in_, &plain);
    parser_.Feed(plain.data(), plain.size());
    (void)now;
    return true;
}

void Session::ReadFrames(Clock::time_point now) {
    const std::size_t before = in_.size();
    const int got = ReceiveSome(fd_, &in_);
    if (in_.size() != before) {
        lastReceived_ = now;
        if (!Absorb(now))
            return;
    }
    Frame frame;
    for (;;) {
        const FrameParser::Result result = parser_.Next(&frame);
        if (result == FrameParser::Result::kNeedMore) {
            if (!damaged_)
                break;
            LogMessage("SDK session %d: damaged record from %s, closed\n", handle_,
                       target_.ip.c_str());
            Fail(state_ == State::kReady ? Failure::kLost : Failure::kOther, now);
            return;
        }
        if (result == FrameParser::Result::kBroken) {
            LogMessage("SDK session %d: malformed frame from %s (%s)\n", handle_,
                       target_.ip.c_str(), parser_.error());
            Fail(state_ == State::kReady ? Failure::kLost : Failure::kOther, now);
            return;
        }
        if (!HandleFrame(frame, now) || fd_ < 0)
            return;
        if (keyed_) {
            // The frames of the handshake are done: the rest is the camera's stream.
            keyed_ = false;
            in_ = parser_.TakeRest() + in_;
            if (!Absorb(now))
                return;
        }
    }
    if (got < 0)
        Fail(state_ == State::kReady ? Failure::kLost : Failure::kOther, now);
}

bool Session::HandleFrame(Frame& frame, Clock::time_point now) {
    if (state_ == State::kHandshake)
        return HandleHandshake(frame, now);
    if (frame.kind == FrameKind::kAnswer) {
        HandleAnswer(frame);
        return true;
    }
    if (frame.kind == FrameKind::kEvent) {
        if (!WithinEventRate(now)) {
            LogMessage("SDK session %d: %s sends more than %d events a second, closed\n", handle_,
                       target_.ip.c_str(), timing_.maxEventsPerSecond);
            Fail(Failure::kOverLimit, now);
            return false;
        }
        HandleEvent(frame);
        return true;
    }
    Fail(Failure::kLost, now);  // a camera never sends requests or data here
    return false;
}

bool Session::HandleHandshake(Frame& frame, Clock::time_point now) {
    if (!handshake_->exchanged()) {
        std::string request;
        if (!handshake_->OnHello(frame, NextSequence(), &cipher_, &request)) {
            Fail(Failure::kOther, now);
            return false;
        }
        // The exchange itself goes out in clear: the camera starts its stream from its header.
        out_ += request;
        lastSent_ = now;
        if (!SendSome(fd_, &out_)) {
            Fail(Failure::kOther, now);
            return false;
        }
        return true;
    }
    if (loginSequence_ == 0) {
        const ClientHandshake::Verdict verdict = handshake_->OnAnswer(frame, &cipher_);
        if (verdict != ClientHandshake::Verdict::kOk) {
            Fail(verdict == ClientHandshake::Verdict::kKeyChanged ? Failure::kKeyChanged
                                                                  : Failure::kOther,
                 now);
            return false;
        }
        keyed_ = true;
        // The camera proved who it is; the login travels inside the channel.
        loginSequence_ = NextSequence();
        const Hello& hello = handshake_->hello();
        Login login{handshake_->protocol(), target_.user,
                    LoginDigest(target_.password, hello.nonce, target_.user)};
        SendFrame(FrameKind::kRequest, kCodeLogin, kCommandParam, loginSequence_, PrintLogin(login),
                  now);
        return fd_ >= 0;
    }
    if (frame.kind != FrameKind::kAnswer || frame.sequence != loginSequence_) {
        Fail(Failure::kOther, now);
        return false;
    }
    if (frame.status != kStatusOk) {
        Fail(frame.status == kStatusRefused ? Failure::kRefused : Failure::kOther, now);
        return false;
    }
    const int seconds = ParseLoginResult(frame.payload, 10);
    keepAlive_ =
        std::min<Clock::duration>(std::chrono::seconds(seconds), milliseconds(timing_.keepAliveMs));
    state_ = State::kReady;
    reconnecting_ = false;
    retryDelay_ = milliseconds(timing_.reconnectFirstMs);
    sink_->OnLoggedIn(handle_, true);
    sink_->OnStatusEvent(handle_, kEventLoggedIn, {});
    return true;
}

void Session::HandleAnswer(Frame& frame) {
    const auto it = pending_.find(frame.sequence);
    if (it == pending_.end() || it->second.code != frame.code)
        return;  // late answer of a request that timed out, or a keep-alive
    Pending pending = std::move(it->second);
    pending_.erase(it);
    const int32_t status = std::clamp<int32_t>(frame.status, 0, 255);
    if (pending.waiter)
        pending.waiter->Finish(status, pending.toHook ? frame.payload : std::move(frame.payload));
    if (pending.toHook)
        sink_->OnAnswer(handle_, frame.code, status, std::move(frame.payload));
}

void Session::HandleEvent(Frame& frame) {
    if (RaisedBySdk(frame.code))
        return;
    const std::size_t fixed = FixedEventRecordSize(static_cast<int>(frame.code));
    if (fixed != 0 && frame.payload.size() != fixed) {
        LogMessage("SDK session %d: event %u with %zu bytes dropped\n", handle_,
                   static_cast<unsigned>(frame.code), frame.payload.size());
        return;
    }
    if (fixed == 0)
        frame.payload.resize(std::strlen(frame.payload.c_str()));  // a text ends at its first zero
    sink_->OnStatusEvent(handle_, static_cast<int>(frame.code), std::move(frame.payload));
}

void Session::OnTimer(Clock::time_point now) {
    if ((state_ == State::kConnecting || state_ == State::kHandshake) && now >= stateDeadline_) {
        Fail(state_ == State::kConnecting ? Failure::kUnreachable : Failure::kOther, now);
        return;
    }
    if (state_ != State::kReady)
        return;
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (now < it->second.deadline) {
            ++it;
            continue;
        }
        Pending pending = std::move(it->second);
        it = pending_.erase(it);
        if (pending.waiter)
            pending.waiter->Finish(kStatusTimeout);
        else if (pending.toHook)
            sink_->OnAnswer(handle_, pending.code, kStatusTimeout, {});
    }
    if (now - lastReceived_ >= 3 * keepAlive_) {
        LogMessage("SDK session %d: %s silent, closed\n", handle_, target_.ip.c_str());
        Fail(Failure::kLost, now);
        return;
    }
    if (now - lastSent_ >= keepAlive_)
        SendFrame(FrameKind::kRequest, kCodeKeepAlive, kCommandParam, NextSequence(), {}, now);
}

Clock::time_point Session::NextDeadline() const {
    switch (state_) {
        case State::kWaiting:
            return retryAt_;
        case State::kConnecting:
        case State::kHandshake:
            return stateDeadline_;
        case State::kReady: {
            Clock::time_point next =
                std::min(lastSent_ + keepAlive_, lastReceived_ + 3 * keepAlive_);
            for (const auto& [sequence, pending] : pending_)
                next = std::min(next, pending.deadline);
            return next;
        }
        case State::kClosed:
            break;
    }
    return Clock::time_point::max();
}

bool Session::Request(uint32_t code, uint16_t param, std::string payload,
                      std::shared_ptr<SyncWaiter> waiter, bool toHook, Clock::time_point now) {
    if (state_ != State::kReady)
        return false;
    const uint32_t sequence = NextSequence();
    const milliseconds limit(waiter ? timing_.syncTimeoutMs : timing_.asyncTimeoutMs);
    pending_[sequence] = Pending{code, now + limit, std::move(waiter), toHook};
    SendFrame(FrameKind::kRequest, code, param, sequence, std::move(payload), now);
    return true;
}

void Session::Logout() {
    if (state_ == State::kReady) {
        Frame frame;
        frame.code = kCodeLogout;
        frame.param = kCommandParam;
        frame.sequence = NextSequence();
        cipher_.Seal(EncodeFrame(frame), &out_);
        SendSome(fd_, &out_);
    }
    CloseSocket();
    FailPendings(kStatusSessionLost);
    state_ = State::kClosed;
    retryable_ = false;
}

void Session::SetAutoReconnect(bool enable, Clock::time_point now) {
    autoReconnect_ = enable;
    if (enable && state_ == State::kClosed && retryable_) {
        reconnecting_ = true;
        retryDelay_ = milliseconds(timing_.reconnectFirstMs);
        state_ = State::kWaiting;
        retryAt_ = now;
    } else if (!enable && state_ == State::kWaiting && reconnecting_) {
        state_ = State::kClosed;
    }
}

void Session::Fail(Failure failure, Clock::time_point now) {
    const bool wasReady = state_ == State::kReady;
    CloseSocket();
    FailPendings(kStatusSessionLost);
    state_ = State::kClosed;
    retryable_ = failure == Failure::kLost || failure == Failure::kUnreachable ||
                 failure == Failure::kOverLimit;
    if (wasReady) {
        sink_->OnLoggedIn(handle_, false);
        sink_->OnStatusEvent(
            handle_, failure == Failure::kOverLimit ? kEventOverLimit : kEventDisconnected, {});
        reconnecting_ = true;
        retryDelay_ = milliseconds(timing_.reconnectFirstMs);
    } else if (reconnecting_) {
        if (failure == Failure::kRefused || failure == Failure::kKeyChanged) {
            sink_->OnStatusEvent(
                handle_, failure == Failure::kRefused ? kEventAuthFailed : kEventKeyChanged, {});
            reconnecting_ = false;
            return;
        }
        retryable_ = true;  // a camera coming back may still be starting up
    } else {
        sink_->OnStatusEvent(handle_,
                             failure == Failure::kUnreachable  ? kEventConnectFailed
                             : failure == Failure::kRefused    ? kEventAuthFailed
                             : failure == Failure::kKeyChanged ? kEventKeyChanged
                                                               : kEventLoginFailed,
                             {});
        reconnecting_ = retryable_;
    }
    if (autoReconnect_ && retryable_)
        ScheduleRetry(now);
}

void Session::ScheduleRetry(Clock::time_point now) {
    state_ = State::kWaiting;
    retryAt_ = now + retryDelay_;
    retryDelay_ = std::min<Clock::duration>(2 * retryDelay_, milliseconds(timing_.reconnectMaxMs));
}

void Session::CloseSocket() {
    camfleet::sdk::CloseSocket(fd_);
    fd_ = -1;
    parser_ = FrameParser();
    cipher_ = ChannelCipher();
    keyed_ = false;
    damaged_ = false;
    handshake_.reset();
    in_.clear();
    out_.clear();
    loginSequence_ = 0;
    eventAllowanceAt_ = {};
}

void Session::FailPendings(int32_t status) {
    std::map<uint32_t, Pending> pending;
    pending.swap(pending_);
    for (auto& [sequence, p] : pending) {
        if (p.waiter)
            p.waiter->Finish(status);
        else if (p.toHook)
            sink_->OnAnswer(handle_, p.code, status, {});
    }
}

void Session::SendFrame(FrameKind kind, uint32_t code, uint16_t param, uint32_t sequence,
                        std::string payload, Clock::time_point now) {
    Frame frame;
    frame.kind = kind;
    frame.code = code;
    frame.param = param;
    frame.sequence = sequence;
    frame.payload = std::move(payload);
    cipher_.Seal(EncodeFrame(frame), &out_);
    lastSent_ = now;
    if (!SendSome(fd_, &out_))
        Fail(state_ == State::kReady ? Failure::kLost : Failure::kOther, now);
}

void Session::CloseOverLimit(Clock::time_point now) {
    if (state_ == State::kReady)
        Fail(Failure::kOverLimit, now);
}

// A bucket of maxEventsPerSecond events, topped up at that rate: bursts up to a second's
// worth pass, a steady stream above the rate empties it.
bool Session::WithinEventRate(Clock::time_point now) {
    const double rate = timing_.maxEventsPerSecond;
    if (rate <= 0)
        return true;
    if (eventAllowanceAt_ == Clock::time_point{}) {
        eventAllowance_ = rate;
    } else {
        const double seconds = std::chrono::duration<double>(now - eventAllowanceAt_).count();
        eventAllowance_ = std::min(rate, eventAllowance_ + seconds * rate);
    }
    eventAllowanceAt_ = now;
    if (eventAllowance_ < 1)
        return false;
    eventAllowance_ -= 1;
    return true;
}

uint32_t Session::NextSequence() {
    if (++sequence_ == 0)
        sequence_ = 1;
    return sequence_;
}

}  // namespace camfleet::sdk
