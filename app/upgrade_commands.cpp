#include "app/upgrade_commands.h"

#include <QGridLayout>

#include "app/path_controls.h"
#include "operations/ip_assignment.h"
#include "resources/display_strings.h"

namespace camfleet {

namespace {

// The firmware file dialog's filter: ".bin" files, or anything.
constexpr char kFirmwareFilter[] = "File(*.bin);;All Files(*.*)";

}  // namespace

UpgradeCommands::UpgradeCommands(PathControls* paths, DeviceListModel* model, Prompt* prompt,
                                 QWidget* parent)
    : QWidget(parent),
      paths_(paths),
      model_(model),
      prompt_(prompt),
      fileUpgrade_(new QPushButton(this)),
      browseFile_(new QPushButton(this)),
      directoryUpgrade_(new QPushButton(this)),
      browseDirectory_(new QPushButton(this)),
      clearCustom_(new QPushButton(this)),
      modelText_(new QLineEdit(this)),
      setModel_(new QPushButton(this)),
      removeModel_(new QPushButton(this)),
      modelFirmware_(new QPushButton(this)) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(fileUpgrade_, 0, 0);
    grid->addWidget(browseFile_, 0, 1);
    grid->addWidget(directoryUpgrade_, 1, 0);
    grid->addWidget(browseDirectory_, 1, 1);
    grid->addWidget(clearCustom_, 2, 0, 1, 2);
    grid->addWidget(modelText_, 3, 0, 1, 2);
    grid->addWidget(setModel_, 4, 0);
    grid->addWidget(removeModel_, 4, 1);
    grid->addWidget(modelFirmware_, 5, 0, 1, 2);
    for (QWidget* hidden :
         {static_cast<QWidget*>(modelText_), static_cast<QWidget*>(setModel_),
          static_cast<QWidget*>(removeModel_), static_cast<QWidget*>(modelFirmware_)})
        hidden->hide();
    connect(fileUpgrade_, &QPushButton::clicked, this, &UpgradeCommands::UpgradeFile);
    connect(browseFile_, &QPushButton::clicked, this, &UpgradeCommands::BrowseFile);
    connect(directoryUpgrade_, &QPushButton::clicked, this, &UpgradeCommands::UpgradeDirectory);
    connect(browseDirectory_, &QPushButton::clicked, this, &UpgradeCommands::BrowseDirectory);
    connect(clearCustom_, &QPushButton::clicked, this, &UpgradeCommands::ClearCustom);
    connect(setModel_, &QPushButton::clicked, this, &UpgradeCommands::SetModel);
    connect(removeModel_, &QPushButton::clicked, this, &UpgradeCommands::RemoveModel);
    connect(modelFirmware_, &QPushButton::clicked, this, &UpgradeCommands::CheckModelText);
}

UpgradeCommands::~UpgradeCommands() = default;

void UpgradeCommands::Attach(FleetSession& fleet) {
    if (fleet.Router() == nullptr || fleet.Tracker() == nullptr)
        return;  // no SDK: the commands find no logged-in camera anyway
    upgrade_ = std::make_unique<FirmwareUpgrade>(&fleet.Model(), fleet.Router(), fleet.Tracker(),
                                                 &fleet.Workers());
    upgrade_->SetAutomaticModelSource([this] { return modelText_->text(); });
}

std::vector<int> UpgradeCommands::TickedRows() const {
    std::vector<int> rows;
    for (int row = 0; row < model_->Count(); ++row)
        if (model_->IsChecked(row))
            rows.push_back(row);
    return rows;
}

void UpgradeCommands::UpgradeFile() {
    if (upgrade_)
        upgrade_->UpgradeFile(paths_->FirmwareFile()->text(), TickedRows(), *prompt_);
}

void UpgradeCommands::BrowseFile() {
    const QString path =
        prompt_->ChooseFile(DisplayKey("LABEL_FIRMWARE_FILE"), QString(kFirmwareFilter), false);
    if (!path.isEmpty())
        paths_->FirmwareFile()->setText(path);
}

void UpgradeCommands::UpgradeDirectory() {
    if (upgrade_)
        upgrade_->UpgradeDirectory(paths_->UpgradeDirectory()->text(), TickedRows(), *prompt_);
}

void UpgradeCommands::BrowseDirectory() {
    const QString folder = prompt_->ChooseFolder(DisplayKey("TEXT22"));
    if (!folder.isEmpty())
        paths_->UpgradeDirectory()->setText(folder);
}

void UpgradeCommands::ClearCustom() {
    if (upgrade_)
        upgrade_->ClearCustomConfiguration(TickedRows(), *prompt_);
}

void UpgradeCommands::SetModel() {
    if (upgrade_)
        upgrade_->SetCustomModel(modelText_->text(), TickedRows(), *prompt_);
}

void UpgradeCommands::RemoveModel() {
    if (upgrade_)
        upgrade_->RemoveCustomModel(TickedRows(), *prompt_);
}

void UpgradeCommands::CheckModelText() {
    if (modelText_->text().trimmed().isEmpty())
        prompt_->ShowMessage(kEmptyModelKey, kErrorCaption, PromptIcon::kError);
}

}  // namespace camfleet
