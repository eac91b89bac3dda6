#pragma once
// The main window's maintenance controls: batch reboot (7) and factory restore (4), the time
// menu (1035: synchronise 8), the password button (14, with CDialogPwd), the language menu
// (15: 32794 English, 32795 simplified and 32797 traditional Chinese), the video menu (1034:
// codec 32907 H.264, 32908 H.265, 32909 H.265+), the IO output menu (1029: 32802 output 0,
// 32803 output 1), the TV system menu (20: 32970 PAL, 32971 NTSC), the ONVIF all-net menu
// (1299: 32977 on, 32978 off), the factory mode menu (16: 33009 on, 33010 off), the pixel
// maintenance menu (1028: 23 scan, 24 save) and the list's context items reboot (32778) and restore
// (32774) for the selected row, P2P (33001, 33002) and the protocol services HIK (33004, 33005),
// ONVIF (33006, 33007), DH (33019, 33020) and TST (33021, 33022) for the ticked rows, else the
// selected one. The rules live in DeviceMaintenance and FeatureSwitches; this class collects
// the rows and the dialog's texts.
//
// UI thread only. The operation exists once the SDK started (Attach).

#include <QMenu>
#include <QObject>
#include <QPushButton>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

#include "operations/device_maintenance.h"
#include "operations/feature_switches.h"
#include "operations/fleet_session.h"
#include "operations/night_demo.h"
#include "operations/prompt.h"

class QWidget;

namespace camfleet {

class CDialogPwd;
class CReportCtrl;

class MaintenanceCommands : public QObject {
    Q_OBJECT
public:
    // Everything given outlives this object; `buttonParent` takes the buttons.
    MaintenanceCommands(DeviceListModel* model, CReportCtrl* list, Prompt* prompt,
                        QWidget* buttonParent, QObject* parent = nullptr);
    ~MaintenanceCommands() override;

    void Attach(FleetSession& fleet);
    void Detach() {
        nightDemo_.reset();
        maintenance_.reset();
        switches_.reset();
    }
    NightDemo* Demo() const { return nightDemo_.get(); }
    DeviceMaintenance* Operation() const { return maintenance_.get(); }
    FeatureSwitches* Switches() const { return switches_.get(); }
    // Appends 32778, 32774, 33001, 33002, the protocol services' items, snapshot (32790) and
    // the snapshot folder (32799) to the list's context menu.
    void AddContextItems(QMenu* menu);
    // How the password dialog is run (default: modal exec; returns whether it was accepted).
    void SetDialogRunner(std::function<bool(CDialogPwd&)> run) { runDialog_ = std::move(run); }
    // How a folder is opened (default: the desktop's file manager).
    void SetUrlOpener(std::function<void(const QUrl&)> opener) { openUrl_ = std::move(opener); }
    // Where the snapshot folder command opens (the fleet's snapshot folder).
    void SetSnapshotFolder(const QString& folder) { snapshotFolder_ = folder; }

    QPushButton* RebootButton() const { return reboot_; }
    QPushButton* RestoreButton() const { return restore_; }
    QPushButton* TimeButton() const { return time_; }
    QPushButton* PasswordButton() const { return password_; }
    QPushButton* LanguageButton() const { return language_; }
    QPushButton* VideoButton() const { return video_; }
    QPushButton* IoButton() const { return io_; }
    QPushButton* SnapshotButton() const { return snapshot_; }
    QPushButton* HiddenRestoreButton() const { return hiddenRestore_; }
    QPushButton* NightDemoButton() const { return nightDemoButton_; }
    QPushButton* TvSystemButton() const { return tvSystem_; }
    QPushButton* AllNetButton() const { return allNet_; }
    QPushButton* FactoryModeButton() const { return factory_; }
    QPushButton* PixelButton() const { return pixel_; }
    QMenu* TvSystemMenu() const { return tvSystemMenu_; }
    QMenu* FactoryModeMenu() const { return factoryMenu_; }
    QMenu* PixelMenu() const { return pixelMenu_; }
    QMenu* AllNetMenu() const { return allNetMenu_; }
    QMenu* VideoMenu() const { return videoMenu_; }
    QMenu* IoMenu() const { return ioMenu_; }
    QMenu* TimeMenu() const { return timeMenu_; }
    QMenu* LanguageMenu() const { return languageMenu_; }

    void RebootTicked();                  // 7
    void RestoreTicked();                 // 4
    void RebootSelected();                // 32778
    void RestoreSelected();               // 32774
    void SyncTime();                      // 8
    void SetPassword();                   // 14
    void SetLanguage(Language language);  // 32794, 32795, 32797
    void SetVideoType(VideoType type);    // 32907 to 32909
    void SetIoOutput(int output);         // 32802, 32803
    void SetP2p(bool enable);             // 33001, 33002: ticked, else selected
    // 32970/32971 and 32977/32978: ticked rows, with the question; the protocol services:
    // ticked, else selected.
    void Switch(FeatureSwitch which, int value);
    void SetFactoryMode(bool enable);   // 33009, 33010
    void SnapshotTicked();              // 19
    void RestoreThenReboot();           // 12 (hidden)
    void StartNightDemo();              // 1303
    void SnapshotSelected();            // 32790
    void OpenSnapshotFolder();          // 32799
    void PixelMaintenance(int preset);  // 23, 24

private:
    std::vector<int> TickedRows() const;
    std::vector<int> SelectedRow() const;
    std::vector<int> TickedElseSelected() const;

    DeviceListModel* model_;
    CReportCtrl* list_;
    Prompt* prompt_;
    std::unique_ptr<DeviceMaintenance> maintenance_;
    std::unique_ptr<FeatureSwitches> switches_;
    std::unique_ptr<NightDemo> nightDemo_;
    std::function<bool(CDialogPwd&)> runDialog_;
    std::function<void(const QUrl&)> openUrl_;
    QString snapshotFolder_;
    QPushButton* reboot_;
    QPushButton* restore_;
    QPushButton* time_;
    QPushButton* password_;
    QPushButton* language_;
    QPushButton* video_;
    QPushButton* io_;
    QPushButton* snapshot_;
    QPushButton* hiddenRestore_;
    QPushButton* nightDemoButton_;
    QPushButton* tvSystem_;
    QPushButton* allNet_;
    QPushButton* factory_;
    QPushButton* pixel_;
    QMenu* timeMenu_;
    QMenu* languageMenu_;
    QMenu* videoMenu_;
    QMenu* ioMenu_;
    QMenu* tvSystemMenu_;
    QMenu* allNetMenu_;
    QMenu* factoryMenu_;
    QMenu* pixelMenu_;
};

}  // namespace camfleet
