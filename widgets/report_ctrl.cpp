#include "widgets/report_ctrl.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <utility>

#include "devicelist/device_list_model.h"

namespace camfleet {

CReportCtrl::CReportCtrl(QWidget* parent) : QTableView(parent), proxy_(this) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setShowGrid(true);
    setAlternatingRowColors(false);
    setWordWrap(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setMouseTracking(true);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setSortIndicatorShown(false);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Sorting follows the list's own toggle rule, not the header's.
    setSortingEnabled(false);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this,
            &CReportCtrl::SortByHeaderClick);
    setModel(&proxy_);
}

void CReportCtrl::SetDeviceModel(QAbstractItemModel* source) {
    proxy_.setSourceModel(source);
    ForgetSortOrder();
    // An emptied list (a new search) is no longer sorted.
    const auto forgetWhenEmpty = [this] {
        if (proxy_.sourceModel() && proxy_.sourceModel()->rowCount() == 0)
            ForgetSortOrder();
    };
    connect(source, &QAbstractItemModel::rowsRemoved, this, forgetWhenEmpty);
    connect(source, &QAbstractItemModel::modelReset, this, forgetWhenEmpty);
    // Header texts in another language may be wider: their columns grow to keep them legible.
    connect(source, &QAbstractItemModel::headerDataChanged, this,
            [this](Qt::Orientation orientation, int first, int last) {
                if (orientation == Qt::Horizontal)
                    FitHeaderTexts(first, last);
            });
    connect(source, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int) {
                if (firstUnfittedRow_ < 0)
                    QTimer::singleShot(0, this, &CReportCtrl::FitNewRows);
                if (firstUnfittedRow_ < 0 || first < firstUnfittedRow_)
                    firstUnfittedRow_ = first;
            });
}

void CReportCtrl::FitNewRows() {
    const QAbstractItemModel* source = proxy_.sourceModel();
    const int first = std::exchange(firstUnfittedRow_, -1);
    if (source == nullptr || first < 0)
        return;
    const QFontMetrics metrics = fontMetrics();
    // Cell padding, and room for the check box in front of the first column.
    const int padding = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 8;
    const int checkBox = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this) + 8;
    for (int column = 0; column < source->columnCount(); ++column) {
        if (isColumnHidden(column))
            continue;
        int wanted = columnWidth(column);
        for (int row = first; row < source->rowCount(); ++row) {
            const QString text = source->index(row, column).data().toString();
            wanted = std::max(
                wanted, metrics.horizontalAdvance(text) + padding + (column == 0 ? checkBox : 0));
        }
        wanted = std::min(wanted, kMaxFittedColumnWidth);
        if (wanted > columnWidth(column))
            setColumnWidth(column, wanted);
    }
}

void CReportCtrl::FitHeaderTexts(int first, int last) {
    for (int column = std::max(first, 0); column <= last && column < horizontalHeader()->count();
         ++column) {
        const int wanted = horizontalHeader()->sectionSizeHint(column);
        if (!isColumnHidden(column) && columnWidth(column) < wanted)
            setColumnWidth(column, wanted);
    }
}

void CReportCtrl::ForgetSortOrder() {
    sortColumn_ = -1;
    sortOrder_ = Qt::AscendingOrder;
    horizontalHeader()->setSortIndicatorShown(false);
}

void CReportCtrl::SetColumnWidths(const DeviceColumnWidths& widths) {
    for (int column = 0; column < int(widths.size()); ++column) {
        setColumnHidden(column, widths[column] == 0);
        // A header text wider than its column widens the column so the header stays legible.
        if (widths[column] > 0)
            setColumnWidth(column,
                           std::max(widths[column], horizontalHeader()->sectionSizeHint(column)));
    }
}

void CReportCtrl::SortByHeaderClick(int column) {
    sortOrder_ = SortOrderAfterClick(column, sortColumn_, sortOrder_);
    sortColumn_ = column;
    // The model itself is reordered, so the rows batch operations walk are the rows shown.
    if (QAbstractItemModel* source = proxy_.sourceModel())
        source->sort(column, sortOrder_);
    horizontalHeader()->setSortIndicatorShown(true);
    horizontalHeader()->setSortIndicator(column, sortOrder_);
}

int CReportCtrl::SourceRowAt(int viewRow) const {
    if (viewRow < 0 || viewRow >= proxy_.rowCount())
        return -1;
    return proxy_.mapToSource(proxy_.index(viewRow, 0)).row();
}

int CReportCtrl::FirstSelectedRow() const {
    int first = -1;
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        if (first < 0 || index.row() < first)
            first = index.row();
    }
    return SourceRowAt(first);
}

QRect CReportCtrl::RowRect(int sourceRow) const {
    if (!proxy_.sourceModel() || sourceRow < 0)
        return {};
    const QModelIndex index = proxy_.mapFromSource(proxy_.sourceModel()->index(sourceRow, 0));
    if (!index.isValid())
        return {};
    const int y = rowViewportPosition(index.row());
    return QRect(0, y, viewport()->width(), rowHeight(index.row()));
}

void CReportCtrl::mouseMoveEvent(QMouseEvent* event) {
    SetHoveredRow(SourceRowAt(rowAt(event->position().toPoint().y())));
    QTableView::mouseMoveEvent(event);
}

void CReportCtrl::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && !indexAt(event->position().toPoint()).isValid())
        emit clickedOutsideRows();
    QTableView::mousePressEvent(event);
}

void CReportCtrl::leaveEvent(QEvent* event) {
    SetHoveredRow(-1);
    QTableView::leaveEvent(event);
}

void CReportCtrl::SetHoveredRow(int sourceRow) {
    if (sourceRow == hoveredRow_)
        return;
    hoveredRow_ = sourceRow;
    emit hoveredRowChanged(sourceRow);
}

}  // namespace camfleet
