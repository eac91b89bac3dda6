// Readers of the network, stream-access and account elements: cut rules, defaults,
// hostile input, and read-change-write cycles through the printers.
#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <cstring>
#include <string>

#include "device/xml_messages.h"

namespace camfleet {
namespace {

// Parses `inner` as the MESSAGE_BODY of a camera answer.
class Body {
public:
    explicit Body(const std::string& inner) {
        doc_.Parse(("<XML_NORVEK><MESSAGE_BODY>" + inner + "</MESSAGE_BODY></XML_NORVEK>").c_str());
        const tinyxml2::XMLElement* root = doc_.RootElement();
        body_ = root ? root->FirstChildElement("MESSAGE_BODY") : nullptr;
    }
    const tinyxml2::XMLElement* get() const { return body_; }

private:
    tinyxml2::XMLDocument doc_;
    const tinyxml2::XMLElement* body_ = nullptr;
};

TEST(LanConfigParse, ReadsEveryAttribute) {
    Body body(
        "<LANConfig MacAddress=\"00:11:22:33:44:55\" DHCP=\"1\" ALLNET=\"1\" "
        "IPAddress=\"10.0.0.2\" Netmask=\"255.0.0.0\" Gateway=\"10.0.0.1\" DNS1=\"1.1.1.1\" "
        "DNS2=\"9.9.9.9\"/>");
    NetworkBlock net{};
    ASSERT_EQ(ParseLanConfig(body.get(), &net), 0);
    EXPECT_STREQ(net.macAddress, "00:11:22:33:44:55");
    EXPECT_EQ(net.dhcp, 1);
    EXPECT_EQ(net.allNet, 1);
    EXPECT_STREQ(net.ipAddress, "10.0.0.2");
    EXPECT_STREQ(net.netmask, "255.0.0.0");
    EXPECT_STREQ(net.gateway, "10.0.0.1");
    EXPECT_STREQ(net.dns1, "1.1.1.1");
    EXPECT_STREQ(net.dns2, "9.9.9.9");
}

TEST(LanConfigParse, HostileInputIsCutOrLeftAlone) {
    const std::string longText(500, 'A');
    Body body("<LANConfig MacAddress=\"" + longText + "\" IPAddress=\"" + longText +
              "\" DHCP=\"99999999999\" ALLNET=\" -7x\"/>");
    NetworkBlock net;
    std::memset(&net, 0, sizeof net);
    std::strcpy(net.gateway, "keep");
    ASSERT_EQ(ParseLanConfig(body.get(), &net), 0);
    EXPECT_EQ(std::string(net.macAddress), std::string(17, 'A'));
    EXPECT_EQ(std::string(net.ipAddress), std::string(63, 'A'));
    EXPECT_STREQ(net.gateway, "keep");                      // missing attribute: field as it was
    EXPECT_EQ(net.dhcp, static_cast<int16_t>(2147483647));  // saturated int, then narrowed
    EXPECT_EQ(net.allNet, -7);
}

TEST(LanConfigParse, BytesThatAreNotUtf8AreCopiedAsTheyAre) {
    // Texts are GB2312 or worse on the wire: the reader copies bytes, conversions come later.
    Body body("<LANConfig MacAddress=\"\xff\xfe\xc0\x80\xcd\xf8\" DNS1=\"" +
              std::string(70, '\xcd') + "\"/>");
    NetworkBlock net{};
    ASSERT_EQ(ParseLanConfig(body.get(), &net), 0);
    EXPECT_STREQ(net.macAddress, "\xff\xfe\xc0\x80\xcd\xf8");
    EXPECT_EQ(std::string(net.dns1), std::string(63, '\xcd'));
}

TEST(LanConfigParse, MissingElementLeavesTheBlock) {
    NetworkBlock net;
    std::memset(&net, 0x33, sizeof net);
    NetworkBlock before = net;
    EXPECT_EQ(ParseLanConfig(Body("<lanconfig/>").get(), &net), -1);
    EXPECT_EQ(ParseLanConfig(nullptr, &net), -1);
    EXPECT_EQ(std::memcmp(&net, &before, sizeof net), 0);
}

TEST(TextToInt, FollowsTheCLibraryRuleWithoutOverflow) {
    struct Case {
        const char* text;
        int expected;
    } cases[] = {
        {"554", 554},
        {"  \t\n42", 42},
        {"+7", 7},
        {"-13", -13},
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {"- 5", 0},
        {"0x10", 0},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"-99999999999999999999", -2147483647 - 1},
        {"99999999999999999999999", 2147483647},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TextToInt(c.text), c.expected) << c.text;
    }
    EXPECT_EQ(TextToInt(static_cast<const char*>(nullptr)), 0);
    EXPECT_EQ(TextToInt64("4294967295"), 4294967295LL);
    EXPECT_EQ(TextToInt64("99999999999999999999"), 9223372036854775807LL);
}

