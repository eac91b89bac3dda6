// Device-list files: printing and reading the XML device list, writing the export workbook.
#include "devicelist/device_list_file.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <QSaveFile>

#include <tinyxml2.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "device/bounded_text.h"
#include "device/text_convert.h"
#include "device/xml_messages.h"

namespace camfleet {

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

void SetError(std::string* error, const char* detail) {
    if (error != nullptr) {
        *error = detail != nullptr ? detail : "";
    }
}

void SetError(QString* error, const QString& detail) {
    if (error != nullptr) {
        *error = detail;
    }
}

// ---- UTF-8 ---------------------------------------------------------------------------------

void AppendUtf8(std::string* out, char32_t cp) {
    if (cp < 0x80) {
        *out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out += static_cast<char>(0xC0 | (cp >> 6));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out += static_cast<char>(0xE0 | (cp >> 12));
        *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (cp >> 18));
        *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// `text` with every byte that starts no well-formed sequence replaced by U+FFFD.
std::string ValidUtf8(std::string_view text) {
    if (IsValidUtf8(text)) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const std::size_t n = DecodeUtf8(text, i, &cp);
        AppendUtf8(&out, n == 0 ? kReplacementCharacter : cp);
        i += n == 0 ? 1 : n;
    }
    return out;
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// ---- Fixed fields --------------------------------------------------------------------------

// The text of a zero-terminated fixed field (the whole field should the zero be missing).
template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
    return std::string_view(field, std::find(field, field + N, '\0') - field);
}

// Copies `src` into a fixed field, cut before a UTF-8 sequence that would not fit whole.
template <std::size_t N>
void CopyUtf8Field(char (&field)[N], std::string_view src) {
    std::size_t n = std::min(src.size(), N - 1);
    // Continuation bytes are 10xxxxxx; a sequence has at most three of them.
    const auto continuation = [src](std::size_t at) {
        return at < src.size() && (static_cast<unsigned char>(src[at]) & 0xC0) == 0x80;
    };
    for (int back = 0; back < 3 && n > 0 && continuation(n); ++back) {
        --n;
    }
    CopyField(field, src.substr(0, n));
}

// The firmware version the camera reported after the login, else the search answer's.
std::string_view VersionText(const DeviceRecord& record) {
    return record.firmwareVersion[0] != '\0' ? FieldText(record.firmwareVersion)
                                             : FieldText(record.answer.version);
}

// ---- XML printing --------------------------------------------------------------------------

// Appends one character of attribute content: markup characters as entities, the white
// space attribute normalisation would flatten as references, characters XML 1.0 cannot carry
// left out, everything else as UTF-8.
void AppendXmlCharacter(std::string* out, char32_t cp) {
    switch (cp) {
        case '&':
            *out += "&amp;";
            return;
        case '<':
            *out += "&lt;";
            return;
        case '>':
            *out += "&gt;";
            return;
        case '"':
            *out += "&quot;";
            return;
        case '\'':
            *out += "&apos;";
            return;
        case '\t':
            *out += "&#x9;";
            return;
        case '\n':
            *out += "&#xA;";
            return;
        case '\r':
            *out += "&#xD;";
            return;
        default:
            break;
    }
    if (cp < 0x20 || cp == 0xFFFE || cp == 0xFFFF) {
        return;
    }
    AppendUtf8(out, cp);
}

// `text` escaped as attribute content, still UTF-8 (invalid bytes become U+FFFD).
std::string EscapeXmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 16);
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const std::size_t n = DecodeUtf8(text, i, &cp);
        AppendXmlCharacter(&out, n == 0 ? kReplacementCharacter : cp);
        i += n == 0 ? 1 : n;
    }
    return out;
}

