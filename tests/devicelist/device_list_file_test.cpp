// The XML device list (printing, reading back, file handling) and the export workbook, the
// latter read back with openpyxl.
#include "devicelist/device_list_file.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device/text_convert.h"
#include "device/xml_messages.h"

namespace camfleet {
namespace {

const char kChineseTitle[] = "前门摄像机";       // GB2312 holds every character
const char kKoreanTitle[] = "정문 카메라";       // GB2312 holds none of the Hangul
const char kMarkupTitle[] = "it's \"q\" & <x>";  // every character XML escapes

struct Fields {
    const char* serial;
    const char* title;
};

std::unique_ptr<DeviceRecord> MakeRecord(const Fields& f, int n = 1) {
    auto r = std::make_unique<DeviceRecord>();
    std::memset(r.get(), 0, sizeof *r);
    SearchAnswer& a = r->answer;
    a = EmptySearchAnswer();
    CopyField(a.serialNumber, f.serial);
    CopyField(a.p2pId, "NVSP-" + std::to_string(n));
    CopyField(a.deviceType, "DIR-OVADU-NVS-F37_V2");
    CopyField(a.network.macAddress, "00:1a:2b:3c:4d:" + std::to_string(10 + n));
    CopyField(a.network.ipAddress, "192.168.1." + std::to_string(n));
    CopyField(a.network.netmask, "255.255.255.0");
    CopyField(a.network.gateway, "192.168.1.254");
    CopyField(a.network.dns1, "8.8.8.8");
    CopyField(a.network.dns2, "1.1.1.1");
    a.network.dhcp = static_cast<int16_t>(n % 2);
    a.streamAccess.ptzPort = 8091 + n;
    a.streamAccess.webPort = 80 + n;
    a.streamAccess.videoPort = 554 + n;
    CopyField(a.account.username, "admin");
    CopyField(a.account.password, "secret");
    CopyField(a.osdText, f.title);
    CopyField(a.version, "V1.0 search");
    CopyField(r->firmwareVersion, "V5.2.1 firmware");
    return r;
}

std::vector<const DeviceRecord*> Rows(const std::vector<std::unique_ptr<DeviceRecord>>& records) {
    std::vector<const DeviceRecord*> rows;
    for (const auto& r : records) {
        rows.push_back(r.get());
    }
    return rows;
}

std::vector<SearchAnswer> Parse(const std::string& bytes) {
    std::vector<SearchAnswer> out;
    std::string error;
    EXPECT_TRUE(ParseDeviceListXml(bytes, &out, &error)) << error;
    return out;
}

// A one-device document in UTF-8 with the given attributes.
std::string OneDevice(const std::string& attributes) {
    return "<root><ipcamera " + attributes + "/></root>";
}

// Decodes `bytes` strictly as GB2312 (not the GBK superset); false on any byte outside it.
bool DecodesAsStrictGb2312(const std::string& bytes) {
    iconv_t cd = iconv_open("UTF-8", "GB2312");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        ADD_FAILURE() << "iconv has no GB2312";
        return false;
    }
    std::string in = bytes;
    std::string out(bytes.size() * 3 + 16, '\0');
    char* src = in.data();
    char* dst = out.data();
    std::size_t srcLeft = in.size();
    std::size_t dstLeft = out.size();
    const bool ok = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    return ok && srcLeft == 0;
}

TEST(DeviceListXml, PrintThenParseKeepsTheListedFieldsButNoAccountOrVersion) {
    std::vector<std::unique_ptr<DeviceRecord>> records;
    records.push_back(MakeRecord({"SN-MARKUP", kMarkupTitle}, 1));
    records.push_back(MakeRecord({"SN-CHINESE", kChineseTitle}, 2));
    records.push_back(MakeRecord({"SN-KOREAN", kKoreanTitle}, 3));
    const std::vector<SearchAnswer> back = Parse(PrintDeviceListXml(Rows(records)));
    ASSERT_EQ(back.size(), records.size());
    for (std::size_t i = 0; i < back.size(); ++i) {
        const SearchAnswer& want = records[i]->answer;
        const SearchAnswer& got = back[i];
        SCOPED_TRACE(want.serialNumber);
        EXPECT_STREQ(got.serialNumber, want.serialNumber);
        EXPECT_STREQ(got.p2pId, want.p2pId);
        EXPECT_STREQ(got.deviceType, want.deviceType);
        EXPECT_STREQ(got.network.macAddress, want.network.macAddress);
        EXPECT_STREQ(got.network.ipAddress, want.network.ipAddress);
        EXPECT_STREQ(got.network.netmask, want.network.netmask);
        EXPECT_STREQ(got.network.gateway, want.network.gateway);
        EXPECT_STREQ(got.network.dns1, want.network.dns1);
        EXPECT_STREQ(got.network.dns2, want.network.dns2);
        EXPECT_EQ(got.network.dhcp, want.network.dhcp);
        EXPECT_EQ(got.streamAccess.ptzPort, want.streamAccess.ptzPort);
        EXPECT_EQ(got.streamAccess.webPort, want.streamAccess.webPort);
        EXPECT_EQ(got.streamAccess.videoPort, want.streamAccess.videoPort);
        EXPECT_STREQ(got.osdText, want.osdText);
        EXPECT_STREQ(got.account.username, "");
        EXPECT_STREQ(got.account.password, "");
        EXPECT_STREQ(got.version, "");
        EXPECT_EQ(got.p2pStatus, -1);  // the rest is an empty answer
    }
}

TEST(DeviceListXml, PrintsTheDeclarationAndEveryAttributeOnceInItsOrder) {
    const auto record = MakeRecord({"SN1", "Gate"});
    const std::string text = PrintDeviceListXml({record.get()});
    EXPECT_TRUE(text.starts_with("<?xml version=\"1.0\" encoding=\"gb2312\"?>\n<root>\n"));
    EXPECT_TRUE(text.ends_with("/>\n</root>\n"));
    const char* order[] = {"SN",       "P2PID", "MAC",      "TYPE",  "IPADDR",  "NETMASK",
                           "GATEWAY",  "DHCP",  "DNS1",     "DNS2",  "COMPORT", "HTTPPORT",
                           "RTSPPORT", "user",  "password", "TITLE", "VERSION"};
    std::size_t last = 0;
    for (const char* name : order) {
        const std::string attribute = std::string(" ") + name + "=\"";
        const std::size_t at = text.find(attribute);
        ASSERT_NE(at, std::string::npos) << name;
        EXPECT_GT(at, last) << name << " out of order";
        EXPECT_EQ(text.find(attribute, at + 1), std::string::npos) << name << " twice";
        last = at;
    }
    EXPECT_NE(text.find(" DHCP=\"1\" "), std::string::npos);
    EXPECT_NE(text.find(" COMPORT=\"8092\" HTTPPORT=\"81\" RTSPPORT=\"555\" "), std::string::npos);
    EXPECT_NE(text.find(" user=\"admin\" password=\"secret\" "), std::string::npos);
}

TEST(DeviceListXml, VersionIsTheFirmwareVersionElseTheSearchAnswers) {
    auto record = MakeRecord({"SN1", "Gate"});
    EXPECT_NE(PrintDeviceListXml({record.get()}).find(" VERSION=\"V5.2.1 firmware\""),
              std::string::npos);
    record->firmwareVersion[0] = '\0';
    EXPECT_NE(PrintDeviceListXml({record.get()}).find(" VERSION=\"V1.0 search\""),
              std::string::npos);
}

TEST(DeviceListXml, BytesAreGb2312WithReferencesForWhatItLacks) {
    // 為 is in GBK but not in GB2312; the emoji is outside the BMP.
    const std::string title = std::string(kChineseTitle) + " 為 \xF0\x9F\x98\x80 " + kKoreanTitle;
    const auto record = MakeRecord({"SN1", title.c_str()});
    const std::string text = PrintDeviceListXml({record.get()});
    EXPECT_NE(text.find(Utf8ToGb2312(kChineseTitle)), std::string::npos);
    EXPECT_EQ(text.find(kChineseTitle), std::string::npos);  // not left in UTF-8
    EXPECT_NE(text.find("&#x70BA;"), std::string::npos);
    EXPECT_NE(text.find("&#x1F600;"), std::string::npos);
    EXPECT_NE(text.find("&#xC815;&#xBB38; &#xCE74;&#xBA54;&#xB77C;"), std::string::npos);
    EXPECT_TRUE(DecodesAsStrictGb2312(text));
    EXPECT_STREQ(Parse(text).at(0).osdText, title.c_str());
}

TEST(DeviceListXml, EscapesMarkupControlCharactersAndInvalidBytes) {
    const auto markup = MakeRecord({"SN1", kMarkupTitle});
    EXPECT_NE(PrintDeviceListXml({markup.get()})
                  .find(" TITLE=\"it&apos;s &quot;q&quot; &amp; &lt;x&gt;\" "),
              std::string::npos);
    // Tab and line feed survive as references; other C0 controls cannot be in XML 1.0 and
    // are left out; a byte that starts no UTF-8 sequence comes back as U+FFFD.
    const auto controls = MakeRecord({"SN1",
                                      "a\tb\nc\x01"
                                      "d\xFF"});
    const std::string text = PrintDeviceListXml({controls.get()});
    EXPECT_NE(text.find("TITLE=\"a&#x9;b&#xA;cd&#xFFFD;\""), std::string::npos);
    EXPECT_STREQ(Parse(text).at(0).osdText, "a\tb\ncd\xEF\xBF\xBD");
}

TEST(DeviceListXml, TextsAreCutToTheirFieldOnACharacterBoundary) {
    const std::string serial40(40, 'S');
    std::string title = "a";
    for (int i = 0; i < 300; ++i) {
        title += "中";  // three bytes each
    }
    std::string emoji = "ab";
    for (int i = 0; i < 100; ++i) {
        emoji += "\xF0\x9F\x98\x80";  // four bytes each
    }
    const std::string mac(30, 'M');
    const std::string ip(100, '1');
    const std::vector<SearchAnswer> back =
        Parse("<root><ipcamera SN=\"" + serial40 + "\" TITLE=\"" + title + "\" MAC=\"" + mac +
              "\" IPADDR=\"" + ip + "\"/><ipcamera SN=\"e\" TITLE=\"" + emoji + "\"/></root>");
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(std::string(back[0].serialNumber), serial40.substr(0, 31));
    EXPECT_EQ(std::string(back[0].network.macAddress), mac.substr(0, 17));
    EXPECT_EQ(std::string(back[0].network.ipAddress), ip.substr(0, 63));
    EXPECT_EQ(std::string(back[0].osdText), title.substr(0, 1 + 84 * 3));  // 253 of 255 bytes
    EXPECT_EQ(std::string(back[1].osdText), emoji.substr(0, 2 + 63 * 4));  // 254 of 255 bytes
    EXPECT_TRUE(IsValidUtf8(back[0].osdText));
    EXPECT_TRUE(IsValidUtf8(back[1].osdText));
}

TEST(DeviceListXml, ElementsWithoutASerialNumberAreSkipped) {
    const std::vector<SearchAnswer> back = Parse(
        "<root><ipcamera IPADDR=\"10.0.0.1\"/><ipcamera SN=\"\" IPADDR=\"10.0.0.2\"/>"
        "<other SN=\"X\"/><ipcamera SN=\"B\"><ipcamera SN=\"nested\"/></ipcamera></root>");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_STREQ(back[0].serialNumber, "B");
    EXPECT_STREQ(back[0].network.ipAddress, "");  // missing attributes stay empty or 0
    EXPECT_EQ(back[0].streamAccess.webPort, 0);
    EXPECT_EQ(back[0].p2pStatus, -1);
}

TEST(DeviceListXml, NumbersOutsideTheirRangeOrNotPlainDecimalReadAsZero) {
    const struct {
        const char* dhcp;
        const char* port;
        int wantDhcp;
        int wantPort;
    } cases[] = {
        {"1", "65535", 1, 65535}, {"0", "0", 0, 0},
        {"2", "65536", 0, 0},     {"-1", "-80", 0, 0},
        {"+1", "+80", 0, 0},      {" 1", "80 ", 0, 0},
        {"1x", "0x50", 0, 0},     {"", "", 0, 0},
        {"01", "00080", 1, 80},   {"99999999999999999999", "99999999999999999999", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.dhcp) + " / " + c.port);
        const std::vector<SearchAnswer> back =
            Parse(OneDevice(std::string("SN=\"A\" DHCP=\"") + c.dhcp + "\" COMPORT=\"" + c.port +
                            "\" HTTPPORT=\"" + c.port + "\" RTSPPORT=\"" + c.port + "\""));
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back[0].network.dhcp, c.wantDhcp);
        EXPECT_EQ(back[0].streamAccess.ptzPort, c.wantPort);
        EXPECT_EQ(back[0].streamAccess.webPort, c.wantPort);
        EXPECT_EQ(back[0].streamAccess.videoPort, c.wantPort);
    }
}

