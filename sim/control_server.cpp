#include "sim/control_server.h"

#include <poll.h>
#include <sched.h>

#include <algorithm>
#include <cerrno>

#include "device/sdk/control_protocol.h"
#include "sim/control_server_state.h"

namespace camfleet::sim {

namespace {

using std::chrono::milliseconds;
using Action = ControlCamera::Reply::Action;

constexpr auto kIdleLimit = std::chrono::seconds(60);  // six keep-alive intervals

// Session commands that test controls (lost or failed answers) leave alone.
bool IsSessionCode(uint32_t code) {
    return code == sdk::kCodeLogin || code == sdk::kCodeKeepAlive || code == sdk::kCodeLogout;
}

// Runs `fn` on a short-lived thread inside network namespace `fd` (directly when fd < 0).
template <typename Fn>
void InNamespace(int fd, Fn fn) {
    if (fd < 0) {
        fn();
        return;
    }
    std::thread([&] {
        if (setns(fd, CLONE_NEWNET) == 0)
            fn();
    }).join();
}

}  // namespace

ControlServer::ControlServer() = default;

ControlServer::~ControlServer() {
    Stop();
}

int ControlServer::AddCamera(const ControlIdentity& identity, ControlCallbacks callbacks,
                             std::string* error) {
    int namespaceFd = -1;
    {
        std::lock_guard lock(mutex_);
        namespaceFd = namespaceFd_;
    }
    int fd = -1;
    *error = "cannot enter the camera namespace";
    InNamespace(namespaceFd,
                [&] { fd = sdk::Listen(identity.ipAddress, identity.sdkPort, error); });
    if (fd < 0)
        return -1;
    ControlIdentity bound = identity;
    bound.sdkPort = sdk::LocalPort(fd);
    std::lock_guard lock(mutex_);
    cameras_.push_back(std::make_unique<Camera>(bound, std::move(callbacks)));
    cameras_.back()->listenFd = fd;
    wake_.Wake();
    return static_cast<int>(cameras_.size()) - 1;
}

void ControlServer::SetNetworkNamespace(int namespaceFd) {
    std::lock_guard lock(mutex_);
    namespaceFd_ = namespaceFd;
}

void ControlServer::MoveCamera(int id, const std::string& ip) {
    {
        std::lock_guard lock(mutex_);
        cameras_.at(id)->moveTo = ip;
    }
    wake_.Wake();
}

void ControlServer::SetPassword(int id, const std::string& password) {
    std::lock_guard lock(mutex_);
    cameras_.at(id)->logic.SetPassword(password);
}

void ControlServer::SetKeyGeneration(int id, int generation) {
    std::lock_guard lock(mutex_);
    Camera& camera = *cameras_.at(id);
    camera.keyGeneration = generation;
    camera.DeriveKey();
}

std::string ControlServer::PublicKey(int id) const {
    std::lock_guard lock(mutex_);
    return cameras_.at(id)->keyHex;
}

void ControlServer::Start() {
    std::lock_guard lock(mutex_);
    if (!thread_.joinable() && !stop_)
        thread_ = std::thread(&ControlServer::Run, this);
}

void ControlServer::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.Wake();
    if (thread_.joinable())
        thread_.join();
    std::lock_guard lock(mutex_);
    for (auto& [key, c] : connections_)
        sdk::CloseSocket(c.fd);
    connections_.clear();
    for (auto& camera : cameras_) {
        sdk::CloseSocket(camera->listenFd);
        camera->listenFd = -1;
    }
    delayed_.clear();
}

void ControlServer::Run() {
    {
        std::lock_guard lock(mutex_);
        if (namespaceFd_ >= 0)
            setns(namespaceFd_, CLONE_NEWNET);  // listeners reopened after a restart live there
    }
    std::vector<Callback> calls;
    for (;;) {
        ServeOnce(&calls);
        for (Callback& call : calls)
            call();
        calls.clear();
        std::lock_guard lock(mutex_);
        if (stop_)
            return;
    }
}

