#pragma once
// The texts of the device list's columns, made from one discovery answer. The window's
// list, the CLI's table and the exports all use these, so a camera reads the same everywhere.

#include <QString>
#include <QStringList>

#include "discovery/search_answer.h"

namespace camfleet {

// Columns of the device list, in order.
enum DeviceColumn : int {
    kColumnIp = 0,
    kColumnHttpPort,
    kColumnModel,
    kColumnTitle,
    kColumnPreview,
    kColumnVersion,
    kColumnState,
    kColumnAllNet,
    kColumnSerial,
    kColumnNetmask,
    kColumnMac,
    kColumnP2pId,
    kColumnRunningTime,
    kColumnNetcard,
    kColumnCloud,
    kColumnUuid,
    kDeviceColumnCount
};

// Header display key of each column (e.g. "IP", "HTTP_PORT", ...).
const char* DeviceColumnKey(int column);
// Header texts of all sixteen columns in the current language.
QStringList DeviceColumnHeaders();

// Model column: every "DIR-OVADU-" removed, then cut before the first "_V".
QString ModelText(const char* deviceType);
// Running-time column: "%d %s " for days, hours, minutes and seconds that are 1 or more,
// with the display strings "DAY", "HOUR", "MIN", "SEC"; empty below 1 second.
QString RunningTimeText(int seconds);

// The cells an answer fills: every column but preview, version and state (left empty).
// The cloud column is empty when the P2P status is absent (negative).
QStringList DeviceRowCells(const SearchAnswer& answer);

}  // namespace camfleet