TEST(StreamAccessParse, FullReadOfEveryAttribute) {
    Body body(
        "<MediaStreamConfig><StreamAccess enable_rtsp=\"0\" Auth=\"0\" RTPOverRTSP=\"0\" "
        "VideoPort=\"10554\" enable_comm=\"0\" PTZPort=\"9000\" enable_onvif=\"0\" "
        "enable_web=\"0\" OnvifAuth=\"1\" WEBPort=\"8080\" enable_hik=\"0\" hik_port=\"8001\" "
        "hik_auth=\"1\" enable_dh=\"0\" dh_port=\"40000\" dh_auth=\"1\" enable_tst=\"0\" "
        "enable_rtmp=\"1\" rtmp_server=\"rtmp.example\" rtmp_port=\"1936\" streamno=\"1\" "
        "rtmp_appname=\"app\" rtmp_streamid=\"a&amp;b\" rtmp_type=\"2\" "
        "Multicast0_enable=\"1\" Multicast0_port=\"5000\" Multicast0_IP=\"4009754625\" "
        "Multicast1_enable=\"1\" Multicast1_port=\"65535\" Multicast1_IP=\"1\"/>"
        "</MediaStreamConfig>");
    StreamAccessRecord a;
    ASSERT_EQ(ParseStreamAccess(body.get(), &a), 0);
    EXPECT_EQ(a.enableRtsp, 0);
    EXPECT_EQ(a.auth, 0);
    EXPECT_EQ(a.rtpOverRtsp, 0);
    EXPECT_EQ(a.videoPort, 10554);
    EXPECT_EQ(a.enableComm, 0);
    EXPECT_EQ(a.ptzPort, 9000);
    EXPECT_EQ(a.enableOnvif, 0);
    EXPECT_EQ(a.enableWeb, 0);
    EXPECT_EQ(a.onvifAuth, 1);
    EXPECT_EQ(a.webPort, 8080);
    EXPECT_EQ(a.enableHik, 0);
    EXPECT_EQ(a.hikPort, 8001);
    EXPECT_EQ(a.hikAuth, 1);
    EXPECT_EQ(a.enableDh, 0);
    EXPECT_EQ(a.dhPort, 40000);
    EXPECT_EQ(a.dhAuth, 1);
    EXPECT_EQ(a.enableTst, 0);
    EXPECT_EQ(a.enableRtmp, 1);
    EXPECT_STREQ(a.rtmpServer, "rtmp.example");
    EXPECT_EQ(a.rtmpPort, 1936);
    EXPECT_EQ(a.streamNo, 1);
    EXPECT_STREQ(a.rtmpAppName, "app");
    EXPECT_STREQ(a.rtmpStreamId, "a&b");
    EXPECT_EQ(a.rtmpType, 2);
    EXPECT_EQ(a.multicast0Enable, 1);
    EXPECT_EQ(a.multicast0Port, 5000);
    EXPECT_EQ(a.multicast0Ip, 4009754625u);
    EXPECT_EQ(a.multicast1Enable, 1);
    EXPECT_EQ(a.multicast1Port, 65535);
    EXPECT_EQ(a.multicast1Ip, 1u);
}