TEST(DeviceListXml, DeclaredEncodingDecidesHowTheBytesAreRead) {
    const std::string gb = OneDevice("SN=\"A\" TITLE=\"" + Utf8ToGb2312(kChineseTitle) + "\"");
    const std::string utf8 = OneDevice(std::string("SN=\"A\" TITLE=\"") + kChineseTitle + "\"");
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"gb2312", "<?xml version=\"1.0\" encoding=\"gb2312\"?>" + gb},
        {"GBK, single quotes", "<?xml version='1.0' encoding = 'GBK' ?>" + gb},
        {"gb18030", "<?xml version=\"1.0\" encoding=\"GB18030\"?>" + gb},
        {"utf-8", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + utf8},
        {"no encoding", "<?xml version=\"1.0\"?>" + utf8},
        {"no declaration", utf8},
        {"byte order mark", "\xEF\xBB\xBF" + utf8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<SearchAnswer> back = Parse(c.bytes);
        ASSERT_EQ(back.size(), 1u);
        EXPECT_STREQ(back[0].osdText, kChineseTitle);
    }
}

TEST(DeviceListXml, BrokenDocumentsFailAndLeaveTheOutputAlone) {
    const auto record = MakeRecord({"SN1", kChineseTitle});
    const std::string good = PrintDeviceListXml({record.get(), record.get()});
    const struct {
        const char* name;
        std::string bytes;
        bool libraryDetail;  // tinyxml2 explains the failure
    } cases[] = {
        {"empty", "", true},
        {"not XML", "SN,IPADDR\nA,10.0.0.1\n", true},
        {"truncated", good.substr(0, good.size() / 2), true},
        {"unclosed root", good.substr(0, good.find("</root>")), true},
        {"wrong root", "<devices><ipcamera SN=\"A\"/></devices>", false},
        {"unknown encoding", "<?xml version=\"1.0\" encoding=\"EUC-KR\"?>" + OneDevice("SN=\"A\""),
         false},
        {"malformed encoding", "<?xml version=\"1.0\" encoding=gb2312?>" + OneDevice("SN=\"A\""),
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<SearchAnswer> out(1, EmptySearchAnswer());
        CopyField(out[0].serialNumber, "KEPT");
        std::string error = "stale";
        EXPECT_FALSE(ParseDeviceListXml(c.bytes, &out, &error));
        ASSERT_EQ(out.size(), 1u);
        EXPECT_STREQ(out[0].serialNumber, "KEPT");
        EXPECT_EQ(!error.empty(), c.libraryDetail) << error;
    }
}

TEST(DeviceListXml, SuccessReplacesTheOutput) {
    std::vector<SearchAnswer> out(3, EmptySearchAnswer());
    ASSERT_TRUE(ParseDeviceListXml("<root/>", &out, nullptr));
    EXPECT_TRUE(out.empty());
}

class DeviceListFileTest : public ::testing::Test {
protected:
    QString File(const char* name) const { return dir_.filePath(QString::fromUtf8(name)); }
    QStringList Entries() const {
        return QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir dir_;
};

TEST_F(DeviceListFileTest, SavedListLoadsBackAndReplacesAnOldFile) {
    const QString path = File("devices.xml");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old contents, longer than nothing");
    }
    const auto record = MakeRecord({"SN1", kChineseTitle});
    QString error;
    ASSERT_TRUE(SaveDeviceListXml(path, {record.get()}, &error)) << error.toStdString();
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll().toStdString(), PrintDeviceListXml({record.get()}));
    std::vector<SearchAnswer> out;
    ASSERT_TRUE(LoadDeviceListXml(path, &out, &error)) << error.toStdString();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_STREQ(out[0].osdText, kChineseTitle);
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("devices.xml")});
}

