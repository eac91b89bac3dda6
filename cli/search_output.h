#pragma once
// Output of `camfleet-cli search`: the device-list columns as a text table (cells in the
// current display language, "-" for an empty cell), or JSON
// objects keyed like the XML device-list export.

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <vector>

#include "devicelist/device_row_text.h"
#include "discovery/search_answer.h"

namespace camfleet::cli {

QByteArray FormatTable(const std::vector<SearchAnswer>& answers);
QByteArray FormatJson(const std::vector<SearchAnswer>& answers);

// A text table of the device-list columns: the header texts, then one line per row of cells.
QByteArray FormatCellTable(const std::vector<QStringList>& rows);
// The JSON object of one answer.
QJsonObject AnswerJson(const SearchAnswer& answer);

}  // namespace camfleet::cli
