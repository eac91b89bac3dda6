// Configuration documents, system commands and events through the SDK and its hooks.

#include <cstring>

#include "sdk_fixture.h"

namespace camfleet::testing {
namespace {

using SdkRequests = SdkTest;

int Set(int handle, int code, const std::string& xml) {
    return QV_NETSDK_IPC_SetDVRConfig(handle, code, 0, xml.c_str(), static_cast<int>(xml.size()));
}

TEST_F(SdkRequests, ReadsArriveUnderTheirCode) {
    const int handle = LoggedIn(AddCamera());
    struct Case {
        int code;
        const char* root;
    };
    const Case cases[] = {{kCmdGetVideoCapture, "<Video>"},
                          {kCmdGetNetwork, "<LANConfig"},
                          {kCmdGetStreamAccess, "<MediaStreamConfig>"},
                          {kCmdGetAudioCapture, "<Audio>"}};
    for (const Case& c : cases)
        ASSERT_EQ(QV_NETSDK_IPC_GetDVRConfig(handle, c.code, 0, "", 0, nullptr), QV_OK) << c.code;
    for (const Case& c : cases) {
        AnswerRecord answer;
        ASSERT_TRUE(hooks_.WaitAnswer(handle, c.code, &answer)) << c.code;
        EXPECT_EQ(answer.status, 0) << c.code;
        EXPECT_NE(answer.text.find(c.root), std::string::npos) << c.code << ": " << answer.text;
    }
}

TEST_F(SdkRequests, ReadChangeWriteOfEachStructureDocument) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    AnswerRecord answer;
    // Video capture: TV system to NTSC.
    ASSERT_EQ(QV_NETSDK_IPC_GetDVRConfig(handle, kCmdGetVideoCapture, 0, "", 0, nullptr), QV_OK);
    ASSERT_TRUE(hooks_.WaitAnswer(handle, kCmdGetVideoCapture, &answer));
    QV_VIDEO_CAPTURE video{};
    ASSERT_EQ(QV_NETSDK_IPC_Media_getVideoCaptureByXml(answer.text.c_str(), &video), QV_OK);
    EXPECT_EQ(video.tvSystem, 1);
    video.tvSystem = 0;
    char* xml = QV_NETSDK_IPC_XMLGET_VideoCaptureConfig(&video);
    ASSERT_EQ(Set(handle, kCmdSetVideoCapture, xml), QV_OK);
    QV_NETSDK_IPC_XMLGET_SAFE_FREE(xml);
    ASSERT_TRUE(hooks_.WaitAnswer(handle, kCmdSetVideoCapture, &answer));
    EXPECT_EQ(answer.status, 0);
    EXPECT_NE(server_.Document(camera, kCmdGetVideoCapture).find("TVSystem=\"0\""),
              std::string::npos);
    // Network: ONVIF all-net on.
    ASSERT_EQ(QV_NETSDK_IPC_GetDVRConfig(handle, kCmdGetNetwork, 0, "", 0, nullptr), QV_OK);
    ASSERT_TRUE(hooks_.WaitAnswer(handle, kCmdGetNetwork, &answer));
    QV_NETWORK_LAN_CFG lan{};
    ASSERT_EQ(QV_NETSDK_IPC_Network_getLANCfgByXml(answer.text.c_str(), &lan), QV_OK);
    EXPECT_STREQ(lan.ipAddress, "127.0.0.1");
    lan.allNet = 1;
    xml = QV_NETSDK_IPC_XMLGET_NetworkLANConfig(&lan);
    ASSERT_EQ(Set(handle, kCmdSetNetwork, xml), QV_OK);
    QV_NETSDK_IPC_XMLGET_SAFE_FREE(xml);
    ASSERT_TRUE(hooks_.WaitAnswer(handle, kCmdSetNetwork, &answer));
    EXPECT_EQ(answer.status, 0);
    EXPECT_NE(server_.Document(camera, kCmdGetNetwork).find("ALLNET=\"1\""), std::string::npos);
    // Audio capture: the dialog's bare Capture.
    ASSERT_EQ(Set(handle, kCmdSetAudioCapture, "<Capture Volume=\"12\" VolumePlay=\"34\" />"),
              QV_OK);
    ASSERT_TRUE(hooks_.WaitAnswer(handle, kCmdSetAudioCapture, &answer));
    EXPECT_EQ(answer.status, 0);
    EXPECT_NE(server_.Document(camera, kCmdGetAudioCapture).find("Volume=\"12\""),
              std::string::npos);
}

TEST_F(SdkRequests, WritesReportTheirFinalStatus) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    struct Case {
        int code;
        std::string xml;
        int status;
    };
    const Case cases[] = {
        {kCmdSetStreamAccess,
         "<MediaStreamConfig>\r\n<StreamAccess enable_hik=\"0\" />\r\n</MediaStreamConfig>", 0},
        {kCmdSetLanguage, "<MiscConfig Language=\"zh_tw\" />", 0},
        {kCmdSetP2p, "<P2PConfig Enable=\"0\" Type=\"0\" />", 0},
        {kCmdSetMotionDetect, "<MotionDetectAlarm Enable=\"1\"", 3},
        {kCmdSetOverlay, "<PlatformConfig />", 3},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Set(handle, c.code, c.xml), QV_OK) << c.code;
        AnswerRecord answer;
        ASSERT_TRUE(hooks_.WaitAnswer(handle, static_cast<uint32_t>(c.code), &answer)) << c.code;
        EXPECT_EQ(answer.status, c.status) << c.code;
    }
    EXPECT_EQ(server_.Document(camera, kCmdSetLanguage), "<MiscConfig Language=\"zh_tw\" />");
}

