#pragma once
// The device list view: a table over the core's device model (through a layer that only
// turns its colours into brushes), with full-row selection, grid lines, a check box per row
// (the model's check state of column 0) and the cell colours the model gives. A header click
// sorts the model itself, so view rows and model rows are the same; they are still called
// "source rows" outside this class.
//
// UI thread only. The view does not own the source model.

#include <QTableView>

#include "widgets/device_color_proxy.h"
#include "widgets/device_columns.h"

namespace camfleet {

class CReportCtrl : public QTableView {
    Q_OBJECT
public:
    explicit CReportCtrl(QWidget* parent = nullptr);

    // Shows `source` (the core's device model).
    void SetDeviceModel(QAbstractItemModel* source);
    QAbstractItemModel* DeviceModel() const { return proxy_.sourceModel(); }

    // Widths in pixels; 0 hides a column. A column is never narrower than its header text,
    // and it grows (up to kMaxFittedColumnWidth) when a new row's text would not fit.
    void SetColumnWidths(const DeviceColumnWidths& widths);
    static constexpr int kMaxFittedColumnWidth = 480;

    // A header click: sorts the model by `column` in the order SortOrderAfterClick gives.
    void SortByHeaderClick(int column);
    // Forgets the sort column and order (done when the list is emptied); rows stay where
    // they are, and rows added later are appended at the end.
    void ForgetSortOrder();
    int SortColumn() const { return sortColumn_; }
    Qt::SortOrder SortOrder() const { return sortOrder_; }

    // Source row of the first selected row in the order shown; -1 without a selection.
    int FirstSelectedRow() const;
    // Source row shown at view row `viewRow`; -1 when out of range.
    int SourceRowAt(int viewRow) const;
    // Rectangle of a source row in viewport coordinates (empty when not shown).
    QRect RowRect(int sourceRow) const;

signals:
    // The mouse moved onto another row (source row) or off every row (-1).
    void hoveredRowChanged(int sourceRow);
    // A left click outside every row.
    void clickedOutsideRows();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void SetHoveredRow(int sourceRow);
    // Widens visible columns to the texts of the rows added since the last fit. Runs once per
    // turn of the event loop however many rows arrived, and measures only the new rows.
    void FitNewRows();
    // Widens the visible columns `first` to `last` that are narrower than their header text.
    void FitHeaderTexts(int first, int last);

    DeviceColorProxy proxy_;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    int hoveredRow_ = -1;
    int firstUnfittedRow_ = -1;  // source row; -1 = nothing pending
};

}  // namespace camfleet
