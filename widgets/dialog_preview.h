#pragma once
// The hover buttons over the device list: while the mouse is over a row, a small button
// group sits at the right end of that row; its web button opens the camera's web page.
// (The play button joins it with live view.)
//
// UI thread only. A child of the list's viewport, owned by Qt's parent chain.

#include <QWidget>

class QToolButton;

namespace camfleet {

class CReportCtrl;

class CDialogPreview : public QWidget {
    Q_OBJECT
public:
    explicit CDialogPreview(CReportCtrl* list);

    // Shows the buttons over `sourceRow`, or hides them for -1.
    void ShowForRow(int sourceRow);
    int Row() const { return row_; }
    QToolButton* WebButton() const { return web_; }

signals:
    void webClicked(int sourceRow);

private:
    CReportCtrl* list_;
    QToolButton* web_;
    int row_ = -1;
};

}  // namespace camfleet
