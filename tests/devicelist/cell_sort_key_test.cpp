// Sorting reads each cell once: the locale date-time reading, the dearest step of the typed
// comparison, is made at most once per cell and sort, and only for cells that reach it.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QLocale>

#include <cstring>
#include <memory>

#include "device/xml_messages.h"
#include "devicelist/device_list_model.h"

namespace camfleet {
namespace {

constexpr int kRows = 200;

std::unique_ptr<DeviceRecord> NumberedRecord(int i) {
    auto r = std::make_unique<DeviceRecord>();
    std::memset(r.get(), 0, sizeof *r);
    r->answer = EmptySearchAnswer();
    // Serial numbers in a scrambled order, so that every sort has work to do.
    std::snprintf(r->answer.serialNumber, sizeof r->answer.serialNumber, "%08X",
                  static_cast<unsigned>(i * 7919 % kRows));
    std::snprintf(r->answer.network.ipAddress, sizeof r->answer.network.ipAddress, "10.0.%d.%d",
                  i * 37 % 7, i * 13 % 251);
    std::snprintf(r->answer.deviceType, sizeof r->answer.deviceType, "IPC-%c", 'A' + i * 11 % 26);
    std::strcpy(r->key, r->answer.serialNumber);
    return r;
}

TEST(CellSortKey, SortingReadsEveryCellAtMostOnce) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    DeviceListModel model;
    for (int i = 0; i < kRows; ++i)
        model.AppendRow(NumberedRecord(i));
    const QDateTime first(QDate(2024, 3, 1), QTime(8, 0));
    for (int i = 0; i < kRows; ++i)
        model.SetCellText(
            i, kColumnState,
            QLocale().toString(first.addSecs(i * 7919 % kRows * 60), QLocale::ShortFormat));
    const struct {
        const char* name;
        int column;
        int64_t maxReads;
    } cases[] = {
        {"hexadecimal cells never reach the date-time rule", kColumnSerial, 0},
        {"texts without a digit are no date-times", kColumnModel, 0},
        {"dotted quads are read once each", kColumnIp, kRows},
        {"date-times are read once each", kColumnState, kRows},
    };
    for (const auto& c : cases) {
        for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            const int64_t before = LocaleDateTimeReads();
            model.sort(c.column, order);
            EXPECT_LE(LocaleDateTimeReads() - before, c.maxReads) << c.name;
            for (int row = 1; row < kRows; ++row) {
                const int sign =
                    CompareCells(model.CellText(row - 1, c.column), model.CellText(row, c.column));
                EXPECT_TRUE(order == Qt::AscendingOrder ? sign <= 0 : sign >= 0)
                    << c.name << ", row " << row;
            }
        }
    }
    // The date-time column really sorted by time, not as text ("10:00 AM" < "9:00 AM").
    model.sort(kColumnState, Qt::AscendingOrder);
    EXPECT_EQ(model.CellText(0, kColumnState), QLocale().toString(first, QLocale::ShortFormat));
    QLocale::setDefault(QLocale::system());
}

}  // namespace
}  // namespace camfleet
