// The device list model: typed sorting, check boxes, colours, key and handle lookup.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QLocale>

#include <cstring>
#include <memory>

#include "device/xml_messages.h"
#include "devicelist/device_list_model.h"
#include "resources/display_strings.h"

namespace camfleet {
namespace {

int Sign(int v) {
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

std::unique_ptr<DeviceRecord> Record(const char* serial, const char* ip = "192.168.1.10") {
    auto r = std::make_unique<DeviceRecord>();
    std::memset(r.get(), 0, sizeof *r);
    r->answer = EmptySearchAnswer();
    CopyField(r->answer.serialNumber, serial);
    CopyField(r->answer.network.ipAddress, ip);
    CopyField(r->key, serial);
    return r;
}

TEST(CompareCells, TypedComparisonInItsOrder) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QString date1 =
        QLocale().toString(QDateTime(QDate(2024, 1, 2), QTime(10, 0)), QLocale::ShortFormat);
    const QString date2 =
        QLocale().toString(QDateTime(QDate(2023, 12, 30), QTime(9, 0)), QLocale::ShortFormat);
    const struct {
        const char* name;
        QString a, b;
        int expected;
    } cases[] = {
        {"hex by value", "FF", "1A0", -1},
        {"hex ignores case", "abc", "ABC", 0},
        {"hex leading zeros", "000F", "F", 0},
        {"hex longer than 64 bits", "1FFFFFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", 1},
        {"digits are hex too", "10", "9", 1},
        {"decimal fraction", "1.5", "10.25", -1},
        {"decimal percent", "9%", "10%", -1},
        {"negative decimal", "-3", "2.5", -1},
        {"date-time in the locale", date1, date2, 1},
        {"digits alone are no date-time", "2024", date1, 1},
        {"date-time against text", date1, "Kamera", -1},
        {"dotted quad", "192.168.1.9", "192.168.1.10", -1},
        {"dotted quad by octets", "10.0.0.1", "9.255.255.255", 1},
        {"dotted quad wide parts", "1.0.0.300", "1.0.1.0", 1},
        {"text case-sensitive", "Zeta", "alpha", -1},
        {"text equal", "Kamera 1", "Kamera 1", 0},
        {"hex against text", "ABC", "ABX", -1},
        {"empty against text", "", "a", -1},
        {"empty against empty", "", "", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Sign(CompareCells(c.a, c.b)), c.expected) << c.name;
        EXPECT_EQ(Sign(CompareCells(c.b, c.a)), -c.expected) << c.name << " (swapped)";
    }
    QLocale::setDefault(QLocale::system());
}

TEST(CompareCells, HeaderClickToggle) {
    EXPECT_EQ(SortOrderAfterClick(3, 2, Qt::AscendingOrder), Qt::AscendingOrder);
    EXPECT_EQ(SortOrderAfterClick(3, 3, Qt::AscendingOrder), Qt::DescendingOrder);
    EXPECT_EQ(SortOrderAfterClick(3, 3, Qt::DescendingOrder), Qt::AscendingOrder);
    EXPECT_EQ(SortOrderAfterClick(0, -1, Qt::DescendingOrder), Qt::AscendingOrder);
}

TEST(DeviceListModel, SortingKeepsRecordsKeysAndChecksWithTheirRows) {
    DeviceListModel model;
    model.AppendRow(Record("1A", "192.168.1.10"));
    model.AppendRow(Record("FF", "192.168.1.9"));
    model.AppendRow(Record("9", "192.168.1.100"));
    model.SetChecked(1, true);
    model.SetLoginHandle(1, 42);

    model.sort(kColumnSerial, Qt::AscendingOrder);  // hex by value: 9, 1A, FF
    EXPECT_EQ(model.CellText(0, kColumnSerial), "9");
    EXPECT_EQ(model.CellText(2, kColumnSerial), "FF");
    EXPECT_STREQ(model.Record(2)->key, "FF");
    EXPECT_TRUE(model.IsChecked(2));
    EXPECT_EQ(model.FindRowByKey("FF"), 2);
    EXPECT_EQ(model.FindRowByHandle(42), 2);

    model.sort(kColumnIp, Qt::DescendingOrder);  // dotted quads: .100, .10, .9
    EXPECT_EQ(model.CellText(0, kColumnIp), "192.168.1.100");
    EXPECT_EQ(model.CellText(2, kColumnIp), "192.168.1.9");
    EXPECT_EQ(model.FindRowByHandle(42), 2);

    // A new row after a sort goes to the end.
    EXPECT_EQ(model.AppendRow(Record("00")), 3);
    EXPECT_EQ(model.FindRowByKey("00"), 3);
}

TEST(DeviceListModel, KeysAreExactAndTheFirstRowWins) {
    DeviceListModel model;
    model.AppendRow(Record("abc"));
    model.AppendRow(Record("ABC"));
    model.AppendRow(Record("abc"));  // a second row with a key (never made by the merge)
    EXPECT_EQ(model.FindRowByKey("abc"), 0);
    EXPECT_EQ(model.FindRowByKey("ABC"), 1);
    EXPECT_EQ(model.FindRowByKey("Abc"), -1);
    EXPECT_EQ(model.FindRowByKey(nullptr), -1);

    model.SetLoginHandle(0, 5);
    model.SetLoginHandle(2, 5);
    EXPECT_EQ(model.FindRowByHandle(5), 0);
    model.SetLoginHandle(0, 0);  // the handle moves on to the next row that has it
    EXPECT_EQ(model.FindRowByHandle(5), 2);
    EXPECT_EQ(model.FindRowByHandle(0), -1);
    EXPECT_EQ(model.FindRowByHandle(-1), -1);
}

TEST(DeviceListModel, CheckStateColoursAndStatusLine) {
    DeviceListModel model;
    for (const char* serial : {"A1", "A2", "A3"})
        model.AppendRow(Record(serial));
    const QModelIndex first = model.index(0, 0);
    EXPECT_TRUE(model.flags(first) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(model.flags(model.index(0, 1)) & Qt::ItemIsUserCheckable);
    EXPECT_TRUE(model.setData(first, Qt::Checked, Qt::CheckStateRole));
    EXPECT_FALSE(model.setData(model.index(0, 2), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(model.data(first, Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_FALSE(model.data(model.index(0, 2), Qt::CheckStateRole).isValid());
    model.SetChecked(0, true);  // no double count
    EXPECT_EQ(model.CheckedCount(), 1);
    model.SetAllChecked(true);
    EXPECT_EQ(model.CheckedCount(), 3);
    model.SetChecked(1, false);
    EXPECT_EQ(model.CheckedCount(), 2);

    const QString line = model.StatusLine(false);
    EXPECT_EQ(line,
              GetDisplayString("STR_TOTAL") + ":3 " + GetDisplayString("STR_SELECTED") + ":2 ");
    EXPECT_TRUE(model.StatusLine(true).startsWith(GetDisplayString("CStorePlayBack_tip_searching") +
                                                  GetDisplayString("STR_TOTAL")));

    EXPECT_FALSE(model.data(model.index(1, 6), Qt::BackgroundRole).isValid());
    model.SetCellColors(1, 6, 0xFFFF0000u, 0xFF00FF00u);
    EXPECT_EQ(model.data(model.index(1, 6), Qt::ForegroundRole).toUInt(), 0xFFFF0000u);
    EXPECT_EQ(model.data(model.index(1, 6), Qt::BackgroundRole).toUInt(), 0xFF00FF00u);
    model.SetRowColors(2, 0xFF000000u, 0xFF112233u);
    EXPECT_EQ(model.data(model.index(2, 15), Qt::BackgroundRole).toUInt(), 0xFF112233u);
    EXPECT_EQ(model.Record(2)->rowColor, 0xFF112233u);

    model.Clear();
    EXPECT_EQ(model.Count(), 0);
    EXPECT_EQ(model.CheckedCount(), 0);
    EXPECT_EQ(model.FindRowByKey("A1"), -1);
}

TEST(DeviceListModel, RetranslateShowsKeyedCellsAgainAndKeepsOwnTexts) {
    ASSERT_FALSE(GetDisplayString("MSGTIP1").isEmpty()) << "the strings files beside the test";
    DeviceListModel model;
    model.AppendRow(Record("B2"));
    model.AppendRow(Record("A1"));
    model.SetStateKey(0, DisplayKey("MSGTIP1"));
    model.SetCellKey(1, kColumnVersion, DisplayKey("MSGTIP34"));
    model.SetStateKey(1, DisplayKey("MSGTIP4"));
    model.SetStateText(1, "Uploading: 50%");  // a text of its own replaces the key
    EXPECT_EQ(model.CellText(0, kColumnState), GetDisplayString("MSGTIP1"));
    model.sort(kColumnSerial);  // keys move with their rows
    ASSERT_EQ(model.FindRowByKey("B2"), 1);

    int headerChanges = 0;
    QObject::connect(
        &model, &QAbstractItemModel::headerDataChanged,
        [&headerChanges](Qt::Orientation orientation, int first, int last) {
            if (orientation == Qt::Horizontal && first == 0 && last == kDeviceColumnCount - 1)
                ++headerChanges;
        });
    model.SetCellText(1, kColumnAllNet, "stale");
    model.RetranslateTexts();
    EXPECT_EQ(headerChanges, 1);
    EXPECT_EQ(model.CellText(1, kColumnState), GetDisplayString("MSGTIP1"));
    EXPECT_EQ(model.CellText(0, kColumnState), "Uploading: 50%");
    EXPECT_EQ(model.CellText(0, kColumnVersion), GetDisplayString("MSGTIP34"));
    // The on/off column comes again from the row's answer.
    EXPECT_EQ(model.CellText(1, kColumnAllNet), GetDisplayString("STRING_CLOSE"));
    model.SetStateKey(1, nullptr);
    model.RetranslateTexts();
    EXPECT_EQ(model.CellText(1, kColumnState), QString());
}

TEST(DeviceListModel, FillLeavesVersionStateAndPreview) {
    DeviceListModel model;
    model.AppendRow(Record("S1", "10.0.0.1"));
    model.SetVersionText(0, "V1");
    model.SetStateText(0, "busy");
    SearchAnswer moved = model.Record(0)->answer;
    CopyField(moved.network.ipAddress, "10.0.0.2");
    model.FillDeviceRow(0, moved);
    EXPECT_EQ(model.CellText(0, kColumnIp), "10.0.0.2");
    EXPECT_EQ(model.CellText(0, kColumnVersion), "V1");
    EXPECT_EQ(model.CellText(0, kColumnState), "busy");
    EXPECT_EQ(model.columnCount(), kDeviceColumnCount);
    EXPECT_EQ(model.headerData(kColumnState, Qt::Horizontal, Qt::DisplayRole).toString(),
              GetDisplayString("STATE"));
    EXPECT_EQ(model.Record(7), nullptr);
    EXPECT_EQ(model.CellText(7, 0), QString());
}

TEST(DeviceListModel, AnAnswerWithoutP2pStatusKeepsTheStatusShown) {
    DeviceListModel model;
    model.AppendRow(Record("S1"));
    SearchAnswer a = model.Record(0)->answer;
    a.p2pStatus = 1;
    model.FillDeviceRow(0, a);
    EXPECT_EQ(model.CellText(0, kColumnCloud), GetDisplayString("IDS_STR_ONLINE"));
    a.p2pStatus = -1;  // absent from this answer
    model.FillDeviceRow(0, a);
    EXPECT_EQ(model.CellText(0, kColumnCloud), GetDisplayString("IDS_STR_ONLINE"));
    model.Record(0)->answer = a;
    model.RetranslateTexts();
    EXPECT_EQ(model.CellText(0, kColumnCloud), GetDisplayString("IDS_STR_ONLINE"))
        << "a language switch shows the kept status in the new language";
    a.p2pStatus = 0;
    model.FillDeviceRow(0, a);
    EXPECT_EQ(model.CellText(0, kColumnCloud), GetDisplayString("IDS_STR_OFFLINE"));
}

}  // namespace
}  // namespace camfleet
