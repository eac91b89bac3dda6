#pragma once
// Where a file dropped on the main window goes.

#include <QString>

namespace camfleet {

enum class DropTarget {
    kNone,              // ignored
    kUpgradeDirectory,  // edit 1050
    kFirmwareFile,      // edit 1048
    kConfigFile,        // edit 1049
};

// A folder goes to the upgrade directory; a name ending in ".bin" to the firmware file and
// one ending in ".xml" to the configuration file (both endings case-sensitive: ".BIN" is
// ignored); anything else is ignored.
DropTarget ClassifyDrop(const QString& path, bool isDirectory);

}  // namespace camfleet
