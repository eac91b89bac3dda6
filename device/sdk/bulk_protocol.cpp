#include "device/sdk/bulk_protocol.h"

#include <charconv>
#include <map>

#include "device/sdk/control_protocol.h"
#include "device/sdk/secure_channel.h"

namespace camfleet::sdk {

namespace {

constexpr std::size_t kMaxNameBytes = 128;

using Attributes = std::map<std::string, std::string>;

// The attributes of `text` when its element is `name` (names and values as printed here
// never need entities: see ValidBulkName).
bool Element(std::string_view text, const char* name, Attributes* attributes) {
    if (FirstElementName(text) != name)
        return false;
    *attributes = ReadAttributes(text);
    return true;
}

std::string Text(const Attributes& a, const char* name) {
    const auto it = a.find(name);
    return it != a.end() ? it->second : "";
}

// A decimal attribute; false when present but not a number. Missing: `*value` stays.
bool Number(const Attributes& a, const char* name, uint64_t* value) {
    const auto it = a.find(name);
    if (it == a.end())
        return true;
    const std::string& s = it->second;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), *value);
    return error == std::errc() && end == s.data() + s.size() && !s.empty();
}

bool LowerHex(std::string_view text, std::size_t digits) {
    if (text.size() != digits)
        return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

template <typename Enum, std::size_t N>
bool Lookup(const char* const (&names)[N], const std::string& text, Enum* out) {
    for (std::size_t i = 0; i < N; ++i)
        if (text == names[i]) {
            *out = static_cast<Enum>(i);
            return true;
        }
    return false;
}

const char* const kDirections[] = {"upload", "download", "talk"};
const char* const kPurposes[] = {"firmware", "config", "oem-app", "file", "audio"};

// Which purposes travel in which direction.
bool Fits(BulkDirection direction, BulkPurpose purpose) {
    switch (direction) {
        case BulkDirection::kUpload:
            return purpose != BulkPurpose::kAudio;
        case BulkDirection::kDownload:
            return purpose == BulkPurpose::kConfig || purpose == BulkPurpose::kFile;
        case BulkDirection::kTalk:
            return purpose == BulkPurpose::kAudio;
    }
    return false;
}

}  // namespace

const char* DirectionName(BulkDirection direction) {
    return kDirections[static_cast<int>(direction)];
}

const char* PurposeName(BulkPurpose purpose) {
    return kPurposes[static_cast<int>(purpose)];
}

bool ValidBulkName(std::string_view name) {
    if (name.empty() || name.size() > kMaxNameBytes)
        return false;
    for (char c : name)
        if (c < 0x20 || c > 0x7E || c == '/' || c == '\\' || c == '"' || c == '\'' || c == '&' ||
            c == '<' || c == '>')
            return false;
    return name != "." && name != "..";
}

uint64_t ChunkCount(uint64_t size) {
    return size == 0 ? 1 : (size + kBulkChunk - 1) / kBulkChunk;
}

std::string PrintBulkOpen(const BulkOpen& open) {
    std::string text = std::string("<Bulk Direction=\"") + DirectionName(open.direction) +
                       "\" Purpose=\"" + PurposeName(open.purpose) + "\"";
    if (!open.name.empty())
        text += " Name=\"" + open.name + "\"";
    if (open.direction == BulkDirection::kUpload)
        text += " Size=\"" + std::to_string(open.size) + "\"";
    if (open.direction == BulkDirection::kTalk)
        text += " Format=\"" + std::to_string(open.format) + "\"";
    return text + " />";
}

bool ParseBulkOpen(std::string_view text, BulkOpen* open) {
    Attributes root;
    if (!Element(text, "Bulk", &root) ||
        !Lookup(kDirections, Text(root, "Direction"), &open->direction) ||
        !Lookup(kPurposes, Text(root, "Purpose"), &open->purpose) ||
        !Fits(open->direction, open->purpose))
        return false;
    open->name = Text(root, "Name");
    open->size = 0;
    open->format = 0;
    switch (open->direction) {
        case BulkDirection::kUpload:
            return ValidBulkName(open->name) && root.count("Size") != 0 &&
                   Number(root, "Size", &open->size);
        case BulkDirection::kDownload:
            // The configuration export has one name; a file is named.
            return open->purpose == BulkPurpose::kConfig
                       ? open->name.empty() || ValidBulkName(open->name)
                       : ValidBulkName(open->name);
        case BulkDirection::kTalk: {
            uint64_t format = 0;
            if (root.count("Format") == 0 || !Number(root, "Format", &format) || format > 255)
                return false;
            open->format = static_cast<int>(format);
            return true;
        }
    }
    return false;
}

std::string PrintBulkGrant(const BulkGrant& grant) {
    std::string text = "<Bulk Token=\"" + grant.token + "\"";
    if (!grant.digest.empty())
        text += " Size=\"" + std::to_string(grant.size) + "\" Digest=\"" + grant.digest + "\"";
    return text + " />";
}

bool ParseBulkGrant(std::string_view text, BulkGrant* grant) {
    Attributes root;
    if (!Element(text, "Bulk", &root))
        return false;
    grant->token = Text(root, "Token");
    grant->digest = Text(root, "Digest");
    grant->size = 0;
    return LowerHex(grant->token, 32) && Number(root, "Size", &grant->size) &&
           (grant->digest.empty() || LowerHex(grant->digest, 64));
}

std::string PrintAttach(std::string_view token) {
    return "<Attach Token=\"" + std::string(token) + "\" />";
}

std::string ParseAttach(std::string_view text) {
    Attributes root;
    const std::string token = Element(text, "Attach", &root) ? Text(root, "Token") : "";
    return LowerHex(token, 32) ? token : "";
}

std::string PrintBulkEnd(int32_t status, uint64_t size) {
    return "<BulkEnd Status=\"" + std::to_string(status) + "\" Size=\"" + std::to_string(size) +
           "\" />";
}

bool ParseBulkEnd(std::string_view text, int32_t* status) {
    Attributes root;
    uint64_t value = 256;
    if (!Element(text, "BulkEnd", &root) || root.count("Status") == 0 ||
        !Number(root, "Status", &value) || value > 255)
        return false;
    *status = static_cast<int32_t>(value);
    return true;
}

std::string PrintUpgradeProgress(int percent) {
    return "<Upgrade Progress=\"" + std::to_string(percent) + "\" />";
}

bool ParseUpgradeProgress(std::string_view text, int* percent) {
    Attributes root;
    uint64_t value = 101;
    if (!Element(text, "Upgrade", &root) || root.count("Progress") == 0 ||
        !Number(root, "Progress", &value) || value > 100)
        return false;
    *percent = static_cast<int>(value);
    return true;
}

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
    EVP_DigestInit_ex(context_, EVP_sha256(), nullptr);
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(context_);
}

void Sha256::Update(const void* data, std::size_t size) {
    EVP_DigestUpdate(context_, data, size);
}

void Sha256::Assign(const Sha256& other) {
    EVP_MD_CTX_copy_ex(context_, other.context_);
}

void Sha256::Final(uint8_t out[32]) {
    unsigned int size = 0;
    EVP_DigestFinal_ex(context_, out, &size);
}

std::string Sha256::Hex() {
    uint8_t out[32];
    Final(out);
    return ToHex(out, sizeof out);
}

}  // namespace camfleet::sdk
