// The simulated camera's documents and system commands, without sockets.

#include <gtest/gtest.h>

#include "device/codes.h"
#include "device/sdk/control_protocol.h"
#include "marked_request.h"
#include "sim/control_camera.h"

namespace camfleet::sim {
namespace {

sdk::Frame Request(uint32_t code, std::string payload) {
    return testing::MarkedRequest(code, std::move(payload));
}

ControlIdentity Identity() {
    ControlIdentity id;
    id.serialNumber = "5A3F09C21B7E44D0";
    id.firmwareVersion = "V9.9";
    return id;
}

TEST(CameraDocuments, EveryConfigurationCodeHasAFactoryDocument) {
    const CameraDocuments docs(Identity());
    for (int code : {kCmdGetVideoCapture, kCmdGetNetwork, kCmdGetStreamAccess, kCmdGetAudioCapture,
                     kCmdSetTime, kCmdSetAdminPassword, kCmdSetLanguage, kCmdSetMaintenance,
                     kCmdSetP2p, kCmdSetVideoEncoding, kCmdSetOverlay, kCmdSetAudioEncoding,
                     kCmdSetPlatform, kCmdSetMotionDetect}) {
        int32_t status = -1;
        const std::string text = docs.Read(code, &status);
        EXPECT_EQ(status, 0) << code;
        EXPECT_FALSE(sdk::FirstElementName(text).empty()) << code;
    }
}

TEST(CameraDocuments, WritesTakenOrRefused) {
    struct Case {
        const char* name;
        int code;
        const char* text;
        int32_t status;
    };
    const Case cases[] = {
        {"video capture", kCmdSetVideoCapture, "<Video><Capture TVSystem=\"0\" /></Video>", 0},
        {"video capture out of range", kCmdSetVideoCapture,
         "<Video><Capture Rotation=\"45\" /></Video>", 3},
        {"network", kCmdSetNetwork, "<LANConfig ALLNET=\"1\" />", 0},
        {"network with a bad flag", kCmdSetNetwork, "<LANConfig DHCP=\"7\" />", 3},
        {"stream access", kCmdSetStreamAccess,
         "<MediaStreamConfig>\r\n<StreamAccess enable_hik=\"0\" />\r\n"
         "</MediaStreamConfig>\r\n",
         0},
        {"audio capture, dialog form", kCmdSetAudioCapture,
         "<Capture Volume=\"20\" VolumePlay=\"30\" />", 0},
        {"audio volume above 100", kCmdSetAudioCapture, "<Capture Volume=\"200\" />", 3},
        {"password", kCmdSetAdminPassword,
         "<UserConfig><Account Username=\"admin\" Password=\"pw2\" "
         "Group=\"Administrator\" Status=\"Enable\" /></UserConfig>",
         0},
        {"empty password", kCmdSetAdminPassword,
         "<UserConfig><Account Username=\"admin\" Password=\"\" /></UserConfig>", 3},
        {"language", kCmdSetLanguage, "<MiscConfig Language=\"zh_cn\" />", 0},
        {"language missing", kCmdSetLanguage, "<MiscConfig />", 3},
        {"maintenance", kCmdSetMaintenance,
         "<MaintainConfig\tEnable=\"1\" Day=\"7\" Time=\"02:00:00\" />", 0},
        {"encoding", kCmdSetVideoEncoding, "<Encode><EncodeConfig Stream=\"1\" /></Encode>", 0},
        {"overlay", kCmdSetOverlay,
         "<Overlay\tEnable=\"1\" > <TimeOverlay PosX=\"1\" /> </Overlay>", 0},
        {"wrong root", kCmdSetPlatform, "<MotionDetectAlarm Enable=\"1\" />", 3},
        {"not well-formed", kCmdSetMotionDetect, "<MotionDetectAlarm Enable=\"1\"", 3},
        {"read-only code written", kCmdGetVideoCapture, "<Video><Capture /></Video>", 2},
        {"unknown code", 999, "<X />", 2},
    };
    for (const Case& c : cases) {
        ControlCamera camera(Identity());
        EXPECT_EQ(camera.Handle(Request(c.code, c.text)).status, c.status) << c.name;
    }
}

TEST(CameraDocuments, WrittenStructureDocumentsMergeAndReadBack) {
    ControlCamera camera(Identity());
    ASSERT_EQ(
        camera.Handle(Request(kCmdSetVideoCapture, "<Video><Capture TVSystem=\"0\" /></Video>"))
            .status,
        0);
    const std::string video = camera.Handle(Request(kCmdGetVideoCapture, "")).payload;
    EXPECT_NE(video.find("TVSystem=\"0\""), std::string::npos) << video;
    EXPECT_NE(video.find("Brightness=\"128\""), std::string::npos) << "others kept: " << video;
    ASSERT_EQ(camera.Handle(Request(kCmdSetTime, "<TimeConfig TimeMode=\"MANUAL\" />")).status, 0);
    EXPECT_EQ(camera.Handle(Request(kCmdSetTime, "")).payload,
              "<TimeConfig TimeMode=\"MANUAL\" />");
}

TEST(CameraDocuments, PasswordChangeAppliesToTheNextLoginAndRestoreUndoesIt) {
    ControlCamera camera(Identity());
    const std::string nonce = "00112233445566778899aabbccddeeff";
    auto login = [&](const char* password) {
        return camera.CheckLogin(sdk::PrintLogin({sdk::kProtocolVersion, "admin",
                                                  sdk::LoginDigest(password, nonce, "admin")}),
                                 nonce);
    };
    EXPECT_EQ(login("730418"), sdk::kStatusOk);
    camera.Handle(Request(kCmdSetAdminPassword,
                          "<UserConfig><Account Username=\"admin\" Password=\"new\" "
                          "Group=\"Administrator\" Status=\"Enable\" /></UserConfig>"));
    EXPECT_EQ(login("730418"), sdk::kStatusRefused);
    EXPECT_EQ(login("new"), sdk::kStatusOk);
    EXPECT_EQ(camera.CheckLogin(sdk::PrintLogin({sdk::kProtocolVersion + 1, "admin", "x"}), nonce),
              sdk::kStatusVersion);
    EXPECT_EQ(camera.Handle(Request(sdk::kCodeRestore, "")).action,
              ControlCamera::Reply::Action::kRestore);
    EXPECT_EQ(login("730418"), sdk::kStatusOk);
}

TEST(CameraDocuments, SystemCommands) {
    struct Case {
        const char* name;
        int code;
        const char* text;
        int32_t status;
        const char* answer;  // expected part of the answer, or ""
    };
    const Case cases[] = {
        {"firmware version", kCtlFileSystemVersion, "RESPONSE_PARAM", 0,
         "FileSystemVersion=\"V9.9\""},
        {"serial number", kCtlSerialNumber, "RESPONSE_PARAM", 0,
         "SerialNumber=\"5A3F09C21B7E44D0\""},
        {"device text", kCtlDeviceAnswerText, "RESPONSE_PARAM", 0, "DeviceType=\"NVS3516E\""},
        {"factory restore", kCtlFactoryRestore, "", 0, ""},
        {"time sync", kCtlSyncTime,
         "<REQUEST_PARAM\r\nTime=\"20261208 05:06:07\"\r\nTimeZone=\"1200\"\n/>", 0, ""},
        {"time sync, bad month", kCtlSyncTime, "<REQUEST_PARAM Time=\"20261308 05:06:07\" />", 3,
         ""},
        {"io output", kCtlIoOutput, "<REQUEST_PARAM ChannelNo=\"0\"Output=\"1\"/>\n", 0, ""},
        {"io output 2", kCtlIoOutput, "<REQUEST_PARAM ChannelNo=\"0\"Output=\"2\"/>\n", 3, ""},
        {"snapshot", kCtlSnapshot, "<REQUEST_PARAM Stream=\"0\"Quality=\"100\"/>\n", 0, ""},
        {"night mode", kCtlDayNightMode, "<REQUEST_PARAM Mode=\"NightMode\" />\n", 0, ""},
        {"day mode", kCtlDayNightMode, "<REQUEST_PARAM Mode=\"DayMode\" />\n", 0, ""},
        {"unknown mode", kCtlDayNightMode, "<REQUEST_PARAM Mode=\"Dusk\" />\n", 3, ""},
        {"image", kCtlImageAdjust, "<REQUEST_PARAM mctf=\"3\" />", 0, ""},
        {"factory mode", kCtlFactoryMode, "<REQUEST_PARAM Mode=\"1\"/>\n", 0, ""},
        {"not a REQUEST_PARAM", kCtlFactoryMode, "Mode=1", 3, ""},
        {"unknown command", 1099, "", 2, ""},
    };
    for (const Case& c : cases) {
        ControlCamera camera(Identity());
        const ControlCamera::Reply reply = camera.Handle(Request(c.code, c.text));
        EXPECT_EQ(reply.status, c.status) << c.name;
        EXPECT_NE(reply.payload.find(c.answer), std::string::npos)
            << c.name << ": " << reply.payload;
    }
}

// The access mark decides what a request may do, whatever its payload: a read of a command
// code (a factory restore read as a document) is refused before it can act.
TEST(CameraAccess, MarkMustFitTheCode) {
    struct Case {
        const char* name;
        uint32_t code;
        uint16_t param;
        int32_t fits;
    };
    using sdk::Access;
    using sdk::RequestParam;
    const Case cases[] = {
        {"document read", kCmdGetVideoCapture, RequestParam(Access::kRead), 0},
        {"document write", kCmdSetTime, RequestParam(Access::kWrite), 0},
        {"system command", kCtlFactoryRestore, RequestParam(Access::kCommand), 0},
        {"session command", sdk::kCodeRestore, RequestParam(Access::kCommand), 0},
        {"restore read as a document", kCtlFactoryRestore, RequestParam(Access::kRead), 8},
        {"restore written as a document", kCtlFactoryRestore, RequestParam(Access::kWrite), 8},
        {"reboot read", sdk::kCodeReboot, RequestParam(Access::kRead), 8},
        {"login unmarked", sdk::kCodeLogin, 0, 8},
        {"document as a command", kCmdSetAdminPassword, RequestParam(Access::kCommand), 8},
        {"unknown mark", kCmdGetNetwork, 0x0700, 8},
        {"second channel", kCmdGetVideoCapture, RequestParam(Access::kRead, 1), 3},
        {"command with a channel", kCtlSyncTime, RequestParam(Access::kCommand, 2), 3},
    };
    for (const Case& c : cases) {
        sdk::Frame f;
        f.code = c.code;
        f.param = c.param;
        EXPECT_EQ(ControlCamera::AccessFits(f), c.fits) << c.name;
    }
}

TEST(CameraAccess, ReadWithADocumentChangesNothing) {
    ControlCamera camera(Identity());
    const std::string account =
        "<UserConfig><Account Username=\"admin\" Password=\"taken\" /></UserConfig>";
    sdk::Frame read = Request(kCmdSetAdminPassword, account);
    read.param = sdk::RequestParam(sdk::Access::kRead);
    const ControlCamera::Reply reply = camera.Handle(read);
    EXPECT_EQ(reply.status, 0);
    EXPECT_EQ(reply.payload.find("taken"), std::string::npos);
    EXPECT_EQ(camera.password(), Identity().password);
}

}  // namespace
}  // namespace camfleet::sim