TEST_F(DeviceListFileTest, FilesThatCannotBeWrittenOrReadFail) {
    const auto record = MakeRecord({"SN1", "Gate"});
    QString error;
    EXPECT_FALSE(SaveDeviceListXml(File("missing/devices.xml"), {record.get()}, &error));
    EXPECT_FALSE(error.isEmpty());

    std::vector<SearchAnswer> out(1, EmptySearchAnswer());
    error.clear();
    EXPECT_FALSE(LoadDeviceListXml(File("missing.xml"), &out, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(out.size(), 1u);
}

TEST_F(DeviceListFileTest, OversizedFileIsRefusedUnread) {
    const QString path = File("huge.xml");
    {
        QFile huge(path);
        ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
        huge.write(OneDevice("SN=\"A\"").c_str());
        ASSERT_TRUE(huge.resize(static_cast<qint64>(kMaxDeviceListFileBytes) + 1));  // sparse
    }
    std::vector<SearchAnswer> out(1, EmptySearchAnswer());
    EXPECT_FALSE(LoadDeviceListXml(path, &out, nullptr));
    EXPECT_EQ(out.size(), 1u);
}

// ---- Export workbook ----------------------------------------------------------------------

// Every sheet name and the cells of the first sheet as [value, data_type, Python type].
constexpr char kReadWorkbook[] = R"(
import json, sys, openpyxl
book = openpyxl.load_workbook(sys.argv[1])
rows = [[[c.value, c.data_type, type(c.value).__name__] for c in row]
        for row in book.worksheets[0].iter_rows()]
print(json.dumps({"sheets": book.sheetnames, "rows": rows}))
)";

constexpr char kPython[] = "/usr/bin/python3";

bool HaveOpenpyxl() {
    QProcess python;
    python.start(QString::fromLatin1(kPython),
                 {QStringLiteral("-c"), QStringLiteral("import openpyxl")});
    return python.waitForFinished(30000) && python.exitStatus() == QProcess::NormalExit &&
           python.exitCode() == 0;
}

QJsonObject ReadWorkbook(const QString& path) {
    QProcess python;
    python.start(QString::fromLatin1(kPython),
                 {QStringLiteral("-c"), QString::fromLatin1(kReadWorkbook), path});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        ADD_FAILURE() << python.readAllStandardError().toStdString();
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

class ExportWorkbookTest : public DeviceListFileTest {
protected:
    void SetUp() override {
        if (!HaveOpenpyxl()) {
            GTEST_SKIP() << kPython << " cannot import openpyxl";
        }
    }
};

TEST_F(ExportWorkbookTest, OneSheetWithTheHeaderThenNumberAndTextCells) {
    std::vector<std::unique_ptr<DeviceRecord>> records;
    records.push_back(MakeRecord({"SN-FORMULA", "=1+1"}, 1));
    records.push_back(MakeRecord({"SN-MARKUP", kMarkupTitle}, 2));
    records.push_back(MakeRecord({"SN-CHINESE", kChineseTitle}, 3));
    records[2]->firmwareVersion[0] = '\0';  // falls back to the search answer's version
    const QString path = File("export.xlsx");
    QString error;
    ASSERT_TRUE(SaveExportWorkbook(path, Rows(records), &error)) << error.toStdString();
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("export.xlsx")});  // no temporary file

    const QJsonObject book = ReadWorkbook(path);
    EXPECT_EQ(book["sheets"].toArray(), QJsonArray{QStringLiteral("EXPORT")});
    const QJsonArray rows = book["rows"].toArray();
    ASSERT_EQ(rows.size(), 4);
    const char* header[] = {"IPADDR", "NETMASK", "COMPORT", "HTTPPORT", "RTSPPORT",
                            "MAC",    "TITLE",   "VERSION", "SN",       "P2PID"};
    const QJsonArray first = rows[0].toArray();
    ASSERT_EQ(first.size(), 10);
    for (int col = 0; col < 10; ++col) {
        EXPECT_EQ(first[col].toArray()[0].toString().toStdString(), header[col]);
    }
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const SearchAnswer& a = records[i]->answer;
        const QJsonArray row = rows[i + 1].toArray();
        ASSERT_EQ(row.size(), 10);
        const auto text = [&](int col, const char* want) {
            const QJsonArray cell = row[col].toArray();
            EXPECT_EQ(cell[0].toString().toStdString(), want) << "column " << col;
            EXPECT_EQ(cell[1].toString(), QStringLiteral("s")) << "column " << col;
        };
        const auto number = [&](int col, int want) {
            const QJsonArray cell = row[col].toArray();
            EXPECT_EQ(cell[0].toInt(-1), want) << "column " << col;
            EXPECT_EQ(cell[1].toString(), QStringLiteral("n")) << "column " << col;
            EXPECT_EQ(cell[2].toString(), QStringLiteral("int")) << "column " << col;
        };
        text(0, a.network.ipAddress);
        text(1, a.network.netmask);
        number(2, a.streamAccess.ptzPort);
        number(3, a.streamAccess.webPort);
        number(4, a.streamAccess.videoPort);
        text(5, a.network.macAddress);
        text(6, a.osdText);
        text(7, i == 2 ? "V1.0 search" : "V5.2.1 firmware");
        text(8, a.serialNumber);
        text(9, a.p2pId);
    }
}

TEST_F(ExportWorkbookTest, InvalidUtf8BecomesReplacementCharacters) {
    const auto record = MakeRecord({"SN1", "ab\xFF\xC3"});
    const QString path = File("export.xlsx");
    QString error;
    ASSERT_TRUE(SaveExportWorkbook(path, {record.get()}, &error)) << error.toStdString();
    const QJsonArray rows = ReadWorkbook(path)["rows"].toArray();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[1].toArray()[6].toArray()[0].toString(), QStringLiteral("ab\uFFFD\uFFFD"));
}

TEST_F(DeviceListFileTest, WorkbookThatCannotBeWrittenFailsAndLeavesNoTemporaryFile) {
    const auto record = MakeRecord({"SN1", "Gate"});
    QString error;
    EXPECT_FALSE(SaveExportWorkbook(File("missing/export.xlsx"), {record.get()}, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(Entries().isEmpty());

    // A folder where the workbook should go: written whole, but it cannot replace a folder.
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("export.xlsx")));
    error.clear();
    EXPECT_FALSE(SaveExportWorkbook(File("export.xlsx"), {record.get()}, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("export.xlsx")});
    EXPECT_TRUE(QFileInfo(File("export.xlsx")).isDir());
}

}  // namespace
}  // namespace camfleet