TEST_F(SdkRequests, SystemCommandsAnswerSynchronouslyAndThroughTheHook) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    EXPECT_EQ(QV_NETSDK_IPC_SystemControl(handle, kCtlFileSystemVersion, nullptr, "RESPONSE_PARAM"),
              QV_OK);
    EXPECT_EQ(QV_NETSDK_IPC_SystemControl(handle, kCtlSerialNumber, nullptr, "RESPONSE_PARAM"),
              QV_OK);
    AnswerRecord answer;
    ASSERT_TRUE(hooks_.WaitAnswer(handle, kCtlFileSystemVersion, &answer));
    EXPECT_EQ(answer.status, 0);
    EXPECT_NE(answer.text.find("FileSystemVersion=\""), std::string::npos);
    ASSERT_TRUE(hooks_.WaitAnswer(handle, kCtlSerialNumber, &answer));
    EXPECT_EQ(answer.text, "<RESPONSE_PARAM SerialNumber=\"SN1\" />");
    EXPECT_EQ(QV_NETSDK_IPC_SystemControl(handle, kCtlDayNightMode, nullptr,
                                          "<REQUEST_PARAM Mode=\"Dusk\" />\n"),
              QV_ERR_REFUSED);
    EXPECT_EQ(QV_NETSDK_IPC_PTZPreset(handle, 8, 200), QV_OK);
    EXPECT_EQ(server_.LastControl(camera, 0xF00013), "<PTZPreset Command=\"8\" Preset=\"200\" />");
    EXPECT_EQ(QV_NETSDK_IPC_PTZControl(handle, 1, 2, 3), QV_OK);
    EXPECT_EQ(QV_NETSDK_IPC_CreateIFrame(handle, 1), QV_OK);
}

TEST_F(SdkRequests, FailureStatusReachesTheCaller) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    server_.SetFailStatus(camera, 1);
    ASSERT_EQ(Set(handle, kCmdSetLanguage, "<MiscConfig Language=\"en_us\" />"), QV_OK);
    AnswerRecord answer;
    ASSERT_TRUE(hooks_.WaitAnswer(handle, kCmdSetLanguage, &answer));
    EXPECT_EQ(answer.status, 1);
    EXPECT_EQ(QV_NETSDK_IPC_SystemControl(handle, kCtlFileSystemVersion, nullptr, "RESPONSE_PARAM"),
              QV_ERR_REFUSED);
    EXPECT_EQ(QV_NETSDK_IPC_RebootDVR(handle), QV_ERR_REFUSED);
}

