#pragma once
// The option check boxes of the main window: sound (1005), stream switch in full screen
// (1006), QR code (1007), each stored in the settings on every click, and print mode (1008),
// which sets the global print mode flag (not stored).
//
// UI thread only. The settings object outlives this widget; its owner loads it from the file
// before Load, which only reads its fields.

#include <QCheckBox>
#include <QWidget>

#include <functional>

namespace camfleet {

class CSaveParam;

class OptionBoxes : public QWidget {
    Q_OBJECT
public:
    // `setPrintMode` receives every change of box 1008.
    OptionBoxes(CSaveParam& settings, std::function<void(bool)> setPrintMode,
                QWidget* parent = nullptr);

    // Sets the boxes from the settings and `printMode`.
    void Load(bool printMode);

    QCheckBox* Audio() const { return audio_; }
    QCheckBox* FullScreenStream() const { return fullScreenStream_; }
    QCheckBox* Qr() const { return qr_; }
    QCheckBox* PrintMode() const { return printMode_; }

private:
    CSaveParam& settings_;
    QCheckBox* audio_;
    QCheckBox* fullScreenStream_;
    QCheckBox* qr_;
    QCheckBox* printMode_;
};

}  // namespace camfleet
