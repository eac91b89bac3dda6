#pragma once
// Output of `camfleet-cli search`: the device-list columns as a text table, or JSON
// objects keyed like the XML device-list export.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

#include "discovery/search_answer.h"

namespace camfleet::cli {

// The sixteen cell texts of one device-list row, in column order. Display strings are not
// loaded here, so key-valued cells show their English meaning.
QStringList DeviceRowCells(const SearchAnswer& answer);
// Header of the sixteen columns (the display keys of the device list).
QStringList DeviceColumnKeys();

// Model column: every "DIR-OVADU-" removed, then cut before the first "_V".
QString ModelText(const char* deviceType);
// Running-time column: "1 day 1 hour 1 min 1 sec "; empty below 1 second.
QString RunningTimeText(int seconds);

QByteArray FormatTable(const std::vector<SearchAnswer>& answers);
QByteArray FormatJson(const std::vector<SearchAnswer>& answers);

}  // namespace camfleet::cli
