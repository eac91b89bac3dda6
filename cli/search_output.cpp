#include "cli/search_output.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>

namespace camfleet::cli {

namespace {

QString Text(const char* field) {
    return QString::fromUtf8(field);
}

}  // namespace

QJsonObject AnswerJson(const SearchAnswer& a) {
    const NetworkBlock& n = a.network;
    return QJsonObject{
        {"SN", Text(a.serialNumber)},
        {"P2PID", Text(a.p2pId)},
        {"MAC", Text(n.macAddress)},
        {"TYPE", Text(a.deviceType)},
        {"IPADDR", Text(n.ipAddress)},
        {"NETMASK", Text(n.netmask)},
        {"GATEWAY", Text(n.gateway)},
        {"DHCP", n.dhcp},
        {"DNS1", Text(n.dns1)},
        {"DNS2", Text(n.dns2)},
        {"COMPORT", a.streamAccess.ptzPort},
        {"HTTPPORT", a.streamAccess.webPort},
        {"RTSPPORT", a.streamAccess.videoPort},
        {"TITLE", Text(a.osdText)},
        {"VERSION", Text(a.version)},
        {"UUID", Text(a.uuid)},
        {"RUNTIME", a.runningTime},
        {"P2PSTATUS", a.p2pStatus},
        {"ADAPTER", Text(a.adapterAddress)},
    };
}

QByteArray FormatTable(const std::vector<SearchAnswer>& answers) {
    std::vector<QStringList> rows;
    for (const SearchAnswer& a : answers) {
        QStringList cells = DeviceRowCells(a);
        // Nobody is logged in here, so the answer's own version stands in the version column.
        cells[kColumnVersion] = Text(a.version);
        rows.push_back(cells);
    }
    return FormatCellTable(rows);
}

QByteArray FormatCellTable(const std::vector<QStringList>& cellRows) {
    std::vector<QStringList> rows{DeviceColumnHeaders()};
    // A header whose text is missing (no strings file) shows its key instead.
    for (qsizetype c = 0; c < rows.front().size(); ++c)
        if (rows.front()[c].isEmpty())
            rows.front()[c] = QString::fromLatin1(DeviceColumnKey(static_cast<int>(c)));
    rows.insert(rows.end(), cellRows.begin(), cellRows.end());
    std::vector<qsizetype> widths(rows.front().size(), 0);
    for (const QStringList& row : rows)
        for (qsizetype c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], std::max<qsizetype>(row[c].size(), 1));
    QString out;
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype c = 0; c < row.size(); ++c)
            line += (row[c].isEmpty() ? QStringLiteral("-") : row[c]).leftJustified(widths[c] + 2);
        out += line.trimmed() + '\n';
    }
    return out.toUtf8();
}

QByteArray FormatJson(const std::vector<SearchAnswer>& answers) {
    QJsonArray array;
    for (const SearchAnswer& a : answers)
        array.append(AnswerJson(a));
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

namespace {

QByteArray ListJson(const DeviceListModel& model) {
    QJsonArray array;
    for (int row = 0; row < model.Count(); ++row) {
        const DeviceRecord& d = *model.Record(row);
        QJsonObject o = AnswerJson(d.answer);
        o["STATE"] = model.CellText(row, kColumnState);
        o["LOGGEDIN"] = model.State(row)->LoggedIn();
        if (d.answer.version[0] == '\0')
            o["VERSION"] = QString::fromUtf8(d.firmwareVersion);
        array.append(o);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

QByteArray ListTable(const DeviceListModel& model) {
    std::vector<QStringList> rows;
    for (int row = 0; row < model.Count(); ++row) {
        QStringList cells;
        for (int c = 0; c < kDeviceColumnCount; ++c)
            cells.append(model.CellText(row, c));
        rows.push_back(cells);
    }
    return FormatCellTable(rows);
}

}  // namespace

void PrintCameraOutcome(bool json, const char* serial, bool ok, const QString& state,
                        const QString& file) {
    if (json) {
        QJsonObject object{{"SERIAL", QString::fromLatin1(serial)},
                           {"RESULT", ok ? "ok" : "failed"},
                           {"STATE", state}};
        if (!file.isEmpty())
            object["FILE"] = file;
        std::printf("%s\n", QJsonDocument(object).toJson(QJsonDocument::Compact).constData());
    } else {
        std::printf("%s %s %s%s\n", serial, ok ? "ok" : "failed", qPrintable(state),
                    file.isEmpty() ? "" : qPrintable(" " + file));
    }
}

QByteArray FormatList(const DeviceListModel& model, bool json) {
    return json ? ListJson(model) : ListTable(model);
}

}  // namespace camfleet::cli
