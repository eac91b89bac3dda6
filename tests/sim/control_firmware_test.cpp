// The camera's firmware upgrade and OEM model, driven by a hand-made client: the streaming
// image check and its end statuses, the write phase with its events, the reboot into the new
// version, the faults the test controls make, one flash at a time, the clean-up image and the
// devicetype.oem file.

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device/codes.h"
#include "device/sdk/bulk_protocol.h"
#include "device/sdk/control_frame.h"
#include "device/sdk/control_protocol.h"
#include "device/xml_messages.h"
#include "sim/control_server.h"
#include "sim/firmware_image.h"
#include "sim/sim_lab.h"
#include "tests/sim/bulk_client.h"

namespace camfleet::sim {
namespace {

using sdk::BulkPurpose;
using std::chrono::milliseconds;

constexpr const char* kOwnModel = "NVS3516E";  // ControlIdentity's default model
constexpr const char* kOldVersion = "V5.2.1 build 230615";
constexpr const char* kImageName = "firmware_NVS3516E_V2.bin";

// A lab image with `payload` filler bytes.
std::string Image(const std::string& model, const std::string& version, uint64_t payload) {
    std::string image;
    FirmwareImageWriter writer([&](std::span<const uint8_t> bytes) {
        image.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return true;
    });
    std::vector<uint8_t> filler(static_cast<std::size_t>(payload));
    FirmwareFiller(0, filler);
    EXPECT_TRUE(writer.Begin({model, version, payload}));
    EXPECT_TRUE(writer.Write(filler));
    EXPECT_TRUE(writer.Finish());
    return image;
}

std::string Progress(int percent) {
    return "<Upgrade Progress=\"" + std::to_string(percent) + "\" />";
}

class ControlFirmwareTest : public BulkCameraTest {
protected:
    void SetUp() override {
        ControlLimits limits;
        limits.maxBulkPerSession = 8;  // the caps have tests of their own
        limits.maxBulkPerCamera = 16;
        server_.SetLimits(limits);
        id_ = AddCamera();
        server_.SetFirmwareTiming(id_, milliseconds(100), milliseconds(300));
        server_.SetRestartTime(id_, milliseconds(100));
    }
    sdk::BulkOpen Firmware(const std::string& image, const std::string& name = kImageName) {
        return Upload(name, image, BulkPurpose::kFirmware);
    }
    // Attaches a bulk connection for `open` on `session`.
    std::unique_ptr<Client> Bulk(Client& session, const sdk::BulkOpen& open) {
        auto bulk = std::make_unique<Client>(server_.Port(id_));
        EXPECT_EQ(Attach(*bulk, Token(session, open)), sdk::kStatusOk);
        return bulk;
    }
    // A whole upload of `bytes` as `open` on `session`: the end frame.
    End Transfer(Client& session, const sdk::BulkOpen& open, const std::string& bytes) {
        auto bulk = Bulk(session, open);
        Send(*bulk, bytes);
        return EndOf(*bulk);
    }
    // A system command's answer text on `session`.
    std::string Ask(Client& session, int code) {
        sdk::Frame answer;
        EXPECT_TRUE(session.Send(sdk::EncodeFrame(
            Request(static_cast<uint32_t>(code), ++sequence_, "<REQUEST_PARAM />"))));
        while (session.Next(&answer))
            if (answer.kind == sdk::FrameKind::kAnswer)
                return answer.payload;
        return {};
    }
    int id_ = 0;
};

TEST_F(ControlFirmwareTest, AGoodImageIsWrittenWithProgressThenTheCameraRestartsIntoIt) {
    server_.SetFirmwareTiming(id_, milliseconds(100), milliseconds(1000));
    server_.Start();
    auto session = Session(id_);
    auto other = Session(id_);
    const std::string image = Image("NVS*", "V6.0.0 build 240101", 700000);

    const End end = Transfer(*session, Firmware(image), image);
    EXPECT_EQ(end.status, sdk::kStatusOk);
    EXPECT_EQ(end.size, image.size());
    const std::vector<sdk::Frame> events = EventsUntil(*session, kEventUpgradeDone);
    ASSERT_EQ(events.size(), 11u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(events[i].code, static_cast<uint32_t>(kEventUpgradeProgress2));
        EXPECT_EQ(events[i].payload, Progress(10 * (i + 1)));
    }
    EXPECT_EQ(events[10].payload, "<Upgrade Version=\"V6.0.0 build 240101\" />");
    EXPECT_TRUE(session->ClosedByCamera());
    EXPECT_TRUE(other->ClosedByCamera()) << "the restart ends every session";
    EXPECT_FALSE(Client(server_.Port(id_)).connected()) << "down while it restarts";

    ASSERT_TRUE(Eventually([&] { return Client(server_.Port(id_)).connected(); }));
    auto after = Session(id_);
    EXPECT_EQ(Ask(*after, kCtlFileSystemVersion),
              "<RESPONSE_PARAM FileSystemVersion=\"V6.0.0 build 240101\" />");
    EXPECT_EQ(server_.FirmwareVersion(id_), "V6.0.0 build 240101");
    EXPECT_EQ(server_.FirmwareWrites(id_), 1);
    // The image streamed through the check: the record keeps its size and digest, no bytes.
    const auto stored = server_.UploadedFile(id_, BulkPurpose::kFirmware);
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->name, kImageName);
    EXPECT_EQ(stored->size, image.size());
    EXPECT_EQ(stored->digest, DigestOf(image));
    EXPECT_TRUE(stored->bytes.empty());
}

TEST_F(ControlFirmwareTest, WriteEventsGoToEverySessionWhenTheUploaderLeft) {
    server_.SetFirmwareTiming(id_, milliseconds(400), milliseconds(300));
    server_.Start();
    auto uploader = Session(id_);
    auto watcher = Session(id_);
    const std::string image = Image(kOwnModel, "V7", 1000);
    ASSERT_EQ(Transfer(*uploader, Firmware(image), image).status, sdk::kStatusOk);
    uploader.reset();
    const std::vector<sdk::Frame> events = EventsUntil(*watcher, kEventUpgradeDone);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().payload, "<Upgrade Version=\"V7\" />");
}

