#include "resources/display_strings.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/paths.h"
#include "resources/language_setting.h"

#include "scratch_dir.h"

namespace camfleet {
namespace {

const std::string kFixtures = CAMFLEET_SOURCE_DIR "/tests/strings/data";

std::string StringsFile(const std::string& items) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Lang><Resources>" + items +
           "</Resources></Lang>\n";
}

TEST(DisplayStrings, LooksUpTextsOfTheChosenFile) {
    const DisplayStrings table = DisplayStrings::Load(kFixtures, "en-us");
    ASSERT_TRUE(table.IsLoaded());
    EXPECT_EQ(table.StringsFilePath(), kFixtures + "/strings_en-us.xml");
    struct Case {
        const char* name;
        const char* key;
        QString expected;
    };
    const Case cases[] = {
        {"plain text", "STARTSEARCH", "Start search"},
        {"later duplicate replaces earlier", "DUPLICATE", "second"},
        {"text of first child descends into it", "NESTED", "bold part"},
        {"element without text is empty", "EMPTY", ""},
        {"comment first hides the text", "COMMENT_FIRST", ""},
        {"entities are decoded", "ENTITIES", "a & b <c>"},
        {"blanks are kept", "SPACED", "  two  spaces  "},
        {"directives are kept", "FORMAT", "set IPC %s failed, %d left"},
        {"missing key is empty, not the key", "NO_SUCH_KEY", ""},
        {"second Resources is not read", "ONLY_IN_SECOND", ""},
        {"second Lang is not read", "ONLY_IN_SECOND_LANG", ""},
        {"keys are case sensitive", "startsearch", ""},
        {"null key", nullptr, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(table.Lookup(c.key), c.expected) << c.name;
    }
    EXPECT_EQ(table.Size(), 8u);
}

TEST(DisplayStrings, ChoosesTheFileThroughTheLanguageList) {
    struct Case {
        const char* name;
        const char* code;
        bool loaded;
        QString startSearch;
    };
    const Case cases[] = {
        {"UTF-8 text of another language", "zh-cn", true, QString::fromUtf8("开始搜索")},
        {"code only in a second Lang element", "Mongolian", false, ""},
        {"listed file is missing", "pl-pl", false, ""},
        {"listed file is broken", "ko-ko", false, ""},
        {"entry without filename", "Russian", false, ""},
        {"code not listed", "zh-tw", false, ""},
        {"menu spelling is not a file code", "zh_cn", false, ""},
    };
    for (const Case& c : cases) {
        const DisplayStrings table = DisplayStrings::Load(kFixtures, c.code);
        EXPECT_EQ(table.IsLoaded(), c.loaded) << c.name;
        EXPECT_EQ(table.Lookup("STARTSEARCH"), c.startSearch) << c.name;
        EXPECT_EQ(table.LanguageCode(), c.code) << c.name;
    }
}

TEST(DisplayStrings, MissingOrBrokenLanguageListGivesAnEmptyTable) {
    struct Case {
        const char* name;
        const char* languageXml;  // null: no file
    };
    const Case cases[] = {
        {"no language.xml", nullptr},
        {"broken language.xml", "<Lang><Resources lan=\"en-us\" filename=\"s.xml\"/>"},
        {"empty language.xml", ""},
        {"root not Lang", "<Language><Resources lan=\"en-us\" filename=\"s.xml\"/></Language>"},
        {"lan differs in case", "<Lang><Resources lan=\"EN-US\" filename=\"s.xml\"/></Lang>"},
    };
    for (const Case& c : cases) {
        test::ScratchDir dir;
        dir.Write("s.xml", StringsFile("<STARTSEARCH>Start</STARTSEARCH>"));
        if (c.languageXml)
            dir.Write("language.xml", c.languageXml);
        const DisplayStrings table = DisplayStrings::Load(dir.Path(), "en-us");
        EXPECT_FALSE(table.IsLoaded()) << c.name;
        EXPECT_TRUE(table.StringsFilePath().empty()) << c.name;
        EXPECT_EQ(table.Lookup("STARTSEARCH"), "") << c.name;
    }
}

TEST(DisplayStrings, CutsTextsAtTheLimitWithoutSplittingACharacter) {
    const std::string clef = "\xF0\x9D\x84\x9E";  // U+1D11E: two UTF-16 units
    struct Case {
        const char* name;
        std::string text;
        qsizetype expectedLength;
    };
    const Case cases[] = {
        {"one below the limit", std::string(5118, 'a'), 5118},
        {"at the limit", std::string(5119, 'a'), 5119},
        {"one above the limit", std::string(5120, 'a'), 5119},
        {"far above the limit", std::string(100000, 'a'), 5119},
        {"pair across the limit", std::string(5118, 'a') + clef, 5118},
        {"pair ending at the limit", std::string(5117, 'a') + clef + "b", 5119},
    };
    for (const Case& c : cases) {
        const std::string xml = StringsFile("<LONG>" + c.text + "</LONG>");
        const DisplayStrings table = DisplayStrings::FromStringsXml(xml.data(), xml.size());
        const QString text = table.Lookup("LONG");
        EXPECT_EQ(text.size(), c.expectedLength) << c.name;
        EXPECT_EQ(text, QString::fromStdString(c.text).left(c.expectedLength)) << c.name;
    }
}

TEST(DisplayStrings, UnparsableDocumentIsNotLoaded) {
    const char* documents[] = {"", "<Lang><Resources><A>x</A></Resources>", "not xml at all"};
    for (const char* doc : documents) {
        const DisplayStrings table = DisplayStrings::FromStringsXml(doc, std::strlen(doc));
        EXPECT_FALSE(table.IsLoaded()) << doc;
        EXPECT_EQ(table.Lookup("A"), "") << doc;
    }
    const DisplayStrings none = DisplayStrings::FromStringsXml(nullptr, 0);
    EXPECT_FALSE(none.IsLoaded());
}

TEST(DisplayStrings, ProcessTableUsesProgramFolderAndStoredLanguage) {
    // The process-wide table is built on first use: this is the only test that touches it.
    test::ScratchDir dir;
    dir.Write("language.xml",
              "<Lang><Resources lan=\"ko-ko\" filename=\"k.xml\"/>"
              "<Resources lan=\"pl-pl\" filename=\"p.xml\"/></Lang>");
    dir.Write("k.xml", StringsFile("<STARTSEARCH>Korean text</STARTSEARCH>"));
    dir.Write("p.xml", StringsFile("<STARTSEARCH>Polish text</STARTSEARCH>"));
    dir.Write("registry.xml", "<root><Registry name=\"camfleet-test\"/></root>");
    qputenv("CAMFLEET_REGISTRY_FILE", QByteArray::fromStdString(dir.File("registry.ini")));
    ASSERT_EQ(SetLanguage("ko_ko", "camfleet-test"), 0);
    SetProgramDirectory(dir.Path());

    EXPECT_EQ(GetDisplayString("STARTSEARCH"), "Korean text");
    EXPECT_EQ(GetDisplayString("NO_SUCH_KEY"), "");
    EXPECT_EQ(&DisplayStrings::Instance(), &DisplayStrings::Instance());
    EXPECT_EQ(DisplayStrings::Instance().LanguageCode(), "ko-ko");

    // A language switch: the table is built again in the stored language; a reference to
    // the old one stays valid, and switching back takes the kept table again.
    const DisplayStrings& korean = DisplayStrings::Instance();
    ASSERT_EQ(SetLanguage("pl_pl", "camfleet-test"), 0);
    const DisplayStrings& polish = DisplayStrings::ReloadInstance();
    EXPECT_EQ(&polish, &DisplayStrings::Instance());
    EXPECT_EQ(GetDisplayString("STARTSEARCH"), "Polish text");
    EXPECT_EQ(korean.Lookup("STARTSEARCH"), "Korean text");
    ASSERT_EQ(SetLanguage("ko_ko", "camfleet-test"), 0);
    EXPECT_EQ(&DisplayStrings::ReloadInstance(), &korean);
    EXPECT_EQ(GetDisplayString("STARTSEARCH"), "Korean text");

    SetProgramDirectory("");
    qunsetenv("CAMFLEET_REGISTRY_FILE");
}

}  // namespace
}  // namespace camfleet
