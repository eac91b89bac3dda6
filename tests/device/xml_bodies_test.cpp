// Known-answer vectors of every discovery message and body the tool prints.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device/xml_messages.h"

namespace camfleet {
namespace {

StreamAccessRecord Defaults() {
    StreamAccessRecord a;
    std::memset(&a, 0x5a, sizeof a);
    SetStreamAccessDefaults(&a);
    return a;
}

const char kDefaultStreamBody[] =
    "<MediaStreamConfig>\r\n<StreamAccess Auth=\"1\" VideoPort=\"554\" RTPOverRTSP=\"1\" "
    "enable_rtsp=\"1\" enable_onvif=\"1\" enable_web=\"1\" OnvifAuth=\"0\" WEBPort=\"80\" "
    "enable_comm=\"1\" PTZPort=\"8091\" \r\nenable_hik=\"1\" hik_port=\"8000\" hik_auth=\"0\" "
    "enable_dh=\"1\" dh_port=\"37777\" dh_auth=\"0\" enable_tst=\"1\" enable_rtmp=\"0\" "
    "rtmp_port=\"1935\" streamno=\"0\" rtmp_type=\"0\" rtmp_server=\"\" rtmp_appname=\"\" "
    "rtmp_streamid=\"\" \r\nMulticast0_enable=\"0\" Multicast0_port=\"0\" Multicast0_IP=\"0\" "
    "Multicast1_enable=\"0\" Multicast1_port=\"0\" Multicast1_IP=\"0\" />\r\n"
    "</MediaStreamConfig>\r\n";

TEST(DiscoveryEnvelope, PrintsBothTemplatesByteExact) {
    EXPECT_EQ(PrintDiscoveryEnvelope(kRootKestravin, 1, 0, nullptr),
              "<?xml version=\"1.0\" encoding=\"GB2312\" ?>\n<XML_KESTRAVIN>\n<MESSAGE_HEADER\n"
              "Msg_type=\"SYSTEM_SEARCHIPC_MESSAGE\"\nMsg_code=\"1\"\nMsg_flag=\"0\"\n/>\n"
              "<MESSAGE_BODY>\n</MESSAGE_BODY>\n</XML_KESTRAVIN>");
    EXPECT_EQ(PrintDiscoveryEnvelope(kRootKestravin, 9, -1, "<B/>"),
              "<?xml version=\"1.0\" encoding=\"GB2312\" ?>\n<XML_KESTRAVIN>\n<MESSAGE_HEADER\n"
              "Msg_type=\"SYSTEM_SEARCHIPC_MESSAGE\"\nMsg_code=\"9\"\nMsg_flag=\"-1\"\n/>\n"
              "<MESSAGE_BODY>\n<B/>\n</MESSAGE_BODY>\n</XML_KESTRAVIN>");
    EXPECT_EQ(PrintDiscoveryEnvelope(nullptr, 1, 0, nullptr),
              PrintDiscoveryEnvelope(kRootKestravin, 1, 0, nullptr));
}

TEST(DiscoveryEnvelope, MessageOverTheBufferIsNotSent) {
    const std::string empty = PrintDiscoveryEnvelope(kRootKestravin, 2, 0, "");
    const std::string fits(kEnvelopeBufferSize - 1 - empty.size(), 'x');
    EXPECT_EQ(PrintDiscoveryEnvelope(kRootKestravin, 2, 0, fits.c_str()).size(),
              kEnvelopeBufferSize - 1);
    EXPECT_EQ(PrintDiscoveryEnvelope(kRootKestravin, 2, 0, (fits + "x").c_str()), "");
}

TEST(CommandBodies, SerialElementBothForms) {
    EXPECT_EQ(PrintSerialElement("SN0001"),
              "<IPC_SERIALNUMBER\r\nSerialNumber=\"SN0001\"\r\n/>\r\n");
    EXPECT_EQ(PrintSerialElementOneLine("SN0001"),
              "<IPC_SERIALNUMBER SerialNumber=\"SN0001\" />\r\n");
    EXPECT_EQ(PrintSerialElement(nullptr), "<IPC_SERIALNUMBER\r\nSerialNumber=\"\"\r\n/>\r\n");
}

TEST(CommandBodies, NetworkBodyByteExactWithoutAllNet) {
    NetworkBlock net{};
    std::strcpy(net.macAddress, "00:11:22:33:44:55");
    net.dhcp = 1;
    net.allNet = 1;
    std::strcpy(net.ipAddress, "192.168.1.10");
    std::strcpy(net.netmask, "255.255.255.0");
    std::strcpy(net.gateway, "192.168.1.1");
    std::strcpy(net.dns1, "8.8.8.8");
    std::strcpy(net.dns2, "8.8.4.4");
    EXPECT_EQ(PrintNetworkBody("SN0001", net),
              "<IPC_SERIALNUMBER\r\nSerialNumber=\"SN0001\"\r\n/>\r\n<LANConfig\r\n"
              "MacAddress=\"00:11:22:33:44:55\"\r\nDHCP=\"1\"\r\nIPAddress=\"192.168.1.10\"\r\n"
              "Netmask=\"255.255.255.0\"\r\nGateway=\"192.168.1.1\"\r\nDNS1=\"8.8.8.8\"\r\n"
              "DNS2=\"8.8.4.4\"\r\n/>\r\n");
}

TEST(CommandBodies, NetworkBodyReadsUnterminatedFieldsOnlyToTheirEnd) {
    NetworkBlock net;
    std::memset(&net, 'z', sizeof net);
    net.dhcp = 0;
    const std::string body = PrintNetworkBody("S", net);
    EXPECT_NE(body.find("MacAddress=\"" + std::string(18, 'z') + "\"\r\n"), std::string::npos);
    EXPECT_NE(body.find("DNS2=\"" + std::string(64, 'z') + "\"\r\n"), std::string::npos);
}

TEST(CommandBodies, FhConfigBlockByteExact) {
    char fields[7][32] = {"IPC", "101", "100", "Room 1", "10.0.0.9", "n", "10.0.0.1"};
    EXPECT_EQ(
        PrintFhConfigBody("SN9", fields),
        "<IPC_SERIALNUMBER SerialNumber=\"SN9\" />\r\n<FH_CONFIG>\n<SYSTEM DEVICETYPE=\"IPC\" "
        "EXTNUMBER=\"101\" MAINNUMBER=\"100\" EXTNAME=\"Room 1\" ADDRESSBOXIP=\"10.0.0.9\" "
        "NOTES=\"n\" MANAGECENTER=\"10.0.0.1\" />\n</FH_CONFIG>");
}

TEST(StreamAccessBody, DefaultsByteExact) {
    EXPECT_EQ(PrintStreamAccessBody(Defaults()), kDefaultStreamBody);
}

TEST(StreamAccessBody, UnsignedFieldsPrintUnsignedAndOthersSigned) {
    StreamAccessRecord a = Defaults();
    a.dhPort = 65535;
    a.multicast0Port = 50000;
    a.multicast0Ip = 0xEF000001u;  // 239.0.0.1 as a host-order integer
    a.multicast1Port = 65535;
    a.multicast1Ip = 0xFFFFFFFFu;
    a.hikPort = -1;
    a.rtmpPort = static_cast<int16_t>(40000);
    a.videoPort = -554;
    const std::string body = PrintStreamAccessBody(a);
    for (const char* expected :
         {"dh_port=\"65535\"", "Multicast0_port=\"50000\"", "Multicast0_IP=\"4009754625\"",
          "Multicast1_port=\"65535\"", "Multicast1_IP=\"4294967295\"", "hik_port=\"-1\"",
          "rtmp_port=\"-25536\"", "VideoPort=\"-554\""}) {
        EXPECT_NE(body.find(expected), std::string::npos) << expected;
    }
}

TEST(StreamAccessBody, TextsAreEscaped) {
    StreamAccessRecord a = Defaults();
    std::strcpy(a.rtmpStreamId, "live?a=1&b=\"2\"");
    std::strcpy(a.rtmpServer, "rtmp://h/<x>");
    std::strcpy(a.rtmpAppName, "it's");
    const std::string body = PrintStreamAccessBody(a);
    EXPECT_NE(body.find("rtmp_streamid=\"live?a=1&amp;b=&quot;2&quot;\" \r\n"), std::string::npos);
    EXPECT_NE(body.find("rtmp_server=\"rtmp://h/&lt;x&gt;\""), std::string::npos);
    EXPECT_NE(body.find("rtmp_appname=\"it&apos;s\""), std::string::npos);
}

// A body that does not fit 1,023 characters is never cut inside an element.
TEST(StreamAccessBody, OverlongBodyIsEmptyNotCut) {
    const std::size_t base = std::strlen(kDefaultStreamBody);
    const std::size_t extra = kBodyBufferSize - 1 - base;  // escaped characters that still fit
    StreamAccessRecord a = Defaults();
    const std::size_t amps = extra / 5;
    std::string id = std::string(amps, '&') + std::string(extra - amps * 5, 'a');
    ASSERT_LT(id.size(), sizeof a.rtmpStreamId);
    CopyField(a.rtmpStreamId, id);
    EXPECT_EQ(PrintStreamAccessBody(a).size(), kBodyBufferSize - 1);

    CopyField(a.rtmpStreamId, id + "a");
    EXPECT_EQ(PrintStreamAccessBody(a), "");

    std::memset(a.rtmpStreamId, '&', sizeof a.rtmpStreamId - 1);
    a.rtmpStreamId[255] = '\0';
    EXPECT_EQ(PrintStreamAccessBody(a), "");
}

TEST(CommandBodies, OverlongSerialGivesNoBody) {
    const std::string serial(kBodyBufferSize, 'S');
    EXPECT_EQ(PrintSerialElement(serial.c_str()), "");
    EXPECT_EQ(PrintSerialElementOneLine(serial.c_str()), "");
    EXPECT_EQ(PrintNetworkBody(serial.c_str(), NetworkBlock{}), "");
}

}  // namespace
}  // namespace camfleet
