// The main window's controls and their arrangement: the search bar on top, the device list
// taking the space, the select-all box and the status line under it, and the command groups
// along the bottom.

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QVBoxLayout>

#include <iterator>

#include "app/account_controls.h"
#include "app/config_commands.h"
#include "app/ip_commands.h"
#include "app/key_filter.h"
#include "app/list_commands.h"
#include "app/main_window.h"

#include <iterator>
#include "app/maintenance_commands.h"
#include "app/option_boxes.h"
#include "app/path_controls.h"
#include "app/search_controls.h"
#include "app/upgrade_commands.h"
#include "app/version_text.h"
#include "app/window_prompt.h"
#include "device/codes.h"
#include "resources/display_strings.h"
#include "widgets/dialog_preview.h"
#include "widgets/display_text.h"
#include "widgets/report_ctrl.h"

namespace camfleet {

namespace {

// A group box titled with the display string of `titleKey` around `content`.
QGroupBox* Group(const char* titleKey, QWidget* content, QWidget* parent) {
    auto* group = new QGroupBox(parent);
    SetCaptionKey(group, titleKey);
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->addWidget(content);
    layout->addStretch(1);
    return group;
}

}  // namespace

void CRoRudAzovorErarDlg::BuildControls() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(6);

    SearchHooks hooks;
    hooks.listCleared = [this] { ClearForSearch(); };
    hooks.stateChanged = [this] { UpdateStatusLine(); };
    search_ =
        new SearchControls(fleet_, std::move(hooks), windowOptions_.searcher.labMode, central);
    layout->addWidget(search_);

    list_ = new CReportCtrl(central);
    list_->SetDeviceModel(&fleet_.Model());
    layout->addWidget(list_, 1);
    preview_ = new CDialogPreview(list_);
    connect(list_, &CReportCtrl::clickedOutsideRows, preview_,
            [this] { preview_->ShowForRow(-1); });

    auto* listBar = new QHBoxLayout;
    checkAll_ = new QCheckBox(central);
    statusLine_ = new QLabel(central);
    statusLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    listBar->addWidget(checkAll_);
    listBar->addSpacing(16);
    listBar->addWidget(statusLine_, 1);
    layout->addLayout(listBar);

    listCommands_ = new DeviceListCommands(list_, &fleet_.Model(), checkAll_, statusLine_, this);
    listCommands_->SetSearchingQuery([this] { return search_ && search_->IsSearching(); });
    connect(preview_, &CDialogPreview::webClicked, listCommands_,
            &DeviceListCommands::OpenWebPageOfRow);
    QMenu* menu = listCommands_->ContextMenu();
    menu->addSeparator();
    QAction* defaultUser = AddKeyedAction(menu, DisplayKey("TEXT14"), kIdDefaultUserDialog);
    connect(defaultUser, &QAction::triggered, this, &CRoRudAzovorErarDlg::OpenDefaultUserDialog);
    ip_ = new IpCommands(&fleet_.Table(), &fleet_.Model(), list_, &settings_, keyPrompt_.get(),
                         central, this);
    menu->addSeparator();
    ip_->AddContextItems(menu);
    menu->addSeparator();
    maintenance_ = new MaintenanceCommands(&fleet_.Model(), list_, keyPrompt_.get(), central, this);
    maintenance_->AddContextItems(menu);
    menu->addSeparator();
    QAction* trust = AddKeyedAction(menu, DisplayKey("TRUST_CAMERA_KEY"), kIdTrustCameraKey);
    connect(trust, &QAction::triggered, this, &CRoRudAzovorErarDlg::TrustSelectedCamera);

    layout->addWidget(BuildBottomPanel());
    menu->addSeparator();
    configs_->AddContextItems(menu);
    setCentralWidget(central);
    keyFilter_ = new KeyFilter(this);
    qApp->installEventFilter(keyFilter_);
    resize(1280, 720);
}

QWidget* CRoRudAzovorErarDlg::BuildBottomPanel() {
    auto* panel = new QWidget(this);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    account_ = new AccountControls(settings_, panel);
    paths_ = new PathControls(settings_, panel);
    options_ = new OptionBoxes(
        settings_, [this](bool on) { fleet_.Sync().SetPrintMode(on); }, panel);
    row->addWidget(Group(DisplayKey("TEXT14"), account_, panel), 2);
    auto* files = new QWidget(panel);
    auto* filesColumn = new QVBoxLayout(files);
    filesColumn->setContentsMargins(0, 0, 0, 0);
    configs_ = new ConfigCommands(&fleet_, paths_, checkAll_, keyPrompt_.get(), files);
    filesColumn->addWidget(paths_);
    filesColumn->addWidget(configs_);
    paths_->setParent(files);
    row->addWidget(Group(DisplayKey("GROUP_FILES"), files, panel), 5);
    upgrades_ = new UpgradeCommands(paths_, &fleet_.Model(), keyPrompt_.get(), panel);
    row->addWidget(Group(DisplayKey("GROUP_UPGRADE"), upgrades_, panel), 3);
    row->addWidget(Group(DisplayKey("GROUP_OPTIONS"), options_, panel), 3);
    auto* batch = new QWidget(panel);
    auto* batchGrid = new QGridLayout(batch);
    batchGrid->setContentsMargins(0, 0, 0, 0);
    // Every batch button has its place in the grid, the menu buttons after the plain ones (a
    // display switch may hide any of them).
    QWidget* batchButtons[] = {ip_->BatchButton(),
                               maintenance_->RebootButton(),
                               maintenance_->RestoreButton(),
                               maintenance_->TimeButton(),
                               maintenance_->PasswordButton(),
                               maintenance_->LanguageButton(),
                               maintenance_->VideoButton(),
                               maintenance_->IoButton(),
                               maintenance_->TvSystemButton(),
                               maintenance_->AllNetButton(),
                               maintenance_->PixelButton(),
                               maintenance_->SnapshotButton(),
                               maintenance_->NightDemoButton(),
                               maintenance_->FactoryModeButton()};
    constexpr int kColumns = 2;
    for (int i = 0; i < static_cast<int>(std::size(batchButtons)); ++i) {
        batchButtons[i]->setParent(batch);
        batchGrid->addWidget(batchButtons[i], i / kColumns, i % kColumns);
    }
    row->addWidget(Group(DisplayKey("GROUP_BATCH"), batch, panel), 3);
    // The panel keeps the height its groups need; the list takes what is left.
    panel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    return panel;
}

