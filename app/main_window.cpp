#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>

#include "app/account_controls.h"
#include "app/control_ids.h"
#include "app/drop_target.h"
#include "app/ip_commands.h"
#include "app/key_filter.h"
#include "app/list_commands.h"
#include "app/option_boxes.h"
#include "app/path_controls.h"
#include "app/qt_prompt.h"
#include "app/search_controls.h"
#include "app/system_menu.h"
#include "app/version_text.h"
#include "app/window_prompt.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "dialogs/dialog_default_user.h"
#include "operations/device_login.h"
#include "operations/job_engine.h"
#include "platform/paths.h"
#include "resources/log.h"
#include "widgets/dialog_preview.h"
#include "widgets/report_ctrl.h"

namespace camfleet {

namespace {

constexpr int kMaximiseDelayMs = 300;
constexpr int kSnapshotWatchMs = 5000;

}  // namespace

CRoRudAzovorErarDlg::CRoRudAzovorErarDlg(WindowOptions options, QWidget* parent)
    : QMainWindow(parent),
      windowOptions_(std::move(options)),
      searcher_(table_, windowOptions_.searcher),
      sync_(&table_, &model_),
      followUp_(searcher_, table_) {
    table_.SetSender(&searcher_);
    sync_.ClearDevices();
    settings_.Load();  // the controls below show and store these values
    if (windowOptions_.displayConfigPath.empty())
        switches_.Load();
    else
        switches_.Load(windowOptions_.displayConfigPath);
    if (switches_.IsDisplayed(kStyleSwitchId))
        settings_.qrShown = 1;
    prompt_ = windowOptions_.prompt;
    if (!prompt_) {
        ownPrompt_ = std::make_unique<QtPrompt>(this);
        prompt_ = ownPrompt_.get();
    }
    keyPrompt_ = std::make_unique<KeyPrompt>(*prompt_);
    setAcceptDrops(true);
    BuildControls();
    RegisterControls();
    Initialise();
}

CRoRudAzovorErarDlg::~CRoRudAzovorErarDlg() {
    Shutdown();
    // The controls refer to the settings and the model: they go first, while both exist.
    delete takeCentralWidget();
}

void CRoRudAzovorErarDlg::Initialise() {
    InitLog();
    menu_ = new SystemMenu(menuBar(), *prompt_, [this] { RetranslateUi(); });
    controls_.ApplyToolTips();
    setWindowTitle(WindowTitle());
    controls_.ApplyControlTexts();
    account_->Load();
    list_->SetColumnWidths(DeviceListColumnWidths(switches_.IsDisplayed(kStyleSwitchId) != 0));
    InitialiseSdk();
    options_->Load(sync_.PrintMode());
    paths_->Load();
    search_->SetManualTicks(windowOptions_.manualTicks);
    search_->SetFollowUp(&followUp_);
    search_->Start();
    search_->FillNetcardBox();
    auto* snapshotWatch = new QTimer(this);
    connect(snapshotWatch, &QTimer::timeout, this, [this] {
        if (engine_)
            engine_->SnapshotWatch(QDateTime::currentSecsSinceEpoch());
    });
    snapshotWatch->start(kSnapshotWatchMs);
    controls_.ApplyDisplaySwitches(switches_);
    paths_->SyncLabels();
}

void CRoRudAzovorErarDlg::RetranslateUi() {
    controls_.RetranslateUi(this);
}

void CRoRudAzovorErarDlg::InitialiseSdk() {
    QV_NETSDK_IPC_Init();
    LogMessage("device SDK version 0x%08x, build %u\n", QV_NETSDK_IPC_GetSDKVersion(),
               QV_NETSDK_IPC_GetSDKBuildData());
    engine_ = std::make_unique<JobEngine>(&model_);
    QV_NETSDK_IPC_SetAutoReconnect(0, 1);
    sdkStarted_ = true;
}

void CRoRudAzovorErarDlg::ClearForSearch() {
    sync_.RefreshDevices();
    ip_->ClearPcNetwork();
    checkAll_->setChecked(false);
    UpdateStatusLine();
}

void CRoRudAzovorErarDlg::SyncTick() {
    sync_.SetDefaultAccount(DefaultAccount(settings_));
    sync_.SyncDeviceList();
    UpdateStatusLine();
}

void CRoRudAzovorErarDlg::UpdateStatusLine() {
    listCommands_->UpdateStatusLine();
}

void CRoRudAzovorErarDlg::Shutdown() {
    if (shutDown_)
        return;
    shutDown_ = true;
    search_->SetFollowUp(nullptr);
    if (ip_ != nullptr)
        ip_->Stop();  // its probe threads end before the log and the application go
    search_->Stop();
    if (sdkStarted_) {
        QV_NETSDK_IPC_LogoutAll();
        engine_.reset();
    }
    sync_.ClearDevices();
    if (sdkStarted_)
        QV_NETSDK_IPC_Cleanup();
    sdkStarted_ = false;
}

void CRoRudAzovorErarDlg::closeEvent(QCloseEvent* event) {
    Shutdown();
    event->accept();
}

void CRoRudAzovorErarDlg::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shownOnce_)
        return;
    shownOnce_ = true;
    if (windowOptions_.maximiseAfterShow)
        QTimer::singleShot(kMaximiseDelayMs, this, &QWidget::showMaximized);
}

void CRoRudAzovorErarDlg::HandleDroppedFile(const QString& path) {
    switch (ClassifyDrop(path, QFileInfo(path).isDir())) {
        case DropTarget::kUpgradeDirectory:
            paths_->UpgradeDirectory()->setText(path);
            break;
        case DropTarget::kFirmwareFile:
            paths_->FirmwareFile()->setText(path);
            break;
        case DropTarget::kConfigFile:
            paths_->ConfigFile()->setText(path);
            break;
        case DropTarget::kNone:
            break;
    }
}

void CRoRudAzovorErarDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CRoRudAzovorErarDlg::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return;
    HandleDroppedFile(urls.first().toLocalFile());
    event->acceptProposedAction();
}

void CRoRudAzovorErarDlg::OpenDefaultUserDialog() {
    CDialogDefaultUser dialog(settings_, this);
    if (dialog.exec() == QDialog::Accepted)
        account_->Load();
}

}  // namespace camfleet
