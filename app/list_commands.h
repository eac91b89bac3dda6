#pragma once
// The device list's commands in the main window: the context menu (copy serial number
// 32965, copy UUID 33014, open the web page 32777; each acts on the first selected row and
// does nothing without one), the web button of the hover buttons, the select-all box (1003)
// and the status line (1001).
//
// UI thread only; the list, its device model, the box and the label outlive this object.

#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QObject>
#include <QUrl>

#include <functional>

namespace camfleet {

class CReportCtrl;
class DeviceListModel;
struct DeviceRecord;

class DeviceListCommands : public QObject {
    Q_OBJECT
public:
    DeviceListCommands(CReportCtrl* list, DeviceListModel* model, QCheckBox* checkAll,
                       QLabel* statusLine, QObject* parent = nullptr);

    // Opens web pages; the desktop's browser unless replaced (tests).
    void SetUrlOpener(std::function<void(const QUrl&)> opener) { openUrl_ = std::move(opener); }
    // Whether a search runs, for the status line.
    void SetSearchingQuery(std::function<bool()> searching) { searching_ = std::move(searching); }

    // The context menu's items, in order; the window adds later items to the same menu.
    QMenu* ContextMenu() const { return menu_; }

    void CopySerialNumber();
    void CopyUuid();
    void OpenWebPage();
    // "http://%s:%d" of source row `row`; empty for no row.
    QString WebAddress(int row) const;
    void OpenWebPageOfRow(int row);

    // Ticks or clears every row.
    void SetAllTicked(bool ticked);
    // Refreshes the status line from the row count, the ticked rows and the search state.
    void UpdateStatusLine();

private:
    // Puts a field of the first selected row's record on the clipboard.
    void CopyField(const char* (*field)(const DeviceRecord&));

    CReportCtrl* list_;
    DeviceListModel* model_;
    QCheckBox* checkAll_;
    QLabel* statusLine_;
    QMenu* menu_;
    std::function<void(const QUrl&)> openUrl_;
    std::function<bool()> searching_;
};

}  // namespace camfleet
