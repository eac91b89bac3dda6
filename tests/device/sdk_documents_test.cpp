// Known-answer vectors of the fixed SDK documents.
#include "device/sdk_documents.h"

#include <gtest/gtest.h>

namespace camfleet {
namespace {

TEST(SdkDocuments, FixedTextsByteExact) {
    struct Case {
        const char* name;
        std::string actual;
        const char* expected;
    } cases[] = {
        {"223 password", PrintAdminPasswordDocument("s3cret"),
         "<UserConfig><Account Username=\"admin\" Password=\"s3cret\" Group=\"Administrator\" "
         "Status=\"Enable\" /></UserConfig>"},
        {"223 password escaped", PrintAdminPasswordDocument("a\"b&"),
         "<UserConfig><Account Username=\"admin\" Password=\"a&quot;b&amp;\" "
         "Group=\"Administrator\" Status=\"Enable\" /></UserConfig>"},
        {"227 language", PrintLanguageDocument("English"), "<MiscConfig Language=\"English\" />"},
        {"1005 time", PrintSyncTimeRequest({2024, 3, 7, 9, 5, 0}),
         "<REQUEST_PARAM\r\nTime=\"20240307 09:05:00\"\r\nTimeZone=\"1200\"\n/>"},
        {"1042 output on", PrintIoOutputRequest(1),
         "<REQUEST_PARAM ChannelNo=\"0\"Output=\"1\"/>\n"},
        {"1042 output off", PrintIoOutputRequest(0),
         "<REQUEST_PARAM ChannelNo=\"0\"Output=\"0\"/>\n"},
        {"1043 snapshot", PrintSnapshotRequest(), "<REQUEST_PARAM Stream=\"0\"Quality=\"100\"/>\n"},
        {"1046 night", PrintDayNightRequest(true), "<REQUEST_PARAM Mode=\"NightMode\" />\n"},
        {"1046 day", PrintDayNightRequest(false), "<REQUEST_PARAM Mode=\"DayMode\" />\n"},
        {"1094 mode", PrintFactoryModeRequest(1), "<REQUEST_PARAM Mode=\"1\"/>\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.actual, c.expected) << c.name;
    }
}

}  // namespace
}  // namespace camfleet
