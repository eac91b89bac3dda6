#include "app/config_commands.h"

#include <QDateTime>
#include <QGridLayout>

#include "app/path_controls.h"
#include "device/codes.h"
#include "devicelist/device_list_file.h"
#include "operations/batch_targets.h"
#include "resources/display_strings.h"
#include "widgets/display_text.h"

namespace camfleet {

namespace {

constexpr const char* kError = DisplayKey("ERROR");
constexpr const char* kTips = DisplayKey("Tips");
constexpr char kConfigFilter[] = "File(*.xml);;All Files(*.*)";
constexpr char kDefaultFilter[] = "Config File(config*.xml);;All XML Files(*.xml)";
constexpr char kXmlFilter[] = " (*.xml)";
constexpr char kWorkbookFilter[] = " (*.xlsx)";

}  // namespace

ConfigCommands::ConfigCommands(FleetSession* fleet, PathControls* paths, QCheckBox* checkAll,
                               Prompt* prompt, QWidget* parent)
    : QWidget(parent),
      fleet_(fleet),
      paths_(paths),
      checkAll_(checkAll),
      prompt_(prompt),
      download_(new QPushButton(this)),
      upload_(new QPushButton(this)),
      browse_(new QPushButton(this)),
      default_(new QPushButton(this)),
      excel_(new QPushButton(this)) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(browse_, 0, 0);
    grid->addWidget(upload_, 0, 1);
    grid->addWidget(download_, 0, 2);
    grid->addWidget(excel_, 0, 3);
    grid->addWidget(default_, 1, 0, 1, 2);
    connect(download_, &QPushButton::clicked, this, &ConfigCommands::Download);
    connect(upload_, &QPushButton::clicked, this, &ConfigCommands::Upload);
    connect(browse_, &QPushButton::clicked, this, &ConfigCommands::Browse);
    connect(default_, &QPushButton::clicked, this, &ConfigCommands::ChooseDefault);
    connect(excel_, &QPushButton::clicked, this, &ConfigCommands::ExportExcel);
}

void ConfigCommands::AddContextItems(QMenu* menu) {
    QAction* exportXml = AddKeyedAction(menu, DisplayKey("EXPORT_XML"), kIdExportXml);
    connect(exportXml, &QAction::triggered, this, &ConfigCommands::ExportXml);
    QAction* importXml = AddKeyedAction(menu, DisplayKey("IMPORT_XML"), kIdImportXml);
    connect(importXml, &QAction::triggered, this, &ConfigCommands::ImportXml);
}

std::vector<int> ConfigCommands::TickedRows() const {
    std::vector<int> rows;
    for (int row = 0; row < fleet_->Model().Count(); ++row)
        if (fleet_->Model().IsChecked(row))
            rows.push_back(row);
    return rows;
}

std::vector<int> ConfigCommands::TickedOrTell() const {
    TargetSelection selection;
    selection.kind = TargetSelection::kTicked;
    return SelectTargets(fleet_->Model(), selection, *prompt_);
}

void ConfigCommands::Download() {
    if (fleet_->Configs() != nullptr)
        fleet_->Configs()->Download(TickedRows());
}

void ConfigCommands::Upload() {
    const std::vector<int> rows = TickedRows();
    if (rows.empty()) {
        prompt_->ShowMessage(DisplayKey("MSGTIP25"), kError, PromptIcon::kError);
        return;
    }
    if (fleet_->Configs() != nullptr)
        fleet_->Configs()->Upload(rows, paths_->ConfigFile()->text());
}

void ConfigCommands::Browse() {
    const QString path =
        prompt_->ChooseFile(DisplayKey("LABEL_CONFIG_FILE"), QString(kConfigFilter), false);
    if (!path.isEmpty())
        paths_->ConfigFile()->setText(path);
}

void ConfigCommands::ChooseDefault() {
    const QString path = prompt_->ChooseFile(DisplayKey("LABEL_DEFAULT_CONFIG_FILE"),
                                             QString(kDefaultFilter), false);
    if (path.isEmpty() || fleet_->Configs() == nullptr)
        return;
    if (!fleet_->Configs()->ChooseDefault(path)) {
        prompt_->ShowMessage(DisplayKey("STR_XML_ERROR"), kError, PromptIcon::kError);
        return;
    }
    paths_->DefaultConfigFile()->setText(path);
}

std::vector<const DeviceRecord*> ConfigCommands::RecordsOf(const std::vector<int>& rows) const {
    std::vector<const DeviceRecord*> records;
    for (int row : rows)
        records.push_back(fleet_->Model().Record(row));
    return records;
}

void ConfigCommands::ReportExport(bool saved, const QString& error) {
    if (saved)
        prompt_->ShowMessage(DisplayKey("EXPORT_OK"), kTips, PromptIcon::kInformation);
    else
        prompt_->ShowText(GetDisplayString(DisplayKey("EXPORT_FAILED")) + "\r\n" + error, kError,
                          PromptIcon::kError);
}

void ConfigCommands::ExportExcel() {
    const std::vector<int> rows = TickedOrTell();
    if (rows.empty())
        return;
    const QString path = prompt_->ChooseFile(DisplayKey("EXPORT_EXCEL"), QString(kWorkbookFilter),
                                             true, QStringLiteral("IPC EXPORT.xlsx"));
    if (path.isEmpty())
        return;
    QString error;
    ReportExport(SaveExportWorkbook(path, RecordsOf(rows), &error), error);
}

void ConfigCommands::ExportXml() {
    const std::vector<int> rows = TickedOrTell();
    if (rows.empty())
        return;
    const QString proposed =
        QStringLiteral("IPC EXPORT ") +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) +
        QStringLiteral(".xml");
    const QString path =
        prompt_->ChooseFile(DisplayKey("EXPORT_XML"), QString(kXmlFilter), true, proposed);
    if (path.isEmpty())
        return;
    QString error;
    ReportExport(SaveDeviceListXml(path, RecordsOf(rows), &error), error);
}

void ConfigCommands::ImportXml() {
    const QString path = prompt_->ChooseFile(DisplayKey("IMPORT_XML"), QString(kXmlFilter), false);
    if (path.isEmpty())
        return;
    // The file is read whole before anything changes: a broken file leaves the list as it is.
    std::vector<SearchAnswer> answers;
    QString error;
    if (!LoadDeviceListXml(path, &answers, &error)) {
        prompt_->ShowMessage(DisplayKey("STR_XML_ERROR"), kError, PromptIcon::kError);
        return;
    }
    if (!fleet_->ImportDevices(answers))
        checkAll_->setChecked(false);
}

}  // namespace camfleet
