#include "app/ip_commands.h"

#include <QMenu>
#include <QPushButton>

#include "device/codes.h"
#include "dialogs/dialog_ip_setting.h"
#include "operations/batch_targets.h"
#include "resources/display_strings.h"
#include "resources/log.h"
#include "widgets/display_text.h"
#include "widgets/report_ctrl.h"

namespace camfleet {

IpCommands::IpCommands(DeviceTable* table, DeviceListModel* model, CReportCtrl* list,
                       CSaveParam* settings, Prompt* prompt, QWidget* buttonParent, QObject* parent)
    : QObject(parent),
      model_(model),
      list_(list),
      settings_(settings),
      prompt_(prompt),
      source_(MakeSystemNetworkParamSource()),
      checks_(SystemAddressChecks()),
      ip_(table, model, &pc_, source_.get()),
      runDialog_([](CDialogIpSetting& dialog) { return dialog.exec() == QDialog::Accepted; }),
      button_(new QPushButton(buttonParent)),
      menu_(new QMenu(button_)) {
    QAction* dhcp = AddKeyedAction(menu_, DisplayKey("DHCP"), kIdDhcp);
    connect(dhcp, &QAction::triggered, this, &IpCommands::SwitchToDhcp);
    QAction* number = AddKeyedAction(menu_, DisplayKey("BTNTEXT3"), kIdNumberIp);
    connect(number, &QAction::triggered, this, &IpCommands::NumberDevices);
    connect(button_, &QPushButton::clicked, this,
            [this] { menu_->popup(button_->mapToGlobal(QPoint(0, button_->height()))); });
}

IpCommands::~IpCommands() = default;

void IpCommands::SetNetworkSource(std::unique_ptr<NetworkParamSource> source) {
    source_ = std::move(source);
    ip_.SetNetworkSource(source_.get());
}

void IpCommands::AddContextItems(QMenu* menu) {
    QAction* edit = AddKeyedAction(menu, DisplayKey("MENU_CHANGE_IP"), kIdEditIp);
    connect(edit, &QAction::triggered, this, &IpCommands::EditDevice);
    QAction* free = AddKeyedAction(menu, DisplayKey("MENU_ASSIGN_FREE_IP"), kIdFreeIp);
    connect(free, &QAction::triggered, this, &IpCommands::AssignFreeAddress);
}

void IpCommands::EditDevice() {
    const int row = list_->FirstSelectedRow();
    const DeviceRecord* record = model_->Record(row);
    if (record == nullptr)
        return;
    const QByteArray key(record->key);
    CDialogIpSetting dialog(EditDialogValues(record->answer.network), false, 1, checks_, *prompt_,
                            list_);
    if (!runDialog_(dialog))
        return;
    // The list may have changed while the dialog was open.
    const int now = model_->FindRowByKey(key.constData());
    if (now >= 0)
        ip_.SendNetwork(now, dialog.Values());
}

void IpCommands::AssignFreeAddress() {
    const DeviceRecord* record = model_->Record(list_->FirstSelectedRow());
    if (record == nullptr || freeSearch_.Busy())
        return;
    const QByteArray key(record->key);
    freeSearch_.Start(
        [input = ip_.CollectFreeSearchInput(), checks = checks_](std::stop_token stop) {
            return FindFreeAddress(input, *checks.probe, *checks.neighbours, stop);
        },
        [this, key](std::optional<uint32_t> address) {
            const int row = model_->FindRowByKey(key.constData());
            const int result =
                row >= 0 ? ip_.ApplyFreeAddress(row, address, *prompt_) : int{kTableUnknownSerial};
            emit freeAddressDone(result);
        });
}

void IpCommands::NumberDevices() {
    NumberingStart start;
    if (!ip_.PrepareNumbering(*settings_, *prompt_, &start))
        return;
    const std::vector<int> rows = SelectTargets(*model_, {}, *prompt_);
    if (rows.empty())
        return;
    CDialogIpSetting dialog(start.values, true, static_cast<int>(rows.size()), checks_, *prompt_,
                            list_);
    if (!runDialog_(dialog))
        return;
    // Rows are only ever appended, so the ticked rows are still where they were.
    ip_.NumberDevices(rows, dialog.Values(), settings_);
}

void IpCommands::SwitchToDhcp() {
    if (model_->CheckedCount() == 0) {
        prompt_->ShowMessage(kNoDhcpTargetKey, kErrorCaption, PromptIcon::kError);
        return;
    }
    ip_.SwitchToDhcp(SelectTargets(*model_, {}, *prompt_));
}

}  // namespace camfleet
