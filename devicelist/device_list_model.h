#pragma once
// The device list: one row per listed camera, each owning its DeviceRecord, with the sixteen
// columns of the window's list, a check box per row (column 0), per-cell text and background
// colours, and typed sorting by column. The window's view attaches to this model; the list
// merge appends rows, the session tracker and the operations write the state and version
// columns through the rows' typed states.
//
// Colours are 0xAARRGGBB values (CellColor); alpha 0 means "the view's default". The core has
// no GUI types, so Qt::ForegroundRole and Qt::BackgroundRole give the value as a uint (no
// value for the default) and the window's view turns it into a brush.
//
// Thread: the owner's (UI) thread only. Rows are appended at the end and removed only all at
// once (Clear). Login handles are changed only through SetLoginHandle so the handle index
// stays true.

#include <QAbstractTableModel>
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "devicelist/cell_sort_key.h"
#include "devicelist/device_record.h"
#include "devicelist/device_row_text.h"
#include "devicelist/row_state.h"

namespace camfleet {

using CellColor = uint32_t;  // 0xAARRGGBB; alpha 0 = default

// Sort order after a click on the header of `column`: ascending for another column than the
// current one or when the current order is descending, otherwise descending.
Qt::SortOrder SortOrderAfterClick(int column, int currentColumn, Qt::SortOrder currentOrder);

class DeviceListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit DeviceListModel(QObject* parent = nullptr);
    ~DeviceListModel() override;

    // ---- QAbstractTableModel --------------------------------------------------------------
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Reorders the rows by the typed comparison of cell_sort_key.h on `column`, each cell
    // read once (stable; descending reverses the sign).
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // ---- Rows -----------------------------------------------------------------------------
    // Appends a row owning `record`, with the cells of its answer; returns the row index.
    int AppendRow(std::unique_ptr<DeviceRecord> record);
    // Deletes every row and frees every record.
    void Clear();
    int Count() const { return static_cast<int>(rows_.size()); }

    // The record of `row` (null for a row out of range). Change loginHandle only through
    // SetLoginHandle.
    DeviceRecord* Record(int row);
    const DeviceRecord* Record(int row) const;
    // First row whose key equals `key` byte for byte, or -1.
    int FindRowByKey(const char* key) const;
    // First row whose login handle is `handle` (> 0), or -1.
    int FindRowByHandle(int handle) const;
    void SetLoginHandle(int row, int handle);

    // ---- Typed state ----------------------------------------------------------------------
    // The row's session and job states (null for a row out of range). Decisions are made
    // from these; the state column's text follows from them.
    const RowState* State(int row) const;
    // The row's login state, kept in the record's logged-in flag as well; `key` (a literal,
    // or null for an empty text) is what the state column shows for the change. Without a
    // key the column stays as it is.
    void SetLoginState(int row, LoginState state);
    void SetLoginState(int row, LoginState state, const char* key);
    // The follow-up queries after a login; kFailed shows "MSGTIP34" in the version column.
    void SetFollowUpState(int row, FollowUpState state);
    // The job of operation `kind` on the row. A job with a key shows JobStateText in the
    // state column; one without leaves the column as it is.
    void SetJobState(int row, OperationKind kind, const JobState& job);

    // Writes columns 0 to 3 and 7 to 15 from `answer`; column 14 (P2P status) keeps its text
    // when the answer has no P2P status (negative).
    void FillDeviceRow(int row, const SearchAnswer& answer);

    // ---- Cells ----------------------------------------------------------------------------
    QString CellText(int row, int column) const;
    // A text of its own; the cell forgets a display key it showed.
    void SetCellText(int row, int column, const QString& text);
    void SetStateText(int row, const QString& text) { SetCellText(row, kColumnState, text); }
    void SetVersionText(int row, const QString& text) { SetCellText(row, kColumnVersion, text); }
    // The display string of `key` (a literal: the pointer is kept), shown again in the new
    // language by RetranslateTexts. A null key empties the cell.
    void SetCellKey(int row, int column, const char* key);
    void SetStateKey(int row, const char* key) { SetCellKey(row, kColumnState, key); }

    // After a language switch: the header and every cell made of display strings (cells
    // set by key, and the on/off, running-time and P2P-status columns of the answer) show
    // the current display strings. Texts composed elsewhere (alarms, progress) stay.
    void RetranslateTexts();
    // Colours as 0xAARRGGBB; alpha 0 = the view's default.
    void SetCellColors(int row, int column, CellColor text, CellColor background);
    // The whole row in one colour pair (also kept as the record's row colour).
    void SetRowColors(int row, CellColor text, CellColor background);

    bool IsChecked(int row) const;
    void SetChecked(int row, bool checked);
    void SetAllChecked(bool checked);  // the select-all box
    int CheckedCount() const;

    // ---- Status line ----------------------------------------------------------------------
    // "[searching text]" STR_TOTAL ":%d " STR_SELECTED ":%d " (ticked rows, not selected).
    QString StatusLine(bool searching) const;

private:
    struct Row {
        std::unique_ptr<DeviceRecord> record;
        QStringList cells;
        std::array<const char*, kDeviceColumnCount> cellKeys{};  // key a cell shows, or null
        std::array<CellColor, kDeviceColumnCount> textColors{};
        std::array<CellColor, kDeviceColumnCount> backgroundColors{};
        bool checked = false;
        // Apart from the row: the merge's hot loop walks the rows without it.
        std::unique_ptr<RowState> state = std::make_unique<RowState>();
    };

    bool ValidRow(int row) const { return row >= 0 && row < Count(); }
    void RebuildIndexes();

    std::vector<Row> rows_;
    QHash<QByteArray, int> keyRows_;  // key -> first row with it
    QHash<int, int> handleRows_;      // login handle -> first row with it
    int checkedCount_ = 0;
};

}  // namespace camfleet
