#include "app/path_controls.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>

#include "resources/display_strings.h"
#include "resources/save_param.h"
#include "widgets/display_text.h"

namespace camfleet {

PathControls::PathControls(CSaveParam& settings, QWidget* parent)
    : QWidget(parent),
      settings_(settings),
      firmwareFile_(new QLineEdit(this)),
      configFile_(new QLineEdit(this)),
      upgradeDirectory_(new QLineEdit(this)),
      defaultConfigFile_(new QLineEdit(this)),
      labels_{KeyLabel(DisplayKey("LABEL_FIRMWARE_FILE"), this),
              KeyLabel(DisplayKey("LABEL_CONFIG_FILE"), this),
              KeyLabel(DisplayKey("LABEL_FIRMWARE_FOLDER"), this),
              KeyLabel(DisplayKey("LABEL_DEFAULT_CONFIG_FILE"), this)} {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    QLineEdit* edits[] = {firmwareFile_, configFile_, upgradeDirectory_, defaultConfigFile_};
    for (int row = 0; row < 4; ++row) {
        grid->addWidget(labels_[row], row, 0);
        grid->addWidget(edits[row], row, 1);
        edits[row]->setMinimumWidth(150);
        edits[row]->setClearButtonEnabled(false);
    }
    grid->setColumnStretch(1, 1);
    defaultConfigFile_->setReadOnly(true);
    firmwareFile_->installEventFilter(this);
    upgradeDirectory_->installEventFilter(this);
}

void PathControls::Load() {
    upgradeDirectory_->setText(settings_.upgradeDirectory);
    firmwareFile_->setText(settings_.upgradeFile);
}

void PathControls::SyncLabels() {
    const QLineEdit* edits[] = {firmwareFile_, configFile_, upgradeDirectory_, defaultConfigFile_};
    for (int row = 0; row < 4; ++row)
        labels_[row]->setVisible(!edits[row]->isHidden());
}

bool PathControls::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        if (watched == firmwareFile_) {
            settings_.upgradeFile = firmwareFile_->text();
            settings_.Save();
        } else if (watched == upgradeDirectory_) {
            settings_.upgradeDirectory = upgradeDirectory_->text();
            settings_.Save();
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace camfleet