TEST_F(ControlFirmwareTest, AnImageKnownBadMidStreamIsRefusedAtOnceWithoutAnEvent) {
    server_.Start();
    auto session = Session(id_);
    const std::string foreign = Image("IPC-X*", "V9", 4 * sdk::kBulkChunk);
    std::string badHeader = Image(kOwnModel, "V9", 4 * sdk::kBulkChunk);
    badHeader[8] = 0;  // a model pattern of no characters
    const struct {
        const char* name;
        std::string image;
    } cases[] = {
        {"image for another model", foreign},
        {"no lab image at all", std::string(foreign.size(), 'x')},
        {"broken header", badHeader},
    };
    int failed = 0;
    for (const auto& c : cases) {
        auto bulk = Bulk(*session, Firmware(c.image));
        Send(*bulk, c.image, 4);  // four of five chunks: the first one tells
        const End end = EndOf(*bulk);
        EXPECT_EQ(end.status, sdk::kStatusFailed) << c.name;
        EXPECT_EQ(end.size, sdk::kBulkChunk) << c.name;
        EXPECT_TRUE(bulk->ClosedByCamera()) << c.name;
        EXPECT_TRUE(EventsSoFar(*session).empty()) << c.name;
        EXPECT_EQ(server_.UploadsFailed(id_), ++failed) << c.name;
    }
    // The camera is free for the next image at once.
    EXPECT_EQ(Open(*session, Firmware(foreign)).status, sdk::kStatusOk);
    EXPECT_EQ(server_.FirmwareVersion(id_), kOldVersion);
}

