#pragma once
// The main window's upgrade controls: file upgrade (1291) with its browse button (1189),
// directory upgrade (1293) with its browse button (1191), clearing the custom configuration
// (1193), and the custom model: its text (edit 1051), set (1295), remove (1294) and the
// check of 1302. Edit 1051 and buttons 1294, 1295 and 1302 are created hidden; the display
// switches may show them. The rules live in FirmwareUpgrade; this class collects the paths
// and the ticked rows and calls it.
//
// UI thread only. The operation exists once the SDK started (Attach).

#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <memory>
#include <vector>

#include "operations/firmware_upgrade.h"
#include "operations/fleet_session.h"
#include "operations/prompt.h"

namespace camfleet {

class PathControls;

class UpgradeCommands : public QWidget {
    Q_OBJECT
public:
    // `paths` holds edits 1048 and 1050; it, the model and the prompt outlive this widget.
    UpgradeCommands(PathControls* paths, DeviceListModel* model, Prompt* prompt,
                    QWidget* parent = nullptr);
    ~UpgradeCommands() override;

    // Creates the operation on the session's router, tracker and pool (after StartSdk).
    void Attach(FleetSession& fleet);
    // Ends the operation (the window's close, before the session goes).
    void Detach() { upgrade_.reset(); }
    FirmwareUpgrade* Operation() const { return upgrade_.get(); }

    QPushButton* FileUpgradeButton() const { return fileUpgrade_; }
    QPushButton* BrowseFileButton() const { return browseFile_; }
    QPushButton* DirectoryUpgradeButton() const { return directoryUpgrade_; }
    QPushButton* BrowseDirectoryButton() const { return browseDirectory_; }
    QPushButton* ClearCustomButton() const { return clearCustom_; }
    QPushButton* SetModelButton() const { return setModel_; }
    QPushButton* RemoveModelButton() const { return removeModel_; }
    QPushButton* ModelFirmwareButton() const { return modelFirmware_; }
    QLineEdit* ModelText() const { return modelText_; }

    void UpgradeFile();       // 1291
    void BrowseFile();        // 1189
    void UpgradeDirectory();  // 1293
    void BrowseDirectory();   // 1191
    void ClearCustom();       // 1193
    void SetModel();          // 1295
    void RemoveModel();       // 1294
    void CheckModelText();    // 1302

private:
    std::vector<int> TickedRows() const;

    PathControls* paths_;
    DeviceListModel* model_;
    Prompt* prompt_;
    std::unique_ptr<FirmwareUpgrade> upgrade_;
    QPushButton* fileUpgrade_;
    QPushButton* browseFile_;
    QPushButton* directoryUpgrade_;
    QPushButton* browseDirectory_;
    QPushButton* clearCustom_;
    QLineEdit* modelText_;
    QPushButton* setModel_;
    QPushButton* removeModel_;
    QPushButton* modelFirmware_;
};

}  // namespace camfleet
