// The camera's configuration file, driven by a hand-made client: the export a config download
// serves, a config upload applied whole or not at all, what a file never changes, and the
// default configuration with its confirmation.

#include <tinyxml2.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "device/codes.h"
#include "device/config_file.h"
#include "device/records.h"
#include "device/sdk/bulk_protocol.h"
#include "device/sdk/control_frame.h"
#include "device/sdk/control_protocol.h"
#include "device/xml_messages.h"
#include "sim/control_server.h"
#include "tests/sim/bulk_client.h"

namespace camfleet::sim {
namespace {

constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

std::string FileEvent(const std::string& name) {
    return "<RESPONSE_PARAM LocalFileName=\"" + name + "\" />";
}

// Element names from the root down.
using Path = std::vector<const char*>;

// A configuration file to look into or change: parsed, edited through tinyxml2, printed.
class ConfigFile {
public:
    explicit ConfigFile(const std::string& text) {
        EXPECT_EQ(doc_.Parse(text.data(), text.size()), tinyxml2::XML_SUCCESS) << text;
    }
    // The element at `path` below the root (the first of each name), or nullptr.
    tinyxml2::XMLElement* At(const Path& path) {
        tinyxml2::XMLElement* element = doc_.RootElement();
        for (const char* name : path)
            element = element != nullptr ? element->FirstChildElement(name) : nullptr;
        return element;
    }
    // Attribute `name` of the element at `path`; "(missing)" when either is missing.
    std::string Value(const Path& path, const char* name) {
        const tinyxml2::XMLElement* element = At(path);
        const char* value = element != nullptr ? element->Attribute(name) : nullptr;
        return value != nullptr ? value : "(missing)";
    }
    void Set(const Path& path, const char* name, const char* value) {
        tinyxml2::XMLElement* element = At(path);
        ASSERT_NE(element, nullptr);
        element->SetAttribute(name, value);
    }
    void Remove(const Path& path) {
        tinyxml2::XMLElement* element = At(path);
        ASSERT_NE(element, nullptr);
        element->Parent()->DeleteChild(element);
    }
    tinyxml2::XMLDocument& doc() { return doc_; }
    std::string Text() const {
        tinyxml2::XMLPrinter printer;
        doc_.Print(&printer);
        return printer.CStr();
    }

private:
    tinyxml2::XMLDocument doc_;
};

class ControlConfigTest : public BulkCameraTest {
protected:
    void SetUp() override {
        ControlLimits limits;
        limits.maxBulkPerSession = 8;  // the caps have tests of their own
        limits.maxBulkPerCamera = 16;
        server_.SetLimits(limits);
        id_ = AddCamera();
        server_.Start();
        session_ = Session(id_);
    }
    // A whole config upload of `bytes` named `name` on the test's session: the end frame.
    End Upload(const std::string& name, const std::string& bytes) {
        Client bulk(server_.Port(id_));
        EXPECT_EQ(Attach(bulk, Token(*session_, sim::Upload(name, bytes))), sdk::kStatusOk);
        Send(bulk, bytes);
        return EndOf(bulk);
    }
    // The configuration export downloaded over a bulk connection; its size and digest must be
    // the grant's.
    std::string Download() {
        const sdk::Frame answer =
            Open(*session_, {sdk::BulkDirection::kDownload, sdk::BulkPurpose::kConfig, {}, 0, 0});
        sdk::BulkGrant grant;
        EXPECT_EQ(answer.status, sdk::kStatusOk);
        EXPECT_TRUE(sdk::ParseBulkGrant(answer.payload, &grant)) << answer.payload;
        Client bulk(server_.Port(id_));
        EXPECT_EQ(Attach(bulk, grant.token), sdk::kStatusOk);
        std::string file;
        sdk::Frame frame;
        uint32_t chunks = 0;
        while (bulk.Next(&frame) && frame.code == sdk::kBulkDownload) {
            file += frame.payload;
            ++chunks;
            if ((frame.param & sdk::kBulkLastChunk) != 0)
                break;
        }
        EXPECT_EQ(file.size(), grant.size);
        EXPECT_EQ(DigestOf(file), grant.digest);
        sdk::Frame end;
        end.kind = sdk::FrameKind::kData;
        end.code = sdk::kBulkEnd;
        end.sequence = chunks;
        end.payload = sdk::PrintBulkEnd(sdk::kStatusOk, file.size());
        EXPECT_TRUE(bulk.Send(sdk::EncodeFrame(end)));
        return file;
    }
    // A read or write request of document `code` on the test's session: the answer.
    sdk::Frame Document(sdk::Access access, int code, const std::string& payload = {}) {
        sdk::Frame request;
        request.code = static_cast<uint32_t>(code);
        request.param = sdk::RequestParam(access);
        request.sequence = ++sequence_;
        request.payload = payload;
        sdk::Frame answer;
        EXPECT_TRUE(session_->Send(sdk::EncodeFrame(request)));
        while (session_->Next(&answer))
            if (answer.kind == sdk::FrameKind::kAnswer)
                return answer;
        ADD_FAILURE() << "no answer to " << code;
        return answer;
    }
    std::string Brightness() {
        const sdk::Frame answer = Document(sdk::Access::kRead, kCmdGetVideoCapture);
        EXPECT_EQ(answer.status, sdk::kStatusOk);
        const std::string text = answer.payload;
        const std::size_t at = text.find("Brightness=\"");
        return at == std::string::npos ? "(missing)"
                                       : text.substr(at + 12, text.find('"', at + 12) - at - 12);
    }
    int id_ = 0;
    std::unique_ptr<Client> session_;
};

TEST_F(ControlConfigTest, TheDownloadIsAConfigurationFileOfTheCameraAsItIsNow) {
    const std::string factory = Download();
    EXPECT_TRUE(CheckConfigText(factory)) << factory;
    EXPECT_EQ(factory, server_.ConfigExport(id_));
    EXPECT_TRUE(factory.starts_with(std::string(kDeclaration) +
                                    "<NORVEKConfig>\n\t<RecordConfig>\n\t\t<RecordSchedule "))
        << factory;

    ConfigFile file(factory);
    const std::string port = std::to_string(server_.Port(id_));
    const struct {
        Path path;
        const char* attribute;
        std::string value;
    } placed[] = {
        {{"RecordConfig", "RecordSchedule"}, "Enable", "0"},
        {{"ServerConfig", "PlatformConfig"}, "Enable", "0"},
        {{"SystemConfig", "TimeConfig", "NTPConfig"}, "ServerIP", "pool.ntp.org"},
        {{"SystemConfig", "MiscConfig"}, "Language", "en_us"},
        {{"SystemConfig", "MaintainConfig"}, "Day", "7"},
        {{"SystemConfig", "UserConfig", "Account"}, "Password", "******"},
        {{"NetworkConfig", "LANConfig"}, "IPAddress", "127.0.0.1"},
        {{"NetworkConfig", "P2PConfig"}, "Enable", "1"},
        {{"MediaConfig", "Video", "Capture"}, "Brightness", "128"},
        {{"MediaConfig", "AudioCapture", "Audio", "Capture"}, "Volume", "50"},
        {{"MediaConfig", "Encode", "EncodeConfig"}, "Resolution", "1920x1080"},
        {{"MediaConfig", "Overlay", "TimeOverlay"}, "PosX", "16"},
        {{"MediaConfig", "AudioEncoding", "Audio", "Encode"}, "EncodeType", "G711A"},
        {{"MediaStreamConfig", "StreamAccess"}, "PTZPort", port},
        {{"AlarmConfig", "MotionDetectAlarm"}, "Sensitivity", "60"},
    };
    for (const auto& p : placed)
        EXPECT_EQ(file.Value(p.path, p.attribute), p.value) << p.attribute;

    // Writes show in the next export; the new password never does.
    ASSERT_EQ(Document(sdk::Access::kWrite, kCmdSetVideoCapture,
                       "<Video><Capture Brightness=\"200\" /></Video>")
                  .status,
              sdk::kStatusOk);
    ASSERT_EQ(
        Document(sdk::Access::kWrite, kCmdSetLanguage, "<MiscConfig Language=\"zh_cn\" />").status,
        sdk::kStatusOk);
    ASSERT_EQ(
        Document(sdk::Access::kWrite, kCmdSetAdminPassword,
                 "<UserConfig><Account Username=\"admin\" Password=\"Secret-42\" /></UserConfig>")
            .status,
        sdk::kStatusOk);
    const std::string changed = Download();
    ConfigFile after(changed);
    EXPECT_EQ(after.Value({"MediaConfig", "Video", "Capture"}, "Brightness"), "200");
    EXPECT_EQ(after.Value({"SystemConfig", "MiscConfig"}, "Language"), "zh_cn");
    EXPECT_EQ(after.Value({"SystemConfig", "UserConfig", "Account"}, "Password"), "******");
    EXPECT_EQ(changed.find("Secret-42"), std::string::npos);
}

TEST_F(ControlConfigTest, AnUploadChangesTheDocumentsItCarriesAndIgnoresWhatItDoesNotKnow) {
    ConfigFile file(server_.ConfigExport(id_));
    file.Set({"MediaConfig", "Video", "Capture"}, "Brightness", "77");
    file.Set({"MediaConfig", "AudioCapture", "Audio", "Capture"}, "Volume", "30");
    file.Set({"MediaConfig", "AudioEncoding", "Audio", "Encode"}, "SampleRate", "16000");
    file.Set({"SystemConfig", "MiscConfig"}, "Language", "de_de");
    file.Set({"RecordConfig", "RecordSchedule"}, "Enable", "1");
    file.Set({"AlarmConfig", "MotionDetectAlarm"}, "Enable", "1");
    file.Remove({"SystemConfig", "TimeConfig"});  // left out: stays as it is
    tinyxml2::XMLDocument& doc = file.doc();
    file.At({"MediaConfig"})->InsertEndChild(doc.NewElement("Fisheye"));
    doc.RootElement()->InsertEndChild(doc.NewElement("StorageConfig"));
    const std::string timeBefore = server_.Document(id_, kCmdSetTime);
    const std::string text = file.Text();

    const End end = Upload("site.xml", text);
    EXPECT_EQ(end.status, sdk::kStatusOk);
    EXPECT_EQ(end.size, text.size());
    const std::vector<sdk::Frame> events = EventsSoFar(*session_);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, static_cast<uint32_t>(kEventFileDone));
    EXPECT_EQ(events[0].payload, FileEvent("site.xml"));