TEST_F(ControlFirmwareTest, AnImageThatIsNotWholeIsRefusedAfterItsLastByte) {
    server_.Start();
    auto session = Session(id_);
    const std::string image = Image(kOwnModel, "V9", 300000);
    std::string changed = image;
    changed[100000] ^= 1;
    const std::string cut = image.substr(0, image.size() - 5);
    const struct {
        const char* name;
        std::string announced;  // the size of the open
        std::string bytes;      // what goes
        int32_t status;
    } cases[] = {
        {"a payload byte changed", changed, changed, sdk::kStatusFailed},
        {"the image cut short", cut, cut, sdk::kStatusFailed},
        {"the transfer ends short of its announced size", image, cut, sdk::kStatusBadDocument},
    };
    for (const auto& c : cases) {
        auto bulk = Bulk(*session, Firmware(c.announced));
        Send(*bulk, c.bytes);
        const End end = EndOf(*bulk);
        EXPECT_EQ(end.status, c.status) << c.name;
        EXPECT_EQ(end.size, c.bytes.size()) << c.name;
        EXPECT_TRUE(EventsSoFar(*session).empty()) << c.name;
    }
    std::this_thread::sleep_for(milliseconds(200));  // longer than a write would take
    EXPECT_TRUE(EventsSoFar(*session).empty());
    EXPECT_EQ(server_.FirmwareWrites(id_), 0);
    EXPECT_EQ(server_.FirmwareVersion(id_), kOldVersion);
    EXPECT_FALSE(server_.UploadedFile(id_, BulkPurpose::kFirmware).has_value());
}

TEST_F(ControlFirmwareTest, AWriteThatFailsReportsWhereAndKeepsTheOldVersion) {
    server_.SetFirmwareFault(id_, {.failAtPercent = 35});
    server_.Start();
    auto session = Session(id_);
    const std::string image = Image(kOwnModel, "V9", 1000);
    ASSERT_EQ(Transfer(*session, Firmware(image), image).status, sdk::kStatusOk);
    const std::vector<sdk::Frame> events = EventsUntil(*session, kEventUpgradeFailed);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].payload, Progress(10));
    EXPECT_EQ(events[2].payload, Progress(30));
    EXPECT_EQ(events[3].payload, Progress(35));
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_TRUE(EventsSoFar(*session).empty()) << "the session stays, nothing more comes";
    EXPECT_EQ(server_.FirmwareVersion(id_), kOldVersion);
    EXPECT_EQ(server_.FirmwareWrites(id_), 0);
    EXPECT_EQ(Open(*session, Firmware(image)).status, sdk::kStatusOk) << "free again";

    server_.SetFirmwareFault(id_, {.failAtPercent = 0});
    auto again = Session(id_);
    ASSERT_EQ(Transfer(*again, Firmware(image), image).status, sdk::kStatusOk);
    const std::vector<sdk::Frame> first = EventsUntil(*again, kEventUpgradeFailed);
    ASSERT_EQ(first.size(), 1u) << "no progress before a failure at 0 %";
    EXPECT_EQ(first[0].payload, Progress(0));
}

TEST_F(ControlFirmwareTest, DroppingDuringTheTransferClosesEverySessionWithoutARestart) {
    server_.SetFirmwareFault(id_, {.dropAtPercent = 50});
    server_.Start();
    auto session = Session(id_);
    auto other = Session(id_);
    const std::string image = Image(kOwnModel, "V9", 4 * sdk::kBulkChunk);
    auto bulk = Bulk(*session, Firmware(image));
    Send(*bulk, image);
    EXPECT_EQ(EndOf(*bulk).status, -1) << "no end frame";
    sdk::Frame event;
    EXPECT_FALSE(NextEvent(*session, &event)) << "closed without an event";
    EXPECT_TRUE(other->ClosedByCamera());
    EXPECT_TRUE(Client(server_.Port(id_)).connected()) << "the camera keeps running";
    EXPECT_TRUE(Eventually([&] { return server_.UploadsFailed(id_) == 1; }));
    EXPECT_EQ(server_.RestartCount(id_), 0);
    EXPECT_EQ(server_.FirmwareVersion(id_), kOldVersion);
    EXPECT_FALSE(server_.UploadedFile(id_, BulkPurpose::kFirmware).has_value());
}