// True when the code page 936 double-byte code lead:trail is a GB2312 character: rows 1-9
// and 16-87 of EUC-CN, without what GBK added inside them (small Roman numerals in row 2,
// vertical punctuation in row 6, four pinyin letters in row 8).
bool IsGb2312Code(unsigned char lead, unsigned char trail) {
    if (trail < 0xA1 || trail > 0xFE ||
        !((lead >= 0xA1 && lead <= 0xA9) || (lead >= 0xB0 && lead <= 0xF7))) {
        return false;
    }
    const unsigned code = (lead << 8) | trail;
    return !(code >= 0xA2A1 && code <= 0xA2AA) && !(code >= 0xA6E0 && code <= 0xA6F5) &&
           !(code >= 0xA8BB && code <= 0xA8C0);
}

// True when the code page 936 text `gb` holds only ASCII and GB2312 characters.
bool IsGb2312Text(std::string_view gb) {
    for (std::size_t i = 0; i < gb.size();) {
        const auto lead = static_cast<unsigned char>(gb[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (i + 1 >= gb.size() || !IsGb2312Code(lead, static_cast<unsigned char>(gb[i + 1]))) {
            return false;
        }
        i += 2;
    }
    return true;
}

// Valid UTF-8 as GB2312, one character at a time: what GB2312 lacks becomes a reference.
std::string ToGb2312ByCharacter(std::string_view utf8) {
    std::string out;
    std::string one;
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = kReplacementCharacter;
        const std::size_t n = std::max<std::size_t>(DecodeUtf8(utf8, i, &cp), 1);
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (ConvertCodePage(utf8.substr(i, n), CodePage::kUtf8, CodePage::kGb2312,
                                   ConvertMode::kStrict, &one) &&
                   one.size() == 2 && IsGb2312Text(one)) {
            out += one;
        } else {
            out += FormatText("&#x%X;", static_cast<unsigned>(cp));
        }
        i += n;
    }
    return out;
}

// Escaped, valid UTF-8 attribute content as GB2312 bytes. Most texts are ASCII or convert
// whole; only a text with a character outside GB2312 goes character by character.
std::string ToGb2312(std::string_view utf8) {
    if (IsAscii(utf8)) {
        return std::string(utf8);
    }
    std::string gb;
    if (ConvertCodePage(utf8, CodePage::kUtf8, CodePage::kGb2312, ConvertMode::kStrict, &gb) &&
        IsGb2312Text(gb)) {
        return gb;
    }
    return ToGb2312ByCharacter(utf8);
}

void AppendTextAttribute(std::string* out, const char* name, std::string_view utf8) {
    *out += ' ';
    *out += name;
    *out += "=\"";
    *out += ToGb2312(EscapeXmlText(utf8));
    *out += '"';
}

void AppendNumberAttribute(std::string* out, const char* name, long long value) {
    *out += ' ';
    *out += name;
    *out += "=\"";
    *out += std::to_string(value);
    *out += '"';
}

void AppendDevice(std::string* out, const DeviceRecord& record) {
    const SearchAnswer& a = record.answer;
    *out += "    <ipcamera";
    AppendTextAttribute(out, "SN", FieldText(a.serialNumber));
    AppendTextAttribute(out, "P2PID", FieldText(a.p2pId));
    AppendTextAttribute(out, "MAC", FieldText(a.network.macAddress));
    AppendTextAttribute(out, "TYPE", FieldText(a.deviceType));
    AppendTextAttribute(out, "IPADDR", FieldText(a.network.ipAddress));
    AppendTextAttribute(out, "NETMASK", FieldText(a.network.netmask));
    AppendTextAttribute(out, "GATEWAY", FieldText(a.network.gateway));
    AppendNumberAttribute(out, "DHCP", a.network.dhcp);
    AppendTextAttribute(out, "DNS1", FieldText(a.network.dns1));
    AppendTextAttribute(out, "DNS2", FieldText(a.network.dns2));
    AppendNumberAttribute(out, "COMPORT", a.streamAccess.ptzPort);
    AppendNumberAttribute(out, "HTTPPORT", a.streamAccess.webPort);
    AppendNumberAttribute(out, "RTSPPORT", a.streamAccess.videoPort);
    AppendTextAttribute(out, "user", FieldText(a.account.username));
    AppendTextAttribute(out, "password", FieldText(a.account.password));
    AppendTextAttribute(out, "TITLE", FieldText(a.osdText));
    AppendTextAttribute(out, "VERSION", VersionText(record));
    *out += "/>\n";
}

// ---- XML reading ---------------------------------------------------------------------------

enum class DeclaredEncoding { kUtf8, kGb, kOther };

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x + ('a' - 'A') : x) == y;
           });
}

