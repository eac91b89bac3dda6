// The configuration file of a simulated camera (docs/camera-protocol.md, "Configuration
// file"): a NORVEKConfig document whose seven sections hold the camera's configuration
// documents. A config download serves it; a config upload is taken back whole or not at all,
// each document checked as a write of its code would be.

#include <tinyxml2.h>

#include <optional>
#include <string>
#include <string_view>

#include "device/codes.h"
#include "device/config_file.h"
#include "device/sdk/control_protocol.h"
#include "sim/control_camera.h"

namespace camfleet::sim {

namespace {

constexpr const char kRoot[] = "NORVEKConfig";
constexpr const char kDefaultMark[] = "SET_OEM_DEFAULT_CONFIG";
constexpr const char kRecordSection[] = "RecordConfig";
constexpr const char kRecordSchedule[] = "RecordSchedule";
constexpr const char kStreamSection[] = "MediaStreamConfig";  // also the stream-access root

// The sections in the order the camera prints them.
constexpr const char* kSections[] = {kRecordSection,  "ServerConfig", "SystemConfig",
                                     "NetworkConfig", "MediaConfig",  kStreamSection,
                                     "AlarmConfig"};

// Where a document sits in the file: a child of its section under its own root, or the one
// child of a wrapper element where two documents share a root (audio capture and audio
// encoding are both `Audio`). The stream-access document is its section itself and the
// record schedule has no code: both are handled apart.
struct Placement {
    const char* section;
    const char* wrapper;  // nullptr: the document is a child of the section
    const char* root;     // the document's root as the camera prints it
    int code;             // the write code whose checks it passes
};

constexpr Placement kPlacements[] = {
    {"ServerConfig", nullptr, "PlatformConfig", kCmdSetPlatform},
    {"SystemConfig", nullptr, "TimeConfig", kCmdSetTime},
    {"SystemConfig", nullptr, "MiscConfig", kCmdSetLanguage},
    {"SystemConfig", nullptr, "MaintainConfig", kCmdSetMaintenance},
    {"SystemConfig", nullptr, "UserConfig", kCmdSetAdminPassword},
    {"NetworkConfig", nullptr, "LANConfig", kCmdSetNetwork},
    {"NetworkConfig", nullptr, "P2PConfig", kCmdSetP2p},
    {"MediaConfig", nullptr, "Video", kCmdSetVideoCapture},
    {"MediaConfig", "AudioCapture", "Audio", kCmdSetAudioCapture},
    {"MediaConfig", nullptr, "Encode", kCmdSetVideoEncoding},
    {"MediaConfig", nullptr, "Overlay", kCmdSetOverlay},
    {"MediaConfig", "AudioEncoding", "Audio", kCmdSetAudioEncoding},
    {"AlarmConfig", nullptr, "MotionDetectAlarm", kCmdSetMotionDetect},
};

// Prints with one tab per indent level instead of tinyxml2's four blanks.
class TabPrinter : public tinyxml2::XMLPrinter {
public:
    TabPrinter() : tinyxml2::XMLPrinter(nullptr, false, 0) {}

protected:
    void PrintSpace(int depth) override {
        for (int i = 0; i < depth; ++i)
            Write("\t");
    }
};

std::string Printed(const tinyxml2::XMLNode& node) {
    TabPrinter printer;
    node.Accept(&printer);
    return std::string(printer.CStr(), static_cast<std::size_t>(printer.CStrSize() - 1));
}

int StoredUnder(int code) {
    const int read = ReadCodeOf(code);
    return read != 0 ? read : code;
}

// Copies `text`'s root into `file` under `parent`: whole, or only its attributes and
// children when `merge` (the stream-access document is its section).
void Place(const std::string& text, tinyxml2::XMLDocument* file, tinyxml2::XMLElement* parent,
           bool merge = false) {
    tinyxml2::XMLDocument document;
    if (document.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS ||
        document.RootElement() == nullptr)
        return;  // never so: every kept document was parsed when it was taken
    const tinyxml2::XMLElement* root = document.RootElement();
    if (!merge) {
        parent->InsertEndChild(root->DeepClone(file));
        return;
    }
    for (const tinyxml2::XMLAttribute* a = root->FirstAttribute(); a != nullptr; a = a->Next())
        parent->SetAttribute(a->Name(), a->Value());
    for (const tinyxml2::XMLNode* child = root->FirstChild(); child != nullptr;
         child = child->NextSibling())
        parent->InsertEndChild(child->DeepClone(file));
}

// The text of the document a file holds for `p`: nullopt when the file has none; an empty
// text for an empty wrapper, which no write takes.
std::optional<std::string> DocumentIn(const tinyxml2::XMLElement& root, const Placement& p) {
    const tinyxml2::XMLElement* section = root.FirstChildElement(p.section);
    if (p.wrapper == nullptr) {
        const tinyxml2::XMLElement* document = section->FirstChildElement(p.root);
        return document != nullptr ? std::optional(Printed(*document)) : std::nullopt;
    }
    const tinyxml2::XMLElement* wrapper = section->FirstChildElement(p.wrapper);
    if (wrapper == nullptr)
        return std::nullopt;
    const tinyxml2::XMLElement* document = wrapper->FirstChildElement();
    return document != nullptr ? Printed(*document) : std::string();
}

}  // namespace

std::string CameraDocuments::Export() const {
    tinyxml2::XMLDocument file;
    file.InsertEndChild(file.NewDeclaration());
    tinyxml2::XMLElement* root = file.NewElement(kRoot);
    file.InsertEndChild(root);
    for (const char* name : kSections) {
        tinyxml2::XMLElement* section = file.NewElement(name);
        root->InsertEndChild(section);
        if (name == kRecordSection)
            Place(recordSchedule_, &file, section);
        if (name == kStreamSection)
            Place(documents_.at(kCmdGetStreamAccess), &file, section, true);
        for (const Placement& p : kPlacements) {
            if (p.section != std::string_view(name))
                continue;
            tinyxml2::XMLElement* parent = section;
            if (p.wrapper != nullptr) {
                parent = file.NewElement(p.wrapper);
                section->InsertEndChild(parent);
            }
            Place(documents_.at(StoredUnder(p.code)), &file, parent);
        }
    }
    return Printed(file);
}

int32_t CameraDocuments::Import(std::string_view text, bool* defaultConfig) {
    *defaultConfig = false;
    tinyxml2::XMLDocument file;
    if (text.size() > kMaxConfigFileSize || !CheckConfigText(text) ||
        file.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS)
        return sdk::kStatusFailed;
    const tinyxml2::XMLElement& root = *file.RootElement();
    // Every document goes into a copy first: one refusal leaves the camera as it was.
    CameraDocuments next = *this;
    std::string password;  // stays empty: the account is never taken from a file
    for (const Placement& p : kPlacements) {
        const std::optional<std::string> document = DocumentIn(root, p);
        if (p.code == kCmdSetAdminPassword || !document)
            continue;
        if (next.Write(p.code, *document, &password) != sdk::kStatusOk)
            return sdk::kStatusFailed;
    }
    const tinyxml2::XMLElement* streams = root.FirstChildElement(kStreamSection);
    if (streams->FirstChildElement("StreamAccess") != nullptr &&
        next.Write(kCmdSetStreamAccess, Printed(*streams), &password) != sdk::kStatusOk)
        return sdk::kStatusFailed;
    const tinyxml2::XMLElement* schedule =
        root.FirstChildElement(kRecordSection)->FirstChildElement(kRecordSchedule);
    if (schedule != nullptr)
        next.recordSchedule_ = Printed(*schedule);
    next.KeepIdentityOf(*this);
    *this = std::move(next);
    *defaultConfig = root.Attribute(kDefaultMark, "1") != nullptr;
    return sdk::kStatusOk;
}

}  // namespace camfleet::sim