TEST_F(ControlFirmwareTest, AWriteThatNeverFinishesHoldsTheCameraUntilItsSessionsAreGone) {
    server_.SetFirmwareFault(id_, {.neverFinish = true});
    server_.Start();
    auto session = Session(id_);
    const std::string image = Image(kOwnModel, "V9", 1000);
    ASSERT_EQ(Transfer(*session, Firmware(image), image).status, sdk::kStatusOk);
    const std::vector<sdk::Frame> events = EventsUntil(*session, kEventUpgradeProgress2);
    std::this_thread::sleep_for(milliseconds(300));  // three write times
    std::vector<sdk::Frame> later = EventsSoFar(*session);
    later.insert(later.begin(), events.begin(), events.end());
    ASSERT_EQ(later.size(), 5u);
    EXPECT_EQ(later.back().payload, Progress(50));
    EXPECT_EQ(Ask(*session, kCtlFileSystemVersion),
              std::string("<RESPONSE_PARAM FileSystemVersion=\"") + kOldVersion + "\" />")
        << "the session still answers";
    EXPECT_EQ(Open(*session, Firmware(image)).status, sdk::kStatusBusy);

    session.reset();
    ASSERT_TRUE(Eventually([&] { return server_.SessionCount(id_) == 0; }));
    auto next = Session(id_);
    EXPECT_EQ(Open(*next, Firmware(image)).status, sdk::kStatusOk);
    EXPECT_EQ(server_.FirmwareWrites(id_), 0);
}

TEST_F(ControlFirmwareTest, OneImageAtATime) {
    server_.SetFirmwareTiming(id_, milliseconds(300), milliseconds(300));
    server_.Start();
    auto first = Session(id_);
    auto second = Session(id_);
    const std::string image = Image(kOwnModel, "V9", 3 * sdk::kBulkChunk);

    // A token not yet attached gives way to a newer open.
    const std::string stale = Token(*first, Firmware(image));
    const std::string fresh = Token(*second, Firmware(image));
    Client late(server_.Port(id_));
    EXPECT_EQ(Attach(late, stale), sdk::kStatusRefused);

    Client bulk(server_.Port(id_));
    ASSERT_EQ(Attach(bulk, fresh), sdk::kStatusOk);
    Send(bulk, image, 1);
    ASSERT_TRUE(Eventually([&] { return server_.BulkConnections(id_) == 1; }));
    EXPECT_EQ(Open(*first, Firmware(image)).status, sdk::kStatusBusy) << "while it arrives";
    EXPECT_EQ(Open(*first, Upload("a.cfg", "x")).status, sdk::kStatusOk) << "other uploads go on";
    Send(bulk, image);  // from the first chunk again: out of order, the transfer breaks
    EXPECT_TRUE(bulk.ClosedByCamera());
    ASSERT_TRUE(Eventually([&] { return server_.BulkConnections(id_) == 0; }));
    EXPECT_EQ(Open(*first, Firmware(image)).status, sdk::kStatusOk) << "a broken one frees it";

    ASSERT_EQ(Transfer(*second, Firmware(image), image).status, sdk::kStatusOk);
    EXPECT_EQ(Open(*first, Firmware(image)).status, sdk::kStatusBusy) << "while it is written";
}

TEST_F(ControlFirmwareTest, TheCleanUpImageClearsTheCustomConfigurationAndKeepsTheVersion) {
    server_.Start();
    auto session = Session(id_);
    const std::string model = "SET_OEM_DEVTYPE_FLAG=ACME-CAM 9";
    ASSERT_EQ(Transfer(*session, Upload(kDeviceTypeFileName, model), model).status, sdk::kStatusOk);
    ASSERT_EQ(Transfer(*session, Upload("app.bin", "app", BulkPurpose::kOemApp), "app").status,
              sdk::kStatusOk);
    ASSERT_EQ(server_.ReportedModel(id_), "NVS-ACME-CAM 9");

    // The image is checked against the hardware model, not the reported one.
    const std::string image = Image(kOwnModel, "V9", 1000);
    ASSERT_EQ(Transfer(*session, Firmware(image, kCleanFirmwareName), image).status,
              sdk::kStatusOk);
    const std::vector<sdk::Frame> events = EventsUntil(*session, kEventUpgradeDone);
    EXPECT_EQ(events.back().payload, std::string("<Upgrade Version=\"") + kOldVersion + "\" />");
    EXPECT_TRUE(session->ClosedByCamera());
    EXPECT_EQ(server_.ReportedModel(id_), kOwnModel);
    EXPECT_FALSE(server_.UploadedFile(id_, BulkPurpose::kOemApp).has_value());
    EXPECT_EQ(server_.FirmwareVersion(id_), kOldVersion);
    EXPECT_EQ(server_.FirmwareWrites(id_), 1);
}

