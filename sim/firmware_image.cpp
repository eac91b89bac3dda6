#include "sim/firmware_image.h"

#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "device/sdk/bulk_protocol.h"

namespace camfleet::sim {
namespace {

bool IsValidText(std::string_view text) {
    return !text.empty() && text.size() <= kMaxFirmwareText &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

// The image digest is OpenSSL's SHA-256 (the bulk channel's), which uses the processor's SHA
// instructions: a lab camera checks every byte of an image as it arrives, and one lab thread
// serves every camera of an upgrade at once.
void HashInit(std::optional<sdk::Sha256>* hash) {
    hash->emplace();
}

void HashUpdate(std::optional<sdk::Sha256>* hash, std::span<const uint8_t> bytes) {
    (*hash)->Update(bytes.data(), bytes.size());
}

}  // namespace

bool IsValidFirmwareHeader(const FirmwareImageHeader& header) {
    return IsValidText(header.modelPattern) && IsValidText(header.version);
}

bool FirmwareModelMatches(std::string_view pattern, std::string_view model) {
    // Greedy match with one back-track point: the last '*' seen takes one more character
    // whenever the literal text after it fails.
    std::size_t p = 0;
    std::size_t m = 0;
    std::size_t star = std::string_view::npos;
    std::size_t starModel = 0;
    while (m < model.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            starModel = m;
        } else if (p < pattern.size() && pattern[p] == model[m]) {
            ++p;
            ++m;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            m = ++starModel;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

// ---- writer ----

struct FirmwareImageWriter::State {
    Sink sink;
    std::optional<sdk::Sha256> hash;
    uint64_t declared = 0;
    uint64_t written = 0;
    bool open = false;  // between a successful Begin and Finish
};

FirmwareImageWriter::FirmwareImageWriter(Sink sink) : state_(std::make_unique<State>()) {
    state_->sink = std::move(sink);
}

FirmwareImageWriter::~FirmwareImageWriter() = default;

bool FirmwareImageWriter::Begin(const FirmwareImageHeader& header) {
    if (state_->open || !IsValidFirmwareHeader(header))
        return false;
    std::vector<uint8_t> bytes(kFirmwareMagic, kFirmwareMagic + kFirmwareMagicSize);
    bytes.push_back(static_cast<uint8_t>(header.modelPattern.size()));
    bytes.insert(bytes.end(), header.modelPattern.begin(), header.modelPattern.end());
    bytes.push_back(static_cast<uint8_t>(header.version.size()));
    bytes.insert(bytes.end(), header.version.begin(), header.version.end());
    for (int shift = 56; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<uint8_t>(header.payloadSize >> shift));
    HashInit(&state_->hash);
    HashUpdate(&state_->hash, bytes);
    state_->declared = header.payloadSize;
    state_->written = 0;
    state_->open = state_->sink(bytes);
    return state_->open;
}

bool FirmwareImageWriter::Write(std::span<const uint8_t> chunk) {
    if (!state_->open || chunk.size() > state_->declared - state_->written)
        return false;
    HashUpdate(&state_->hash, chunk);
    state_->written += chunk.size();
    state_->open = state_->sink(chunk);
    return state_->open;
}

bool FirmwareImageWriter::Finish() {
    if (!state_->open || state_->written != state_->declared)
        return false;
    state_->open = false;
    uint8_t digest[kFirmwareDigestSize];
    state_->hash->Final(digest);
    return state_->sink(digest);
}

// ---- checker ----

std::string_view FirmwareImageFaultName(FirmwareImageFault fault) {
    switch (fault) {
        case FirmwareImageFault::kNone:
            return "valid";
        case FirmwareImageFault::kBadMagic:
            return "bad magic";
        case FirmwareImageFault::kBadHeader:
            return "bad header";
        case FirmwareImageFault::kTruncated:
            return "truncated";
        case FirmwareImageFault::kWrongLength:
            return "wrong length";
        case FirmwareImageFault::kDigestMismatch:
            return "digest mismatch";
        case FirmwareImageFault::kModelMismatch:
            return "model mismatch";
    }
    return "unknown";
}

struct FirmwareImageChecker::State {
    enum class Phase { kHeader, kPayload, kDigest, kEnd };
    std::string cameraModel;
    uint64_t maxPayload = 0;
    Phase phase = Phase::kHeader;
    std::vector<uint8_t> header;  // at most 18 + 2 * kMaxFirmwareText bytes
    std::vector<uint8_t> digest;  // the stored digest as it arrives
    uint64_t payloadLeft = 0;
    sdk::Sha256 fed;                             // every byte fed, in order
    uint8_t computed[kFirmwareDigestSize] = {};  // of header and payload, once both are in
    FirmwareImageVerdict verdict;

    // Header bytes still wanted with what has arrived: the size grows as the length bytes
    // arrive. Sets a fault when the bytes that have arrived are already wrong.
    std::size_t HeaderWanted() {
        const std::size_t have = header.size();
        // A wrong first byte is enough to refuse the image.
        if (have > 0 &&
            std::memcmp(header.data(), kFirmwareMagic, std::min(have, kFirmwareMagicSize)) != 0)
            return Fail(FirmwareImageFault::kBadMagic);
        if (have < kFirmwareMagicSize)
            return kFirmwareMagicSize - have;
        std::size_t end = kFirmwareMagicSize + 1;  // through the model length byte
        if (have < end)
            return end - have;
        const std::size_t modelSize = header[kFirmwareMagicSize];
        if (modelSize == 0 || modelSize > kMaxFirmwareText)
            return Fail(FirmwareImageFault::kBadHeader);
        end += modelSize + 1;  // through the version length byte
        if (have < end)
            return end - have;
        const std::size_t versionSize = header[end - 1];
        if (versionSize == 0 || versionSize > kMaxFirmwareText)
            return Fail(FirmwareImageFault::kBadHeader);
        end += versionSize + 8;
        return end - have;
    }

    // The whole header has arrived: checks its texts, the length and the model.
    void ReadHeader() {
        const std::size_t modelSize = header[kFirmwareMagicSize];
        const char* text = reinterpret_cast<const char*>(header.data());
        const std::size_t modelAt = kFirmwareMagicSize + 1;
        const std::size_t versionAt = modelAt + modelSize + 1;
        const std::size_t versionSize = header[versionAt - 1];
        verdict.modelPattern.assign(text + modelAt, modelSize);
        verdict.version.assign(text + versionAt, versionSize);
        for (std::size_t i = versionAt + versionSize; i < header.size(); ++i)
            verdict.payloadSize = verdict.payloadSize << 8 | header[i];
        payloadLeft = verdict.payloadSize;
        phase = Phase::kPayload;
        if (payloadLeft == 0)
            PayloadEnded();
        if (!IsValidText(verdict.modelPattern) || !IsValidText(verdict.version))
            Fail(FirmwareImageFault::kBadHeader);
        else if (verdict.payloadSize > maxPayload)
            Fail(FirmwareImageFault::kWrongLength);
        else if (!FirmwareModelMatches(verdict.modelPattern, cameraModel))
            Fail(FirmwareImageFault::kModelMismatch);
    }

    // The image's digest is the running one at this point; the running one goes on over the
    // stored digest and whatever follows.
    void PayloadEnded() {
        sdk::Sha256 image;
        image.Assign(fed);
        image.Final(computed);
        phase = Phase::kDigest;
    }

    void CheckDigest() {
        phase = Phase::kEnd;
        if (std::memcmp(computed, digest.data(), kFirmwareDigestSize) != 0)
            Fail(FirmwareImageFault::kDigestMismatch);
    }

    std::size_t Fail(FirmwareImageFault fault) {
        verdict.fault = fault;
        return 0;
    }
};

FirmwareImageChecker::FirmwareImageChecker(std::string cameraModel, uint64_t maxPayload)
    : state_(std::make_unique<State>()) {
    state_->cameraModel = std::move(cameraModel);
    state_->maxPayload = maxPayload;
}

FirmwareImageChecker::~FirmwareImageChecker() = default;

bool FirmwareImageChecker::Feed(std::span<const uint8_t> chunk) {
    State& s = *state_;
    using Phase = State::Phase;
    while (s.verdict.fault == FirmwareImageFault::kNone && !chunk.empty()) {
        std::size_t take = 0;
        switch (s.phase) {
            case Phase::kHeader: {
                take = std::min(s.HeaderWanted(), chunk.size());
                s.header.insert(s.header.end(), chunk.begin(), chunk.begin() + take);
                s.fed.Update(chunk.data(), take);
                // Zero: either the header is whole or what arrived is already wrong.
                if (s.HeaderWanted() == 0 && s.verdict.fault == FirmwareImageFault::kNone)
                    s.ReadHeader();
                break;
            }
            case Phase::kPayload:
                take = static_cast<std::size_t>(std::min<uint64_t>(s.payloadLeft, chunk.size()));
                s.fed.Update(chunk.data(), take);
                s.payloadLeft -= take;
                if (s.payloadLeft == 0)
                    s.PayloadEnded();
                break;
            case Phase::kDigest:
                take = std::min(kFirmwareDigestSize - s.digest.size(), chunk.size());
                s.digest.insert(s.digest.end(), chunk.begin(), chunk.begin() + take);
                s.fed.Update(chunk.data(), take);
                if (s.digest.size() == kFirmwareDigestSize)
                    s.CheckDigest();
                break;
            case Phase::kEnd:
                s.Fail(FirmwareImageFault::kWrongLength);
                break;
        }
        chunk = chunk.subspan(take);
    }
    s.fed.Update(chunk.data(), chunk.size());  // what a fault left unread
    return s.verdict.fault == FirmwareImageFault::kNone;
}

std::string FirmwareImageChecker::FedDigestHex() const {
    sdk::Sha256 copy;
    copy.Assign(state_->fed);
    return copy.Hex();
}

FirmwareImageVerdict FirmwareImageChecker::Finish() const {
    FirmwareImageVerdict verdict = state_->verdict;
    if (verdict.fault == FirmwareImageFault::kNone && state_->phase != State::Phase::kEnd)
        verdict.fault = FirmwareImageFault::kTruncated;
    return verdict;
}

// ---- lab image files ----

void FirmwareFiller(uint64_t offset, std::span<uint8_t> out) {
    // Byte i is byte (i % 8) of splitmix64(i / 8): cheap, and no two nearby blocks alike.
    for (std::size_t k = 0; k < out.size(); ++k) {
        const uint64_t at = offset + k;
        uint64_t z = (at / 8 + 1) * 0x9E3779B97F4A7C15ULL;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        z ^= z >> 31;
        out[k] = static_cast<uint8_t>(z >> (8 * (at % 8)));
    }
}

bool WriteLabFirmwareFile(const std::string& path, const FirmwareImageHeader& header,
                          std::string* error) {
    if (!IsValidFirmwareHeader(header)) {
        *error = "the model pattern and the version must be 1 to 127 printable ASCII characters";
        return false;
    }
    // Written beside the target and renamed over it at the end: a failed write leaves the
    // file that was there before, never a truncated image.
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) {
        *error = path + ": " + file.errorString().toStdString();
        return false;
    }
    FirmwareImageWriter writer([&](std::span<const uint8_t> bytes) {
        const auto size = static_cast<qint64>(bytes.size());
        return file.write(reinterpret_cast<const char*>(bytes.data()), size) == size;
    });
    bool ok = writer.Begin(header);
    std::vector<uint8_t> chunk(64 * 1024);
    for (uint64_t offset = 0; ok && offset < header.payloadSize; offset += chunk.size()) {
        const auto size =
            static_cast<std::size_t>(std::min<uint64_t>(chunk.size(), header.payloadSize - offset));
        FirmwareFiller(offset, std::span(chunk).first(size));
        ok = writer.Write(std::span(chunk).first(size));
    }
    ok = ok && writer.Finish() && file.commit();
    if (!ok) {
        *error = path + ": " + file.errorString().toStdString();
        file.cancelWriting();
    }
    return ok;
}

}  // namespace camfleet::sim
