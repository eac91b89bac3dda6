#pragma once
// Output of `camfleet-cli search`: the device-list columns as a text table (cells in the
// current display language, "-" for an empty cell), or JSON
// objects keyed like the XML device-list export.

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <vector>

#include "devicelist/device_list_model.h"
#include "devicelist/device_row_text.h"
#include "discovery/search_answer.h"

namespace camfleet::cli {

QByteArray FormatTable(const std::vector<SearchAnswer>& answers);
QByteArray FormatJson(const std::vector<SearchAnswer>& answers);

// A text table of the device-list columns: the header texts, then one line per row of cells.
QByteArray FormatCellTable(const std::vector<QStringList>& rows);
// The device list as `list` prints it: a text table of the columns, or with `json` a JSON
// array of the answers' objects with STATE, LOGGEDIN and the version.
QByteArray FormatList(const DeviceListModel& model, bool json);
// One camera's outcome of a command: "SERIAL ok|failed STATE[ FILE]", or with `json` an object
// with SERIAL, RESULT, STATE (and FILE when there is one), on stdout.
void PrintCameraOutcome(bool json, const char* serial, bool ok, const QString& state,
                        const QString& file = {});

// The JSON object of one answer.
QJsonObject AnswerJson(const SearchAnswer& answer);

}  // namespace camfleet::cli