TEST_F(ControlFirmwareTest, DeviceTypeFileSetsAndRemovesTheReportedModel) {
    server_.Start();
    auto session = Session(id_);
    const auto upload = [&](const std::string& content) {
        return Transfer(*session, Upload(kDeviceTypeFileName, content), content).status;
    };
    const auto fileEvent = [&] {
        sdk::Frame event;
        EXPECT_TRUE(NextEvent(*session, &event));
        EXPECT_EQ(event.payload, "<RESPONSE_PARAM LocalFileName=\"devicetype.oem\" />");
        return static_cast<int>(event.code);
    };

    ASSERT_EQ(upload("SET_OEM_DEVTYPE_FLAG=ACME-7"), sdk::kStatusOk);
    EXPECT_EQ(fileEvent(), kEventFileDone);
    EXPECT_EQ(server_.ReportedModel(id_), "NVS-ACME-7");
    EXPECT_NE(Ask(*session, kCtlDeviceAnswerText).find("DeviceType=\"NVS-ACME-7\""),
              std::string::npos);

    const std::string malformed[] = {
        "SET_OEM_DEVTYPE_FLAG=",                         // no model
        "SET_OEM_DEVTYPE_FLAG=" + std::string(64, 'M'),  // too long
        "SET_OEM_DEVTYPE_FLAG=ACME-8\n",                 // a line end
        "SET_OEM_DEVTYPE_FLAG=AC\tME",                   // a control character
        "SET_OEM_DEVTYPE_FLAG=\xff",                     // not UTF-8
        "set_oem_devtype_flag=X",                        // case counts
        "DEL_OEM_DEVTYPE_FLAG=X",                        // nothing after the removal
    };
    for (const std::string& bad : malformed) {
        EXPECT_EQ(upload(bad), sdk::kStatusFailed) << bad;
        EXPECT_EQ(fileEvent(), kEventFileFailed) << bad;
        EXPECT_EQ(server_.ReportedModel(id_), "NVS-ACME-7") << bad;
    }
    ASSERT_EQ(upload("SET_OEM_DEVTYPE_FLAG=" + std::string(63, 'M')), sdk::kStatusOk);
    EXPECT_EQ(fileEvent(), kEventFileDone);
    EXPECT_EQ(server_.ReportedModel(id_), "NVS-" + std::string(63, 'M'));

    ASSERT_EQ(upload("DEL_OEM_DEVTYPE_FLAG="), sdk::kStatusOk);
    EXPECT_EQ(fileEvent(), kEventFileDone);
    EXPECT_EQ(server_.ReportedModel(id_), kOwnModel);
}

TEST_F(ControlFirmwareTest, TheOemModelOutlivesARestoreAndAnInstall) {
    server_.Start();
    auto session = Session(id_);
    const std::string model = "SET_OEM_DEVTYPE_FLAG=ACME-7";
    ASSERT_EQ(Transfer(*session, Upload(kDeviceTypeFileName, model), model).status, sdk::kStatusOk);
    ASSERT_TRUE(session->Send(sdk::EncodeFrame(Request(sdk::kCodeRestore, ++sequence_, {}))));
    EXPECT_TRUE(session->ClosedByCamera());
    EXPECT_EQ(server_.ReportedModel(id_), "NVS-ACME-7");

    ASSERT_TRUE(Eventually([&] { return Client(server_.Port(id_)).connected(); }));
    session = Session(id_);
    const std::string image = Image(kOwnModel, "V9", 1000);
    ASSERT_EQ(Transfer(*session, Firmware(image), image).status, sdk::kStatusOk);
    EXPECT_TRUE(session->ClosedByCamera());
    EXPECT_EQ(server_.FirmwareVersion(id_), "V9");
    EXPECT_EQ(server_.ReportedModel(id_), "NVS-ACME-7");
}

