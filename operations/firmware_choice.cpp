#include "operations/firmware_choice.h"

#include <QDir>
#include <QFile>

#include "platform/file_times.h"
#include "resources/display_strings.h"

namespace camfleet {
namespace {

const QString kModelPrefix = QStringLiteral("DIR-OVADU-");
const QString kNamePrefix = QStringLiteral("firmware_");
const QString kNameSuffix = QStringLiteral(".bin");
const QString kAutoFocusMark = QStringLiteral("_AF");

}  // namespace

const char* FirmwareMissKey(FirmwareMiss miss) {
    switch (miss) {
        case FirmwareMiss::kNone:
            return nullptr;
        case FirmwareMiss::kNoVersion:
            return DisplayKey("MSGTIP28");
        case FirmwareMiss::kNoModel:
        case FirmwareMiss::kNoFile:
            return DisplayKey("MSGTIP27");
    }
    return nullptr;
}

QString FirmwareModelKey(const QString& model) {
    QString key = model;
    // One pass could join the two halves of a nested prefix into a new one.
    while (key.contains(kModelPrefix))
        key.remove(kModelPrefix);
    return key;
}

bool IsFirmwareFileFor(const QString& fileName, const QString& modelKey) {
    if (modelKey.isEmpty())
        return false;
    // Case does not count in the name, as in the Windows file search firmware folders were
    // first laid out for; the "_AF" mark does count, so "_af" files stay out for "_AF" keys.
    if (!fileName.startsWith(kNamePrefix, Qt::CaseInsensitive) ||
        !fileName.endsWith(kNameSuffix, Qt::CaseInsensitive))
        return false;
    // The key lies wholly between the prefix and the suffix; neither may lend it characters.
    const qsizetype middle = fileName.size() - kNamePrefix.size() - kNameSuffix.size();
    if (middle < modelKey.size())
        return false;
    if (!QStringView(fileName)
             .mid(kNamePrefix.size(), middle)
             .contains(modelKey, Qt::CaseInsensitive))
        return false;
    return !modelKey.contains(kAutoFocusMark) || fileName.contains(kAutoFocusMark);
}

std::optional<int64_t> FileSystemCreationTime(const QString& path) {
    return FileCreationSeconds(QFile::encodeName(path).toStdString());
}

FirmwareChoice ChooseFirmware(const QString& directory, const QString& model,
                              const QString& firmwareVersion,
                              const CreationTimeSource& creationTime) {
    if (firmwareVersion.isEmpty())
        return {{}, FirmwareMiss::kNoVersion};
    const QString key = FirmwareModelKey(model);
    if (key.isEmpty())
        return {{}, FirmwareMiss::kNoModel};

    if (directory.isEmpty())  // QDir would take it for the current folder
        return {{}, FirmwareMiss::kNoFile};
    // Names are compared here, never handed to a wildcard filter: the key is literal text.
    const QDir dir(directory);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden, QDir::Unsorted);
    QString best;
    int64_t bestTime = 0;
    for (const QString& name : names) {
        if (!IsFirmwareFileFor(name, key))
            continue;
        const QString path = dir.filePath(name);
        const std::optional<int64_t> time = creationTime(path);
        if (!time)
            continue;
        if (best.isEmpty() || *time > bestTime || (*time == bestTime && path > best)) {
            best = path;
            bestTime = *time;
        }
    }
    if (best.isEmpty())
        return {{}, FirmwareMiss::kNoFile};
    return {best, FirmwareMiss::kNone};
}

}  // namespace camfleet