void CRoRudAzovorErarDlg::RegisterControls() {
    controls_.Add(kIdStartSearch, search_->StartStopButton());
    controls_.Add(kIdNetcard, search_->NetcardBox());
    controls_.Add(kIdNetcardLabel, search_->NetcardLabel());
    controls_.Add(kIdList, list_);
    controls_.Add(kIdBatchIp, ip_->BatchButton());
    controls_.Add(kIdBatchRebootDev, maintenance_->RebootButton());
    controls_.Add(kIdBatchDefault, maintenance_->RestoreButton());
    controls_.Add(kIdBatchTime, maintenance_->TimeButton());
    controls_.Add(kIdBatchSetPwd, maintenance_->PasswordButton());
    controls_.Add(kIdBatchSetLanguage, maintenance_->LanguageButton());
    controls_.Add(kIdBatchSetVideo, maintenance_->VideoButton());
    controls_.Add(kIdBatchIoOutput, maintenance_->IoButton());
    controls_.Add(kIdBatchSetTvSystem, maintenance_->TvSystemButton());
    controls_.Add(kIdBatchOnvifAllNet, maintenance_->AllNetButton());
    controls_.Add(kIdBatchModeFactory, maintenance_->FactoryModeButton());
    controls_.Add(kIdBatchCcd, maintenance_->PixelButton());
    controls_.Add(kIdBatchSnapJpeg, maintenance_->SnapshotButton());
    controls_.Add(kIdBatchRestoreHidden, maintenance_->HiddenRestoreButton());
    controls_.Add(kIdBtnPreviewIrcutNight, maintenance_->NightDemoButton());
    controls_.Add(kIdStatusLine, statusLine_);
    controls_.Add(kIdCheckAll, checkAll_);
    controls_.Add(kIdAudio, options_->Audio());
    controls_.Add(kIdFullScreenStream, options_->FullScreenStream());
    controls_.Add(kIdQrOption, options_->Qr());
    controls_.Add(kIdPrintMode, options_->PrintMode());
    controls_.Add(kIdUpgradeFile, paths_->FirmwareFile());
    controls_.Add(kIdConfigFile, paths_->ConfigFile());
    controls_.Add(kIdEditFileDefaultCfg, paths_->DefaultConfigFile());
    controls_.Add(kIdBatchDownloadCfg, configs_->DownloadButton());
    controls_.Add(kIdBtnUploadCfg, configs_->UploadButton());
    controls_.Add(kIdBtnBrowserCfg, configs_->BrowseButton());
    controls_.Add(kIdBtnBrowserDefaultCfg, configs_->DefaultButton());
    controls_.Add(kIdExportExcel, configs_->ExcelButton());
    controls_.Add(kIdUpgradeDirectory, paths_->UpgradeDirectory());
    controls_.Add(kIdBtnUpgrade, upgrades_->FileUpgradeButton());
    controls_.Add(kIdBtnBrowser, upgrades_->BrowseFileButton());
    controls_.Add(kIdBtnUpgradeDir, upgrades_->DirectoryUpgradeButton());
    controls_.Add(kIdBtnBrowser2, upgrades_->BrowseDirectoryButton());
    controls_.Add(kIdBtnClearAllCust, upgrades_->ClearCustomButton());
    controls_.Add(kIdEditDevCustType, upgrades_->ModelText());
    controls_.Add(kIdBtnBatchModifyCustDevType, upgrades_->SetModelButton());
    controls_.Add(kIdBtnBatchClearCustDevType, upgrades_->RemoveModelButton());
    controls_.Add(kIdBtnCustomModelFirmware, upgrades_->ModelFirmwareButton());
    controls_.Add(kIdDefaultUser, account_->User());
    controls_.Add(kIdDefaultPassword, account_->Password());
    // Menu items apart from the controls: the system menu's about item shares its id with
    // the factory-mode button.
    controls_.AddMenu(menuBar());
    controls_.AddMenu(listCommands_->ContextMenu());
    controls_.AddMenu(ip_->BatchMenu());
    controls_.AddMenu(maintenance_->TimeMenu());
    controls_.AddMenu(maintenance_->LanguageMenu());
    controls_.AddMenu(maintenance_->VideoMenu());
    controls_.AddMenu(maintenance_->IoMenu());
    controls_.AddMenu(maintenance_->TvSystemMenu());
    controls_.AddMenu(maintenance_->AllNetMenu());
    controls_.AddMenu(maintenance_->FactoryModeMenu());
    controls_.AddMenu(maintenance_->PixelMenu());

    // Texts that join keys or follow a state, shown again after a language switch.
    controls_.AddTextRefresher([this] { setWindowTitle(WindowTitle()); });
    controls_.AddTextRefresher([this] { search_->RetranslateTexts(); });
    controls_.AddTextRefresher([this] { UpdateStatusLine(); });
    controls_.AddTextRefresher([this] { fleet_.Model().RetranslateTexts(); });
}

}  // namespace camfleet
