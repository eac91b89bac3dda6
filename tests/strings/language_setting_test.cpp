#include "resources/language_setting.h"

#include <QFile>

#include <gtest/gtest.h>

#include "resources/display_strings.h"
#include "scratch_dir.h"

namespace camfleet {
namespace {

std::string ReadFile(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// Points the language storage at a file of its own for the lifetime of the object.
class RegistryFile {
public:
    explicit RegistryFile(const std::string& path) : path_(path) {
        qputenv(kRegistryFileEnvironment, QByteArray::fromStdString(path));
    }
    ~RegistryFile() { qunsetenv(kRegistryFileEnvironment); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

TEST(LanguageSetting, RegistryValueMapsToLanguageCode) {
    struct Case {
        const char* value;
        const char* code;
    };
    const Case cases[] = {
        {"Simplified Chinese", "zh-cn"},
        {"Traditional Chinese", "zh-tw"},
        {"Korean", "ko-ko"},
        {"Polish", "pl-pl"},
        {"Russian", "Russian"},
        {"Mongolian", "Mongolian"},
        {"en-us", "en-us"},
        {"English", "en-us"},
        {"", "en-us"},
        {"korean", "en-us"},
        {"Korean ", "en-us"},
        {"zh-cn", "en-us"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LanguageCodeFromRegistryValue(c.value), c.code) << '"' << c.value << '"';
    }
}

TEST(LanguageSetting, LanguageCodeMapsToRegistryValue) {
    struct Case {
        const char* code;
        const char* value;
    };
    const Case cases[] = {
        {"zh-cn", "Simplified Chinese"},
        {"zh_cn", "Simplified Chinese"},
        {"zh-tw", "Traditional Chinese"},
        {"zh_tw", "Traditional Chinese"},
        {"ko-ko", "Korean"},
        {"ko_ko", "Korean"},
        {"pl-pl", "Polish"},
        {"pl_pl", "Polish"},
        {"Russian", "Russian"},
        {"Mongolian", "Mongolian"},
        {"en_us", "en-us"},
        {"en-us", "en-us"},
        {"", "en-us"},
        {"ZH-CN", "en-us"},
        {"russian", "en-us"},
        {"Simplified Chinese", "en-us"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RegistryValueForLanguage(c.code), c.value) << '"' << c.code << '"';
    }
}

TEST(LanguageSetting, MenuItemsGiveTheirCodes) {
    struct Case {
        int id;
        const char* code;  // null: not a language item
    };
    const Case cases[] = {
        {kIdLanguageZhCn - 1, nullptr},
        {kIdLanguageZhCn, "zh_cn"},
        {kIdLanguageZhTw, "zh_tw"},
        {kIdLanguageEnglish, "en_us"},
        {kIdLanguageKoKo, "ko_ko"},
        {kIdLanguageRussian, "Russian"},
        {kIdLanguageMongolian, "Mongolian"},
        {kIdLanguageMongolian + 1, nullptr},
        {0, nullptr},
        {-kIdLanguageZhCn, nullptr},
    };
    for (const Case& c : cases) {
        const char* code = LanguageCodeForMenuItem(c.id);
        if (!c.code) {
            EXPECT_EQ(code, nullptr) << c.id;
        } else {
            ASSERT_NE(code, nullptr) << c.id;
            EXPECT_STREQ(code, c.code) << c.id;
        }
    }
}

TEST(LanguageSetting, SwitchWritesWhatStartUpReadsBack) {
    // Every menu item, plus the codes no item offers, round-trips through the storage.
    struct Case {
        const char* written;
        const char* storedValue;
        const char* readBack;
    };
    const Case cases[] = {
        {"zh_cn", "Simplified Chinese", "zh-cn"},
        {"zh_tw", "Traditional Chinese", "zh-tw"},
        {"en_us", "en-us", "en-us"},
        {"ko_ko", "Korean", "ko-ko"},
        {"Russian", "Russian", "Russian"},
        {"Mongolian", "Mongolian", "Mongolian"},
        {"pl-pl", "Polish", "pl-pl"},
        {"fr-fr", "en-us", "en-us"},
    };
    test::ScratchDir dir;
    const RegistryFile file(dir.File("sub/folder/registry.ini"));
    for (const Case& c : cases) {
        ASSERT_EQ(SetLanguage(c.written, "camfleet"), 0) << c.written;
        EXPECT_EQ(GetLanguage("camfleet"), c.readBack) << c.written;
        EXPECT_EQ(ReadFile(file.Path()),
                  std::string("[Software]\nMicrosoft\\Windows\\CurrentVersion\\Uninstall\\"
                              "camfleet\\Language=") +
                      c.storedValue + "\n")
            << c.written;
        EXPECT_EQ(GetLanguage("other-name"), "en-us") << "value is kept per registry name";
    }
}

TEST(LanguageSetting, ReadsValuesWrittenByOthers) {
    test::ScratchDir dir;
    const RegistryFile file(dir.File("registry.ini"));
    EXPECT_EQ(GetLanguage("camfleet"), "en-us") << "no file";
    dir.Write("registry.ini",
              "[Software]\n"
              "Microsoft\\Windows\\CurrentVersion\\Uninstall\\camfleet\\Language=Polish\n"
              "Microsoft\\Windows\\CurrentVersion\\Uninstall\\Language=Korean\n"
              "Microsoft\\Windows\\CurrentVersion\\Uninstall\\long\\Language=\"Traditional "
              "Chinese\"\n");
    EXPECT_EQ(GetLanguage("camfleet"), "pl-pl") << "Polish though no item offers it";
    EXPECT_EQ(GetLanguage(""), "ko-ko") << "empty registry name";
    EXPECT_EQ(GetLanguage("long"), "zh-tw") << "quoted value";
    EXPECT_EQ(LanguageKeyPath("camfleet"),
              "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\camfleet");
}

TEST(LanguageSetting, UnwritableStorageReportsFailure) {
    test::ScratchDir dir;
    dir.Write("plain-file", "x");  // a file where a folder would be needed
    const RegistryFile file(dir.File("plain-file/registry.ini"));
    EXPECT_NE(SetLanguage("zh_cn", "camfleet"), 0);
    EXPECT_EQ(GetLanguage("camfleet"), "en-us");
}

TEST(LanguageSetting, RegistryNameFromFile) {
    struct Case {
        const char* name;
        const char* content;  // null: no file
        const char* expected;
    };
    const Case cases[] = {
        {"no file", nullptr, "RaDudAdodo"},
        {"named", "<root><Registry name=\"camfleet\"/></root>", "camfleet"},
        {"without name", "<root><Registry/></root>", ""},
        {"empty name", "<root><Registry name=\"\"/></root>", ""},
        {"broken file", "<root><Registry name=\"camfleet\"/>", "RaDudAdodo"},
        {"empty file", "", "RaDudAdodo"},
        {"other root", "<Root><Registry name=\"camfleet\"/></Root>", "RaDudAdodo"},
        {"Registry not first", "<root><Other/><Registry name=\"camfleet\"/></root>", "RaDudAdodo"},
        {"comment before Registry", "<root><!-- c --><Registry name=\"camfleet\"/></root>",
         "camfleet"},
        {"root after another element", "<first/><root><Registry name=\"camfleet\"/></root>",
         "camfleet"},
        {"no child", "<root/>", "RaDudAdodo"},
    };
    for (const Case& c : cases) {
        test::ScratchDir dir;
        if (c.content)
            dir.Write("registry.xml", c.content);
        EXPECT_EQ(ReadRegistryName(dir.File("registry.xml")), c.expected) << c.name;
    }
    EXPECT_EQ(ReadRegistryName(CAMFLEET_SOURCE_DIR "/resources/data/registry.xml"), "camfleet")
        << "shipped file";
}

TEST(LanguageSetting, SwitchMessageIsComposedOfDisplayStrings) {
    const std::string xml =
        "<Lang><Resources><SWITCHLANGUAGE>Switch language</SWITCHLANGUAGE>"
        "<STRING_SUCCESS>succeeded</STRING_SUCCESS><STRING_FAILED>failed</STRING_FAILED>"
        "<LANGAGE_SWITCH_TIPS1>Run as administrator.</LANGAGE_SWITCH_TIPS1>"
        "<LANGAGE_SWITCH_TIPS2>Restart the tool.</LANGAGE_SWITCH_TIPS2>"
        "<Tips>Note</Tips><ERROR>Error</ERROR></Resources></Lang>";
    const DisplayStrings strings = DisplayStrings::FromStringsXml(xml.data(), xml.size());

    const LanguageSwitchMessage ok = ComposeLanguageSwitchMessage(true, strings);
    EXPECT_EQ(ok.text, "Switch language succeeded.\r\nRestart the tool.");
    EXPECT_EQ(ok.caption, "Note");
    EXPECT_EQ(ok.icon, MessageIcon::Information);

    const LanguageSwitchMessage failed = ComposeLanguageSwitchMessage(false, strings);
    EXPECT_EQ(failed.text, "Switch language failed\r\nRun as administrator.");
    EXPECT_EQ(failed.caption, "Error");
    EXPECT_EQ(failed.icon, MessageIcon::Error);

    const LanguageSwitchMessage bare = ComposeLanguageSwitchMessage(true, DisplayStrings());
    EXPECT_EQ(bare.text, " .\r\n") << "missing keys leave only the separators";
}

}  // namespace
}  // namespace camfleet