void ControlServer::ServeOnce(std::vector<Callback>* calls) {
    std::vector<pollfd> fds;
    std::vector<int64_t> owners;  // >= 0 connection key, < 0: -(camera id) - 1
    int timeout = 0;
    {
        std::lock_guard lock(mutex_);
        const Clock::time_point now = Clock::now();
        Housekeeping(now);
        fds.push_back(pollfd{wake_.readFd(), POLLIN, 0});
        owners.push_back(0);
        for (std::size_t id = 0; id < cameras_.size() && !AcceptPaused(now); ++id) {
            if (cameras_[id]->listenFd >= 0) {
                fds.push_back(pollfd{cameras_[id]->listenFd, POLLIN, 0});
                owners.push_back(-static_cast<int64_t>(id) - 1);
            }
        }
        for (auto& [key, c] : connections_) {
            const bool sending = !c.out.empty() || !c.wire.empty();
            const bool stalled = c.bulk && cameras_[c.camera]->bulkFault.stall;
            fds.push_back(pollfd{
                c.fd, static_cast<short>(stalled ? 0 : POLLIN | (sending ? POLLOUT : 0)), 0});
            owners.push_back(static_cast<int64_t>(key));
        }
        timeout = TimeoutMs(now);
    }
    poll(fds.data(), fds.size(), timeout);
    std::lock_guard lock(mutex_);
    if (stop_)
        return;
    const Clock::time_point now = Clock::now();
    if (fds[0].revents != 0)
        wake_.Drain();
    for (std::size_t i = 1; i < fds.size(); ++i) {
        if (fds[i].revents == 0)
            continue;
        if (owners[i] < 0) {
            Accept(static_cast<int>(-owners[i] - 1), now);
            continue;
        }
        const auto it = connections_.find(static_cast<uint64_t>(owners[i]));
        if (it != connections_.end() && !it->second.dead &&
            (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0)
            Read(it->second, now, calls);
    }
    SendDelayed(now, calls);
    FirmwareHousekeeping(now, calls);
    for (auto it = connections_.begin(); it != connections_.end();) {
        Connection& c = it->second;
        if (c.bulk && !c.dead && !cameras_[c.camera]->bulkFault.stall)
            PumpDownload(c);
        Seal(c);
        if (!c.dead && !c.wire.empty() && !sdk::SendSome(c.fd, &c.wire))
            c.dead = true;
        if (!c.dead)
            OverQueued(c);
        if (c.dead || (c.closing && c.wire.empty())) {
            Discard(c);
            sdk::CloseSocket(c.fd);
            it = connections_.erase(it);
        } else {
            ++it;
        }
    }
}

void ControlServer::Accept(int id, Clock::time_point now) {
    Camera& camera = *cameras_[id];
    for (;;) {
        const int fd = sdk::AcceptOne(camera.listenFd);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                OnDescriptorsExhausted(now);
            return;
        }
        MakeRoomFor(id);
        Connection c;
        c.key = nextConnection_++;
        c.fd = fd;
        c.camera = id;
        c.nonce = sdk::MakeNonce();
        c.lastReceived = now;
        c.acceptedAt = now;
        c.source = sdk::PeerAddress(fd);
        c.ephemeral = sdk::MakeEphemeralKey();
        sdk::Frame hello;
        hello.kind = sdk::FrameKind::kEvent;
        hello.code = sdk::kCodeHello;
        hello.payload = sdk::PrintHello({sdk::kProtocolVersion, sdk::kMinProtocolVersion, c.nonce,
                                         sdk::ToHex(c.ephemeral.pk.data(), c.ephemeral.pk.size())});
        c.hello = hello.payload;
        c.out = sdk::EncodeFrame(hello);
        connections_.emplace(c.key, std::move(c));
    }
}

bool ControlServer::Absorb(Connection& c) {
    if (!c.cipher.receiving()) {
        c.parser.Feed(c.in.data(), c.in.size());
        c.in.clear();
        return true;
    }
    // Records open straight into the parser; a damaged one closes the connection without a
    // word.
    return c.cipher.Open(&c.in, c.parser.FeedBuffer());
}

void ControlServer::Seal(Connection& c) {
    if (c.out.empty())
        return;
    if (c.cipher.sending())
        c.cipher.Seal(c.out, &c.wire);
    else
        c.wire += c.out;
    c.out.clear();
}

void ControlServer::Read(Connection& c, Clock::time_point now, std::vector<Callback>* calls) {
    const std::size_t before = c.in.size();
    const int got = sdk::ReceiveSome(c.fd, &c.in);
    if (c.in.size() != before) {
        c.lastReceived = now;
        if (!Absorb(c)) {
            c.dead = true;
            return;
        }
    }
    sdk::Frame& frame = scratch_;  // its payload's buffer serves every read
    for (;;) {
        const auto result = c.parser.Next(&frame);
        if (result == sdk::FrameParser::Result::kNeedMore)
            break;
        if (result == sdk::FrameParser::Result::kBroken || !HandleFrame(c, frame, now, calls)) {
            c.dead = true;
            return;
        }
        if (c.dead || OverQueued(c))
            return;
        if (c.switched) {
            c.switched = false;
            c.in = c.parser.TakeRest() + c.in;
            if (!Absorb(c)) {
                c.dead = true;
                return;
            }
        }
    }
    if (got < 0)
        c.dead = true;
}

