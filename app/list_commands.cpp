#include "app/list_commands.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>

#include "device/codes.h"
#include "devicelist/device_list_model.h"
#include "resources/display_strings.h"
#include "widgets/display_text.h"
#include "widgets/report_ctrl.h"

namespace camfleet {

DeviceListCommands::DeviceListCommands(CReportCtrl* list, DeviceListModel* model,
                                       QCheckBox* checkAll, QLabel* statusLine, QObject* parent)
    : QObject(parent),
      list_(list),
      model_(model),
      checkAll_(checkAll),
      statusLine_(statusLine),
      menu_(new QMenu(list)),
      openUrl_([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    QAction* copySerial = AddKeyedAction(menu_, DisplayKey("MENU_COPY_SERIAL"), kIdCopySerial);
    connect(copySerial, &QAction::triggered, this, &DeviceListCommands::CopySerialNumber);
    QAction* copyUuid = AddKeyedAction(menu_, DisplayKey("MENU_COPY_UUID"), kIdCopyUuid);
    connect(copyUuid, &QAction::triggered, this, &DeviceListCommands::CopyUuid);
    QAction* web = AddKeyedAction(menu_, DisplayKey("MENU_OPEN_WEB"), kIdOpenWeb);
    connect(web, &QAction::triggered, this, &DeviceListCommands::OpenWebPage);
    connect(list_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { menu_->popup(list_->viewport()->mapToGlobal(pos)); });
    connect(checkAll_, &QCheckBox::clicked, this, &DeviceListCommands::SetAllTicked);
    const auto update = [this] { UpdateStatusLine(); };
    connect(model_, &QAbstractItemModel::rowsInserted, this, update);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, update);
    connect(model_, &QAbstractItemModel::modelReset, this, update);
    connect(model_, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                if (roles.contains(Qt::CheckStateRole))
                    UpdateStatusLine();
            });
}

void DeviceListCommands::CopyField(const char* (*field)(const DeviceRecord&)) {
    const DeviceRecord* record = model_->Record(list_->FirstSelectedRow());
    if (!record)
        return;
    QApplication::clipboard()->setText(QString::fromLocal8Bit(field(*record)));
}

void DeviceListCommands::CopySerialNumber() {
    CopyField([](const DeviceRecord& r) -> const char* { return r.answer.serialNumber; });
}

void DeviceListCommands::CopyUuid() {
    CopyField([](const DeviceRecord& r) -> const char* { return r.answer.uuid; });
}

QString DeviceListCommands::WebAddress(int row) const {
    if (!model_->Record(row))
        return {};
    const QString ip = model_->CellText(row, kColumnIp);
    const int port = model_->CellText(row, kColumnHttpPort).toInt();
    return QString::asprintf("http://%s:%d", qPrintable(ip), port);
}

void DeviceListCommands::OpenWebPageOfRow(int row) {
    const QString address = WebAddress(row);
    if (!address.isEmpty())
        openUrl_(QUrl(address));
}

void DeviceListCommands::OpenWebPage() {
    const int row = list_->FirstSelectedRow();
    if (row >= 0)
        OpenWebPageOfRow(row);
}

void DeviceListCommands::SetAllTicked(bool ticked) {
    model_->SetAllChecked(ticked);
    UpdateStatusLine();
}

void DeviceListCommands::UpdateStatusLine() {
    statusLine_->setText(model_->StatusLine(searching_ && searching_()));
}

}  // namespace camfleet
