#include "devicelist/device_row_text.h"

#include "resources/display_strings.h"

namespace camfleet {
namespace {

constexpr const char* kColumnKeys[kDeviceColumnCount] = {DisplayKey("IP"),
                                                         DisplayKey("HTTP_PORT"),
                                                         DisplayKey("MODEL"),
                                                         DisplayKey("TEXT9"),
                                                         DisplayKey("PREVIEW"),
                                                         DisplayKey("VERSIONNUMBER"),
                                                         DisplayKey("STATE"),
                                                         DisplayKey("IDS_STR_ONVIF_ALLNET"),
                                                         DisplayKey("SN"),
                                                         DisplayKey("NETMASK"),
                                                         DisplayKey("MAC"),
                                                         DisplayKey("P2PID"),
                                                         DisplayKey("RUNNINGTIME"),
                                                         DisplayKey("NETCARD"),
                                                         DisplayKey("IDS_STR_CLOUDGROP_TIP"),
                                                         DisplayKey("UUID")};

QString Text(const char* field) {
    return QString::fromUtf8(field);
}

}  // namespace

const char* DeviceColumnKey(int column) {
    return column >= 0 && column < kDeviceColumnCount ? kColumnKeys[column] : "";
}

QStringList DeviceColumnHeaders() {
    QStringList headers;
    for (const char* key : kColumnKeys)
        headers << GetDisplayString(key);
    return headers;
}

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
    const char* units[] = {DisplayKey("DAY"), DisplayKey("HOUR"), DisplayKey("MIN"),
                           DisplayKey("SEC")};
    QString text;
    for (int i = 0; i < 4; ++i)
        if (parts[i] >= 1)
            text += QStringLiteral("%1 %2 ").arg(parts[i]).arg(GetDisplayString(units[i]));
    return text;
}

QStringList DeviceRowCells(const SearchAnswer& a) {
    QStringList cells;
    cells.reserve(kDeviceColumnCount);
    const QString cloud = a.p2pStatus < 0    ? QString()
                          : a.p2pStatus >= 1 ? GetDisplayString("IDS_STR_ONLINE")
                                             : GetDisplayString("IDS_STR_OFFLINE");
    cells << Text(a.network.ipAddress)
          << QString::number(static_cast<uint32_t>(a.streamAccess.webPort))
          << ModelText(a.deviceType) << Text(a.osdText) << QString() << QString() << QString()
          << (a.network.allNet >= 1 ? GetDisplayString("ENABLE") : GetDisplayString("STRING_CLOSE"))
          << Text(a.serialNumber).toUpper() << Text(a.network.netmask) << Text(a.network.macAddress)
          << Text(a.p2pId) << RunningTimeText(a.runningTime) << Text(a.adapterAddress).toUpper()
          << cloud << Text(a.uuid);
    return cells;
}

}  // namespace camfleet
