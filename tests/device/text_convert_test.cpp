// Code-page conversions with real Chinese text, the display rule, and UTF-8 → OEM.
#include "device/text_convert.h"

#include <gtest/gtest.h>

#include <string>

namespace camfleet {
namespace {

// "网络摄像机" (simplified) and "網路攝影機" (traditional) in each encoding.
const std::string kSimplifiedUtf8 = "网络摄像机";
const std::string kSimplifiedGb = "\xcd\xf8\xc2\xe7\xc9\xe3\xcf\xf1\xbb\xfa";
const std::string kTraditionalUtf8 = "網路攝影機";
const std::string kTraditionalGbk = "\xbe\x57\xc2\xb7\x94\x7a\xd3\xb0\x99\x43";
const std::string kTraditionalBig5 = "\xba\xf4\xb8\xf4\xc4\xe1\xbc\x76\xbe\xf7";
constexpr unsigned kLocaleSimplifiedChinese = 2052;

TEST(CodePages, ChineseTextBothWays) {
    struct Case {
        const char* name;
        std::string actual;
        std::string expected;
    } cases[] = {
        {"utf8 to gb2312", Utf8ToGb2312(kSimplifiedUtf8), kSimplifiedGb},
        {"gb2312 to utf8", Gb2312ToUtf8(kSimplifiedGb), kSimplifiedUtf8},
        {"traditional utf8 to 936", Utf8ToGb2312(kTraditionalUtf8), kTraditionalGbk},
        {"936 to big5", Gb2312ToBig5(kTraditionalGbk), kTraditionalBig5},
        {"big5 to 936", Big5ToGb2312(kTraditionalBig5), kTraditionalGbk},
        {"ascii unchanged", Gb2312ToBig5("IPC-01 a<b>"), "IPC-01 a<b>"},
        {"empty", Utf8ToGb2312(""), ""},
        {"common characters", Gb2312ToBig5(Utf8ToGb2312("中文名字")),
         "\xa4\xa4\xa4\xe5\xa6\x57\xa6\x72"},
        // 络 and 摄 have no Big5 form: each becomes one '?'.
        {"simplified to big5", Gb2312ToBig5(kSimplifiedGb), "\xca\x49??\xb9\xb3\xc9\xf3"},
        {"undecodable byte",
         Gb2312ToUtf8("a\xff"
                      "b"),
         "a\xef\xbf\xbd"
         "b"},
        {"truncated double byte", Gb2312ToUtf8("a\xcd"), "a\xef\xbf\xbd"},
        {"invalid utf8 to gb",
         Utf8ToGb2312("a\xc0\x80"
                      "b"),
         "a??b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.actual, c.expected) << c.name;
    }
}

TEST(CodePages, StrictModeRefusesWhatCannotBeCarried) {
    std::string out = "stale";
    EXPECT_FALSE(ConvertCodePage(kSimplifiedGb, CodePage::kGb2312, CodePage::kBig5,
                                 ConvertMode::kStrict, &out));
    EXPECT_FALSE(
        ConvertCodePage("\xff", CodePage::kGb2312, CodePage::kUtf8, ConvertMode::kStrict, &out));
    ASSERT_TRUE(ConvertCodePage(kTraditionalBig5, CodePage::kBig5, CodePage::kUtf8,
                                ConvertMode::kStrict, &out));
    EXPECT_EQ(out, kTraditionalUtf8);
}

TEST(CodePages, LongTextCrossesTheBackendBuffer) {
    std::string utf8;
    std::string gb;
    for (int i = 0; i < 3000; ++i) {
        utf8 += kSimplifiedUtf8;
        gb += kSimplifiedGb;
    }
    EXPECT_EQ(Utf8ToGb2312(utf8), gb);
    EXPECT_EQ(Gb2312ToUtf8(gb), utf8);
}

TEST(DisplayRule, LocaleDecidesBig5) {
    EXPECT_EQ(DeviceTextForDisplay(kTraditionalUtf8, kLocaleTraditionalChinese), kTraditionalBig5);
    EXPECT_EQ(DeviceTextForDisplay(kSimplifiedUtf8, kLocaleSimplifiedChinese), kSimplifiedGb);
    EXPECT_EQ(DeviceTextForDisplay(kTraditionalUtf8, kLocaleSimplifiedChinese), kTraditionalGbk);
    EXPECT_EQ(DisplayTextForDevice(kTraditionalBig5, kLocaleTraditionalChinese), kTraditionalUtf8);
    EXPECT_EQ(DisplayTextForDevice(kSimplifiedGb, kLocaleSimplifiedChinese), kSimplifiedUtf8);
}

TEST(Utf8ToOem, ValidTextIsCopiedInvalidFailsWithItsMessage) {
    struct Case {
        const char* name;
        std::string text;
        bool ok;
    } cases[] = {
        {"ascii", "ABC", true},
        {"chinese", kSimplifiedUtf8, true},
        {"four-byte", "\xf0\x9f\x93\xb7", true},
        {"largest code point", "\xf4\x8f\xbf\xbf", true},
        {"zero byte inside", std::string("A\0B", 3), true},
        {"empty", "", true},
        {"lone continuation", "\x80", false},
        {"overlong slash", "\xc0\xaf", false},
        {"overlong three-byte", "\xe0\x80\xaf", false},
        {"surrogate", "\xed\xa0\x80", false},
        {"above U+10FFFF", "\xf4\x90\x80\x80", false},
        {"truncated", "\xe7\xbd", false},
        {"gb2312 bytes", kSimplifiedGb, false},
        {"invalid lead", "\xff", false},
    };
    for (const Case& c : cases) {
        std::string out = "stale";
        const char* error = nullptr;
        EXPECT_EQ(Utf8ToOemCodePage(c.text, &out, &error), c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(out, c.text) << c.name;
        } else {
            EXPECT_STREQ(error, kInvalidUtf8Error) << c.name;
            EXPECT_EQ(out, "") << c.name;
        }
    }
}

}  // namespace
}  // namespace camfleet