bool ControlServer::HandleFrame(Connection& c, sdk::Frame& frame, Clock::time_point now,
                                std::vector<Callback>* calls) {
    if (c.bulk)
        return HandleBulkData(c, frame, now, calls);
    if (frame.kind != sdk::FrameKind::kRequest)
        return false;
    Camera& camera = *cameras_[c.camera];
    if (!c.keyed)
        return HandleKeyExchange(c, frame);
    const int32_t fits = ControlCamera::AccessFits(frame);
    if (!c.loggedIn) {
        if (c.verdictPending)
            return true;  // nothing more is read before the held-back refusal
        if (frame.code == sdk::kCodeLogin && fits == sdk::kStatusOk) {
            milliseconds delay{0};
            const int32_t status = LoginVerdict(c, frame.payload, now, &delay);
            std::string bytes = EncodeAnswer(
                frame, status, status == sdk::kStatusOk ? sdk::PrintLoginResult(10) : "");
            c.loggedIn = status == sdk::kStatusOk;
            camera.logins += c.loggedIn ? 1 : 0;
            if (delay.count() > 0) {
                c.verdictPending = true;
                delayed_.push_back(Delayed{now + delay, c.key, std::move(bytes), Action::kClose});
            } else {
                c.out += bytes;
                c.closing = !c.loggedIn;
            }
            return true;
        }
        if (frame.code == sdk::kCodeAttachBulk && fits == sdk::kStatusOk) {
            c.out += Attach(c, frame, now);
            return true;
        }
        c.out += EncodeAnswer(frame, fits != sdk::kStatusOk ? fits : sdk::kStatusNotLoggedIn, {});
        c.closing = true;
        return true;
    }
    if (fits != sdk::kStatusOk) {
        c.out += EncodeAnswer(frame, fits, {});
        return true;
    }
    if (frame.code == sdk::kCodeOpenBulk) {
        c.out += OpenBulk(c, frame, now);
        return true;
    }
    if (frame.code == sdk::kCodeKeepAlive) {
        c.out += EncodeAnswer(frame, 0, {});
        return true;
    }
    if (!IsSessionCode(frame.code) && camera.lose)
        return true;
    if (!IsSessionCode(frame.code) && camera.failStatus != 0) {
        Answer(c, frame, {camera.failStatus, {}, Action::kNone}, now, calls);
        return true;
    }
    const std::string passwordBefore = camera.logic.password();
    ControlCamera::Reply reply = camera.logic.Handle(frame);
    const std::string password = camera.logic.password();
    if (password != passwordBefore && camera.callbacks.onPasswordChanged)
        calls->push_back([f = camera.callbacks.onPasswordChanged, password] { f(password); });
    Answer(c, frame, std::move(reply), now, calls);
    return true;
}

// The first request of a connection must be the key exchange. A client of protocol 1 logs in
// at once: it is told the version is not spoken (status 7) and the connection closes.
bool ControlServer::HandleKeyExchange(Connection& c, const sdk::Frame& frame) {
    const Camera& camera = *cameras_[c.camera];
    sdk::KeyExchange exchange;
    int32_t status = frame.code == sdk::kCodeKeyExchange ? sdk::kStatusBadDocument
                     : frame.code == sdk::kCodeLogin     ? sdk::kStatusVersion
                                                         : sdk::kStatusNotLoggedIn;
    unsigned char clientKx[crypto_kx_PUBLICKEYBYTES];
    sdk::SessionKeys keys;
    if (ControlCamera::AccessFits(frame) != sdk::kStatusOk)
        status = ControlCamera::AccessFits(frame);
    else if (frame.code == sdk::kCodeKeyExchange &&
             sdk::ParseKeyExchange(frame.payload, &exchange)) {
        if (exchange.protocol < sdk::kMinProtocolVersion ||
            exchange.protocol > sdk::kProtocolVersion)
            status = sdk::kStatusVersion;
        else if (sdk::FromHex(exchange.kx, clientKx, sizeof clientKx) &&
                 sdk::CameraSessionKeys(c.ephemeral, clientKx, &keys) &&
                 c.cipher.StartReceiving(keys, exchange.header))
            status = sdk::kStatusOk;
    }
    Seal(c);  // the hello, still in clear
    if (status != sdk::kStatusOk) {
        c.wire += EncodeAnswer(frame, status, {});
        c.closing = true;
        return true;
    }
    sdk::KeyExchangeResult result;
    result.serial = camera.logic.identity().serialNumber;
    result.key = camera.keyHex;
    result.signature = sdk::SignTranscript(
        camera.key, sdk::HandshakeTranscript(c.hello, frame.payload, result.serial, result.key));
    result.header = c.cipher.StartSending(keys);
    // The answer goes out in clear; everything after it through the channel.
    c.wire += EncodeAnswer(frame, sdk::kStatusOk, sdk::PrintKeyExchangeResult(result));
    c.keyed = true;
    c.switched = true;
    return true;
}

