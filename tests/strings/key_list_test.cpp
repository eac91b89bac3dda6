// The key-list check: every display key the code looks up, and every key listed in
// resources/data/pending-keys.txt, must be in every strings file that
// resources/data/language.xml lists; every strings file must be valid XML; and a text's
// printf directives must equal those of the en-us text of the same key.
//
// A key counts as looked up when the sources (every .cpp/.h outside tests/, fuzz/, build
// and hidden folders) contain one of these two literal forms:
//   GetDisplayString("KEY")   a direct lookup
//   DisplayKey("KEY")         a key written down for a later lookup: in a table, passed
//                             to DisplayStrings::Lookup, or chosen at run time
// A key that reaches the lookup in any other way is invisible to this check.

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "resources/display_strings.h"

namespace camfleet {
namespace {

namespace fs = std::filesystem;

const fs::path kSourceDir = CAMFLEET_SOURCE_DIR;
const fs::path kDataDir = kSourceDir / "resources" / "data";

using KeyUses = std::map<std::string, std::string>;  // key -> first place it is used

// Key literals of the two lookup forms in `text`, with their line numbers.
std::vector<std::pair<std::string, int>> FindKeyLiterals(const std::string& text) {
    static const std::regex call(
        R"re(\b(?:GetDisplayString|DisplayKey)\s*\(\s*"([^"\\]*)"\s*\))re");
    std::vector<std::pair<std::string, int>> keys;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), call);
         it != std::sregex_iterator(); ++it) {
        const auto line = 1 + std::count(text.begin(), text.begin() + it->position(), '\n');
        keys.emplace_back((*it)[1].str(), int(line));
    }
    return keys;
}

// printf directives of `text` in order ("%%" is not one).
std::vector<std::string> PrintfDirectives(const std::string& text) {
    static const std::regex directive(
        R"(%%|%[-+ #0]*(?:\*|[0-9]+)?(?:\.(?:\*|[0-9]+))?)"         // flags, width, precision
        R"((?:hh|ll|I64|I32|[hlLqjztI])?[diouxXeEfFgGaAcCsSpn])");  // length, conversion
    std::vector<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), directive);
         it != std::sregex_iterator(); ++it) {
        if (it->str() != "%%")
            found.push_back(it->str());
    }
    return found;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool IsSkippedFolder(const fs::path& dir) {
    const std::string name = dir.filename().string();
    return name.empty() || name[0] == '.' || name.rfind("build", 0) == 0 || name == "tests" ||
           name == "fuzz";
}

KeyUses CollectSourceKeys() {
    KeyUses uses;
    const std::set<std::string> extensions = {".cpp", ".cc", ".cxx", ".h", ".hpp"};
    for (auto it = fs::recursive_directory_iterator(kSourceDir);
         it != fs::recursive_directory_iterator(); ++it) {
        if (it->is_directory() && IsSkippedFolder(it->path())) {
            it.disable_recursion_pending();
            continue;
        }
        if (!it->is_regular_file() || !extensions.count(it->path().extension().string()))
            continue;
        const std::string relative = fs::relative(it->path(), kSourceDir).string();
        for (const auto& [key, line] : FindKeyLiterals(ReadAll(it->path())))
            uses.emplace(key, relative + ":" + std::to_string(line));
    }
    return uses;
}

void AddPendingKeys(KeyUses& uses) {
    std::ifstream in(kDataDir / "pending-keys.txt");
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        const auto last = line.find_last_not_of(" \t\r");
        uses.emplace(line.substr(first, last - first + 1),
                     "pending-keys.txt:" + std::to_string(number));
    }
}

struct StringsFile {
    std::string code;
    std::string name;
    std::string error;           // empty when the file parsed and holds keys
    DisplayStrings table;        // the texts as the program reads them
    std::set<std::string> keys;  // the table's keys

    std::string Text(const std::string& key) const { return table.Lookup(key).toStdString(); }
};

