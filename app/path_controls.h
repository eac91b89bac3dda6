#pragma once
// The path edits of the main window: firmware file (1048) and upgrade directory (1050),
// stored in the settings when they lose the focus, the configuration file (1049) and the
// default configuration (1053, read-only: it shows the file the default was chosen from).
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
    QLineEdit* DefaultConfigFile() const { return defaultConfigFile_; }
    QWidget* FirmwareFileLabel() const { return labels_[0]; }
    QWidget* ConfigFileLabel() const { return labels_[1]; }
    QWidget* UpgradeDirectoryLabel() const { return labels_[2]; }
    QWidget* DefaultConfigFileLabel() const { return labels_[3]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CSaveParam& settings_;
    QLineEdit* firmwareFile_;
    QLineEdit* configFile_;
    QLineEdit* upgradeDirectory_;
    QLineEdit* defaultConfigFile_;
    QWidget* labels_[4];
};

}  // namespace camfleet
