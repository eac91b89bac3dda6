#pragma once
// The main window: owns the fleet session (device table, search, list model, merge, SDK,
// router and tracker) and the settings, and lays out the command groups. The command
// groups live in their own classes (SearchControls, DeviceListCommands, IpCommands,
// PathControls, AccountControls, OptionBoxes, SystemMenu); this class wires them in the start-up
// order and takes them down in the close order.
//
// UI thread only. Other threads reach the window only through the fleet session (the device
// table lock, the router's and the worker pool's queued calls).

#include <QCheckBox>
#include <QLabel>
#include <QMainWindow>

#include <memory>
#include <string>

#include "app/control_registry.h"
#include "devicelist/device_list_model.h"
#include "discovery/device_searcher.h"
#include "discovery/device_table.h"
#include "operations/device_list_sync.h"
#include "operations/fleet_session.h"
#include "resources/display_switches.h"
#include "resources/save_param.h"

namespace camfleet {

class AccountControls;
class ConfigCommands;
class CDialogPreview;
class CReportCtrl;
class DeviceListCommands;
class IpCommands;
class KeyPrompt;
class KeyFilter;
class OptionBoxes;
class PathControls;
class SearchControls;
class SystemMenu;
class UpgradeCommands;
class MaintenanceCommands;
class WindowPrompt;

struct WindowOptions {
    SearcherOptions searcher;        // labMode for a lab of simulated cameras
    bool manualTicks = false;        // the caller drives the search timers (tests)
    bool maximiseAfterShow = true;   // maximised about 300 ms after it is first shown
    WindowPrompt* prompt = nullptr;  // null: Qt dialogs; else must outlive the window
    std::string displayConfigPath;   // empty: "display.xml" in the program directory
    QString snapshotFolder{};        // empty: DefaultSnapshotFolder()
};

class CRoRudAzovorErarDlg : public QMainWindow {
    Q_OBJECT
public:
    explicit CRoRudAzovorErarDlg(WindowOptions options = {}, QWidget* parent = nullptr);
    ~CRoRudAzovorErarDlg() override;

    // The first of the dropped files: a folder fills the upgrade directory, a ".bin" file
    // the firmware file, an ".xml" file the configuration file; others are ignored.
    void HandleDroppedFile(const QString& path);
    // Menu command 32963.
    void OpenDefaultUserDialog();
    // Context item: accept the replaced camera of the first selected row (its new key).
    void TrustSelectedCamera();
    // Shows every text of the window, its menus and the dialogs it holds from the current
    // display strings (after a language switch).
    void RetranslateUi();
    // The close order: the free address search stopped, then the fleet session's
    // (FleetSession::Shutdown). Idempotent; also run by the close event and the destructor.
    void Shutdown();

    SearchControls* Search() const { return search_; }
    CReportCtrl* List() const { return list_; }
    DeviceListModel& Model() { return fleet_.Model(); }
    FleetSession& Fleet() { return fleet_; }
    DeviceListCommands* ListCommands() const { return listCommands_; }
    IpCommands* Ip() const { return ip_; }
    UpgradeCommands* Upgrades() const { return upgrades_; }
    MaintenanceCommands* Maintenance() const { return maintenance_; }
    CDialogPreview* Preview() const { return preview_; }
    PathControls* Paths() const { return paths_; }
    ConfigCommands* Configs() const { return configs_; }
    AccountControls* Account() const { return account_; }
    OptionBoxes* Options() const { return options_; }
    SystemMenu* Menu() const { return menu_; }
    QCheckBox* CheckAll() const { return checkAll_; }
    QLabel* StatusLine() const { return statusLine_; }
    const ControlRegistry& Controls() const { return controls_; }
    CSaveParam& Settings() { return settings_; }
    DeviceTable& Table() { return fleet_.Table(); }
    DeviceListSync& Sync() { return fleet_.Sync(); }
    const CLoadDisplayCfg& DisplaySwitchFlags() const { return switches_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildControls();
    QWidget* BuildBottomPanel();
    void RegisterControls();
    void Initialise();
    void InitialiseSdk();
    void ClearForSearch();
    void UpdateStatusLine();

    WindowOptions windowOptions_;
    FleetSession fleet_;
    CSaveParam settings_;  // loaded once in the constructor, saved by the controls that change it
    CLoadDisplayCfg switches_;
    ControlRegistry controls_;
    std::unique_ptr<WindowPrompt> ownPrompt_;
    WindowPrompt* prompt_ = nullptr;
    std::unique_ptr<KeyPrompt> keyPrompt_;  // the core's prompt over prompt_
    bool shutDown_ = false;
    bool shownOnce_ = false;

    // Children, owned by Qt's parent chain.
    SearchControls* search_ = nullptr;
    CReportCtrl* list_ = nullptr;
    CDialogPreview* preview_ = nullptr;
    DeviceListCommands* listCommands_ = nullptr;
    IpCommands* ip_ = nullptr;
    UpgradeCommands* upgrades_ = nullptr;
    MaintenanceCommands* maintenance_ = nullptr;
    QCheckBox* checkAll_ = nullptr;
    QLabel* statusLine_ = nullptr;
    PathControls* paths_ = nullptr;
    ConfigCommands* configs_ = nullptr;
    AccountControls* account_ = nullptr;
    OptionBoxes* options_ = nullptr;
    SystemMenu* menu_ = nullptr;
    KeyFilter* keyFilter_ = nullptr;
};

}  // namespace camfleet
