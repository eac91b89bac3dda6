#pragma once
// Display strings: every text the tool shows is looked up by an upper-case key in the
// strings file of the chosen language.
//
// Files, all in the program directory:
//   "language.xml"  <Lang><Resources lan="CODE" filename="strings_CODE.xml"/>...</Lang>
//   strings file    <Lang><Resources><KEY>text</KEY>...</Resources></Lang>, UTF-8
// The language code comes from GetLanguage() (resources/language_setting.h).

#include <QString>

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace camfleet {

// Marks a key literal that is looked up later (kept in a table, chosen at run time).
// Returns its argument unchanged. The key-list test collects the literal of every
// DisplayKey call as well as of every GetDisplayString call, so a key that reaches the
// lookup by another road must pass through this marker where it is written down.
constexpr const char* DisplayKey(const char* key) {
    return key;
}

// Longest stored text in UTF-16 code units; longer texts are cut (never inside a
// surrogate pair, so a cut text may be one unit shorter).
inline constexpr qsizetype kMaxDisplayTextLength = 5119;

// One language's table of texts. Immutable once built, so one table may be read from
// any number of threads at once.
class DisplayStrings {
public:
    DisplayStrings() = default;

    // Builds the table of `languageCode` from the files in `dir` (no trailing separator
    // needed): "language.xml" names the strings file, which is then read. A missing or
    // broken file, or a code that "language.xml" does not list, gives a table that is not
    // loaded and answers every key with the empty text.
    static DisplayStrings Load(const std::string& dir, const std::string& languageCode);

    // Reads a strings document from memory (the layout of a strings file). Used for
    // strings files and by the fuzz target; `languageCode` is only recorded.
    static DisplayStrings FromStringsXml(const char* data, std::size_t size,
                                         const std::string& languageCode = "en-us");

    // The process-wide table, built on first use from ProgramDirectory() and
    // GetLanguage(). Thread-safe: the first caller builds it, later callers wait for it.
    // The reference stays valid until the process ends, also after ReloadInstance().
    static const DisplayStrings& Instance();

    // Builds the table again from ProgramDirectory() and GetLanguage() and makes it the
    // process-wide one (after a language switch). Tables replaced this way are kept, so
    // references taken from them stay valid; a table of the language code and strings file
    // of a kept one is dropped for it, so switching back and forth does not grow memory.
    // Thread-safe; a lookup running meanwhile answers from the old or the new table.
    static const DisplayStrings& ReloadInstance();

    // The stored text of `key`, or the empty text when the table is not loaded, `key`
    // is null or the table has no such key (never the key itself).
    QString Lookup(const char* key) const;
    QString Lookup(std::string_view key) const;

    // True once a strings file has been parsed (even when it held no keys).
    bool IsLoaded() const { return loaded_; }
    const std::string& LanguageCode() const { return languageCode_; }
    // Full path of the strings file chosen through "language.xml"; empty when none.
    const std::string& StringsFilePath() const { return stringsFilePath_; }
    std::size_t Size() const { return texts_.size(); }
    // Every stored key, in byte order.
    std::vector<std::string> Keys() const;

private:
    bool ReadStringsFile(const std::string& path);

    std::string languageCode_ = "en-us";
    std::string stringsFilePath_;
    bool loaded_ = false;
    // Key: the element name as its UTF-8 bytes (keys are ASCII, so this equals the
    // caller's ANSI key byte for byte). Value: the text, at most kMaxDisplayTextLength.
    std::map<std::string, QString, std::less<>> texts_;
};

// The file name that "language.xml" at `languageXmlPath` gives for `languageCode`: the
// `filename` of the first `Resources` child of the first `Lang` element whose `lan`
// equals the code. Empty when the file, the element or the attribute is missing.
std::string StringsFileNameFor(const std::string& languageXmlPath, const std::string& languageCode);

// DisplayStrings::Instance().Lookup(key). Safe from any thread.
QString GetDisplayString(const char* key);

}  // namespace camfleet
