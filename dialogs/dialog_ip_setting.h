#pragma once
// The IP dialog: start address (and, in batch mode, the end address the numbering reaches),
// gateway, net mask, DNS 1 and DNS 2, the DHCP box that disables every address field, and
// the check button (3) that probes the addresses the numbering would hand out and shows
// "IP_CONFLICT" in red or "IP_NOCONFLICT" in green. OK accepts only values that pass
// DialogValuesAccepted; otherwise the "MSGTIP46" box is shown and the dialog stays open.
//
// An address counts as a conflict when it answers the quick probe or is not confirmed free
// (ConfirmedFree: neighbour table, slower probe).
//
// UI thread only. The check runs on a worker thread; its result comes back as a queued call.
// Destroying the dialog stops a running check and waits for its threads. The prompt outlives
// the dialog.

#include <QDialog>

#include <memory>

#include "operations/ip_assignment.h"
#include "operations/worker.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace camfleet {

class CDialogIpSetting : public QDialog {
    Q_OBJECT
public:
    // `batch`: numbering mode with `count` devices (the end address label is enabled).
    CDialogIpSetting(const NetworkSettings& values, bool batch, int count, AddressChecks checks,
                     Prompt& prompt, QWidget* parent = nullptr);

    // The values as the fields hold them (after OK: as accepted).
    NetworkSettings Values() const;
    bool Cancelled() const { return cancelled_; }
    // 1 = the last check found no answering address, 0 = it found one, -1 = not checked.
    int CheckResult() const { return checkResult_; }

    QLineEdit* StartEdit() const { return start_; }
    QLineEdit* EndEdit() const { return end_; }
    QLineEdit* GatewayEdit() const { return gateway_; }
    QLineEdit* MaskEdit() const { return mask_; }
    QLineEdit* Dns1Edit() const { return dns1_; }
    QLineEdit* Dns2Edit() const { return dns2_; }
    QCheckBox* DhcpBox() const { return dhcp_; }
    QPushButton* CheckButton() const { return check_; }
    QLabel* CheckLabel() const { return checkLabel_; }
    QLabel* EndLabel() const { return endLabel_; }

    // Starts the conflict check (button 3); nothing while one runs.
    void StartCheck();
    void accept() override;

signals:
    void checkFinished(int result);

private:
    void UpdateEnd();
    void UpdateEnabled();
    void ShowCheck(int result);

    Prompt& prompt_;
    const AddressChecks checks_;  // shared with a check still running
    const int count_;
    bool cancelled_ = true;
    int checkResult_ = -1;
    QLineEdit* start_;
    QLineEdit* end_;
    QLineEdit* gateway_;
    QLineEdit* mask_;
    QLineEdit* dns1_;
    QLineEdit* dns2_;
    QCheckBox* dhcp_;
    QPushButton* check_;
    QLabel* checkLabel_;
    QLabel* endLabel_;
    Worker checker_;  // last: stopped before the members its result refers to go
};

}  // namespace camfleet