// A lab camera: the discovery side follows the control side's upgrade and OEM model.
class LabFirmwareTest : public BulkCameraTest {
protected:
    void SetUp() override {
        sim::LabOptions options;
        options.cameras = 1;
        options.maxAnswerDelayMs = 0;
        options.port = FreeUdpPort();
        // Tests may run side by side: the lab takes addresses of its own.
        options.firstAddress = "127.0.230." + std::to_string(1 + options.port % 200);
        std::string error;
        ASSERT_EQ(lab_.Start(options, &error), 0) << error;
        profile_ = lab_.Snapshot(0).profile;
        port_ = options.port;
        lab_.control().SetFirmwareTiming(0, milliseconds(100), milliseconds(1500));
    }
    void TearDown() override { lab_.Stop(); }
    static uint16_t FreeUdpPort() {
        const int fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof sa;
        bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &length);
        close(fd);
        return ntohs(sa.sin_port);
    }
    // The camera's answer to one search request, "" when none came within 300 ms.
    std::string Search() const {
        const int fd = socket(AF_INET, SOCK_DGRAM, 0);
        timeval limit{0, 300000};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port_);
        inet_pton(AF_INET, profile_.ipAddress.c_str(), &to.sin_addr);
        const std::string search = PrintDiscoveryEnvelope(kRootKestravin, kMsgSearch, 0, nullptr);
        sendto(fd, search.data(), search.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        char buffer[16384];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        close(fd);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }
    std::unique_ptr<Client> LabSession() {
        auto client =
            std::make_unique<Client>(lab_.control().Port(0), 0, profile_.ipAddress.c_str());
        EXPECT_EQ(client->Login(profile_.password), sdk::kStatusOk);
        return client;
    }
    // Uploads `bytes` as `open` over a bulk connection of `session`: the end status.
    int32_t LabTransfer(Client& session, const sdk::BulkOpen& open, const std::string& bytes) {
        Client bulk(lab_.control().Port(0), 0, profile_.ipAddress.c_str());
        EXPECT_EQ(Attach(bulk, Token(session, open)), sdk::kStatusOk);
        const uint32_t count = static_cast<uint32_t>(sdk::ChunkCount(bytes.size()));
        for (uint32_t i = 0; i < count; ++i)
            bulk.Send(sdk::EncodeFrame(
                Chunk(i, i + 1 == count, bytes.substr(i * sdk::kBulkChunk, sdk::kBulkChunk))));
        sdk::Frame frame;
        int32_t status = -1;
        while (bulk.Next(&frame))
            if (frame.code == sdk::kBulkEnd && sdk::ParseBulkEnd(frame.payload, &status))
                break;
        return status;
    }
    sim::SimLab lab_;
    CameraProfile profile_;
    uint16_t port_ = 0;
};

TEST_F(LabFirmwareTest, DiscoveryGoesSilentForTheRestartThenAnswersTheNewVersionAndModel) {
    const std::string before = Search();
    ASSERT_NE(before.find(profile_.version), std::string::npos) << before;
    auto session = LabSession();
    const std::string model = "SET_OEM_DEVTYPE_FLAG=ACME-LAB";
    ASSERT_EQ(LabTransfer(*session, Upload(kDeviceTypeFileName, model), model), sdk::kStatusOk);
    ASSERT_TRUE(Eventually([&] { return lab_.Snapshot(0).profile.model == "NVS-ACME-LAB"; }));
    EXPECT_NE(Search().find("ACME-LAB"), std::string::npos);

    // The image is for the camera's own model, which the OEM model does not hide.
    const std::string image = Image(profile_.model, "V8.8.8 build 250101", 1000);
    ASSERT_EQ(LabTransfer(*session, Upload(kImageName, image, BulkPurpose::kFirmware), image),
              sdk::kStatusOk);
    EXPECT_TRUE(session->ClosedByCamera());
    ASSERT_TRUE(Eventually([&] { return lab_.Snapshot(0).reboots == 1; }));
    EXPECT_EQ(Search(), "") << "silent while it restarts";
    std::string after;
    ASSERT_TRUE(Eventually([&] { return !(after = Search()).empty(); }));
    EXPECT_NE(after.find("V8.8.8 build 250101"), std::string::npos) << after;
    EXPECT_NE(after.find("ACME-LAB"), std::string::npos) << after;
    EXPECT_EQ(lab_.Snapshot(0).profile.version, "V8.8.8 build 250101");
}

}  // namespace
}  // namespace camfleet::sim
