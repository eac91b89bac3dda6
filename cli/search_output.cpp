#include "cli/search_output.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace camfleet::cli {

namespace {

QString Text(const char* field) {
    return QString::fromUtf8(field);
}

QString P2pStatusText(int status) {
    if (status < 0)
        return {};
    return status >= 1 ? QStringLiteral("online") : QStringLiteral("offline");
}

QJsonObject JsonObject(const SearchAnswer& a) {
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

}  // namespace

QString ModelText(const char* deviceType) {
    QString model = Text(deviceType);
    model.remove(QStringLiteral("DIR-OVADU-"));
    const qsizetype cut = model.indexOf(QStringLiteral("_V"));
    return cut >= 0 ? model.left(cut) : model;
}

QString RunningTimeText(int seconds) {
    if (seconds < 1)
        return {};
    const int parts[] = {seconds / 86400, seconds % 86400 / 3600, seconds % 3600 / 60,
                         seconds % 60};
    const char* names[] = {"day", "hour", "min", "sec"};
    QString text;
    for (int i = 0; i < 4; ++i)
        if (parts[i] >= 1)
            text += QStringLiteral("%1 %2 ").arg(parts[i]).arg(names[i]);
    return text;
}

QStringList DeviceColumnKeys() {
    return {"IP",
            "HTTP_PORT",
            "MODEL",
            "TEXT9",
            "PREVIEW",
            "VERSIONNUMBER",
            "STATE",
            "IDS_STR_ONVIF_ALLNET",
            "SN",
            "NETMASK",
            "MAC",
            "P2PID",
            "RUNNINGTIME",
            "NETCARD",
            "IDS_STR_CLOUDGROP_TIP",
            "UUID"};
}

QStringList DeviceRowCells(const SearchAnswer& a) {
    return {Text(a.network.ipAddress),
            QString::number(static_cast<uint32_t>(a.streamAccess.webPort)),
            ModelText(a.deviceType),
            Text(a.osdText),
            QString(),
            Text(a.version),
            QString(),
            a.network.allNet >= 1 ? QStringLiteral("enable") : QStringLiteral("close"),
            Text(a.serialNumber).toUpper(),
            Text(a.network.netmask),
            Text(a.network.macAddress),
            Text(a.p2pId),
            RunningTimeText(a.runningTime),
            Text(a.adapterAddress).toUpper(),
            P2pStatusText(a.p2pStatus),
            Text(a.uuid)};
}

QByteArray FormatTable(const std::vector<SearchAnswer>& answers) {
    std::vector<QStringList> rows{DeviceColumnKeys()};
    for (const SearchAnswer& a : answers)
        rows.push_back(DeviceRowCells(a));
    std::vector<qsizetype> widths(rows.front().size(), 0);
    for (const QStringList& row : rows)
        for (qsizetype c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    QString out;
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype c = 0; c < row.size(); ++c)
            line += row[c].leftJustified(widths[c] + 2);
        out += line.trimmed() + '\n';
    }
    return out.toUtf8();
}

QByteArray FormatJson(const std::vector<SearchAnswer>& answers) {
    QJsonArray array;
    for (const SearchAnswer& a : answers)
        array.append(JsonObject(a));
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

}  // namespace camfleet::cli