TEST(StreamAccessParse, DefaultsStayForMissingAttributesAndElements) {
    StreamAccessRecord expected;
    SetStreamAccessDefaults(&expected);
    StreamAccessRecord a;
    std::memset(&a, 0x7f, sizeof a);
    EXPECT_EQ(ParseStreamAccess(Body("<MediaStreamConfig/>").get(), &a), -1);
    EXPECT_EQ(std::memcmp(&a, &expected, sizeof a), 0);
    std::memset(&a, 0x7f, sizeof a);
    EXPECT_EQ(
        ParseStreamAccess(Body("<MediaStreamConfig><StreamAccess/></MediaStreamConfig>").get(), &a),
        0);
    EXPECT_EQ(std::memcmp(&a, &expected, sizeof a), 0);
    EXPECT_EQ(a.multicast0Port, 0);
}

TEST(StreamAccessParse, OverlongTextsAreCutToTheirFields) {
    const std::string longText(1000, 'q');
    Body body("<MediaStreamConfig><StreamAccess rtmp_server=\"" + longText + "\" rtmp_appname=\"" +
              longText + "\" rtmp_streamid=\"" + longText + "\"/></MediaStreamConfig>");
    StreamAccessRecord a;
    ASSERT_EQ(ParseStreamAccess(body.get(), &a), 0);
    EXPECT_EQ(std::string(a.rtmpServer), std::string(63, 'q'));
    EXPECT_EQ(std::string(a.rtmpAppName), std::string(63, 'q'));
    EXPECT_EQ(std::string(a.rtmpStreamId), std::string(255, 'q'));
    EXPECT_EQ(a.rtmpPort, 1935);  // neighbours untouched
    EXPECT_EQ(a.rtmpType, 0);
}

// Read-change-write: what the printer writes, the full reader reads back unchanged.
TEST(StreamAccessParse, PrintReadRoundTrip) {
    StreamAccessRecord a;
    SetStreamAccessDefaults(&a);
    a.multicast0Port = 40001;
    a.multicast0Ip = 0xEFFFFFFAu;
    a.multicast1Ip = 0xFFFFFFFFu;
    a.dhPort = 65000;
    a.hikPort = -2;
    std::strcpy(a.rtmpStreamId, "k=\"&'<>\"");
    std::strcpy(a.rtmpServer, "s&s");
    const std::string doc = PrintStreamAccessBody(a);
    StreamAccessRecord back;
    ASSERT_EQ(ParseStreamAccessDocument(doc, &back), 0);
    EXPECT_EQ(std::memcmp(&a, &back, sizeof a), 0);

    // Change one field and write again: the multicast port survives the cycle.
    back.videoPort = 1554;
    StreamAccessRecord again;
    ASSERT_EQ(ParseStreamAccessDocument(PrintStreamAccessBody(back), &again), 0);
    EXPECT_EQ(again.multicast0Port, 40001);
    EXPECT_EQ(again.videoPort, 1554);
}

TEST(StreamAccessParse, DocumentWithoutMulticastPortLeavesItZero) {
    StreamAccessRecord a;
    ASSERT_EQ(
        ParseStreamAccessDocument(
            "<MediaStreamConfig><StreamAccess Multicast0_enable=\"1\"/></MediaStreamConfig>", &a),
        0);
    EXPECT_EQ(a.multicast0Enable, 1);
    EXPECT_EQ(a.multicast0Port, 0);
    EXPECT_EQ(ParseStreamAccessDocument("<Other/>", &a), -1);
    ASSERT_EQ(ParseStreamAccessDocument("<Answer><MediaStreamConfig><StreamAccess "
                                        "WEBPort=\"81\"/></MediaStreamConfig></Answer>",
                                        &a),
              0);
    EXPECT_EQ(a.webPort, 81);
    EXPECT_EQ(ParseStreamAccessDocument("<MediaStreamConfig><Stream", &a), -1);
}

