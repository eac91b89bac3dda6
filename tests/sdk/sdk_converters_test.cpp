#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "device/sdk/qv_netsdk_ipc.h"

namespace {

std::string Take(char* text) {
    std::string out = text != nullptr ? text : "";
    QV_NETSDK_IPC_XMLGET_SAFE_FREE(text);
    return out;
}

// Every named field set to a random value (reserved words left zero).
QV_VIDEO_CAPTURE RandomVideo(std::mt19937& rng) {
    QV_VIDEO_CAPTURE v{};
    int32_t* named[] = {&v.brightness, &v.contrast,     &v.saturation,  &v.sharpness,
                        &v.tvSystem,   &v.backLight,    &v.mirror,      &v.flip,
                        &v.rotation,   &v.gain,         &v.shutter,     &v.irCutMode,
                        &v.ledMode,    &v.wdr,          &v.wdrLevel,    &v.defog,
                        &v.defogLevel, &v.whiteBalance, &v.noiseFilter, &v.dayNightMode};
    for (int32_t* field : named)
        *field = static_cast<int32_t>(rng());
    return v;
}

TEST(SdkConverters, VideoCaptureRoundTripsEveryField) {
    std::mt19937 rng(7);
    for (int i = 0; i < 50; ++i) {
        const QV_VIDEO_CAPTURE in = RandomVideo(rng);
        const std::string xml = Take(QV_NETSDK_IPC_XMLGET_VideoCaptureConfig(&in));
        QV_VIDEO_CAPTURE out{};
        ASSERT_EQ(QV_NETSDK_IPC_Media_getVideoCaptureByXml(xml.c_str(), &out), QV_OK) << xml;
        EXPECT_EQ(std::memcmp(&in, &out, sizeof in), 0) << xml;
    }
}

TEST(SdkConverters, VideoCaptureDocumentShape) {
    QV_VIDEO_CAPTURE v{};
    v.tvSystem = 1;
    v.dayNightMode = 3;
    const std::string xml = Take(QV_NETSDK_IPC_XMLGET_VideoCaptureConfig(&v));
    EXPECT_EQ(xml.rfind("<Video>\n<Capture ", 0), 0u) << xml;
    EXPECT_NE(xml.find(" TVSystem=\"1\""), std::string::npos);
    EXPECT_NE(xml.find(" DayNightMode=\"3\""), std::string::npos);
    // The byte at offset 16 is the TV system, the word at 124 the day/night mode.
    const auto* bytes = reinterpret_cast<const unsigned char*>(&v);
    int32_t at124;
    std::memcpy(&at124, bytes + 124, 4);
    EXPECT_EQ(bytes[16], 1);
    EXPECT_EQ(at124, 3);
}

TEST(SdkConverters, NetworkRoundTripsEveryField) {
    QV_NETWORK_LAN_CFG in{};
    std::strcpy(in.macAddress, "00:1a:2b:3c:4d:5e");
    in.dhcp = 1;
    in.allNet = -32768;
    std::strcpy(in.ipAddress, "192.168.1.10");
    std::strcpy(in.netmask, "255.255.255.0");
    std::strcpy(in.gateway, "192.168.1.1");
    std::strcpy(in.dns1, "a\"b&c<d>'");  // escaped on the way out
    std::memset(in.dns2, 'x', sizeof in.dns2 - 1);
    const std::string xml = Take(QV_NETSDK_IPC_XMLGET_NetworkLANConfig(&in));
    QV_NETWORK_LAN_CFG out{};
    ASSERT_EQ(QV_NETSDK_IPC_Network_getLANCfgByXml(xml.c_str(), &out), QV_OK) << xml;
    EXPECT_EQ(std::memcmp(&in, &out, sizeof in), 0) << xml;
    EXPECT_NE(xml.find("ALLNET=\"-32768\""), std::string::npos);
}

TEST(SdkConverters, AudioCaptureRoundTripsAndReadsTheDialogForm) {
    QV_AUDIO_CAPTURE in{1, 16000, 2, 77, 88, 1, 1};
    const std::string xml = Take(QV_NETSDK_IPC_XMLGET_AudioCaptureConfig(&in));
    QV_AUDIO_CAPTURE out{};
    ASSERT_EQ(QV_NETSDK_IPC_Media_getAudioCaptureByXml(xml.c_str(), &out), QV_OK) << xml;
    EXPECT_EQ(std::memcmp(&in, &out, sizeof in), 0);
    // The capture dialog writes a bare Capture; absent attributes keep their values.
    const char* dialog =
        "<Capture\n\tVolume=\"50\"\n\tVolumePlay=\"100\"\n\tamplify=\"1\"\n\t"
        "ra_answer=\"0\" />";
    ASSERT_EQ(QV_NETSDK_IPC_Media_getAudioCaptureByXml(dialog, &out), QV_OK);
    EXPECT_EQ(out.captureVolume, 50);
    EXPECT_EQ(out.playbackVolume, 100);
    EXPECT_EQ(out.keyAnswer, 0);
    EXPECT_EQ(out.sampleRate, 16000);
}

TEST(SdkConverters, RefusedDocumentsLeaveTheStructureUnchanged) {
    struct Case {
        const char* name;
        const char* xml;
    };
    const Case video[] = {
        {"null", nullptr},
        {"not XML", "Video"},
        {"wrong root", "<Audio><Capture Brightness=\"1\" /></Audio>"},
        {"no Capture", "<Video />"},
        {"not a number", "<Video><Capture Brightness=\"bright\" /></Video>"},
        {"trailing text", "<Video><Capture Brightness=\"12x\" /></Video>"},
        {"above 32 bits", "<Video><Capture Brightness=\"2147483648\" /></Video>"},
        {"good then bad", "<Video><Capture Brightness=\"5\" Flip=\"\" /></Video>"},
    };
    for (const Case& c : video) {
        QV_VIDEO_CAPTURE v{};
        v.brightness = 99;
        EXPECT_EQ(QV_NETSDK_IPC_Media_getVideoCaptureByXml(c.xml, &v), QV_ERR_PARAM) << c.name;
        EXPECT_EQ(v.brightness, 99) << c.name;
    }
    QV_AUDIO_CAPTURE a{};
    a.captureVolume = 9;
    EXPECT_EQ(QV_NETSDK_IPC_Media_getAudioCaptureByXml(
                  "<Capture Volume=\"40000\" VolumePlay=\"1\" />", &a),
              QV_ERR_PARAM)
        << "above 16 bits";
    EXPECT_EQ(a.captureVolume, 9);
    EXPECT_EQ(QV_NETSDK_IPC_XMLGET_VideoCaptureConfig(nullptr), nullptr);
    QV_NETSDK_IPC_XMLGET_SAFE_FREE(nullptr);
}

TEST(SdkConverters, NetworkInsideAnotherRootIsFound) {
    QV_NETWORK_LAN_CFG lan{};
    ASSERT_EQ(
        QV_NETSDK_IPC_Network_getLANCfgByXml(
            "<MESSAGE_BODY><LANConfig IPAddress=\"10.0.0.9\" ALLNET=\"1\" /></MESSAGE_BODY>", &lan),
        QV_OK);
    EXPECT_STREQ(lan.ipAddress, "10.0.0.9");
    EXPECT_EQ(lan.allNet, 1);
    // A text longer than its field is cut to the field.
    const std::string longIp = "<LANConfig IPAddress=\"" + std::string(100, '1') + "\" />";
    ASSERT_EQ(QV_NETSDK_IPC_Network_getLANCfgByXml(longIp.c_str(), &lan), QV_OK);
    EXPECT_EQ(std::strlen(lan.ipAddress), sizeof lan.ipAddress - 1);
}

}  // namespace