TEST_F(SdkRequests, LostAnswersTimeOut) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    server_.SetLoseAnswers(camera, true);
    EXPECT_EQ(QV_NETSDK_IPC_SystemControl(handle, kCtlFileSystemVersion, nullptr, "RESPONSE_PARAM"),
              QV_ERR_TIMEOUT);
    ASSERT_EQ(QV_NETSDK_IPC_GetDVRConfig(handle, kCmdGetVideoCapture, 0, "", 0, nullptr), QV_OK);
    AnswerRecord answer;
    ASSERT_TRUE(hooks_.WaitAnswer(handle, kCmdGetVideoCapture, &answer));
    EXPECT_EQ(answer.status, 253);
    EXPECT_TRUE(answer.text.empty());
    // The session itself is still fine.
    server_.SetLoseAnswers(camera, false);
    EXPECT_EQ(QV_NETSDK_IPC_SystemControl(handle, kCtlSerialNumber, nullptr, "RESPONSE_PARAM"),
              QV_OK);
}

TEST_F(SdkRequests, DelayedAnswersStillMatchTheirRequests) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    server_.SetAnswerDelay(camera, std::chrono::milliseconds(30));
    for (int code : {kCmdGetVideoCapture, kCmdGetNetwork, kCmdGetStreamAccess})
        ASSERT_EQ(QV_NETSDK_IPC_GetDVRConfig(handle, code, 0, "", 0, nullptr), QV_OK);
    for (int code : {kCmdGetVideoCapture, kCmdGetNetwork, kCmdGetStreamAccess}) {
        AnswerRecord answer;
        ASSERT_TRUE(hooks_.WaitAnswer(handle, static_cast<uint32_t>(code), &answer));
        EXPECT_EQ(answer.status, 0) << code;
    }
}

// A read goes out marked as a read: a command code read as a document (a factory restore,
// a password document sent along with a read) is refused by the camera and changes nothing.
TEST_F(SdkRequests, ReadsNeverActOrWrite) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    ASSERT_EQ(Set(handle, kCmdSetLanguage, "<MiscConfig Language=\"zh_tw\" />"), QV_OK);
    AnswerRecord answer;
    ASSERT_TRUE(hooks_.WaitAnswer(handle, kCmdSetLanguage, &answer));
    ASSERT_EQ(QV_NETSDK_IPC_GetDVRConfig(handle, kCtlFactoryRestore, 0, "", 0, nullptr), QV_OK);
    ASSERT_TRUE(hooks_.WaitAnswer(handle, kCtlFactoryRestore, &answer));
    EXPECT_EQ(answer.status, 8);
    const std::string account =
        "<UserConfig><Account Username=\"admin\" Password=\"taken\" /></UserConfig>";
    ASSERT_EQ(QV_NETSDK_IPC_GetDVRConfig(handle, kCmdSetAdminPassword, 0, account.c_str(),
                                         static_cast<int>(account.size()), nullptr),
              QV_OK);
    ASSERT_TRUE(hooks_.WaitAnswer(handle, kCmdSetAdminPassword, &answer));
    EXPECT_EQ(answer.status, 0);
    EXPECT_EQ(answer.text.find("taken"), std::string::npos);
    // Neither the restore nor the password took effect.
    EXPECT_EQ(server_.Document(camera, kCmdSetLanguage), "<MiscConfig Language=\"zh_tw\" />");
    EXPECT_EQ(server_.Password(camera), "730418");
    EXPECT_EQ(server_.RestartCount(camera), 0);
}