bool IsXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The value of the encoding pseudo-attribute of an XML declaration; `found` tells whether
// the declaration names one at all. A malformed one reads as an empty name.
std::string_view EncodingName(std::string_view declaration, bool* found) {
    std::size_t at = declaration.find("encoding");
    *found = at != std::string_view::npos;
    if (!*found) {
        return {};
    }
    at += std::strlen("encoding");
    while (at < declaration.size() && IsXmlSpace(declaration[at])) {
        ++at;
    }
    if (at >= declaration.size() || declaration[at] != '=') {
        return {};
    }
    ++at;
    while (at < declaration.size() && IsXmlSpace(declaration[at])) {
        ++at;
    }
    if (at >= declaration.size() || (declaration[at] != '"' && declaration[at] != '\'')) {
        return {};
    }
    const std::size_t end = declaration.find(declaration[at], at + 1);
    return end == std::string_view::npos ? std::string_view()
                                         : declaration.substr(at + 1, end - at - 1);
}

// How the bytes of a document are to be read, after its XML declaration. A byte order mark
// means UTF-8; a document without a declaration, or one that names no encoding, is UTF-8.
DeclaredEncoding ReadDeclaredEncoding(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF") || !bytes.starts_with("<?xml") || bytes.size() < 6 ||
        !IsXmlSpace(bytes[5])) {
        return DeclaredEncoding::kUtf8;
    }
    bool found = false;
    const std::string_view name = EncodingName(bytes.substr(0, bytes.find("?>")), &found);
    if (!found || EqualsIgnoringCase(name, "utf-8")) {
        return DeclaredEncoding::kUtf8;
    }
    if (EqualsIgnoringCase(name, "gb2312") || EqualsIgnoringCase(name, "gbk") ||
        EqualsIgnoringCase(name, "gb18030")) {
        return DeclaredEncoding::kGb;
    }
    return DeclaredEncoding::kOther;
}

std::string_view AttributeText(const tinyxml2::XMLElement& element, const char* name) {
    const char* value = element.Attribute(name);
    return value != nullptr ? std::string_view(value) : std::string_view();
}

// A number written as plain decimal digits, at most `max`; any other text reads as 0.
int AttributeNumber(const tinyxml2::XMLElement& element, const char* name, int max) {
    const std::string_view text = AttributeText(element, name);
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return 0;
        }
        value = value * 10 + (c - '0');
        if (value > max) {
            return 0;
        }
    }
    return static_cast<int>(value);
}

SearchAnswer AnswerFromElement(const tinyxml2::XMLElement& e) {
    SearchAnswer a = EmptySearchAnswer();
    CopyUtf8Field(a.serialNumber, AttributeText(e, "SN"));
    CopyUtf8Field(a.p2pId, AttributeText(e, "P2PID"));
    CopyUtf8Field(a.network.macAddress, AttributeText(e, "MAC"));
    CopyUtf8Field(a.deviceType, AttributeText(e, "TYPE"));
    CopyUtf8Field(a.network.ipAddress, AttributeText(e, "IPADDR"));
    CopyUtf8Field(a.network.netmask, AttributeText(e, "NETMASK"));
    CopyUtf8Field(a.network.gateway, AttributeText(e, "GATEWAY"));
    CopyUtf8Field(a.network.dns1, AttributeText(e, "DNS1"));
    CopyUtf8Field(a.network.dns2, AttributeText(e, "DNS2"));
    CopyUtf8Field(a.osdText, AttributeText(e, "TITLE"));
    a.network.dhcp = static_cast<int16_t>(AttributeNumber(e, "DHCP", 1));
    a.streamAccess.ptzPort = AttributeNumber(e, "COMPORT", 65535);
    a.streamAccess.webPort = AttributeNumber(e, "HTTPPORT", 65535);
    a.streamAccess.videoPort = AttributeNumber(e, "RTSPPORT", 65535);
    return a;
}

