// The simulated camera's documents and system commands, without sockets.

#include <gtest/gtest.h>

#include "device/sdk/control_protocol.h"
#include "sim/control_camera.h"

namespace camfleet::sim {
namespace {

sdk::Frame Request(uint32_t code, std::string payload) {
    sdk::Frame f;
    f.code = code;
    f.sequence = 1;
    f.payload = std::move(payload);
    return f;
}

ControlIdentity Identity() {
    ControlIdentity id;
    id.serialNumber = "5A3F09C21B7E44D0";
    id.firmwareVersion = "V9.9";
    return id;
}

TEST(CameraDocuments, EveryConfigurationCodeHasAFactoryDocument) {
    const CameraDocuments docs(Identity());
    for (int code : {504, 305, 600, 507, 222, 223, 227, 228, 335, 523, 525, 528, 670, 822}) {
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
        {"video capture", 524, "<Video><Capture TVSystem=\"0\" /></Video>", 0},
        {"video capture out of range", 524, "<Video><Capture Rotation=\"45\" /></Video>", 3},
        {"network", 325, "<LANConfig ALLNET=\"1\" />", 0},
        {"network with a bad flag", 325, "<LANConfig DHCP=\"7\" />", 3},
        {"stream access", 620,
         "<MediaStreamConfig>\r\n<StreamAccess enable_hik=\"0\" />\r\n"
         "</MediaStreamConfig>\r\n",
         0},
        {"audio capture, dialog form", 527, "<Capture Volume=\"20\" VolumePlay=\"30\" />", 0},
        {"audio volume above 100", 527, "<Capture Volume=\"200\" />", 3},
        {"password", 223,
         "<UserConfig><Account Username=\"admin\" Password=\"pw2\" "
         "Group=\"Administrator\" Status=\"Enable\" /></UserConfig>",
         0},
        {"empty password", 223,
         "<UserConfig><Account Username=\"admin\" Password=\"\" /></UserConfig>", 3},
        {"language", 227, "<MiscConfig Language=\"zh_cn\" />", 0},
        {"language missing", 227, "<MiscConfig />", 3},
        {"maintenance", 228, "<MaintainConfig\tEnable=\"1\" Day=\"7\" Time=\"02:00:00\" />", 0},
        {"encoding", 523, "<Encode><EncodeConfig Stream=\"1\" /></Encode>", 0},
        {"overlay", 525, "<Overlay\tEnable=\"1\" > <TimeOverlay PosX=\"1\" /> </Overlay>", 0},
        {"wrong root", 670, "<MotionDetectAlarm Enable=\"1\" />", 3},
        {"not well-formed", 822, "<MotionDetectAlarm Enable=\"1\"", 3},
        {"read-only code written", 504, "<Video><Capture /></Video>", 2},
        {"unknown code", 999, "<X />", 2},
    };
    for (const Case& c : cases) {
        ControlCamera camera(Identity());
        EXPECT_EQ(camera.Handle(Request(c.code, c.text)).status, c.status) << c.name;
    }
}

TEST(CameraDocuments, WrittenStructureDocumentsMergeAndReadBack) {
    ControlCamera camera(Identity());
    ASSERT_EQ(camera.Handle(Request(524, "<Video><Capture TVSystem=\"0\" /></Video>")).status, 0);
    const std::string video = camera.Handle(Request(504, "")).payload;
    EXPECT_NE(video.find("TVSystem=\"0\""), std::string::npos) << video;
    EXPECT_NE(video.find("Brightness=\"128\""), std::string::npos) << "others kept: " << video;
    ASSERT_EQ(camera.Handle(Request(222, "<TimeConfig TimeMode=\"MANUAL\" />")).status, 0);
    EXPECT_EQ(camera.Handle(Request(222, "")).payload, "<TimeConfig TimeMode=\"MANUAL\" />");
}

TEST(CameraDocuments, PasswordChangeAppliesToTheNextLoginAndRestoreUndoesIt) {
    ControlCamera camera(Identity());
    const std::string nonce = "00112233445566778899aabbccddeeff";
    auto login = [&](const char* password) {
        return camera.CheckLogin(
            sdk::PrintLogin({1, "admin", sdk::LoginDigest(password, nonce, "admin")}), nonce);
    };
    EXPECT_EQ(login("730418"), sdk::kStatusOk);
    camera.Handle(Request(223,
                          "<UserConfig><Account Username=\"admin\" Password=\"new\" "
                          "Group=\"Administrator\" Status=\"Enable\" /></UserConfig>"));
    EXPECT_EQ(login("730418"), sdk::kStatusRefused);
    EXPECT_EQ(login("new"), sdk::kStatusOk);
    EXPECT_EQ(camera.CheckLogin(sdk::PrintLogin({2, "admin", "x"}), nonce), sdk::kStatusVersion);
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
        {"firmware version", 1012, "RESPONSE_PARAM", 0, "FileSystemVersion=\"V9.9\""},
        {"serial number", 1019, "RESPONSE_PARAM", 0, "SerialNumber=\"5A3F09C21B7E44D0\""},
        {"device text", 1020, "RESPONSE_PARAM", 0, "DeviceType=\"NVS3516E\""},
        {"factory restore", 1002, "", 0, ""},
        {"time sync", 1005, "<REQUEST_PARAM\r\nTime=\"20261208 05:06:07\"\r\nTimeZone=\"1200\"\n/>",
         0, ""},
        {"time sync, bad month", 1005, "<REQUEST_PARAM Time=\"20261308 05:06:07\" />", 3, ""},
        {"io output", 1042, "<REQUEST_PARAM ChannelNo=\"0\"Output=\"1\"/>\n", 0, ""},
        {"io output 2", 1042, "<REQUEST_PARAM ChannelNo=\"0\"Output=\"2\"/>\n", 3, ""},
        {"snapshot", 1043, "<REQUEST_PARAM Stream=\"0\"Quality=\"100\"/>\n", 0, ""},
        {"night mode", 1046, "<REQUEST_PARAM Mode=\"NightMode\" />\n", 0, ""},
        {"day mode", 1046, "<REQUEST_PARAM Mode=\"DayMode\" />\n", 0, ""},
        {"unknown mode", 1046, "<REQUEST_PARAM Mode=\"Dusk\" />\n", 3, ""},
        {"image", 1081, "<REQUEST_PARAM mctf=\"3\" />", 0, ""},
        {"factory mode", 1094, "<REQUEST_PARAM Mode=\"1\"/>\n", 0, ""},
        {"not a REQUEST_PARAM", 1094, "Mode=1", 3, ""},
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

}  // namespace
}  // namespace camfleet::sim