    EXPECT_EQ(Brightness(), "77");
    EXPECT_NE(server_.Document(id_, kCmdGetAudioCapture).find("Volume=\"30\""), std::string::npos);
    EXPECT_NE(server_.Document(id_, kCmdSetAudioEncoding).find("SampleRate=\"16000\""),
              std::string::npos);
    EXPECT_NE(server_.Document(id_, kCmdSetLanguage).find("de_de"), std::string::npos);
    EXPECT_EQ(server_.Document(id_, kCmdSetTime), timeBefore);
    ConfigFile after(server_.ConfigExport(id_));
    EXPECT_EQ(after.Value({"RecordConfig", "RecordSchedule"}, "Enable"), "1");
    EXPECT_EQ(after.Value({"AlarmConfig", "MotionDetectAlarm"}, "Enable"), "1");
    EXPECT_EQ(after.At({"MediaConfig", "Fisheye"}), nullptr);
    EXPECT_EQ(server_.UploadedFile(id_, sdk::BulkPurpose::kConfig)->name, "site.xml");
    EXPECT_EQ(server_.DefaultConfigsApplied(id_), 0);

    // A factory restore brings back the factory documents and record schedule.
    ASSERT_EQ(Document(sdk::Access::kCommand, kCtlFactoryRestore, "<REQUEST_PARAM />").status,
              sdk::kStatusOk);
    ConfigFile restored(server_.ConfigExport(id_));
    EXPECT_EQ(restored.Value({"RecordConfig", "RecordSchedule"}, "Enable"), "0");
    EXPECT_EQ(Brightness(), "128");
}

TEST_F(ControlConfigTest, AFileNeverChangesAddressesPortsOrTheAccount) {
    const std::string lanBefore = server_.Document(id_, kCmdGetNetwork);
    ConfigFile file(server_.ConfigExport(id_));
    const Path lan = {"NetworkConfig", "LANConfig"};
    file.Set(lan, "MacAddress", "02:00:00:00:00:09");
    file.Set(lan, "DHCP", "1");
    file.Set(lan, "IPAddress", "10.9.9.9");
    file.Set(lan, "Netmask", "255.255.0.0");
    file.Set(lan, "Gateway", "10.9.0.1");
    file.Set(lan, "DNS1", "1.1.1.1");
    file.Set(lan, "DNS2", "1.0.0.1");
    file.Set(lan, "ALLNET", "1");
    const Path access = {"MediaStreamConfig", "StreamAccess"};
    file.Set(access, "PTZPort", "1");
    file.Set(access, "VideoPort", "2");
    file.Set(access, "WEBPort", "3");
    file.Set(access, "hik_port", "8100");
    file.Set({"SystemConfig", "UserConfig", "Account"}, "Username", "root");
    file.Set({"SystemConfig", "UserConfig", "Account"}, "Password", "Taken-1");

    ASSERT_EQ(Upload("fleet.xml", file.Text()).status, sdk::kStatusOk);
    auto expected = sdk::ReadAttributes(lanBefore);
    expected["ALLNET"] = "1";  // the one network setting a file carries
    EXPECT_EQ(sdk::ReadAttributes(server_.Document(id_, kCmdGetNetwork)), expected);
    StreamAccessRecord streams;
    ASSERT_EQ(ParseStreamAccessDocument(server_.Document(id_, kCmdGetStreamAccess), &streams), 0);
    EXPECT_EQ(streams.ptzPort, server_.Port(id_));
    EXPECT_EQ(streams.videoPort, 554);
    EXPECT_EQ(streams.webPort, 80);
    EXPECT_EQ(streams.hikPort, 8100);
    EXPECT_EQ(server_.Password(id_), kTestPassword);
    EXPECT_NE(server_.Document(id_, kCmdSetAdminPassword).find("Username=\"admin\""),
              std::string::npos);
    Client again(server_.Port(id_));
    EXPECT_EQ(again.Login(kTestPassword), sdk::kStatusOk);
}

TEST_F(ControlConfigTest, ARefusedFileChangesNothing) {
    const std::string factory = server_.ConfigExport(id_);
    // Each case edits the camera's own export; all of them change the language too, which
    // must not stick.
    const struct {
        const char* what;
        std::string (*make)(ConfigFile& file);
    } cases[] = {
        {"not XML", [](ConfigFile&) { return std::string("Language=de_de, Brightness=1"); }},
        {"another root",
         [](ConfigFile& f) {
             f.doc().RootElement()->SetName("CameraConfig");
             return f.Text();
         }},
        {"a section missing",
         [](ConfigFile& f) {
             f.Remove({"AlarmConfig"});
             return f.Text();
         }},
        {"brightness out of range",
         [](ConfigFile& f) {
             f.Set({"MediaConfig", "Video", "Capture"}, "Brightness", "999");
             return f.Text();
         }},
        {"a DHCP flag out of range, though a file never sets it",
         [](ConfigFile& f) {
             f.Set({"NetworkConfig", "LANConfig"}, "DHCP", "2");
             return f.Text();
         }},
        {"a language document without its language",
         [](ConfigFile& f) {
             f.At({"SystemConfig", "MiscConfig"})->DeleteAttribute("Language");
             return f.Text();
         }},
        {"an empty audio-capture wrapper",
         [](ConfigFile& f) {
             f.Remove({"MediaConfig", "AudioCapture", "Audio"});
             return f.Text();
         }},
        {"audio encoding under another root",
         [](ConfigFile& f) {
             f.At({"MediaConfig", "AudioEncoding", "Audio"})->SetName("Encode");
             return f.Text();
         }},
        {"larger than a configuration file may be",
         [](ConfigFile& f) {
             std::string text = f.Text();
             const std::string padding =
                 "<!-- " + std::string(CameraDocuments::kMaxConfigFileSize, 'x') + " -->";
             return text.insert(text.rfind("</NORVEKConfig>"), padding);
         }},
    };
    int failed = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ConfigFile file(factory);
        file.Set({"SystemConfig", "MiscConfig"}, "Language", "de_de");
        const std::string text = c.make(file);
        EXPECT_EQ(Upload("bad.xml", text).status, sdk::kStatusFailed);
        const std::vector<sdk::Frame> events = EventsSoFar(*session_);
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].code, static_cast<uint32_t>(kEventFileFailed));
        EXPECT_EQ(events[0].payload, FileEvent("bad.xml"));
        EXPECT_EQ(server_.ConfigExport(id_), factory);
        EXPECT_EQ(server_.UploadsFailed(id_), ++failed);
    }
    EXPECT_FALSE(server_.UploadedFile(id_, sdk::BulkPurpose::kConfig).has_value());
    EXPECT_EQ(server_.UploadsAccepted(id_), 0);
}