// ---- Workbook ------------------------------------------------------------------------------

constexpr const char* kWorkbookColumns[] = {"IPADDR", "NETMASK", "COMPORT", "HTTPPORT", "RTSPPORT",
                                            "MAC",    "TITLE",   "VERSION", "SN",       "P2PID"};

// Writes one device's row: the ports as numbers, everything else as texts. The first error
// is the result.
lxw_error WriteDeviceRow(lxw_worksheet* sheet, lxw_row_t row, const DeviceRecord& record) {
    lxw_col_t col = 0;
    lxw_error result = LXW_NO_ERROR;
    const auto text = [&](std::string_view value) {
        if (result == LXW_NO_ERROR) {
            result = worksheet_write_string(sheet, row, col, ValidUtf8(value).c_str(), nullptr);
        }
        ++col;
    };
    const auto number = [&](int value) {
        if (result == LXW_NO_ERROR) {
            result = worksheet_write_number(sheet, row, col, value, nullptr);
        }
        ++col;
    };
    const SearchAnswer& a = record.answer;
    text(FieldText(a.network.ipAddress));
    text(FieldText(a.network.netmask));
    number(a.streamAccess.ptzPort);
    number(a.streamAccess.webPort);
    number(a.streamAccess.videoPort);
    text(FieldText(a.network.macAddress));
    text(FieldText(a.osdText));
    text(VersionText(record));
    text(FieldText(a.serialNumber));
    text(FieldText(a.p2pId));
    return result;
}

lxw_error WriteSheet(lxw_worksheet* sheet, const std::vector<const DeviceRecord*>& rows) {
    lxw_col_t col = 0;
    for (const char* name : kWorkbookColumns) {
        if (const lxw_error result = worksheet_write_string(sheet, 0, col++, name, nullptr)) {
            return result;
        }
    }
    lxw_row_t row = 1;
    for (const DeviceRecord* record : rows) {
        if (const lxw_error result = WriteDeviceRow(sheet, row++, *record)) {
            return result;
        }
    }
    return LXW_NO_ERROR;
}

// Writes the whole workbook to `file`. The first error is the result; the workbook is
// closed (and freed) in any case.
lxw_error WriteWorkbook(const QByteArray& file, const std::vector<const DeviceRecord*>& rows) {
    lxw_workbook* book = workbook_new(file.constData());
    if (book == nullptr) {
        return LXW_ERROR_MEMORY_MALLOC_FAILED;
    }
    lxw_worksheet* sheet = workbook_add_worksheet(book, "EXPORT");
    const lxw_error written =
        sheet != nullptr ? WriteSheet(sheet, rows) : LXW_ERROR_MEMORY_MALLOC_FAILED;
    const lxw_error closed = workbook_close(book);
    return written != LXW_NO_ERROR ? written : closed;
}

// Creates a new, empty file beside `path` under a name no other file has, and returns that
// name; an empty name (with the file system's detail in `error`) when the folder refuses.
QString CreateFileBeside(const QString& path, QString* error) {
    QString detail;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QString name =
            path + QStringLiteral(".%1.tmp").arg(QRandomGenerator::global()->generate(), 8, 16,
                                                 QLatin1Char('0'));
        QFile file(name);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            return name;
        }
        detail = file.errorString();
        if (!QFile::exists(name)) {
            break;  // not a clash of names: the folder cannot take the file
        }
    }
    SetError(error, detail);
    return {};
}

}  // namespace

