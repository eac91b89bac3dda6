#include "app/drop_target.h"

namespace camfleet {

DropTarget ClassifyDrop(const QString& path, bool isDirectory) {
    if (isDirectory)
        return DropTarget::kUpgradeDirectory;
    if (path.endsWith(QLatin1String(".bin"), Qt::CaseSensitive))
        return DropTarget::kFirmwareFile;
    if (path.endsWith(QLatin1String(".xml"), Qt::CaseSensitive))
        return DropTarget::kConfigFile;
    return DropTarget::kNone;
}

}  // namespace camfleet