TEST_F(ControlConfigTest, ADefaultConfigurationIsAppliedCountedAndConfirmedToItsSession) {
    auto other = Session(id_);
    ConfigFile file(server_.ConfigExport(id_));
    file.Set({"MediaConfig", "Video", "Capture"}, "Brightness", "90");
    std::string marked;
    ASSERT_TRUE(PrintDefaultConfig(file.Text(), &marked));  // the tool's own default file

    ASSERT_EQ(Upload(kDefaultConfigFileName, marked).status, sdk::kStatusOk);
    const std::vector<sdk::Frame> events = EventsSoFar(*session_);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].code, static_cast<uint32_t>(kEventFileDone));
    EXPECT_EQ(events[0].payload, FileEvent(kDefaultConfigFileName));
    EXPECT_EQ(events[1].code, static_cast<uint32_t>(kEventUpgradeDone));
    EXPECT_EQ(events[1].payload,
              "<RESPONSE_PARAM LocalFileName=\"config.defaut.xml\" DefaultConfig=\"1\" />");
    EXPECT_TRUE(EventsSoFar(*other).empty()) << "only the uploading session hears of it";
    EXPECT_EQ(Brightness(), "90");
    EXPECT_EQ(server_.DefaultConfigsApplied(id_), 1);
    EXPECT_EQ(server_.LastDefaultConfig(id_), kDefaultConfigFileName);

    // Neither a file without the mark, nor one marked otherwise, nor a refused default is a
    // default configuration taken.
    ConfigFile zero(marked);
    zero.doc().RootElement()->SetAttribute("SET_OEM_DEFAULT_CONFIG", "0");
    ConfigFile refused(marked);
    refused.Set({"MediaConfig", "Video", "Capture"}, "Brightness", "999");
    const struct {
        const char* name;
        std::string text;
        int32_t status;
        int event;
    } others[] = {
        {"plain.xml", file.Text(), sdk::kStatusOk, kEventFileDone},
        {"zero.xml", zero.Text(), sdk::kStatusOk, kEventFileDone},
        {"refused.xml", refused.Text(), sdk::kStatusFailed, kEventFileFailed},
    };
    for (const auto& o : others) {
        SCOPED_TRACE(o.name);
        EXPECT_EQ(Upload(o.name, o.text).status, o.status);
        const std::vector<sdk::Frame> after = EventsSoFar(*session_);
        ASSERT_EQ(after.size(), 1u);
        EXPECT_EQ(after[0].code, static_cast<uint32_t>(o.event));
    }
    EXPECT_EQ(server_.DefaultConfigsApplied(id_), 1);
    EXPECT_EQ(server_.LastDefaultConfig(id_), kDefaultConfigFileName);
}

TEST_F(ControlConfigTest, ACameraThatDoesNotConfirmStillAppliesAndCountsTheDefault) {
    server_.SetConfirmDefaultConfig(id_, false);
    ConfigFile file(server_.ConfigExport(id_));
    file.Set({"MediaConfig", "Video", "Capture"}, "Brightness", "33");
    std::string marked;
    ASSERT_TRUE(PrintDefaultConfig(file.Text(), &marked));

    ASSERT_EQ(Upload("site-default.xml", marked).status, sdk::kStatusOk);
    const std::vector<sdk::Frame> events = EventsSoFar(*session_);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, static_cast<uint32_t>(kEventFileDone));
    EXPECT_EQ(Brightness(), "33");
    EXPECT_EQ(server_.DefaultConfigsApplied(id_), 1);
    EXPECT_EQ(server_.LastDefaultConfig(id_), "site-default.xml");

    server_.SetConfirmDefaultConfig(id_, true);
    ASSERT_EQ(Upload("site-default.xml", marked).status, sdk::kStatusOk);
    EXPECT_EQ(EventsSoFar(*session_).size(), 2u) << "confirmed again";
}

}  // namespace
}  // namespace camfleet::sim