std::string PrintDeviceListXml(const std::vector<const DeviceRecord*>& rows) {
    std::string out = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\n<root>\n";
    out.reserve(out.size() + rows.size() * 512);
    for (const DeviceRecord* record : rows) {
        AppendDevice(&out, *record);
    }
    out += "</root>\n";
    return out;
}

bool SaveDeviceListXml(const QString& path, const std::vector<const DeviceRecord*>& rows,
                       QString* error) {
    const std::string text = PrintDeviceListXml(rows);
    const auto size = static_cast<qint64>(text.size());
    // QSaveFile writes beside the target and renames over it in commit; an uncommitted one
    // removes its temporary file. The flush is explicit because commit does not report a
    // failure of the last buffer flush (a full disk).
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), size) != size ||
        !file.flush() || !file.commit()) {
        SetError(error, file.errorString());
        return false;
    }
    return true;
}

bool ParseDeviceListXml(std::string_view bytes, std::vector<SearchAnswer>* out,
                        std::string* error) {
    SetError(error, nullptr);
    std::string converted;
    switch (ReadDeclaredEncoding(bytes)) {
        case DeclaredEncoding::kOther:
            return false;
        case DeclaredEncoding::kGb:
            converted = Gb2312ToUtf8(bytes);
            bytes = converted;
            break;
        case DeclaredEncoding::kUtf8:
            break;
    }
    tinyxml2::XMLDocument document;
    if (document.Parse(bytes.data(), bytes.size()) != tinyxml2::XML_SUCCESS) {
        SetError(error, document.ErrorStr());
        return false;
    }
    const tinyxml2::XMLElement* root = document.RootElement();
    if (root == nullptr || std::strcmp(root->Name(), "root") != 0) {
        return false;
    }
    std::vector<SearchAnswer> answers;
    for (const tinyxml2::XMLElement* e = root->FirstChildElement("ipcamera"); e != nullptr;
         e = e->NextSiblingElement("ipcamera")) {
        if (!AttributeText(*e, "SN").empty()) {
            answers.push_back(AnswerFromElement(*e));
        }
    }
    *out = std::move(answers);
    return true;
}

bool LoadDeviceListXml(const QString& path, std::vector<SearchAnswer>* out, QString* error) {
    SetError(error, QString());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        SetError(error, file.errorString());
        return false;
    }
    constexpr auto kLimit = static_cast<qint64>(kMaxDeviceListFileBytes);
    if (file.size() > kLimit) {
        return false;
    }
    // Read one byte past the limit: a file that grows meanwhile is still refused.
    const QByteArray bytes = file.read(kLimit + 1);
    if (file.error() != QFileDevice::NoError) {
        SetError(error, file.errorString());
        return false;
    }
    if (bytes.size() > kLimit) {
        return false;
    }
    std::string detail;
    if (!ParseDeviceListXml(std::string_view(bytes.constData(), bytes.size()), out, &detail)) {
        SetError(error, QString::fromStdString(detail));
        return false;
    }
    return true;
}

bool SaveExportWorkbook(const QString& path, const std::vector<const DeviceRecord*>& rows,
                        QString* error) {
    const QString temporary = CreateFileBeside(path, error);
    if (temporary.isEmpty()) {
        return false;
    }
    const lxw_error written = WriteWorkbook(QFile::encodeName(temporary), rows);
    if (written != LXW_NO_ERROR) {
        SetError(error, QString::fromUtf8(lxw_strerror(written)));
        QFile::remove(temporary);
        return false;
    }
    if (std::rename(QFile::encodeName(temporary).constData(),
                    QFile::encodeName(path).constData()) != 0) {
        SetError(error, qt_error_string(errno));
        QFile::remove(temporary);
        return false;
    }
    return true;
}

}  // namespace camfleet
