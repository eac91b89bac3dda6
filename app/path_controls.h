#pragma once
// The path edits of the main window: firmware file (1048) and upgrade directory (1050),
// stored in the settings when they lose the focus, and the configuration file (1049).
// Dropped files land here. The commands that use the paths come with their operations.
//
// UI thread only. The settings object outlives this widget; its owner loads it from the file
// before Load, which only reads its fields.

#include <QLineEdit>
#include <QWidget>

namespace camfleet {

class CSaveParam;

class PathControls : public QWidget {
    Q_OBJECT
public:
    explicit PathControls(CSaveParam& settings, QWidget* parent = nullptr);

    // Sets edits 1048 and 1050 from the settings.
    void Load();
    // Each label follows its edit's visibility (after the display switches hid some).
    void SyncLabels();

    QLineEdit* FirmwareFile() const { return firmwareFile_; }
    QLineEdit* ConfigFile() const { return configFile_; }
    QLineEdit* UpgradeDirectory() const { return upgradeDirectory_; }
    QWidget* FirmwareFileLabel() const { return labels_[0]; }
    QWidget* ConfigFileLabel() const { return labels_[1]; }
    QWidget* UpgradeDirectoryLabel() const { return labels_[2]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CSaveParam& settings_;
    QLineEdit* firmwareFile_;
    QLineEdit* configFile_;
    QLineEdit* upgradeDirectory_;
    QWidget* labels_[3];
};

}  // namespace camfleet
