#include "devicelist/device_list_model.h"

#include <algorithm>
#include <cstring>

#include "resources/display_strings.h"

namespace camfleet {

namespace {

// Key of the P2P status an answer reports; null when it reports none (negative).
const char* CloudKey(const SearchAnswer& answer) {
    if (answer.p2pStatus < 0)
        return nullptr;
    return answer.p2pStatus >= 1 ? DisplayKey("IDS_STR_ONLINE") : DisplayKey("IDS_STR_OFFLINE");
}

QVariant ColorVariant(CellColor color) {
    return (color >> 24) == 0 ? QVariant() : QVariant(static_cast<uint>(color));
}

}  // namespace

Qt::SortOrder SortOrderAfterClick(int column, int currentColumn, Qt::SortOrder currentOrder) {
    if (column != currentColumn || currentOrder == Qt::DescendingOrder)
        return Qt::AscendingOrder;
    return Qt::DescendingOrder;
}

DeviceListModel::DeviceListModel(QObject* parent) : QAbstractTableModel(parent) {}

DeviceListModel::~DeviceListModel() = default;

int DeviceListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

int DeviceListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kDeviceColumnCount;
}

QVariant DeviceListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !ValidRow(index.row()) || index.column() >= kDeviceColumnCount)
        return {};
    const Row& r = rows_[static_cast<std::size_t>(index.row())];
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
            return r.cells[column];
        case Qt::CheckStateRole:
            if (column == 0)
                return r.checked ? Qt::Checked : Qt::Unchecked;
            return {};
        case Qt::ForegroundRole:
            return ColorVariant(r.textColors[static_cast<std::size_t>(column)]);
        case Qt::BackgroundRole:
            return ColorVariant(r.backgroundColors[static_cast<std::size_t>(column)]);
        default:
            return {};
    }
}

bool DeviceListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || !ValidRow(index.row()) || index.column() != 0 ||
        role != Qt::CheckStateRole)
        return false;
    SetChecked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

QVariant DeviceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kDeviceColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return GetDisplayString(DeviceColumnKey(section));
}

Qt::ItemFlags DeviceListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == 0)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

void DeviceListModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= kDeviceColumnCount || rows_.size() < 2)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::size_t> permutation(rows_.size());
    for (std::size_t i = 0; i < permutation.size(); ++i)
        permutation[i] = i;
    std::vector<CellSortKey> keys;
    keys.reserve(rows_.size());
    for (const Row& r : rows_)
        keys.emplace_back(r.cells[column]);
    std::stable_sort(permutation.begin(), permutation.end(), [&](std::size_t x, std::size_t y) {
        const int c = CompareSortKeys(keys[x], keys[y]);
        return order == Qt::AscendingOrder ? c < 0 : c > 0;
    });
    std::vector<Row> sorted;
    sorted.reserve(rows_.size());
    std::vector<int> newRowOf(rows_.size());
    for (std::size_t i = 0; i < permutation.size(); ++i) {
        newRowOf[permutation[i]] = static_cast<int>(i);
        sorted.push_back(std::move(rows_[permutation[i]]));
    }
    rows_ = std::move(sorted);
    QModelIndexList after;
    for (const QModelIndex& i : before)
        after.append(index(newRowOf[static_cast<std::size_t>(i.row())], i.column()));
    changePersistentIndexList(before, after);
    RebuildIndexes();
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int DeviceListModel::AppendRow(std::unique_ptr<DeviceRecord> record) {
    const int row = Count();
    beginInsertRows({}, row, row);
    Row r;
    r.record = std::move(record);
    r.cells = DeviceRowCells(r.record->answer);
    r.cellKeys[kColumnCloud] = CloudKey(r.record->answer);
    // A record that comes logged in (made elsewhere, or in tests) starts so.
    r.state->login = r.record->loggedIn != 0 ? LoginState::kLoggedIn : LoginState::kNone;
    const QByteArray key(r.record->key, static_cast<qsizetype>(strnlen(r.record->key, 64)));
    keyRows_.insert(key, keyRows_.value(key, row));
    if (r.record->loginHandle > 0 && !handleRows_.contains(r.record->loginHandle))
        handleRows_.insert(r.record->loginHandle, row);
    rows_.push_back(std::move(r));
    endInsertRows();
    return row;
}

