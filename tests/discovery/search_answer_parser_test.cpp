// Answer parsing: hostile answers are dropped or cut exactly, never overflow a field.

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "device/xml_messages.h"
#include "discovery/profile_match.h"
#include "discovery/search_answer_handler.h"
#include "discovery/search_answer_parser.h"
#include "sim/answer_printer.h"
#include "sim/camera_profile.h"

namespace camfleet {
namespace {

using sim::Hostility;

sim::CameraProfile Profile() {
    sim::CameraProfile p = sim::MakeCameraProfile(7, 0, "192.168.1.10", {}, 8091);
    p.model = "DIR-OVADU-NVS3516E_V2";
    p.osdText = "Gate 1";
    return p;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

AnswerVerdict Build(const std::string& text, SearchAnswer* answer) {
    return BuildSearchAnswer(text.data(), static_cast<long>(text.size()), answer);
}

TEST(SearchAnswerParser, WellFormedAnswerFillsEveryField) {
    const sim::CameraProfile p = Profile();
    SearchAnswer a;
    ASSERT_EQ(Build(sim::PrintCameraAnswer(p, 4242), &a), AnswerVerdict::kAccepted);
    ExpectAnswerMatchesProfile(a, p);
    EXPECT_EQ(a.runningTime, 4242);
    EXPECT_EQ(a.streamAccess.enableRtsp, 0) << "only the five answer attributes are filled";
    EXPECT_EQ(a.streamAccess.hikPort, 0);
    EXPECT_STREQ(a.account.password, "730418") << "the factory password";
    EXPECT_STREQ(a.adapterAddress, "") << "the adapter is set by the table";
}

struct HostileCase {
    const char* name;
    Hostility hostility;
    AnswerVerdict verdict;
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.name;
}

class HostileAnswer : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileAnswer, IsDroppedOrAcceptedAsTheChecksSay) {
    SearchAnswer a;
    const std::string text = sim::PrintCameraAnswer(Profile(), 1, GetParam().hostility);
    EXPECT_EQ(Build(text, &a), GetParam().verdict);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileAnswer,
    testing::Values(HostileCase{"NoLan", Hostility::kNoLanConfig, AnswerVerdict::kNoLan},
                    HostileCase{"NoStream", Hostility::kNoStreamAccess, AnswerVerdict::kNoStream},
                    HostileCase{"NoUser", Hostility::kNoUserConfig, AnswerVerdict::kNoUser},
                    HostileCase{"NoBody", Hostility::kNoBody, AnswerVerdict::kNoRoot},
                    HostileCase{"NotCamera", Hostility::kNotCameraType, AnswerVerdict::kNotCamera},
                    HostileCase{"BothRoots", Hostility::kBothRoots, AnswerVerdict::kAccepted},
                    HostileCase{"OddOsd", Hostility::kOddOsd, AnswerVerdict::kAccepted},
                    HostileCase{"NonHexOsd", Hostility::kNonHexOsd, AnswerVerdict::kAccepted},
                    HostileCase{"BadUtf8Osd", Hostility::kInvalidUtf8Osd, AnswerVerdict::kAccepted},
                    HostileCase{"Overlong", Hostility::kOverlongAttributes,
                                AnswerVerdict::kAccepted}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SearchAnswerParser, OverlongTextsAreCutToTheirFields) {
    SearchAnswer a;
    const std::string text = sim::PrintCameraAnswer(Profile(), 1, Hostility::kOverlongAttributes);
    EXPECT_LE(text.size(), 5120u) << "fits one datagram, so the search thread reads it";
    ASSERT_EQ(Build(text, &a), AnswerVerdict::kAccepted);
    const struct {
        const char* field;
        std::size_t size;
    } fields[] = {{a.serialNumber, 32}, {a.platformId, 32},         {a.p2pId, 128},
                  {a.deviceType, 32},   {a.version, 128},           {a.uuid, 32},
                  {a.osdText, 256},     {a.network.macAddress, 18}, {a.network.ipAddress, 64},
                  {a.network.dns2, 64}, {a.account.username, 40},   {a.account.status, 32}};
    for (const auto& f : fields)
        EXPECT_EQ(strnlen(f.field, f.size), f.size - 1) << f.field;
}

TEST(SearchAnswerParser, OsdIsHexDecodedAndChecked) {
    const struct {
        const char* hex;
        const char* text;
    } cases[] = {
        {"414243", "ABC"},  // plain pairs
        {"4", "\x40"},      // odd last digit pairs with the terminating zero
        {"e5908ee997a8", "\xe5\x90\x8e\xe9\x97\xa8"},  // UTF-8 kept (OEM code page is UTF-8)
        {"4A4b", "JK"},                                // either case
        {"zz41", ""},  // a non-hex digit counts as 0: the text starts with a zero
        {"c3", ""},    // cut UTF-8 sequence: conversion fails, OSD stays empty
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeOsdText(c.hex).c_str(), std::string(c.text)) << c.hex;
}

TEST(SearchAnswerParser, DeviceTypeFilter) {
    const struct {
        const char* type;
        bool camera;
    } cases[] = {{"NVS-IPC", true},  {"XXNVSYY", true}, {"DVS1", true},
                 {"DEC", true},      {"NVR-16", true},  {"IPC-2M", false},
                 {"nvs-ipc", false}, {"", false},       {"DIR-OVADU-NVS_V2", true}};
    for (const auto& c : cases)
        EXPECT_EQ(IsCameraType(c.type), c.camera) << c.type;
}

TEST(SearchAnswerParser, RunningTimeAndP2pStatusReadAsNumbers) {
    const std::string body =
        "<IPC_SERIALNUMBER runtime=\" 12x\" P2PSTATUS=\"99999999999\" />"
        "<DEVICE_TYPE DeviceType=\"NVS\" /><LANConfig />"
        "<MediaStreamConfig><StreamAccess /></MediaStreamConfig><UserConfig><Account "
        "/></UserConfig>";
    SearchAnswer a;
    ASSERT_EQ(Build(PrintDiscoveryEnvelope(kRootNorvek, kMsgAnswer, 0, body.c_str()), &a),
              AnswerVerdict::kAccepted);
    EXPECT_EQ(a.runningTime, 12);
    EXPECT_EQ(a.p2pStatus, INT_MAX) << "out of range saturates";
}

TEST(SearchAnswerParser, AbsentIdentityAttributesLeaveDefaults) {
    const std::string body =
        "<IPC_SERIALNUMBER SerialNumber=\"S1\" />\n<DEVICE_TYPE DeviceType=\"NVS\" />\n"
        "<LANConfig IPAddress=\"1.2.3.4\" />\n"
        "<MediaStreamConfig><StreamAccess /></MediaStreamConfig>\n"
        "<UserConfig><Account Username=\"u\" /></UserConfig>";
    SearchAnswer a;
    ASSERT_EQ(Build(PrintDiscoveryEnvelope(kRootNorvek, kMsgAnswer, 0, body.c_str()), &a),
              AnswerVerdict::kAccepted);
    EXPECT_EQ(a.p2pStatus, -1);
    EXPECT_EQ(a.runningTime, 0);
    EXPECT_STREQ(a.version, "");
}

TEST(SearchAnswerParser, LaterDeviceTypeOverwritesEarlier) {
    const std::string body =
        "<DEVICE_TYPE DeviceType=\"IPC\" OSD=\"41\" />\n<DEVICE_TYPE DeviceType=\"NVS\" />\n"
        "<LANConfig /><MediaStreamConfig><StreamAccess /></MediaStreamConfig>"
        "<UserConfig><Account /></UserConfig>";
    SearchAnswer a;
    ASSERT_EQ(Build(PrintDiscoveryEnvelope(kRootNorvek, kMsgAnswer, 0, body.c_str()), &a),
              AnswerVerdict::kAccepted);
    EXPECT_STREQ(a.deviceType, "NVS");
    EXPECT_STREQ(a.osdText, "") << "the OSD of the later element (absent) wins";
}

TEST(SearchAnswerParser, WhichDatagramsAreAnswers) {
    const std::string good = sim::PrintCameraAnswer(Profile(), 1);
    const struct {
        const char* name;
        std::string text;
        bool answer;
    } cases[] = {
        {"answer", good, true},
        {"no Msg_flag", sim::PrintCameraAnswer(Profile(), 1, Hostility::kNoMsgFlag), false},
        {"wrong code", sim::PrintCameraAnswer(Profile(), 1, Hostility::kWrongMsgCode), false},
        {"own request", PrintDiscoveryEnvelope(kRootKestravin, kMsgSearch, 0, nullptr), false},
        {"empty Msg_flag", Replace(good, "Msg_flag=\"0\"", "Msg_flag=\"\""), false},
        {"empty Msg_type", Replace(good, "SYSTEM_SEARCHIPC_MESSAGE", ""), false},
        {"code with blanks", Replace(good, "Msg_code=\"3\"", "Msg_code=\" 3x\""), true},
        {"not XML", "hello", false},
        {"empty", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsSearchAnswerMessage(c.text), c.answer) << c.name;
}

TEST(SearchAnswerHandler, ResultAndStoring) {
    DeviceTable table;
    AnswerVerdict verdict;
    EXPECT_EQ(HandleSearchAnswer(table, nullptr, 10, "1.1.1.1", &verdict), 0);
    EXPECT_EQ(HandleSearchAnswer(table, "x", -1, "1.1.1.1", &verdict), 0);
    const std::string bad = sim::PrintCameraAnswer(Profile(), 1, Hostility::kNoUserConfig);
    EXPECT_EQ(HandleSearchAnswer(table, bad.data(), long(bad.size()), "1.1.1.1", &verdict), -1);
    EXPECT_EQ(table.Count(), 0u) << "a dropped answer leaves no entry";
    const std::string good = sim::PrintCameraAnswer(Profile(), 1);
    EXPECT_EQ(HandleSearchAnswer(table, good.data(), long(good.size()), "1.1.1.1", &verdict), -1);
    EXPECT_EQ(verdict, AnswerVerdict::kAccepted);
    ASSERT_EQ(table.Count(), 1u);
    EXPECT_STREQ(table.Snapshot()[0].adapterAddress, "1.1.1.1");
}

}  // namespace
}  // namespace camfleet
