// Configuration file check and the default configuration made from it.
#include "device/config_file.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace camfleet {
namespace {

const char kValidConfig[] =
    "<?xml version=\"1.0\" encoding=\"GB2312\" ?>\n"
    "<NORVEKConfig Version=\"2\">\n"
    "<RecordConfig/><ServerConfig/><SystemConfig><Time Zone=\"1200\"/></SystemConfig>"
    "<NetworkConfig/><MediaConfig/><MediaStreamConfig/><AlarmConfig/>\n"
    "</NORVEKConfig>\n";

std::string Config(const std::string& root, const std::string& children) {
    return "<" + root + ">" + children + "</" + root + ">";
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(ConfigCheck, RootAndSevenSections) {
    const std::string all =
        "<RecordConfig/><ServerConfig/><SystemConfig/><NetworkConfig/><MediaConfig/>"
        "<MediaStreamConfig/><AlarmConfig/>";
    struct Case {
        const char* name;
        std::string text;
        bool ok;
    } cases[] = {
        {"valid", kValidConfig, true},
        {"sections in another order",
         Config("NORVEKConfig",
                "<AlarmConfig/><MediaStreamConfig/><MediaConfig/><NetworkConfig/>"
                "<SystemConfig/><ServerConfig/><RecordConfig/>"),
         true},
        {"wrong root", Config("NorvekConfig", all), false},
        {"missing AlarmConfig",
         Config("NORVEKConfig",
                "<RecordConfig/><ServerConfig/><SystemConfig/><NetworkConfig/>"
                "<MediaConfig/><MediaStreamConfig/>"),
         false},
        {"section nested deeper", Config("NORVEKConfig", "<X>" + all + "</X>"), false},
        {"broken xml", std::string(kValidConfig).substr(0, 80), false},
        {"text after the root", std::string(kValidConfig) + "tail/>", false},
        {"second root element", std::string(kValidConfig) + "<NORVEKConfig/>", false},
        {"comment after the root", std::string(kValidConfig) + "<!-- end -->", true},
        {"empty", "", false},
        {"not xml", "NORVEKConfig", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CheckConfigText(c.text), c.ok) << c.name;
    }
}

TEST(ConfigCheck, FileVariant) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("config.xml").toStdString();
    EXPECT_FALSE(CheckConfigFile(path));  // absent
    WriteAll(path, kValidConfig);
    EXPECT_TRUE(CheckConfigFile(path));
}

TEST(DefaultConfig, SetsTheFlagAndIndentsWithTabs) {
    std::string out;
    ASSERT_TRUE(PrintDefaultConfig(kValidConfig, &out));
    EXPECT_EQ(out,
              "<?xml version=\"1.0\" encoding=\"GB2312\" ?>\n"
              "<NORVEKConfig Version=\"2\" SET_OEM_DEFAULT_CONFIG=\"1\">\n"
              "\t<RecordConfig/>\n\t<ServerConfig/>\n\t<SystemConfig>\n"
              "\t\t<Time Zone=\"1200\"/>\n\t</SystemConfig>\n\t<NetworkConfig/>\n"
              "\t<MediaConfig/>\n\t<MediaStreamConfig/>\n\t<AlarmConfig/>\n</NORVEKConfig>\n");
    EXPECT_TRUE(CheckConfigText(out));
    EXPECT_FALSE(PrintDefaultConfig("<NORVEKConfig/>", &out));
    EXPECT_EQ(out, "");
}

TEST(DefaultConfig, ExistingFlagIsSetToOne) {
    std::string out;
    std::string text = kValidConfig;
    text.replace(text.find("Version=\"2\""), 11, "SET_OEM_DEFAULT_CONFIG=\"0\"");
    ASSERT_TRUE(PrintDefaultConfig(text, &out));
    EXPECT_NE(out.find("<NORVEKConfig SET_OEM_DEFAULT_CONFIG=\"1\">"), std::string::npos);
}

TEST(DefaultConfig, DocumentOverTheBufferIsRefusedNotCut) {
    const std::string head =
        "<NORVEKConfig SET_OEM_DEFAULT_CONFIG=\"1\">\n\t<RecordConfig/>\n\t<ServerConfig/>\n"
        "\t<SystemConfig/>\n\t<NetworkConfig/>\n\t<MediaConfig/>\n\t<MediaStreamConfig/>\n"
        "\t<AlarmConfig/>\n\t<Pad>";
    const std::string tail = "</Pad>\n</NORVEKConfig>\n";
    auto make = [&](std::size_t printedSize) {
        return head + std::string(printedSize - head.size() - tail.size(), 'p') + tail;
    };
    std::string out;
    ASSERT_TRUE(PrintDefaultConfig(make(kDefaultConfigBufferSize - 1), &out));
    EXPECT_EQ(out.size(), kDefaultConfigBufferSize - 1);
    EXPECT_FALSE(PrintDefaultConfig(make(kDefaultConfigBufferSize), &out));
}

TEST(DefaultConfig, WritesConfigDefautXmlReplacingTheOldFile) {
    QTemporaryDir dir;
    const std::string source = dir.filePath("config_in.xml").toStdString();
    WriteAll(source, kValidConfig);
    const std::string target = dir.filePath(kDefaultConfigFileName).toStdString();
    WriteAll(target, "old");

    std::string path;
    ASSERT_EQ(MakeDefaultConfigIn(source, dir.path().toStdString(), &path), 1);
    EXPECT_EQ(path, target);
    std::string expected;
    ASSERT_TRUE(PrintDefaultConfig(kValidConfig, &expected));
    EXPECT_EQ(ReadAll(target), expected);
}

TEST(DefaultConfig, FailureLeavesNoOldFile) {
    QTemporaryDir dir;
    const std::string source = dir.filePath("bad.xml").toStdString();
    WriteAll(source, "<NORVEKConfig/>");
    const std::string target = dir.filePath(kDefaultConfigFileName).toStdString();
    WriteAll(target, "old");
    std::string path = "unchanged";
    EXPECT_EQ(MakeDefaultConfigIn(source, dir.path().toStdString(), &path), 0);
    EXPECT_EQ(path, "unchanged");
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_EQ(MakeDefaultConfigIn(dir.filePath("absent.xml").toStdString(),
                                  dir.path().toStdString(), &path),
              0);
    EXPECT_EQ(MakeDefaultConfigIn(source, dir.filePath("no/such/dir").toStdString(), &path), 0);
}

TEST(DefaultConfig, GoesToTheTemporaryDirectory) {
    QTemporaryDir dir;
    const std::string source = dir.filePath("config_in.xml").toStdString();
    WriteAll(source, kValidConfig);
    // Point the user's temporary directory at a private folder for this test.
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", dir.path().toLocal8Bit());
    std::string path;
    const int result = MakeDefaultConfig(source, &path);
    qputenv("TMPDIR", oldTmp);
    ASSERT_EQ(result, 1);
    EXPECT_EQ(path, dir.filePath(kDefaultConfigFileName).toStdString());
    EXPECT_TRUE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace camfleet