void ControlServer::Answer(Connection& c, const sdk::Frame& request, ControlCamera::Reply reply,
                           Clock::time_point now, std::vector<Callback>* calls) {
    std::string bytes = EncodeAnswer(request, reply.status, std::move(reply.payload));
    const Camera& camera = *cameras_[c.camera];
    if (camera.delay.count() > 0 && !IsSessionCode(request.code)) {
        delayed_.push_back(Delayed{now + camera.delay, c.key, std::move(bytes), reply.action});
        return;
    }
    c.out += bytes;
    ApplyAction(c, reply.action, now, calls);
}

void ControlServer::ApplyAction(Connection& c, Action action, Clock::time_point now,
                                std::vector<Callback>* calls) {
    if (action == Action::kClose) {
        c.closing = true;
    } else if (action == Action::kRestart || action == Action::kRestore) {
        Camera& camera = *cameras_[c.camera];
        if (camera.callbacks.onRestart)
            calls->push_back([f = camera.callbacks.onRestart,
                              restore = action == Action::kRestore] { f(restore); });
        ++camera.restarts;
        TakeDown(c.camera, now + camera.restartTime);
    } else if (action == Action::kSnapshot) {
        TakeSnapshot(c);
    }
}

// The camera restarts: its answers already queued go out, then every session closes and the
// port takes no connection until `upAt`.
void ControlServer::TakeDown(int id, Clock::time_point upAt) {
    Camera& camera = *cameras_[id];
    for (auto& [key, c] : connections_) {
        if (c.camera != id)
            continue;
        Seal(c);
        sdk::SendSome(c.fd, &c.wire);
        c.dead = true;
    }
    sdk::CloseSocket(camera.listenFd);
    camera.listenFd = -1;
    camera.down = true;
    camera.upAt = upAt;
}

void ControlServer::SendDelayed(Clock::time_point now, std::vector<Callback>* calls) {
    std::vector<Delayed> due;
    for (auto it = delayed_.begin(); it != delayed_.end();) {
        if (it->due <= now) {
            due.push_back(std::move(*it));
            it = delayed_.erase(it);
        } else {
            ++it;
        }
    }
    for (Delayed& d : due) {
        const auto it = connections_.find(d.connection);
        if (it == connections_.end() || it->second.dead)
            continue;
        it->second.out += d.bytes;
        it->second.verdictPending = false;
        ApplyAction(it->second, d.action, now, calls);
    }
}

void ControlServer::Housekeeping(Clock::time_point now) {
    for (std::size_t id = 0; id < cameras_.size(); ++id) {
        Camera& camera = *cameras_[id];
        if (!camera.moveTo.empty()) {
            camera.logic.SetAddress(camera.moveTo);
            camera.moveTo.clear();
            TakeDown(static_cast<int>(id), now);  // up again at once on its new address
        }
        if (camera.down && now >= camera.upAt) {
            std::string error;
            const ControlIdentity& identity = camera.logic.identity();
            camera.listenFd = sdk::Listen(identity.ipAddress, identity.sdkPort, &error);
            camera.down = camera.listenFd < 0;  // tried again on the next pass
            if (camera.down)
                camera.upAt = now + std::chrono::milliseconds(100);
        }
        if (camera.dropRequested) {
            camera.dropRequested = false;
            for (auto& [key, c] : connections_)
                c.dead = c.dead || c.camera == static_cast<int>(id);
        }
    }
    CloseOverdueLogins(now);
    BulkHousekeeping(now);
    for (auto it = connections_.begin(); it != connections_.end();) {
        if (it->second.dead || now - it->second.lastReceived > kIdleLimit) {
            Discard(it->second);
            sdk::CloseSocket(it->second.fd);
            it = connections_.erase(it);
        } else {
            ++it;
        }
    }
}

int ControlServer::TimeoutMs(Clock::time_point now) const {
    Clock::time_point next = now + std::chrono::seconds(1);
    for (const Delayed& d : delayed_)
        next = std::min(next, d.due);
    if (AcceptPaused(now))
        next = std::min(next, acceptPausedUntil_);
    for (const auto& camera : cameras_)
        if (camera->down)
            next = std::min(next, camera->upAt);
    next = FirmwareDue(next);
    const auto wait = std::chrono::duration_cast<milliseconds>(next - now).count();
    return static_cast<int>(std::clamp<long long>(wait + 1, 0, 1000));
}

}  // namespace camfleet::sim
