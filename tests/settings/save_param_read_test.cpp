// Reading settings files that Save did not write: partial, broken and odd ones.
#include <QDir>

#include <climits>
#include <functional>

#include "platform/number_text.h"
#include "settings_fixture.h"

namespace camfleet {
namespace {

TEST_F(SettingsTest, MissingElementsAndAttributesKeepTheirDefaults) {
    const struct {
        const char* name;
        QByteArray body;                          // inside <root>
        std::function<void(CSaveParam&)> expect;  // the changes from the defaults
    } cases[] = {
        {"empty root", "", [](CSaveParam&) {}},
        {"password without user", R"(<DefaultUser password="x"/>)",
         [](CSaveParam& p) { p.defaultPassword = "x"; }},
        {"position without size", R"(<VideoWindow row="2" left="7" top="8"/>)",
         [](CSaveParam& p) {
             p.videoRows = 2;
             p.videoWindow = {7, 8, 7, 8};
         }},
        {"overlay without children", R"(<Overlay Style="5" Week="0"/>)",
         [](CSaveParam& p) {
             p.overlay.style = 5;
             p.overlay.weekShown = 0;
         }},
        {"title without text", R"(<Overlay><TitleOverlay PosX="3"/></Overlay>)",
         [](CSaveParam& p) { p.overlay.titlePosX = 3; }},
        {"overlay child outside its parent", R"(<TimeOverlay PosX="9"/>)", [](CSaveParam&) {}},
        {"unknown names ignored", R"(<Extra a="1"/><QR show="0" colour="red"/>)",
         [](CSaveParam& p) { p.qrShown = 0; }},
        {"names are case-sensitive", R"(<QR Show="0"/><qr show="0"/>)", [](CSaveParam&) {}},
        {"first of repeated elements", R"(<QR show="0"/><QR show="5"/>)",
         [](CSaveParam& p) { p.qrShown = 0; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(FilePath());
        CSaveParam expected;
        c.expect(expected);
        WriteSettings(c.body);
        CSaveParam read;
        EXPECT_TRUE(read.Load());
        EXPECT_TRUE(read == expected);
    }
}

TEST_F(SettingsTest, BrokenFilesLeaveAllDefaults) {
    const QByteArray valid = R"(<root><QR show="0"/><DefaultUser username="x"/></root>)";
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"empty file", ""},
        {"binary", QByteArray("\x00\xff\xfe\x01<root>", 9)},
        {"truncated", R"(<root><QR show="0"/><DefaultUser username="x")"},
        {"mismatched tags", R"(<root><QR show="0"></root>)"},
        {"unquoted attribute", R"(<root><QR show=0/></root>)"},
        {"other root", R"(<settings><QR show="0"/></settings>)"},
        {"larger than 1 MiB", valid + "<!--" + QByteArray(1024 * 1024, 'x') + "-->"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(FilePath(), c.bytes);
        CSaveParam read;
        read.qrShown = 0;  // Load starts from the defaults
        EXPECT_FALSE(read.Load());
        ExpectDefaults(read);
    }
    SCOPED_TRACE("folder in place of the file");
    ASSERT_TRUE(QFile::remove(FilePath()) && QDir(Folder()).mkdir("qv_cfg.xml"));
    ExpectDefaults(LoadedSettings());
}

TEST_F(SettingsTest, NumbersFollowTheTextToIntegerRuleAndSaturate) {
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        {"12abc", 12},
        {"", 0},
        {"-5", -5},
        {"  7", 7},
        {"+3", 3},
        {"007", 7},
        {"abc", 0},
        {"0x1F", 0},
        {"3.9", 3},
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"99999999999999999999999999", INT32_MAX},
        {"-99999999999999999999999999", INT32_MIN},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        WriteSettings(QByteArray(R"(<QR show=")") + c.text + R"("/>)");
        EXPECT_EQ(LoadedSettings().qrShown, c.value);
    }
    EXPECT_EQ(TextToInt(nullptr), 0);

    SCOPED_TRACE("window edges saturate instead of overflowing");
    WriteSettings(
        R"(<VideoWindow left="2147483000" width="99999" top="-2147483000" height="-99999"/>)");
    const WindowRect edges = {2147483000, -2147483000, INT32_MAX, INT32_MIN};
    EXPECT_TRUE(LoadedSettings().videoWindow == edges);
}

}  // namespace
}  // namespace camfleet
