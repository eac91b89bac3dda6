#pragma once
// The main window's configuration and list-file controls: download of the ticked cameras'
// configurations (6), upload of the configuration file of edit 1049 (1292) with its browse
// button (1190), the default configuration (1192, its path shown in edit 1053), the Excel
// export (5), and the list's context items "EXPORT XML" (32987) and "IMPORT XML" (32986).
// The rules live in ConfigTransfer, the list files in device_list_file and the import in
// FleetSession; this class collects the ticked rows and the files and calls them.
//
// UI thread only. The fleet session, the path edits and the prompt outlive this widget.

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QWidget>

#include <vector>

#include "operations/fleet_session.h"
#include "operations/prompt.h"

namespace camfleet {

class PathControls;

class ConfigCommands : public QWidget {
    Q_OBJECT
public:
    ConfigCommands(FleetSession* fleet, PathControls* paths, QCheckBox* checkAll, Prompt* prompt,
                   QWidget* parent = nullptr);

    // Adds 32987 and 32986 to the list's context menu.
    void AddContextItems(QMenu* menu);

    QPushButton* DownloadButton() const { return download_; }
    QPushButton* UploadButton() const { return upload_; }
    QPushButton* BrowseButton() const { return browse_; }
    QPushButton* DefaultButton() const { return default_; }
    QPushButton* ExcelButton() const { return excel_; }

    void Download();       // 6
    void Upload();         // 1292
    void Browse();         // 1190
    void ChooseDefault();  // 1192
    void ExportExcel();    // 5
    void ExportXml();      // 32987
    void ImportXml();      // 32986

private:
    std::vector<int> TickedRows() const;
    // The ticked rows, or the "MSGTIP13" box and none.
    std::vector<int> TickedOrTell() const;
    std::vector<const DeviceRecord*> RecordsOf(const std::vector<int>& rows) const;
    void ReportExport(bool saved, const QString& error);

    FleetSession* fleet_;
    PathControls* paths_;
    QCheckBox* checkAll_;
    Prompt* prompt_;
    QPushButton* download_;
    QPushButton* upload_;
    QPushButton* browse_;
    QPushButton* default_;
    QPushButton* excel_;
};

}  // namespace camfleet
