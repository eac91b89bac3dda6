#pragma once
// Swallows Enter and Escape in the main window and its controls, so neither closes the
// window or triggers anything. Dialogs opened from the window keep their keys. Installed on
// the application; UI thread only.

#include <QObject>
#include <QPointer>

class QWidget;

namespace camfleet {

class KeyFilter : public QObject {
public:
    // `window` is the window whose keys are swallowed; it must outlive the filter's use.
    explicit KeyFilter(QWidget* window);

    // True for Enter, Return and Escape key presses (and their releases).
    static bool IsSwallowed(const QEvent* event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> window_;
};

}  // namespace camfleet