void DeviceListModel::Clear() {
    if (rows_.empty())
        return;
    beginResetModel();
    rows_.clear();
    keyRows_.clear();
    handleRows_.clear();
    checkedCount_ = 0;
    endResetModel();
}

DeviceRecord* DeviceListModel::Record(int row) {
    return ValidRow(row) ? rows_[static_cast<std::size_t>(row)].record.get() : nullptr;
}

const DeviceRecord* DeviceListModel::Record(int row) const {
    return ValidRow(row) ? rows_[static_cast<std::size_t>(row)].record.get() : nullptr;
}

int DeviceListModel::FindRowByKey(const char* key) const {
    if (key == nullptr)
        return -1;
    return keyRows_.value(QByteArray(key, static_cast<qsizetype>(strnlen(key, 64))), -1);
}

int DeviceListModel::FindRowByHandle(int handle) const {
    return handle > 0 ? handleRows_.value(handle, -1) : -1;
}

void DeviceListModel::SetLoginHandle(int row, int handle) {
    DeviceRecord* record = Record(row);
    if (record == nullptr || record->loginHandle == handle)
        return;
    const int old = record->loginHandle;
    record->loginHandle = handle;
    if (old > 0 && handleRows_.value(old, -1) == row) {
        // Another row may share the old handle (never in practice): find the next one.
        handleRows_.remove(old);
        for (int i = 0; i < Count(); ++i)
            if (rows_[static_cast<std::size_t>(i)].record->loginHandle == old) {
                handleRows_.insert(old, i);
                break;
            }
    }
    if (handle > 0) {
        const int current = handleRows_.value(handle, -1);
        if (current < 0 || current > row)
            handleRows_.insert(handle, row);
    }
}

const RowState* DeviceListModel::State(int row) const {
    return ValidRow(row) ? rows_[static_cast<std::size_t>(row)].state.get() : nullptr;
}

void DeviceListModel::SetLoginState(int row, LoginState state) {
    if (!ValidRow(row))
        return;
    Row& r = rows_[static_cast<std::size_t>(row)];
    r.state->login = state;
    r.record->loggedIn = state == LoginState::kLoggedIn ? 1 : 0;
    if (state != LoginState::kLoggedIn)
        r.state->followUp = FollowUpState::kNotStarted;
}

void DeviceListModel::SetLoginState(int row, LoginState state, const char* key) {
    SetLoginState(row, state);
    SetStateKey(row, key);
}

void DeviceListModel::SetFollowUpState(int row, FollowUpState state) {
    if (!ValidRow(row))
        return;
    rows_[static_cast<std::size_t>(row)].state->followUp = state;
    if (state == FollowUpState::kFailed)
        SetCellKey(row, kColumnVersion, DisplayKey("MSGTIP34"));
}

void DeviceListModel::SetJobState(int row, OperationKind kind, const JobState& job) {
    if (!ValidRow(row) || kind >= OperationKind::kCount)
        return;
    rows_[static_cast<std::size_t>(row)].state->Job(kind) = job;
    if (job.key == nullptr)
        return;
    if (job.phase == JobPhase::kRunning && job.percent >= 0)
        SetStateText(row, JobStateText(job));  // a progress text is composed, not keyed
    else
        SetStateKey(row, job.key);
}

void DeviceListModel::RebuildIndexes() {
    keyRows_.clear();
    handleRows_.clear();
    for (int i = 0; i < Count(); ++i) {
        const DeviceRecord& d = *rows_[static_cast<std::size_t>(i)].record;
        const QByteArray key(d.key, static_cast<qsizetype>(strnlen(d.key, 64)));
        if (!keyRows_.contains(key))
            keyRows_.insert(key, i);
        if (d.loginHandle > 0 && !handleRows_.contains(d.loginHandle))
            handleRows_.insert(d.loginHandle, i);
    }
}

void DeviceListModel::FillDeviceRow(int row, const SearchAnswer& answer) {
    if (!ValidRow(row))
        return;
    Row& r = rows_[static_cast<std::size_t>(row)];
    const QStringList cells = DeviceRowCells(answer);
    // An answer without a P2P status leaves the status shown before (and its key).
    const bool keepCloud = CloudKey(answer) == nullptr;
    for (int c = 0; c < kDeviceColumnCount; ++c)
        if (c != kColumnPreview && c != kColumnVersion && c != kColumnState &&
            !(c == kColumnCloud && keepCloud))
            r.cells[c] = cells[c];
    if (!keepCloud)
        r.cellKeys[kColumnCloud] = CloudKey(answer);
    emit dataChanged(index(row, 0), index(row, kDeviceColumnCount - 1), {Qt::DisplayRole});
}

