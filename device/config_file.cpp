#include "device/config_file.h"

#include <tinyxml2.h>

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include "resources/log.h"

namespace camfleet {

namespace {

constexpr const char* kSections[] = {"RecordConfig",  "ServerConfig", "SystemConfig",
                                     "NetworkConfig", "MediaConfig",  "MediaStreamConfig",
                                     "AlarmConfig"};

// Configuration files are small; anything larger is not one.
constexpr qint64 kMaxConfigFileSize = 16 * 1024 * 1024;

// Prints with one tab per indent level instead of tinyxml2's four blanks.
class TabPrinter : public tinyxml2::XMLPrinter {
public:
    TabPrinter() : tinyxml2::XMLPrinter(nullptr, false, 0) {}

protected:
    void PrintSpace(int depth) override {
        for (int i = 0; i < depth; ++i) {
            Write("\t");
        }
    }
};

// tinyxml2 accepts text and further elements beside the root; a well-formed document has
// only its root element beside declarations, comments and DOCTYPE.
bool HasSingleRoot(const tinyxml2::XMLDocument& doc) {
    int elements = 0;
    for (const tinyxml2::XMLNode* node = doc.FirstChild(); node; node = node->NextSibling()) {
        if (node->ToText() != nullptr) {
            return false;
        }
        if (node->ToElement() != nullptr) {
            ++elements;
        }
    }
    return elements == 1;
}

bool ParseValid(std::string_view text, tinyxml2::XMLDocument* doc) {
    if (doc->Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS || !HasSingleRoot(*doc)) {
        return false;
    }
    const tinyxml2::XMLElement* root = doc->RootElement();
    if (root == nullptr || std::string_view(root->Name()) != "NORVEKConfig") {
        return false;
    }
    for (const char* section : kSections) {
        if (root->FirstChildElement(section) == nullptr) {
            return false;
        }
    }
    return true;
}

bool ReadFile(const std::string& path, std::string* text) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxConfigFileSize) {
        return false;
    }
    const QByteArray bytes = file.readAll();
    text->assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return true;
}

}  // namespace

bool CheckConfigText(std::string_view text) {
    tinyxml2::XMLDocument doc;
    return ParseValid(text, &doc);
}

bool CheckConfigFile(const std::string& path) {
    std::string text;
    return ReadFile(path, &text) && CheckConfigText(text);
}

bool ReprintXmlFile(const std::string& path) {
    std::string text;
    tinyxml2::XMLDocument doc;
    if (!ReadFile(path, &text) || doc.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS ||
        !HasSingleRoot(doc)) {
        return false;
    }
    TabPrinter printer;
    doc.Print(&printer);
    const qint64 size = printer.CStrSize() - 1;
    QSaveFile file(QString::fromStdString(path));
    return file.open(QIODevice::WriteOnly) && file.write(printer.CStr(), size) == size &&
           file.commit();
}

bool PrintDefaultConfig(std::string_view text, std::string* out) {
    out->clear();
    tinyxml2::XMLDocument doc;
    if (!ParseValid(text, &doc)) {
        return false;
    }
    doc.RootElement()->SetAttribute("SET_OEM_DEFAULT_CONFIG", "1");
    TabPrinter printer;
    doc.Print(&printer);
    const std::size_t size = static_cast<std::size_t>(printer.CStrSize()) - 1;
    if (size >= kDefaultConfigBufferSize) {
        LogMessage("default configuration not made: %zu bytes, limit %zu\n", size,
                   kDefaultConfigBufferSize - 1);
        return false;
    }
    out->assign(printer.CStr(), size);
    return true;
}

int MakeDefaultConfigIn(const std::string& sourcePath, const std::string& directory,
                        std::string* outPath) {
    const QString target = QDir(QString::fromStdString(directory))
                               .filePath(QString::fromLatin1(kDefaultConfigFileName));
    // The old file goes first, so a failed run never leaves a stale default behind.
    if (QFile::exists(target) && !QFile::remove(target)) {
        LogMessage("cannot delete %s\n", target.toLocal8Bit().constData());
        return 0;
    }
    std::string source;
    std::string printed;
    if (!ReadFile(sourcePath, &source) || !PrintDefaultConfig(source, &printed)) {
        return 0;
    }
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(printed.data(), static_cast<qint64>(printed.size())) !=
            static_cast<qint64>(printed.size()) ||
        !file.commit()) {
        LogMessage("cannot write %s\n", target.toLocal8Bit().constData());
        return 0;
    }
    *outPath = target.toStdString();
    return 1;
}

int MakeDefaultConfig(const std::string& sourcePath, std::string* outPath) {
    return MakeDefaultConfigIn(sourcePath, QDir::tempPath().toStdString(), outPath);
}

}  // namespace camfleet
