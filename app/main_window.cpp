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
#include "app/maintenance_commands.h"
#include "app/option_boxes.h"
#include "app/path_controls.h"
#include "app/qt_prompt.h"
#include "app/search_controls.h"
#include "app/system_menu.h"
#include "app/upgrade_commands.h"
#include "app/version_text.h"
#include "app/window_prompt.h"
#include "dialogs/dialog_default_user.h"
#include "operations/camera_trust.h"
#include "operations/device_login.h"
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
      fleet_(FleetOptions{.searcher = windowOptions_.searcher,
                          .manualTicks = windowOptions_.manualTicks,
                          .autoStopFirst = true,
                          .snapshotFolder = windowOptions_.snapshotFolder}) {
    fleet_.SetAccountSource([this] { return DefaultAccount(settings_); });
    connect(&fleet_, &FleetSession::Merged, this, &CRoRudAzovorErarDlg::UpdateStatusLine);
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
    options_->Load(fleet_.Sync().PrintMode());
    paths_->Load();
    search_->Start();
    search_->FillNetcardBox();
    auto* snapshotWatch = new QTimer(this);
    connect(snapshotWatch, &QTimer::timeout, this, [this] {
        if (SessionTracker* tracker = fleet_.Tracker())
            tracker->SnapshotWatch(QDateTime::currentSecsSinceEpoch());
    });
    snapshotWatch->start(kSnapshotWatchMs);
    controls_.ApplyDisplaySwitches(switches_);
    paths_->SyncLabels();
}

void CRoRudAzovorErarDlg::RetranslateUi() {
    controls_.RetranslateUi(this);
}

void CRoRudAzovorErarDlg::InitialiseSdk() {
    if (!fleet_.StartSdk())
        LogMessage("the device SDK did not start\n");
    ip_->Follow(fleet_);
    upgrades_->Attach(fleet_);
    maintenance_->Attach(fleet_);
    if (!windowOptions_.snapshotFolder.isEmpty())
        maintenance_->SetSnapshotFolder(windowOptions_.snapshotFolder);
}

// The window's parts of a fresh search's clearing (the session logged out and emptied the
// list).
void CRoRudAzovorErarDlg::ClearForSearch() {
    ip_->ClearPcNetwork();
    checkAll_->setChecked(false);
    UpdateStatusLine();
}

void CRoRudAzovorErarDlg::UpdateStatusLine() {
    listCommands_->UpdateStatusLine();
}

void CRoRudAzovorErarDlg::Shutdown() {
    if (shutDown_)
        return;
    shutDown_ = true;
    if (ip_ != nullptr)
        ip_->Stop();  // its probe threads end before the log and the application go
    if (upgrades_ != nullptr)
        upgrades_->Detach();
    if (maintenance_ != nullptr)
        maintenance_->Detach();
    fleet_.Shutdown();
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

void CRoRudAzovorErarDlg::TrustSelectedCamera() {
    TrustCameraOfRow(fleet_.Model(), fleet_.Sync(), KnownCameras::Shared(),
                     list_->FirstSelectedRow());
}

void CRoRudAzovorErarDlg::OpenDefaultUserDialog() {
    CDialogDefaultUser dialog(settings_, this);
    if (dialog.exec() == QDialog::Accepted)
        account_->Load();
}

}  // namespace camfleet