QString DeviceListModel::CellText(int row, int column) const {
    if (!ValidRow(row) || column < 0 || column >= kDeviceColumnCount)
        return {};
    return rows_[static_cast<std::size_t>(row)].cells[column];
}

void DeviceListModel::SetCellText(int row, int column, const QString& text) {
    if (!ValidRow(row) || column < 0 || column >= kDeviceColumnCount)
        return;
    Row& r = rows_[static_cast<std::size_t>(row)];
    r.cells[column] = text;
    r.cellKeys[static_cast<std::size_t>(column)] = nullptr;
    const QModelIndex i = index(row, column);
    emit dataChanged(i, i, {Qt::DisplayRole});
}

void DeviceListModel::SetCellKey(int row, int column, const char* key) {
    SetCellText(row, column, key != nullptr ? GetDisplayString(key) : QString());
    if (ValidRow(row) && column >= 0 && column < kDeviceColumnCount)
        rows_[static_cast<std::size_t>(row)].cellKeys[static_cast<std::size_t>(column)] = key;
}

void DeviceListModel::RetranslateTexts() {
    emit headerDataChanged(Qt::Horizontal, 0, kDeviceColumnCount - 1);
    if (rows_.empty())
        return;
    // Columns of the answer whose texts are display strings (the P2P status, which an answer
    // may leave out, is a keyed cell).
    constexpr int kAnswerTextColumns[] = {kColumnAllNet, kColumnRunningTime};
    for (Row& r : rows_) {
        const QStringList answerCells = DeviceRowCells(r.record->answer);
        for (int column : kAnswerTextColumns)
            r.cells[column] = answerCells[column];
        for (int column = 0; column < kDeviceColumnCount; ++column) {
            if (const char* key = r.cellKeys[static_cast<std::size_t>(column)])
                r.cells[column] = GetDisplayString(key);
        }
    }
    emit dataChanged(index(0, 0), index(Count() - 1, kDeviceColumnCount - 1), {Qt::DisplayRole});
}

void DeviceListModel::SetCellColors(int row, int column, CellColor text, CellColor background) {
    if (!ValidRow(row) || column < 0 || column >= kDeviceColumnCount)
        return;
    Row& r = rows_[static_cast<std::size_t>(row)];
    r.textColors[static_cast<std::size_t>(column)] = text;
    r.backgroundColors[static_cast<std::size_t>(column)] = background;
    const QModelIndex i = index(row, column);
    emit dataChanged(i, i, {Qt::ForegroundRole, Qt::BackgroundRole});
}

void DeviceListModel::SetRowColors(int row, CellColor text, CellColor background) {
    if (!ValidRow(row))
        return;
    Row& r = rows_[static_cast<std::size_t>(row)];
    r.textColors.fill(text);
    r.backgroundColors.fill(background);
    r.record->rowColor = background;
    emit dataChanged(index(row, 0), index(row, kDeviceColumnCount - 1),
                     {Qt::ForegroundRole, Qt::BackgroundRole});
}

bool DeviceListModel::IsChecked(int row) const {
    return ValidRow(row) && rows_[static_cast<std::size_t>(row)].checked;
}

void DeviceListModel::SetChecked(int row, bool checked) {
    if (!ValidRow(row) || rows_[static_cast<std::size_t>(row)].checked == checked)
        return;
    rows_[static_cast<std::size_t>(row)].checked = checked;
    checkedCount_ += checked ? 1 : -1;
    const QModelIndex i = index(row, 0);
    emit dataChanged(i, i, {Qt::CheckStateRole});
}

void DeviceListModel::SetAllChecked(bool checked) {
    for (int row = 0; row < Count(); ++row)
        SetChecked(row, checked);
}

int DeviceListModel::CheckedCount() const {
    return checkedCount_;
}

QString DeviceListModel::StatusLine(bool searching) const {
    QString line;
    if (searching)
        line += GetDisplayString("CStorePlayBack_tip_searching");
    line += GetDisplayString("STR_TOTAL") + QStringLiteral(":%1 ").arg(Count());
    line += GetDisplayString("STR_SELECTED") + QStringLiteral(":%1 ").arg(CheckedCount());
    return line;
}

}  // namespace camfleet
