#include "resources/display_strings.h"

#include <tinyxml2.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/paths.h"
#include "resources/language_setting.h"

namespace camfleet {
namespace {

// The first text node met by descending from `element` through first children only;
// null when that chain ends without one (empty element, element or comment first).
const char* FirstDescendingText(const tinyxml2::XMLElement& element) {
    for (const tinyxml2::XMLNode* node = element.FirstChild(); node; node = node->FirstChild()) {
        if (const tinyxml2::XMLText* text = node->ToText())
            return text->Value();
    }
    return nullptr;
}

QString ToDisplayText(const char* utf8) {
    QString text = QString::fromUtf8(utf8 ? utf8 : "");
    if (text.size() > kMaxDisplayTextLength) {
        qsizetype keep = kMaxDisplayTextLength;
        if (text.at(keep - 1).isHighSurrogate())
            --keep;
        text.truncate(keep);
    }
    return text;
}

// Fills `texts` from a parsed strings document; later keys replace earlier ones.
void ReadStringsDocument(const tinyxml2::XMLDocument& doc,
                         std::map<std::string, QString, std::less<>>& texts) {
    const tinyxml2::XMLElement* lang = doc.FirstChildElement("Lang");
    const tinyxml2::XMLElement* resources = lang ? lang->FirstChildElement("Resources") : nullptr;
    if (!resources)
        return;
    for (const tinyxml2::XMLElement* item = resources->FirstChildElement(); item;
         item = item->NextSiblingElement()) {
        texts.insert_or_assign(std::string(item->Name()),
                               ToDisplayText(FirstDescendingText(*item)));
    }
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir.back() == '/')
        return dir + name;
    return dir + "/" + name;
}

}  // namespace

std::string StringsFileNameFor(const std::string& languageXmlPath,
                               const std::string& languageCode) {
    tinyxml2::XMLDocument doc;
    if (doc.LoadFile(languageXmlPath.c_str()) != tinyxml2::XML_SUCCESS)
        return {};
    const tinyxml2::XMLElement* lang = doc.FirstChildElement("Lang");
    if (!lang)
        return {};
    for (const tinyxml2::XMLElement* res = lang->FirstChildElement("Resources"); res;
         res = res->NextSiblingElement("Resources")) {
        const char* lan = res->Attribute("lan");
        if (lan && languageCode == lan) {
            const char* filename = res->Attribute("filename");
            return filename ? filename : "";
        }
    }
    return {};
}

DisplayStrings DisplayStrings::Load(const std::string& dir, const std::string& languageCode) {
    DisplayStrings table;
    table.languageCode_ = languageCode;
    const std::string fileName = StringsFileNameFor(JoinPath(dir, "language.xml"), languageCode);
    if (fileName.empty())
        return table;
    table.stringsFilePath_ = JoinPath(dir, fileName);
    table.ReadStringsFile(table.stringsFilePath_);
    return table;
}

bool DisplayStrings::ReadStringsFile(const std::string& path) {
    tinyxml2::XMLDocument doc;
    if (doc.LoadFile(path.c_str()) != tinyxml2::XML_SUCCESS)
        return false;
    ReadStringsDocument(doc, texts_);
    loaded_ = true;
    return true;
}

DisplayStrings DisplayStrings::FromStringsXml(const char* data, std::size_t size,
                                              const std::string& languageCode) {
    DisplayStrings table;
    table.languageCode_ = languageCode;
    tinyxml2::XMLDocument doc;
    if (data && size > 0 && doc.Parse(data, size) == tinyxml2::XML_SUCCESS) {
        ReadStringsDocument(doc, table.texts_);
        table.loaded_ = true;
    }
    return table;
}

namespace {

// Every process-wide table built so far; `current` points at one of them. Tables are never
// freed, so a reference to a replaced one stays valid.
struct ProcessTables {
    std::mutex mutex;  // guards `kept` and the building of a table
    std::vector<std::unique_ptr<const DisplayStrings>> kept;
    std::atomic<const DisplayStrings*> current{nullptr};
};

ProcessTables& Tables() {
    static ProcessTables tables;
    return tables;
}

// Makes `table` current, or the kept table of the same language and file. Caller holds
// the mutex.
const DisplayStrings& MakeCurrent(ProcessTables& tables, DisplayStrings table) {
    const DisplayStrings* chosen = nullptr;
    for (const auto& kept : tables.kept) {
        if (kept->LanguageCode() == table.LanguageCode() &&
            kept->StringsFilePath() == table.StringsFilePath() &&
            kept->IsLoaded() == table.IsLoaded())
            chosen = kept.get();
    }
    if (!chosen) {
        tables.kept.push_back(std::make_unique<const DisplayStrings>(std::move(table)));
        chosen = tables.kept.back().get();
    }
    tables.current.store(chosen, std::memory_order_release);
    return *chosen;
}

}  // namespace

const DisplayStrings& DisplayStrings::Instance() {
    ProcessTables& tables = Tables();
    if (const DisplayStrings* table = tables.current.load(std::memory_order_acquire))
        return *table;
    std::lock_guard lock(tables.mutex);
    if (const DisplayStrings* table = tables.current.load(std::memory_order_acquire))
        return *table;
    return MakeCurrent(tables, Load(ProgramDirectory(), GetLanguage()));
}

const DisplayStrings& DisplayStrings::ReloadInstance() {
    ProcessTables& tables = Tables();
    std::lock_guard lock(tables.mutex);
    return MakeCurrent(tables, Load(ProgramDirectory(), GetLanguage()));
}

QString DisplayStrings::Lookup(std::string_view key) const {
    if (!loaded_)
        return {};
    auto it = texts_.find(key);
    return it == texts_.end() ? QString() : it->second;
}

QString DisplayStrings::Lookup(const char* key) const {
    return key ? Lookup(std::string_view(key)) : QString();
}

std::vector<std::string> DisplayStrings::Keys() const {
    std::vector<std::string> keys;
    keys.reserve(texts_.size());
    for (const auto& entry : texts_)
        keys.push_back(entry.first);
    return keys;
}

QString GetDisplayString(const char* key) {
    return DisplayStrings::Instance().Lookup(key);
}

}  // namespace camfleet