TEST(StreamAccessParse, BriefReadTakesOnlyFiveAttributes) {
    Body body(
        "<MediaStreamConfig><StreamAccess Auth=\"0\" VideoPort=\"10554\" RTPOverRTSP=\"0\" "
        "PTZPort=\"9001\" WEBPort=\"81\" enable_rtsp=\"0\" dh_port=\"1\" rtmp_server=\"x\"/>"
        "</MediaStreamConfig>");
    StreamAccessRecord a{};
    ASSERT_EQ(ParseStreamAccessBrief(body.get(), &a), 0);
    StreamAccessRecord expected{};
    expected.auth = 0;
    expected.videoPort = 10554;
    expected.rtpOverRtsp = 0;
    expected.ptzPort = 9001;
    expected.webPort = 81;
    EXPECT_EQ(std::memcmp(&a, &expected, sizeof a), 0);

    StreamAccessRecord partial{};
    ASSERT_EQ(
        ParseStreamAccessBrief(
            Body("<MediaStreamConfig><StreamAccess VideoPort=\"1\"/></MediaStreamConfig>").get(),
            &partial),
        0);
    EXPECT_EQ(partial.videoPort, 1);
    EXPECT_EQ(partial.ptzPort, 8091);  // missing: its default
    EXPECT_EQ(partial.enableRtsp, 0);  // not one of the five: untouched
    EXPECT_EQ(ParseStreamAccessBrief(Body("<StreamAccess/>").get(), &partial), -1);
}

TEST(AccountParse, FirstAccountOnlyWithCutsAndFoundFlag) {
    const std::string longText(300, 'u');
    Body body("<UserConfig><Account Username=\"" + longText +
              "\" Password=\"pw\" Group=\"Administrator\" Status=\"" + longText +
              "\"/><Account Username=\"second\" Password=\"x\"/></UserConfig>");
    AccountRecord account{};
    ASSERT_EQ(ParseAccount(body.get(), &account), 0);
    EXPECT_EQ(account.found, 1);
    EXPECT_EQ(std::string(account.username), std::string(39, 'u'));
    EXPECT_STREQ(account.password, "pw");
    EXPECT_STREQ(account.group, "Administrator");
    EXPECT_EQ(std::string(account.status), std::string(31, 'u'));
}

TEST(AccountParse, MissingElementsGiveMinusOneAndNoFlag) {
    for (const char* inner : {"", "<UserConfig/>", "<Account Username=\"a\"/>",
                              "<UserConfig><User Username=\"a\"/></UserConfig>"}) {
        AccountRecord account{};
        EXPECT_EQ(ParseAccount(Body(inner).get(), &account), -1) << inner;
        EXPECT_EQ(account.found, 0) << inner;
    }
}

// A whole camera answer, taken apart the way the search thread does.
TEST(AnswerBody, AllThreeRecordsFromOneAnswer) {
    const std::string text =
        "<?xml version=\"1.0\" encoding=\"GB2312\" ?>\n<XML_NORVEK>\n<MESSAGE_HEADER "
        "Msg_type=\"SYSTEM_SEARCHIPC_MESSAGE\" Msg_code=\"3\" Msg_flag=\"0\"/>\n<MESSAGE_BODY>\n"
        "<LANConfig IPAddress=\"192.168.1.10\" DHCP=\"0\"/>\n"
        "<MediaStreamConfig><StreamAccess VideoPort=\"8554\"/></MediaStreamConfig>\n"
        "<UserConfig><Account Username=\"admin\" Password=\"123\"/></UserConfig>\n"
        "</MESSAGE_BODY>\n</XML_NORVEK>";
    tinyxml2::XMLDocument doc;
    const tinyxml2::XMLElement* root = ParseMessageRoot(text, &doc);
    ASSERT_NE(root, nullptr);
    const tinyxml2::XMLElement* body = root->FirstChildElement("MESSAGE_BODY");
    NetworkBlock net{};
    StreamAccessRecord access{};
    AccountRecord account{};
    ASSERT_EQ(ParseLanConfig(body, &net), 0);
    ASSERT_EQ(ParseStreamAccessBrief(body, &access), 0);
    ASSERT_EQ(ParseAccount(body, &account), 0);
    EXPECT_STREQ(net.ipAddress, "192.168.1.10");
    EXPECT_EQ(access.videoPort, 8554);
    EXPECT_STREQ(account.password, "123");
}

}  // namespace
}  // namespace camfleet
