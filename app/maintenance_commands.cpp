#include "app/maintenance_commands.h"

#include <QDesktopServices>
#include <QDir>
#include <QLineEdit>
#include <QWidget>

#include "device/codes.h"
#include "dialogs/dialog_pwd.h"
#include "operations/batch_targets.h"
#include "operations/picture_downloads.h"
#include "resources/display_strings.h"
#include "widgets/display_text.h"
#include "widgets/report_ctrl.h"

namespace camfleet {

namespace {

// A button that pops up `menu` below itself.
void PopUpOnClick(QPushButton* button, QMenu* menu) {
    QObject::connect(button, &QPushButton::clicked, menu, [button, menu] {
        menu->popup(button->mapToGlobal(QPoint(0, button->height())));
    });
}

}  // namespace

MaintenanceCommands::MaintenanceCommands(DeviceListModel* model, CReportCtrl* list, Prompt* prompt,
                                         QWidget* buttonParent, QObject* parent)
    : QObject(parent),
      model_(model),
      list_(list),
      prompt_(prompt),
      runDialog_([](CDialogPwd& dialog) { return dialog.exec() == QDialog::Accepted; }),
      openUrl_([](const QUrl& url) { QDesktopServices::openUrl(url); }),
      snapshotFolder_(DefaultSnapshotFolder()),
      reboot_(new QPushButton(buttonParent)),
      restore_(new QPushButton(buttonParent)),
      time_(new QPushButton(buttonParent)),
      password_(new QPushButton(buttonParent)),
      language_(new QPushButton(buttonParent)),
      video_(new QPushButton(buttonParent)),
      io_(new QPushButton(buttonParent)),
      snapshot_(new QPushButton(buttonParent)),
      hiddenRestore_(new QPushButton(buttonParent)),
      nightDemoButton_(new QPushButton(buttonParent)),
      tvSystem_(new QPushButton(buttonParent)),
      allNet_(new QPushButton(buttonParent)),
      factory_(new QPushButton(buttonParent)),
      pixel_(new QPushButton(buttonParent)),
      timeMenu_(new QMenu(time_)),
      languageMenu_(new QMenu(language_)),
      videoMenu_(new QMenu(video_)),
      ioMenu_(new QMenu(io_)),
      tvSystemMenu_(new QMenu(tvSystem_)),
      allNetMenu_(new QMenu(allNet_)),
      factoryMenu_(new QMenu(factory_)),
      pixelMenu_(new QMenu(pixel_)) {
    connect(reboot_, &QPushButton::clicked, this, &MaintenanceCommands::RebootTicked);
    connect(restore_, &QPushButton::clicked, this, &MaintenanceCommands::RestoreTicked);
    connect(password_, &QPushButton::clicked, this, &MaintenanceCommands::SetPassword);
    connect(snapshot_, &QPushButton::clicked, this, &MaintenanceCommands::SnapshotTicked);
    connect(hiddenRestore_, &QPushButton::clicked, this, &MaintenanceCommands::RestoreThenReboot);
    hiddenRestore_->hide();  // created hidden; a display switch may show it
    connect(nightDemoButton_, &QPushButton::clicked, this, &MaintenanceCommands::StartNightDemo);
    QAction* sync = AddKeyedAction(timeMenu_, DisplayKey("ID_BATCH_SYNC_TIME"), kIdBatchSyncTime);
    connect(sync, &QAction::triggered, this, &MaintenanceCommands::SyncTime);
    PopUpOnClick(time_, timeMenu_);
    const struct {
        const char* key;
        int id;
        Language language;
    } languages[] = {
        {DisplayKey("IDS_STR_ZH_CN_LAN_EN"), kIdBatchLanguageEn, Language::kEnglish},
        {DisplayKey("IDS_STR_ZH_CN_LAN_CN"), kIdBatchLanguageCn, Language::kSimplifiedChinese},
        {DisplayKey("IDS_STR_ZH_CN_LAN_TW"), kIdBatchLanguageTw, Language::kTraditionalChinese},
    };
    for (const auto& l : languages) {
        QAction* item = AddKeyedAction(languageMenu_, l.key, l.id);
        connect(item, &QAction::triggered, this,
                [this, language = l.language] { SetLanguage(language); });
    }
    PopUpOnClick(language_, languageMenu_);
    const struct {
        int id;
        VideoType type;
        const char* key;
    } codecs[] = {
        {kIdVideoTypeH264, VideoType::kH264, DisplayKey("VIDEO_CODEC_H264")},
        {kIdVideoTypeH265, VideoType::kH265, DisplayKey("VIDEO_CODEC_H265")},
        {kIdVideoTypeH265Plus, VideoType::kH265Plus, DisplayKey("VIDEO_CODEC_H265_PLUS")}};
    // The codecs in a submenu labelled "change video codec".
    QMenu* codecMenu = videoMenu_->addMenu(QString());
    SetCaptionKey(codecMenu, DisplayKey("ID_BATCH_SET_VIDEOTYPE"));
    for (const auto& c : codecs) {
        QAction* item = AddKeyedAction(codecMenu, c.key, c.id);
        connect(item, &QAction::triggered, this, [this, type = c.type] { SetVideoType(type); });
    }
    PopUpOnClick(video_, videoMenu_);
    for (int output : {0, 1}) {
        QAction* item = ioMenu_->addAction(QString::number(output));
        item->setData(output == 0 ? kIdIoOutputOff : kIdIoOutputOn);
        connect(item, &QAction::triggered, this, [this, output] { SetIoOutput(output); });
    }
    PopUpOnClick(io_, ioMenu_);
    const struct {
        const char* key;
        int id;
        int value;
    } standards[] = {{DisplayKey("TVSYSTEM_PAL"), kIdTvSystemPal, 1},
                     {DisplayKey("TVSYSTEM_NTSC"), kIdTvSystemNtsc, 0}};
    for (const auto& t : standards) {
        QAction* item = AddKeyedAction(tvSystemMenu_, t.key, t.id);
        connect(item, &QAction::triggered, this,
                [this, value = t.value] { Switch(FeatureSwitch::kTvSystem, value); });
    }
    PopUpOnClick(tvSystem_, tvSystemMenu_);
    QAction* allNetOn = AddKeyedAction(allNetMenu_, DisplayKey("ENABLE"), kIdOnvifAllNetEnable);
    connect(allNetOn, &QAction::triggered, this,
            [this] { Switch(FeatureSwitch::kOnvifAllNet, 1); });
    QAction* allNetOff = AddKeyedAction(allNetMenu_, DisplayKey("DISABLE"), kIdOnvifAllNetDisable);
    connect(allNetOff, &QAction::triggered, this,
            [this] { Switch(FeatureSwitch::kOnvifAllNet, 0); });
    PopUpOnClick(allNet_, allNetMenu_);
    QAction* factoryOn = AddKeyedAction(factoryMenu_, DisplayKey("ENABLE"), kIdFactoryModeEnable);
    connect(factoryOn, &QAction::triggered, this, [this] { SetFactoryMode(true); });
    QAction* factoryOff =
        AddKeyedAction(factoryMenu_, DisplayKey("STRING_CLOSE"), kIdFactoryModeClose);
    connect(factoryOff, &QAction::triggered, this, [this] { SetFactoryMode(false); });
    PopUpOnClick(factory_, factoryMenu_);
    QAction* scan = AddKeyedAction(pixelMenu_, DisplayKey("BATCH_SCAN_BADCCD"), kIdBatchScanBadCcd);
    connect(scan, &QAction::triggered, this, [this] { PixelMaintenance(kPixelScanPreset); });
    QAction* save = AddKeyedAction(pixelMenu_, DisplayKey("BATCH_SAVE_BADCCD"), kIdBatchSaveBadCcd);
    connect(save, &QAction::triggered, this, [this] { PixelMaintenance(kPixelSavePreset); });
    PopUpOnClick(pixel_, pixelMenu_);
}

MaintenanceCommands::~MaintenanceCommands() = default;

void MaintenanceCommands::Attach(FleetSession& fleet) {
    if (fleet.Router() == nullptr)
        return;  // no SDK: nothing is logged in
    maintenance_ = std::make_unique<DeviceMaintenance>(
        &fleet.Model(), &fleet.Table(), &fleet.Workers(), SdkMaintenanceCalls(), fleet.Router());
    switches_ = std::make_unique<FeatureSwitches>(&fleet.Model(), fleet.Router());
    nightDemo_ = std::make_unique<NightDemo>(&fleet.Model(), fleet.Router(), &fleet.Workers());
    // The demonstration restores each camera's video capture at its end: a TV-system write
    // meanwhile would be undone, so it waits for the end.
    switches_->SetVideoCaptureHold(
        [demo = nightDemo_.get()](const std::string& key) { return demo->Holds(key); });
    connect(nightDemo_.get(), &NightDemo::released, switches_.get(),
            [switches = switches_.get()](const std::vector<std::string>& keys) {
                switches->Release(keys);
            });
    connect(nightDemo_.get(), &NightDemo::activeChanged, nightDemoButton_,
            [button = nightDemoButton_](bool active) { button->setEnabled(!active); });
}

void MaintenanceCommands::AddContextItems(QMenu* menu) {
    QAction* reboot = AddKeyedAction(menu, DisplayKey("MENU_REBOOT_DEVICE"), kIdRebootDevice);
    connect(reboot, &QAction::triggered, this, &MaintenanceCommands::RebootSelected);
    QAction* restore = AddKeyedAction(menu, DisplayKey("MENU_RESTORE_DEVICE"), kIdRestoreDefault);
    connect(restore, &QAction::triggered, this, &MaintenanceCommands::RestoreSelected);
    QAction* p2pOn = AddKeyedAction(menu, DisplayKey("MENU_P2P_ENABLE"), kIdP2pEnable);
    connect(p2pOn, &QAction::triggered, this, [this] { SetP2p(true); });
    QAction* p2pOff = AddKeyedAction(menu, DisplayKey("MENU_P2P_DISABLE"), kIdP2pDisable);
    connect(p2pOff, &QAction::triggered, this, [this] { SetP2p(false); });
    const struct {
        const char* key;
        int id;
        FeatureSwitch which;
        int value;
    } services[] = {
        {DisplayKey("MENU_HIK_ENABLE"), kIdHikEnable, FeatureSwitch::kHik, 1},
        {DisplayKey("MENU_HIK_DISABLE"), kIdHikDisable, FeatureSwitch::kHik, 0},
        {DisplayKey("MENU_ONVIF_ENABLE"), kIdOnvifEnable, FeatureSwitch::kOnvif, 1},
        {DisplayKey("MENU_ONVIF_DISABLE"), kIdOnvifDisable, FeatureSwitch::kOnvif, 0},
        {DisplayKey("MENU_DH_ENABLE"), kIdDhEnable, FeatureSwitch::kDh, 1},
        {DisplayKey("MENU_DH_DISABLE"), kIdDhDisable, FeatureSwitch::kDh, 0},
        {DisplayKey("MENU_TST_ENABLE"), kIdTstEnable, FeatureSwitch::kTst, 1},
        {DisplayKey("MENU_TST_DISABLE"), kIdTstDisable, FeatureSwitch::kTst, 0},
    };
    for (const auto& s : services) {
        QAction* item = AddKeyedAction(menu, s.key, s.id);
        connect(item, &QAction::triggered, this,
                [this, which = s.which, value = s.value] { Switch(which, value); });
    }
    QAction* snap = AddKeyedAction(menu, DisplayKey("MENU_SNAPSHOT"), kIdSnapshot);
    connect(snap, &QAction::triggered, this, &MaintenanceCommands::SnapshotSelected);
    QAction* folder = AddKeyedAction(menu, DisplayKey("MENU_OPEN_SNAP_FOLDER"), kIdOpenSnapFolder);
    connect(folder, &QAction::triggered, this, &MaintenanceCommands::OpenSnapshotFolder);
}

std::vector<int> MaintenanceCommands::TickedRows() const {
    std::vector<int> rows;
    for (int row = 0; row < model_->Count(); ++row)
        if (model_->IsChecked(row))
            rows.push_back(row);
    return rows;
}

// The ticked rows; none ticked: the "MSGTIP13" box, then the selected row.
std::vector<int> MaintenanceCommands::TickedElseSelected() const {
    TargetSelection selection;
    selection.kind = TargetSelection::kTickedElseSelected;
    selection.selectedRow = list_->FirstSelectedRow();
    return SelectTargets(*model_, selection, *prompt_);
}

std::vector<int> MaintenanceCommands::SelectedRow() const {
    const int row = list_->FirstSelectedRow();
    return row >= 0 ? std::vector<int>{row} : std::vector<int>{};
}

void MaintenanceCommands::RebootTicked() {
    if (maintenance_)
        maintenance_->Reboot(TickedRows(), MaintenanceForm::kTicked, *prompt_);
}

void MaintenanceCommands::RestoreTicked() {
    if (maintenance_)
        maintenance_->Restore(TickedRows(), MaintenanceForm::kTicked, *prompt_);
}

void MaintenanceCommands::RebootSelected() {
    if (maintenance_)
        maintenance_->Reboot(SelectedRow(), MaintenanceForm::kSelected, *prompt_);
}

void MaintenanceCommands::RestoreSelected() {
    if (maintenance_)
        maintenance_->Restore(SelectedRow(), MaintenanceForm::kSelected, *prompt_);
}

void MaintenanceCommands::SyncTime() {
    if (maintenance_)
        maintenance_->SyncTime(TickedRows(), *prompt_);
}

void MaintenanceCommands::SetPassword() {
    if (!maintenance_)
        return;
    const std::vector<int> rows = TickedRows();
    if (rows.empty()) {
        prompt_->ShowMessage(DisplayKey("MSGTIP13"), DisplayKey("ERROR"), PromptIcon::kError);
        return;
    }
    CDialogPwd dialog(reboot_->window());
    if (!runDialog_(dialog))
        return;
    maintenance_->SetPassword(rows, dialog.PasswordEdit()->text(), dialog.RepeatEdit()->text(),
                              *prompt_);
}

void MaintenanceCommands::SetLanguage(Language language) {
    if (maintenance_)
        maintenance_->SetLanguage(TickedRows(), language, MaintenanceForm::kTicked, *prompt_);
}

void MaintenanceCommands::SetVideoType(VideoType type) {
    if (maintenance_)
        maintenance_->SetVideoType(TickedRows(), type, MaintenanceForm::kTicked, *prompt_);
}

void MaintenanceCommands::SetIoOutput(int output) {
    if (maintenance_)
        maintenance_->SetIoOutput(TickedRows(), output, *prompt_);
}

void MaintenanceCommands::SetP2p(bool enable) {
    if (!maintenance_)
        return;
    const std::vector<int> rows = TickedElseSelected();
    if (!rows.empty())
        maintenance_->SetP2p(rows, enable, *prompt_);
}

void MaintenanceCommands::SetFactoryMode(bool enable) {
    if (maintenance_)
        maintenance_->SetFactoryMode(TickedRows(), enable, MaintenanceForm::kTicked, *prompt_);
}

void MaintenanceCommands::SnapshotTicked() {
    if (maintenance_)
        maintenance_->Snapshot(TickedRows(), MaintenanceForm::kTicked, *prompt_);
}

void MaintenanceCommands::RestoreThenReboot() {
    if (maintenance_)
        maintenance_->RestoreThenReboot(TickedRows(), *prompt_);
}

void MaintenanceCommands::StartNightDemo() {
    if (nightDemo_)
        nightDemo_->Start(TickedRows(), *prompt_);
}

void MaintenanceCommands::SnapshotSelected() {
    if (maintenance_)
        maintenance_->Snapshot(SelectedRow(), MaintenanceForm::kSelected, *prompt_);
}

// Created first, so that the file manager has a folder to show.
void MaintenanceCommands::OpenSnapshotFolder() {
    QDir().mkpath(snapshotFolder_);
    openUrl_(QUrl::fromLocalFile(snapshotFolder_));
}

void MaintenanceCommands::PixelMaintenance(int preset) {
    if (maintenance_)
        maintenance_->PixelMaintenance(TickedRows(), preset, *prompt_);
}

void MaintenanceCommands::Switch(FeatureSwitch which, int value) {
    if (!switches_)
        return;
    const bool batch = which == FeatureSwitch::kTvSystem || which == FeatureSwitch::kOnvifAllNet;
    std::vector<int> rows;
    if (batch) {
        rows = TickedRows();
        if (rows.empty())
            prompt_->ShowMessage(DisplayKey("MSGTIP13"), DisplayKey("ERROR"), PromptIcon::kError);
    } else {
        rows = TickedElseSelected();
    }
    if (!rows.empty())
        switches_->Switch(rows, which, value, SwitchForm::kWindow, *prompt_);
}

}  // namespace camfleet
