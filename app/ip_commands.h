#pragma once
// The main window's address commands: the batch button (1030) with its menu (DHCP 32945,
// numbering 32902), and the context-menu items edit address (32772) and free address (32775).
// Owns the PC network block, which is cleared at every search start.
//
// UI thread only. The free address search and the dialog's conflict check probe on worker
// threads; their results come back as queued calls, matched to the row by serial number.
// Stop (the window's shutdown) and the destructor stop a running search and join its
// threads.

#include <QObject>

#include <functional>
#include <memory>

#include "operations/fleet_session.h"
#include "operations/ip_assignment.h"
#include "operations/worker.h"

class QMenu;
class QPushButton;
class QWidget;

namespace camfleet {

class CDialogIpSetting;
class CReportCtrl;

class IpCommands : public QObject {
    Q_OBJECT
public:
    // Everything given outlives this object; `buttonParent` takes the batch button.
    IpCommands(DeviceTable* table, DeviceListModel* model, CReportCtrl* list, CSaveParam* settings,
               Prompt* prompt, QWidget* buttonParent, QObject* parent = nullptr);
    ~IpCommands() override;

    QPushButton* BatchButton() const { return button_; }
    QMenu* BatchMenu() const { return menu_; }
    // Appends 32772 and 32775 to the list's context menu.
    void AddContextItems(QMenu* menu);

    // Replacements for tests: the PC's network, the probe, the neighbour table, and how a
    // dialog is run (default: modal exec; returns whether it was accepted).
    void SetNetworkSource(std::unique_ptr<NetworkParamSource> source);
    void SetProbe(std::shared_ptr<AddressProbe> probe) { checks_.probe = std::move(probe); }
    void SetNeighbourTable(std::shared_ptr<NeighbourTable> table) {
        checks_.neighbours = std::move(table);
    }
    void SetDialogRunner(std::function<bool(CDialogIpSetting&)> run) {
        runDialog_ = std::move(run);
    }

    PcNetwork& Pc() { return pc_; }
    // Forgets the PC network block and the network jobs (search start).
    void ClearPcNetwork() {
        pc_.Clear();
        ip_.ClearJobs();
    }
    // The jobs follow the session's merge and logins (after the SDK started).
    void Follow(FleetSession& session) { ip_.Follow(&session.Sync(), session.Tracker()); }
    const IpAssignment& Assignment() const { return ip_; }
    bool FreeSearchRunning() const { return freeSearch_.Busy(); }
    // Stops a running free address search and waits for its threads; its result is dropped.
    void Stop() { freeSearch_.Stop(); }

    void EditDevice();         // 32772, the first selected row
    void AssignFreeAddress();  // 32775, the first selected row; ends with freeAddressDone
    void NumberDevices();      // 32902, the ticked rows
    void SwitchToDhcp();       // 32945, the ticked rows

signals:
    // The free address command ended: the send result, or -1 (no row, no free address).
    void freeAddressDone(int result);

private:
    DeviceListModel* model_;
    CReportCtrl* list_;
    CSaveParam* settings_;
    Prompt* prompt_;
    std::unique_ptr<NetworkParamSource> source_;
    AddressChecks checks_;
    PcNetwork pc_;
    IpAssignment ip_;
    std::function<bool(CDialogIpSetting&)> runDialog_;
    QPushButton* button_;
    QMenu* menu_;
    Worker freeSearch_;  // last: stopped before the members its result refers to go
};

}  // namespace camfleet
