// docs/camera-protocol.md against the code it describes: the event records, the device
// commands and the system command texts a second implementer builds from it must be the ones
// the SDK and the simulated camera actually use.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "device/codes.h"
#include "device/sdk/control_protocol.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "device/sdk/sdk_event_records.h"
#include "marked_request.h"
#include "sdk_fixture.h"
#include "sim/control_camera.h"

namespace camfleet::testing {
namespace {

using Row = std::vector<std::string>;

const char kCommandsHeading[] = "## Device commands";
const char kCommandsHeader[] = "| Code | Kind | Request payload | Answer payload |";

struct Table {
    std::string intro;      // the paragraph right above the table, lines joined by blanks
    std::vector<Row> rows;  // without the header and separator rows
};

std::string ProtocolDocument() {
    std::ifstream in(CAMFLEET_SOURCE_DIR "/docs/camera-protocol.md");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The text of the section under `heading` (a whole "## ..." line), up to the next "## ".
std::string Section(const std::string& doc, const std::string& heading) {
    const std::size_t start = doc.find("\n" + heading + "\n");
    if (start == std::string::npos)
        return {};
    const std::size_t end = doc.find("\n## ", start + 1);
    return doc.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string Trim(const std::string& s) {
    const std::size_t first = s.find_first_not_of(' ');
    const std::size_t last = s.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : s.substr(first, last - first + 1);
}

Row Cells(const std::string& line) {
    Row cells;
    std::size_t i = 1;  // past the leading '|'
    for (std::size_t bar; (bar = line.find('|', i)) != std::string::npos; i = bar + 1)
        cells.push_back(Trim(line.substr(i, bar - i)));
    return cells;
}

// The tables of `text` whose header row is `header`.
std::vector<Table> Tables(const std::string& text, const std::string& header) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    std::vector<Table> tables;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != header)
            continue;
        Table table;
        std::size_t j = i;
        while (j > 0 && lines[j - 1].empty())
            --j;
        for (; j > 0 && !lines[j - 1].empty(); --j)
            table.intro = lines[j - 1] + " " + table.intro;
        for (i += 2; i < lines.size() && !lines[i].empty() && lines[i][0] == '|'; ++i)
            table.rows.push_back(Cells(lines[i]));
        tables.push_back(table);
    }
    return tables;
}

// The rows of the one table with `header` under `heading` of the document; none when the
// section does not hold exactly one such table.
std::vector<Row> OnlyTable(const std::string& heading, const std::string& header) {
    const std::vector<Table> tables = Tables(Section(ProtocolDocument(), heading), header);
    return tables.size() == 1 ? tables[0].rows : std::vector<Row>();
}

// Every text between backticks in `cell`.
std::vector<std::string> Quoted(const std::string& cell) {
    std::vector<std::string> out;
    const std::regex quoted("`([^`]*)`");
    for (auto it = std::sregex_iterator(cell.begin(), cell.end(), quoted);
         it != std::sregex_iterator(); ++it)
        out.push_back((*it)[1]);
    return out;
}

// The bytes a C string literal of the document stands for ("" when `literal` is none).
std::string Unescape(const std::string& literal) {
    if (literal.size() < 2 || literal.front() != '"' || literal.back() != '"')
        return {};
    std::string out;
    for (std::size_t i = 1; i + 1 < literal.size(); ++i) {
        if (literal[i] != '\\') {
            out += literal[i];
            continue;
        }
        const char c = literal[++i];
        out += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
    return out;
}

std::set<std::string> AttributeNames(const std::string& text) {
    std::set<std::string> names;
    for (const auto& [name, value] : sdk::ReadAttributes(text))
        names.insert(name);
    return names;
}

sim::ControlIdentity Identity() {
    sim::ControlIdentity id;
    id.serialNumber = "5A3F09C21B7E44D0";
    return id;
}

sim::ControlCamera::Reply Send(sim::ControlCamera* camera, int code, const std::string& payload) {
    return camera->Handle(MarkedRequest(static_cast<uint32_t>(code), payload));
}

TEST(ProtocolDocument, EventRecordTablesHaveTheSdkSizes) {
    const std::string events = Section(ProtocolDocument(), "## Status events");
    ASSERT_FALSE(events.empty());
    const std::regex intro(R"(event (\d+)\b.*?\b([\d,]+) bytes\)?:\s*$)");
    std::set<int> documented;
    for (const Table& table : Tables(events, "| Offset | Size | Field | Meaning |")) {
        std::smatch m;
        ASSERT_TRUE(std::regex_search(table.intro, m, intro)) << table.intro;
        const int type = std::stoi(m[1]);
        std::string bytes = m[2];
        std::erase(bytes, ',');
        SCOPED_TRACE(type);
        documented.insert(type);
        EXPECT_EQ(std::stoul(bytes), FixedEventRecordSize(type));
        std::size_t next = 0;  // fields follow each other without gaps
        for (const Row& row : table.rows) {
            ASSERT_EQ(row.size(), 4u);
            EXPECT_EQ(std::stoul(row[0]), next) << row[2];
            next += std::stoul(row[1]);
        }
        EXPECT_EQ(next, FixedEventRecordSize(type));
    }
    std::set<int> fixed;
    for (int type = 1; type < 256; ++type)
        if (FixedEventRecordSize(type) != 0)
            fixed.insert(type);
    EXPECT_EQ(documented, fixed) << "every fixed record has a table, and only those";
}

TEST(ProtocolDocument, AlarmRecordFieldsSitWhereTheStructureHasThem) {
    const std::string events = Section(ProtocolDocument(), "## Status events");
    const std::map<std::string, std::pair<std::size_t, std::size_t>> fields = {
        {"alarmType", {offsetof(QV_ALARM_INFO, alarmType), sizeof(QV_ALARM_INFO::alarmType)}},
        {"year", {offsetof(QV_ALARM_INFO, year), sizeof(QV_ALARM_INFO::year)}},
        {"month", {offsetof(QV_ALARM_INFO, month), sizeof(QV_ALARM_INFO::month)}},
        {"day", {offsetof(QV_ALARM_INFO, day), sizeof(QV_ALARM_INFO::day)}},
        {"hour", {offsetof(QV_ALARM_INFO, hour), sizeof(QV_ALARM_INFO::hour)}},
        {"minute", {offsetof(QV_ALARM_INFO, minute), sizeof(QV_ALARM_INFO::minute)}},
        {"second", {offsetof(QV_ALARM_INFO, second), sizeof(QV_ALARM_INFO::second)}},
        {"alarmText", {offsetof(QV_ALARM_INFO, alarmText), sizeof(QV_ALARM_INFO::alarmText)}},
    };
    int seen = 0;
    for (const Table& table : Tables(events, "| Offset | Size | Field | Meaning |")) {
        if (table.intro.find("event 23") == std::string::npos)
            continue;
        for (const Row& row : table.rows) {
            ASSERT_EQ(fields.count(row[2]), 1u) << row[2];
            EXPECT_EQ(std::stoul(row[0]), fields.at(row[2]).first) << row[2];
            EXPECT_EQ(std::stoul(row[1]), fields.at(row[2]).second) << row[2];
            ++seen;
        }
    }
    EXPECT_EQ(seen, static_cast<int>(fields.size()));
}

// Every code of the "Device commands" table is served as documented: reads answer with the
// named root, writes take the camera's own factory document back, system commands take the
// exact text of "System command texts" and answer with the documented attributes.
TEST(ProtocolDocument, DeviceCommandsAreServedAsDocumented) {
    const std::vector<Row> commands = OnlyTable(kCommandsHeading, kCommandsHeader);
    ASSERT_FALSE(commands.empty());
    const std::vector<Row> texts = OnlyTable(
        "## System command texts",
        "| Code | Request payload, byte for byte | The camera takes | Answer payload (status 0) |");
    ASSERT_FALSE(texts.empty());
    std::map<int, Row> textOf;
    for (const Row& row : texts)
        textOf[std::stoi(row[0])] = row;

    std::set<int> controls;
    for (const Row& row : commands) {
        ASSERT_EQ(row.size(), 4u);
        const int code = std::stoi(row[0]);
        const std::string& kind = row[1];
        SCOPED_TRACE(code);
        sim::ControlCamera camera(Identity());
        if (kind == "read") {
            const sim::ControlCamera::Reply reply = Send(&camera, code, "");
            EXPECT_EQ(reply.status, 0);
            ASSERT_FALSE(Quoted(row[3]).empty());
            EXPECT_EQ(sdk::FirstElementName(reply.payload), Quoted(row[3]).front());
        } else if (kind == "write") {
            const int read = ReadCodeOf(code) != 0 ? ReadCodeOf(code) : code;
            const std::string factory = Send(&camera, read, "").payload;
            EXPECT_EQ(Send(&camera, code, factory).status, 0) << factory;
        } else {
            ASSERT_EQ(kind, "control");
            controls.insert(code);
            ASSERT_EQ(textOf.count(code), 1u) << "no text in \"System command texts\"";
            const Row& text = textOf.at(code);
            const std::vector<std::string> request = Quoted(text[1]);
            ASSERT_FALSE(request.empty());
            const sim::ControlCamera::Reply reply = Send(&camera, code, Unescape(request.front()));
            EXPECT_EQ(reply.status, 0) << text[1];
            const std::vector<std::string> answer = Quoted(text[3]);
            const std::string documentedAnswer = answer.empty() ? "" : answer.front();
            EXPECT_EQ(AttributeNames(reply.payload), AttributeNames(documentedAnswer))
                << reply.payload;
            EXPECT_EQ(reply.payload.empty(), answer.empty()) << reply.payload;
        }
    }
    for (const auto& [code, row] : textOf)
        EXPECT_EQ(controls.count(code), 1u) << code << " has a text but no row in the table";
}

// The camera serves no code that the "Device commands" table leaves out.
TEST(ProtocolDocument, NoUndocumentedDeviceCommand) {
    std::set<int> documented;
    for (const Row& row : OnlyTable(kCommandsHeading, kCommandsHeader))
        documented.insert(std::stoi(row[0]));
    ASSERT_FALSE(documented.empty());
    sim::ControlCamera camera(Identity());
    for (int code = 1; code <= kSystemControlLast; ++code) {
        for (const char* payload : {"", "<REQUEST_PARAM />"}) {
            const int32_t status = Send(&camera, code, payload).status;
            EXPECT_TRUE(status == sdk::kStatusUnsupported || documented.count(code) == 1)
                << code << " answered " << status;
        }
    }
}

using ProtocolDocumentEvents = SdkTest;

// Every event the document says a camera sends reaches the status hook whole, with the
// payload camfleet-sim --event sends.
TEST_F(ProtocolDocumentEvents, EveryCameraEventReachesTheStatusHook) {
    std::vector<int> types;
    for (const Row& row :
         OnlyTable("## Status events", "| Type | A real camera sends it | Payload | Simulator |")) {
        std::istringstream list(row[0]);
        for (std::string type; std::getline(list, type, ',');)
            types.push_back(std::stoi(type));
    }
    ASSERT_FALSE(types.empty());
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    for (int type : types) {
        SCOPED_TRACE(type);
        hooks_.Clear();
        const std::string payload = sim::SampleEventPayload(type, 1700000000);
        server_.EmitEvent(camera, type, payload);
        ASSERT_TRUE(hooks_.WaitEvent(handle, type));
        EXPECT_EQ(hooks_.Events().back().data, payload);
        if (FixedEventRecordSize(type) == 0) {  // a text event also carries its text
            const std::string text =
                "<RESPONSE_PARAM LocalFileName=\"event " + std::to_string(type) + ".xml\" />";
            server_.EmitEvent(camera, type, text);
            ASSERT_TRUE(hooks_.WaitEvent(handle, type, 2));
            EXPECT_EQ(hooks_.Events().back().data, text);
        }
    }
    QV_ALARM_INFO alarm;
    const std::string record = sim::SampleEventPayload(kEventAlarm, 1700000000);
    ASSERT_EQ(record.size(), sizeof alarm);
    std::memcpy(&alarm, record.data(), sizeof alarm);
    EXPECT_EQ(alarm.alarmType, 0);
    EXPECT_EQ(alarm.year, 2023);  // 14 or 15 November 2023, by time zone
    EXPECT_EQ(alarm.month, 11);
    EXPECT_STREQ(alarm.alarmText, "camfleet-sim alarm");
}

}  // namespace
}  // namespace camfleet::testing
