#include "app/option_boxes.h"

#include <QGridLayout>

#include "resources/save_param.h"

namespace camfleet {

namespace {

// Stores the box's state in `field` and saves the settings on every click.
void BindToSetting(QCheckBox* box, CSaveParam& settings, int32_t CSaveParam::*field) {
    QObject::connect(box, &QCheckBox::clicked, box, [&settings, field](bool checked) {
        settings.*field = checked ? 1 : 0;
        settings.Save();
    });
}

}  // namespace

OptionBoxes::OptionBoxes(CSaveParam& settings, std::function<void(bool)> setPrintMode,
                         QWidget* parent)
    : QWidget(parent),
      settings_(settings),
      audio_(new QCheckBox(this)),
      fullScreenStream_(new QCheckBox(this)),
      qr_(new QCheckBox(this)),
      printMode_(new QCheckBox(this)) {
    // Two rows of two, so that long texts of any language fit at 1366 pixels.
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(audio_, 0, 0, Qt::AlignLeft);
    layout->addWidget(qr_, 0, 1, Qt::AlignLeft);
    layout->addWidget(fullScreenStream_, 1, 0, Qt::AlignLeft);
    layout->addWidget(printMode_, 1, 1, Qt::AlignLeft);
    layout->setColumnStretch(2, 1);
    BindToSetting(audio_, settings, &CSaveParam::openAudio);
    BindToSetting(fullScreenStream_, settings, &CSaveParam::fullScreenStreamSwitch);
    BindToSetting(qr_, settings, &CSaveParam::qrShown);
    connect(printMode_, &QCheckBox::clicked, this,
            [setPrintMode = std::move(setPrintMode)](bool checked) {
                if (setPrintMode)
                    setPrintMode(checked);
            });
}

void OptionBoxes::Load(bool printMode) {
    fullScreenStream_->setChecked(settings_.fullScreenStreamSwitch != 0);
    printMode_->setChecked(printMode);
    audio_->setChecked(settings_.openAudio != 0);
    qr_->setChecked(settings_.qrShown != 0);
}

}  // namespace camfleet