// The strings files listed in language.xml, each read by the program's loader.
std::vector<StringsFile> ReadListedFiles(std::string& listError) {
    std::vector<StringsFile> files;
    tinyxml2::XMLDocument list;
    if (list.LoadFile((kDataDir / "language.xml").c_str()) != tinyxml2::XML_SUCCESS) {
        listError = std::string("language.xml: ") + list.ErrorStr();
        return files;
    }
    const tinyxml2::XMLElement* lang = list.FirstChildElement("Lang");
    for (const auto* res = lang ? lang->FirstChildElement("Resources") : nullptr; res;
         res = res->NextSiblingElement("Resources")) {
        StringsFile file;
        file.code = res->Attribute("lan") ? res->Attribute("lan") : "";
        file.name = res->Attribute("filename") ? res->Attribute("filename") : "";
        file.table = DisplayStrings::Load(kDataDir.string(), file.code);
        const std::vector<std::string> keys = file.table.Keys();
        file.keys.insert(keys.begin(), keys.end());
        tinyxml2::XMLDocument doc;  // only for the parser's error text
        if (doc.LoadFile((kDataDir / file.name).c_str()) != tinyxml2::XML_SUCCESS)
            file.error = doc.ErrorStr();
        else if (file.keys.empty())
            file.error = "no keys under <Lang><Resources>";
        files.push_back(std::move(file));
    }
    if (files.empty())
        listError = "language.xml lists no strings file";
    return files;
}

TEST(KeyList, FindsBothLookupForms) {
    const std::string source =
        "a = GetDisplayString(\"STARTSEARCH\");\n"
        "b = GetDisplayString( \"MSGTIP13\" );\n"
        "const char* k[] = {DisplayKey(\"SET_OK\"), DisplayKey(\"SET_FAILED\")};\n"
        "c = GetDisplayString(key);\n"
        "d = MyGetDisplayString(\"NOT_A_KEY\");\n"
        "e = GetDisplayString(\"A\" \"B\");\n";
    const std::vector<std::pair<std::string, int>> expected = {
        {"STARTSEARCH", 1}, {"MSGTIP13", 2}, {"SET_OK", 3}, {"SET_FAILED", 3}};
    EXPECT_EQ(FindKeyLiterals(source), expected);
}

TEST(KeyList, ExtractsPrintfDirectives) {
    struct Case {
        const char* text;
        std::vector<std::string> directives;
    };
    const Case cases[] = {
        {"no directive", {}},
        {"set IPC %s failed. error = %ld", {"%s", "%ld"}},
        {"%d%% done", {"%d"}},
        {"%-10s|%08.3f|%*d|%I64d|%llu|%x", {"%-10s", "%08.3f", "%*d", "%I64d", "%llu", "%x"}},
        {"100%", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PrintfDirectives(c.text), c.directives) << c.text;
}

TEST(KeyList, StringsFilesAreValidAndLoad) {
    std::string listError;
    const std::vector<StringsFile> files = ReadListedFiles(listError);
    ASSERT_TRUE(listError.empty()) << listError;
    for (const StringsFile& file : files) {
        EXPECT_TRUE(file.error.empty()) << file.name << " (" << file.code << "): " << file.error;
        EXPECT_TRUE(file.table.IsLoaded()) << file.name << " (" << file.code << ") does not load";
        EXPECT_EQ(file.table.StringsFilePath(), (kDataDir / file.name).string())
            << file.code << " is listed twice";
    }
}

TEST(KeyList, EveryLookedUpKeyIsInEveryStringsFile) {
    KeyUses uses = CollectSourceKeys();
    AddPendingKeys(uses);
    std::string listError;
    const std::vector<StringsFile> files = ReadListedFiles(listError);
    ASSERT_TRUE(listError.empty()) << listError;
    for (const StringsFile& file : files) {
        if (!file.error.empty()) {
            ADD_FAILURE() << file.name << " (" << file.code << ") unreadable: " << file.error;
            continue;
        }
        std::ostringstream missing;
        int count = 0;
        for (const auto& [key, where] : uses) {
            if (file.keys.count(key))
                continue;
            missing << "\n  " << file.name << ": " << key << "  (used at " << where << ")";
            ++count;
        }
        EXPECT_EQ(count, 0) << count << " keys missing:" << missing.str();
    }
}

TEST(KeyList, DirectivesMatchTheEnglishText) {
    std::string listError;
    const std::vector<StringsFile> files = ReadListedFiles(listError);
    ASSERT_TRUE(listError.empty()) << listError;
    const auto english = std::find_if(files.begin(), files.end(),
                                      [](const StringsFile& f) { return f.code == "en-us"; });
    ASSERT_NE(english, files.end()) << "language.xml lists no en-us file";
    for (const StringsFile& file : files) {
        for (const std::string& key : file.keys) {
            if (!english->keys.count(key))
                continue;
            const std::string text = file.Text(key), reference = english->Text(key);
            EXPECT_EQ(PrintfDirectives(text), PrintfDirectives(reference))
                << file.name << ": " << key << " = \"" << text << "\", en-us: \"" << reference
                << '"';
        }
    }
}

}  // namespace
}  // namespace camfleet
