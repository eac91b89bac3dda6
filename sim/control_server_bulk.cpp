// The camera's side of the bulk-data channel (docs/camera-protocol.md, "Bulk-data channel"):
// tokens handed out on a session, the attach of a new connection, uploads received into the
// camera's storage when whole (configuration files are applied as well,
// sim/camera_config_file.cpp; firmware streams through its image check instead,
// sim/control_server_firmware.cpp), downloads of the camera's files, the file events on the
// session, and the test controls of all that.

#include <algorithm>

#include "device/codes.h"
#include "device/sdk/control_protocol.h"
#include "device/xml_messages.h"
#include "resources/log.h"
#include "sim/control_server.h"
#include "sim/control_server_state.h"

namespace camfleet::sim {

namespace {

using sdk::BulkDirection;
using sdk::BulkPurpose;

std::string FileEventText(const std::string& name) {
    return "<RESPONSE_PARAM LocalFileName=\"" + EscapeAttribute(name) + "\" />";
}

// Event 14 for an applied default configuration.
std::string DefaultConfigEventText(const std::string& name) {
    return "<RESPONSE_PARAM LocalFileName=\"" + EscapeAttribute(name) + "\" DefaultConfig=\"1\" />";
}

std::string DigestOf(std::string_view bytes) {
    sdk::Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Hex();
}

}  // namespace

// ---- Test controls and inspection ------------------------------------------------------------

void ControlServer::SetBulkFault(int id, BulkFault fault) {
    {
        std::lock_guard lock(mutex_);
        cameras_.at(id)->bulkFault = fault;
    }
    wake_.Wake();
}

void ControlServer::PutFile(int id, const std::string& name, std::string bytes) {
    std::lock_guard lock(mutex_);
    cameras_.at(id)->files[name] = std::move(bytes);
}

std::optional<ControlServer::StoredFile> ControlServer::UploadedFile(int id,
                                                                     BulkPurpose purpose) const {
    std::lock_guard lock(mutex_);
    const Camera& camera = *cameras_.at(id);
    const auto it = camera.uploads.find(purpose);
    if (it == camera.uploads.end())
        return std::nullopt;
    StoredFile file = it->second;
    // Hashed for the one who asks: taking the file costs no pass over its bytes.
    if (file.digest.empty())
        file.digest = DigestOf(file.bytes);
    return file;
}

int ControlServer::UploadsAccepted(int id) const {
    std::lock_guard lock(mutex_);
    return cameras_.at(id)->uploadsAccepted;
}

int ControlServer::UploadsFailed(int id) const {
    std::lock_guard lock(mutex_);
    return cameras_.at(id)->uploadsFailed;
}

int ControlServer::BulkConnections(int id) const {
    std::lock_guard lock(mutex_);
    int count = 0;
    for (const auto& [key, c] : connections_)
        count += c.camera == id && c.bulk && !c.dead ? 1 : 0;
    return count;
}

std::string ControlServer::ConfigExport(int id) const {
    std::lock_guard lock(mutex_);
    return cameras_.at(id)->logic.documents().Export();
}

void ControlServer::SetConfirmDefaultConfig(int id, bool confirm) {
    std::lock_guard lock(mutex_);
    cameras_.at(id)->confirmDefaultConfig = confirm;
}

int ControlServer::DefaultConfigsApplied(int id) const {
    std::lock_guard lock(mutex_);
    return cameras_.at(id)->defaultConfigs;
}

std::string ControlServer::LastDefaultConfig(int id) const {
    std::lock_guard lock(mutex_);
    return cameras_.at(id)->lastDefaultConfig;
}

// ---- The protocol ------------------------------------------------------------------------------

int ControlServer::BulkInUse(int id, uint64_t session) const {
    const Camera& camera = *cameras_[id];
    int count = 0;
    for (const auto& [token, t] : camera.tokens)
        count += session == 0 || t.session == session ? 1 : 0;
    for (const auto& [key, c] : connections_)
        count += c.camera == id && c.bulk && !c.dead && (session == 0 || c.bulk->session == session)
                     ? 1
                     : 0;
    return count;
}

std::string ControlServer::OpenBulk(Connection& c, const sdk::Frame& request,
                                    Clock::time_point now) {
    Camera& camera = *cameras_[c.camera];
    BulkHousekeeping(now);  // expired tokens do not count
    BulkToken token;
    if (!sdk::ParseBulkOpen(request.payload, &token.open))
        return EncodeAnswer(request, sdk::kStatusBadDocument, {});
    const sdk::BulkOpen& open = token.open;
    if (open.direction == BulkDirection::kTalk)
        return EncodeAnswer(request, sdk::kStatusUnsupported, {});  // no audio here yet
    if (open.direction == BulkDirection::kUpload && open.size > limits_.maxBulkSize)
        return EncodeAnswer(request, sdk::kStatusBadDocument, {});
    if (BulkInUse(c.camera, c.key) >= limits_.maxBulkPerSession ||
        BulkInUse(c.camera, 0) >= limits_.maxBulkPerCamera)
        return EncodeAnswer(request, sdk::kStatusBusy, {});
    const bool firmware =
        open.direction == BulkDirection::kUpload && open.purpose == BulkPurpose::kFirmware;
    if (firmware && FirmwareBusy(c.camera))
        return EncodeAnswer(request, sdk::kStatusBusy, {});
    if (firmware) {
        // One image at a time: the newest open wins over a firmware token not yet attached.
        for (auto it = camera.tokens.begin(); it != camera.tokens.end();)
            it = it->second.open.direction == BulkDirection::kUpload &&
                         it->second.open.purpose == BulkPurpose::kFirmware
                     ? camera.tokens.erase(it)
                     : std::next(it);
    }
    sdk::BulkGrant grant;
    if (open.direction == BulkDirection::kDownload) {
        if (open.purpose == BulkPurpose::kConfig) {
            token.content = camera.logic.documents().Export();
        } else {
            const auto it = camera.files.find(open.name);
            if (it == camera.files.end())
                return EncodeAnswer(request, sdk::kStatusFailed, {});
            token.content = it->second;
        }
        token.digest = DigestOf(token.content);
        grant.size = token.content.size();
        grant.digest = token.digest;
    }
    grant.token = sdk::MakeNonce();
    token.session = c.key;
    token.expires = now + limits_.bulkTokenLife;
    camera.tokens[grant.token] = std::move(token);
    return EncodeAnswer(request, sdk::kStatusOk, sdk::PrintBulkGrant(grant));
}

// A token is good once, within its life, while the session that asked for it is logged in.
// Any attach takes the token out of play; a refusal closes the connection like a failed login.
std::string ControlServer::Attach(Connection& c, const sdk::Frame& request, Clock::time_point now) {
    Camera& camera = *cameras_[c.camera];
    const auto it = camera.tokens.find(sdk::ParseAttach(request.payload));
    bool good = false;
    if (it != camera.tokens.end()) {
        const auto session = connections_.find(it->second.session);
        good = now < it->second.expires && session != connections_.end() &&
               session->second.loggedIn && !session->second.dead;
    }
    if (!good) {
        if (it != camera.tokens.end())
            camera.tokens.erase(it);
        c.closing = true;
        return EncodeAnswer(request, sdk::kStatusRefused, {});
    }
    auto link = std::make_unique<BulkLink>();
    link->session = it->second.session;
    link->open = std::move(it->second.open);
    link->data = std::move(it->second.content);
    if (link->open.direction == BulkDirection::kDownload)
        link->digest = it->second.digest;
    // Images are checked against the camera's hardware model, whatever model it reports.
    if (link->open.direction == BulkDirection::kUpload &&
        link->open.purpose == BulkPurpose::kFirmware)
        link->firmware = std::make_unique<FirmwareImageChecker>(camera.logic.identity().model);
    camera.tokens.erase(it);
    c.bulk = std::move(link);
    return EncodeAnswer(request, sdk::kStatusOk, {});
}

// Uploads: chunks in order, full but the last, never past the announced size; each taken
// chunk but the last is acknowledged, the last one by the verdict on the whole file. A firmware
// image refused before its end is answered at once; what the client had already sent is read and
// dropped while the end frame goes out. Downloads: acknowledgements of what was sent and the
// client's verdict.
bool ControlServer::HandleBulkData(Connection& c, const sdk::Frame& frame, Clock::time_point now,
                                   std::vector<Callback>* calls) {
    BulkLink& b = *c.bulk;
    if (b.done && c.closing && b.open.direction == BulkDirection::kUpload)
        return true;
    if (frame.kind != sdk::FrameKind::kData || b.done)
        return false;
    Camera& camera = *cameras_[c.camera];
    if (b.open.direction == BulkDirection::kDownload) {
        if (frame.code == sdk::kBulkAck && frame.sequence >= b.acked &&
            frame.sequence <= b.chunks) {
            b.acked = frame.sequence;
            return true;
        }
        int32_t status = 0;
        if (frame.code != sdk::kBulkEnd || !sdk::ParseBulkEnd(frame.payload, &status))
            return false;
        b.done = true;
        c.closing = true;
        return true;
    }
    const bool last = (frame.param & sdk::kBulkLastChunk) != 0;
    if (frame.code != sdk::kBulkUpload || frame.sequence != b.chunks ||
        (!last && frame.payload.size() != sdk::kBulkChunk) ||
        b.bytes + frame.payload.size() > b.open.size)
        return false;
    b.bytes += frame.payload.size();
    ++b.chunks;
    if (b.firmware) {
        // Firmware is never stored: it streams through the image check.
        if (!CheckFirmwareChunk(c, frame.payload, last))
            return true;
        const int dropAt = camera.firmwareFault.dropAtPercent;
        if (dropAt >= 0 && b.bytes * 100 >= static_cast<uint64_t>(dropAt) * b.open.size) {
            LogMessage("camera %s: firmware transfer at %d %%, every session closes\n",
                       camera.logic.identity().ipAddress.c_str(), dropAt);
            for (auto& [key, other] : connections_)
                other.dead = other.dead || other.camera == c.camera;
            return false;
        }
    } else {
        if (b.data.empty())
            b.data.reserve(static_cast<std::size_t>(b.open.size));
        b.data += frame.payload;
    }
    if (camera.bulkFault.closeAfterBytes >= 0 &&
        b.bytes >= static_cast<uint64_t>(camera.bulkFault.closeAfterBytes))
        return false;
    if (!last) {
        c.out += EncodeDataFrame(sdk::kBulkAck, b.chunks, {});
        return true;
    }
    return UploadVerdict(c, now, calls);
}

bool ControlServer::UploadVerdict(Connection& c, Clock::time_point now,
                                  std::vector<Callback>* calls) {
    BulkLink& b = *c.bulk;
    Camera& camera = *cameras_[c.camera];
    // The records are authenticated in order, so what arrived is what the client read: the
    // file is whole when it has the announced size.
    const bool whole = b.bytes == b.open.size;
    int32_t status = whole ? sdk::kStatusOk : sdk::kStatusBadDocument;
    if (whole && b.firmware)
        status = FirmwareVerdict(c);
    const bool config = whole && b.open.purpose == BulkPurpose::kConfig;
    const bool deviceType = config && b.open.name == kDeviceTypeFileName;
    bool defaultConfig = false;
    if (deviceType && !ApplyDeviceType(c, b.data, calls))
        status = sdk::kStatusFailed;
    if (config && !deviceType && !ApplyConfigFile(c, b.data, &defaultConfig))
        status = sdk::kStatusFailed;
    b.done = true;
    c.closing = true;
    c.out += EncodeDataFrame(sdk::kBulkEnd, b.chunks, sdk::PrintBulkEnd(status, b.bytes));
    if (status != sdk::kStatusOk) {
        if (!whole)
            LogMessage("camera %s: upload of %s is shorter than announced, discarded\n",
                       camera.logic.identity().ipAddress.c_str(), b.open.name.c_str());
        ++camera.uploadsFailed;
        // A failed firmware transfer is the client's to report; the camera stays silent.
        if (b.open.purpose != BulkPurpose::kFirmware)
            SendEvent(b.session, kEventFileFailed, FileEventText(b.open.name));
        b.data.clear();
        return true;
    }
    ++camera.uploadsAccepted;
    camera.uploads[b.open.purpose] =
        StoredFile{b.open.name, b.bytes, b.firmware ? b.firmware->FedDigestHex() : std::string(),
                   std::move(b.data)};
    b.data.clear();
    // A firmware image's outcome comes with its write phase (events 55, then 14 or 15).
    if (b.firmware) {
        StartFirmwareWrite(c, now);
        return true;
    }
    SendEvent(b.session, kEventFileDone, FileEventText(b.open.name));
    // A default configuration is confirmed with status 14, the type of a written firmware
    // image; the payload tells the two apart.
    if (defaultConfig && camera.confirmDefaultConfig)
        SendEvent(b.session, kEventUpgradeDone, DefaultConfigEventText(b.open.name));
    return true;
}

bool ControlServer::ApplyConfigFile(Connection& c, const std::string& content,
                                    bool* defaultConfig) {
    Camera& camera = *cameras_[c.camera];
    const std::string& name = c.bulk->open.name;
    if (camera.logic.ImportConfig(content, defaultConfig) != sdk::kStatusOk) {
        LogMessage("camera %s: configuration file %s refused, nothing changed\n",
                   camera.logic.identity().ipAddress.c_str(), name.c_str());
        return false;
    }
    if (*defaultConfig) {
        ++camera.defaultConfigs;
        camera.lastDefaultConfig = name;
    }
    return true;
}

void ControlServer::PumpDownload(Connection& c) {
    BulkLink& b = *c.bulk;
    if (b.open.direction != BulkDirection::kDownload || b.done)
        return;
    const Camera& camera = *cameras_[c.camera];
    const uint64_t chunks = sdk::ChunkCount(b.data.size());
    while (b.chunks < chunks && b.chunks - b.acked < sdk::kBulkWindowChunks) {
        const std::size_t at = static_cast<std::size_t>(b.chunks) * sdk::kBulkChunk;
        const std::size_t n = std::min(sdk::kBulkChunk, b.data.size() - at);
        const bool last = b.chunks + 1 == chunks;
        sdk::AppendFrameHeader(&c.out, sdk::FrameKind::kData, last ? sdk::kBulkLastChunk : 0,
                               sdk::kBulkDownload, b.chunks, 0, static_cast<uint32_t>(n));
        c.out.append(b.data, at, n);
        ++b.chunks;
        b.bytes += n;
        if (camera.bulkFault.closeAfterBytes >= 0 &&
            b.bytes >= static_cast<uint64_t>(camera.bulkFault.closeAfterBytes)) {
            b.done = true;  // what is queued goes out, then the connection closes
            c.closing = true;
            return;
        }
    }
}

// Expired tokens go; tokens and bulk connections of a session that ended go with it; a bulk
// connection on which nothing arrived for the stall time closes.
void ControlServer::BulkHousekeeping(Clock::time_point now) {
    const auto sessionGone = [&](uint64_t key) {
        const auto it = connections_.find(key);
        return it == connections_.end() || it->second.dead || !it->second.loggedIn;
    };
    for (auto& camera : cameras_)
        for (auto it = camera->tokens.begin(); it != camera->tokens.end();)
            it = now >= it->second.expires || sessionGone(it->second.session)
                     ? camera->tokens.erase(it)
                     : std::next(it);
    for (auto& [key, c] : connections_)
        if (c.bulk && !c.dead &&
            (sessionGone(c.bulk->session) || now - c.lastReceived > limits_.bulkStall))
            c.dead = true;
}

void ControlServer::Discard(Connection& c) {
    if (!c.bulk || c.bulk->done || c.bulk->open.direction != BulkDirection::kUpload)
        return;
    Camera& camera = *cameras_[c.camera];
    ++camera.uploadsFailed;
    LogMessage("camera %s: upload of %s broke off after %llu bytes, discarded\n",
               camera.logic.identity().ipAddress.c_str(), c.bulk->open.name.c_str(),
               static_cast<unsigned long long>(c.bulk->bytes));
    if (c.bulk->open.purpose != BulkPurpose::kFirmware)
        SendEvent(c.bulk->session, kEventFileFailed, FileEventText(c.bulk->open.name));
    c.bulk.reset();
}

void ControlServer::SendEvent(uint64_t session, int type, const std::string& payload) {
    const auto it = connections_.find(session);
    if (it == connections_.end() || !it->second.loggedIn || it->second.dead)
        return;
    sdk::Frame event;
    event.kind = sdk::FrameKind::kEvent;
    event.code = static_cast<uint32_t>(type);
    event.payload = payload;
    it->second.out += sdk::EncodeFrame(event);
}

}  // namespace camfleet::sim
