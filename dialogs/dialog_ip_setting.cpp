#include "dialogs/dialog_ip_setting.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "resources/display_strings.h"
#include "widgets/display_text.h"

namespace camfleet {

namespace {

constexpr int kFieldLength = 63;  // the dialog's texts hold 64 characters with the zero

QLineEdit* AddressEdit(const std::string& text, QWidget* parent) {
    auto* edit = new QLineEdit(QString::fromStdString(text), parent);
    edit->setMaxLength(kFieldLength);
    return edit;
}

std::string Text(const QLineEdit* edit) {
    return edit->text().trimmed().toStdString();
}

}  // namespace

CDialogIpSetting::CDialogIpSetting(const NetworkSettings& v, bool batch, int count,
                                   AddressChecks checks, Prompt& prompt, QWidget* parent)
    : QDialog(parent), prompt_(prompt), checks_(std::move(checks)), count_(std::max(count, 1)) {
    SetCaptionKey(this, DisplayKey("TEXT36"));
    start_ = AddressEdit(v.ip, this);
    end_ = AddressEdit("", this);
    end_->setReadOnly(true);
    gateway_ = AddressEdit(v.gateway, this);
    mask_ = AddressEdit(v.mask, this);
    dns1_ = AddressEdit(v.dns1, this);
    dns2_ = AddressEdit(v.dns2, this);
    dhcp_ = new QCheckBox(this);
    SetCaptionKey(dhcp_, DisplayKey("DHCP"));
    dhcp_->setChecked(v.dhcp);
    check_ = new QPushButton(this);
    SetCaptionKey(check_, DisplayKey("BTN_CHECK"));
    checkLabel_ = new QLabel(this);
    endLabel_ = KeyLabel(DisplayKey("LABEL_END_ADDRESS"), this);
    endLabel_->setEnabled(batch);

    auto* form = new QFormLayout;
    form->addRow(KeyLabel(DisplayKey("IP"), this), start_);
    form->addRow(endLabel_, end_);
    form->addRow(KeyLabel(DisplayKey("NETMASK"), this), mask_);
    form->addRow(KeyLabel(DisplayKey("LABEL_GATEWAY"), this), gateway_);
    form->addRow(KeyLabel(DisplayKey("LABEL_DNS1"), this), dns1_);
    form->addRow(KeyLabel(DisplayKey("LABEL_DNS2"), this), dns2_);
    form->addRow(dhcp_);
    form->addRow(check_, checkLabel_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    SetStandardButtonKeys(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &CDialogIpSetting::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(start_, &QLineEdit::textChanged, this, &CDialogIpSetting::UpdateEnd);
    connect(mask_, &QLineEdit::textChanged, this, &CDialogIpSetting::UpdateEnd);
    connect(dhcp_, &QCheckBox::toggled, this, &CDialogIpSetting::UpdateEnabled);
    connect(check_, &QPushButton::clicked, this, &CDialogIpSetting::StartCheck);
    UpdateEnd();
    UpdateEnabled();
}

NetworkSettings CDialogIpSetting::Values() const {
    return {dhcp_->isChecked(), Text(start_), Text(mask_),
            Text(gateway_),     Text(dns1_),  Text(dns2_)};
}

// The end address is the last one numbering `count_` devices reaches from the start.
void CDialogIpSetting::UpdateEnd() {
    uint32_t start = 0, mask = 0;
    if (!ParseDottedAddress(Text(start_), &start)) {
        end_->clear();
        return;
    }
    if (!ParseDottedAddress(Text(mask_), &mask))
        mask = 0xFFFFFF00u;
    const std::vector<uint32_t> range = NumberedAddresses(start, mask, count_);
    end_->setText(range.empty() ? QString() : QString::fromStdString(DottedAddress(range.back())));
}

void CDialogIpSetting::UpdateEnabled() {
    const bool manual = !dhcp_->isChecked();
    for (QLineEdit* edit : {start_, end_, gateway_, mask_, dns1_, dns2_})
        edit->setEnabled(manual);
}

void CDialogIpSetting::StartCheck() {
    uint32_t start = 0, mask = 0;
    if (checks_.probe == nullptr || checks_.neighbours == nullptr || checker_.Busy() ||
        !ParseDottedAddress(Text(start_), &start))
        return;
    if (!ParseDottedAddress(Text(mask_), &mask))
        mask = 0xFFFFFF00u;
    check_->setEnabled(false);
    SetCaptionKey(checkLabel_, nullptr);
    checker_.Start(
        [range = NumberedAddresses(start, mask, count_), checks = checks_](std::stop_token stop) {
            return FindAnsweringAddress(range, *checks.probe, *checks.neighbours, stop).has_value();
        },
        [this](bool conflict) { ShowCheck(conflict ? 0 : 1); });
}

void CDialogIpSetting::ShowCheck(int result) {
    checkResult_ = result;
    check_->setEnabled(true);
    SetCaptionKey(checkLabel_,
                  result == 1 ? DisplayKey("IP_NOCONFLICT") : DisplayKey("IP_CONFLICT"));
    checkLabel_->setStyleSheet(result == 1 ? "color: green;" : "color: red;");
    emit checkFinished(result);
}

void CDialogIpSetting::accept() {
    if (!DialogValuesAccepted(Values())) {
        prompt_.ShowMessage(kDialogRuleKey, kErrorCaption, PromptIcon::kError);
        return;
    }
    cancelled_ = false;
    QDialog::accept();
}

}  // namespace camfleet