TEST_F(SdkRequests, RequestsAreRefusedWhenTheyCannotBeSent) {
    const int handle = LoggedIn(AddCamera());
    const std::string huge(300000, 'x');
    EXPECT_EQ(Set(handle, kCmdSetVideoCapture, huge), QV_ERR_PARAM);
    EXPECT_EQ(QV_NETSDK_IPC_SetDVRConfig(handle, kCmdSetVideoCapture, 0, nullptr, 5), QV_ERR_PARAM);
    EXPECT_EQ(QV_NETSDK_IPC_GetDVRConfig(handle, -1, 0, "", 0, nullptr), QV_ERR_PARAM);
    EXPECT_EQ(QV_NETSDK_IPC_GetDVRConfig(handle, 0x1000000, 0, "", 0, nullptr), QV_ERR_PARAM);
    EXPECT_EQ(QV_NETSDK_IPC_GetDVRConfig(handle, kCmdGetVideoCapture, 256, "", 0, nullptr),
              QV_ERR_PARAM);  // the frame has one byte for the channel
    EXPECT_EQ(QV_NETSDK_IPC_SystemControl(handle, kCtlFileSystemVersion, nullptr, huge.c_str()),
              QV_ERR_PARAM);
}

TEST_F(SdkRequests, CameraEventsReachTheStatusHook) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    server_.EmitEvent(camera, QV_EVENT_ALARM, std::string(10, 'a'));  // wrong size: dropped
    server_.EmitEvent(camera, QV_EVENT_LOGGED_IN, "");                // only the SDK raises it
    server_.EmitEvent(camera, QV_EVENT_ALARM, std::string(168, 'b'));
    server_.EmitEvent(camera, QV_EVENT_BUSY, "busy");
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_BUSY));
    const std::vector<StatusRecord> events = hooks_.Events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1].type, QV_EVENT_ALARM);
    EXPECT_EQ(events[1].data, std::string(168, 'b'));
    EXPECT_EQ(events[2].data, "busy");
}

TEST_F(SdkRequests, FixedRecordsArriveWholeOnlyWithTheirSize) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    const struct {
        int type;
        std::size_t size;
    } cases[] = {
        {QV_EVENT_ALARM, sizeof(QV_ALARM_INFO)},
        {QV_EVENT_CUSTOM_MODEL, 536},
        {QV_EVENT_RECORD_25, 276},
        {QV_EVENT_MEDIA_INFO, 1360},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(FixedEventRecordSize(c.type), c.size);
        std::string record(c.size, 'r');
        record[1] = '\0';  // a record is not a text: a zero does not end it
        server_.EmitEvent(camera, c.type, record + "x");      // one byte too many: dropped
        server_.EmitEvent(camera, c.type, record.substr(1));  // one byte short: dropped
        server_.EmitEvent(camera, c.type, record);
        server_.EmitEvent(camera, QV_EVENT_BUSY, "");
        ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_BUSY));
        const std::vector<StatusRecord> events = hooks_.Events();
        ASSERT_GE(events.size(), 2u);
        EXPECT_EQ(events[events.size() - 2].type, c.type);
        EXPECT_EQ(events[events.size() - 2].data, record);
        hooks_.Clear();
    }
    for (int type : {QV_EVENT_FILE_DONE, QV_EVENT_BUSY, QV_EVENT_UPGRADE_PROGRESS})
        EXPECT_EQ(FixedEventRecordSize(type), 0u) << type << " carries a text";
}

TEST_F(SdkRequests, HookMayCallSynchronousFunctions) {
    const int camera = AddCamera();
    struct Context {
        std::atomic<int> result{1};
        HookRecorder* recorder;
    } context;
    context.recorder = &hooks_;
    QV_NETSDK_IPC_SetStatusEventCallBack(
        [](int handle, int type, const void* data, void* user) {
            auto* c = static_cast<Context*>(user);
            if (type == QV_EVENT_LOGGED_IN)
                c->result = QV_NETSDK_IPC_SystemControl(handle, kCtlFileSystemVersion, nullptr,
                                                        "RESPONSE_PARAM");
            return HookRecorder::OnStatus(handle, type, data, c->recorder);
        },
        &context);
    const int handle = Login(camera);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_LOGGED_IN));
    EXPECT_EQ(context.result, QV_OK);
    EXPECT_EQ(QV_NETSDK_IPC_Cleanup(), QV_OK);
}

}  // namespace
}  // namespace camfleet::testing
